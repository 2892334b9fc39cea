#include "tests/support/process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <stdexcept>

namespace testsupport {
namespace {

// Reads both pipes to their ends; past the deadline the child is killed, which ends them.
void drainBoth(pid_t child, std::chrono::steady_clock::time_point deadline, int outFd, int errFd, std::string& out,
               std::string& err)
{
    std::array<pollfd, 2> fds{{{outFd, POLLIN, 0}, {errFd, POLLIN, 0}}};
    int open = 2;
    std::array<char, 65536> buffer{};
    bool killed = false;
    while (open > 0) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        const int ready = poll(fds.data(), fds.size(), killed ? -1 : static_cast<int>(std::max<std::int64_t>(left.count(), 0)));
        if (ready < 0) {
            if (errno == EINTR) {
                continue;
            }
            throw std::runtime_error("poll failed");
        }
        if (ready == 0) {
            kill(child, SIGKILL);
            killed = true;
            continue;
        }
        for (std::size_t i = 0; i < fds.size(); ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0) {
                continue;
            }
            ssize_t got = read(fds[i].fd, buffer.data(), buffer.size());
            if (got > 0) {
                (i == 0 ? out : err).append(buffer.data(), static_cast<std::size_t>(got));
            } else if (got == 0 || errno != EINTR) {
                close(fds[i].fd);
                fds[i].fd = -1;
                --open;
            }
        }
    }
}

}  // namespace

ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& arguments,
                           const ProcessOptions& options)
{
    int outPipe[2];
    int errPipe[2];
    if (pipe2(outPipe, O_CLOEXEC) != 0 || pipe2(errPipe, O_CLOEXEC) != 0) {
        throw std::runtime_error("pipe failed");
    }
    std::vector<std::string> argumentCopies;
    argumentCopies.push_back(program);
    argumentCopies.insert(argumentCopies.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (auto& argument : argumentCopies) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    // Built before the fork: the child may only make async-signal-safe calls.
    // The extra entries come first, so that they win over inherited ones of the same name.
    std::vector<std::string> extraCopies = options.extraEnvironment;
    std::vector<char*> environment;
    for (auto& entry : extraCopies) {
        environment.push_back(entry.data());
    }
    for (char** entry = environ; *entry != nullptr; ++entry) {
        environment.push_back(*entry);
    }
    environment.push_back(nullptr);

    pid_ = fork();
    if (pid_ < 0) {
        throw std::runtime_error("fork failed");
    }
    if (pid_ == 0) {
        // Only async-signal-safe calls from here to exec.
        int devNull = open("/dev/null", O_RDONLY);
        dup2(devNull, STDIN_FILENO);
        dup2(outPipe[1], STDOUT_FILENO);
        dup2(errPipe[1], STDERR_FILENO);
        if (!options.workingDirectory.empty() && chdir(options.workingDirectory.c_str()) != 0) {
            _exit(127);
        }
        if (options.fileSizeLimit) {
            // As a shell leaves it: the program itself must keep the signal from killing it.
            signal(SIGXFSZ, SIG_DFL);
            rlimit limit{*options.fileSizeLimit, *options.fileSizeLimit};
            setrlimit(RLIMIT_FSIZE, &limit);
        }
        for (const int signalNumber : options.ignoredSignals) {
            signal(signalNumber, SIG_IGN);
        }
        for (const int descriptor : options.closedDescriptors) {
            close(descriptor);
        }
        execve(program.c_str(), argv.data(), environment.data());
        _exit(127);
    }
    close(outPipe[1]);
    close(errPipe[1]);
    standardOutput_ = outPipe[0];
    standardError_ = errPipe[0];
}

ChildProcess::~ChildProcess()
{
    if (pid_ > 0) {
        wait(std::chrono::milliseconds(0));
    }
}

void ChildProcess::sendSignal(int signal) const
{
    kill(pid_, signal);
}

ProcessResult ChildProcess::wait(std::chrono::milliseconds limit)
{
    ProcessResult result;
    drainBoth(pid_, std::chrono::steady_clock::now() + limit, standardOutput_, standardError_, result.standardOutput,
              result.standardError);
    int status = 0;
    while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    pid_ = -1;
    if (WIFEXITED(status)) {
        result.exitStatus = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
        result.signal = WTERMSIG(status);
    }
    return result;
}

ProcessResult runProcess(const std::string& program, const std::vector<std::string>& arguments,
                         const ProcessOptions& options)
{
    return ChildProcess(program, arguments, options).wait();
}

ProcessResult runPcmwrap(const std::vector<std::string>& arguments, const ProcessOptions& options)
{
    return runProcess(PCMWRAP_PROGRAM, arguments, options);
}

ProcessResult runPcmwrapPlay(const std::vector<std::string>& arguments, const ProcessOptions& options)
{
    return runProcess(PCMWRAP_PLAYER, arguments, options);
}

ProcessResult runPython(const std::string& script, const std::vector<std::string>& arguments)
{
    std::vector<std::string> all{"-c", script};
    all.insert(all.end(), arguments.begin(), arguments.end());
    return runProcess(PCMWRAP_PYTHON, all);
}

}  // namespace testsupport
