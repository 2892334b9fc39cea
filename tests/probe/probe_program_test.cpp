// pcmwrap-probe as a program: one line per file, text or JSON, and the exit status.

#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "tests/probe/generated_dumps.h"
#include "tests/support/file_bytes.h"
#include "tests/support/process.h"
#include "tests/support/program_run.h"
#include "tests/support/temp_dir.h"

namespace {

using pcmwrap::probe::ByteOrder;
using pcmwrap::probe::Encoding;

class ProbeProgram : public testing::Test {
protected:
    ProbeProgram()
    {
        write("take1.raw", probetest::generatedDump({.bits = 24, .channels = 2}));
        write("take2.raw", probetest::generatedDump({.byteOrder = ByteOrder::kLittle}));
        write("-odd name.raw", probetest::generatedDump({.channels = 6}));
        write("f32.raw", probetest::generatedDump({.bits = 32, .encoding = Encoding::kFloat, .channels = 2}));
        testsupport::Bytes wave;
        testsupport::appendText(wave, "RIFF");
        testsupport::appendLittleEndian32(wave, 4);
        testsupport::appendText(wave, "WAVE");
        write("take4.wav", wave);
        write("noise.raw", testsupport::randomBytes(100000, 5));
        write("silence.raw", testsupport::Bytes(4000, 0));
        write("empty.raw", {});
    }

    void write(const std::string& name, const testsupport::Bytes& bytes) const
    {
        testsupport::writeFile(dir_.file(name), bytes);
    }

    testsupport::ProcessResult run(const std::vector<std::string>& arguments) const
    {
        testsupport::ProcessOptions options;
        options.workingDirectory = dir_.path().string();
        return testsupport::runProcess(PCMWRAP_PROBE_PROGRAM, arguments, options);
    }

    testsupport::TempDir dir_;
};

TEST_F(ProbeProgram, PrintsALinePerFileAndTheCommandThatConvertsIt)
{
    const auto result = run({"take1.raw", "take2.raw", "-odd name.raw", "f32.raw"});
    testsupport::expectCleanExit(result, 0);
    EXPECT_EQ(result.standardOutput,
              "take1.raw: 24-bit big-endian stereo -> pcmwrap -b24 -c2 take1.raw\n"
              "take2.raw: 16-bit little-endian mono -> pcmwrap -l -b16 take2.raw\n"
              "-odd name.raw: 16-bit big-endian 6 channels -> pcmwrap -b16 -c6 './-odd name.raw'\n"
              "f32.raw: 32-bit float big-endian stereo -> pcmwrap -ff32 -c2 f32.raw\n");
}

TEST_F(ProbeProgram, SaysWhyThereIsNoFormat)
{
    const auto result = run({"take4.wav", "noise.raw", "silence.raw", "empty.raw", "missing.raw"});
    testsupport::expectCleanExit(result, 2);
    EXPECT_EQ(result.standardOutput,
              "take4.wav: container: RIFF WAVE\n"
              "noise.raw: unclear (no format fits)\n"
              "silence.raw: silent\n"
              "empty.raw: empty\n"
              "missing.raw: error: No such file or directory\n");
}

TEST_F(ProbeProgram, JsonLinesCarryTheKeys)
{
    const auto result = run({"--json", "take2.raw", "f32.raw", "take4.wav", "noise.raw", "silence.raw", "missing.raw"});
    testsupport::expectCleanExit(result, 2);
    const std::regex expected(
        R"(\{"file":"take2.raw","result":"format","bits":16,"encoding":"signed","byte_order":"little","channels":1,)"
        R"("sample_format":"s16","command":"pcmwrap -l -b16 take2.raw","margin":[0-9]+\.[0-9][0-9]\}
)"
        R"(\{"file":"f32.raw","result":"format","bits":32,"encoding":"float","byte_order":"big","channels":2,)"
        R"("sample_format":"f32","command":"pcmwrap -ff32 -c2 f32.raw","margin":[0-9]+\.[0-9][0-9]\}
)"
        R"(\{"file":"take4.wav","result":"container","container":"RIFF WAVE"\}
)"
        R"(\{"file":"noise.raw","result":"unclear","candidates":\[\],"note":"no format fits"\}
)"
        R"(\{"file":"silence.raw","result":"silent"\}
)"
        R"(\{"file":"missing.raw","result":"error","message":"No such file or directory"\}
)");
    EXPECT_TRUE(std::regex_match(result.standardOutput, expected)) << result.standardOutput;
}

