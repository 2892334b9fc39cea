// The converter in pipelines: standard input and output through real pipes, a FIFO named
// by -o, the streamed header of a dump of unknown length, the refusals of a terminal, a
// reader that goes away, and a file named by -o for a dump read from a pipe.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <string>
#include <thread>

#include "tests/support/expected_wave.h"
#include "tests/support/file_bytes.h"
#include "tests/support/process.h"
#include "tests/support/program_run.h"
#include "tests/support/temp_dir.h"

namespace {

using testsupport::Bytes;
using testsupport::ProcessResult;
using testsupport::TempDir;

const std::string kStereo16 = "bits: <16>, rate: <44100>, channels: <2>\n";
const testsupport::ExpectedPcmFormat kStereo16Format{2, 44100, 16, 4, 176400};

// A shell command line run in the folder, with the built converter as $P.
ProcessResult shell(const TempDir& dir, const std::string& command)
{
    testsupport::ProcessOptions options;
    options.workingDirectory = dir.path().string();
    options.extraEnvironment = {std::string("P=") + PCMWRAP_PROGRAM, std::string("U=") + PCMWRAP_UNDER_CEILING_PROGRAM};
    return testsupport::runProcess("/bin/sh", {"-c", command}, options);
}

// The header a stream of unknown length gets: every size all ones.
Bytes streamedStereo16(const Bytes& data)
{
    Bytes file = testsupport::expectedPcmWave(kStereo16Format, 0xFFFFFFFFu, data);
    for (const std::size_t field : {4u, 52u}) {
        file[field] = file[field + 1] = file[field + 2] = file[field + 3] = 0xFF;
    }
    return file;
}

TEST(Pipeline, AStreamOfKnownLengthIsTheFileItselfAndMessagesGoToStandardError)
{
    TempDir dir;
    const Bytes dump = testsupport::randomBytes(20001, 71);
    testsupport::writeFile(dir.file("take.raw"), dump);
    const Bytes expected =
        testsupport::expectedPcmWave(kStereo16Format, 5000, testsupport::reversedSamples(dump, 2));
    // Standard output a pipe (a named input, and standard input from the file); a regular file.
    const ProcessResult piped = shell(dir, "$P -b16 -c2 -o- take.raw | cat > piped.wav");
    EXPECT_EQ(piped.standardError, kStereo16 + "take.raw ->  -\n");
    EXPECT_EQ(piped.exitStatus, 0);
    EXPECT_EQ(testsupport::readFile(dir.file("piped.wav")), expected);
    const ProcessResult redirected = shell(dir, "$P -b16 -c2 -o- - < take.raw > file.wav");
    EXPECT_EQ(redirected.standardError, kStereo16 + "- ->  -\n");
    EXPECT_EQ(redirected.exitStatus, 0);
    EXPECT_EQ(testsupport::readFile(dir.file("file.wav")), expected);
}

TEST(Pipeline, AStreamOfUnknownLengthCarriesTheStreamedSizes)
{
    TempDir dir;
    const Bytes dump = testsupport::randomBytes(30001, 72);
    testsupport::writeFile(dir.file("take.raw"), dump);
    const ProcessResult result = shell(dir, "cat take.raw | $P -b16 -c2 -o- - | cat > out.wav");
    EXPECT_EQ(result.standardError, kStereo16 + "- ->  -\n");
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(testsupport::readFile(dir.file("out.wav")), streamedStereo16(testsupport::reversedSamples(dump, 2)));
}

TEST(Pipeline, AFifoNamedByOutputIsWrittenAsAStream)
{
    TempDir dir;
    const Bytes dump = testsupport::randomBytes(6000, 73);
    testsupport::writeFile(dir.file("take.raw"), dump);
    ASSERT_EQ(mkfifo(dir.file("out.fifo").c_str(), 0600), 0);
    const ProcessResult result = shell(dir, "cat out.fifo > got.wav & $P -b16 -c2 -oout.fifo - < take.raw; wait");
    EXPECT_EQ(result.standardOutput, kStereo16 + "- ->  out.fifo\n");
    EXPECT_EQ(testsupport::readFile(dir.file("got.wav")),
              testsupport::expectedPcmWave(kStereo16Format, 1500, testsupport::reversedSamples(dump, 2)));
    // A directory named by -o is refused as before.
    ASSERT_EQ(mkdir(dir.file("folder").c_str(), 0700), 0);
    const ProcessResult refused = shell(dir, "$P -b16 -c2 -ofolder take.raw");
    EXPECT_EQ(refused.standardOutput, kStereo16 + "take.raw ->  folder\nError creating <folder>: not a regular file\n\n");
    EXPECT_EQ(refused.exitStatus, 1);
}

TEST(Pipeline, AClosedReaderEndsTheRunWithStatus141AndNothingMore)
{
    TempDir dir;
    // SIGPIPE as the shell leaves it, and ignored: either way 141 and no error line.
    for (const std::string trap : {"", "trap '' PIPE; "}) {
        const ProcessResult result = shell(
            dir, trap + "{ head -c 20000000 /dev/zero | $P -b16 -c2 -o- - 2> err.txt; echo $? > status.txt; } | head -c 10 > /dev/null");
        const Bytes status = testsupport::readFile(dir.file("status.txt"));
        EXPECT_EQ(std::string(status.begin(), status.end()), "141\n") << trap;
        const Bytes err = testsupport::readFile(dir.file("err.txt"));
        EXPECT_EQ(std::string(err.begin(), err.end()), kStereo16 + "- ->  -\n") << trap;
    }
}

TEST(Pipeline, ATerminalIsNeverAStream)
{
    TempDir dir;
    testsupport::writeFile(dir.file("take.raw"), testsupport::randomBytes(100, 74));
    // Through a pseudo-terminal: standard output for -o-, standard input for -.
    const std::string script = R"(
import os, pty, subprocess, sys
leader, follower = pty.openpty()
out = subprocess.run([sys.argv[1], '-b16', '-c2', '-o-', 'take.raw'], stdout=follower, stderr=subprocess.PIPE)
print(out.returncode, repr(out.stderr.decode()))
inp = subprocess.run([sys.argv[1], '-b16', '-c2', '-ox.wav', '-'], stdin=follower, stdout=subprocess.PIPE)
print(inp.returncode, repr(inp.stdout.decode()), os.path.exists('x.wav'))
)";
    testsupport::ProcessOptions options;
    options.workingDirectory = dir.path().string();
    const ProcessResult result = testsupport::runProcess(PCMWRAP_PYTHON, {"-c", script, PCMWRAP_PROGRAM}, options);
    EXPECT_EQ(result.standardOutput,
              "1 'bits: <16>, rate: <44100>, channels: <2>\\ntake.raw ->  -\\nError creating <->: standard output is a "
              "terminal\\n\\n'\n"
              "1 'bits: <16>, rate: <44100>, channels: <2>\\n- ->  x.wav\\nError reading <->: standard input is a "
              "terminal\\n' False\n");
}

