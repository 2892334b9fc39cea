#pragma once
// The sample layouts the probe weighs: how one sample is stored (width, kind, byte order)
// and its decoding to a number on a common full scale of -1 to 1.

#include <array>
#include <cstddef>
#include <span>
#include <vector>

#include "probe/probe.h"

namespace pcmwrap::probe {

struct SampleLayout {
    int bytes = 2;
    Encoding encoding = Encoding::kSigned;
    ByteOrder byteOrder = ByteOrder::kBig;
};

inline constexpr std::array<SampleLayout, 12> kSampleLayouts{{
    {1, Encoding::kUnsigned, ByteOrder::kBig},
    {1, Encoding::kSigned, ByteOrder::kBig},
    {2, Encoding::kSigned, ByteOrder::kBig},
    {2, Encoding::kSigned, ByteOrder::kLittle},
    {3, Encoding::kSigned, ByteOrder::kBig},
    {3, Encoding::kSigned, ByteOrder::kLittle},
    {4, Encoding::kSigned, ByteOrder::kBig},
    {4, Encoding::kSigned, ByteOrder::kLittle},
    {4, Encoding::kFloat, ByteOrder::kBig},
    {4, Encoding::kFloat, ByteOrder::kLittle},
    {8, Encoding::kFloat, ByteOrder::kBig},
    {8, Encoding::kFloat, ByteOrder::kLittle},
}};

inline constexpr int kMaxChannels = 8;
// A multiple of every frame size (1, 2, 3, 4 or 8 bytes times 1 to 8 channels): windows and
// blocks start at such offsets, so every layout's frames start at a block's start.
inline constexpr std::size_t kFrameAlignment = 20160;

// Decodes every whole sample of the bytes; a trailing partial sample is left out.
void decodeSamples(const SampleLayout& layout, std::span<const std::byte> bytes, std::vector<double>& samples);

}  // namespace pcmwrap::probe
