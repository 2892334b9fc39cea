#pragma once
// Reads one raw sample dump from start to end, a chunk of kChunkBytes at a time, into a
// buffer of its own that the sample writer converts from.

#include <array>
#include <cstdint>
#include <istream>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "convert/chunk.h"
#include "convert/dump_file_buffer.h"

// The name that stands for standard input as an input, and standard output as an output.
inline constexpr std::string_view kStandardStreamName = "-";

class SampleDumpReader {
public:
    // Opens the file; "-" is standard input. A missing or unreadable file never throws: it
    // prints "Error opening <name>" and leaves ok() false. Standard input on a terminal is
    // refused ("Error reading <->: standard input is a terminal"): nobody types samples.
    explicit SampleDumpReader(const std::string& name);
    SampleDumpReader(const SampleDumpReader&) = delete;
    SampleDumpReader& operator=(const SampleDumpReader&) = delete;

    bool ok() const { return ok_; }

    // Fills the buffer from its start and returns the number of bytes read (0 to
    // kChunkBytes). A short count means the end of the file, or an interruption
    // (convert/interruption.h) that ended a wait for input; the bytes after it are zero.
    std::uint32_t readChunk();

    // The last chunk read: mostly a window of the file's read buffer (no copy is made),
    // else the reader's own buffer. Valid until the next read.
    std::span<const std::uint8_t, kChunkBytes> buffer() const
    {
        return std::span<const std::uint8_t, kChunkBytes>(chunk_, kChunkBytes);
    }

    // -s: passes over the first `bytes` bytes, before the first chunk; a shorter file
    // reads as empty. knownSize() then counts from there.
    void skip(std::uint64_t bytes);

    // Before the first chunk: the descriptor of a regular file positioned at the next byte
    // to convert, for a copy inside the kernel (after which the reader reads nothing more);
    // nothing for a FIFO, a device or any other input.
    std::optional<int> kernelCopySource();

    // The length of a regular file when it was opened; none for a FIFO, a device or any
    // input whose length is not known before it is read.
    std::optional<std::uint64_t> knownSize() const { return knownSize_; }

    // Reads no further than the known size: bytes added to the file after the start are
    // not read (a stream's header has announced the size already). Nothing without one.
    void stopAtKnownSize() { limit_ = knownSize_; }

private:
    bool firstByteReadable();

    std::string name_;
    // Declared before the stream so that it outlives the stream's use of it.
    DumpFileBuffer file_;
    std::istream stream_;
    // For a chunk that does not lie whole in the file's buffer. Zero at the start and
    // zeroed past every short chunk, so a partial last sample never carries bytes of an
    // earlier chunk into the output.
    std::array<std::uint8_t, kChunkBytes> buffer_{};
    const std::uint8_t* chunk_ = buffer_.data();
    bool ok_ = true;
    std::optional<std::uint64_t> knownSize_;
    std::optional<std::uint64_t> limit_;  // the bytes still to read, when limited
};
