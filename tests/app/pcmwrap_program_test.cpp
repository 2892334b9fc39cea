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

const std::string kUsage = "\npcmwrap [-r<rate>] [-b<bits per sample>] [-c<channels>] infile...\n";
const std::string kHelp = kUsage +
                          "  -r<rate>        samples per second (default 44100)\n"
                          "  -b<bits>        bits per sample of the dumps: 16 or 24 (default 24)\n"
                          "  -c<channels>    interleaved channels (default 1)\n"
                          "  -f<format>      sample format of the dumps, instead of -b: u8, s8, s16, s24, s32,\n"
                          "                  s24in32 (24 bits in 4-byte words), f32, f64\n"
                          "  -l              the dumps hold their samples least significant byte first\n"
                          "  -s<bytes>       skip that many bytes at the start of every dump (default 0)\n"
                          "  -m<mask>        write WAVE_FORMAT_EXTENSIBLE with that speaker mask (0x hex or\n"
                          "                  decimal; 0: no positions)\n"
                          "  --md5, --loudness, --bext, --info=ID=TEXT, --metadata=FILE.csv, ...  archival\n"
                          "                  metadata in the WAVE files (see pcmwrap(1))\n"
                          "  -o<OUT>         the output of the one input (- is standard output; - as an\n"
                          "                  input is standard input)\n"
                          "  --              ends the options: every later argument is a file name\n"
                          "  -h, -?, --help  print this text\n"
                          "Exit status: 0 every file converted; 1 a file skipped or a read failed;\n"
                          "2 bits, channels or rate refused; 3 to 255 a WAVE file failed (from its code);\n"
                          "64 a bad option; 128 + N stopped by signal N.\n";

TEST(PcmwrapProgram, UsageWithoutAFileNameAndHelpOnRequest)
{
    TempDir dir;
    testsupport::writeFile(dir.file("take.raw"), testsupport::randomBytes(100, 1));
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{}, kUsage},
        {{"-b16", "-c2"}, kUsage},
        {{"-l", "--"}, kUsage},
        {{"-?"}, kHelp},
        {{"-?x", "take.raw"}, kHelp},
        {{"-b16", "-h", "-c2", "take.raw"}, kHelp},
        {{"--help", "take.raw"}, kHelp}};
    for (const auto& [arguments, printed] : cases) {
        const ProcessResult result = runPcmwrapIn(dir, arguments);
        EXPECT_EQ(result.standardOutput, printed) << testing::PrintToString(arguments);
        expectCleanExit(result, 0);
    }
    // Nothing was created beside the one dump.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
}

TEST(PcmwrapProgram, AnUnknownOptionOrAValueNotAWholeNumberStopsBeforeAnyFile)
{
    TempDir dir;
    testsupport::writeFile(dir.file("take.raw"), testsupport::randomBytes(100, 1));
    const std::string whole = ">: a whole number is needed";
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"-r48k"}, "Bad value in <-r48k" + whole},
        {{"-b16x"}, "Bad value in <-b16x" + whole},
        {{"-r", "44100"}, "Bad value in <-r" + whole},
        {{"-c+"}, "Bad value in <-c+" + whole},
        {{"-c 2"}, "Bad value in <-c 2" + whole},
        {{"-r4000000000"}, "Bad value in <-r4000000000" + whole},
        {{"-r-2147483649"}, "Bad value in <-r-2147483649" + whole},
        {{"-B16"}, "Unknown option <-B16>"},
        {{"-b16", "-x"}, "Unknown option <-x>"},
        {{"-"}, "Standard input needs -o<OUT>"},
        {{"-o"}, "Bad value in <-o>: a file name is needed"},
        {{"-oout.wav", "a.raw", "b.raw"}, "Bad value in <-oout.wav>: -o names the output of one input file"},
        {{"-lx"}, "Unknown option <-lx>"},
        {{"-help"}, "Unknown option <-help>"},
        {{"-n1.raw"}, "Unknown option <-n1.raw>"}};
    for (const auto& [arguments, message] : cases) {
        std::vector<std::string> withFile = arguments;
        withFile.push_back("take.raw");
        const ProcessResult result = runPcmwrapIn(dir, withFile);
        EXPECT_EQ(result.standardOutput, message + "\n" + kUsage) << testing::PrintToString(withFile);
        expectCleanExit(result, 64);
    }
    EXPECT_FALSE(testsupport::fileExists(dir.file("take.wav")));
}

TEST(PcmwrapProgram, DoubleMinusMakesTheNextArgumentsFileNames)
{
    TempDir dir;
    testsupport::writeFile(dir.file("-n1.raw"), testsupport::randomBytes(100, 1));
    const ProcessResult result = runPcmwrapIn(dir, {"-b16", "--", "-n1.raw"});
    EXPECT_EQ(result.standardOutput, "bits: <16>, rate: <44100>, channels: <1>\n-n1.raw ->  -n1.wav\n");
    expectCleanExit(result, 0);
    EXPECT_EQ(std::filesystem::file_size(dir.path() / "-n1.wav"), 156u);
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
