#pragma once
// Tells the sample format of a raw PCM dump from its bytes: width and kind, byte order
// and channel count, or why it cannot tell. The sample rate is not in the bytes and is
// never guessed.

#include <cstddef>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

namespace pcmwrap::probe {

enum class Encoding { kSigned, kUnsigned, kFloat };
enum class ByteOrder { kBig, kLittle };

struct Candidate {
    int bits = 0;  // 8, 16, 24, 32, 64: the significant bits of a sample
    Encoding encoding = Encoding::kSigned;
    ByteOrder byteOrder = ByteOrder::kBig;  // meaningless for 8 bits
    int channels = 0;  // 1 to 8
    double score = 0;  // higher is better; comparable between candidates of one probe
    int bytes = 0;     // bytes of a sample in the dump: 4 for 24 bits in 32-bit words; 0 for bits / 8
    int offset = 0;    // stray bytes before the first sample (less than a sample)
};

// The bytes one sample of the candidate takes in the dump.
inline int sampleBytes(const Candidate& format)
{
    return format.bytes != 0 ? format.bytes : format.bits / 8;
}

enum class Verdict { kFormat, kUnclear, kSilent, kContainer, kEmpty, kError };

struct ProbeResult {
    Verdict verdict = Verdict::kError;
    Candidate format;                   // kFormat: the answer
    double margin = 0;                  // kFormat: how far the answer is ahead of the next candidate
    std::vector<Candidate> candidates;  // the leading few, best first (kFormat and kUnclear)
    std::string container;              // kContainer: "RIFF WAVE", "AIFF", "FLAC", ...
    std::string message;                // kError: why the file could not be read
    std::string note;                   // kUnclear without candidates: "too little data",
                                        // "a short pattern repeated", "no format fits"
};

// What the probe needs before it weighs candidates, and how far ahead the best one must be.
inline constexpr std::size_t kMinimumBytes = 256;
inline constexpr double kMinimumScore = 0.5;
inline constexpr double kMinimumMargin = 0.5;

// Reads a bounded sample of the file (at most kReadBudget, in windows spread over its length).
ProbeResult probeFile(const std::filesystem::path& path);
// Reads standard input up to the same budget and probes what it read.
ProbeResult probeStandardInput();
// Probes bytes already in memory (a whole small dump, or a window of one).
ProbeResult probeBytes(std::span<const std::byte> bytes);

}  // namespace pcmwrap::probe
