#include "probe/format_description.h"

#include <string_view>

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

}  // namespace

std::string describe(const Candidate& format)
{
    std::string text = std::to_string(format.bits) + "-bit ";
    if (format.encoding == Encoding::kUnsigned) {
        text += "unsigned ";
    } else {
        if (format.encoding == Encoding::kFloat) {
            text += "float ";
        } else if (format.bits == 32) {
            text += "integer ";
        }
        text += format.byteOrder == ByteOrder::kBig ? "big-endian " : "little-endian ";
    }
    return text + channelText(format.channels);
}

std::optional<std::string> pcmwrapCommand(const Candidate& format, const std::string& file)
{
    if (format.encoding != Encoding::kSigned || (format.bits != 16 && format.bits != 24)) {
        return std::nullopt;
    }
    std::string command = "pcmwrap ";
    if (format.byteOrder == ByteOrder::kLittle) {
        command += "-l ";
    }
    command += "-b" + std::to_string(format.bits) + " ";
    if (format.channels != 1) {
        command += "-c" + std::to_string(format.channels) + " ";
    }
    return command + shellWord(file);
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
