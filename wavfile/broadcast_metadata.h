#pragma once
// Internal: the bext chunk, the LIST/INFO chunk and the "MD5 " chunk, both ways, and the
// rules their values follow. The one parser that WavReader, WavWriter, the converter's
// options and pcmwrap-check share: a value is judged here and nowhere else.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "wavfile/wav_file.h"

namespace pcmwrap::meta {

// The bext chunk's fixed fields (EBU Tech 3285 version 2); CodingHistory follows them.
inline constexpr std::size_t kBextFixedBytes = 602;
inline constexpr std::size_t kDescriptionBytes = 256;
inline constexpr std::size_t kOriginatorBytes = 32;
inline constexpr std::size_t kOriginatorReferenceBytes = 32;
inline constexpr std::size_t kDateBytes = 10;
inline constexpr std::size_t kTimeBytes = 8;
// Where the five loudness fields (5 × 16 bits) stand in the chunk's data.
inline constexpr std::size_t kLoudnessOffset = 412;
inline constexpr std::size_t kLoudnessBytes = 10;
inline constexpr std::size_t kMd5Bytes = 16;

// What a parse found wrong: offset is from the start of the chunk's data.
struct Finding {
    bool error = true;  // else a warning
    std::string message;
    std::uint64_t offset = 0;
};

// Why a value cannot stand in its field, or "" when it can. Texts are printable ASCII of
// at most `most` bytes; a date is yyyy-mm-dd of a day that exists (the file's form also
// allows '_', ':', ' ' or '.' between the parts: strict = false), a time hh:mm:ss.
std::string textProblem(std::string_view text, std::size_t most);
std::string dateProblem(std::string_view date, bool strict = true);
std::string timeProblem(std::string_view time, bool strict = true);
// An INFO id: four upper-case letters or digits.
std::string infoIdProblem(std::string_view id);
// CodingHistory: printable ASCII lines, each ending in CR LF.
std::string codingHistoryProblem(std::string_view history);

// The chunk's data for a bext whose values have no problem above.
std::vector<unsigned char> bextChunkData(const BroadcastExtension& bext);
// The five loudness fields as they stand at kLoudnessOffset.
std::vector<unsigned char> loudnessFieldBytes(const BroadcastExtension& bext);
// None when the chunk is too short for its fixed fields (a finding says so).
std::optional<BroadcastExtension> parseBext(std::span<const unsigned char> data, std::vector<Finding>* findings);

// The data of a LIST chunk of type INFO: "INFO", then per tag its id, size, text, a NUL
// and a pad byte to even size.
std::vector<unsigned char> infoListData(std::span<const InfoTag> tags);
// The tags of a LIST chunk's data; none when its type is not INFO (isInfo false).
std::vector<InfoTag> parseInfoList(std::span<const unsigned char> data, std::vector<Finding>* findings,
                                   bool* isInfo = nullptr);

// "MD5 " chunk data. The archives' metadata editor stores the digest as one 128-bit
// little-endian number, so its bytes stand in the reverse of the digest's order (and
// tools of the same family, mediainfo among them, show them reversed back): both ways
// here turn them, so a Md5Digest is always in the digest's own order, as md5sum prints it.
std::vector<unsigned char> md5ChunkData(const Md5Digest& digest);
std::optional<Md5Digest> parseMd5(std::span<const unsigned char> data, std::vector<Finding>* findings);

// A digest as 32 lower-case hexadecimal digits.
std::string hexDigest(const Md5Digest& digest);

}  // namespace pcmwrap::meta
