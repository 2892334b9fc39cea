#pragma once
// A stand-in for the platform's buffered multimedia file I/O (the RIFF file services),
// with the platform's names, records, flags and error codes. Files are reached
// through POSIX calls with 64-bit positions; the caller sees the platform's interface.

#include <cstdint>
#include <cstdio>  // SEEK_SET, SEEK_CUR, SEEK_END
#include <limits>

#include "platform/win_types.h"

// As on the platform, a handle is an opaque value; each opening gets one never issued
// before in the process, so a closed handle stays refused.
struct MmioFile;
using HMMIO = MmioFile*;

struct MMCKINFO {
    FOURCC ckid;
    DWORD cksize;
    FOURCC fccType;
    DWORD dwDataOffset;
    DWORD dwFlags;
};

struct MMIOINFO {
    DWORD dwFlags;
    FOURCC fccIOProc;
    UINT wErrorRet;
    LONG cchBuffer;
    HPSTR pchBuffer;
    HPSTR pchNext;
    HPSTR pchEndRead;
    HPSTR pchEndWrite;
    LONG lBufOffset;
    LONG lDiskOffset;
    HMMIO hmmio;
};

inline constexpr DWORD MMIO_READ = 0x00000000;
inline constexpr DWORD MMIO_WRITE = 0x00000001;
inline constexpr DWORD MMIO_READWRITE = 0x00000002;
inline constexpr UINT MMIO_FINDCHUNK = 0x0010;
inline constexpr UINT MMIO_CREATERIFF = 0x0020;
inline constexpr DWORD MMIO_CREATE = 0x00001000;
inline constexpr DWORD MMIO_ALLOCBUF = 0x00010000;
inline constexpr DWORD MMIO_DIRTY = 0x10000000;

inline constexpr MMRESULT MMIOERR_FILENOTFOUND = 257;
inline constexpr MMRESULT MMIOERR_OUTOFMEMORY = 258;
inline constexpr MMRESULT MMIOERR_CANNOTOPEN = 259;
inline constexpr MMRESULT MMIOERR_CANNOTREAD = 261;
inline constexpr MMRESULT MMIOERR_CANNOTWRITE = 262;
inline constexpr MMRESULT MMIOERR_CANNOTSEEK = 263;
inline constexpr MMRESULT MMIOERR_CANNOTEXPAND = 264;
inline constexpr MMRESULT MMIOERR_CHUNKNOTFOUND = 265;
// Left in MMIOINFO::wErrorRet when a file to create exists as something other than a
// regular file (a FIFO, a device, a socket, a directory).
inline constexpr MMRESULT MMIOERR_INVALIDFILE = 272;

// Opens a file. MMIO_READ opens an existing regular file; MMIO_CREATE | MMIO_READWRITE
// creates it or empties an existing regular file, and refuses any other kind of file
// (MMIOERR_INVALIDFILE) without waiting on it or changing it. Null on failure, with the
// reason in info->wErrorRet when info is given.
HMMIO mmioOpenA(const char* fileName, MMIOINFO* info, DWORD flags);
// Writes out the buffer, closes the file and releases the handle, also when the write
// fails; the result is the first write failure the handle met, if any.
MMRESULT mmioClose(HMMIO handle, UINT flags);
// Transfer at the current position; the count moved, or -1 on error.
LONG mmioRead(HMMIO handle, HPSTR buffer, LONG count);
LONG mmioWrite(HMMIO handle, const char* buffer, LONG count);
// The new position, or -1 when it cannot be set (or does not fit a LONG).
LONG mmioSeek(HMMIO handle, LONG offset, int origin);
MMRESULT mmioGetInfo(HMMIO handle, MMIOINFO* info, UINT flags);
MMRESULT mmioSetInfo(HMMIO handle, const MMIOINFO* info, UINT flags);
MMRESULT mmioAdvance(HMMIO handle, MMIOINFO* info, UINT flags);
MMRESULT mmioDescend(HMMIO handle, MMCKINFO* chunk, const MMCKINFO* parent, UINT flags);
MMRESULT mmioAscend(HMMIO handle, MMCKINFO* chunk, UINT flags);
MMRESULT mmioCreateChunk(HMMIO handle, MMCKINFO* chunk, UINT flags);

