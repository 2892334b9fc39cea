#include "probe/probe.h"

#include "probe/candidate_scores.h"
#include "probe/container_signature.h"
#include "probe/file_windows.h"
#include "probe/repeated_pattern.h"

namespace pcmwrap::probe {
namespace {

// Candidates listed with an unclear result: those close behind the best, at most this many.
constexpr std::size_t kLeadingCandidates = 3;

ProbeResult probeWindows(const std::vector<std::span<const std::byte>>& windows, std::uint64_t dumpBytes)
{
    ProbeResult result;
    if (windows.empty() || windows.front().empty()) {
        result.verdict = Verdict::kEmpty;
        return result;
    }
    result.container = containerSignature(windows.front());
    if (!result.container.empty()) {
        result.verdict = Verdict::kContainer;
        return result;
    }
    const Scores scores = scoreCandidates(windows, dumpBytes);
    if (scores.silent) {
        result.verdict = Verdict::kSilent;
        return result;
    }
    result.verdict = Verdict::kUnclear;
    if (scores.bytes < kMinimumBytes) {
        result.note = "too little data";
        return result;
    }
    if (shortPatternRepeated(windows)) {
        result.note = "a short pattern repeated";
        return result;
    }
    if (scores.ranked.empty() || scores.ranked.front().score < kMinimumScore) {
        result.note = "no format fits";
        return result;
    }
    const Candidate& best = scores.ranked.front();
    result.margin = scores.ranked.size() > 1 ? best.score - scores.ranked[1].score : best.score;
    for (const Candidate& candidate : scores.ranked) {
        if (result.candidates.size() == kLeadingCandidates ||
            (result.candidates.size() >= 2 && candidate.score < best.score - kMinimumMargin)) {
            break;
        }
        result.candidates.push_back(candidate);
    }
    if (result.margin >= kMinimumMargin) {
        result.verdict = Verdict::kFormat;
        result.format = best;
    }
    return result;
}

}  // namespace

ProbeResult probeBytes(std::span<const std::byte> bytes)
{
    return probeWindows({bytes}, bytes.size());
}

namespace {

ProbeResult probeRead(const FileWindows& file)
{
    if (!file.error().empty()) {
        ProbeResult result;
        result.verdict = Verdict::kError;
        result.message = file.error();
        return result;
    }
    return probeWindows(file.windows(), file.sizeKnown() ? file.fileSize() : 0);
}

}  // namespace

ProbeResult probeFile(const std::filesystem::path& path)
{
    return probeRead(FileWindows(path));
}

ProbeResult probeStandardInput()
{
    return probeRead(FileWindows::standardInput());
}

}  // namespace pcmwrap::probe
