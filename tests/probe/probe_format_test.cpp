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
using pcmwrap::probe::Candidate;
using pcmwrap::probe::Encoding;
using pcmwrap::probe::ProbeResult;
using pcmwrap::probe::Verdict;
using probetest::DumpShape;

ProbeResult probe(const DumpShape& shape)
{
    const auto bytes = probetest::generatedDump(shape);
    return pcmwrap::probe::probeBytes(std::as_bytes(std::span(bytes)));
}

void expectFormat(const DumpShape& shape, int bits, int channels)
{
    SCOPED_TRACE(probetest::specName(shape));
    const ProbeResult result = probe(shape);
    ASSERT_EQ(result.verdict, Verdict::kFormat);
    EXPECT_EQ(result.format.bits, bits);
    EXPECT_EQ(result.format.encoding, shape.encoding);
    if (bits != 8) {
        EXPECT_EQ(result.format.byteOrder, shape.byteOrder);
    }
    EXPECT_EQ(result.format.channels, channels);
    EXPECT_GE(result.margin, pcmwrap::probe::kMinimumMargin);
}

TEST(ProbeFormat, TellsEachWidthByteOrderAndChannelCount)
{
    for (int bits : {16, 24}) {
        for (ByteOrder order : {ByteOrder::kBig, ByteOrder::kLittle}) {
            for (int channels : {1, 2, 6}) {
                DumpShape shape{.bits = bits, .byteOrder = order, .channels = channels};
                expectFormat(shape, bits, channels);
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

// Signed bytes read as unsigned (and unsigned as signed) jump by full scale at every zero
// crossing; 64-bit floats read as pairs of 32-bit ones are a compressed wave beside noise.
TEST(ProbeFormat, SignedEightBitAndSixtyFourBitFloatAreToldAsSuch)
{
    for (int channels : {1, 2, 5}) {
        for (double gainDb : {-3.0, -12.0}) {
            if (channels > 1 || gainDb > -6) {  // quieter 8-bit mono is as smooth read as stereo
                expectFormat({.bits = 8, .channels = channels, .gainDb = gainDb}, 8, channels);
                expectFormat({.bits = 8, .encoding = Encoding::kUnsigned, .channels = channels, .gainDb = gainDb}, 8, channels);
            }
            for (ByteOrder order : {ByteOrder::kBig, ByteOrder::kLittle}) {
                expectFormat({.bits = 64, .encoding = Encoding::kFloat, .byteOrder = order, .channels = channels, .gainDb = gainDb},
                             64, channels);
            }
        }
    }
}

// A steady tone a little off a whole fraction of the sample rate: read with a frame of
// that many samples, in any width the frame's bytes allow, every "channel" is a slow wave,
// far smoother than the sound itself; and a stereo tone near a third of the rate, the
// channels a radian apart (3.45), reads as a slower mono tone that scores above the truth.
// Only the true reading or `unclear` will do.
TEST(ProbeFormat, ASteadyToneIsNotTakenForALongerFrame)
{
    for (double period : {2.98, 3.45, 4.03, 5.02, 6.02}) {
        for (int bits : {16, 24}) {
            for (ByteOrder order : {ByteOrder::kBig, ByteOrder::kLittle}) {
                for (int channels : {1, 2}) {
                    const DumpShape shape{.bits = bits, .byteOrder = order, .channels = channels, .frames = 44100};
                    std::vector<std::vector<double>> tones(static_cast<std::size_t>(channels));
                    for (int n = 0; n < shape.frames; ++n) {
                        for (int c = 0; c < channels; ++c) {
                            tones[static_cast<std::size_t>(c)].push_back(0.5 * std::sin(2 * std::numbers::pi * n / period + c));
                        }
                    }
                    const auto bytes = probetest::storedDump(shape, tones);
                    const ProbeResult result = pcmwrap::probe::probeBytes(std::as_bytes(std::span(bytes)));
                    const Candidate& got = result.format;
                    EXPECT_TRUE(result.verdict == Verdict::kUnclear ||
                                (result.verdict == Verdict::kFormat && got.bits == bits && got.byteOrder == order &&
                                 got.channels == channels))
                        << probetest::specName(shape) << ", period " << period << ": " << got.bits << "-bit "
                        << got.channels << "ch";
                }
            }
        }
    }
}

}  // namespace
