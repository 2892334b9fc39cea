// The bext, LIST/INFO and "MD5 " chunks: their layouts, their values' rules, both ways.

#include "wavfile/broadcast_metadata.h"

#include <algorithm>
#include <cstdio>

#include "platform/little_endian.h"

namespace pcmwrap::meta {

namespace {

// The fixed fields of a bext chunk (EBU Tech 3285 version 2), by offset in its data.
constexpr std::size_t kDescriptionOffset = 0;
constexpr std::size_t kOriginatorOffset = 256;
constexpr std::size_t kOriginatorReferenceOffset = 288;
constexpr std::size_t kDateOffset = 320;
constexpr std::size_t kTimeOffset = 330;
constexpr std::size_t kTimeReferenceOffset = 338;
constexpr std::size_t kVersionOffset = 346;
constexpr std::size_t kUmidOffset = 348;
constexpr std::size_t kCodingHistoryOffset = kBextFixedBytes;
constexpr std::uint16_t kNewestVersion = 2;

bool printable(char c)
{
    return c >= 0x20 && c <= 0x7E;
}

bool digits(std::string_view text)
{
    return std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

int number(std::string_view text)
{
    int value = 0;
    for (const char c : text) {
        value = value * 10 + (c - '0');
    }
    return value;
}

bool separator(char c, bool strict, char wanted)
{
    return strict ? c == wanted : c == '-' || c == '_' || c == ':' || c == ' ' || c == '.';
}

int daysIn(int year, int month)
{
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : kDays[month - 1];
}

void putText(std::vector<unsigned char>& bytes, std::size_t offset, std::string_view text, std::size_t width)
{
    std::copy_n(text.begin(), std::min(text.size(), width), bytes.begin() + static_cast<long>(offset));
}

void putField16(std::vector<unsigned char>& bytes, std::size_t offset, std::int16_t value)
{
    writeLittleEndian16(bytes.data() + offset, static_cast<std::uint16_t>(value));
}

// A fixed text field: its bytes up to the first NUL, checked for printable ASCII and for
// NUL bytes only after it.
std::string fixedText(std::span<const unsigned char> data, std::size_t offset, std::size_t width, const char* name,
                      std::vector<Finding>* findings)
{
    const auto field = data.subspan(offset, width);
    const auto end = std::find(field.begin(), field.end(), 0);
    std::string text(field.begin(), end);
    const auto bad = std::find_if_not(text.begin(), text.end(), printable);
    if (bad != text.end()) {
        findings->push_back({true, std::string("bext ") + name + " is not printable ASCII",
                             offset + static_cast<std::size_t>(bad - text.begin())});
    }
    const auto stray = std::find_if(end, field.end(), [](unsigned char c) { return c != 0; });
    if (stray != field.end()) {
        findings->push_back({true, std::string("bext ") + name + " is not padded with NUL bytes",
                             offset + static_cast<std::size_t>(stray - field.begin())});
    }
    return text;
}

}  // namespace

std::string textProblem(std::string_view text, std::size_t most)
{
    if (text.size() > most) {
        return "more than " + std::to_string(most) + " bytes";
    }
    if (!std::all_of(text.begin(), text.end(), printable)) {
        return "not printable ASCII";
    }
    return "";
}

std::string dateProblem(std::string_view date, bool strict)
{
    if (date.size() != kDateBytes || !digits(date.substr(0, 4)) || !separator(date[4], strict, '-') ||
        !digits(date.substr(5, 2)) || !separator(date[7], strict, '-') || !digits(date.substr(8, 2))) {
        return "not a date of the form YYYY-MM-DD";
    }
    const int year = number(date.substr(0, 4));
    const int month = number(date.substr(5, 2));
    const int day = number(date.substr(8, 2));
    if (month < 1 || month > 12 || day < 1 || day > daysIn(year, month)) {
        return "no such date";
    }
    return "";
}

std::string timeProblem(std::string_view time, bool strict)
{
    if (time.size() != kTimeBytes || !digits(time.substr(0, 2)) || !separator(time[2], strict, ':') ||
        !digits(time.substr(3, 2)) || !separator(time[5], strict, ':') || !digits(time.substr(6, 2))) {
        return "not a time of the form HH:MM:SS";
    }
    if (number(time.substr(0, 2)) > 23 || number(time.substr(3, 2)) > 59 || number(time.substr(6, 2)) > 59) {
        return "no such time";
    }
    return "";
}

std::string infoIdProblem(std::string_view id)
{
    const bool allowed =
        id.size() == 4 && std::all_of(id.begin(), id.end(), [](char c) { return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'); });
    return allowed ? "" : "an INFO id is four upper-case letters or digits";
}

std::string codingHistoryProblem(std::string_view history)
{
    std::size_t start = 0;
    while (start < history.size()) {
        const std::size_t end = history.find("\r\n", start);
        const std::string_view line = history.substr(start, end == std::string_view::npos ? end : end - start);
        if (!std::all_of(line.begin(), line.end(), printable)) {
            return "not printable ASCII";
        }
        if (end == std::string_view::npos) {
            return "a line that does not end in CR LF";
        }
        start = end + 2;
    }
    return "";
}

std::vector<unsigned char> bextChunkData(const BroadcastExtension& bext)
{
    std::vector<unsigned char> bytes(kBextFixedBytes, 0);
    putText(bytes, kDescriptionOffset, bext.description, kDescriptionBytes);
    putText(bytes, kOriginatorOffset, bext.originator, kOriginatorBytes);
    putText(bytes, kOriginatorReferenceOffset, bext.originatorReference, kOriginatorReferenceBytes);
    putText(bytes, kDateOffset, bext.originationDate, kDateBytes);
    putText(bytes, kTimeOffset, bext.originationTime, kTimeBytes);
    writeLittleEndian64(bytes.data() + kTimeReferenceOffset, bext.timeReference);
    writeLittleEndian16(bytes.data() + kVersionOffset, bext.version);
    std::copy(bext.umid.begin(), bext.umid.end(), bytes.begin() + kUmidOffset);
    const std::vector<unsigned char> loudness = loudnessFieldBytes(bext);
    std::copy(loudness.begin(), loudness.end(), bytes.begin() + kLoudnessOffset);
    bytes.insert(bytes.end(), bext.codingHistory.begin(), bext.codingHistory.end());
    return bytes;
}

std::vector<unsigned char> loudnessFieldBytes(const BroadcastExtension& bext)
{
    std::vector<unsigned char> bytes(kLoudnessBytes);
    putField16(bytes, 0, bext.loudnessValue);
    putField16(bytes, 2, bext.loudnessRange);
    putField16(bytes, 4, bext.maxTruePeakLevel);
    putField16(bytes, 6, bext.maxMomentaryLoudness);
    putField16(bytes, 8, bext.maxShortTermLoudness);
    return bytes;
}

std::optional<BroadcastExtension> parseBext(std::span<const unsigned char> data, std::vector<Finding>* findings)
{
    if (data.size() < kBextFixedBytes) {
        findings->push_back({true, "bext chunk of " + std::to_string(data.size()) + " bytes, shorter than its " +
                                       std::to_string(kBextFixedBytes) + " bytes of fixed fields",
                             0});
        return std::nullopt;
    }
    BroadcastExtension bext;
    bext.description = fixedText(data, kDescriptionOffset, kDescriptionBytes, "Description", findings);
    bext.originator = fixedText(data, kOriginatorOffset, kOriginatorBytes, "Originator", findings);
    bext.originatorReference =
        fixedText(data, kOriginatorReferenceOffset, kOriginatorReferenceBytes, "OriginatorReference", findings);
    bext.originationDate = fixedText(data, kDateOffset, kDateBytes, "OriginationDate", findings);
    bext.originationTime = fixedText(data, kTimeOffset, kTimeBytes, "OriginationTime", findings);
    if (!bext.originationDate.empty()) {
        if (const std::string problem = dateProblem(bext.originationDate, false); !problem.empty()) {
            findings->push_back({true, "bext OriginationDate <" + bext.originationDate + ">: " + problem, kDateOffset});
        }
    }
    if (!bext.originationTime.empty()) {
        if (const std::string problem = timeProblem(bext.originationTime, false); !problem.empty()) {
            findings->push_back({true, "bext OriginationTime <" + bext.originationTime + ">: " + problem, kTimeOffset});
        }
    }
    bext.timeReference = std::uint64_t{readLittleEndian32(data.data() + kTimeReferenceOffset)} |
                         std::uint64_t{readLittleEndian32(data.data() + kTimeReferenceOffset + 4)} << 32;
    bext.version = readLittleEndian16(data.data() + kVersionOffset);
    if (bext.version > kNewestVersion) {
        findings->push_back({true, "bext version " + std::to_string(bext.version) + " is not 0, 1 or 2", kVersionOffset});
    }
    std::copy_n(data.begin() + kUmidOffset, bext.umid.size(), bext.umid.begin());
    const auto field16 = [&](std::size_t index) {
        return static_cast<std::int16_t>(readLittleEndian16(data.data() + kLoudnessOffset + 2 * index));
    };
    if (bext.version >= 2) {
        bext.loudnessValue = field16(0);
        bext.loudnessRange = field16(1);
        bext.maxTruePeakLevel = field16(2);
        bext.maxMomentaryLoudness = field16(3);
        bext.maxShortTermLoudness = field16(4);
    }
    // CodingHistory runs to the chunk's end; NUL bytes may pad it.
    const auto history = data.subspan(kCodingHistoryOffset);
    const auto end = std::find(history.begin(), history.end(), 0);
    bext.codingHistory.assign(history.begin(), end);
    if (std::find_if(end, history.end(), [](unsigned char c) { return c != 0; }) != history.end()) {
        findings->push_back({true, "bext CodingHistory is not padded with NUL bytes",
                             kCodingHistoryOffset + static_cast<std::size_t>(end - history.begin())});
    }
    if (const std::string problem = codingHistoryProblem(bext.codingHistory); !problem.empty()) {
        findings->push_back({true, "bext CodingHistory: " + problem, kCodingHistoryOffset});
    }
    return bext;
}

std::vector<unsigned char> infoListData(std::span<const InfoTag> tags)
{
    std::vector<unsigned char> bytes{'I', 'N', 'F', 'O'};
    for (const InfoTag& tag : tags) {
        const std::size_t size = tag.text.size() + 1;
        bytes.insert(bytes.end(), tag.id.begin(), tag.id.end());
        unsigned char field[4];
        writeLittleEndian32(field, static_cast<std::uint32_t>(size));
        bytes.insert(bytes.end(), field, field + 4);
        bytes.insert(bytes.end(), tag.text.begin(), tag.text.end());
        bytes.push_back(0);
        if (size % 2 != 0) {
            bytes.push_back(0);
        }
    }
    return bytes;
}

std::vector<InfoTag> parseInfoList(std::span<const unsigned char> data, std::vector<Finding>* findings, bool* isInfo)
{
    std::vector<InfoTag> tags;
    const bool info = data.size() >= 4 && std::equal(data.begin(), data.begin() + 4, "INFO");
    if (isInfo != nullptr) {
        *isInfo = info;
    }
    if (!info) {
        return tags;
    }
    std::size_t position = 4;
    while (position < data.size()) {
        if (data.size() - position < 8) {
            findings->push_back({true, "LIST INFO ends inside a tag's header", position});
            break;
        }
        std::string id(data.begin() + static_cast<long>(position), data.begin() + static_cast<long>(position) + 4);
        const std::uint32_t size = readLittleEndian32(data.data() + position + 4);
        if (!infoIdProblem(id).empty()) {
            findings->push_back({false, "LIST INFO tag id is not four upper-case letters or digits", position});
            for (char& c : id) {
                c = printable(c) ? c : '?';
            }
        }
        const std::size_t textStart = position + 8;
        if (size > data.size() - textStart) {
            findings->push_back({true, "LIST INFO tag " + id + " runs past its chunk", position});
            break;
        }
        const auto text = data.subspan(textStart, size);
        const auto end = std::find(text.begin(), text.end(), 0);
        if (end == text.end()) {
            findings->push_back({false, "LIST INFO tag " + id + " is not NUL-terminated", textStart});
        }
        std::string value(text.begin(), end);
        if (!std::all_of(value.begin(), value.end(), printable)) {
            findings->push_back({false, "LIST INFO tag " + id + " is not printable ASCII", textStart});
        }
        tags.push_back({std::move(id), std::move(value)});
        position = textStart + size + (size & 1u);
    }
    return tags;
}

std::optional<Md5Digest> parseMd5(std::span<const unsigned char> data, std::vector<Finding>* findings)
{
    if (data.size() != kMd5Bytes) {
        findings->push_back({true, "MD5 chunk of " + std::to_string(data.size()) + " bytes, not 16", 0});
        return std::nullopt;
    }
    Md5Digest digest{};
    std::reverse_copy(data.begin(), data.end(), digest.begin());
    return digest;
}

std::vector<unsigned char> md5ChunkData(const Md5Digest& digest)
{
    return std::vector<unsigned char>(digest.rbegin(), digest.rend());
}

std::string hexDigest(const Md5Digest& digest)
{
    std::string text;
    for (const std::uint8_t byte : digest) {
        char pair[3];
        std::snprintf(pair, sizeof pair, "%02x", byte);
        text += pair;
    }
    return text;
}

}  // namespace pcmwrap::meta