// 0 when every file got a format, 1 when one could not be read, 2 for no format; the
// higher wins.
TEST_F(ProbeProgram, ExitStatusTheHigherWins)
{
    const struct {
        std::vector<std::string> files;
        int status;
    } cases[] = {
        {{"take1.raw", "take2.raw"}, 0},
        {{"take1.raw", "missing.raw"}, 1},
        {{"missing.raw", "silence.raw", "take1.raw"}, 2},
        {{"empty.raw"}, 2},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(run(c.files).exitStatus, c.status) << c.files.front();
    }
}

// Every format the probe tells has its command, in the names of pcmwrap's -f, with -s for
// stray bytes before the samples.
TEST_F(ProbeProgram, EveryFormatHasItsCommand)
{
    testsupport::Bytes stray(1, 0x5A);
    const auto sound = probetest::generatedDump({.channels = 2});
    stray.insert(stray.end(), sound.begin(), sound.end());
    write("stray.raw", stray);
    write("u8.raw", probetest::generatedDump({.bits = 8, .encoding = Encoding::kUnsigned, .channels = 3}));
    write("s32.raw", probetest::generatedDump({.bits = 32, .byteOrder = ByteOrder::kLittle}));
    write("s24in32.raw", probetest::generatedSignExtendedDump({.bits = 24, .byteOrder = ByteOrder::kLittle, .channels = 2}));
    write("s8.raw", probetest::generatedDump({.bits = 8, .channels = 2}));
    write("f64.raw", probetest::generatedDump({.bits = 64, .encoding = Encoding::kFloat, .byteOrder = ByteOrder::kLittle, .channels = 2}));
    const auto result = run({"stray.raw", "u8.raw", "s32.raw", "s24in32.raw", "s8.raw", "f64.raw"});
    testsupport::expectCleanExit(result, 0);
    EXPECT_EQ(result.standardOutput,
              "stray.raw: 16-bit big-endian stereo after 1 stray byte -> pcmwrap -b16 -c2 -s1 stray.raw\n"
              "u8.raw: 8-bit unsigned 3 channels -> pcmwrap -fu8 -c3 u8.raw\n"
              "s32.raw: 32-bit integer little-endian mono -> pcmwrap -fs32 -l s32.raw\n"
              "s24in32.raw: 24-bit in 32-bit words little-endian stereo -> pcmwrap -fs24in32 -l -c2 s24in32.raw\n"
              "s8.raw: 8-bit signed stereo -> pcmwrap -fs8 -c2 s8.raw\n"
              "f64.raw: 64-bit float little-endian stereo -> pcmwrap -ff64 -l -c2 f64.raw\n");
    const auto json = run({"--json", "stray.raw", "s8.raw", "f64.raw"});
    for (const std::string expected :
         {R"("channels":2,"offset":1,"sample_format":"s16","command":"pcmwrap -b16 -c2 -s1 stray.raw")",
          R"("file":"s8.raw","result":"format","bits":8,"encoding":"signed","channels":2,"sample_format":"s8","command":"pcmwrap -fs8 -c2 s8.raw")",
          R"("file":"f64.raw","result":"format","bits":64,"encoding":"float","byte_order":"little","channels":2,"sample_format":"f64","command":"pcmwrap -ff64 -l -c2 f64.raw")"}) {
        EXPECT_NE(json.standardOutput.find(expected), std::string::npos) << json.standardOutput;
    }
}

// "-" is standard input, here a real pipe: read up to the budget and answered for "-".
TEST_F(ProbeProgram, StandardInputThroughAPipe)
{
    testsupport::ProcessOptions options;
    options.workingDirectory = dir_.path().string();
    const auto result = testsupport::runProcess(
        "/bin/sh", {"-c", "cat take1.raw | \"$0\" - take2.raw && \"$0\" --json - < empty.raw", PCMWRAP_PROBE_PROGRAM},
        options);
    EXPECT_EQ(result.standardOutput,
              "-: 24-bit big-endian stereo -> pcmwrap -b24 -c2 -o- -\n"
              "take2.raw: 16-bit little-endian mono -> pcmwrap -l -b16 take2.raw\n"
              "{\"file\":\"-\",\"result\":\"empty\"}\n");
    EXPECT_EQ(result.exitStatus, 2);
}

TEST_F(ProbeProgram, UsageAndUnknownOptions)
{
    const std::string usage = "pcmwrap-probe [--json] file...\n";
    auto result = run({});
    testsupport::expectCleanExit(result, 0);
    EXPECT_EQ(result.standardOutput, usage);
    result = run({"-x", "take1.raw"});
    testsupport::expectCleanExit(result, 64);
    EXPECT_EQ(result.standardOutput, "Unknown option <-x>\n" + usage);
}

}  // namespace
