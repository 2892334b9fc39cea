// An input whose disk fails in the middle of the file: the stream breaks, the output in
// progress is finished with what was read before, the failure is reported with status 1,
// and no later pair is started.

#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/expected_wave.h"
#include "tests/support/file_bytes.h"
#include "tests/support/process.h"
#include "tests/support/program_run.h"
#include "tests/support/temp_dir.h"
#include "tests/support/wave_files.h"

using namespace testsupport;

TEST(ReadFailure, AnInputThatFailsMidwayEndsTheRunWithItsDataSoFarFinished)
{
    TempDir dir;
    const Bytes dump = randomBytes(200001, 17);
    writeFile(dir.file("take.raw"), dump);
    writeFile(dir.file("next.raw"), randomBytes(6000, 18));

    ProcessOptions options;
    options.workingDirectory = dir.path().string();
    options.extraEnvironment = {
        std::string("LD_PRELOAD=") + PCMWRAP_FAILING_READ_LIBRARY,
        "PCMWRAP_FAIL_READ_PATH=" + std::filesystem::canonical(dir.file("take.raw")).string(),
        "PCMWRAP_FAIL_READ_AFTER=65536",
        // The preloaded library comes before the sanitizer runtime of the test build.
        "ASAN_OPTIONS=verify_asan_link_order=0:detect_leaks=1",
    };
    const ProcessResult result = runPcmwrap({"take.raw", "next.raw"}, options);

    expectCleanExit(result, 1);
    const std::string start = "bits: <24>, rate: <44100>, channels: <1>\ntake.raw ->  take.wav\nfailed: ";
    ASSERT_EQ(result.standardOutput.substr(0, start.size()), start) << result.standardOutput;
    EXPECT_EQ(result.standardOutput.find('\n', start.size()), result.standardOutput.size() - 1)
        << "one line of failure, then nothing: the next pair is not started";
    EXPECT_FALSE(fileExists(dir.file("next.wav")));

    // Whole chunks were written before the failure, and the file was finished around them.
    const Bytes file = readFile(dir.file("take.wav"));
    ASSERT_GE(file.size(), 56u);
    const std::uint32_t dataBytes = littleEndian32At(file, 52);
    EXPECT_GT(dataBytes, 0u);
    EXPECT_LT(dataBytes, dump.size()) << "the dump was cut short by the failing disk";
    EXPECT_EQ(dataBytes % 6144, 0u);
    const Bytes converted = reversedSamples(Bytes(dump.begin(), dump.begin() + dataBytes), 3);
    EXPECT_EQ(file, expectedPcmWave(ExpectedPcmFormat{}, dataBytes / 3, converted));

    const ProcessResult python = runPython(kPythonWaveReader, {dir.file("take.wav")});
    ASSERT_EQ(python.exitStatus, 0) << python.standardError;
    EXPECT_EQ(python.standardOutput, "1 3 44100 " + std::to_string(dataBytes / 3) + "\n" + hexOf(converted));
}