TEST(Pipeline, ADumpThatShrinksEndsTheStreamWithAReadError)
{
    TempDir dir;
    const Bytes dump = testsupport::randomBytes(8 << 20, 75);
    testsupport::writeFile(dir.file("big.raw"), dump);
    // The pipe stalls the converter long before it reaches the first MiB; then the dump
    // loses its end, and the stream stops where the dump now ends.
    const ProcessResult result = shell(dir,
        "{ $P -b16 -c2 -o- big.raw 2> err.txt; echo $? > status.txt; } | { sleep 1; truncate -s 1000000 big.raw; cat > out.wav; }");
    const Bytes err = testsupport::readFile(dir.file("err.txt"));
    EXPECT_EQ(std::string(err.begin(), err.end()),
              kStereo16 + "big.raw ->  -\nError reading <big.raw>: the dump is shorter than when the conversion began\n");
    const Bytes status = testsupport::readFile(dir.file("status.txt"));
    EXPECT_EQ(std::string(status.begin(), status.end()), "1\n");
    const Bytes out = testsupport::readFile(dir.file("out.wav"));
    const Bytes start(dump.begin(), dump.begin() + 1000000);
    const Bytes whole = testsupport::expectedPcmWave(kStereo16Format, static_cast<std::uint32_t>(dump.size() / 4),
                                                     testsupport::reversedSamples(start, 2));
    ASSERT_EQ(out.size(), 56 + 1000000u);
    EXPECT_EQ(testsupport::littleEndian32At(out, 52), dump.size());  // the size announced at the start
    EXPECT_TRUE(std::equal(out.begin() + 56, out.end(), whole.begin() + 56));
}

