// WavReader on the WAVE streams sox and ffmpeg write into a pipe (which they cannot seek:
// sox puts a large size of its own in the header, ffmpeg 0xFFFFFFFF), read through a real
// pipe: every sample equal to what the same tool writes as bare samples.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <thread>
#include <vector>

#include "tests/support/file_bytes.h"
#include "tests/support/process.h"
#include "tests/support/temp_dir.h"
#include "wavfile/wav_file.h"

using namespace testsupport;
using pcmwrap::WavReader;

namespace {

struct ToolStream {
    const char* name;
    std::string streamCommand;  // writes a WAVE stream to standard output, a pipe
    std::string rawCommand;     // the same sound as bare little-endian samples
    unsigned bits;
};

std::vector<ToolStream> toolStreams()
{
    const std::string sox = std::string(PCMWRAP_SOX) + " -D -n -r 48000 -c 2 ";  // -D: no random dither
    const std::string synth = " synth 1.3 sine 441 sine 663 vol 0.7";
    const std::string ffmpeg =
        std::string(PCMWRAP_FFMPEG) + " -v error -f lavfi -i sine=f=440:d=1.3:sample_rate=48000 -ac 2 ";
    return {
        {"sox 16-bit", sox + "-b 16 -t wav -" + synth, sox + "-b 16 -e signed -t raw -" + synth, 16},
        {"sox 24-bit", sox + "-b 24 -t wav -" + synth, sox + "-b 24 -e signed -t raw -" + synth, 24},
        {"ffmpeg 16-bit", ffmpeg + "-c:a pcm_s16le -f wav -", ffmpeg + "-f s16le -", 16},
        {"ffmpeg 24-bit", ffmpeg + "-c:a pcm_s24le -f wav -", ffmpeg + "-f s24le -", 24},
    };
}

// The tool's stream as a real pipe's read end: the tool writes into the pipe itself.
int toolPipe(const std::string& command, std::thread* waiter)
{
    int ends[2];
    EXPECT_EQ(pipe(ends), 0);
    const pid_t child = fork();
    if (child == 0) {
        dup2(ends[1], STDOUT_FILENO);
        close(ends[0]);
        close(ends[1]);
        execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    close(ends[1]);
    *waiter = std::thread([child] {
        int status = 0;
        waitpid(child, &status, 0);
    });
    return ends[0];
}

std::vector<std::int32_t> rawSamples(const Bytes& raw, unsigned bits)
{
    std::vector<std::int32_t> samples;
    const std::size_t step = bits / 8;
    for (std::size_t i = 0; i + step <= raw.size(); i += step) {
        std::uint32_t value = 0;
        for (std::size_t b = 0; b < step; ++b) {
            value |= std::uint32_t{raw[i + b]} << (8 * (4 - step + b));
        }
        samples.push_back(static_cast<std::int32_t>(value));  // left-justified, as the reader gives int32
    }
    return samples;
}

TEST(WavStreamInterop, EverySampleOfSoxAndFfmpegStreamsIsRead)
{
    TempDir dir;
    for (const ToolStream& tool : toolStreams()) {
        SCOPED_TRACE(tool.name);
        const ProcessResult raw = runProcess("/bin/sh", {"-c", tool.rawCommand + " > " + dir.file("raw")});
        ASSERT_EQ(raw.exitStatus, 0) << raw.standardError;
        const std::vector<std::int32_t> expected = rawSamples(readFile(dir.file("raw")), tool.bits);
        ASSERT_EQ(expected.size(), 2u * 62400u);
        std::thread waiter;
        const int stream = toolPipe(tool.streamCommand, &waiter);
        try {
            WavReader reader(stream);
            EXPECT_FALSE(reader.seekable());
            std::vector<std::int32_t> samples(expected.size() + 2000);
            std::size_t frames = 0;
            while (const std::size_t got = reader.readFrames(std::span(samples).subspan(2 * frames, 2000))) {
                frames += got;
            }
            samples.resize(2 * frames);
            EXPECT_TRUE(samples == expected) << frames << " frames";
            EXPECT_EQ(reader.frameCount(), 62400u);
        } catch (const pcmwrap::WavError& error) {
            ADD_FAILURE() << error.what();
        }
        close(stream);
        waiter.join();
    }
}

}  // namespace
