#pragma once
// Short dumps made in the test from synthesised sound: per channel a few sines under slow
// envelopes and a little low-passed noise, each channel different. Stored in any layout
// the probe weighs.

#include <cstdint>
#include <string>
#include <vector>

#include "probe/probe.h"
#include "tests/support/file_bytes.h"

namespace probetest {

struct DumpShape {
    int bits = 16;
    pcmwrap::probe::Encoding encoding = pcmwrap::probe::Encoding::kSigned;
    pcmwrap::probe::ByteOrder byteOrder = pcmwrap::probe::ByteOrder::kBig;
    int channels = 1;
    double gainDb = -6;          // peak level below full scale
    bool identical = false;      // every channel the same signal
    int storedBits = 0;          // wider containers: the samples in their top bits, zeros below
    int frames = 22050;          // half a second at 44.1 kHz
    std::uint32_t seed = 1;
};

testsupport::Bytes generatedDump(const DumpShape& shape);

// One channel of that sound, between about -1.3 and 1.3.
std::vector<double> channelSignal(int frames, int channel, std::uint32_t seed);

// A 24-bit dump (shape.bits 24) in 32-bit words, each high byte the sign extension of the
// sample (ALSA's S24 layouts).
testsupport::Bytes generatedSignExtendedDump(const DumpShape& shape);

// The given channels' samples (between -1 and 1, all of shape.frames) stored as shape says;
// its gain, identical and seed fields are not used.
testsupport::Bytes storedDump(const DumpShape& shape, const std::vector<std::vector<double>>& channels);

// The name tests print for a case: "16-bit big 2ch".
std::string specName(const DumpShape& shape);

}  // namespace probetest
