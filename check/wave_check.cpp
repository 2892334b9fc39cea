// The checks of one WAVE file. Every size the file claims is compared with what the file
// holds before anything is read by it; metadata chunks are judged by the one parser the
// reader and the converter use (wavfile/broadcast_metadata.h).

#include "check/wave_check.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstring>
#include <system_error>

#include "platform/little_endian.h"
#include "wavfile/broadcast_metadata.h"
#include "wavfile/md5_hash.h"

namespace {

namespace meta = pcmwrap::meta;

constexpr std::uint64_t kChunkHeaderBytes = 8;
constexpr std::uint64_t kFormHeaderBytes = 12;
constexpr std::uint32_t kSizeInDs64 = 0xFFFFFFFFu;
// Metadata chunks larger than this are reported, not loaded.
constexpr std::uint64_t kLargestMetadataChunk = 16 * 1024 * 1024;
// More chunks than this is no file anyone wrote; the walk stops there.
constexpr std::size_t kMostChunks = 65536;
constexpr std::size_t kHashPieceBytes = 1024 * 1024;

constexpr std::uint16_t kFormatPcm = 1;
constexpr std::uint16_t kFormatFloat = 3;
constexpr std::uint16_t kFormatExtensible = 0xFFFE;
// Format tags in common use besides those: ADPCM, A-law, mu-law, IMA ADPCM, GSM, MPEG, MP3.
constexpr std::uint16_t kOtherKnownTags[] = {2, 6, 7, 0x11, 0x31, 0x50, 0x55};
// The subformat GUIDs' common tail; their first two bytes are the format tag.
constexpr unsigned char kGuidTail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                         0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

struct Chunk {
    std::string id;  // as in the file; in messages without trailing blanks ("MD5 chunk")
    std::uint64_t header;  // offset of its header
    std::uint64_t size;    // as its header (or ds64) says
};

class Checker {
public:
    Checker(FileCheck* check, int fd, std::uint64_t fileSize) : check_(*check), fd_(fd), fileSize_(fileSize) {}
    void run();

private:
    void error(std::string message, std::uint64_t offset)
    {
        check_.findings.push_back({Severity::kError, std::move(message), offset});
    }
    void warning(std::string message, std::uint64_t offset)
    {
        check_.findings.push_back({Severity::kWarning, std::move(message), offset});
    }
    bool readAt(std::uint64_t offset, void* bytes, std::size_t count);
    std::vector<unsigned char> chunkData(const Chunk& chunk);
    bool walk();
    void checkFormat(const Chunk& chunk);
    void checkFact();
    void checkBext(const Chunk& chunk);
    void checkList(const Chunk& chunk);
    void checkMd5(const Chunk& chunk);
    const Chunk* first(std::string_view id) const;

    FileCheck& check_;
    int fd_;
    std::uint64_t fileSize_;
    bool large_ = false;  // RF64 or BW64
    std::uint64_t ds64Data_ = 0;
    std::uint64_t ds64Samples_ = 0;
    std::vector<Chunk> chunks_;
    std::uint16_t formatTag_ = 0;
    std::uint16_t blockAlign_ = 0;
    bool pcm_ = true;  // PCM samples, including extensible PCM
};

bool Checker::readAt(std::uint64_t offset, void* bytes, std::size_t count)
{
    auto* to = static_cast<unsigned char*>(bytes);
    while (count > 0) {
        const ssize_t got = pread(fd_, to, count, static_cast<off_t>(offset));
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            return false;
        }
        to += got;
        offset += static_cast<std::uint64_t>(got);
        count -= static_cast<std::size_t>(got);
    }
    return true;
}

// The data of a chunk that lies inside the file and is no larger than metadata is.
std::vector<unsigned char> Checker::chunkData(const Chunk& chunk)
{
    std::vector<unsigned char> bytes(static_cast<std::size_t>(chunk.size));
    if (!readAt(chunk.header + kChunkHeaderBytes, bytes.data(), bytes.size())) {
        error("cannot read the " + chunk.id + " chunk", chunk.header);
        bytes.clear();
    }
    return bytes;
}

const Chunk* Checker::first(std::string_view id) const
{
    const auto found = std::find_if(chunks_.begin(), chunks_.end(), [&](const Chunk& c) { return c.id == id; });
    return found == chunks_.end() ? nullptr : &*found;
}

std::string printableId(const unsigned char* bytes)
{
    std::string id(bytes, bytes + 4);
    std::replace_if(id.begin(), id.end(), [](char c) { return c < 0x20 || c > 0x7E; }, '?');
    return id;
}

