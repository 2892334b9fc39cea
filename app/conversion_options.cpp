#include "app/conversion_options.h"

#include <algorithm>
#include <cstdlib>
#include <iostream>
#include <limits>
#include <optional>
#include <string_view>

#include "app/format_options.h"
#include "app/standard_output_stream.h"

namespace {

// A whole decimal number: an optional sign and at least one digit, nothing before or
// after, within the signed 32-bit range. -r48k, -r and "-r 44100" (whose -r is empty)
// are not; a range check of the value itself comes later, when an input has opened.
std::optional<std::int32_t> wholeNumber(std::string_view text)
{
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    if (text.empty()) {
        return std::nullopt;
    }
    // The magnitude stops at one past the largest negative size, so it never overflows.
    constexpr std::int64_t magnitudeLimit = std::int64_t{std::numeric_limits<std::int32_t>::max()} + 2;
    std::int64_t magnitude = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        magnitude = std::min(magnitude * 10 + (c - '0'), magnitudeLimit);
    }
    const std::int64_t value = negative ? -magnitude : magnitude;
    if (value < std::numeric_limits<std::int32_t>::min() || value > std::numeric_limits<std::int32_t>::max()) {
        return std::nullopt;
    }
    return static_cast<std::int32_t>(value);
}

void printUsage()
{
    std::cout << std::endl << "pcmwrap [-r<rate>] [-b<bits per sample>] [-c<channels>] infile..." << std::endl;
}

[[noreturn]] void printHelpAndExit()
{
    printUsage();
    std::cout << "  -r<rate>        samples per second (default 44100)" << std::endl
              << "  -b<bits>        bits per sample of the dumps: 16 or 24 (default 24)" << std::endl
              << "  -c<channels>    interleaved channels (default 1)" << std::endl
              << "  -f<format>      sample format of the dumps, instead of -b: u8, s8, s16, s24, s32," << std::endl
              << "                  s24in32 (24 bits in 4-byte words), f32, f64" << std::endl
              << "  -l              the dumps hold their samples least significant byte first" << std::endl
              << "  -s<bytes>       skip that many bytes at the start of every dump (default 0)" << std::endl
              << "  -m<mask>        write WAVE_FORMAT_EXTENSIBLE with that speaker mask (0x hex or" << std::endl
              << "                  decimal; 0: no positions)" << std::endl
              << "  --md5, --loudness, --bext, --info=ID=TEXT, --metadata=FILE.csv, ...  archival" << std::endl
              << "                  metadata in the WAVE files (see pcmwrap(1))" << std::endl
              << "  -o<OUT>         the output of the one input (- is standard output; - as an" << std::endl
              << "                  input is standard input)" << std::endl
              << "  --              ends the options: every later argument is a file name" << std::endl
              << "  -h, -?, --help  print this text" << std::endl
              << "Exit status: 0 every file converted; 1 a file skipped or a read failed;" << std::endl
              << "2 bits, channels or rate refused; 3 to 255 a WAVE file failed (from its code);" << std::endl
              << "64 a bad option; 128 + N stopped by signal N." << std::endl;
    std::exit(kExitUsage);
}

[[noreturn]] void refuseOption(const std::string& message)
{
    std::cout << message << std::endl;
    printUsage();
    std::exit(kExitBadOption);
}

// A lone "-" is the first file name (standard input), not an option.
bool endsOptions(std::string_view argument)
{
    return argument.empty() || argument.front() != '-' || argument == "-";
}

// Whether -o- is among the options: standard output then carries the WAVE stream, and
// every line, an option's refusal too, goes to standard error instead.
bool standardOutputNamed(int argc, char** argv)
{
    for (int current = 1; current < argc && !endsOptions(argv[current]); ++current) {
        if (std::string_view(argv[current]) == "--") {
            break;
        }
        if (std::string_view(argv[current]) == "-o-") {
            return true;
        }
    }
    return false;
}

}  // namespace

