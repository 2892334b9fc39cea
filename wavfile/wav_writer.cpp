// WavWriter: a WAVE file written in one forward pass through one descriptor and one
// buffer, its sizes settled in place when it is finished. Right after WAVE a JUNK chunk
// of 28 data bytes holds the place of a ds64 chunk, so a file that passes the RIFF limit
// becomes an RF64 file in place; every smaller file is a plain RIFF file. A write that
// fails settles the header over the samples that reached the disk, through the same
// descriptor, and throws.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <optional>
#include <cstring>
#include <stdexcept>
#include <string>
#include <utility>

#include "platform/little_endian.h"
#include "platform/mmio.h"
#include "wavfile/bracketed_name.h"
#include "wavfile/live_state.h"
#include "wavfile/broadcast_metadata.h"
#include "wavfile/md5_hash.h"
#include "wavfile/wav_file.h"
#include "wavfile/wav_format_chunk.h"
#include "wave/stream_sizes.h"
#include "wave/wave.h"

namespace pcmwrap {

namespace {

constexpr std::size_t kBufferBytes = 256 * 1024;
constexpr std::uint64_t kChunkHeaderBytes = 8;
constexpr std::uint64_t kRiffSizeOffset = 4;
constexpr std::uint64_t kJunkOffset = 12;
constexpr std::uint32_t kReservedBytes = 28;  // a ds64 chunk's data: three sizes and a table length
constexpr std::uint64_t kFormatOffset = kJunkOffset + kChunkHeaderBytes + kReservedBytes;
constexpr std::uint32_t kSizeInDs64 = 0xFFFFFFFFu;
constexpr std::uint64_t kLargestChunk = 0xFFFFFFFFu;

// Ids the writer places itself: a second one would mislead every reader.
bool isReservedId(std::string_view id)
{
    return id == "fmt " || id == "fact" || id == "data" || id == "ds64";
}

void checkChunkId(std::string_view id)
{
    const bool printable = id.size() == 4 && std::all_of(id.begin(), id.end(), [](char c) { return c >= 0x20 && c <= 0x7E; });
    if (!printable || isReservedId(id)) {
        throw std::invalid_argument("WavWriter::addChunk: \"" + std::string(id) +
                                    "\" is not 4 printable ASCII characters naming a chunk of the caller's own");
    }
}

void appendChunkHeader(std::vector<unsigned char>& bytes, std::string_view id, std::uint32_t size)
{
    bytes.insert(bytes.end(), id.begin(), id.end());
    unsigned char field[4];
    writeLittleEndian32(field, size);
    bytes.insert(bytes.end(), field, field + 4);
}

}  // namespace

struct WavWriter::State {
    std::string name;  // "<path>", as messages show it
    int fd = -1;
    WavFormat format;
    codec::Stored stored = codec::Stored::kSigned16;
    std::size_t blockAlign = 0;
    std::vector<unsigned char> buffer;
    std::size_t used = 0;          // bytes of buffer not yet written
    std::uint64_t flushed = 0;     // bytes written to the file, the file offset of buffer[0]
    std::uint64_t factOffset = 0;  // the fact chunk's count field; 0 when there is none
    std::uint64_t dataHeader = 0;  // the data chunk's header; 0 until the first frames
    std::uint64_t dataBytes = 0;
    std::uint64_t frames = 0;
    std::vector<std::pair<std::string, std::vector<std::byte>>> trailing;  // chunks behind data
    std::unique_ptr<Md5Hash> md5;  // of the data bytes, for an "MD5 " chunk after them
    bool finished = false;
    // A descriptor that cannot seek: the header goes out once, at the first frames (or the
    // finish), sized by the frames announced; until then the chunks wait in preamble.
    bool stream = false;
    std::optional<std::uint64_t> announcedFrames;
    std::vector<unsigned char> preamble;  // fmt, fact and the caller's chunks

    State() = default;
    State(const State&) = delete;
    State& operator=(const State&) = delete;
    ~State()
    {
        if (fd >= 0) {
            close(fd);
        }
    }

    void create(const std::filesystem::path& path);
    void adopt(int descriptor);
    void startHeader();
    void beginStream();
    void append(const void* bytes, std::size_t count);
    void appendChunk(std::string_view id, std::span<const std::byte> bytes);
    void beginData();
    void flush();
    template <class T>
    void write(std::span<const T> interleaved);
    void finish();
    void writeSizes(std::uint64_t length, std::uint64_t data, std::uint64_t frameTotal);
    void pwriteAll(const void* bytes, std::size_t count, std::uint64_t offset);
    [[noreturn]] void fail(int error);
    void settle();