// Not a platform call: the length of the file behind the handle, buffered bytes included.
// The platform would answer with a seek to the end, whose LONG result cannot hold the
// length of a RIFF file above 2 GiB; ours is 64 bits wide.
MMRESULT mmioGetFileSize(HMMIO handle, std::uint64_t* size);

// Not a platform call: the largest size a RIFF file may reach, 0xFFFFFFFF bytes (its
// sizes are 32 bits wide), or lower while a test says so.
std::uint64_t mmioGetMaximumRiffFileSize();

// The largest size of a file whose form has 64-bit sizes (RF64): the largest file offset.
inline constexpr std::uint64_t kMmioMaximumLargeFileSize = std::numeric_limits<std::int64_t>::max();

// Not a platform call: the file behind a handle open for writing holds a form with 64-bit
// sizes, so it may grow past the RIFF ceiling up to kMmioMaximumLargeFileSize. Chunks
// made and walked by the calls above keep their 32-bit bounds.
MMRESULT mmioAllowLargeFile(HMMIO handle);

// Not a platform call: a second handle on the file open behind handle (its descriptor
// duplicated, the same open file), with a buffer of its own at position 0 and the same
// access; the file stays open through it after handle is closed, so a failed file can
// be settled without opening it again by name. Null on failure. Close it with mmioClose.
HMMIO mmioDuplicate(HMMIO handle);

// Not a platform call: a handle for writing on an open descriptor (duplicated; the caller
// keeps its own). A regular file that the descriptor writes from its start is emptied and
// written as mmioOpenA's files are. Anything else (a pipe, a socket, a FIFO, a device,
// also a regular file open to append or standing past its start) is a stream: its bytes go
// out once, in order, through write(2); no seek may go back before the last byte handed
// to the system (MMIOERR_CANNOTSEEK), and mmioGetFileSize counts the bytes it took.
// Null, with MMIOERR_CANNOTOPEN in info->wErrorRet, for a descriptor that is not open
// for writing or is a directory.
HMMIO mmioOpenDescriptor(int descriptor, MMIOINFO* info);
// Not a platform call: whether the file behind the handle is a stream (above).
bool mmioIsStream(HMMIO handle);
// Not a platform call: a stream's writes wait in poll beside descriptor. Once it is
// readable (the program was asked to stop), they go on only in pieces the stream takes
// without blocking, and fail (MMIOERR_CANNOTWRITE) when it takes none: a reader that
// takes nothing does not hold a program that was asked to stop. Ignored for a handle
// that is not a stream; -1 for none.
MMRESULT mmioSetStreamWake(HMMIO handle, int descriptor);

// Not a platform call: moves to a 64-bit position, which mmioSeek's LONG cannot name past
// 2 GiB; for settling the end of a file that failed to be written.
MMRESULT mmioSeekTo(HMMIO handle, std::uint64_t position);

// Not a platform call: appends up to `count` bytes read from the descriptor `source` (at
// its file offset, which moves on) at the position of a file being written whose buffer
// the caller drives through `info`, as for mmioAdvance. The buffer is written out first;
// then the bytes go from file to file inside the kernel (splice through a pipe), or
// through the buffer where the kernel cannot copy them or the file is a stream.
// `*copied` receives the count appended, fewer than `count` at the end of the source. MMIOERR_CANNOTREAD when the source fails,
// MMIOERR_CANNOTWRITE when the file does, MMIOERR_CANNOTEXPAND at its largest size; what
// was appended before stays. `info` describes the buffer afterwards.
MMRESULT mmioAppendFromDescriptor(HMMIO handle, MMIOINFO* info, int source, std::uint64_t count,
                                  std::uint64_t* copied);
