#include "app/output_guard.h"

OutputGuard::OutputGuard(NameIterator inputsBegin, NameIterator inputsEnd)
{
    for (auto input = inputsBegin; input != inputsEnd; ++input) {
        if (const auto identity = fileIdentity(*input)) {
            inputs_.emplace_back(*input, *identity);
        }
    }
}

std::optional<std::string> OutputGuard::refusal(const std::string& input, const std::string& output) const
{
    const std::string start = "Error creating <" + output + ">: ";
    // The pair's own input is looked at as it is now: it may be an output of an earlier
    // pair, which did not exist when the run began.
    if (isSameFile(input, output)) {
        return start + "same file as the input";
    }
    const auto outputIdentity = fileIdentity(output);
    if (!outputIdentity) {
        return std::nullopt;
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
    if (const auto identity = fileIdentity(output)) {
        written_.emplace_back(input, *identity);
    }
}
