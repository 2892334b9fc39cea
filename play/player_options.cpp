#include "play/player_options.h"

#include <string_view>

#include <charconv>
#include <cstdlib>
#include <iostream>

#include "play/player_status.h"

namespace {

[[noreturn]] void printUsageAndExit(int status)
{
    std::cout << "pcmwrap-play [-d<device>] [-r<rate>] [-b<bits>] [-c<channels>] [-l] [-a] file..." << std::endl;
    std::exit(status);
}

[[noreturn]] void refuse(const std::string& message)
{
    std::cout << message << std::endl;
    printUsageAndExit(kPlayerUsageError);
}

// The value after an option's letter: an optional sign and decimal digits, nothing
// before or after, within the signed 32-bit range.
std::int32_t wholeNumber(const std::string& argument)
{
    const char* first = argument.data() + 2;
    const char* last = argument.data() + argument.size();
    if (first != last && *first == '+') {
        ++first;  // from_chars takes a minus sign only
    }
    std::int32_t value = 0;
    const auto [end, error] = std::from_chars(first, last, value);
    if (first == last || error != std::errc() || end != last || (*first == '-' && first != argument.data() + 2)) {
        refuse("Bad value in <" + argument + ">: a whole number is needed");
    }
    return value;
}

}  // namespace

PlayerOptions::PlayerOptions(int argc, char** argv)
{
    int current = 1;
    bool raw = false;
    std::string rawOption;  // the first of -b, -c, -l, which -a does not go with
    bool littleEndian = false;
    // Everything from the first file name on is a file name, even when it starts with a
    // minus sign; so is everything after --.
    // A lone "-" is the first file name: standard input.
    for (; current < argc && argv[current][0] == '-' && std::string_view(argv[current]) != "-"; ++current) {
        const std::string argument = argv[current];
        if (argument == "--") {
            ++current;
            break;
        }
        if (argument == "-?") {
            printUsageAndExit(kPlayerSuccess);
        }
        const char letter = argument.size() >= 2 ? argument[1] : '\0';
        if (letter == 'd' && argument.size() > 2) {
            device_ = argument.substr(2);
        } else if (letter == 'r') {
            rate_ = wholeNumber(argument);
            raw = true;
        } else if (letter == 'b' || letter == 'c') {
            (letter == 'b' ? bits_ : channels_) = wholeNumber(argument);
            raw = true;
            rawOption = rawOption.empty() ? argument : rawOption;
        } else if (argument == "-l") {
            littleEndian = true;
            raw = true;
            rawOption = rawOption.empty() ? argument : rawOption;
        } else if (argument == "-a") {
            probeDumps_ = true;
        } else {
            refuse("Unknown option <" + argument + ">");
        }
    }
    if (probeDumps_ && !rawOption.empty()) {
        refuse("Option <" + rawOption + "> does not go with <-a>, which takes it from each dump");
    }
    if (current == argc) {
        printUsageAndExit(kPlayerSuccess);
    }
    if (raw && !probeDumps_) {
        RawDumpFormat format;
        format.sampleRate = static_cast<std::uint32_t>(rate_);
        format.bits = static_cast<unsigned>(bits_);
        format.channels = static_cast<unsigned>(channels_);
        format.encoding = bits_ == 8 ? RawDumpFormat::Encoding::kUnsigned : RawDumpFormat::Encoding::kSigned;
        format.bigEndian = !littleEndian;
        rawFormat_ = format;
    }
    files_.assign(argv + current, argv + argc);
}
