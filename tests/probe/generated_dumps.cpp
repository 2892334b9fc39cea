#include "tests/probe/generated_dumps.h"

#include <bit>
#include <cmath>
#include <numbers>
#include <random>
#include <vector>

namespace probetest {
namespace {

using pcmwrap::probe::ByteOrder;
using pcmwrap::probe::Encoding;

void appendSample(testsupport::Bytes& bytes, const DumpShape& shape, double value)
{
    std::uint64_t raw = 0;
    int width = shape.bits / 8;
    if (shape.encoding == Encoding::kFloat) {
        raw = shape.bits == 64 ? std::bit_cast<std::uint64_t>(value) : std::bit_cast<std::uint32_t>(static_cast<float>(value));
    } else if (shape.encoding == Encoding::kUnsigned) {
        raw = static_cast<std::uint64_t>(std::lround(128 + value * 127));
    } else {
        const double scale = std::ldexp(1.0, shape.bits - 1) - 1;
        raw = static_cast<std::uint32_t>(static_cast<std::int32_t>(std::lround(value * scale)));
    }
    if (shape.storedBits > shape.bits) {
        raw <<= shape.storedBits - shape.bits;
        width = shape.storedBits / 8;
    }
    for (int i = 0; i < width; ++i) {
        const int shift = shape.byteOrder == ByteOrder::kBig ? 8 * (width - 1 - i) : 8 * i;
        bytes.push_back(static_cast<std::uint8_t>(raw >> shift));
    }
}

}  // namespace

// Three partials of a note whose loudness swells and fades, and a little low-passed noise
// under them.
std::vector<double> channelSignal(int frames, int channel, std::uint32_t seed)
{
    std::mt19937 random(seed * 131 + static_cast<std::uint32_t>(channel));
    std::normal_distribution<double> noise(0.0, 1.0);
    const double fundamental = 110.0 * (1 + channel) + 37.0 * static_cast<double>(seed % 5);
    std::vector<double> signal(static_cast<std::size_t>(frames));
    double filtered = 0;
    for (int n = 0; n < frames; ++n) {
        const double t = n / 44100.0;
        const double envelope = 0.55 + 0.45 * std::sin(2 * std::numbers::pi * (1.3 + 0.2 * channel) * t);
        double value = 0;
        for (int partial = 1; partial <= 3; ++partial) {
            value += std::sin(2 * std::numbers::pi * fundamental * partial * t + channel) / partial;
        }
        filtered = 0.9 * filtered + 0.1 * noise(random);
        signal[static_cast<std::size_t>(n)] = 0.5 * envelope * value + 0.3 * filtered;
    }
    return signal;
}

testsupport::Bytes generatedDump(const DumpShape& shape)
{
    std::vector<std::vector<double>> channels;
    for (int channel = 0; channel < shape.channels; ++channel) {
        channels.push_back(channelSignal(shape.frames, shape.identical ? 0 : channel, shape.seed));
    }
    const double gain = std::pow(10.0, shape.gainDb / 20.0) / 1.3;  // the signal peaks near 1.3
    for (auto& signal : channels) {
        for (double& value : signal) {
            value *= gain;
        }
    }
    return storedDump(shape, channels);
}

testsupport::Bytes generatedSignExtendedDump(const DumpShape& shape)
{
    const testsupport::Bytes packed = generatedDump(shape);
    const bool big = shape.byteOrder == ByteOrder::kBig;
    testsupport::Bytes words;
    for (std::size_t i = 0; i + 3 <= packed.size(); i += 3) {
        const std::uint8_t top = packed[big ? i : i + 2];
        const std::uint8_t sign = (top & 0x80) != 0 ? 0xFF : 0x00;
        if (big) {
            words.push_back(sign);
        }
        words.insert(words.end(), packed.begin() + static_cast<std::ptrdiff_t>(i), packed.begin() + static_cast<std::ptrdiff_t>(i + 3));
        if (!big) {
            words.push_back(sign);
        }
    }
    return words;
}

testsupport::Bytes storedDump(const DumpShape& shape, const std::vector<std::vector<double>>& channels)
{
    testsupport::Bytes bytes;
    for (int n = 0; n < shape.frames; ++n) {
        for (const auto& signal : channels) {
            appendSample(bytes, shape, signal[static_cast<std::size_t>(n)]);
        }
    }
    return bytes;
}

std::string specName(const DumpShape& shape)
{
    std::string name = std::to_string(shape.bits) + "-bit ";
    name += shape.encoding == Encoding::kFloat ? "float " : shape.encoding == Encoding::kUnsigned ? "unsigned " : "";
    name += shape.byteOrder == ByteOrder::kBig ? "big " : "little ";
    return name + std::to_string(shape.channels) + "ch";
}

}  // namespace probetest
