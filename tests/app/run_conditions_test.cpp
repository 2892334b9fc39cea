// The converter in the conditions real runs meet: standard descriptors closed, an output
// name that is a FIFO, a device or a directory, an output renamed while it is written,
// signals ignored by nohup, a mistaken option beside a refused output.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <functional>
#include <thread>

#include "tests/support/expected_wave.h"
#include "tests/support/fifo_writer.h"
#include "tests/support/file_bytes.h"
#include "tests/support/program_run.h"
#include "tests/support/wave_files.h"

namespace {

using testsupport::Bytes;
using testsupport::ChildProcess;
using testsupport::ProcessOptions;
using testsupport::ProcessResult;
using testsupport::TempDir;
namespace fs = std::filesystem;

const std::string k16BitSettings = "bits: <16>, rate: <44100>, channels: <1>\n";

// pcmwrap -b16 take.raw from a FIFO: the dump's first bytes make the program create its
// output; then `meanwhile` acts on the running program, and the rest of the dump follows.
ProcessResult convertFromFifo(const TempDir& dir, const Bytes& dump, ProcessOptions options,
                              const std::function<void(ChildProcess&)>& meanwhile)
{
    EXPECT_EQ(mkfifo(dir.file("take.raw").c_str(), 0600), 0);
    options.workingDirectory = dir.path().string();
    ChildProcess child(PCMWRAP_PROGRAM, {"-b16", "take.raw"}, options);
    const int fifo = testsupport::openFifoForWriting(dir.file("take.raw"));
    EXPECT_EQ(write(fifo, dump.data(), 100), 100);
    for (int wait = 0; wait < 1000 && !testsupport::fileExists(dir.file("take.wav")); ++wait) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    meanwhile(child);
    EXPECT_EQ(write(fifo, dump.data() + 100, dump.size() - 100), static_cast<ssize_t>(dump.size() - 100));
    close(fifo);
    return child.wait(std::chrono::seconds(10));
}

Bytes expected16BitMono(const Bytes& dump)
{
    return testsupport::expectedPcmWave({1, 44100, 16, 2, 88200}, static_cast<std::uint32_t>(dump.size() / 2),
                                        testsupport::reversedSamples(dump, 2));
}

TEST(RunConditions, ClosedStandardDescriptorsAreOpenedOnDevNull)
{
    TempDir dir;
    const Bytes dump = testsupport::randomBytes(20000, 61);
    ProcessOptions options;
    options.closedDescriptors = {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO};
    const ProcessResult result = convertFromFifo(dir, dump, options, [](ChildProcess& child) {
        for (const char* descriptor : {"0", "1", "2"}) {
            const fs::path link = "/proc/" + std::to_string(child.pid()) + "/fd/" + descriptor;
            EXPECT_EQ(fs::read_symlink(link), "/dev/null") << descriptor;
        }
    });
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(testsupport::readFile(dir.file("take.wav")), expected16BitMono(dump));
}

TEST(RunConditions, SignalsIgnoredAtStartStayIgnored)
{
    TempDir dir;
    const Bytes dump = testsupport::randomBytes(20000, 62);
    ProcessOptions options;
    options.ignoredSignals = {SIGHUP};
    const ProcessResult result = convertFromFifo(dir, dump, options, [](ChildProcess& child) { child.sendSignal(SIGHUP); });
    EXPECT_EQ(result.standardOutput, k16BitSettings + "take.raw ->  take.wav\n");
    testsupport::expectCleanExit(result, 0);
    EXPECT_EQ(testsupport::readFile(dir.file("take.wav")), expected16BitMono(dump));
}

TEST(RunConditions, AnOutputThatIsNotARegularFileIsRefusedUntouched)
{
    const std::vector<std::function<void(const std::string&)>> makers = {
        [](const std::string& name) { ASSERT_EQ(mkfifo(name.c_str(), 0600), 0); },
        [](const std::string& name) { fs::create_directory(name); },
        [](const std::string& name) { fs::create_symlink("/dev/null", name); }};
    for (const auto& make : makers) {
        TempDir dir;
        testsupport::writeFile(dir.file("take.raw"), testsupport::randomBytes(100, 63));
        testsupport::writeFile(dir.file("next.raw"), testsupport::randomBytes(100, 64));
        make(dir.file("take.wav"));
        const auto kind = fs::symlink_status(dir.path() / "take.wav").type();
        ProcessOptions options;
        options.workingDirectory = dir.path().string();
        // A time limit: such an output used to hold the program for good.
        const ProcessResult result =
            ChildProcess(PCMWRAP_PROGRAM, {"-b16", "take.raw", "next.raw"}, options).wait(std::chrono::seconds(10));
        EXPECT_EQ(result.standardOutput, k16BitSettings +
                                             "take.raw ->  take.wav\nError creating <take.wav>: not a regular file\n\n"
                                             "next.raw ->  next.wav\n");
        testsupport::expectCleanExit(result, 1);
        EXPECT_EQ(fs::symlink_status(dir.path() / "take.wav").type(), kind);
        EXPECT_TRUE(testsupport::fileExists(dir.file("next.wav")));
    }
}

TEST(RunConditions, AFailedOutputIsSettledThroughItsDescriptorNotItsName)
{
    TempDir dir;
    const Bytes dump = testsupport::randomBytes(40000, 65);
    const Bytes stranger = testsupport::randomBytes(300, 66);
    ProcessOptions options;
    options.fileSizeLimit = 20000;
    // The output is renamed while it is written, and another file takes its name.
    const ProcessResult result = convertFromFifo(dir, dump, options, [&](ChildProcess&) {
        fs::rename(dir.path() / "take.wav", dir.path() / "moved.wav");
        testsupport::writeFile(dir.file("take.wav"), stranger);
    });
    EXPECT_EQ(result.standardOutput, k16BitSettings + "take.raw ->  take.wav\nError writing to <take.wav>, code <262>\n\n");
    testsupport::expectCleanExit(result, 6);
    EXPECT_EQ(testsupport::readFile(dir.file("take.wav")), stranger);
    // Settled over the 19944 data bytes of its 20000: 9972 frames.
    const Bytes converted = testsupport::reversedSamples(dump, 2);
    const ProcessResult python = testsupport::runPython(testsupport::kPythonWaveReader, {dir.file("moved.wav")});
    EXPECT_EQ(python.standardOutput, "1 2 44100 9972\n" + testsupport::hexOf(Bytes(converted.begin(), converted.begin() + 19944)));
}

TEST(RunConditions, TheSettingsAreJudgedBeforeAnyRefusalOfTheOutput)
{
    TempDir dir;
    testsupport::writeFile(dir.file("self.wav"), testsupport::randomBytes(100, 67));
    testsupport::writeFile(dir.file("take.raw"), testsupport::randomBytes(100, 68));
    ASSERT_EQ(mkfifo(dir.file("take.wav").c_str(), 0600), 0);
    for (const std::string input : {"self.wav", "take.raw"}) {
        const ProcessResult result = testsupport::runPcmwrapIn(dir, {"-b8", input});
        const std::string output = input.substr(0, input.find('.')) + ".wav";
        EXPECT_EQ(result.standardOutput, "bits: <8>, rate: <44100>, channels: <1>\n" + input + " ->  " + output +
                                             "\nbits per sample must be either 16 or 24 but were: <8>\n");
        testsupport::expectCleanExit(result, 2);
    }
}

}  // namespace
