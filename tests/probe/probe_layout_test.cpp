// The layouts besides 16/24-bit, and the dumps that once fooled the probe: 8-bit unsigned
// read as wider samples, 16 bits in 32-bit words, float read as integers, bright sound,
// stray bytes before the samples, 24 bits in 32-bit words.

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <numbers>
#include <random>
#include <span>
#include <utility>
#include <vector>

#include "probe/format_description.h"
#include "probe/probe.h"
#include "tests/probe/generated_dumps.h"

namespace {

using pcmwrap::probe::ByteOrder;
using pcmwrap::probe::Encoding;
using pcmwrap::probe::ProbeResult;
using pcmwrap::probe::Verdict;
using probetest::DumpShape;
using testsupport::Bytes;

ProbeResult probe(const Bytes& bytes)
{
    return pcmwrap::probe::probeBytes(std::as_bytes(std::span(bytes)));
}

struct Told {
    int bits;
    int bytes;
    Encoding encoding;
    ByteOrder byteOrder;
    int channels;
    int offset = 0;
};

void expectTold(const ProbeResult& result, const Told& told, const std::string& what)
{
    SCOPED_TRACE(what);
    ASSERT_EQ(result.verdict, Verdict::kFormat) << pcmwrap::probe::describeVerdict(result);
    const auto& got = result.format;
    EXPECT_EQ(got.bits, told.bits);
    EXPECT_EQ(pcmwrap::probe::sampleBytes(got), told.bytes);
    EXPECT_EQ(got.encoding, told.encoding);
    if (told.bits > 8) {
        EXPECT_EQ(got.byteOrder, told.byteOrder);
    }
    EXPECT_EQ(got.channels, told.channels);
    EXPECT_EQ(got.offset, told.offset);
}

// The top byte of an 8-bit unsigned sample is offset binary: read as the high byte of a
// signed 16- or 32-bit sample it makes a near square wave at full scale, smoother than
// quiet 8-bit sound with its coarse steps.
TEST(ProbeLayout, EightBitUnsignedIsNotAWiderSignedReading)
{
    for (int channels : {6, 8}) {
        for (std::uint32_t seed : {1u, 2u}) {
            const DumpShape shape{.bits = 8, .encoding = Encoding::kUnsigned, .channels = channels, .gainDb = -30, .seed = seed};
            expectTold(probe(probetest::generatedDump(shape)), {8, 1, Encoding::kUnsigned, ByteOrder::kBig, channels},
                       probetest::specName(shape));
        }
    }
}

// 16-bit sound in 32-bit words reads exactly as 16-bit samples with twice the channels,
// every other one zero: the wider reading is told, as 16 bits in 24-bit containers are.
TEST(ProbeLayout, SixteenBitSoundInThirtyTwoBitWordsIsThirtyTwoBit)
{
    for (ByteOrder order : {ByteOrder::kBig, ByteOrder::kLittle}) {
        for (int channels : {1, 2, 3}) {
            const DumpShape shape{.byteOrder = order, .channels = channels, .storedBits = 32};
            expectTold(probe(probetest::generatedDump(shape)), {32, 4, Encoding::kSigned, order, channels},
                       probetest::specName(shape) + " in 32-bit words");
        }
    }
}

// The same in a dump too short to fill every position the byte statistics keep: the
// positions it never reached are unseen, not changing, and the zeros are still padding.
// (Too short to tell one channel from two: the leading candidate is what counts.)
TEST(ProbeLayout, ShortSixteenBitSoundInThirtyTwoBitWordsIsNotSixteenBit)
{
    for (ByteOrder order : {ByteOrder::kBig, ByteOrder::kLittle}) {
        for (int channels : {1, 2}) {
            const DumpShape shape{.byteOrder = order, .channels = channels, .storedBits = 32, .frames = 400};
            const ProbeResult result = probe(probetest::generatedDump(shape));
            ASSERT_FALSE(result.verdict == Verdict::kUnclear && result.candidates.empty());
            const auto& leading = result.verdict == Verdict::kFormat ? result.format : result.candidates.front();
            EXPECT_EQ(pcmwrap::probe::sampleBytes(leading), 4) << probetest::specName(shape) << ": "
                                                               << pcmwrap::probe::describeVerdict(result);
        }
    }
}

// Float samples with a DC offset never change sign, and within one power of two the
// integer reading of their bytes is the same sound, scaled and shifted: as smooth as the
// float reading. A plausible float reading wins.
TEST(ProbeLayout, FloatWithAnOffsetIsNotAnInteger)
{
    for (ByteOrder order : {ByteOrder::kBig, ByteOrder::kLittle}) {
        for (int channels : {1, 2}) {
            const DumpShape shape{.bits = 32, .encoding = Encoding::kFloat, .byteOrder = order, .channels = channels};
            std::vector<std::vector<double>> signals(static_cast<std::size_t>(channels));
            std::mt19937 random(7);
            std::normal_distribution<double> noise(0.0, 1.0);
            for (int c = 0; c < channels; ++c) {
                double filtered = 0;
                for (int n = 0; n < shape.frames; ++n) {
                    filtered = 0.95 * filtered + 0.05 * noise(random);
                    signals[static_cast<std::size_t>(c)].push_back(
                        0.375 + 0.08 * std::sin(2 * std::numbers::pi * 220 * (c + 1) * n / 44100.0) + 0.02 * filtered);
                }
            }
            expectTold(probe(probetest::storedDump(shape, signals)), {32, 4, Encoding::kFloat, order, channels},
                       probetest::specName(shape) + " with an offset");
        }
    }
}

// Hi-hats: most of the energy near the top of the band, so each sample is nearly the
// negative of the one before. Fixed differences make such sound rough, and a reading with
// twice the channels (every other frame, nearly equal) smoother than the truth; the
// predictors of bright sound keep the truth ahead. The channels differ in loudness.
TEST(ProbeLayout, BrightSoundKeepsItsChannelCount)
{
    for (int channels : {1, 2, 3}) {
        for (ByteOrder order : {ByteOrder::kBig, ByteOrder::kLittle}) {
            const DumpShape shape{.byteOrder = order, .channels = channels, .frames = 44100};
            std::vector<std::vector<double>> signals(static_cast<std::size_t>(channels));
            std::mt19937 random(11);
            std::normal_distribution<double> noise(0.0, 1.0);
            for (int c = 0; c < channels; ++c) {
                // Noise through a resonance near 19 kHz at 44.1 kHz, struck eight times a second.
                double y1 = 0;
                double y2 = 0;
                const double level = 0.5 / (c + 1);
                for (int n = 0; n < shape.frames; ++n) {
                    const double envelope = 0.2 + std::exp(-(n % 5512) / 1500.0);
                    const double y = -1.6 * y1 - 0.8 * y2 + noise(random);
                    y2 = y1;
                    y1 = y;
                    signals[static_cast<std::size_t>(c)].push_back(level * envelope * y / 12);
                }
            }
            expectTold(probe(probetest::storedDump(shape, signals)), {16, 2, Encoding::kSigned, order, channels},
                       probetest::specName(shape) + " bright");
        }
    }
}

// Slow sound dithered at 8 bits: the dither, not the sound, sets the differences, so a
// reading with twice the channels (every other frame) is nearly as smooth as the truth.
// The truth is smooth and shows no structure over the longer frame: it is told, not left
// unclear.
TEST(ProbeLayout, DitheredSlowSoundKeepsItsChannelCount)
{
    for (Encoding encoding : {Encoding::kUnsigned, Encoding::kSigned}) {
        for (int channels : {1, 3}) {
            const DumpShape shape{.bits = 8, .encoding = encoding, .channels = channels, .frames = 44100};
            std::vector<std::vector<double>> signals(static_cast<std::size_t>(channels));
            std::mt19937 random(5);
            std::uniform_real_distribution<double> uniform(-0.5, 0.5);
            for (int c = 0; c < channels; ++c) {
                const double low = 300.0 * (c + 1);
                for (int n = 0; n < shape.frames; ++n) {
                    const double t = n / 44100.0;
                    const double sound = 0.15 * std::sin(2 * std::numbers::pi * low * t) +
                                         0.05 * std::sin(2 * std::numbers::pi * 2.7 * low * t + c);
                    const double dither = (uniform(random) + uniform(random)) / 127;
                    signals[static_cast<std::size_t>(c)].push_back(sound + dither);
                }
            }
            expectTold(probe(probetest::storedDump(shape, signals)), {8, 1, encoding, ByteOrder::kBig, channels},
                       probetest::specName(shape) + " dithered");
        }
    }
}

// Slow sound quantised to 8 bits without dither: a staircase, each step of which shows in
// two second differences, so that these outgrow the first ones as when different channels
// alternate. But the reading is smooth, and it is told, not left unclear against a longer
// frame.
TEST(ProbeLayout, UnditheredSlowSoundKeepsItsChannelCount)
{
    for (Encoding encoding : {Encoding::kUnsigned, Encoding::kSigned}) {
        const DumpShape shape{.bits = 8, .encoding = encoding, .frames = 44100};
        // Noise low-passed twice: slow sound that never repeats itself.
        std::mt19937 random(11);
        std::normal_distribution<double> noise(0.0, 1.0);
        std::vector<double> signal;
        double once = 0;
        double twice = 0;
        for (int n = 0; n < shape.frames; ++n) {
            once = 0.99 * once + 0.01 * noise(random);
            twice = 0.99 * twice + 0.01 * once;
            signal.push_back(5 * twice);
        }
        expectTold(probe(probetest::storedDump(shape, {signal})), {8, 1, encoding, ByteOrder::kBig, 1},
                   probetest::specName(shape) + " undithered");
    }
}

// A resonance near 2 kHz under a noise floor: a time series, but a rough one, whose
// frames of 2 samples show no structure. With no steady tone in the dump, the stereo
// reading falls behind it by the margin, and mono is told rather than left unclear.
TEST(ProbeLayout, RoughSoundWithoutStructureKeepsItsChannelCount)
{
    for (ByteOrder order : {ByteOrder::kBig, ByteOrder::kLittle}) {
        const DumpShape shape{.byteOrder = order, .frames = 16384};
        std::mt19937 random(6);
        std::normal_distribution<double> noise(0.0, 1.0);
        const double radius = 0.98;
        const double a1 = 2 * radius * std::cos(0.31);
        std::vector<double> signal;
        double previous = 0;
        double before = 0;
        double energy = 0;
        for (int n = 0; n < shape.frames; ++n) {
            const double resonance = a1 * previous - radius * radius * before + noise(random);
            before = previous;
            previous = resonance;
            signal.push_back(resonance);
            energy += resonance * resonance;
        }
        const double spread = std::sqrt(energy / shape.frames);
        for (double& value : signal) {
            value = 0.15 * (value / spread + 0.26 * noise(random));
        }
        expectTold(probe(probetest::storedDump(shape, {signal})), {16, 2, Encoding::kSigned, order, 1},
                   probetest::specName(shape) + " rough");
    }
}

// Sound under a noise floor: the noise sets the differences, so that the second are
// nearly as large as the first, as when different channels alternate; but the reading is
// smooth (its differences far below its spread), and it is told.
TEST(ProbeLayout, SoundUnderNoiseKeepsItsChannelCount)
{
    for (int channels : {1, 3}) {
        const DumpShape shape{.bits = 32, .encoding = Encoding::kFloat, .channels = channels, .frames = 44100};
        std::vector<std::vector<double>> signals;
        std::mt19937 random(9);
        std::normal_distribution<double> noise(0.0, 0.01);
        for (int c = 0; c < channels; ++c) {
            signals.push_back(probetest::channelSignal(shape.frames, c, 1));
            for (double& value : signals.back()) {
                value = 0.3 * value + noise(random);
            }
        }
        expectTold(probe(probetest::storedDump(shape, signals)), {32, 4, Encoding::kFloat, ByteOrder::kBig, channels},
                   probetest::specName(shape) + " under noise");
    }
}

// Near-mono stereo: both channels one slow sound over one noise floor, a little apart.
// Read with 3 (or 5, 7) channels, each "channel" alternates left and right, and the noise
// floor, not the sound, sets its differences: as smooth as the truth. But the small
// same-time step from left to right falls at one position of the frame in one frame, and a
// step in time at that position in the next.
TEST(ProbeLayout, NearMonoStereoIsNotReadWithAnOddChannelCount)
{
    for (const auto& [bits, encoding] : {std::pair{16, Encoding::kSigned}, std::pair{32, Encoding::kFloat}}) {
        const DumpShape shape{.bits = bits, .encoding = encoding, .channels = 2, .frames = 44100};
        std::mt19937 random(3);
        std::normal_distribution<double> floor(0.0, 0.03);
        std::normal_distribution<double> apart(0.0, 0.005);
        std::vector<std::vector<double>> signals(2);
        for (int n = 0; n < shape.frames; ++n) {
            const double t = n / 44100.0;
            const double common = 0.4 * std::sin(2 * std::numbers::pi * 150 * t) +
                                  0.2 * std::sin(2 * std::numbers::pi * 370 * t + 1) + floor(random);
            signals[0].push_back(common + apart(random));
            signals[1].push_back(common + apart(random));
        }
        expectTold(probe(probetest::storedDump(shape, signals)), {bits, bits / 8, encoding, ByteOrder::kBig, 2},
                   probetest::specName(shape) + " near mono");
    }
}

// A few stray bytes before the samples: a 16-bit dump one byte in reads, from the first
// byte, as the other byte order with the same high bytes. The reading from the stray
// bytes on is told, with its offset.
TEST(ProbeLayout, StrayBytesBeforeTheSamplesAreSkipped)
{
    const struct {
        int bits;
        Encoding encoding;
        int stored;
        int stray;
    } cases[] = {
        {16, Encoding::kSigned, 0, 1},
        {24, Encoding::kSigned, 0, 1},
        {24, Encoding::kSigned, 0, 2},
        {32, Encoding::kSigned, 0, 3},
        {32, Encoding::kFloat, 0, 1},
        {32, Encoding::kFloat, 0, 2},
        {24, Encoding::kSigned, 32, 1},  // 24 bits in 32-bit words
    };
    for (const auto& c : cases) {
        for (ByteOrder order : {ByteOrder::kBig, ByteOrder::kLittle}) {
            for (int channels : {1, 2}) {
                const DumpShape shape{.bits = c.bits, .encoding = c.encoding, .byteOrder = order, .channels = channels};
                Bytes bytes(static_cast<std::size_t>(c.stray), 0x5A);
                const Bytes sound = c.stored == 32 ? probetest::generatedSignExtendedDump(shape) : probetest::generatedDump(shape);
                bytes.insert(bytes.end(), sound.begin(), sound.end());
                const int width = c.stored == 32 ? 4 : c.bits / 8;
                expectTold(probe(bytes), {c.bits, width, c.encoding, order, channels, c.stray},
                           probetest::specName(shape) + " after " + std::to_string(c.stray) + " stray bytes");
            }
        }
    }
}

// A header before float samples may hold a NaN or a huge value: one such value is no
// reason to doubt the rest.
TEST(ProbeLayout, OneNonFiniteValueDoesNotVetoFloat)
{
    for (ByteOrder order : {ByteOrder::kBig, ByteOrder::kLittle}) {
        const DumpShape shape{.bits = 32, .encoding = Encoding::kFloat, .byteOrder = order, .channels = 2};
        Bytes bytes = probetest::generatedDump(shape);
        const std::uint32_t nan = std::bit_cast<std::uint32_t>(std::numeric_limits<float>::quiet_NaN());
        for (int i = 0; i < 4; ++i) {
            bytes[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(nan >> (order == ByteOrder::kBig ? 24 - 8 * i : 8 * i));
        }
        expectTold(probe(bytes), {32, 4, Encoding::kFloat, order, 2}, probetest::specName(shape) + " with a NaN");
    }
}

// ALSA's S24 layouts: the high byte of each 32-bit word is the sign extension of the
// 24-bit sample below it.
TEST(ProbeLayout, TwentyFourBitsInThirtyTwoBitWordsAreTold)
{
    for (ByteOrder order : {ByteOrder::kBig, ByteOrder::kLittle}) {
        for (int channels : {1, 2, 6}) {
            const DumpShape shape{.bits = 24, .byteOrder = order, .channels = channels};
            expectTold(probe(probetest::generatedSignExtendedDump(shape)), {24, 4, Encoding::kSigned, order, channels},
                       probetest::specName(shape) + " in 32-bit words");
        }
    }
}

}  // namespace

namespace {

// Low-passed noise: each value 1 - a of the last and a of a new Gaussian draw.
std::vector<double> filteredNoise(int frames, double a, double level, std::uint32_t seed)
{
    std::mt19937 random(seed);
    std::normal_distribution<double> noise(0.0, 1.0);
    std::vector<double> out;
    double value = 0;
    for (int n = 0; n < frames; ++n) {
        value = (1 - a) * value + a * noise(random);
        out.push_back(std::clamp(level * value, -1.0, 1.0));
    }
    return out;
}

// Not told as that layout: unclear, or another format.
void expectNotTold(const ProbeResult& result, int bits, Encoding encoding, const std::string& what)
{
    EXPECT_FALSE(result.verdict == Verdict::kFormat && result.format.bits == bits && result.format.encoding == encoding)
        << what << ": " << pcmwrap::probe::describeVerdict(result);
}

}  // namespace

// Three 8-bit channels read as one 24-bit sample: the loud, smooth one in the high byte
// makes the reading smooth, and the rough ones below pass for the fine detail. But in a
// sample the low bytes change at random wherever the high byte moves by 2 or more; bytes of
// other channels do not.
TEST(ProbeLayout, EightBitChannelsAreNotOneWiderSample)
{
    for (int channels : {2, 3}) {
        const DumpShape shape{.bits = 8, .channels = channels};
        std::vector<std::vector<double>> signals;
        for (int c = 0; c + 1 < channels; ++c) {
            signals.push_back(filteredNoise(shape.frames, 0.5, 0.25, 3 + static_cast<std::uint32_t>(c)));
        }
        auto loud = filteredNoise(shape.frames, 0.1, 0.5, 9);
        for (int n = 0; n < shape.frames; ++n) {
            loud[static_cast<std::size_t>(n)] += 0.45 * std::sin(2 * std::numbers::pi * 180 * n / 44100.0);
        }
        signals.push_back(loud);
        const ProbeResult result = probe(probetest::storedDump(shape, signals));
        const std::string what = probetest::specName(shape) + " loud last";
        if (channels == 2) {
            expectNotTold(result, 16, Encoding::kSigned, what);  // two channels alike in roughness: unclear
        } else {
            expectTold(result, {8, 1, Encoding::kSigned, ByteOrder::kBig, channels}, what);
        }
    }
}

// The sign bytes of quiet 16-bit samples (0x00 and 0xFF) read as an 8-bit channel are
// slow steps, smoother than any sound, and the low bytes a clean 8-bit channel beside them.
TEST(ProbeLayout, SignBytesOfQuietSixteenBitAreNoEightBitChannel)
{
    for (ByteOrder order : {ByteOrder::kBig, ByteOrder::kLittle}) {
        for (int channels : {1, 2, 3}) {
            const DumpShape shape{.byteOrder = order, .channels = channels, .gainDb = -50};
            expectTold(probe(probetest::generatedDump(shape)), {16, 2, Encoding::kSigned, order, channels},
                       probetest::specName(shape) + " at -50 dB");
        }
    }
}

// 16-bit sound louder than signs in its high bytes: one loud channel, the others a slow
// tone near the low byte's range over a noise floor. Read as 8-bit, the high bytes are
// channels of slow steps, and the quiet low bytes smooth too. But the low bytes wrap: read
// as signed 8-bit samples they jump from 127 to -128 whenever a sample passes 128 modulo
// 256, which 8-bit sound never does.
TEST(ProbeLayout, LowBytesOfSixteenBitAreNoEightBitChannel)
{
    for (ByteOrder order : {ByteOrder::kBig, ByteOrder::kLittle}) {
        for (int channels : {3, 4}) {
            const DumpShape shape{.byteOrder = order, .channels = channels};
            std::mt19937 random(7);
            std::normal_distribution<double> floor(0.0, 8.0 / 32768);
            std::vector<std::vector<double>> signals{probetest::channelSignal(shape.frames, 0, 3)};
            for (double& value : signals[0]) {
                value *= 0.5;
            }
            for (int c = 1; c < channels; ++c) {
                signals.emplace_back();
                for (int n = 0; n < shape.frames; ++n) {
                    const double tone = 0.003 * std::sin(2 * std::numbers::pi * (80 + 30 * c) * n / 44100.0);
                    signals.back().push_back(tone + floor(random));
                }
            }
            expectTold(probe(probetest::storedDump(shape, signals)), {16, 2, Encoding::kSigned, order, channels},
                       probetest::specName(shape) + " one loud channel");
        }
    }
}

// Read as 8-bit channels, a 64-bit float's sign-and-exponent byte is a near-constant
// channel far from zero, but for the zeros of silence, and its mantissa bytes noise:
// such a channel is no sound. Rough sound in both channels, a quarter of it digital
// silence in short gaps.
TEST(ProbeLayout, FloatExponentBytesAreNoEightBitChannel)
{
    for (ByteOrder order : {ByteOrder::kBig, ByteOrder::kLittle}) {
        const DumpShape shape{.bits = 64, .encoding = Encoding::kFloat, .byteOrder = order, .channels = 2, .frames = 44100};
        auto signal = filteredNoise(shape.frames, 0.4, 0.15, 20);
        for (std::size_t n = 0; n < signal.size(); n += 120) {
            std::fill_n(signal.begin() + static_cast<std::ptrdiff_t>(n), 30, 0.0);
        }
        const ProbeResult result = probe(probetest::storedDump(shape, {signal, signal}));
        expectNotTold(result, 8, Encoding::kSigned, probetest::specName(shape));
        expectNotTold(result, 8, Encoding::kUnsigned, probetest::specName(shape));
    }
}

// The high bytes of rough 24-bit sound read as 8-bit unsigned channels are near square
// waves, smooth; the other channels, its low bytes, hold samples near zero by chance, so
// the reading as a whole does too. Each channel must. Both channels one rough sound, half
// of it digital silence in gaps.
TEST(ProbeLayout, EveryChannelOfAnIntegerReadingCrossesZero)
{
    for (ByteOrder order : {ByteOrder::kBig, ByteOrder::kLittle}) {
        const DumpShape shape{.bits = 24, .byteOrder = order, .channels = 2, .frames = 44100};
        auto signal = filteredNoise(shape.frames, 0.55, 0.1, 31);
        for (std::size_t n = 0; n < signal.size(); n += 240) {
            std::fill_n(signal.begin() + static_cast<std::ptrdiff_t>(n), 120, 0.0);
        }
        expectNotTold(probe(probetest::storedDump(shape, {signal, signal})), 8, Encoding::kUnsigned, probetest::specName(shape));
    }
}

// A channel that only ever holds one level or the zeros of silence (a synthesised pulse)
// never passes near zero: only 8-bit readings ask that of every channel. Beside it, a
// natural channel; 16 and 32 bits.
TEST(ProbeLayout, AChannelOfOneLevelAndSilenceKeepsItsReading)
{
    for (int bits : {16, 32}) {
        const DumpShape shape{.bits = bits, .channels = 2, .frames = 44100};
        auto natural = filteredNoise(shape.frames, 0.1, 0.1, 50);
        std::vector<double> pulse;
        for (int n = 0; n < shape.frames; ++n) {
            const double t = n / 44100.0;
            natural[static_cast<std::size_t>(n)] +=
                0.5 * std::sin(2 * std::numbers::pi * 220 * t) * (0.6 + 0.4 * std::sin(2 * std::numbers::pi * 1.3 * t));
            pulse.push_back((n / 700) % 6 == 5 ? 0.0 : -0.42);
        }
        expectTold(probe(probetest::storedDump(shape, {natural, pulse})), {bits, bits / 8, Encoding::kSigned, ByteOrder::kBig, 2},
                   probetest::specName(shape) + " beside one level and silence");
    }
}
