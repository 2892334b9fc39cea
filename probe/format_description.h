#pragma once
// How a found format is told to a person, and the pcmwrap command that converts it.

#include <string>

#include "probe/probe.h"

namespace pcmwrap::probe {

// "24-bit big-endian stereo", "16-bit little-endian 6 channels", "8-bit unsigned mono",
// "32-bit integer big-endian mono", "32-bit float little-endian stereo", "24-bit in 32-bit
// words little-endian stereo", "16-bit big-endian stereo after 1 stray byte".
std::string describe(const Candidate& format);

// The pcmwrap command line that converts the file in that format: "pcmwrap -l -b16 -c2
// take.raw" for 16 and 24 bits, "pcmwrap -ff32 -l -c2 take.raw" for the others (the
// names of formats/sample_format.h), "-s<N>" for stray bytes. The file name is quoted for
// a POSIX shell when it needs it, and a name that starts with '-' gets "./" before it, so
// pcmwrap does not take it for an option; "-" (standard input, read by the probe already)
// gets "-o- -": the same bytes piped in again convert to standard output.
std::string pcmwrapCommand(const Candidate& format, const std::string& file);

// The format's name in formats/sample_format.h, as pcmwrap's -f takes it: "s16", "f32".
std::string sampleFormatName(const Candidate& format);

// The answer in words: the format as describe() tells it, or why there is none:
// "unclear (16-bit big-endian stereo or 16-bit big-endian mono)", "unclear (no format
// fits)", "silent", "container: RIFF WAVE", "empty", "error: <message>".
std::string describeVerdict(const ProbeResult& result);

}  // namespace pcmwrap::probe