// The form's header and every top-level chunk: false when it is no WAVE form at all.
bool Checker::walk()
{
    unsigned char form[kFormHeaderBytes];
    if (fileSize_ < kFormHeaderBytes || !readAt(0, form, sizeof form)) {
        error("not a WAVE file: " + std::to_string(fileSize_) + " bytes, fewer than a form's header", 0);
        return false;
    }
    const std::string formId(form, form + 4);
    large_ = formId == "RF64" || formId == "BW64";
    if ((formId != "RIFF" && !large_) || std::memcmp(form + 8, "WAVE", 4) != 0) {
        error("not a WAVE file: the form is <" + printableId(form) + "> of type <" + printableId(form + 8) + ">", 0);
        return false;
    }
    std::uint64_t formSize = readLittleEndian32(form + 4);
    if (large_) {
        unsigned char ds64[kChunkHeaderBytes + 24];
        if (fileSize_ < kFormHeaderBytes + sizeof ds64 || !readAt(kFormHeaderBytes, ds64, sizeof ds64) ||
            std::memcmp(ds64, "ds64", 4) != 0 || readLittleEndian32(ds64 + 4) < 24) {
            error(formId + " form without a ds64 chunk first", kFormHeaderBytes);
            return false;
        }
        if (formSize != kSizeInDs64) {
            warning(formId + " size field is " + std::to_string(formSize) + ", not 0xFFFFFFFF", 4);
        }
        const auto field64 = [&](std::size_t at) {
            return std::uint64_t{readLittleEndian32(ds64 + at)} | std::uint64_t{readLittleEndian32(ds64 + at + 4)} << 32;
        };
        formSize = field64(8);
        ds64Data_ = field64(16);
        ds64Samples_ = field64(24);
    }
    const std::uint64_t sizeOffset = large_ ? kFormHeaderBytes + kChunkHeaderBytes : 4;
    if (formSize > fileSize_ - 8) {
        error("form size " + std::to_string(formSize) + " passes the end of the file (" + std::to_string(fileSize_) +
                  " bytes)",
              sizeOffset);
    } else if (formSize + 8 < fileSize_) {
        warning(std::to_string(fileSize_ - 8 - formSize) + " bytes after the form's end", formSize + 8);
    }
    const std::uint64_t end = std::min(fileSize_, formSize + 8);
    std::uint64_t position = kFormHeaderBytes;
    while (position < end) {
        if (end - position < kChunkHeaderBytes) {
            error("a chunk header cut short by the form's end", position);
            break;
        }
        unsigned char header[kChunkHeaderBytes];
        if (!readAt(position, header, sizeof header)) {
            error("cannot read a chunk header", position);
            break;
        }
        Chunk chunk{printableId(header), position, readLittleEndian32(header + 4)};
        std::string named = chunk.id;
        named.erase(named.find_last_not_of(' ') + 1);
        if (large_ && chunk.size == kSizeInDs64 && chunk.id == "data") {
            chunk.size = ds64Data_;
        }
        if (chunks_.size() == kMostChunks) {
            error("more than " + std::to_string(kMostChunks) + " chunks", position);
            break;
        }
        chunks_.push_back(chunk);
        const std::uint64_t dataStart = position + kChunkHeaderBytes;
        if (chunk.size > end - dataStart) {
            error(named + " chunk of " + std::to_string(chunk.size) + " bytes passes the end of the " +
                      (end == fileSize_ ? "file" : "form"),
                  position);
            break;
        }
        position = dataStart + chunk.size;
        if (chunk.size % 2 != 0) {
            if (position >= end) {
                error(named + " chunk of odd size has no pad byte", position);
                break;
            }
            ++position;
        }
    }
    return true;
}

