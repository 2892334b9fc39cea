#include "check/check_report.h"

#include <algorithm>
#include <nlohmann/json.hpp>

#include "wavfile/broadcast_metadata.h"

namespace {

std::string counted(std::size_t count, const char* word)
{
    return std::to_string(count) + " " + word + (count == 1 ? "" : "s");
}

const char* resultWord(CheckResult result)
{
    switch (result) {
    case CheckResult::kOk: return "ok";
    case CheckResult::kWarnings: return "warnings";
    case CheckResult::kErrors: return "errors";
    case CheckResult::kUnreadable: return "unreadable";
    }
    return "unreadable";
}

nlohmann::json bextJson(const pcmwrap::BroadcastExtension& bext)
{
    std::string umid;
    for (const std::uint8_t byte : bext.umid) {
        constexpr char kDigits[] = "0123456789abcdef";
        umid += kDigits[byte >> 4];
        umid += kDigits[byte & 15];
    }
    return {{"description", bext.description},
            {"originator", bext.originator},
            {"originator_reference", bext.originatorReference},
            {"origination_date", bext.originationDate},
            {"origination_time", bext.originationTime},
            {"time_reference", bext.timeReference},
            {"version", bext.version},
            {"umid", umid},
            {"loudness_value", bext.loudnessValue},
            {"loudness_range", bext.loudnessRange},
            {"max_true_peak_level", bext.maxTruePeakLevel},
            {"max_momentary_loudness", bext.maxMomentaryLoudness},
            {"max_short_term_loudness", bext.maxShortTermLoudness},
            {"coding_history", bext.codingHistory}};
}

}  // namespace

std::string textReport(const FileCheck& check)
{
    if (check.result == CheckResult::kUnreadable) {
        return check.file + ": cannot be read: " + check.unreadableReason;
    }
    if (check.findings.empty()) {
        return check.file + ": ok";
    }
    const auto errors = static_cast<std::size_t>(std::count_if(
        check.findings.begin(), check.findings.end(), [](const auto& f) { return f.severity == Severity::kError; }));
    std::string text = check.file + ": " + counted(errors, "error") + ", " +
                       counted(check.findings.size() - errors, "warning");
    for (const CheckFinding& finding : check.findings) {
        text += std::string("\n  ") + (finding.severity == Severity::kError ? "error: " : "warning: ") +
                finding.message + " (byte " + std::to_string(finding.offset) + ")";
    }
    return text;
}

std::string jsonReport(const FileCheck& check)
{
    nlohmann::json report = {{"file", check.file}, {"result", resultWord(check.result)}};
    nlohmann::json findings = nlohmann::json::array();
    if (check.result == CheckResult::kUnreadable) {
        findings.push_back({{"severity", "error"}, {"message", check.unreadableReason}, {"offset", 0}});
    }
    for (const CheckFinding& finding : check.findings) {
        findings.push_back({{"severity", finding.severity == Severity::kError ? "error" : "warning"},
                            {"message", finding.message},
                            {"offset", finding.offset}});
    }
    report["findings"] = findings;
    if (check.bext) {
        report["bext"] = bextJson(*check.bext);
    }
    if (!check.info.empty()) {
        nlohmann::json info = nlohmann::json::array();
        for (const pcmwrap::InfoTag& tag : check.info) {
            info.push_back({{"id", tag.id}, {"text", tag.text}});
        }
        report["info"] = info;
    }
    if (check.md5) {
        report["md5"] = pcmwrap::meta::hexDigest(*check.md5);
    }
    // File names are bytes: what is not UTF-8 shows as U+FFFD rather than failing.
    return report.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

int checkStatus(const FileCheck& check)
{
    switch (check.result) {
    case CheckResult::kUnreadable: return kCheckUnreadable;
    case CheckResult::kErrors: return kCheckErrors;
    default: return kCheckOk;
    }
}
