#include "app/archival_options.h"

#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <set>

#include "app/metadata_csv.h"
#include "wavfile/broadcast_metadata.h"

namespace {

namespace meta = pcmwrap::meta;

// The options that carry a value, by name without "--"; each but info implies a bext chunk.
constexpr std::array<std::string_view, 7> kBextFields{"description",      "originator",       "originator-reference",
                                                      "origination-date", "origination-time", "time-reference",
                                                      "coding-history"};
// The options without a value; in a CSV file their column holds yes/no.
constexpr std::array<std::string_view, 3> kSwitches{"bext", "md5", "loudness"};
constexpr std::string_view kInfoPrefix = "info:";

bool isBextField(std::string_view name)
{
    return std::find(kBextFields.begin(), kBextFields.end(), name) != kBextFields.end();
}

bool isSwitch(std::string_view name)
{
    return std::find(kSwitches.begin(), kSwitches.end(), name) != kSwitches.end();
}

std::optional<std::uint64_t> sampleCount(std::string_view text)
{
    std::uint64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

// The lines of --coding-history, each ending in CR LF however it was typed.
std::string codingHistoryLines(std::string_view text)
{
    std::string lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        std::string_view line = text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        lines.append(line);
        lines += "\r\n";
        start = end == std::string_view::npos ? text.size() : end + 1;
    }
    return lines;
}

void setSwitch(MetadataValues& values, std::string_view name, bool on)
{
    (name == "bext" ? values.bext : name == "md5" ? values.md5 : values.loudness) = on;
}

void setTag(std::vector<pcmwrap::InfoTag>& tags, const pcmwrap::InfoTag& tag)
{
    const auto same = std::find_if(tags.begin(), tags.end(), [&](const auto& t) { return t.id == tag.id; });
    if (same != tags.end()) {
        same->text = tag.text;
    } else {
        tags.push_back(tag);
    }
}

std::string channelsWord(std::int32_t channels)
{
    return channels == 1 ? "mono" : channels == 2 ? "stereo" : "multitrack";
}

// yyyy-mm-dd and hh:mm:ss of a time in local time, as the TZ variable says.
std::pair<std::string, std::string> localDateAndTime(std::time_t when)
{
    tzset();
    std::tm local{};
    if (localtime_r(&when, &local) == nullptr) {
        return {"", ""};
    }
    char date[16];
    char time[16];
    std::strftime(date, sizeof date, "%Y-%m-%d", &local);
    std::strftime(time, sizeof time, "%H:%M:%S", &local);
    return {date, time};
}

}  // namespace

std::string metadataValueProblem(const std::string& name, std::string_view value)
{
    if (name == "description") {
        return meta::textProblem(value, meta::kDescriptionBytes);
    }
    if (name == "originator") {
        return meta::textProblem(value, meta::kOriginatorBytes);
    }
    if (name == "originator-reference") {
        return meta::textProblem(value, meta::kOriginatorReferenceBytes);
    }
    if (name == "origination-date") {
        return meta::dateProblem(value);
    }
    if (name == "origination-time") {
        return meta::timeProblem(value);
    }
    if (name == "time-reference") {
        return sampleCount(value) ? "" : "a whole number of samples is needed";
    }
    if (name == "coding-history") {
        return meta::codingHistoryProblem(codingHistoryLines(value));
    }
    if (name.starts_with(kInfoPrefix)) {
        const std::string problem = meta::infoIdProblem(std::string_view(name).substr(kInfoPrefix.size()));
        return problem.empty() ? meta::textProblem(value, 0xFFFFFF) : problem;
    }
    return "unknown";
}

void MetadataValues::overrideWith(const MetadataValues& row)
{
    for (const auto& [name, value] : row.fields) {
        fields[name] = value;
    }
    for (const pcmwrap::InfoTag& tag : row.info) {
        setTag(info, tag);
    }
    bext = bext || row.bext;
    md5 = md5 || row.md5;
    loudness = loudness || row.loudness;
}

std::optional<std::string> ArchivalOptions::take(std::string_view argument)
{
    if (!argument.starts_with("--")) {
        return std::nullopt;
    }
    const std::string_view option = argument.substr(2);
    const std::size_t equals = option.find('=');
    const std::string name(option.substr(0, equals));
    const std::string_view value = equals == std::string_view::npos ? std::string_view() : option.substr(equals + 1);
    const std::string bad = "Bad value in <" + std::string(argument) + ">: ";
    if (isSwitch(name)) {
        if (equals != std::string_view::npos) {
            return bad + "takes no value";
        }
        setSwitch(commandLine_, name, true);
        return "";
    }
    if (!isBextField(name) && name != "info" && name != "metadata") {
        return std::nullopt;
    }
    if (equals == std::string_view::npos) {
        return bad + "a value after = is needed";
    }
    if (name == "metadata") {
        if (value.empty()) {
            return bad + "a file name is needed";
        }
        metadataFile_ = value;
        return "";
    }
    if (name == "info") {
        const std::size_t split = value.find('=');
        const std::string id(value.substr(0, split));
        if (split == std::string_view::npos) {
            return bad + "ID=TEXT is needed";
        }
        const std::string text(value.substr(split + 1));
        if (const std::string problem = metadataValueProblem(std::string(kInfoPrefix) + id, text); !problem.empty()) {
            return bad + problem;
        }
        setTag(commandLine_.info, {id, text});
        return "";
    }
    if (const std::string problem = metadataValueProblem(name, value); !problem.empty()) {
        return bad + problem;
    }
    commandLine_.fields[name] = value;
    return "";
}