void Checker::checkFormat(const Chunk& chunk)
{
    const std::uint64_t at = chunk.header + kChunkHeaderBytes;
    if (chunk.size < 16) {
        error("fmt chunk of " + std::to_string(chunk.size) + " bytes, fewer than 16", chunk.header);
        return;
    }
    unsigned char bytes[40] = {};
    const auto held = static_cast<std::size_t>(std::min<std::uint64_t>(chunk.size, sizeof bytes));
    if (!readAt(at, bytes, held)) {
        error("cannot read the fmt chunk", chunk.header);
        return;
    }
    formatTag_ = readLittleEndian16(bytes);
    const std::uint16_t channels = readLittleEndian16(bytes + 2);
    const std::uint32_t rate = readLittleEndian32(bytes + 4);
    const std::uint32_t byteRate = readLittleEndian32(bytes + 8);
    blockAlign_ = readLittleEndian16(bytes + 12);
    const std::uint16_t bits = readLittleEndian16(bytes + 14);
    std::uint16_t sampleTag = formatTag_;
    if (formatTag_ == kFormatExtensible) {
        if (held < 40 || readLittleEndian16(bytes + 16) < 22) {
            error("extensible fmt chunk without its 22 extra bytes", at + 16);
            return;
        }
        const std::uint16_t validBits = readLittleEndian16(bytes + 18);
        const std::uint32_t mask = readLittleEndian32(bytes + 20);
        if (validBits > bits) {
            error("valid bits " + std::to_string(validBits) + " exceed the container's " + std::to_string(bits),
                  at + 18);
        }
        if (std::popcount(mask) > channels) {
            error("channel mask names " + std::to_string(std::popcount(mask)) + " speakers for " +
                      std::to_string(channels) + " channels",
                  at + 20);
        }
        sampleTag = readLittleEndian16(bytes + 24);
        if (std::memcmp(bytes + 26, kGuidTail, sizeof kGuidTail) != 0) {
            warning("subformat is not a format tag's GUID", at + 24);
        }
    }
    pcm_ = sampleTag == kFormatPcm;
    const bool known = sampleTag == kFormatPcm || sampleTag == kFormatFloat ||
                       std::find(std::begin(kOtherKnownTags), std::end(kOtherKnownTags), sampleTag) !=
                           std::end(kOtherKnownTags);
    if (!known) {
        (sampleTag == 0 ? static_cast<void>(error("format tag 0 names no format", at))
                        : warning("format tag " + std::to_string(sampleTag) + " is not one in common use", at));
    }
    if (channels == 0) {
        error("0 channels", at + 2);
    }
    if (rate == 0) {
        error("a sample rate of 0", at + 4);
    }
    if (sampleTag == kFormatPcm || sampleTag == kFormatFloat) {
        const bool bitsExist = sampleTag == kFormatFloat ? bits == 32 || bits == 64 : bits >= 1 && bits <= 64;
        if (!bitsExist) {
            error(std::to_string(bits) + " bits per sample do not exist for this format", at + 14);
        }
        const std::uint32_t container = (bits + 7u) / 8u;
        if (std::uint32_t{blockAlign_} != channels * container) {
            error("block align " + std::to_string(blockAlign_) + " is not channels x container bytes (" +
                      std::to_string(channels * container) + ")",
                  at + 12);
        }
    }
    if (std::uint64_t{byteRate} != std::uint64_t{rate} * blockAlign_) {
        error("byte rate " + std::to_string(byteRate) + " is not rate x block align (" +
                  std::to_string(std::uint64_t{rate} * blockAlign_) + ")",
              at + 8);
    }
}

// A fact chunk counts the sample frames; every format but PCM must have one.
void Checker::checkFact()
{
    const Chunk* fact = first("fact");
    const Chunk* data = first("data");
    if (fact == nullptr) {
        if (!pcm_) {
            error("no fact chunk for a format that is not PCM", kFormHeaderBytes);
        }
        return;
    }
    unsigned char field[4];
    if (fact->size < 4 || !readAt(fact->header + kChunkHeaderBytes, field, 4)) {
        error("fact chunk of " + std::to_string(fact->size) + " bytes, fewer than 4", fact->header);
        return;
    }
    if (data == nullptr || blockAlign_ == 0) {
        return;
    }
    const std::uint32_t count = readLittleEndian32(field);
    const std::uint64_t frames = data->size / blockAlign_;
    const bool right = count == frames || (large_ && count == kSizeInDs64 && ds64Samples_ == frames);
    if (!right) {
        const std::string message = "fact counts " + std::to_string(count) + " frames, data holds " + std::to_string(frames);
        if (pcm_) {
            warning(message, fact->header + kChunkHeaderBytes);
        } else {
            error(message, fact->header + kChunkHeaderBytes);
        }
    }
}

void Checker::checkBext(const Chunk& chunk)
{
    if (chunk.size > kLargestMetadataChunk) {
        error("bext chunk of " + std::to_string(chunk.size) + " bytes, too large to be one", chunk.header);
        return;
    }
    std::vector<meta::Finding> findings;
    check_.bext = meta::parseBext(chunkData(chunk), &findings);
    for (meta::Finding& finding : findings) {
        check_.findings.push_back({finding.error ? Severity::kError : Severity::kWarning, std::move(finding.message),
                                   chunk.header + kChunkHeaderBytes + finding.offset});
    }
}

