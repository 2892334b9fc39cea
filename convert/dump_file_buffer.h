#pragma once
// The dump reader's stream buffer: reads the file with the system's read, each time after
// waiting in poll for the file or for an interruption (convert/interruption.h). The
// standard file buffer retries a read that a signal interrupts, so a FIFO or terminal that
// delivers nothing more would hold the program forever; here the signal ends the wait.
// An interruption reads as the end of the file. A failed read raises the stream failure
// exception, as the standard file buffer does.

#include <cstdint>
#include <memory>
#include <optional>
#include <streambuf>
#include <string>

class DumpFileBuffer : public std::streambuf {
public:
    DumpFileBuffer();
    ~DumpFileBuffer() override;
    DumpFileBuffer(const DumpFileBuffer&) = delete;
    DumpFileBuffer& operator=(const DumpFileBuffer&) = delete;

    // Opens the file for reading; false when it cannot be opened. A FIFO without a writer
    // yet is opened at once: the wait for its writer is in the reads.
    bool open(const std::string& name);
    // Reads standard input from where it stands; false when it is closed.
    bool openStandardInput();
    // The bytes from the position to the end of the open file when it is a regular file;
    // none for a pipe, a FIFO, a device or a file that cannot be asked.
    std::optional<std::uint64_t> regularFileSize() const;
    // Passes over up to `bytes` bytes of the file (a regular file by a seek, any other by
    // reading them) and returns how many it passed: fewer at the end of the file or when
    // an interruption ends a wait.
    std::uint64_t skip(std::uint64_t bytes);
    // For a copy inside the kernel: a regular file's descriptor, its offset set back to
    // the first byte not yet read through this buffer, which is emptied. Nothing for any
    // other kind of file.
    std::optional<int> handOverDescriptor();

    // A whole chunk straight from the buffer, without copying it out: its bytes when the
    // buffer holds kChunkBytes of them (reading the file first when it holds none), which
    // are then consumed; null otherwise (the end of the file is near, an interruption, or
    // a read that gave less). A failed read raises the stream failure exception.
    const char* takeChunk();

protected:
    int_type underflow() override;

private:
    int fd_ = -1;
    std::unique_ptr<char[]> buffer_;
};
