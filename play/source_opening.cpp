#include "play/source_opening.h"

#include <unistd.h>

#include <cerrno>
#include <span>
#include <system_error>
#include <vector>

#include "play/raw_dump_source.h"
#include "play/ring_frame_feed.h"
#include "play/wav_file_source.h"
#include "probe/file_windows.h"
#include "probe/format_description.h"
#include "probe/probe.h"
#include "wavfile/wav_file.h"

namespace {

// The name that stands for standard input.
constexpr const char* kStandardInputName = "-";

using pcmwrap::probe::ByteOrder;
using pcmwrap::probe::Candidate;
using pcmwrap::probe::Encoding;
using pcmwrap::probe::ProbeResult;
using pcmwrap::probe::Verdict;

// Standard input cannot be read twice: the bytes the probe reads are kept to be played.
std::vector<unsigned char> probeBudgetOfStandardInput()
{
    std::vector<unsigned char> bytes(pcmwrap::probe::kReadBudget);
    std::size_t held = 0;
    while (held < bytes.size()) {
        const ssize_t got = read(STDIN_FILENO, bytes.data() + held, bytes.size() - held);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            throw UnreadableFile(std::generic_category().message(errno));
        }
        if (got == 0) {
            break;
        }
        held += static_cast<std::size_t>(got);
    }
    bytes.resize(held);
    return bytes;
}

RawDumpFormat probedFormat(const std::string& name, std::int32_t rate, const std::vector<unsigned char>& prefix)
{
    const ProbeResult result = name == kStandardInputName
                                   ? pcmwrap::probe::probeBytes(std::as_bytes(std::span(prefix)))
                                   : pcmwrap::probe::probeFile(name);
    if (result.verdict == Verdict::kError) {
        throw UnreadableFile(result.message);
    }
    if (result.verdict != Verdict::kFormat) {
        throw UnplayableFile("the probe cannot tell its format: " + pcmwrap::probe::describeVerdict(result));
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
        std::vector<unsigned char> prefix;
        if (name == kStandardInputName) {
            prefix = probeBudgetOfStandardInput();
        }
        const RawDumpFormat format = probedFormat(name, options.rawRate(), prefix);
        source = std::make_unique<RawDumpSource>(name, format, std::move(prefix));
    } else if (options.rawFormat()) {
        source = std::make_unique<RawDumpSource>(name, *options.rawFormat());
    } else if (name == kStandardInputName) {
        source = std::make_unique<WavFileSource>(STDIN_FILENO);
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
