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
              "f32.raw: 32-bit float big-endian stereo (pcmwrap cannot convert it)\n");
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
        R"("command":"pcmwrap -l -b16 take2.raw","margin":[0-9]+\.[0-9][0-9]\}
)"
        R"(\{"file":"f32.raw","result":"format","bits":32,"encoding":"float","byte_order":"big","channels":2,)"
        R"("command":null,"margin":[0-9]+\.[0-9][0-9]\}
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
