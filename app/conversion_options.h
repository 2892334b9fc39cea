#pragma once
// The settings of one run, parsed from the command line: the sample format every output
// file gets, and the dumps to read with the WAVE file name derived for each.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "formats/sample_format.h"
#include "app/archival_options.h"

// Statuses of a parse that ends the process.
inline constexpr int kExitUsage = 0;
// An option that is not known, or a value that is not a whole number (as sysexits' EX_USAGE).
inline constexpr int kExitBadOption = 64;

class ConversionOptions {
public:
    using NameIterator = std::vector<std::string>::const_iterator;

    // Parses at once and prints the settings line. Options come before the first file
    // name; "--" ends them early. -?, -h or --help, or no file name at all, print the
    // usage text (the help text for the first three) and end the process with status 0.
    // An unknown option, or a value that is not a whole decimal number within the signed
    // 32-bit range, prints its message and the usage text and ends it with status 64.
    // Nothing is printed before the verdict on every option. An input "-" is standard
    // input; -o<OUT> names the output of the one input ("-": standard output, which then
    // carries the WAVE stream, so every message goes to standard error instead).
    ConversionOptions(int argc, char** argv);

    std::int32_t channels() const { return channels_; }
    std::int32_t rate() const { return rate_; }
    std::int32_t bits() const { return bits_; }
    // -l: the dumps hold their samples least significant byte first.
    bool littleEndian() const { return littleEndian_; }
    // -f: the dumps' sample format; nothing when -b came after the last -f or no -f was given.
    std::optional<pcmwrap::SampleFormat> sampleFormat() const { return format_; }
    // -s: bytes to pass over at the start of every dump.
    std::uint64_t skipBytes() const { return skipBytes_; }
    // -m: the speaker mask of a WAVE_FORMAT_EXTENSIBLE output.
    std::optional<std::uint32_t> channelMask() const { return channelMask_; }
    // --md5, --loudness, --bext, --description=, --info=, --metadata=, ...
    const ArchivalOptions& archival() const { return archival_; }
    // -o<OUT> named the output of the run's one input ("-": standard output).
    bool outputNamed() const { return outputNamed_; }
    // With -o-: the descriptor on what standard output was, which carries the WAVE stream
    // (descriptor 1 then leads to standard error); -1 otherwise.
    int waveStreamDescriptor() const { return waveStream_; }

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
    // -f, -s or -m: true when the argument is one of them (a bad value ends the process).
    bool parseFormatOption(std::string_view argument);

    std::int32_t channels_ = 1;
    std::int32_t rate_ = 44100;
    std::int32_t bits_ = 24;
    bool littleEndian_ = false;
    std::optional<pcmwrap::SampleFormat> format_;
    std::uint64_t skipBytes_ = 0;
    std::optional<std::uint32_t> channelMask_;
    std::string maskArgument_;  // the -m argument, for its refusal
    ArchivalOptions archival_;
    bool outputNamed_ = false;
    int waveStream_ = -1;
    std::vector<std::string> inputs_;
    std::vector<std::string> outputs_;
};
