#include "app/conversion_options.h"

#include <algorithm>
#include <cstdlib>
#include <iostream>
#include <limits>

namespace {

bool isWhiteSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Reads like atoi: leading white space, an optional sign, digits up to the first
// non-digit, 0 when there are none. A value past the 32-bit range saturates at its end
// instead of overflowing: -r99999999999 gives 2147483647.
std::int32_t readDecimal(const char* text)
{
    while (isWhiteSpace(*text)) {
        ++text;
    }
    bool negative = false;
    if (*text == '+' || *text == '-') {
        negative = *text == '-';
        ++text;
    }
    // The magnitude stops growing one past the largest positive value (the size of the
    // smallest negative one), so it can never overflow however many digits follow.
    constexpr std::int64_t magnitudeLimit = std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1;
    std::int64_t magnitude = 0;
    for (; *text >= '0' && *text <= '9'; ++text) {
        magnitude = std::min(magnitude * 10 + (*text - '0'), magnitudeLimit);
    }
    if (negative) {
        return static_cast<std::int32_t>(-magnitude);
    }
    return static_cast<std::int32_t>(std::min(magnitude, magnitudeLimit - 1));
}

[[noreturn]] void printUsageAndExit()
{
    std::cout << std::endl << "pcmwrap [-r<rate>] [-b<bits per sample>] [-c<channels>] infile" << std::endl;
    std::exit(0);
}

}  // namespace

ConversionOptions::ConversionOptions(int argc, char** argv)
{
    // remaining counts the arguments not yet taken as options, the program's name included.
    int remaining = argc;
    int current = 0;
    while (remaining > 1) {
        ++current;
        const char* argument = argv[current];
        if (argument[0] != '-') {
            break;
        }
        --remaining;
        // Each case reads its value from the character after the letter; the letter is not
        // the terminator, so that character exists.
        switch (argument[1]) {
        case '?':
            printUsageAndExit();
        case 'b':
            bits_ = readDecimal(argument + 2);
            break;
        case 'c':
            channels_ = readDecimal(argument + 2);
            break;
        case 'r':
            rate_ = readDecimal(argument + 2);
            break;
        default:
            break;
        }
    }
    if (remaining < 2) {
        printUsageAndExit();
    }
    std::cout << "bits: <" << bits_ << ">, rate: <" << rate_ << ">, channels: <" << channels_ << ">" << std::endl;
    // Everything from the first file name on is a file name, even when it starts with a minus sign.
    for (; current < argc; ++current) {
        inputs_.emplace_back(argv[current]);
        outputs_.push_back(deriveOutputName(inputs_.back()));
    }
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
