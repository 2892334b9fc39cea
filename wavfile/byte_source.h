#pragma once
// Internal: where the bytes of a WAVE file being read come from, behind one small
// interface that the one chunk walk (riff_walk.h) and WavReader read through: a file
// named by its path, an open descriptor, or a file image in memory. A source tells
// whether it can seek. One that cannot (a pipe, a FIFO, a socket, a device) is a stream:
// read once, front to back; a skip reads and drops the bytes.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>

namespace pcmwrap::source {

class ByteSource {
public:
    virtual ~ByteSource() = default;

    virtual bool canSeek() const noexcept = 0;
    // The file's length, for a source that can seek.
    virtual std::optional<std::uint64_t> size() const noexcept = 0;
    // Where the next byte read comes from, counted from the file's start.
    virtual std::uint64_t position() const noexcept = 0;

    // Reads up to count bytes at the position and moves past them: the bytes read, 0 only
    // at the end of the file, -1 when the system refused the read (errno says why). A
    // stream waits for its bytes.
    virtual std::ptrdiff_t read(void* destination, std::size_t count) = 0;
    // Moves to offset: any offset for a source that can seek; a stream only goes forward,
    // reading and dropping what it passes. False when the file ends first or a read fails.
    virtual bool moveTo(std::uint64_t offset) = 0;

    // Reads exactly count bytes: false when the file ends first or a read fails.
    bool readExactly(void* destination, std::size_t count);
};

// The file at path. A regular file can seek; a FIFO or a character device is read as a
// stream, and its open never waits (a FIFO's wait for a writer is in the reads, where a
// signal ends it). A directory, a socket or any other kind of file is refused at once.
// Null with errno set when it cannot be opened.
std::unique_ptr<ByteSource> openPath(const std::filesystem::path& path);
// An open descriptor, read from where it stands on a duplicate; the caller keeps its own.
// A regular file can seek (offset 0 is where it stood); anything else is a stream.
// Null with errno set when it cannot be duplicated or is a directory.
std::unique_ptr<ByteSource> openDescriptor(int descriptor);
// A file image in memory, which the caller keeps alive while it is read.
std::unique_ptr<ByteSource> openMemory(std::span<const std::byte> image);

}  // namespace pcmwrap::source
