// An output is emptied only when it holds bytes: on ext4 a truncation to zero makes the
// close write the whole new file back, so a new output must not be truncated at all.
// Seen through a preloaded ftruncate that always fails: the run then fails exactly when
// the program tries to empty the file.

#include <gtest/gtest.h>

#include <string>

#include "tests/support/file_bytes.h"
#include "tests/support/program_run.h"

namespace {

using namespace testsupport;

struct TruncationCase {
    const char* what;
    bool outputExists;
    std::size_t outputBytes;
    int status;
    bool emptied;  // whether the output must have been truncated (and so refused here)
};

class OutputTruncation : public testing::TestWithParam<TruncationCase> {};

TEST_P(OutputTruncation, EmptiesOnlyAFileThatHoldsBytes)
{
    const TruncationCase& c = GetParam();
    const TempDir dir;
    writeFile(dir.file("take.raw"), randomBytes(600, 5));
    const Bytes old = randomBytes(c.outputBytes, 6);
    if (c.outputExists) {
        writeFile(dir.file("take.wav"), old);
    }
    ProcessOptions options;
    options.workingDirectory = dir.path().string();
    options.extraEnvironment = {
        std::string("LD_PRELOAD=") + PCMWRAP_REFUSING_TRUNCATE_LIBRARY,
        // The preloaded library comes before the sanitizer runtime of the test build.
        "ASAN_OPTIONS=verify_asan_link_order=0:detect_leaks=1",
    };
    const ProcessResult result = runPcmwrap({"-b16", "take.raw"}, options);

    expectCleanExit(result, c.status);
    std::string expected = "bits: <16>, rate: <44100>, channels: <1>\ntake.raw ->  take.wav\n";
    if (c.emptied) {
        expected += "Error creating <take.wav>, code <57604>\n\n";
        EXPECT_EQ(readFile(dir.file("take.wav")), old) << "a refused output keeps its bytes";
    } else {
        EXPECT_EQ(readFile(dir.file("take.wav")).size(), 56u + 600u);
    }
    EXPECT_EQ(result.standardOutput, expected);
}

INSTANTIATE_TEST_SUITE_P(Outputs, OutputTruncation,
                         testing::Values(TruncationCase{"new", false, 0, 0, false},
                                         TruncationCase{"empty", true, 0, 0, false},
                                         TruncationCase{"nonEmpty", true, 100, 4, true}),
                         [](const testing::TestParamInfo<TruncationCase>& info) { return info.param.what; });

}  // namespace
