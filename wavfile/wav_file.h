#pragma once
// A C++ interface to WAVE files beside the wave layer's functions: one object opens a
// file, tells its format and reads frames as 16-bit, 32-bit or float samples whatever
// the file stores; another writes a file and finishes it. Reads RIFF, RF64 and BW64
// forms, PCM, IEEE float and WAVE_FORMAT_EXTENSIBLE, and streamed files whose data
// size was never filled in. Nothing is printed; failures throw WavError.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <stdexcept>
#include <span>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace pcmwrap {

enum class SampleEncoding { kSignedInteger, kUnsignedInteger, kFloat };

struct WavFormat {
    std::uint16_t channels = 0;
    std::uint32_t sampleRate = 0;
    std::uint16_t bitsPerSample = 0;  // as stored: 8 (unsigned), 16, 24, 32 (signed), 32, 64 (float)
    SampleEncoding encoding = SampleEncoding::kSignedInteger;
    std::uint32_t channelMask = 0;  // speaker positions of WAVE_FORMAT_EXTENSIBLE; 0 when none
};

// offset is that of the chunk's data, size the size its header claims (for a streamed
// data chunk: the bytes the file holds).
struct ChunkInfo {
    std::string id;
    std::uint64_t offset;
    std::uint64_t size;
};

// The error codes of waveCategory() are the wave layer's result codes (wave/wave.h):
// WAV_ERR_OPEN_FAILED, WAV_ERR_BAD_FORMAT, WAV_ERR_TRUNCATED, WAV_ERR_WRITE_FAILED, ...
const std::error_category& waveCategory() noexcept;

// what() names the file and the reason, exactly, as "cannot open <x.wav>: No such file
// or directory"; code() is the layer's code in waveCategory().
class WavError : public std::system_error {
public:
    WavError(int code, const std::string& what);
    // reason: what went wrong without the file's name, for a caller that names the file
    // itself; sampleFormat: the file is a WAVE file whose sample format is not read.
    WavError(int code, const std::string& what, const std::string& reason, bool sampleFormat = false);
    const char* what() const noexcept override;
    // "No such file or directory", "not a WAVE file", "format 2 (ADPCM) is not PCM or
    // float"; what() when the thrower gave none.
    const char* reason() const noexcept;
    // True when the file is sound but its fmt chunk names samples that are not read
    // (ADPCM, 12-bit, a block align that does not fit): a format refused, not a file
    // broken or of another kind.
    bool sampleFormatRefused() const noexcept { return sampleFormat_; }

private:
    std::runtime_error message_;  // copied without throwing, as an exception must be
    std::runtime_error reason_;
    bool sampleFormat_ = false;
};

class WavReader {  // move-only
public:
    // Throws WavError. A path that is a FIFO or a character device is read as a stream;
    // its open never waits (the wait for a FIFO's writer is in the reads). A directory or
    // a socket is refused at once.
    explicit WavReader(const std::filesystem::path& path);
    // An open descriptor, from where it stands, read on a duplicate (the caller keeps and
    // closes its own): a regular file as a file, anything else (a pipe, a FIFO, a socket,
    // standard input) as a stream. Messages name it "<descriptor N>".
    explicit WavReader(int descriptor);
    // A file image in memory, which must outlive the reader. Messages name it "<memory>".
    explicit WavReader(std::span<const std::byte> image);
    WavReader(WavReader&&) noexcept;
    WavReader& operator=(WavReader&&) noexcept;
    ~WavReader();

    const WavFormat& format() const noexcept;
    // The frames of the data chunk. A stream whose data size was never filled in (0 or
    // 0xFFFFFFFF) does not know it: frameCountKnown() is false, and frameCount() counts
    // the frames read so far, until readFrames returns 0 at the stream's end.
    std::uint64_t frameCount() const noexcept;
    bool frameCountKnown() const noexcept;
    // False for a stream: it reads forward only. seekFrame then throws WavError ("not
    // seekable"); the format and the chunks before the data are known once constructed,
    // the chunks after it appear in chunks() once the data is read to its end, and
    // readChunk gives the bytes the reader kept of them (up to 16 MiB in all).
    bool seekable() const noexcept;
    // Each reads whole frames into the caller's interleaved buffer, converting on the
    // way; returns the frames read, 0 at the end. A span that is not a whole number of
    // frames is std::invalid_argument.
    std::size_t readFrames(std::span<std::int16_t> interleaved);
    std::size_t readFrames(std::span<std::int32_t> interleaved);
    std::size_t readFrames(std::span<float> interleaved);
    void seekFrame(std::uint64_t frame);
    const std::vector<ChunkInfo>& chunks() const noexcept;  // every top-level chunk, file order
    std::vector<std::byte> readChunk(const ChunkInfo& chunk);

private:
    struct State;
    std::unique_ptr<State> state_;
};

class WavWriter {  // move-only
public:
    WavWriter(const std::filesystem::path& path, const WavFormat& format);  // throws WavError
    // Writes to an open descriptor through a duplicate (the caller keeps its own). A
    // regular file written from its start is written as by path. Anything else (a pipe, a
    // FIFO, a socket, a device) is a stream, written once: its header goes out with the
    // first frames (or at finish), with exact sizes when frames announces the frame count
    // (finish() then throws WavError if another count was written), else 0xFFFFFFFF as
    // the RIFF size, data size and fact count. Chunks added before the first frames go
    // before the data; adding one after them is std::logic_error. Messages name it
    // "<descriptor N>".
    WavWriter(int descriptor, const WavFormat& format, std::optional<std::uint64_t> frames = std::nullopt);
    WavWriter(WavWriter&&) noexcept;
    WavWriter& operator=(WavWriter&&) noexcept;

    void writeFrames(std::span<const std::int16_t> interleaved);
    void writeFrames(std::span<const std::int32_t> interleaved);
    void writeFrames(std::span<const float> interleaved);
    void addChunk(std::string_view id, std::span<const std::byte> bytes);
    void finish();  // throws WavError; a second call does nothing
    std::uint64_t frameCount() const noexcept;
    ~WavWriter();  // finishes an unfinished file; its error is lost (call finish to see it)

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace pcmwrap
