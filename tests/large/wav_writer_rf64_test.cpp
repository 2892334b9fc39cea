// A real WavWriter file past 4 GiB: written as RIFF, turned into RF64 in place when it is
// finished, then read back by WavReader across the 4 GiB boundary and by ffprobe. About
// 4.3 GB of real blocks, deleted as soon as it is read; only in the optimised build.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/file_bytes.h"
#include "tests/support/process.h"
#include "tests/support/temp_dir.h"
#include "wavfile/wav_file.h"

namespace {

constexpr std::uint64_t kBlockFrames = 65536;
constexpr std::uint64_t kFrames = 716000000;  // 24-bit stereo: 4296000000 sample bytes
constexpr std::uint64_t kHeaderBytes = 80;     // RIFF, JUNK/ds64, a 16-byte fmt, data's header

std::int32_t sampleAt(std::uint64_t frame, int channel)
{
    const auto index = static_cast<std::uint32_t>((frame % kBlockFrames) * 2 + static_cast<unsigned>(channel));
    return static_cast<std::int32_t>((index * 2654435761u) & 0xFFFFFF00u);  // whole 24-bit values
}

TEST(WavWriterLarge, PastFourGibibytesTheFileBecomesRf64AndReadsBack)
{
    testsupport::TempDir dir;
    const std::string path = dir.file("large.wav");
    pcmwrap::WavFormat format;
    format.channels = 2;
    format.sampleRate = 48000;
    format.bitsPerSample = 24;
    {
        std::vector<std::int32_t> block(kBlockFrames * 2);
        for (std::uint64_t f = 0; f < kBlockFrames; ++f) {
            block[f * 2] = sampleAt(f, 0);
            block[f * 2 + 1] = sampleAt(f, 1);
        }
        pcmwrap::WavWriter writer(path, format);
        for (std::uint64_t done = 0; done < kFrames; done += kBlockFrames) {
            const std::uint64_t frames = std::min(kBlockFrames, kFrames - done);
            writer.writeFrames(std::span<const std::int32_t>(block.data(), frames * 2));
        }
        writer.finish();
        EXPECT_EQ(writer.frameCount(), kFrames);
    }
    const testsupport::ProcessResult probe = testsupport::runProcess(
        PCMWRAP_FFPROBE, {"-v", "error", "-show_entries", "stream=codec_name,channels,duration_ts", "-of", "csv=p=0", path});
    EXPECT_EQ(probe.standardOutput, "pcm_s24le,2,716000000\n");

    pcmwrap::WavReader reader(path);
    EXPECT_EQ(reader.frameCount(), kFrames);
    ASSERT_EQ(reader.chunks().front().id, "ds64");
    // Frames around the 4 GiB offset and the last ones.
    const std::uint64_t boundary = (0x100000000u - kHeaderBytes) / 6;
    for (const std::uint64_t first : {std::uint64_t{0}, boundary - 2, kFrames - 3}) {
        std::vector<std::int32_t> frames(3 * 2);
        reader.seekFrame(first);
        ASSERT_EQ(reader.readFrames(std::span(frames)), 3u);
        for (std::uint64_t f = 0; f < 3; ++f) {
            EXPECT_EQ(frames[f * 2], sampleAt(first + f, 0)) << first + f;
            EXPECT_EQ(frames[f * 2 + 1], sampleAt(first + f, 1)) << first + f;
        }
    }
}

}  // namespace
