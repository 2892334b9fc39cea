// The converter as shell scripts use it (pcmwrap *.raw && rm *.raw, find -exec pcmwrap {} +):
// a pair that is not converted never reads as success, no output lands on a file the run
// reads or wrote before, and a file left behind by a failure or a signal stays readable.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/expected_wave.h"
#include "tests/support/file_bytes.h"
#include "tests/support/process.h"
#include "tests/support/program_run.h"
#include "tests/support/temp_dir.h"
#include "tests/support/wave_files.h"

namespace {

using testsupport::Bytes;
using testsupport::ProcessResult;
using testsupport::TempDir;
using testsupport::expectCleanExit;
using testsupport::runPcmwrapIn;
namespace fs = std::filesystem;

const std::string kDefaultSettings = "bits: <24>, rate: <44100>, channels: <1>\n";

TEST(ScriptSafety, OutputNamesComeFromTheLastPathComponent)
{
    TempDir dir;
    fs::create_directories(dir.path() / "work/dumps.old");
    fs::create_directories(dir.path() / "d");
    const std::vector<std::string> inputs = {"./take1", "dumps.old/take1", "../d/take2", ".take", "a.b.c"};
    const std::vector<std::string> outputs = {"./take1.wav", "dumps.old/take1.wav", "../d/take2.wav", ".take.wav",
                                              "a.b.wav"};
    std::string expected = kDefaultSettings;
    for (std::size_t i = 0; i < inputs.size(); ++i) {
        testsupport::writeFile((dir.path() / "work" / inputs[i]).string(), testsupport::randomBytes(30, 40));
        expected += inputs[i] + " ->  " + outputs[i] + "\n";
    }
    testsupport::ProcessOptions options;
    options.workingDirectory = (dir.path() / "work").string();
    const ProcessResult result = testsupport::runPcmwrap(inputs, options);
    EXPECT_EQ(result.standardOutput, expected);
    expectCleanExit(result, 0);
    for (const std::string& output : outputs) {
        EXPECT_EQ(testsupport::readFile((dir.path() / "work" / output).string()),
                  testsupport::expectedPcmWave({}, 10, testsupport::reversedSamples(testsupport::randomBytes(30, 40), 3)))
            << output;
    }
    EXPECT_FALSE(testsupport::fileExists(dir.file("work/.wav")));
}

}  // namespace

