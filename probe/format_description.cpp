#include "probe/format_description.h"

#include <string_view>

#include "formats/sample_format.h"

namespace pcmwrap::probe {
namespace {

std::string channelText(int channels)
{
    if (channels == 1) {
        return "mono";
    }
    if (channels == 2) {
        return "stereo";
    }
    return std::to_string(channels) + " channels";
}

std::string shellWord(const std::string& word)
{
    const std::string prefix = !word.empty() && word.front() == '-' ? "./" : "";
    bool plain = !word.empty();
    for (char c : word) {
        const bool safe = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                          std::string_view("/._-+,:@%=").find(c) != std::string_view::npos;
        plain = plain && safe;
    }
    if (plain) {
        return prefix + word;
    }
    std::string quoted = "'" + prefix;
    for (char c : word) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}

SampleFormat sampleFormatOfCandidate(const Candidate& format)
{
    const SampleKind kind = format.encoding == Encoding::kFloat      ? SampleKind::kFloat
                            : format.encoding == Encoding::kUnsigned ? SampleKind::kUnsigned
                                                                     : SampleKind::kSigned;
    // Every layout the probe weighs has a row in the table.
    return sampleFormatOf(format.bits, sampleBytes(format), kind).value_or(SampleFormat::kS16);
}

}  // namespace

std::string describe(const Candidate& format)
{
    std::string text = std::to_string(format.bits) + "-bit ";
    if (sampleBytes(format) * 8 != format.bits) {
        text += "in " + std::to_string(sampleBytes(format) * 8) + "-bit words ";
    }
    if (format.encoding == Encoding::kUnsigned) {
        text += "unsigned ";
    } else if (format.bits == 8) {
        text += "signed ";
    } else {
        if (format.encoding == Encoding::kFloat) {
            text += "float ";
        } else if (format.bits == 32) {
            text += "integer ";
        }
        text += format.byteOrder == ByteOrder::kBig ? "big-endian " : "little-endian ";
    }
    text += channelText(format.channels);
    if (format.offset != 0) {
        text += " after " + std::to_string(format.offset) + (format.offset == 1 ? " stray byte" : " stray bytes");
    }
    return text;
}

std::string sampleFormatName(const Candidate& format)
{
    return std::string(sampleFormatInfo(sampleFormatOfCandidate(format)).name);
}

std::string pcmwrapCommand(const Candidate& format, const std::string& file)
{
    const SampleFormat sampleFormat = sampleFormatOfCandidate(format);
    std::string command = "pcmwrap ";
    // 16 and 24 bits keep the -b form pcmwrap has always taken, and the order of its options.
    const bool classic = sampleFormat == SampleFormat::kS16 || sampleFormat == SampleFormat::kS24;
    const bool little = format.bits > 8 && format.byteOrder == ByteOrder::kLittle;
    if (classic) {
        command += little ? "-l " : "";
        command += "-b" + std::to_string(format.bits) + " ";
    } else {
        command += "-f" + sampleFormatName(format) + " ";
        command += little ? "-l " : "";
    }
    if (format.channels != 1) {
        command += "-c" + std::to_string(format.channels) + " ";
    }
    if (format.offset != 0) {
        command += "-s" + std::to_string(format.offset) + " ";
    }
    return command + (file == "-" ? "-o- -" : shellWord(file));
}

std::string describeVerdict(const ProbeResult& result)
{
    switch (result.verdict) {
    case Verdict::kFormat:
        return describe(result.format);
    case Verdict::kUnclear: {
        if (result.candidates.empty()) {
            return "unclear (" + result.note + ")";
        }
        std::string list;
        for (std::size_t i = 0; i < result.candidates.size(); ++i) {
            if (i > 0) {
                list += i + 1 == result.candidates.size() ? " or " : ", ";
            }
            list += describe(result.candidates[i]);
        }
        return "unclear (" + list + ")";
    }
    case Verdict::kSilent:
        return "silent";
    case Verdict::kContainer:
        return "container: " + result.container;
    case Verdict::kEmpty:
        return "empty";
    case Verdict::kError:
        break;
    }
    return "error: " + result.message;
}

}  // namespace pcmwrap::probe
