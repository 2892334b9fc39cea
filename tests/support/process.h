#pragma once
// Runs a program as a separate process and captures what it prints, so that tests
// can check standard output byte for byte, standard error and the exit status.

#include <sys/types.h>

#include <chrono>
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
    std::optional<std::uint64_t> fileSizeLimit;  // RLIMIT_FSIZE for the child, SIGXFSZ at its default
    std::vector<std::string> extraEnvironment;   // "NAME=value" entries added for the child
    std::vector<int> closedDescriptors;          // of 0, 1 and 2: closed when the child starts
    std::vector<int> ignoredSignals;             // SIG_IGN when the child starts, as nohup leaves them
};

// A program started in the background, for tests that act on it while it runs.
class ChildProcess {
public:
    ChildProcess(const std::string& program, const std::vector<std::string>& arguments,
                 const ProcessOptions& options = {});
    // Kills and collects a child that was not waited for.
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    void sendSignal(int signal) const;
    pid_t pid() const { return pid_; }
    // Collects the output until the child ends. A child still running after the time limit
    // is killed, which shows as SIGKILL in the result.
    ProcessResult wait(std::chrono::milliseconds limit = std::chrono::hours(1));

private:
    pid_t pid_ = -1;
    int standardOutput_ = -1;
    int standardError_ = -1;
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
