// The built program as a user meets it: what it prints, byte for byte, and its status.

#include <gtest/gtest.h>

#include <filesystem>

#include "convert/chunk.h"
#include "tests/support/file_bytes.h"
#include "tests/support/process.h"
#include "tests/support/program_run.h"
#include "tests/support/temp_dir.h"

namespace {

using testsupport::ProcessResult;
using testsupport::TempDir;
using testsupport::expectCleanExit;
using testsupport::runPcmwrapIn;

const std::string kUsage = "\npcmwrap [-r<rate>] [-b<bits per sample>] [-c<channels>] infile\n";

TEST(PcmwrapProgram, UsageWhenNoFileNameOrOnQuestionMark)
{
    TempDir dir;
    testsupport::writeFile(dir.file("take.raw"), testsupport::randomBytes(100, 1));
    const std::vector<std::vector<std::string>> usageCases = {
        {}, {"-b16", "-c2"}, {"-?"}, {"-?", "take.raw"}, {"-b16", "-?", "-c2", "take.raw"}, {"-x"}};
    for (const auto& arguments : usageCases) {
        const ProcessResult result = runPcmwrapIn(dir, arguments);
        EXPECT_EQ(result.standardOutput, kUsage) << testing::PrintToString(arguments);
        expectCleanExit(result, 0);
    }
    // Nothing was created beside the one dump.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
}

TEST(PcmwrapProgram, OptionsAfterTheFirstNameAreFileNames)
{
    TempDir dir;
    const ProcessResult result = runPcmwrapIn(dir, {"-b16", "take.raw", "-c2"});
    EXPECT_EQ(result.standardOutput,
              "bits: <16>, rate: <44100>, channels: <1>\n"
              "take.raw ->  take.wav\n"
              "Error opening <take.raw>\n"
              "-c2 ->  -c2.wav\n"
              "Error opening <-c2>\n");
    expectCleanExit(result, 1);
}

TEST(PcmwrapProgram, EveryPairIsAnnouncedAndUnopenableInputsAreSkipped)
{
    TempDir dir;
    for (std::size_t size : {std::size_t{0}, kChunkBytes, kChunkBytes + 1, std::size_t{100'000}}) {
        testsupport::writeFile(dir.file("dump" + std::to_string(size) + ".raw"), testsupport::randomBytes(size, 5));
    }
    std::filesystem::create_directory(dir.path() / "folder.d");
    const ProcessResult result = runPcmwrapIn(dir, {"-r8000", "-c3", "dump0.raw", "missing.raw", "dump6144.raw",
                                             "folder.d", "dump6145.raw", "sub.dir/missing", "dump100000.raw"});
    EXPECT_EQ(result.standardOutput,
              "bits: <24>, rate: <8000>, channels: <3>\n"
              "dump0.raw ->  dump0.wav\n"
              "missing.raw ->  missing.wav\n"
              "Error opening <missing.raw>\n"
              "dump6144.raw ->  dump6144.wav\n"
              "folder.d ->  folder.wav\n"
              "Error opening <folder.d>\n"
              "dump6145.raw ->  dump6145.wav\n"
              "sub.dir/missing ->  sub.dir/missing.wav\n"
              "Error opening <sub.dir/missing>\n"
              "dump100000.raw ->  dump100000.wav\n");
    expectCleanExit(result, 1);
    // Only the pairs whose input opened have an output file.
    for (const char* made : {"dump0.wav", "dump6144.wav", "dump6145.wav", "dump100000.wav"}) {
        EXPECT_TRUE(testsupport::fileExists(dir.file(made))) << made;
    }
    EXPECT_FALSE(testsupport::fileExists(dir.file("missing.wav")));
    EXPECT_FALSE(testsupport::fileExists(dir.file("folder.wav")));
    EXPECT_FALSE(testsupport::fileExists(dir.file("sub.dir/missing.wav")));
}

}  // namespace
