// WavReader: a WAVE file opened through the RIFF file I/O, its chunks found by the shared
// 64-bit walk, and its frames converted from the I/O's buffer into the caller's. Memory
// is that one buffer, whatever the file's size.

#include <algorithm>
#include <cerrno>
#include <stdexcept>
#include <string>

#include "platform/mmio.h"
#include "wavfile/bracketed_name.h"
#include "wavfile/live_state.h"
#include "wavfile/riff_walk.h"
#include "wavfile/wav_file.h"
#include "wavfile/wav_format_chunk.h"
#include "wave/wave.h"

namespace pcmwrap {

namespace {

// The largest piece of a chunk read at once.
constexpr std::size_t kChunkPieceBytes = 16 * 1024 * 1024;

}  // namespace

struct WavReader::State {
    std::string name;  // "<path>", as messages show it
    HMMIO handle = nullptr;
    riff::WaveLayout layout;
    fmt::StoredFormat stored;
    std::uint64_t dataOffset = 0;
    std::uint64_t frames = 0;
    std::uint64_t nextFrame = 0;

    State() = default;
    State(const State&) = delete;
    State& operator=(const State&) = delete;
    ~State()
    {
        if (handle != nullptr) {
            mmioClose(handle, 0);
        }
    }

    // "<x.wav>: cannot read its data": the name, a colon and the reason.
    [[noreturn]] void fail(int code, const std::string& reason) const
    {
        throw WavError(code, name + ": " + reason, reason);
    }
    // "<x.wav> is not a WAVE file": the name in a sentence; reason stands alone.
    [[noreturn]] void failSaying(int code, const std::string& sentence, const std::string& reason) const
    {
        throw WavError(code, name + sentence, reason);
    }

    // The system refused a read: the errno it left, if any, is the error's code.
    [[noreturn]] void failRead(const std::string& reason) const
    {
        if (const int error = errno; error != 0) {
            throw WavError(std::error_code(error, std::generic_category()), WAV_ERR_READ_FAILED, name + ": " + reason,
                           reason);
        }
        fail(WAV_ERR_READ_FAILED, reason);
    }

    [[noreturn]] void failHeaderCut() const
    {
        failSaying(WAV_ERR_TRUNCATED, " ends inside its header", "cut short inside its header");
    }

