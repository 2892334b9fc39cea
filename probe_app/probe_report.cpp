#include "probe_app/probe_report.h"

#include <cstdio>

#include "probe/format_description.h"
#include "probe_app/json_text.h"
#include "probe_app/probe_options.h"

using pcmwrap::probe::ByteOrder;
using pcmwrap::probe::Candidate;
using pcmwrap::probe::Encoding;
using pcmwrap::probe::ProbeResult;
using pcmwrap::probe::Verdict;

namespace {

std::string verdictName(Verdict verdict)
{
    switch (verdict) {
    case Verdict::kFormat:
        return "format";
    case Verdict::kUnclear:
        return "unclear";
    case Verdict::kSilent:
        return "silent";
    case Verdict::kContainer:
        return "container";
    case Verdict::kEmpty:
        return "empty";
    case Verdict::kError:
        break;
    }
    return "error";
}

std::string encodingName(Encoding encoding)
{
    switch (encoding) {
    case Encoding::kUnsigned:
        return "unsigned";
    case Encoding::kFloat:
        return "float";
    case Encoding::kSigned:
        break;
    }
    return "signed";
}

// The keys of one format, without braces: "bits":16,"encoding":"signed",...
std::string formatMembers(const Candidate& format, const std::string& file)
{
    std::string text = "\"bits\":" + std::to_string(format.bits) + ",\"encoding\":" + jsonString(encodingName(format.encoding));
    if (format.bits != 8) {
        text += ",\"byte_order\":" + jsonString(format.byteOrder == ByteOrder::kBig ? "big" : "little");
    }
    text += ",\"channels\":" + std::to_string(format.channels);
    if (format.offset != 0) {
        text += ",\"offset\":" + std::to_string(format.offset);
    }
    text += ",\"sample_format\":" + jsonString(pcmwrap::probe::sampleFormatName(format));
    return text + ",\"command\":" + jsonString(pcmwrap::probe::pcmwrapCommand(format, file));
}

std::string twoDecimals(double value)
{
    char text[64];
    std::snprintf(text, sizeof text, "%.2f", value);
    return text;
}

}  // namespace

std::string textReport(const std::string& file, const ProbeResult& result)
{
    const std::string head = file + ": ";
    if (result.verdict != Verdict::kFormat) {
        return head + pcmwrap::probe::describeVerdict(result);
    }
    return head + pcmwrap::probe::describe(result.format) + " -> " + pcmwrap::probe::pcmwrapCommand(result.format, file);
}

std::string jsonReport(const std::string& file, const ProbeResult& result)
{
    std::string text = "{\"file\":" + jsonString(file) + ",\"result\":" + jsonString(verdictName(result.verdict));
    switch (result.verdict) {
    case Verdict::kFormat:
        text += ',';
        text += formatMembers(result.format, file);
        text += ",\"margin\":" + twoDecimals(result.margin);
        break;
    case Verdict::kUnclear:
        text += ",\"candidates\":[";
        for (std::size_t i = 0; i < result.candidates.size(); ++i) {
            text += i > 0 ? ",{" : "{";
            text += formatMembers(result.candidates[i], file);
            text += '}';
        }
        text += "]";
        if (!result.note.empty()) {
            text += ",\"note\":" + jsonString(result.note);
        }
        break;
    case Verdict::kContainer:
        text += ",\"container\":" + jsonString(result.container);
        break;
    case Verdict::kError:
        text += ",\"message\":" + jsonString(result.message);
        break;
    case Verdict::kSilent:
    case Verdict::kEmpty:
        break;
    }
    return text + "}";
}

int reportStatus(const ProbeResult& result)
{
    switch (result.verdict) {
    case Verdict::kFormat:
        return kProbeAllFormats;
    case Verdict::kError:
        return kProbeUnreadable;
    default:
        return kProbeNoFormat;
    }
}
