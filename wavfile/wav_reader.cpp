// WavReader: a WAVE file read from a path, a descriptor or memory through one byte
// source, its chunks found by the shared 64-bit walk, and its frames converted from one
// buffer into the caller's. Memory is that buffer, whatever the file's size. A stream is
// read forward only: its chunks after the data are walked once the samples are read.

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <stdexcept>
#include <string>

#include "wavfile/bracketed_name.h"
#include "wavfile/byte_source.h"
#include "wavfile/live_state.h"
#include "wavfile/riff_walk.h"
#include "wavfile/wav_file.h"
#include "wavfile/wav_format_chunk.h"
#include "wave/wave.h"

namespace pcmwrap {

namespace {

// The largest piece of a chunk read at once.
constexpr std::size_t kChunkPieceBytes = 16 * 1024 * 1024;
// The samples' buffer: few, large reads.
constexpr std::size_t kBufferBytes = 256 * 1024;

}  // namespace

struct WavReader::State {
    std::string name;  // "<path>", as messages show it
    std::unique_ptr<source::ByteSource> source;
    riff::WaveLayout layout;
    fmt::StoredFormat stored;
    std::uint64_t dataOffset = 0;
    std::uint64_t frames = 0;  // the data's frames; of a streamed data chunk, those read so far
    bool framesKnown = true;   // false for a streamed data chunk until its end is read
    std::uint64_t nextFrame = 0;
    bool ended = false;  // a stream read to its end, the chunks after its data walked
    // The samples pass through one buffer: it holds the file's bytes [bufferStart, +held).
    std::vector<unsigned char> buffer;
    std::uint64_t bufferStart = 0;
    std::size_t held = 0;

    State() = default;
    State(const State&) = delete;
    State& operator=(const State&) = delete;

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

