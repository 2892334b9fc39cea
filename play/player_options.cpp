#include "play/player_options.h"

#include <string_view>

#include <charconv>
#include <cstdlib>
#include <iostream>

#include "formats/sample_format.h"
#include "play/player_status.h"

namespace {

using pcmwrap::SampleFormat;

constexpr const char* kUsage = "pcmwrap-play [-d<device>] [-r<rate>] [-b<bits>] [-f<format>] [-c<channels>] [-l] [-a] file...";

[[noreturn]] void printUsageAndExit(int status)
{
    std::cout << kUsage << std::endl;
    std::exit(status);
}

[[noreturn]] void printHelpAndExit()
{
    std::cout << kUsage << "\n"
              << "  -d<device>      the ALSA PCM to play on (default: PCMWRAP_AUDIO_DEVICE, else default)\n"
              << "  -r<rate>        raw dumps: samples per second, 1000 to 768000 (default 44100)\n"
              << "  -b<bits>        raw dumps: 8 (unsigned), 16, 24 or 32 bits per sample (default 24)\n"
              << "  -f<format>      raw dumps: the sample format, " << pcmwrap::sampleFormatNameList() << "\n"
              << "  -c<channels>    raw dumps: interleaved channels, 1 to 8 (default 1)\n"
              << "  -l              raw dumps: least significant byte first\n"
              << "  -a              raw dumps whose format the probe tells from their samples\n"
              << "  --              ends the options: every later argument is a file name\n"
              << "  -h, -?, --help  print this text\n"
              << "Exit status: 0 every file played; 1 a file could not be read; 2 a file skipped\n"
              << "for its format; 3 the audio device failed; 64 a bad option; 128 + N stopped by\n"
              << "signal N." << std::endl;
    std::exit(kPlayerSuccess);
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

// -b's value as a sample format: 8 bits unsigned, as WAVE files keep them.
std::optional<SampleFormat> formatOfBits(std::int32_t bits)
{
    switch (bits) {
    case 8:
        return SampleFormat::kU8;
    case 16:
        return SampleFormat::kS16;
    case 24:
        return SampleFormat::kS24;
    case 32:
        return SampleFormat::kS32;
    default:
        return std::nullopt;
    }
}

SampleFormat sampleFormat(const std::string& argument)
{
    const std::optional<SampleFormat> named = pcmwrap::sampleFormatNamed(std::string_view(argument).substr(2));
    if (!named) {
        refuse("Bad value in <" + argument + ">: a sample format is needed (" + pcmwrap::sampleFormatNameList() + ")");
    }
    return *named;
}

}  // namespace

PlayerOptions::PlayerOptions(int argc, char** argv)
{
    int current = 1;
    bool raw = false;
    std::string rawOption;  // the first of -b, -f, -c, -l, which -a does not go with
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
        if (argument.starts_with("-?") || argument == "-h" || argument == "--help") {
            printHelpAndExit();
        }
        const char letter = argument.size() >= 2 ? argument[1] : '\0';
        if (letter == 'd' && argument.size() > 2) {
            device_ = argument.substr(2);
        } else if (letter == 'r') {
            rate_ = wholeNumber(argument);
            raw = true;
        } else if (letter == 'b' || letter == 'c') {
            (letter == 'b' ? bits_ : channels_) = wholeNumber(argument);
            if (letter == 'b') {
                sampleFormat_.reset();  // the last of -b and -f decides
            }
            raw = true;
            rawOption = rawOption.empty() ? argument : rawOption;
        } else if (letter == 'f') {
            sampleFormat_ = sampleFormat(argument);
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
        // Bits out of range are refused before any file plays (raw_settings_check.h).
        format.sample = sampleFormat_ ? *sampleFormat_ : formatOfBits(bits_).value_or(SampleFormat::kS24);
        format.channels = static_cast<unsigned>(channels_);
        format.bigEndian = !littleEndian;
        rawFormat_ = format;
    }
    files_.assign(argv + current, argv + argc);
}
