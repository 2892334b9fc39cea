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

// One channel of sound between -1 and 1: three partials of a note whose loudness swells
// and fades, and a little low-passed noise under them.
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

void appendSample(testsupport::Bytes& bytes, const DumpSpec& spec, double value)
{
    std::uint32_t raw = 0;
    int width = spec.bits / 8;
    if (spec.encoding == Encoding::kFloat) {
        raw = std::bit_cast<std::uint32_t>(static_cast<float>(value));
    } else if (spec.encoding == Encoding::kUnsigned) {
        raw = static_cast<std::uint32_t>(std::lround(128 + value * 127));
    } else {
        const double scale = std::ldexp(1.0, spec.bits - 1) - 1;
        raw = static_cast<std::uint32_t>(static_cast<std::int32_t>(std::lround(value * scale)));
    }
    if (spec.storedBits > spec.bits) {
        raw <<= spec.storedBits - spec.bits;
        width = spec.storedBits / 8;
    }
    for (int i = 0; i < width; ++i) {
        const int shift = spec.byteOrder == ByteOrder::kBig ? 8 * (width - 1 - i) : 8 * i;
        bytes.push_back(static_cast<std::uint8_t>(raw >> shift));
    }
}

}  // namespace

testsupport::Bytes generatedDump(const DumpSpec& spec)
{
    std::vector<std::vector<double>> channels;
    for (int channel = 0; channel < spec.channels; ++channel) {
        channels.push_back(channelSignal(spec.frames, spec.identical ? 0 : channel, spec.seed));
    }
    const double gain = std::pow(10.0, spec.gainDb / 20.0) / 1.3;  // the signal peaks near 1.3
    for (auto& signal : channels) {
        for (double& value : signal) {
            value *= gain;
        }
    }
    return storedDump(spec, channels);
}

testsupport::Bytes storedDump(const DumpSpec& spec, const std::vector<std::vector<double>>& channels)
{
    testsupport::Bytes bytes;
    for (int n = 0; n < spec.frames; ++n) {
        for (const auto& signal : channels) {
            appendSample(bytes, spec, signal[static_cast<std::size_t>(n)]);
        }
    }
    return bytes;
}

std::string specName(const DumpSpec& spec)
{
    std::string name = std::to_string(spec.bits) + "-bit ";
    name += spec.encoding == Encoding::kFloat ? "float " : spec.encoding == Encoding::kUnsigned ? "unsigned " : "";
    name += spec.byteOrder == ByteOrder::kBig ? "big " : "little ";
    return name + std::to_string(spec.channels) + "ch";
}

}  // namespace probetest
