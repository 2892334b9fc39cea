#pragma once
// A C++ interface to WAVE files beside the wave layer's functions: one object opens a
// file, tells its format and reads frames as 16-bit, 32-bit, float or double samples
// whatever the file stores; another writes a file and finishes it. Reads RIFF, RF64 and BW64
// forms, PCM, IEEE float and WAVE_FORMAT_EXTENSIBLE, and streamed files whose data
// size was never filled in. Nothing is printed; failures throw WavError.

#include "platform/cxx_standard.h"

#include <array>
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
    // As stored: 8 (unsigned), 16, 24, 32 (signed), 32, 64 (float). Integer samples whose
    // bits are not a whole number of bytes (12, 20) are read as their container (16, 24):
    // the file stores them left-justified, so their low bits are 0.
    std::uint16_t bitsPerSample = 0;
    SampleEncoding encoding = SampleEncoding::kSignedInteger;
    // Speaker positions of WAVE_FORMAT_EXTENSIBLE, one set bit per channel in channel
    // order; 0 when none. Fewer bits than channels leave the last channels unplaced; the
    // writer refuses more bits than channels.
    std::uint32_t channelMask = 0;
};

// offset is that of the chunk's data, size the size its header claims (for a streamed
// data chunk: the bytes the file holds).
struct ChunkInfo {
    std::string id;
    std::uint64_t offset;
    std::uint64_t size;
};

// A loudness field of a bext chunk that holds no measurement (EBU Tech 3285 version 2:
// loudness values that are not used are set to 0x7FFF).
inline constexpr std::int16_t kLoudnessNotMeasured = 0x7FFF;

// The bext chunk of a Broadcast WAVE file (EBU Tech 3285 version 2). Texts are ASCII,
// without the NUL bytes that pad them in the file.
struct BroadcastExtension {
    std::string description;          // at most 256 bytes
    std::string originator;           // at most 32
    std::string originatorReference;  // at most 32
    std::string originationDate;      // "yyyy-mm-dd", or empty
    std::string originationTime;      // "hh:mm:ss", or empty
    std::uint64_t timeReference = 0;  // sample frames since midnight
    std::uint16_t version = 2;
    std::array<std::uint8_t, 64> umid{};
    // Loudness × 100, rounded: integrated (LUFS), range (LU), max true peak (dBTP), max
    // momentary and max short-term (LUFS); kLoudnessNotMeasured when not measured.
    std::int16_t loudnessValue = kLoudnessNotMeasured;
    std::int16_t loudnessRange = kLoudnessNotMeasured;
    std::int16_t maxTruePeakLevel = kLoudnessNotMeasured;
    std::int16_t maxMomentaryLoudness = kLoudnessNotMeasured;
    std::int16_t maxShortTermLoudness = kLoudnessNotMeasured;
    std::string codingHistory;  // lines, each ending in CR LF

    bool operator==(const BroadcastExtension&) const = default;
};

// One tag of a LIST chunk of type INFO: a four-character id (IARL, ICRD, ICMT, INAM, ...)
// and its text, without the terminating NUL.
struct InfoTag {
    std::string id;
    std::string text;

    bool operator==(const InfoTag&) const = default;
};

using Md5Digest = std::array<std::uint8_t, 16>;

// The error codes of waveCategory() are the wave layer's result codes (wave/wave.h):
// WAV_ERR_OPEN_FAILED, WAV_ERR_BAD_FORMAT, WAV_ERR_TRUNCATED, WAV_ERR_WRITE_FAILED, ...
const std::error_category& waveCategory() noexcept;

