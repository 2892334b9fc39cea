#pragma once
// Keeps every output of a run off the files the run reads and off the files it already
// wrote: creating an output empties it, so a dump named later on the command line, or
// the WAVE file of an earlier pair, would be lost.

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/same_file.h"

class OutputGuard {
public:
    using NameIterator = std::vector<std::string>::const_iterator;

    // Notes the identity of every input that exists now, before any output is created.
    OutputGuard(NameIterator inputsBegin, NameIterator inputsEnd);

    // Why the output of this pair may not be created, as the line to print (without its
    // newline), or nothing when it may. The first that applies, in this order: the output
    // is the pair's own input, another input of the run (the first on the command line),
    // or an output this run already wrote.
    std::optional<std::string> refusal(const std::string& input, const std::string& output) const;

    // Notes an output just created from input, so that no later pair writes over it.
    void noteWritten(const std::string& input, const std::string& output);

private:
    std::vector<std::pair<std::string, FileIdentity>> inputs_;
    std::vector<std::pair<std::string, FileIdentity>> written_;
};
