#include "app/metadata_csv.h"

#include <csv.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <system_error>

namespace {

// A metadata file larger than this is not one: it is refused, never read into memory.
constexpr std::streamoff kLargestFile = 64 * 1024 * 1024;

struct Collector {
    CsvTable table;
    std::vector<std::string> row;
};

void endField(void* field, std::size_t length, void* data)
{
    auto* collector = static_cast<Collector*>(data);
    collector->row.emplace_back(static_cast<const char*>(field), length);
}

void endRow(int /*terminator*/, void* data)
{
    auto* collector = static_cast<Collector*>(data);
    collector->table.rows.push_back(std::move(collector->row));
    collector->row.clear();
}

}  // namespace

CsvRead readCsvFile(const std::string& name)
{
    errno = 0;
    std::ifstream file(name, std::ios::binary | std::ios::ate);
    if (!file) {
        return {std::nullopt, std::generic_category().message(errno != 0 ? errno : ENOENT)};
    }
    const std::streamoff size = file.tellg();
    if (size < 0 || size > kLargestFile) {
        return {std::nullopt, "not a metadata file (larger than 64 MiB, or not a regular file)"};
    }
    file.seekg(0);
    std::string text(static_cast<std::size_t>(size), '\0');
    if (!file.read(text.data(), size)) {
        return {std::nullopt, std::generic_category().message(errno != 0 ? errno : EIO)};
    }
    csv_parser parser;
    if (csv_init(&parser, CSV_STRICT | CSV_STRICT_FINI) != 0) {
        return {std::nullopt, "out of memory"};
    }
    Collector collector;
    const bool parsed = csv_parse(&parser, text.data(), text.size(), endField, endRow, &collector) == text.size() &&
                        csv_fini(&parser, endField, endRow, &collector) == 0;
    const std::string problem = parsed ? "" : std::string("not a CSV file: ") + csv_strerror(csv_error(&parser));
    csv_free(&parser);
    if (!parsed) {
        return {std::nullopt, problem};
    }
    return {std::move(collector.table), ""};
}
