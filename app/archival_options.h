#pragma once
// The converter's archival options: the bext fields (--description=, --originator=,
// --originator-reference=, --origination-date=, --origination-time=, --time-reference=,
// --coding-history=, --bext), INFO tags (--info=ID=TEXT), --md5, --loudness, and a CSV
// file of per-input values (--metadata=FILE.csv). Every value is judged when it is read,
// before anything is converted; each input's metadata is then the command line's values,
// overridden by its row, over the defaults of a bext chunk.

#include <ctime>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "convert/archival_chunks.h"
#include "convert/pcm_settings.h"

// The values of one source (the command line, or one row of the CSV file), by option name
// without "--": "description", ..., and the INFO tags in the order given.
struct MetadataValues {
    std::map<std::string, std::string> fields;
    std::vector<pcmwrap::InfoTag> info;
    bool bext = false;
    bool md5 = false;
    bool loudness = false;

    // Values of `row` replace these; its tags replace tags of the same id.
    void overrideWith(const MetadataValues& row);
};

class ArchivalOptions {
public:
    // Nothing when the argument is not an archival option; otherwise "" when taken, or
    // the line to print ("Bad value in <ARG>: why").
    std::optional<std::string> take(std::string_view argument);

    // After every argument, with the run's inputs: reads the --metadata file. The line to
    // print when it cannot be used ("Error reading <FILE.csv>: ...", "Bad value in ...").
    std::optional<std::string> readMetadataFile(const std::vector<std::string>& inputs);

    // "Bad value in <--loudness>: needs an output that can seek" when --loudness is asked
    // (on the command line or in a row) and an output cannot be revisited: an existing
    // FIFO, character device or socket.
    std::optional<std::string> seekRefusal(const std::vector<std::string>& inputs,
                                           const std::vector<std::string>& outputs) const;

    // Whether this output can be revisited: false for a FIFO, character device or socket.
    static bool outputCanSeek(const std::string& output);

    // The metadata of one input. bextDate: the time OriginationDate and OriginationTime
    // default to (the dump's modification time), in local time.
    ArchivalMetadata metadataFor(const std::string& input, const PcmSettings& settings, std::time_t bextDate) const;
    // As above, the date taken from the input's modification time (now when it has none).
    ArchivalMetadata metadataFor(const std::string& input, const PcmSettings& settings) const;

private:
    MetadataValues valuesFor(const std::string& input) const;

    MetadataValues commandLine_;
    std::string metadataFile_;
    std::map<std::string, MetadataValues> rows_;  // by input name
};

// Why a value cannot be given to that option (name without "--"), or "" when it can;
// the one judge of command-line and CSV values.
std::string metadataValueProblem(const std::string& name, std::string_view value);