    void open(std::unique_ptr<source::ByteSource> opened);
    void checkWalk(riff::WalkResult result) const;
    void readFormat();
    bool fill(std::uint64_t position);
    void walkToTheEnd();
    template <class T>
    std::size_t read(std::span<T> interleaved);
};

void WavReader::State::checkWalk(riff::WalkResult result) const
{
    switch (result) {
    case riff::WalkResult::kOk: return;
    case riff::WalkResult::kNotWave: failSaying(WAV_ERR_BAD_FORMAT, " is not a WAVE file", "not a WAVE file");
    case riff::WalkResult::kHeaderCut: failHeaderCut();
    case riff::WalkResult::kNoDs64: fail(WAV_ERR_BAD_FORMAT, "an RF64 form without a ds64 chunk");
    case riff::WalkResult::kTooManyChunks:
        fail(WAV_ERR_BAD_FORMAT, "more than " + std::to_string(riff::kMostChunks) + " chunks");
    case riff::WalkResult::kReadFailed: failRead("cannot read its header");
    }
}

void WavReader::State::open(std::unique_ptr<source::ByteSource> opened)
{
    source = std::move(opened);
    errno = 0;
    checkWalk(riff::walkWave(*source, &layout));
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
    framesKnown = source->canSeek() || !layout.dataStreamed;
    frames = framesKnown ? data.size / stored.blockAlign : 0;
    bufferStart = dataOffset;
    buffer.resize(kBufferBytes);
}

void WavReader::State::readFormat()
{
    const auto index = static_cast<std::size_t>(layout.fmt);
    const ChunkInfo& chunk = layout.chunks[index];
    const auto wanted = static_cast<std::size_t>(std::min<std::uint64_t>(chunk.size, fmt::kExtensibleBytes));
    unsigned char bytes[fmt::kExtensibleBytes] = {};
    if (source->canSeek()) {
        if (chunk.offset > layout.fileSize || layout.fileSize - chunk.offset < wanted) {
            failHeaderCut();
        }
        if (!riff::readAt(*source, chunk.offset, bytes, wanted)) {
            failRead("cannot read its header");
        }
    } else {
        // A stream's fmt chunk was kept as the walk passed it.
        const auto kept = std::find_if(layout.kept.begin(), layout.kept.end(),
                                       [&](const auto& entry) { return entry.first == index; });
        if (kept == layout.kept.end() || kept->second.size() < wanted) {
            failHeaderCut();
        }
        std::memcpy(bytes, kept->second.data(), wanted);
    }
    if (const std::string reason = fmt::parseFormat(std::span(bytes, wanted), chunk.size, &stored); !reason.empty()) {
        throw WavError(WAV_ERR_BAD_FORMAT, name + ": " + reason, reason, true);
    }
}

// Makes the buffer hold a whole frame at position, reading what it lacks; false at the
// end of the data (a stream's, or the file's). A stream is never read past its data
// chunk, whose following chunks are walked afterwards.
bool WavReader::State::fill(std::uint64_t position)
{
    const std::size_t blockAlign = stored.blockAlign;
    if (position >= bufferStart && position - bufferStart <= held) {
        const auto skip = static_cast<std::size_t>(position - bufferStart);
        std::memmove(buffer.data(), buffer.data() + skip, held - skip);
        held -= skip;
    } else {
        held = 0;  // a seek elsewhere
    }
    bufferStart = position;
    const std::uint64_t dataEnd = framesKnown ? dataOffset + frames * blockAlign : 0;
    while (held < blockAlign) {
        const std::uint64_t from = bufferStart + held;
        std::size_t room = buffer.size() - held;
        if (framesKnown) {
            room = static_cast<std::size_t>(std::min<std::uint64_t>(room, dataEnd - std::min(dataEnd, from)));
        }
        if (room == 0 || (source->canSeek() && !source->moveTo(from))) {
            return false;
        }
        errno = 0;
        const std::ptrdiff_t got = source->read(buffer.data() + held, room);
        if (got < 0) {
            failRead("cannot read its data");
        }
        if (got == 0) {
            return false;
        }
        held += static_cast<std::size_t>(got);
    }
    return true;
}

// Once a stream's samples are read: the chunks after its data.
void WavReader::State::walkToTheEnd()
{
    if (ended || source->canSeek()) {
        return;
    }
    ended = true;
    if (!framesKnown) {
        frames = nextFrame;
        framesKnown = true;
    }
    checkWalk(riff::walkAfterData(*source, &layout));
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
    const std::uint64_t left = framesKnown ? frames - nextFrame : std::numeric_limits<std::uint64_t>::max();
    const auto wanted = static_cast<std::size_t>(std::min<std::uint64_t>(interleaved.size() / channels, left));
    const std::size_t blockAlign = stored.blockAlign;
    std::size_t done = 0;
    while (done < wanted) {
        if (!fill(dataOffset + (nextFrame + done) * blockAlign)) {
            nextFrame += done;
            if (source->canSeek()) {
                // The file was cut short after it was opened.
                failSaying(WAV_ERR_TRUNCATED, " ends inside its data", "cut short inside its data");
            }
            // A stream's data ends with the stream, also before the size its header gave
            // (a writer that cannot seek may write a large size of its own choosing there),
            // as a file's data is taken up to the file's end.
            layout.dataStreamed = true;
            framesKnown = false;
            walkToTheEnd();
            return done;
        }
        const std::size_t count = std::min(wanted - done, held / blockAlign);
        codec::decode(stored.stored, buffer.data(), count * channels, interleaved.data() + done * channels);
        const std::size_t used = count * blockAlign;
        bufferStart += used;
        std::memmove(buffer.data(), buffer.data() + used, held - used);
        held -= used;
        done += count;
    }
    nextFrame += wanted;
    if (framesKnown && nextFrame == frames) {
        walkToTheEnd();
    }
    return wanted;
}

namespace {

[[noreturn]] void failOpen(const std::string& name, int error)
{
    const std::string reason = std::generic_category().message(error);
    throw WavError(std::error_code(error, std::generic_category()), WAV_ERR_OPEN_FAILED,
                   "cannot open " + name + ": " + reason, reason);
}

}  // namespace

WavReader::WavReader(const std::filesystem::path& path) : state_(std::make_unique<State>())
{
    state_->name = bracketedName(path);
    errno = 0;
    auto opened = source::openPath(path);
    if (!opened) {
        failOpen(state_->name, errno != 0 ? errno : ENOMEM);
    }
    state_->open(std::move(opened));
}

WavReader::WavReader(int descriptor) : state_(std::make_unique<State>())
{
    state_->name = "<descriptor " + std::to_string(descriptor) + ">";
    errno = 0;
    auto opened = source::openDescriptor(descriptor);
    if (!opened) {
        failOpen(state_->name, errno != 0 ? errno : ENOMEM);
    }
    state_->open(std::move(opened));
}

WavReader::WavReader(std::span<const std::byte> image) : state_(std::make_unique<State>())
{
    state_->name = "<memory>";
    state_->open(source::openMemory(image));
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
    if (!state_) {
        return 0;
    }
    return state_->framesKnown ? state_->frames : state_->nextFrame;
}

bool WavReader::frameCountKnown() const noexcept
{
    return !state_ || state_->framesKnown;
}

bool WavReader::seekable() const noexcept
{
    return state_ && state_->source->canSeek();
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
    if (!state.source->canSeek()) {
        state.fail(WAV_ERR_READ_FAILED, "not seekable");
    }
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
    if (!state.source->canSeek()) {
        // A stream's chunks are kept as the walk passes them, within a bound.
        const auto& layout = state.layout;
        for (const auto& [index, bytes] : layout.kept) {
            if (layout.chunks[index].offset == chunk.offset && layout.chunks[index].size == chunk.size) {
                return bytes;
            }
        }
        state.fail(WAV_ERR_READ_FAILED, "not seekable: its " + chunk.id + " chunk was not kept");
    }
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
        if (!riff::readAt(*state.source, chunk.offset + done, bytes.data() + done, piece)) {
            state.failRead("cannot read its " + chunk.id + " chunk");
        }
        done += piece;
    }
    return bytes;
}

void WavReader::readData(std::uint64_t from, std::span<std::byte> bytes)
{
    State& state = liveState(state_, "WavReader::readData");
    if (!state.source->canSeek()) {
        state.fail(WAV_ERR_READ_FAILED, "not seekable: its data cannot be read again");
    }
    const ChunkInfo& data = state.layout.chunks[static_cast<std::size_t>(state.layout.data)];
    if (from > data.size || bytes.size() > data.size - from ||
        !riff::readAt(*state.source, data.offset + from, bytes.data(), bytes.size())) {
        state.failSaying(WAV_ERR_TRUNCATED, " ends inside its data", "cut short inside its data");
    }
}

}  // namespace pcmwrap