std::optional<std::string> ArchivalOptions::readMetadataFile(const std::vector<std::string>& inputs)
{
    if (metadataFile_.empty()) {
        return std::nullopt;
    }
    const std::string failure = "Error reading <" + metadataFile_ + ">: ";
    const CsvRead read = readCsvFile(metadataFile_);
    if (!read.table) {
        return failure + read.problem;
    }
    const auto& rows = read.table->rows;
    if (rows.empty()) {
        return failure + "no file column";
    }
    const std::vector<std::string>& header = rows.front();
    const auto fileColumn = std::find(header.begin(), header.end(), "file");
    if (fileColumn == header.end()) {
        return failure + "no file column";
    }
    for (const std::string& column : header) {
        if (column != "file" && !isBextField(column) && !isSwitch(column) &&
            !(column.starts_with(kInfoPrefix) && meta::infoIdProblem(column.substr(kInfoPrefix.size())).empty())) {
            return failure + "unknown column <" + column + ">";
        }
    }
    const std::set<std::string> runInputs(inputs.begin(), inputs.end());
    const auto fileIndex = static_cast<std::size_t>(fileColumn - header.begin());
    for (std::size_t r = 1; r < rows.size(); ++r) {
        const std::vector<std::string>& row = rows[r];
        if (row.size() != header.size()) {
            return failure + "row " + std::to_string(r + 1) + " has " + std::to_string(row.size()) + " fields, not " +
                   std::to_string(header.size());
        }
        const std::string& input = row[fileIndex];
        if (runInputs.count(input) == 0) {
            return failure + "no input named <" + input + ">";
        }
        if (rows_.count(input) != 0) {
            return failure + "two rows for <" + input + ">";
        }
        MetadataValues values;
        for (std::size_t c = 0; c < header.size(); ++c) {
            const std::string& column = header[c];
            const std::string& cell = row[c];
            // An empty cell gives no value: the command line's stays.
            if (c == fileIndex || cell.empty()) {
                continue;
            }
            const std::string where = "Bad value in <" + metadataFile_ + ", row " + std::to_string(r + 1) + ", " + column + ">: ";
            if (isSwitch(column)) {
                if (cell != "yes" && cell != "no") {
                    return where + "yes or no is needed";
                }
                setSwitch(values, column, cell == "yes");
                continue;
            }
            if (const std::string problem = metadataValueProblem(column, cell); !problem.empty()) {
                return where + problem;
            }
            if (column.starts_with(kInfoPrefix)) {
                setTag(values.info, {column.substr(kInfoPrefix.size()), cell});
            } else {
                values.fields[column] = cell;
            }
        }
        rows_.emplace(input, std::move(values));
    }
    return std::nullopt;
}

bool ArchivalOptions::outputCanSeek(const std::string& output)
{
    // "-" is standard output (-o-), which carries a stream written once.
    if (output == "-") {
        return false;
    }
    struct stat status {};
    if (stat(output.c_str(), &status) != 0) {
        return true;  // made afresh as a regular file
    }
    return !S_ISFIFO(status.st_mode) && !S_ISCHR(status.st_mode) && !S_ISSOCK(status.st_mode);
}

std::optional<std::string> ArchivalOptions::seekRefusal(const std::vector<std::string>& inputs,
                                                        const std::vector<std::string>& outputs) const
{
    for (std::size_t i = 0; i < inputs.size() && i < outputs.size(); ++i) {
        if (valuesFor(inputs[i]).loudness && !outputCanSeek(outputs[i])) {
            return "Bad value in <--loudness>: needs an output that can seek";
        }
    }
    return std::nullopt;
}

MetadataValues ArchivalOptions::valuesFor(const std::string& input) const
{
    MetadataValues values = commandLine_;
    if (const auto row = rows_.find(input); row != rows_.end()) {
        values.overrideWith(row->second);
    }
    return values;
}

ArchivalMetadata ArchivalOptions::metadataFor(const std::string& input, const PcmSettings& settings) const
{
    struct stat status {};
    const std::time_t modified = stat(input.c_str(), &status) == 0 ? status.st_mtime : std::time(nullptr);
    return metadataFor(input, settings, modified);
}

ArchivalMetadata ArchivalOptions::metadataFor(const std::string& input, const PcmSettings& settings,
                                              std::time_t bextDate) const
{
    const MetadataValues values = valuesFor(input);
    ArchivalMetadata metadata;
    metadata.info = values.info;
    metadata.md5 = values.md5;
    metadata.loudness = values.loudness;
    if (!values.bext && !values.loudness && values.fields.empty()) {
        return metadata;
    }
    const auto field = [&](const char* name) {
        const auto found = values.fields.find(name);
        return found == values.fields.end() ? std::string() : found->second;
    };
    pcmwrap::BroadcastExtension bext;
    bext.description = field("description");
    bext.originator = field("originator");
    bext.originatorReference = field("originator-reference");
    const auto [date, time] = localDateAndTime(bextDate);
    bext.originationDate = values.fields.count("origination-date") != 0 ? field("origination-date") : date;
    bext.originationTime = values.fields.count("origination-time") != 0 ? field("origination-time") : time;
    bext.timeReference = sampleCount(field("time-reference")).value_or(0);
    // W is the width the file stores, which -f decides when it is given.
    const auto format = dumpFormat(settings);
    const int bits = format ? pcmwrap::sampleFormatInfo(*format).bits : settings.bits;
    bext.codingHistory = "A=PCM,F=" + std::to_string(settings.rate) + ",W=" + std::to_string(bits) +
                         ",M=" + channelsWord(settings.channels) + ",T=pcmwrap " PCMWRAP_VERSION "\r\n" +
                         codingHistoryLines(field("coding-history"));
    metadata.bext = bext;
    return metadata;
}
