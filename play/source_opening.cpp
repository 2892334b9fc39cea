#include "play/source_opening.h"

#include <system_error>

#include "play/raw_dump_source.h"
#include "play/ring_frame_feed.h"
#include "play/wav_file_source.h"
#include "probe/probe.h"
#include "wave/wave.h"

namespace {

using pcmwrap::probe::ByteOrder;
using pcmwrap::probe::Candidate;
using pcmwrap::probe::Encoding;
using pcmwrap::probe::ProbeResult;
using pcmwrap::probe::Verdict;

// "24-bit big-endian stereo", "32-bit float little-endian 6 channels", "8-bit unsigned mono".
std::string describe(const Candidate& candidate)
{
    std::string text = std::to_string(candidate.bits) + "-bit";
    if (candidate.encoding == Encoding::kFloat) {
        text += " float";
    } else if (candidate.encoding == Encoding::kUnsigned) {
        text += " unsigned";
    }
    if (candidate.bits > 8) {
        text += candidate.byteOrder == ByteOrder::kBig ? " big-endian" : " little-endian";
    }
    return text + (candidate.channels == 1   ? " mono"
                   : candidate.channels == 2 ? " stereo"
                                             : std::string(" ") + std::to_string(candidate.channels) + " channels");
}

std::string whyUntold(const ProbeResult& result)
{
    switch (result.verdict) {
    case Verdict::kUnclear: {
        std::string text = "unclear";
        for (std::size_t i = 0; i < result.candidates.size(); ++i) {
            text += i == 0 ? " (" : " or ";
            text += describe(result.candidates[i]);
        }
        return result.candidates.empty() ? text : text + ")";
    }
    case Verdict::kSilent:
        return "silent";
    case Verdict::kContainer:
        return "container: " + result.container;
    case Verdict::kEmpty:
        return "empty";
    default:
        return result.message;
    }
}

RawDumpFormat probedFormat(const std::string& name, std::int32_t rate)
{
    const ProbeResult result = pcmwrap::probe::probeFile(name);
    if (result.verdict == Verdict::kError) {
        throw UnreadableFile(result.message);
    }
    if (result.verdict != Verdict::kFormat) {
        throw UnplayableFile(std::string("the probe cannot tell its format: ") + whyUntold(result));
    }
    const Candidate& found = result.format;
    RawDumpFormat format;
    format.sampleRate = static_cast<std::uint32_t>(rate);
    format.bits = static_cast<unsigned>(found.bits);
    format.channels = static_cast<unsigned>(found.channels);
    format.encoding = found.encoding == Encoding::kFloat      ? RawDumpFormat::Encoding::kFloat
                      : found.encoding == Encoding::kUnsigned ? RawDumpFormat::Encoding::kUnsigned
                                                              : RawDumpFormat::Encoding::kSigned;
    format.bigEndian = found.byteOrder == ByteOrder::kBig;
    return format;
}

}  // namespace

std::unique_ptr<PcmSource> openSource(const std::string& name, const PlayerOptions& options)
{
    std::unique_ptr<PcmSource> source;
    if (options.probeDumps()) {
        source = std::make_unique<RawDumpSource>(name, probedFormat(name, options.rawRate()));
    } else if (options.rawFormat()) {
        source = std::make_unique<RawDumpSource>(name, *options.rawFormat());
    } else {
        source = std::make_unique<WavFileSource>(name);
    }
    if (const std::optional<std::string> reason = unplayableReason(*source)) {
        throw UnplayableFile(*reason);
    }
    return source;
}

bool isFormatRefusal(const std::system_error& error)
{
    return error.code().category() == pcmwrap::waveCategory() && error.code().value() == WAV_ERR_BAD_FORMAT;
}