    // The system refused to make the file: error is its errno.
    [[noreturn]] void failCreating(int error) const
    {
        const std::string reason = std::generic_category().message(error);
        throw WavError(std::error_code(error, std::generic_category()), WAV_ERR_WRITE_FAILED,
                       "cannot create " + name + ": " + reason, reason);
    }
    // The writer's own refusal, whatever the system said on the way: the layer's code.
    [[noreturn]] void refuseNonRegularFile() const
    {
        throw WavError(WAV_ERR_WRITE_FAILED, "cannot create " + name + ": not a regular file", "not a regular file");
    }
    [[noreturn]] void failWriting(int error) const
    {
        const std::string reason = std::generic_category().message(error);
        throw WavError(std::error_code(error, std::generic_category()), WAV_ERR_WRITE_FAILED,
                       "cannot write " + name + ": " + reason, reason);
    }
};

void WavWriter::State::create(const std::filesystem::path& path)
{
    if (const std::string reason = fmt::unwritableReason(format); !reason.empty()) {
        throw WavError(WAV_ERR_BAD_FORMAT, name + ": " + reason, reason);
    }
    // Opened without blocking and emptied only once it is known to be a regular file: a
    // FIFO would hang the open and can never take the header's sizes, and a device must
    // not be truncated.
    fd = open(path.c_str(), O_WRONLY | O_CREAT | O_NONBLOCK | O_CLOEXEC, 0666);
    if (fd < 0) {
        if (errno == ENXIO || errno == EISDIR) {
            refuseNonRegularFile();
        }
        failCreating(errno);
    }
    struct stat status{};
    if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        close(fd);
        fd = -1;
        refuseNonRegularFile();
    }
    if (ftruncate(fd, 0) != 0) {
        const int error = errno;
        close(fd);
        fd = -1;
        failCreating(error);
    }
    startHeader();
}

void WavWriter::State::startHeader()
{
    if (const std::string reason = fmt::unwritableReason(format); !reason.empty()) {
        throw WavError(WAV_ERR_BAD_FORMAT, name + ": " + reason, reason);
    }
    stored = fmt::storedOf(format);
    blockAlign = format.channels * codec::storedBytes(stored);
    buffer.resize(kBufferBytes);
    std::vector<unsigned char> header;
    if (!stream) {
        appendChunkHeader(header, "RIFF", 0);
        header.insert(header.end(), {'W', 'A', 'V', 'E'});
        appendChunkHeader(header, "JUNK", kReservedBytes);
        header.resize(kFormatOffset);
    }
    const std::vector<unsigned char> fmtData = fmt::formatChunkData(format);
    appendChunkHeader(header, "fmt ", static_cast<std::uint32_t>(fmtData.size()));
    header.insert(header.end(), fmtData.begin(), fmtData.end());
    if (fmt::needsFact(format)) {
        appendChunkHeader(header, "fact", 4);
        factOffset = header.size();
        header.resize(header.size() + 4);
    }
    if (stream) {
        preamble = std::move(header);
        return;
    }
    append(header.data(), header.size());
}

// A stream's header, once, with the sizes the stream's one rule decides.
void WavWriter::State::beginStream()
{
    const std::optional<std::uint64_t> dataSize =
        announcedFrames ? std::optional<std::uint64_t>(*announcedFrames * blockAlign) : std::nullopt;
    const WaveStreamSizes sizes = decideStreamSizes(preamble.size() + kChunkHeaderBytes, dataSize,
                                                    static_cast<std::uint32_t>(blockAlign));
    if (factOffset != 0) {
        writeLittleEndian32(preamble.data() + factOffset, sizes.sampleCount);
    }
    std::vector<unsigned char> header;
    appendChunkHeader(header, sizes.rf64 ? "RF64" : "RIFF", sizes.formSize);
    header.insert(header.end(), {'W', 'A', 'V', 'E'});
    if (sizes.rf64) {
        unsigned char ds64[kChunkHeaderBytes + kReservedBytes] = {'d', 's', '6', '4'};
        writeLittleEndian32(ds64 + 4, kReservedBytes);
        writeLittleEndian64(ds64 + 8, sizes.riffSize64);
        writeLittleEndian64(ds64 + 16, sizes.dataSize64);
        writeLittleEndian64(ds64 + 24, sizes.sampleCount64);
        header.insert(header.end(), ds64, ds64 + sizeof ds64);
    }
    const std::uint64_t preambleStart = header.size();
    header.insert(header.end(), preamble.begin(), preamble.end());
    appendChunkHeader(header, "data", sizes.dataSize);
    factOffset = factOffset != 0 ? preambleStart + factOffset : 0;
    preamble.clear();
    append(header.data(), header.size());
    dataHeader = header.size() - kChunkHeaderBytes;
}