// what() names the file and the reason, exactly, as "cannot open <x.wav>: No such file
// or directory". code() is the system's error number in std::generic_category() where a
// system call failed (so e.code() == std::errc::no_space_on_device holds), otherwise the
// layer's code in waveCategory(); waveCode() is always the layer's code.
class WavError : public std::system_error {
public:
    WavError(int code, const std::string& what);
    // reason: what went wrong without the file's name, for a caller that names the file
    // itself; sampleFormat: the file is a WAVE file whose sample format is not read.
    WavError(int code, const std::string& what, const std::string& reason, bool sampleFormat = false);
    // A system call failed with systemError (an errno value in std::generic_category()):
    // code() is systemError, waveCode() is code.
    WavError(std::error_code systemError, int code, const std::string& what, const std::string& reason);
    const char* what() const noexcept override;
    // The wave layer's code (WAV_ERR_OPEN_FAILED, WAV_ERR_WRITE_FAILED, ...) in
    // waveCategory(), whatever code() holds.
    std::error_code waveCode() const noexcept { return {waveCode_, waveCategory()}; }
    // "No such file or directory", "not a WAVE file", "format 2 (ADPCM) is not PCM or
    // float"; what() when the thrower gave none.
    const char* reason() const noexcept;
    // True when the file is sound but its fmt chunk names samples that are not read
    // (ADPCM, 16-bit float, a block align that does not fit): a format refused, not a
    // file broken or of another kind.
    bool sampleFormatRefused() const noexcept { return sampleFormat_; }

private:
    std::runtime_error message_;  // copied without throwing, as an exception must be
    std::runtime_error reason_;
    int waveCode_ = 0;
    bool sampleFormat_ = false;
};

// A reader or writer that was moved from holds no file: frameCount() is 0 and format() a
// WavFormat of 0 channels, chunks() is empty, every other call throws std::logic_error;
// destroying it or assigning to it is safe.

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
    // frames is std::invalid_argument. double holds every stored format exactly.
    std::size_t readFrames(std::span<std::int16_t> interleaved);
    std::size_t readFrames(std::span<std::int32_t> interleaved);
    std::size_t readFrames(std::span<float> interleaved);
    std::size_t readFrames(std::span<double> interleaved);
    void seekFrame(std::uint64_t frame);
    const std::vector<ChunkInfo>& chunks() const noexcept;  // every top-level chunk, file order
    std::vector<std::byte> readChunk(const ChunkInfo& chunk);

    // The first bext chunk, parsed; none when the file has none. A bext chunk too short
    // to hold its fixed fields throws WavError.
    std::optional<BroadcastExtension> broadcastExtension();
    // The tags of every LIST chunk of type INFO, in file order.
    std::vector<InfoTag> infoTags();
    // The digest an "MD5 " chunk stores (of the data chunk's bytes, without its pad
    // byte); none when the file has no such chunk. One of another size throws WavError.
    std::optional<Md5Digest> storedMd5();
    // Reads the data chunk and compares its MD5 with the stored one: false when they
    // differ. WavError when the file has no "MD5 " chunk or its data cannot be read.
    bool verifyMd5();

private:
    // Exactly bytes.size() bytes of the data chunk from its byte `from` on.
    void readData(std::uint64_t from, std::span<std::byte> bytes);

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
    // Rounded once, straight to what the file stores: 64-bit float exactly.
    void writeFrames(std::span<const double> interleaved);
    void addChunk(std::string_view id, std::span<const std::byte> bytes);
    // Before the first frames: a bext chunk, and a LIST chunk of type INFO with the tags
    // in this order. Later, or a value the chunk cannot hold (a text too long or not
    // printable ASCII, a tag id that is not four upper-case letters or digits), throws
    // std::logic_error or std::invalid_argument.
    void setBroadcastExtension(const BroadcastExtension& bext);
    void setInfoTags(std::span<const InfoTag> tags);
    // Before the first frames: finish() adds an "MD5 " chunk with the MD5 of the data
    // chunk's bytes after the data.
    void addMd5Chunk();
    void finish();  // throws WavError; a second call does nothing
    // The frames written so far; after a failed write, the whole frames the settled file holds.
    std::uint64_t frameCount() const noexcept;
    ~WavWriter();  // finishes an unfinished file; its error is lost (call finish to see it)

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace pcmwrap
