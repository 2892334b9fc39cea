// WavReader on files that sox and ffmpeg write (24-bit extensible, float, RF64, a file
// streamed to a pipe), each compared sample for sample with the tool's own decoding of
// the same signal to raw samples.

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "tests/support/file_bytes.h"
#include "tests/support/process.h"
#include "tests/support/temp_dir.h"
#include "wavfile/wav_file.h"

using namespace testsupport;
using pcmwrap::SampleEncoding;
using pcmwrap::WavReader;

namespace {

// A tool run whose output is raw little-endian samples of type T.
template <class T>
std::vector<T> rawSamples(const std::string& program, const std::vector<std::string>& arguments)
{
    const ProcessResult run = runProcess(program, arguments);
    EXPECT_EQ(run.exitStatus, 0) << run.standardError;
    std::vector<T> samples(run.standardOutput.size() / sizeof(T));
    std::memcpy(samples.data(), run.standardOutput.data(), samples.size() * sizeof(T));
    return samples;
}

template <class T>
std::vector<T> readAll(WavReader& reader)
{
    std::vector<T> all(reader.frameCount() * reader.format().channels);
    EXPECT_EQ(reader.readFrames(std::span(all)), reader.frameCount());
    return all;
}

void run(const std::string& program, const std::vector<std::string>& arguments)
{
    const ProcessResult result = runProcess(program, arguments);
    ASSERT_EQ(result.exitStatus, 0) << result.standardError;
}

const std::string kSine = "sine=frequency=441:duration=0.3:sample_rate=48000";

class WavToolFilesTest : public ::testing::Test {
protected:
    TempDir dir_;
};

TEST_F(WavToolFilesTest, SoxExtensible24BitThreeChannels)
{
    const std::string wav = dir_.file("sox24.wav");
    run(PCMWRAP_SOX, {"-n", "-r", "44100", "-c", "3", "-b", "24", wav, "synth", "0.3", "sine", "440", "sine", "660",
                      "square", "110"});
    WavReader reader(wav);
    EXPECT_EQ(reader.format().bitsPerSample, 24);
    EXPECT_EQ(reader.format().channels, 3);
    const auto expected = rawSamples<std::int32_t>(PCMWRAP_SOX, {wav, "-t", "raw", "-e", "signed", "-b", "32", "-"});
    ASSERT_EQ(expected.size(), 13230u * 3);
    EXPECT_EQ(readAll<std::int32_t>(reader), expected);
}

TEST_F(WavToolFilesTest, FfmpegFloatAndRf64)
{
    const struct {
        const char* name;
        std::vector<std::string> codec;
        std::uint16_t bits;
    } files[] = {
        {"float.wav", {"-c:a", "pcm_f32le"}, 32},
        {"rf64.wav", {"-c:a", "pcm_s24le", "-rf64", "always"}, 24},
    };
    for (const auto& f : files) {
        SCOPED_TRACE(f.name);
        const std::string wav = dir_.file(f.name);
        std::vector<std::string> make = {"-v", "error", "-f", "lavfi", "-i", kSine, "-ac", "2"};
        make.insert(make.end(), f.codec.begin(), f.codec.end());
        make.push_back(wav);
        run(PCMWRAP_FFMPEG, make);
        WavReader reader(wav);
        EXPECT_EQ(reader.format().bitsPerSample, f.bits);
        EXPECT_EQ(reader.frameCount(), 14400u);
        if (f.bits == 32) {
            EXPECT_EQ(reader.format().encoding, SampleEncoding::kFloat);
            EXPECT_EQ(readAll<float>(reader),
                      rawSamples<float>(PCMWRAP_FFMPEG, {"-v", "error", "-i", wav, "-f", "f32le", "-"}));
        } else {
            EXPECT_EQ(readAll<std::int32_t>(reader), rawSamples<std::int32_t>(PCMWRAP_FFMPEG, {"-v", "error", "-i", wav,
                                                                                                "-c:a", "pcm_s32le", "-f",
                                                                                                "s32le", "-"}));
        }
    }
}

TEST_F(WavToolFilesTest, FfmpegStreamedToAPipe)
{
    const ProcessResult streamed = runProcess(
        PCMWRAP_FFMPEG, {"-v", "error", "-f", "lavfi", "-i", kSine, "-c:a", "pcm_s16le", "-f", "wav", "pipe:"});
    ASSERT_EQ(streamed.exitStatus, 0) << streamed.standardError;
    const std::string wav = dir_.file("streamed.wav");
    writeFile(wav, Bytes(streamed.standardOutput.begin(), streamed.standardOutput.end()));
    WavReader reader(wav);
    EXPECT_EQ(reader.frameCount(), 14400u);
    EXPECT_EQ(readAll<std::int16_t>(reader),
              rawSamples<std::int16_t>(PCMWRAP_FFMPEG,
                                       {"-v", "error", "-f", "lavfi", "-i", kSine, "-c:a", "pcm_s16le", "-f", "s16le", "-"}));
}

}  // namespace