TEST(Pipeline, AFileNamedByOutputForAPipeReservesDs64AndSettlesAtTheEnd)
{
    TempDir dir;
    const Bytes dump = testsupport::randomBytes(10001, 76);
    testsupport::writeFile(dir.file("take.raw"), dump);
    const Bytes data = testsupport::reversedSamples(dump, 2);
    // Small: a RIFF file with the JUNK chunk kept.
    ASSERT_EQ(shell(dir, "cat take.raw | $P -b16 -c2 -osmall.wav - > /dev/null").exitStatus, 0);
    Bytes riff = testsupport::expectedPcmWave(kStereo16Format, 2500, data);
    Bytes junk;
    testsupport::appendText(junk, "JUNK");
    testsupport::appendLittleEndian32(junk, 28);
    junk.resize(36, 0);
    riff.insert(riff.begin() + 12, junk.begin(), junk.end());
    riff[4] = static_cast<std::uint8_t>(riff[4] + 36);
    EXPECT_EQ(testsupport::readFile(dir.file("small.wav")), riff);
    // Standard output that is a regular file can seek too: the same file.
    ASSERT_EQ(shell(dir, "cat take.raw | $P -b16 -c2 -o- - > stdout.wav 2> /dev/null").exitStatus, 0);
    EXPECT_EQ(testsupport::readFile(dir.file("stdout.wav")), riff);
    // Past the RIFF limit (lowered): RF64 in place, the JUNK chunk turned into ds64.
    ASSERT_EQ(shell(dir, "cat take.raw | $U 5000 -b16 -c2 -olarge.wav - > /dev/null").exitStatus, 0);
    const Bytes large = testsupport::readFile(dir.file("large.wav"));
    ASSERT_EQ(large.size(), riff.size());
    EXPECT_EQ(std::string(large.begin(), large.begin() + 4), "RF64");
    EXPECT_EQ(testsupport::littleEndian32At(large, 4), 0xFFFFFFFFu);
    EXPECT_EQ(std::string(large.begin() + 12, large.begin() + 16), "ds64");
    EXPECT_EQ(testsupport::littleEndian32At(large, 20), riff.size() - 8);
    EXPECT_EQ(testsupport::littleEndian32At(large, 28), dump.size());
    EXPECT_EQ(testsupport::littleEndian32At(large, 36), dump.size() / 4);
    EXPECT_EQ(testsupport::littleEndian32At(large, 88), 0xFFFFFFFFu);
    EXPECT_TRUE(std::equal(large.begin() + 92, large.end(), riff.begin() + 92));
}

// sox and ffmpeg read pcmwrap's streams from a pipe, of a known and an unknown length:
// every sample equal to the dump's, turned little-endian.
TEST(Pipeline, SoxAndFfmpegReadEveryStreamSample)
{
    TempDir dir;
    const Bytes dump = testsupport::randomBytes(12 * 20001, 77);  // whole frames at both widths
    testsupport::writeFile(dir.file("take.raw"), dump);
    for (const int bits : {16, 24}) {
        const std::string b = std::to_string(bits);
        const Bytes expected = testsupport::reversedSamples(dump, static_cast<std::size_t>(bits / 8));
        const std::pair<const char*, std::string> streams[] = {
            {"known length", "$P -b" + b + " -c2 -o- take.raw 2>/dev/null"},
            {"unknown length", "cat take.raw | $P -b" + b + " -c2 -o- - 2>/dev/null"}};
        const std::pair<const char*, std::string> readers[] = {
            {"sox", std::string(PCMWRAP_SOX) + " -t wav - -t raw got.raw 2>/dev/null"},
            {"ffmpeg", std::string(PCMWRAP_FFMPEG) + " -v error -f wav -i - -f s" + b + "le -y got.raw"}};
        for (const auto& [length, stream] : streams) {
            for (const auto& [tool, reader] : readers) {
                SCOPED_TRACE(std::string(tool) + ", " + length + ", " + b + "-bit");
                ASSERT_EQ(shell(dir, stream + " | " + reader).exitStatus, 0);
                EXPECT_TRUE(testsupport::readFile(dir.file("got.raw")) == expected);
            }
        }
    }
}

// A reader that takes nothing holds the stream, but not a run asked to stop: SIGTERM ends
// it with 143 and the interruption line, while the reader still lives.
TEST(Pipeline, AStopIsNotHeldByAReaderThatTakesNothing)
{
    TempDir dir;
    testsupport::writeFile(dir.file("big.raw"), Bytes(8 << 20, 0));
    testsupport::ProcessOptions options;
    options.workingDirectory = dir.path().string();
    options.extraEnvironment = {std::string("P=") + PCMWRAP_PROGRAM};
    testsupport::ChildProcess pipeline(
        "/bin/sh",
        {"-c", "{ $P -b16 -o- big.raw 2> err.txt & echo $! > pid.txt; wait $!; echo $? > status.txt; } | "
               "sh -c 'echo $$ > reader.txt; exec sleep 60'"},
        options);
    const auto readNumber = [&](const std::string& name) {
        for (int wait = 0; wait < 1000; ++wait) {
            const Bytes text = testsupport::fileExists(dir.file(name)) ? testsupport::readFile(dir.file(name)) : Bytes{};
            if (!text.empty() && text.back() == '\n') {
                return std::stoi(std::string(text.begin(), text.end()));
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return -1;
    };
    const int converter = readNumber("pid.txt");
    const int reader = readNumber("reader.txt");
    ASSERT_GT(converter, 0);
    ASSERT_GT(reader, 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));  // the pipe fills
    kill(converter, SIGTERM);
    EXPECT_EQ(readNumber("status.txt"), 143);
    const Bytes err = testsupport::readFile(dir.file("err.txt"));
    EXPECT_EQ(std::string(err.begin(), err.end()), "bits: <16>, rate: <44100>, channels: <1>\nbig.raw ->  -\n"
                                                   "Interrupted: <-> holds the samples converted so far\n");
    kill(reader, SIGKILL);
    pipeline.wait(std::chrono::seconds(10));
}

}  // namespace