void WavWriter::State::append(const void* bytes, std::size_t count)
{
    const auto* from = static_cast<const unsigned char*>(bytes);
    while (count > 0) {
        if (used == buffer.size()) {
            flush();
        }
        const std::size_t piece = std::min(count, buffer.size() - used);
        std::memcpy(buffer.data() + used, from, piece);
        used += piece;
        from += piece;
        count -= piece;
    }
}

void WavWriter::State::appendChunk(std::string_view id, std::span<const std::byte> bytes)
{
    if (stream && dataHeader == 0) {
        appendChunkHeader(preamble, id, static_cast<std::uint32_t>(bytes.size()));
        const auto* from = reinterpret_cast<const unsigned char*>(bytes.data());
        preamble.insert(preamble.end(), from, from + bytes.size());
        if (bytes.size() % 2 != 0) {
            preamble.push_back(0);
        }
        return;
    }
    std::vector<unsigned char> header;
    appendChunkHeader(header, id, static_cast<std::uint32_t>(bytes.size()));
    append(header.data(), header.size());
    append(bytes.data(), bytes.size());
    if (bytes.size() % 2 != 0) {
        const unsigned char pad = 0;
        append(&pad, 1);
    }
}

void WavWriter::State::beginData()
{
    if (stream) {
        beginStream();
        return;
    }
    std::vector<unsigned char> header;
    appendChunkHeader(header, "data", 0);
    dataHeader = flushed + used;
    append(header.data(), header.size());
}

void WavWriter::State::pwriteAll(const void* bytes, std::size_t count, std::uint64_t offset)
{
    const auto* from = static_cast<const unsigned char*>(bytes);
    while (count > 0) {
        const ssize_t put =
            stream ? ::write(fd, from, count) : pwrite(fd, from, count, static_cast<off_t>(offset));
        if (put < 0 && errno == EINTR) {
            continue;
        }
        if (put <= 0) {
            fail(put < 0 ? errno : ENOSPC);
        }
        from += put;
        offset += static_cast<std::uint64_t>(put);
        count -= static_cast<std::size_t>(put);
    }
}

void WavWriter::State::flush()
{
    const std::size_t count = used;
    used = 0;
    pwriteAll(buffer.data(), count, flushed);
    flushed += count;
}

template <class T>
void WavWriter::State::write(std::span<const T> interleaved)
{
    const std::size_t channels = format.channels;
    if (interleaved.size() % channels != 0) {
        throw std::invalid_argument("WavWriter::writeFrames: " + std::to_string(interleaved.size()) +
                                    " samples are not a whole number of " + std::to_string(channels) +
                                    "-channel frames");
    }
    if (finished) {
        throw std::logic_error("WavWriter::writeFrames: the file " + name + " is finished");
    }
    const std::size_t total = interleaved.size() / channels;
    if (total == 0) {
        // No frames yet: a chunk added next still goes before data. (A data chunk of size
        // 0 followed by other chunks would read as one whose size was never filled in.)
        return;
    }
    if (dataHeader == 0) {
        beginData();
    }
    std::size_t done = 0;
    while (done < total) {
        if (buffer.size() - used < blockAlign) {
            flush();
        }
        const std::size_t count = std::min(total - done, (buffer.size() - used) / blockAlign);
        codec::encode(stored, interleaved.data() + done * channels, count * channels, buffer.data() + used);
        if (md5) {
            md5->update(buffer.data() + used, count * blockAlign);
        }
        used += count * blockAlign;
        done += count;
        frames += count;
        dataBytes += count * blockAlign;
    }
}