    void open(const std::filesystem::path& path);
    void readFormat();
    template <class T>
    std::size_t read(std::span<T> interleaved);
};

void WavReader::State::open(const std::filesystem::path& path)
{
    errno = 0;
    MMIOINFO info{};
    handle = mmioOpenA(path.c_str(), &info, MMIO_READ | MMIO_ALLOCBUF);
    if (handle == nullptr) {
        // The I/O opens and then refuses a directory, which leaves errno untouched.
        const int reason = errno != 0 ? errno : std::filesystem::is_directory(path) ? EISDIR : ENOMEM;
        throw WavError(std::error_code(reason, std::generic_category()), WAV_ERR_OPEN_FAILED,
                       "cannot open " + name + ": " + std::generic_category().message(reason),
                       std::generic_category().message(reason));
    }
    errno = 0;
    switch (riff::walkWave(handle, &layout)) {
    case riff::WalkResult::kOk: break;
    case riff::WalkResult::kNotWave: failSaying(WAV_ERR_BAD_FORMAT, " is not a WAVE file", "not a WAVE file");
    case riff::WalkResult::kHeaderCut: failHeaderCut();
    case riff::WalkResult::kNoDs64: fail(WAV_ERR_BAD_FORMAT, "an RF64 form without a ds64 chunk");
    case riff::WalkResult::kTooManyChunks:
        fail(WAV_ERR_BAD_FORMAT, "more than " + std::to_string(riff::kMostChunks) + " chunks");
    case riff::WalkResult::kReadFailed: failRead("cannot read its header");
    }
    // A chunk that is missing from a file cut short may be the part cut off.
    if (layout.fmt < 0 || layout.data < 0) {
        if (layout.cutShort) {
            failHeaderCut();
        }
        const std::string missing = layout.fmt < 0 ? "fmt" : "data";
        failSaying(WAV_ERR_BAD_FORMAT, " has no " + missing + " chunk", "no " + missing + " chunk");
    }
    readFormat();
    const ChunkInfo& data = layout.chunks[static_cast<std::size_t>(layout.data)];
    dataOffset = data.offset;
    frames = data.size / stored.blockAlign;
}

void WavReader::State::readFormat()
{
    const ChunkInfo& chunk = layout.chunks[static_cast<std::size_t>(layout.fmt)];
    const auto wanted = static_cast<std::size_t>(std::min<std::uint64_t>(chunk.size, fmt::kExtensibleBytes));
    unsigned char bytes[fmt::kExtensibleBytes] = {};
    if (chunk.offset > layout.fileSize || layout.fileSize - chunk.offset < wanted) {
        failHeaderCut();
    }
    if (!riff::readAt(handle, chunk.offset, bytes, wanted)) {
        failRead("cannot read its header");
    }
    if (const std::string reason = fmt::parseFormat(std::span(bytes, wanted), chunk.size, &stored); !reason.empty()) {
        throw WavError(WAV_ERR_BAD_FORMAT, name + ": " + reason, reason, true);
    }
}

template <class T>
std::size_t WavReader::State::read(std::span<T> interleaved)
{
    const std::size_t channels = stored.format.channels;
    if (interleaved.size() % channels != 0) {
        throw std::invalid_argument("WavReader::readFrames: " + std::to_string(interleaved.size()) +
                                    " samples are not a whole number of " + std::to_string(channels) +
                                    "-channel frames");
    }
    const auto wanted =
        static_cast<std::size_t>(std::min<std::uint64_t>(interleaved.size() / channels, frames - nextFrame));
    if (wanted == 0) {
        return 0;
    }
    errno = 0;
    // Reading a chunk moves the file's position; the frames stand where nextFrame says.
    if (mmioSeekTo(handle, dataOffset + nextFrame * stored.blockAlign) != MMSYSERR_NOERROR) {
        failRead("cannot read its data");
    }
    // The samples are converted straight out of the file I/O's buffer. Only whole frames
    // are taken from it; a frame cut by the buffer's end starts the next refill.
    MMIOINFO io{};
    if (mmioGetInfo(handle, &io, 0) != MMSYSERR_NOERROR) {
        failRead("cannot read its data");
    }
    std::size_t done = 0;
    while (done < wanted) {
        auto held = static_cast<std::size_t>(io.pchEndRead - io.pchNext) / stored.blockAlign;
        if (held == 0) {
            const MMRESULT advanced = mmioAdvance(handle, &io, MMIO_READ);
            held = static_cast<std::size_t>(io.pchEndRead - io.pchNext) / stored.blockAlign;
            if (advanced != MMSYSERR_NOERROR || held == 0) {
                nextFrame += done;
                // The system refused the read, or the file was cut short after it was opened.
                if (advanced != MMSYSERR_NOERROR) {
                    failRead("cannot read its data");
                }
                failSaying(WAV_ERR_TRUNCATED, " ends inside its data", "cut short inside its data");
            }
        }
        const std::size_t count = std::min(wanted - done, held);
        codec::decode(stored.stored, reinterpret_cast<const unsigned char*>(io.pchNext), count * channels,
                      interleaved.data() + done * channels);
        io.pchNext += count * stored.blockAlign;
        done += count;
    }
    if (mmioSetInfo(handle, &io, 0) != MMSYSERR_NOERROR) {
        failRead("cannot read its data");
    }
    nextFrame += wanted;
    return wanted;
}

WavReader::WavReader(const std::filesystem::path& path) : state_(std::make_unique<State>())
{
    state_->name = bracketedName(path);
    state_->open(path);
}

WavReader::WavReader(WavReader&&) noexcept = default;
WavReader& WavReader::operator=(WavReader&&) noexcept = default;
WavReader::~WavReader() = default;

const WavFormat& WavReader::format() const noexcept
{
    static const WavFormat kNoFormat;
    return state_ ? state_->stored.format : kNoFormat;
}

std::uint64_t WavReader::frameCount() const noexcept
{
    return state_ ? state_->frames : 0;
}

std::size_t WavReader::readFrames(std::span<std::int16_t> interleaved)
{
    return liveState(state_, "WavReader::readFrames").read(interleaved);
}

std::size_t WavReader::readFrames(std::span<std::int32_t> interleaved)
{
    return liveState(state_, "WavReader::readFrames").read(interleaved);
}

std::size_t WavReader::readFrames(std::span<float> interleaved)
{
    return liveState(state_, "WavReader::readFrames").read(interleaved);
}

std::size_t WavReader::readFrames(std::span<double> interleaved)
{
    return liveState(state_, "WavReader::readFrames").read(interleaved);
}

void WavReader::seekFrame(std::uint64_t frame)
{
    State& state = liveState(state_, "WavReader::seekFrame");
    if (frame > state.frames) {
        throw std::out_of_range("WavReader::seekFrame: frame " + std::to_string(frame) + " is past the last, " +
                                std::to_string(state.frames));
    }
    state.nextFrame = frame;
}

const std::vector<ChunkInfo>& WavReader::chunks() const noexcept
{
    static const std::vector<ChunkInfo> kNoChunks;
    return state_ ? state_->layout.chunks : kNoChunks;
}

std::vector<std::byte> WavReader::readChunk(const ChunkInfo& chunk)
{
    State& state = liveState(state_, "WavReader::readChunk");
    const std::uint64_t fileSize = state.layout.fileSize;
    // The chunk's size is the file's claim: it is allocated only when the file holds it.
    if (chunk.offset > fileSize || chunk.size > fileSize - chunk.offset) {
        state.failSaying(WAV_ERR_TRUNCATED, " ends inside its " + chunk.id + " chunk",
                           "cut short inside its " + chunk.id + " chunk");
    }
    std::vector<std::byte> bytes(static_cast<std::size_t>(chunk.size));
    std::uint64_t done = 0;
    errno = 0;
    while (done < chunk.size) {
        const auto piece = static_cast<std::size_t>(std::min<std::uint64_t>(chunk.size - done, kChunkPieceBytes));
        if (!riff::readAt(state.handle, chunk.offset + done, bytes.data() + done, piece)) {
            state.failRead("cannot read its " + chunk.id + " chunk");
        }
        done += piece;
    }
    return bytes;
}

}  // namespace pcmwrap

namespace pcmwrap {

void WavReader::readData(std::uint64_t from, std::span<std::byte> bytes)
{
    const ChunkInfo& data = state_->layout.chunks[static_cast<std::size_t>(state_->layout.data)];
    if (from > data.size || bytes.size() > data.size - from ||
        !riff::readAt(state_->handle, data.offset + from, bytes.data(), bytes.size())) {
        state_->failSaying(WAV_ERR_TRUNCATED, " ends inside its data", "cut short inside its data");
    }
}

}  // namespace pcmwrap
