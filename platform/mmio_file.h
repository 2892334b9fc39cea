#pragma once
// Inside the RIFF file I/O stand-in, between its two parts: the buffered file engine
// (mmio_file.cpp: open, close, transfers, seeks, the buffer hand-over and advance) and
// the RIFF chunk walk (mmio_chunks.cpp: create, descend, ascend), which reaches the
// file only through the engine. Not installed.

#include <cstddef>
#include <cstdint>
#include <memory>

#include "platform/mmio.h"

// One open file. Its buffer mirrors the file region [base, base + capacity): `valid`
// bytes of it hold the file's content (read from the file or written by the caller) and
// `next` is the current position inside it. A buffer is loaded from the file before it
// is used, so that writing a few bytes in the middle of a file (the sizes settled when a
// file is finished) never clobbers the bytes around them.
struct MmioFile {
    HMMIO handle = nullptr;  // the value the caller holds
    int fd = -1;
    bool writable = false;
    std::unique_ptr<char[]> buffer;
    std::uint64_t base = 0;      // file offset of buffer[0]
    std::size_t next = 0;        // current position, relative to base
    std::size_t valid = 0;       // bytes of the buffer that hold file content
    bool loaded = false;         // whether the buffer has been filled from the file
    bool dirty = false;          // whether buffer[0, valid) still has to reach the file
    std::uint64_t fileSize = 0;  // length of the file on disk, as far as this handle knows
    MMRESULT writeError = MMSYSERR_NOERROR;  // the first write the system refused, kept
    bool largeFile = false;  // holds a form with 64-bit sizes, not bound by the RIFF ceiling
    // A pipe, a socket, a FIFO or a device: written once, front to back, with write(2);
    // fileSize counts the bytes it took. Nothing written can be revisited.
    bool stream = false;
    // A stream's writes wait in poll beside this descriptor (mmioSetStreamWake).
    int wakeDescriptor = -1;

    std::uint64_t position() const { return base + next; }
    // The largest size this file may reach.
    std::uint64_t ceiling() const;
    // The size of the file including what only the buffer holds yet.
    std::uint64_t logicalSize() const;

    // Moves the position, keeping the buffer when the target lies inside its content.
    MMRESULT moveTo(std::uint64_t target);
    // Transfers up to count bytes at the position: the count moved, or -1. A write stops
    // short at the largest size the file may reach (a RIFF file's, unless largeFile).
    LONG read(char* destination, LONG count);
    LONG write(const char* source, LONG count);
    // Whether exactly count bytes were moved.
    bool readAll(void* destination, std::size_t count);
    bool writeAll(const void* source, std::size_t count);

    // The engine's own steps, used by its calls in mmio_file.cpp.
    std::size_t writeLimit() const;
    MMRESULT flush();
    MMRESULT load();
    MMRESULT startBufferAt(std::uint64_t offset);
    MMRESULT prepare();
    void describe(MMIOINFO* info) const;
    bool accept(const MMIOINFO& info);
};

// The open file behind a handle; null for a null, stray or closed handle.
MmioFile* findOpenFile(HMMIO handle);

// The gate of the calls that take a record: an open handle (else MMSYSERR_INVALHANDLE)
// and a record (else MMSYSERR_INVALPARAM). Sets *file to the open file.
MMRESULT findRecordCall(HMMIO handle, const void* record, MmioFile** file);
// The same, and no write the system refused earlier, which every later call reports again.
MMRESULT checkRecordCall(HMMIO handle, const void* record, MmioFile** file);
