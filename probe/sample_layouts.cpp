#include "probe/sample_layouts.h"

#include <bit>
#include <cstdint>

namespace pcmwrap::probe {
namespace {

std::uint32_t unsignedAt(std::span<const std::byte> bytes, std::size_t offset, int width, ByteOrder order)
{
    std::uint32_t value = 0;
    for (int i = 0; i < width; ++i) {
        const std::size_t index = order == ByteOrder::kBig ? offset + static_cast<std::size_t>(i)
                                                            : offset + static_cast<std::size_t>(width - 1 - i);
        value = (value << 8) | std::to_integer<std::uint32_t>(bytes[index]);
    }
    return value;
}

}  // namespace

void decodeSamples(const SampleLayout& layout, std::span<const std::byte> bytes, std::vector<double>& samples)
{
    const auto width = static_cast<std::size_t>(layout.bytes);
    const std::size_t count = bytes.size() / width;
    samples.resize(count);
    const int shift = 32 - 8 * layout.bytes;
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint32_t raw = unsignedAt(bytes, i * width, layout.bytes, layout.byteOrder);
        double value = 0;
        if (layout.encoding == Encoding::kUnsigned) {
            value = (static_cast<double>(raw) - 128.0) / 128.0;
        } else if (layout.encoding == Encoding::kFloat) {
            value = static_cast<double>(std::bit_cast<float>(raw));
        } else {
            // The sample's top bit moved to bit 31 makes it a signed 32-bit number.
            value = static_cast<double>(static_cast<std::int32_t>(raw << shift)) / 2147483648.0;
        }
        samples[i] = value;
    }
}

}  // namespace pcmwrap::probe