// Writes the sizes of a file of `length` bytes holding `data` sample bytes: a RIFF header
// while the file fits the RIFF limit, otherwise RF64 with the true sizes in the place of
// the JUNK chunk.
void WavWriter::State::writeSizes(std::uint64_t length, std::uint64_t data, std::uint64_t frameTotal)
{
    unsigned char field[4];
    const bool rf64 = length > mmioGetMaximumRiffFileSize();
    if (rf64) {
        unsigned char form[8] = {'R', 'F', '6', '4'};
        writeLittleEndian32(form + 4, kSizeInDs64);
        pwriteAll(form, sizeof form, 0);
        unsigned char ds64[kChunkHeaderBytes + kReservedBytes] = {'d', 's', '6', '4'};
        writeLittleEndian32(ds64 + 4, kReservedBytes);
        writeLittleEndian64(ds64 + 8, length - 8);
        writeLittleEndian64(ds64 + 16, data);
        writeLittleEndian64(ds64 + 24, frameTotal);
        pwriteAll(ds64, sizeof ds64, kJunkOffset);  // table length 0
        writeLittleEndian32(field, kSizeInDs64);
    } else {
        writeLittleEndian32(field, static_cast<std::uint32_t>(length - 8));
        pwriteAll(field, sizeof field, kRiffSizeOffset);
        writeLittleEndian32(field, static_cast<std::uint32_t>(data));
    }
    pwriteAll(field, sizeof field, dataHeader + 4);
    if (factOffset != 0) {
        writeLittleEndian32(field, frameTotal > kSizeInDs64 ? kSizeInDs64 : static_cast<std::uint32_t>(frameTotal));
        pwriteAll(field, sizeof field, factOffset);
    }
}

void WavWriter::State::finish()
{
    if (finished) {
        return;
    }
    if (dataHeader == 0) {
        beginData();
    }
    if (dataBytes % 2 != 0) {
        const unsigned char pad = 0;
        append(&pad, 1);
    }
    if (md5) {
        const std::vector<unsigned char> digest = meta::md5ChunkData(md5->digest());
        appendChunk("MD5 ", std::as_bytes(std::span(digest)));
    }
    for (const auto& [id, bytes] : trailing) {
        appendChunk(id, bytes);
    }
    flush();
    if (!stream) {
        writeSizes(flushed, dataBytes, frames);
    }
    finished = true;
    const int closed = close(fd);
    fd = -1;
    if (closed != 0) {
        // Some file systems report a lost write only here; the file is as settled as it gets.
        failWriting(errno);
    }
    if (announcedFrames && *announcedFrames != frames) {
        const std::string reason = std::to_string(frames) + " frames written where " +
                                   std::to_string(*announcedFrames) + " were announced";
        throw WavError(WAV_ERR_WRITE_FAILED, "cannot finish " + name + ": " + reason, reason);
    }
}

// The whole frames that reached the disk stay: the file is cut after the last of them
// (a part of a frame, or a chunk begun behind them, goes), and its sizes are made to
// describe exactly them; frames counts them.
void WavWriter::State::settle()
{
    struct stat status {};
    if (stream || dataHeader == 0 || fstat(fd, &status) != 0) {
        return;
    }
    const std::uint64_t length = static_cast<std::uint64_t>(status.st_size);
    const std::uint64_t dataStart = dataHeader + kChunkHeaderBytes;
    if (length < dataStart) {
        frames = 0;  // not even the header reached the disk
        return;
    }
    std::uint64_t data = std::min(length - dataStart, dataBytes);
    data -= data % blockAlign;
    frames = data / blockAlign;
    std::uint64_t end = dataStart + data;
    if (length > end && ftruncate(fd, static_cast<off_t>(end)) != 0) {
        return;
    }
    const unsigned char pad = 0;
    if (data % 2 != 0 && pwrite(fd, &pad, 1, static_cast<off_t>(end)) == 1) {
        ++end;
    }
    writeSizes(end, data, frames);
}

void WavWriter::State::fail(int error)
{
    if (!finished) {
        finished = true;  // settling writes through pwriteAll, which may fail again: once only
        try {
            settle();
        } catch (const WavError&) {
            // The header could not be settled either; the first failure is the one to report.
        }
    }
    if (fd >= 0) {
        close(fd);
        fd = -1;
    }
    failWriting(error);
}

WavWriter::WavWriter(const std::filesystem::path& path, const WavFormat& format) : state_(std::make_unique<State>())
{
    state_->name = bracketedName(path);
    state_->format = format;
    state_->create(path);
}

WavWriter::WavWriter(int descriptor, const WavFormat& format, std::optional<std::uint64_t> frames)
    : state_(std::make_unique<State>())
{
    state_->name = "<descriptor " + std::to_string(descriptor) + ">";
    state_->format = format;
    state_->announcedFrames = frames;
    state_->adopt(descriptor);
}

