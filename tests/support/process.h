#pragma once
// Runs a program as a separate process and captures what it prints, so that tests
// can check standard output byte for byte, standard error and the exit status.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace testsupport {

struct ProcessResult {
    std::string standardOutput;
    std::string standardError;
    int exitStatus = -1;  // the status of a normal exit, or -1
    int signal = 0;       // the signal that ended the process, or 0
};

struct ProcessOptions {
    std::string workingDirectory;               // empty: the test's own
    std::optional<std::uint64_t> fileSizeLimit;  // RLIMIT_FSIZE for the child, SIGXFSZ ignored
    std::vector<std::string> extraEnvironment;   // "NAME=value" entries added for the child
    std::string interruptOnOutput;               // non-empty: SIGINT to the child once its output holds it
};

ProcessResult runProcess(const std::string& program, const std::vector<std::string>& arguments,
                         const ProcessOptions& options = {});

// The built converter, with the given arguments.
ProcessResult runPcmwrap(const std::vector<std::string>& arguments, const ProcessOptions& options = {});

// The built player, pcmwrap-play, with the given arguments.
ProcessResult runPcmwrapPlay(const std::vector<std::string>& arguments, const ProcessOptions& options = {});

// Python, which brings an independent WAVE reader: runs the script text with the arguments.
ProcessResult runPython(const std::string& script, const std::vector<std::string>& arguments);

}  // namespace testsupport
