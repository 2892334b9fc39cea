#pragma once
// The settings of one pcmwrap-play run, parsed from the command line: the device to play
// on, how to take the files (WAVE, raw dumps of given settings, or raw dumps the probe
// reads) and the files to play.

#include <optional>
#include <string>
#include <vector>

#include "play/raw_dump_source.h"

class PlayerOptions {
public:
    // Parses at once. With -h, -? or --help before the first file name, prints the help
    // text and ends the process with status 0, as with no file name at all (the usage
    // line); with an option it does not know (or -d without a name), a value that is not
    // a whole number, a sample format -f does not name, or -b, -f, -c or -l beside -a,
    // prints a line saying so and the usage line, and ends with kPlayerUsageError.
    PlayerOptions(int argc, char** argv);

    // The ALSA PCM that -d named, which overrides PCMWRAP_AUDIO_DEVICE for the run.
    const std::optional<std::string>& device() const { return device_; }
    // -r, -b, -f, -c or -l: every file that is no sound file is a raw dump of this format.
    const std::optional<RawDumpFormat>& rawFormat() const { return rawFormat_; }
    // -a: every file is a raw dump whose format the probe tells; the rate is rawRate().
    bool probeDumps() const { return probeDumps_; }
    std::int32_t rawRate() const { return rate_; }
    // The raw settings as given, for their range check (raw_settings_check.cpp): -b's
    // value, which decides when it came after any -f.
    std::int32_t rawBits() const { return bits_; }
    bool rawBitsDecide() const { return !sampleFormat_; }
    std::int32_t rawChannels() const { return channels_; }
    const std::vector<std::string>& files() const { return files_; }

private:
    std::optional<std::string> device_;
    std::optional<RawDumpFormat> rawFormat_;
    bool probeDumps_ = false;
    std::int32_t rate_ = 44100;
    std::int32_t bits_ = 24;
    std::optional<pcmwrap::SampleFormat> sampleFormat_;  // -f's, unless a -b came after it
    std::int32_t channels_ = 1;
    std::vector<std::string> files_;
};