TEST(ScriptSafety, RatesBelow1OrWithAByteRatePast32BitsAreRefusedBeforeAnyFileIsMade)
{
    TempDir dir;
    testsupport::writeFile(dir.file("take.raw"), testsupport::randomBytes(60, 41));
    struct Case {
        std::vector<std::string> options;
        std::string settings;
        std::string refusal;
    };
    const Case cases[] = {
        {{"-r0"}, "bits: <24>, rate: <0>, channels: <1>\n", "rate must be from 1 to <1431655765> but was: <0>\n"},
        {{"-r-5"}, "bits: <24>, rate: <-5>, channels: <1>\n", "rate must be from 1 to <1431655765> but was: <-5>\n"},
        {{"-r1431655766"}, "bits: <24>, rate: <1431655766>, channels: <1>\n",
         "rate must be from 1 to <1431655765> but was: <1431655766>\n"},
        {{"-b16", "-c2", "-r1073741824"}, "bits: <16>, rate: <1073741824>, channels: <2>\n",
         "rate must be from 1 to <1073741823> but was: <1073741824>\n"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> arguments = c.options;
        arguments.insert(arguments.end(), {"missing.raw", "take.raw", "later.raw"});
        const ProcessResult result = runPcmwrapIn(dir, arguments);
        EXPECT_EQ(result.standardOutput, c.settings + "missing.raw ->  missing.wav\nError opening <missing.raw>\n"
                                                      "take.raw ->  take.wav\n" + c.refusal);
        expectCleanExit(result, 2);
    }
    EXPECT_FALSE(testsupport::fileExists(dir.file("take.wav")));
    // The largest rate of each format is taken, and its byte rate is exact.
    expectCleanExit(runPcmwrapIn(dir, {"-b16", "-r2147483647", "take.raw"}), 0);
    EXPECT_EQ(testsupport::littleEndian32At(testsupport::readFile(dir.file("take.wav")), 28), 0xFFFFFFFEu);
}

TEST(ScriptSafety, APairThatIsNotConvertedMakesTheRunFail)
{
    TempDir dir;
    testsupport::writeFile(dir.file("take.raw"), testsupport::randomBytes(30, 42));
    ProcessResult result = runPcmwrapIn(dir, {"missing.raw", "take.raw"});
    EXPECT_EQ(result.standardOutput,
              kDefaultSettings + "missing.raw ->  missing.wav\nError opening <missing.raw>\ntake.raw ->  take.wav\n");
    expectCleanExit(result, 1);
    EXPECT_TRUE(testsupport::fileExists(dir.file("take.wav")));
    // A later failure of the wave layer still ends the run with its own status.
    fs::create_symlink("/dev/full", dir.path() / "full.wav");
    testsupport::writeFile(dir.file("full.raw"), testsupport::randomBytes(30, 42));
    result = runPcmwrapIn(dir, {"missing.raw", "full.raw", "take.raw"});
    EXPECT_EQ(result.standardOutput, kDefaultSettings + "missing.raw ->  missing.wav\nError opening <missing.raw>\n"
                                                        "full.raw ->  full.wav\nError writing to <full.wav>, code <262>\n\n");
    expectCleanExit(result, 6);
}

TEST(ScriptSafety, NoOutputOverwritesAnyInputOfTheRun)
{
    TempDir dir;
    const Bytes song = testsupport::randomBytes(300, 43);
    const Bytes wave = testsupport::randomBytes(200, 44);
    testsupport::writeFile(dir.file("song.raw"), song);
    testsupport::writeFile(dir.file("song.wav"), wave);
    const ProcessResult result = runPcmwrapIn(dir, {"song.raw", "./song.wav", "song.wav"});
    EXPECT_EQ(result.standardOutput, kDefaultSettings +
                                         "song.raw ->  song.wav\n"
                                         "Error creating <song.wav>: same file as the input <./song.wav>\n\n"
                                         "./song.wav ->  ./song.wav\n"
                                         "Error creating <./song.wav>: same file as the input\n\n"
                                         "song.wav ->  song.wav\n"
                                         "Error creating <song.wav>: same file as the input\n\n");
    expectCleanExit(result, 1);
    EXPECT_EQ(testsupport::readFile(dir.file("song.raw")), song);
    EXPECT_EQ(testsupport::readFile(dir.file("song.wav")), wave);
}

TEST(ScriptSafety, NoOutputOfTheRunIsOverwrittenByALaterPair)
{
    TempDir dir;
    const Bytes first = testsupport::randomBytes(600, 45);
    testsupport::writeFile(dir.file("take1.raw"), first);
    testsupport::writeFile(dir.file("take1.pcm"), testsupport::randomBytes(9, 46));
    testsupport::writeFile(dir.file("take1.bin"), testsupport::randomBytes(9, 47));
    const ProcessResult result = runPcmwrapIn(dir, {"take1.raw", "take1.pcm", "./take1.bin"});
    EXPECT_EQ(result.standardOutput, kDefaultSettings +
                                         "take1.raw ->  take1.wav\n"
                                         "take1.pcm ->  take1.wav\n"
                                         "Error creating <take1.wav>: already written from <take1.raw>\n\n"
                                         "./take1.bin ->  ./take1.wav\n"
                                         "Error creating <./take1.wav>: already written from <take1.raw>\n\n");
    expectCleanExit(result, 1);
    EXPECT_EQ(testsupport::readFile(dir.file("take1.wav")),
              testsupport::expectedPcmWave({}, 200, testsupport::reversedSamples(first, 3)));
}
