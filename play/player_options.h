#pragma once
// The settings of one pcmwrap-play run, parsed from the command line: the device to play
// on and the files to play.

#include <optional>
#include <string>
#include <vector>

class PlayerOptions {
public:
    // Parses at once. With -? before the first file name, or no file name at all, prints
    // the usage text and ends the process with status 0; with an option it does not know
    // (or -d without a name), prints a line naming it and the usage text, and ends with
    // kPlayerUsageError.
    PlayerOptions(int argc, char** argv);

    // The ALSA PCM that -d named, which overrides PCMWRAP_AUDIO_DEVICE for the run.
    const std::optional<std::string>& device() const { return device_; }
    const std::vector<std::string>& files() const { return files_; }

private:
    std::optional<std::string> device_;
    std::vector<std::string> files_;
};
