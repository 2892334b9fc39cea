#pragma once
// The source behind one named file, as the command line says to take it: a WAVE file
// (WavReader), a raw dump of the given format, or a raw dump whose format the probe
// tells.

#include <memory>
#include <stdexcept>
#include <string>

#include "play/pcm_source.h"
#include "play/player_options.h"

// A file the player will not play: why, for "Skipping <file>: <why>".
class UnplayableFile : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A file that cannot be read: why, for "Error reading <file>: <why>".
class UnreadableFile : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Throws UnplayableFile for a format it cannot play, UnreadableFile or std::system_error
// (WavError for a WAVE file) when the file cannot be read; a WavError may also refuse a
// format (isFormatRefusal). Raw settings apply to dumps only: a regular file that starts
// with a WAVE header is played as the WAVE file it is, saying so on standard error, and
// one of another sound file format is skipped. With -a, `told` receives the format the
// probe told ("16-bit big-endian stereo").
std::unique_ptr<PcmSource> openSource(const std::string& name, const PlayerOptions& options,
                                      std::string* told = nullptr);

// A WAVE file whose sample format is not read: skipped, not unreadable.
bool isFormatRefusal(const std::exception& error);
// What went wrong, without the file's name that the player's own line gives.
std::string reasonOf(const std::exception& error);
