// The converter in the conditions real runs meet: standard descriptors closed, an output
// name that is a FIFO, a device, a socket or a directory, an output renamed while it is
// written, signals ignored by nohup, a mistaken option beside a refused output.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>

#include "tests/support/expected_wave.h"
#include "tests/support/fifo_writer.h"
#include "tests/support/file_bytes.h"
#include "tests/support/process.h"
#include "tests/support/program_run.h"
#include "tests/support/temp_dir.h"
#include "tests/support/wave_files.h"

namespace {

using testsupport::Bytes;
using testsupport::ProcessOptions;
using testsupport::ProcessResult;
using testsupport::TempDir;
using testsupport::expectCleanExit;
using testsupport::runPcmwrapIn;
namespace fs = std::filesystem;

const std::string k16BitSettings = "bits: <16>, rate: <44100>, channels: <1>\n";

// Waits up to ten seconds for the condition.
bool eventually(const std::function<bool()>& condition)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

std::string descriptorTarget(pid_t pid, int descriptor)
{
    std::error_code error;
    return fs::read_symlink("/proc/" + std::to_string(pid) + "/fd/" + std::to_string(descriptor), error).string();
}

// pcmwrap -b16 take.raw from a FIFO: the dump's first bytes make the program create its
// output; then `meanwhile` acts on the running program, and the rest of the dump follows.
ProcessResult convertFromFifo(const TempDir& dir, const Bytes& dump, ProcessOptions options,
                              const std::function<void(testsupport::ChildProcess&)>& meanwhile)
{
    options.workingDirectory = dir.path().string();
    testsupport::ChildProcess child(PCMWRAP_PROGRAM, {"-b16", "take.raw"}, options);
    const int fifo = testsupport::openFifoForWriting(dir.file("take.raw"));
    EXPECT_GE(fifo, 0);
    constexpr std::size_t kFirstBytes = 100;
    EXPECT_EQ(write(fifo, dump.data(), kFirstBytes), static_cast<ssize_t>(kFirstBytes));
    EXPECT_TRUE(eventually([&] { return testsupport::fileExists(dir.file("take.wav")); }));
    meanwhile(child);
    EXPECT_EQ(write(fifo, dump.data() + kFirstBytes, dump.size() - kFirstBytes),
              static_cast<ssize_t>(dump.size() - kFirstBytes));
    close(fifo);
    return child.wait(std::chrono::seconds(10));
}

TEST(RunConditions, ClosedStandardDescriptorsAreOpenedOnDevNull)
{
    TempDir dir;
    ASSERT_EQ(mkfifo(dir.file("take.raw").c_str(), 0600), 0);
    const Bytes dump = testsupport::randomBytes(20000, 61);
    ProcessOptions options;
    options.closedDescriptors = {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO};
    const ProcessResult result = convertFromFifo(dir, dump, options, [](testsupport::ChildProcess& child) {
        for (int descriptor = 0; descriptor <= 2; ++descriptor) {
            EXPECT_EQ(descriptorTarget(child.pid(), descriptor), "/dev/null") << descriptor;
        }
    });
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(testsupport::readFile(dir.file("take.wav")),
              testsupport::expectedPcmWave({1, 44100, 16, 2, 88200}, 10000, testsupport::reversedSamples(dump, 2)));
}

TEST(RunConditions, SignalsIgnoredAtStartStayIgnored)
{
    TempDir dir;
    ASSERT_EQ(mkfifo(dir.file("take.raw").c_str(), 0600), 0);
    const Bytes dump = testsupport::randomBytes(20000, 62);
    ProcessOptions options;
    options.ignoredSignals = {SIGHUP};
    const ProcessResult result =
        convertFromFifo(dir, dump, options, [](testsupport::ChildProcess& child) { child.sendSignal(SIGHUP); });
    EXPECT_EQ(result.standardOutput, k16BitSettings + "take.raw ->  take.wav\n");
    expectCleanExit(result, 0);
    EXPECT_EQ(testsupport::readFile(dir.file("take.wav")),
              testsupport::expectedPcmWave({1, 44100, 16, 2, 88200}, 10000, testsupport::reversedSamples(dump, 2)));
}

TEST(RunConditions, AnOutputThatIsNotARegularFileIsRefusedUntouched)
{
    const std::vector<std::pair<std::string, std::function<void(const std::string&)>>> kinds = {
        {"FIFO", [](const std::string& name) { ASSERT_EQ(mkfifo(name.c_str(), 0600), 0); }},
        {"directory", [](const std::string& name) { fs::create_directory(name); }},
        {"device", [](const std::string& name) { fs::create_symlink("/dev/null", name); }},
        {"socket",
         [](const std::string& name) {
             const int listening = socket(AF_UNIX, SOCK_STREAM, 0);
             sockaddr_un address{};
             address.sun_family = AF_UNIX;
             name.copy(address.sun_path, sizeof address.sun_path - 1);
             ASSERT_EQ(bind(listening, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
             close(listening);
         }},
    };
    for (const auto& [kind, make] : kinds) {
        SCOPED_TRACE(kind);
        TempDir dir;
        testsupport::writeFile(dir.file("take.raw"), testsupport::randomBytes(100, 63));
        testsupport::writeFile(dir.file("next.raw"), testsupport::randomBytes(100, 64));
        make(dir.file("take.wav"));
        const auto typeBefore = fs::symlink_status(dir.path() / "take.wav").type();
        ProcessOptions options;
        options.workingDirectory = dir.path().string();
        testsupport::ChildProcess child(PCMWRAP_PROGRAM, {"-b16", "take.raw", "next.raw"}, options);
        const ProcessResult result = child.wait(std::chrono::seconds(10));
        EXPECT_EQ(result.standardOutput, k16BitSettings +
                                             "take.raw ->  take.wav\nError creating <take.wav>: not a regular file\n\n"
                                             "next.raw ->  next.wav\n");
        expectCleanExit(result, 1);
        EXPECT_EQ(fs::symlink_status(dir.path() / "take.wav").type(), typeBefore);
        EXPECT_EQ(fs::file_size(dir.path() / "next.wav"), 156u);
    }
}

TEST(RunConditions, AFailedOutputIsSettledThroughItsDescriptorNotItsName)
{
    TempDir dir;
    ASSERT_EQ(mkfifo(dir.file("take.raw").c_str(), 0600), 0);
    const Bytes dump = testsupport::randomBytes(40000, 65);
    const Bytes stranger = testsupport::randomBytes(300, 66);
    ProcessOptions options;
    options.fileSizeLimit = 20000;
    // The output is renamed while it is written, and another file takes its name.
    const ProcessResult result = convertFromFifo(dir, dump, options, [&](testsupport::ChildProcess&) {
        fs::rename(dir.path() / "take.wav", dir.path() / "moved.wav");
        testsupport::writeFile(dir.file("take.wav"), stranger);
    });
    EXPECT_EQ(result.standardOutput, k16BitSettings + "take.raw ->  take.wav\nError writing to <take.wav>, code <262>\n\n");
    expectCleanExit(result, 6);
    EXPECT_EQ(testsupport::readFile(dir.file("take.wav")), stranger);
    // The written file is settled: 20000 bytes, of which 19944 data bytes, 9972 frames.
    const Bytes converted = testsupport::reversedSamples(dump, 2);
    const ProcessResult python = testsupport::runPython(testsupport::kPythonWaveReader, {dir.file("moved.wav")});
    EXPECT_EQ(python.standardOutput,
              "1 2 44100 9972\n" + testsupport::hexOf(Bytes(converted.begin(), converted.begin() + 19944)))
        << python.standardError;
}

TEST(RunConditions, TheSettingsAreJudgedBeforeAnyRefusalOfTheOutput)
{
    TempDir dir;
    testsupport::writeFile(dir.file("self.wav"), testsupport::randomBytes(100, 67));
    testsupport::writeFile(dir.file("take.raw"), testsupport::randomBytes(100, 68));
    ASSERT_EQ(mkfifo(dir.file("take.wav").c_str(), 0600), 0);
    for (const std::string input : {"self.wav", "take.raw"}) {
        const ProcessResult result = runPcmwrapIn(dir, {"-b8", input});
        const std::string output = input.substr(0, input.find('.')) + ".wav";
        EXPECT_EQ(result.standardOutput, "bits: <8>, rate: <44100>, channels: <1>\n" + input + " ->  " + output +
                                             "\nbits per sample must be either 16 or 24 but were: <8>\n");
        expectCleanExit(result, 2);
    }
}

}  // namespace
