// The probe tells width, byte order and channel count of generated sound in every layout
// it weighs, and the cases that fool simple guesses.

#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>
#include <numbers>
#include <span>

#include "probe/probe.h"
#include "tests/probe/generated_dumps.h"

namespace {

using pcmwrap::probe::ByteOrder;
using pcmwrap::probe::Encoding;
using pcmwrap::probe::ProbeResult;
using pcmwrap::probe::Verdict;
using probetest::DumpSpec;

ProbeResult probe(const DumpSpec& spec)
{
    const auto bytes = probetest::generatedDump(spec);
    return pcmwrap::probe::probeBytes(std::as_bytes(std::span(bytes)));
}

void expectFormat(const DumpSpec& spec, int bits, int channels)
{
    SCOPED_TRACE(probetest::specName(spec));
    const ProbeResult result = probe(spec);
    ASSERT_EQ(result.verdict, Verdict::kFormat);
    EXPECT_EQ(result.format.bits, bits);
    EXPECT_EQ(result.format.encoding, spec.encoding);
    if (bits != 8) {
        EXPECT_EQ(result.format.byteOrder, spec.byteOrder);
    }
    EXPECT_EQ(result.format.channels, channels);
    EXPECT_GE(result.margin, pcmwrap::probe::kMinimumMargin);
}

TEST(ProbeFormat, TellsEachWidthByteOrderAndChannelCount)
{
    for (int bits : {16, 24}) {
        for (ByteOrder order : {ByteOrder::kBig, ByteOrder::kLittle}) {
            for (int channels : {1, 2, 6}) {
                DumpSpec spec{.bits = bits, .byteOrder = order, .channels = channels};
                expectFormat(spec, bits, channels);
            }
        }
    }
}

// The same signal on every channel is still that many channels: read as fewer, every
// other difference would be zero, which looks smoother still.
TEST(ProbeFormat, IdenticalChannelsAreTwoChannels)
{
    for (ByteOrder order : {ByteOrder::kBig, ByteOrder::kLittle}) {
        expectFormat({.byteOrder = order, .channels = 2, .identical = true}, 16, 2);
    }
}

// 45 dB down, the high byte is nearly constant and the low byte is a smooth wave too.
TEST(ProbeFormat, QuietMaterialKeepsItsByteOrder)
{
    for (ByteOrder order : {ByteOrder::kBig, ByteOrder::kLittle}) {
        for (int channels : {1, 2}) {
            expectFormat({.byteOrder = order, .channels = channels, .gainDb = -45}, 16, channels);
        }
    }
}

TEST(ProbeFormat, SixteenBitSamplesInTwentyFourBitContainersAreTwentyFourBit)
{
    for (ByteOrder order : {ByteOrder::kBig, ByteOrder::kLittle}) {
        expectFormat({.byteOrder = order, .channels = 2, .storedBits = 24}, 24, 2);
    }
}

TEST(ProbeFormat, EightBitThirtyTwoBitAndFloatAreToldAsSuch)
{
    expectFormat({.bits = 8, .encoding = Encoding::kUnsigned, .channels = 2}, 8, 2);
    for (ByteOrder order : {ByteOrder::kBig, ByteOrder::kLittle}) {
        expectFormat({.bits = 32, .byteOrder = order, .channels = 2}, 32, 2);
        expectFormat({.bits = 32, .encoding = Encoding::kFloat, .byteOrder = order, .channels = 2}, 32, 2);
    }
}

// 16-bit sound in 32-bit containers reads just as well as 16-bit stereo with a silent
// second channel: not a 16-bit answer.
TEST(ProbeFormat, SixteenBitSoundInThirtyTwoBitContainersIsNotSixteenBit)
{
    for (ByteOrder order : {ByteOrder::kBig, ByteOrder::kLittle}) {
        const ProbeResult result = probe({.byteOrder = order, .storedBits = 32});
        EXPECT_TRUE(result.verdict == Verdict::kUnclear ||
                    (result.verdict == Verdict::kFormat && result.format.bits == 32));
    }
}

}  // namespace

namespace {

// A steady high tone a little off a fifth of the sample rate: read as 5 channels, every
// channel is a slow wave, far smoother than the sound itself. The mono reading shows no
// structure that repeats over 5 samples, so 5 channels of its width are no better than 1.
// (Read as 32-bit samples the tone still looks like 5 slow channels: a known limit.)
TEST(ProbeFormat, ASteadyToneIsNotTakenForChannels)
{
    const DumpSpec spec{.frames = 44100};
    std::vector<double> tone(static_cast<std::size_t>(spec.frames));
    for (std::size_t n = 0; n < tone.size(); ++n) {
        tone[n] = 0.5 * std::sin(2 * std::numbers::pi * static_cast<double>(n) / 5.02);
    }
    const auto bytes = probetest::storedDump(spec, {tone});
    const ProbeResult result = pcmwrap::probe::probeBytes(std::as_bytes(std::span(bytes)));
    EXPECT_FALSE(result.verdict == Verdict::kFormat && result.format.bits == 16 && result.format.channels != 1)
        << result.format.channels;
}

}  // namespace
