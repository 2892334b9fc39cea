#pragma once
// The settings of one run, parsed from the command line: the sample format every output
// file gets, and the dumps to read with the WAVE file name derived for each.

#include <cstdint>
#include <string>
#include <vector>

class ConversionOptions {
public:
    using NameIterator = std::vector<std::string>::const_iterator;

    // Parses at once and prints the settings line. With -? before the first file name, or
    // with no file name at all, prints the usage text instead and ends the process with
    // status 0. Option values are read as decimal integers; values beyond the 32-bit range
    // saturate at its ends.
    ConversionOptions(int argc, char** argv);

    std::int32_t channels() const { return channels_; }
    std::int32_t rate() const { return rate_; }
    std::int32_t bits() const { return bits_; }

    // Inputs and outputs run in parallel: the k-th output is the name made from the k-th input.
    NameIterator inputsBegin() const { return inputs_.begin(); }
    NameIterator inputsEnd() const { return inputs_.end(); }
    NameIterator outputsBegin() const { return outputs_.begin(); }
    NameIterator outputsEnd() const { return outputs_.end(); }

    // Everything from the last dot of the last path component on is replaced by ".wav"
    // (appended when the component has no dot, or only a leading one): dumps.old/take1
    // gives dumps.old/take1.wav, ./take1 gives ./take1.wav, .take gives .take.wav. Only
    // '/' separates components; a backslash is part of a file name.
    static std::string deriveOutputName(std::string inputName);

private:
    std::int32_t channels_ = 1;
    std::int32_t rate_ = 44100;
    std::int32_t bits_ = 24;
    std::vector<std::string> inputs_;
    std::vector<std::string> outputs_;
};
