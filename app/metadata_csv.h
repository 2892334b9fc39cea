#pragma once
// A CSV file read whole into rows of fields, through libcsv (RFC 4180 quoting: fields with
// commas, quotes and line breaks).

#include <optional>
#include <string>
#include <vector>

struct CsvTable {
    std::vector<std::vector<std::string>> rows;  // the first is the header
};

// The table, or why it cannot be read (as "No such file or directory",
// "not a CSV file: ...").
struct CsvRead {
    std::optional<CsvTable> table;
    std::string problem;
};

CsvRead readCsvFile(const std::string& name);