ConversionOptions::ConversionOptions(int argc, char** argv)
{
    if (standardOutputNamed(argc, argv)) {
        waveStream_ = carryWaveStreamOnStandardOutput();
    }
    std::optional<std::string> namedOutput;
    std::string outputArgument;
    int current = 1;
    for (; current < argc; ++current) {
        const std::string_view argument = argv[current];
        if (endsOptions(argument)) {
            break;
        }
        if (argument == "--") {
            ++current;
            break;
        }
        // Anything after -? still asks for the usage.
        if (argument.starts_with("-?") || argument == "-h" || argument == "--help") {
            printHelpAndExit();
        }
        if (argument == "-l") {
            littleEndian_ = true;
            continue;
        }
        if (argument.starts_with("-o")) {
            if (argument.size() == 2) {
                refuseOption("Bad value in <-o>: a file name is needed");
            }
            namedOutput = std::string(argument.substr(2));
            outputArgument = argument;
            continue;
        }
        if (parseFormatOption(argument)) {
            continue;
        }
        if (const auto archival = archival_.take(argument)) {
            if (!archival->empty()) {
                refuseOption(*archival);
            }
            continue;
        }
        std::int32_t* target = nullptr;
        if (argument.starts_with("-r")) {
            target = &rate_;
        } else if (argument.starts_with("-b")) {
            target = &bits_;
            format_.reset();  // the last of -b and -f decides
        } else if (argument.starts_with("-c")) {
            target = &channels_;
        } else {
            refuseOption("Unknown option <" + std::string(argument) + ">");
        }
        const auto value = wholeNumber(argument.substr(2));
        if (!value) {
            refuseOption("Bad value in <" + std::string(argument) + ">: a whole number is needed");
        }
        *target = *value;
    }
    // The mask is judged against the last -c, wherever it stands.
    if (channelMask_) {
        if (const auto refusal = maskChannelsRefusal(maskArgument_, *channelMask_, channels_)) {
            refuseOption(*refusal);
        }
    }
    if (current >= argc) {
        printUsage();
        std::exit(kExitUsage);
    }
    if (namedOutput && argc - current > 1) {
        refuseOption("Bad value in <" + outputArgument + ">: -o names the output of one input file");
    }
    if (!namedOutput && std::find(argv + current, argv + argc, std::string_view("-")) != argv + argc) {
        refuseOption("Standard input needs -o<OUT>");
    }
    // Everything from the first file name on is a file name, even when it starts with a minus sign.
    for (; current < argc; ++current) {
        inputs_.emplace_back(argv[current]);
        outputs_.push_back(namedOutput ? *namedOutput : deriveOutputName(inputs_.back()));
    }
    // The metadata file is judged against the inputs, before anything is printed.
    if (const auto failure = archival_.readMetadataFile(inputs_)) {
        if (failure->starts_with("Bad value")) {
            refuseOption(*failure);
        }
        std::cout << *failure << std::endl;
        std::exit(kExitBadOption);
    }
    if (const auto refusal = archival_.seekRefusal(inputs_, outputs_)) {
        refuseOption(*refusal);
    }
    std::cout << settingsLine(format_, bits_, rate_, channels_, littleEndian_) << std::endl;
    outputNamed_ = namedOutput.has_value();
}

bool ConversionOptions::parseFormatOption(std::string_view argument)
{
    if (argument.size() < 2) {
        return false;
    }
    const std::string_view value = argument.substr(2);
    if (argument.starts_with("-f")) {
        format_ = sampleFormatValue(value);
        if (!format_) {
            refuseOption(sampleFormatRefusal(argument));
        }
        return true;
    }
    if (argument.starts_with("-s")) {
        const auto bytes = byteCountValue(value);
        if (!bytes) {
            refuseOption(byteCountRefusal(argument));
        }
        skipBytes_ = *bytes;
        return true;
    }
    if (argument.starts_with("-m")) {
        channelMask_ = channelMaskValue(value);
        if (!channelMask_) {
            refuseOption(channelMaskRefusal(argument));
        }
        maskArgument_ = argument;
        return true;
    }
    return false;
}

std::string ConversionOptions::deriveOutputName(std::string inputName)
{
    const auto lastSlash = inputName.rfind('/');
    const std::size_t componentStart = lastSlash == std::string::npos ? 0 : lastSlash + 1;
    // A dot at the start of the component that is also its last dot is its only one: it
    // names a hidden file (.take), not an extension.
    const auto lastDot = inputName.rfind('.');
    if (lastDot != std::string::npos && lastDot > componentStart) {
        inputName.erase(lastDot);
    }
    inputName += ".wav";
    return inputName;
}