// A regular file that the descriptor writes from its start is written as a file; anything
// else, a file open to append or standing past its start too, as a stream.
void WavWriter::State::adopt(int descriptor)
{
    if (const std::string reason = fmt::unwritableReason(format); !reason.empty()) {
        throw WavError(WAV_ERR_BAD_FORMAT, name + ": " + reason, reason);
    }
    const int accessMode = fcntl(descriptor, F_GETFL);
    struct stat status {};
    fd = fcntl(descriptor, F_DUPFD_CLOEXEC, 0);
    if (fd < 0 || accessMode == -1 || (accessMode & O_ACCMODE) == O_RDONLY || fstat(fd, &status) != 0 ||
        S_ISDIR(status.st_mode)) {
        const std::string reason = fd < 0 || accessMode == -1 ? std::generic_category().message(errno)
                                                              : "not open for writing";
        throw WavError(WAV_ERR_WRITE_FAILED, "cannot create " + name + ": " + reason, reason);
    }
    stream = !S_ISREG(status.st_mode) || (accessMode & O_APPEND) != 0 || lseek(fd, 0, SEEK_CUR) != 0;
    if (!stream && ftruncate(fd, 0) != 0) {
        const std::string reason = std::generic_category().message(errno);
        throw WavError(WAV_ERR_WRITE_FAILED, "cannot create " + name + ": " + reason, reason);
    }
    // A seekable file learns its sizes at the end, as one created by path.
    if (!stream) {
        announcedFrames.reset();
    }
    startHeader();
}

WavWriter::WavWriter(WavWriter&&) noexcept = default;
WavWriter& WavWriter::operator=(WavWriter&& other) noexcept
{
    if (this != &other) {
        if (state_) {
            try {
                state_->finish();
            } catch (...) {
                // As in the destructor: the error of a file finished this way is lost.
            }
        }
        state_ = std::move(other.state_);
    }
    return *this;
}

WavWriter::~WavWriter()
{
    if (state_) {
        try {
            state_->finish();
        } catch (...) {
            // Lost by design: finish() is there for callers who want to see it.
        }
    }
}

void WavWriter::writeFrames(std::span<const std::int16_t> interleaved)
{
    liveState(state_, "WavWriter::writeFrames").write(interleaved);
}

void WavWriter::writeFrames(std::span<const std::int32_t> interleaved)
{
    liveState(state_, "WavWriter::writeFrames").write(interleaved);
}

void WavWriter::writeFrames(std::span<const float> interleaved)
{
    liveState(state_, "WavWriter::writeFrames").write(interleaved);
}

void WavWriter::writeFrames(std::span<const double> interleaved)
{
    liveState(state_, "WavWriter::writeFrames").write(interleaved);
}

void WavWriter::addChunk(std::string_view id, std::span<const std::byte> bytes)
{
    State& state = liveState(state_, "WavWriter::addChunk");
    checkChunkId(id);
    if (bytes.size() > kLargestChunk) {
        throw std::invalid_argument("WavWriter::addChunk: a chunk holds at most 0xFFFFFFFF bytes");
    }
    if (state.finished) {
        throw std::logic_error("WavWriter::addChunk: the file " + state.name + " is finished");
    }
    if (state.dataHeader == 0) {
        state.appendChunk(id, bytes);
    } else if (state.stream) {
        throw std::logic_error("WavWriter::addChunk: the header of the stream " + state.name +
                               " went out with the first frames");
    } else {
        state.trailing.emplace_back(std::string(id), std::vector<std::byte>(bytes.begin(), bytes.end()));
    }
}

void WavWriter::finish()
{
    liveState(state_, "WavWriter::finish").finish();
}

std::uint64_t WavWriter::frameCount() const noexcept
{
    return state_ ? state_->frames : 0;
}

void WavWriter::addMd5Chunk()
{
    State& state = liveState(state_, "WavWriter::addMd5Chunk");
    if (state.stream) {
        // Its header went out, or goes out, without room for chunks behind the data.
        throw std::logic_error("WavWriter::addMd5Chunk: " + state.name + " is a stream");
    }
    if (state.dataHeader != 0 || state.finished) {
        throw std::logic_error("WavWriter::addMd5Chunk: the file " + state.name + " has frames already");
    }
    if (!state.md5) {
        state.md5 = std::make_unique<Md5Hash>();
    }
}

}  // namespace pcmwrap
