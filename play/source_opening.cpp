#include "play/source_opening.h"

#include <system_error>

#include "play/raw_dump_source.h"
#include "play/ring_frame_feed.h"
#include "play/wav_file_source.h"
#include "probe/format_description.h"
#include "probe/probe.h"
#include "wavfile/wav_file.h"

namespace {

using pcmwrap::probe::ByteOrder;
using pcmwrap::probe::Candidate;
using pcmwrap::probe::Encoding;
using pcmwrap::probe::ProbeResult;
using pcmwrap::probe::Verdict;

RawDumpFormat probedFormat(const std::string& name, std::int32_t rate)
{
    const ProbeResult result = pcmwrap::probe::probeFile(name);
    if (result.verdict == Verdict::kError) {
        throw UnreadableFile(result.message);
    }
    if (result.verdict != Verdict::kFormat) {
        throw UnplayableFile("the probe cannot tell its format: " + pcmwrap::probe::describeVerdict(result));
    }
    const Candidate& found = result.format;
    if (found.offset != 0 || pcmwrap::probe::sampleBytes(found) * 8 != found.bits) {
        // Raw playing takes samples from the first byte, each as wide as its bits.
        throw UnplayableFile("the probe tells " + pcmwrap::probe::describe(found) + ", which is not played raw");
    }
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

bool isFormatRefusal(const std::exception& error)
{
    const auto* refusal = dynamic_cast<const pcmwrap::WavError*>(&error);
    return refusal != nullptr && refusal->sampleFormatRefused();
}

std::string reasonOf(const std::exception& error)
{
    const auto* refusal = dynamic_cast<const pcmwrap::WavError*>(&error);
    return refusal != nullptr ? refusal->reason() : error.what();
}
