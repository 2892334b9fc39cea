#include "app/output_guard.h"

#include <sys/stat.h>
#include <unistd.h>

#include "convert/sample_dump_reader.h"

namespace {

// An input "-" is standard input, whatever file it leads to: a file given as
// `-oX - < X` must not be emptied by its own conversion.
std::optional<FileIdentity> inputIdentity(const std::string& input)
{
    if (input != kStandardStreamName) {
        return fileIdentity(input);
    }
    struct stat status {};
    if (fstat(STDIN_FILENO, &status) != 0) {
        return std::nullopt;
    }
    return FileIdentity{status.st_dev, status.st_ino};
}

}  // namespace

OutputGuard::OutputGuard(NameIterator inputsBegin, NameIterator inputsEnd)
{
    for (auto input = inputsBegin; input != inputsEnd; ++input) {
        if (const auto identity = inputIdentity(*input)) {
            inputs_.emplace_back(*input, *identity);
        }
    }
}

std::optional<std::string> OutputGuard::refusal(const std::string& input, const std::string& output) const
{
    const std::string start = "Error creating <" + output + ">: ";
    // Standard output is written where it leads; pcmwrap never creates it.
    if (output == kStandardStreamName) {
        return std::nullopt;
    }
    const auto outputIdentity = fileIdentity(output);
    if (!outputIdentity) {
        return std::nullopt;
    }
    // The pair's own input is looked at as it is now: it may be an output of an earlier
    // pair, which did not exist when the run began.
    if (inputIdentity(input) == outputIdentity) {
        return start + "same file as the input";
    }
    for (const auto& [name, identity] : inputs_) {
        if (identity == *outputIdentity) {
            return start + "same file as the input <" + name + ">";
        }
    }
    for (const auto& [writtenFrom, identity] : written_) {
        if (identity == *outputIdentity) {
            return start + "already written from <" + writtenFrom + ">";
        }
    }
    return std::nullopt;
}

void OutputGuard::noteWritten(const std::string& input, const std::string& output)
{
    if (output == kStandardStreamName) {
        return;
    }
    if (const auto identity = fileIdentity(output)) {
        written_.emplace_back(input, *identity);
    }
}