void Checker::checkList(const Chunk& chunk)
{
    if (chunk.size > kLargestMetadataChunk) {
        return;  // not INFO tags: those are small
    }
    std::vector<meta::Finding> findings;
    auto tags = meta::parseInfoList(chunkData(chunk), &findings);
    check_.info.insert(check_.info.end(), tags.begin(), tags.end());
    for (meta::Finding& finding : findings) {
        check_.findings.push_back({finding.error ? Severity::kError : Severity::kWarning, std::move(finding.message),
                                   chunk.header + kChunkHeaderBytes + finding.offset});
    }
}

// The only check that reads the samples.
void Checker::checkMd5(const Chunk& chunk)
{
    std::vector<meta::Finding> findings;
    check_.md5 = meta::parseMd5(chunk.size <= 64 ? chunkData(chunk) : std::vector<unsigned char>(17), &findings);
    if (!check_.md5) {
        error("MD5 chunk of " + std::to_string(chunk.size) + " bytes, not 16", chunk.header);
        return;
    }
    const Chunk* data = first("data");
    if (data == nullptr) {
        return;
    }
    posix_fadvise(fd_, static_cast<off_t>(data->header), static_cast<off_t>(data->size), POSIX_FADV_SEQUENTIAL);
    pcmwrap::Md5Hash hash;
    std::vector<unsigned char> piece(kHashPieceBytes);
    for (std::uint64_t done = 0; done < data->size;) {
        const auto count = static_cast<std::size_t>(std::min<std::uint64_t>(data->size - done, piece.size()));
        if (!readAt(data->header + kChunkHeaderBytes + done, piece.data(), count)) {
            error("cannot read the data to check its MD5", data->header + kChunkHeaderBytes + done);
            return;
        }
        hash.update(piece.data(), count);
        done += count;
    }
    if (hash.digest() != *check_.md5) {
        error("MD5 differs", chunk.header + kChunkHeaderBytes);
    }
}

void Checker::run()
{
    if (!walk()) {
        return;
    }
    const Chunk* fmt = first("fmt ");
    const Chunk* data = first("data");
    if (fmt == nullptr) {
        error("no fmt chunk", kFormHeaderBytes);
    }
    if (data == nullptr) {
        error("no data chunk", kFormHeaderBytes);
    }
    if (fmt != nullptr && data != nullptr && fmt->header > data->header) {
        error("fmt chunk after the data chunk", fmt->header);
    }
    for (const char* id : {"fmt ", "data", "bext", "ds64"}) {
        const auto count = std::count_if(chunks_.begin(), chunks_.end(), [&](const Chunk& c) { return c.id == id; });
        if (count > 1) {
            error("more than one " + std::string(id) + " chunk", kFormHeaderBytes);
        }
    }
    if (large_ && data != nullptr && ds64Data_ != data->size) {
        error("ds64 data size " + std::to_string(ds64Data_) + " is not the data chunk's " + std::to_string(data->size),
              kFormHeaderBytes + kChunkHeaderBytes + 8);
    }
    if (fmt != nullptr) {
        checkFormat(*fmt);
    }
    if (data != nullptr && blockAlign_ != 0 && data->size % blockAlign_ != 0) {
        warning("data ends inside a frame: " + std::to_string(data->size % blockAlign_) + " bytes after the last whole one",
                data->header + kChunkHeaderBytes + data->size - data->size % blockAlign_);
    }
    checkFact();
    for (const Chunk& chunk : chunks_) {
        if (chunk.id == "bext" && &chunk == first("bext")) {
            checkBext(chunk);
        } else if (chunk.id == "LIST") {
            checkList(chunk);
        } else if (chunk.id == "MD5 " && &chunk == first("MD5 ")) {
            checkMd5(chunk);
        }
    }
}

}  // namespace

FileCheck checkWaveFile(const std::string& file)
{
    FileCheck check;
    check.file = file;
    const int fd = open(file.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    struct stat status {};
    if (fd < 0 || fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        const int reason = fd < 0 ? errno : S_ISDIR(status.st_mode) ? EISDIR : 0;
        check.unreadableReason = reason != 0 ? std::generic_category().message(reason) : "not a regular file";
        check.result = CheckResult::kUnreadable;
        if (fd >= 0) {
            close(fd);
        }
        return check;
    }
    Checker(&check, fd, static_cast<std::uint64_t>(status.st_size)).run();
    close(fd);
    const bool errors = std::any_of(check.findings.begin(), check.findings.end(),
                                    [](const CheckFinding& f) { return f.severity == Severity::kError; });
    check.result = errors ? CheckResult::kErrors : check.findings.empty() ? CheckResult::kOk : CheckResult::kWarnings;
    return check;
}
