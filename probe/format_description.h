#pragma once
// How a found format is told to a person, and the pcmwrap command that converts it.

#include <optional>
#include <string>

#include "probe/probe.h"

namespace pcmwrap::probe {

// "24-bit big-endian stereo", "16-bit little-endian 6 channels", "8-bit unsigned mono",
// "32-bit integer big-endian mono", "32-bit float little-endian stereo".
std::string describe(const Candidate& format);

// The pcmwrap command line that converts the file in that format ("pcmwrap -l -b16 -c2
// take.raw"), or nothing when pcmwrap cannot (8 and 32 bits). The file name is quoted for
// a POSIX shell when it needs it, and a name that starts with '-' gets "./" before it, so
// pcmwrap does not take it for an option.
std::optional<std::string> pcmwrapCommand(const Candidate& format, const std::string& file);

// The answer in words: the format as describe() tells it, or why there is none:
// "unclear (16-bit big-endian stereo or 16-bit big-endian mono)", "unclear (no format
// fits)", "silent", "container: RIFF WAVE", "empty", "error: <message>".
std::string describeVerdict(const ProbeResult& result);

}  // namespace pcmwrap::probe
