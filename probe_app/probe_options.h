#pragma once
// The command line of pcmwrap-probe: [--json] file...

#include <string>
#include <vector>

struct ProbeOptions {
    bool json = false;
    std::vector<std::string> files;
};

inline constexpr int kProbeAllFormats = 0;     // every file got a format
inline constexpr int kProbeUnreadable = 1;     // a file could not be read
inline constexpr int kProbeNoFormat = 2;       // a file was unclear, silent, a container or empty
inline constexpr int kProbeUsageError = 64;    // an option it does not know

// Parses the arguments; prints the usage text and ends the process for -?, for no file
// and for an unknown option. Options count only before the first file name; "-" is a file
// name (standard input).
ProbeOptions parseProbeOptions(int argc, char** argv);
