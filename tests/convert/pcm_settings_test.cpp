// Which formats the converter refuses, the record it writes for the others, and the exit
// status a wave-layer code becomes.

#include "convert/pcm_settings.h"

#include <gtest/gtest.h>

#include "convert/exit_status.h"
#include "wave/wave.h"

namespace {

std::string refusal(std::int32_t channels, std::int32_t bits)
{
    return unconvertibleFormatMessage(PcmSettings{channels, 44100, bits}).value_or("accepted");
}

TEST(PcmSettings, BitsMustBeExactly16Or24AndAreShownAsTheirLow16Bits)
{
    EXPECT_EQ(refusal(1, 16), "accepted");
    EXPECT_EQ(refusal(1, 24), "accepted");
    EXPECT_EQ(refusal(1, 8), "bits per sample must be either 16 or 24 but were: <8>");
    EXPECT_EQ(refusal(1, 65552), "bits per sample must be either 16 or 24 but were: <16>");
    EXPECT_EQ(refusal(1, 65560), "bits per sample must be either 16 or 24 but were: <24>");
    EXPECT_EQ(refusal(1, -8), "bits per sample must be either 16 or 24 but were: <65528>");
    EXPECT_EQ(refusal(1, 0), "bits per sample must be either 16 or 24 but were: <0>");
    // Bits are judged before channels.
    EXPECT_EQ(refusal(0, 32), "bits per sample must be either 16 or 24 but were: <32>");
}

TEST(PcmSettings, ChannelsMustGiveABlockAlignFrom1To65535)
{
    EXPECT_EQ(refusal(32767, 16), "accepted");
    EXPECT_EQ(refusal(21845, 24), "accepted");
    EXPECT_EQ(refusal(0, 16), "channels must be from 1 to <32767> but were: <0>");
    EXPECT_EQ(refusal(32768, 16), "channels must be from 1 to <32767> but were: <32768>");
    EXPECT_EQ(refusal(21846, 24), "channels must be from 1 to <21845> but were: <21846>");
    EXPECT_EQ(refusal(-1, 24), "channels must be from 1 to <21845> but were: <-1>");
    EXPECT_EQ(refusal(INT32_MIN, 24), "channels must be from 1 to <21845> but were: <-2147483648>");
}

TEST(PcmSettings, RateMustBePositiveAndKeepTheByteRateIn32Bits)
{
    const auto rateRefusal = [](std::int32_t channels, std::int32_t rate, std::int32_t bits) {
        return unconvertibleFormatMessage(PcmSettings{channels, rate, bits}).value_or("accepted");
    };
    EXPECT_EQ(rateRefusal(1, 1, 24), "accepted");
    EXPECT_EQ(rateRefusal(1, INT32_MAX, 16), "accepted");
    EXPECT_EQ(rateRefusal(21845, 65537, 24), "accepted");
    EXPECT_EQ(rateRefusal(21845, 65538, 24), "rate must be from 1 to <65537> but was: <65538>");
    EXPECT_EQ(rateRefusal(1, INT32_MIN, 24), "rate must be from 1 to <1431655765> but was: <-2147483648>");
    // Channels are judged before the rate.
    EXPECT_EQ(rateRefusal(0, 0, 16), "channels must be from 1 to <32767> but were: <0>");
}

TEST(PcmSettings, FormatRecordFromTheOptions)
{
    const WAVEFORMATEX defaults = pcmFormatRecord(PcmSettings{});
    EXPECT_EQ(defaults.wFormatTag, 1);
    EXPECT_EQ(defaults.nChannels, 1);
    EXPECT_EQ(defaults.nSamplesPerSec, 44100u);
    EXPECT_EQ(defaults.nBlockAlign, 3);
    EXPECT_EQ(defaults.nAvgBytesPerSec, 132300u);
    EXPECT_EQ(defaults.wBitsPerSample, 24);
    EXPECT_EQ(defaults.cbSize, 0);

    const WAVEFORMATEX stereo = pcmFormatRecord(PcmSettings{2, 44100, 16});
    EXPECT_EQ(stereo.nBlockAlign, 4);
    EXPECT_EQ(stereo.nAvgBytesPerSec, 176400u);

    // The byte rate is a 32-bit product that wraps; a negative rate is its two's complement.
    const WAVEFORMATEX negativeRate = pcmFormatRecord(PcmSettings{1, -7, 24});
    EXPECT_EQ(negativeRate.nSamplesPerSec, 0xFFFFFFF9u);
    EXPECT_EQ(negativeRate.nAvgBytesPerSec, 0xFFFFFFEBu);
    const WAVEFORMATEX widest = pcmFormatRecord(PcmSettings{21845, INT32_MAX, 24});
    EXPECT_EQ(widest.nBlockAlign, 65535);
    EXPECT_EQ(widest.nAvgBytesPerSec, static_cast<std::uint32_t>(0x7FFFFFFFull * 65535u));
    // Options the converter refuses still make a record without overflowing anything.
    const WAVEFORMATEX extreme = pcmFormatRecord(PcmSettings{INT32_MIN, INT32_MIN, INT32_MAX});
    EXPECT_EQ(extreme.nChannels, 0);
    EXPECT_EQ(extreme.wBitsPerSample, 0xFFFF);
}

// With -f the format decides over the bits, and the file's sample width bounds the channels.
TEST(PcmSettings, TheFormatDecidesTheWidthTheChannelsAndTheCode)
{
    struct Case {
        pcmwrap::SampleFormat format;
        std::int32_t mostChannels;
        WORD bits, code;
    };
    using pcmwrap::SampleFormat;
    for (const Case& c : {Case{SampleFormat::kU8, 65535, 8, 1}, Case{SampleFormat::kS8, 65535, 8, 1},
                          Case{SampleFormat::kS32, 16383, 32, 1}, Case{SampleFormat::kS24In32, 21845, 24, 1},
                          Case{SampleFormat::kF32, 16383, 32, 3}, Case{SampleFormat::kF64, 8191, 64, 3}}) {
        PcmSettings settings{c.mostChannels, 44100, 7};
        settings.format = c.format;
        EXPECT_EQ(unconvertibleFormatMessage(settings).value_or("accepted"), "accepted");
        settings.channels = c.mostChannels + 1;
        EXPECT_EQ(unconvertibleFormatMessage(settings).value_or("accepted"),
                  "channels must be from 1 to <" + std::to_string(c.mostChannels) + "> but were: <" +
                      std::to_string(c.mostChannels + 1) + ">");
        settings.channels = 2;
        const WAVEFORMATEX record = pcmFormatRecord(settings);
        EXPECT_EQ(record.wFormatTag, c.code);
        EXPECT_EQ(record.wBitsPerSample, c.bits);
        EXPECT_EQ(record.nBlockAlign, 2 * c.bits / 8);
    }
}

TEST(ExitStatus, WaveCodesKeepTheirLow8BitsUnlessTheyReadAs0To2)
{
    EXPECT_EQ(exitStatusForWaveResult(WAV_ERR_WRITE_FAILED), 4);
    EXPECT_EQ(exitStatusForWaveResult(static_cast<std::int32_t>(MMIOERR_CANNOTWRITE)), 6);
    EXPECT_EQ(exitStatusForWaveResult(static_cast<std::int32_t>(MMIOERR_CANNOTEXPAND)), 8);
    EXPECT_EQ(exitStatusForWaveResult(255), 255);
    // These would read as success, a stream failure and a refused format.
    EXPECT_EQ(exitStatusForWaveResult(WAV_ERR_OPEN_FAILED), 3);
    EXPECT_EQ(exitStatusForWaveResult(WAV_ERR_BAD_FORMAT), 3);
    EXPECT_EQ(exitStatusForWaveResult(WAV_ERR_READ_FAILED), 3);
    EXPECT_EQ(exitStatusForWaveResult(static_cast<std::int32_t>(MMIOERR_FILENOTFOUND)), 3);
    EXPECT_EQ(exitStatusForWaveResult(static_cast<std::int32_t>(MMIOERR_OUTOFMEMORY)), 3);
    EXPECT_EQ(exitStatusForWaveResult(WAV_ERR_TRUNCATED), 3);
    EXPECT_EQ(exitStatusForWaveResult(0), 3);
    EXPECT_EQ(exitStatusForWaveResult(-1), 255);
}

}  // namespace
