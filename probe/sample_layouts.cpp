#include "probe/sample_layouts.h"

#include <bit>
#include <cstdint>
#include <type_traits>

#include "probe/vector_clones.h"

namespace pcmwrap::probe {
namespace {

// One loop per layout, its width and byte order fixed at compile time: decoding is most of
// the probe's work.
template <int Width, ByteOrder Order, Encoding Kind>
void decodeAll(const std::uint8_t* data, std::size_t count, double* samples)
{
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t* sample = data + i * Width;
        using Raw = std::conditional_t<Width == 8, std::uint64_t, std::uint32_t>;
        Raw raw = 0;
        for (int b = 0; b < Width; ++b) {
            raw = static_cast<Raw>(raw << 8) | sample[Order == ByteOrder::kBig ? b : Width - 1 - b];
        }
        if constexpr (Kind == Encoding::kUnsigned) {
            samples[i] = (static_cast<double>(raw) - 128.0) / 128.0;
        } else if constexpr (Kind == Encoding::kFloat && Width == 8) {
            samples[i] = std::bit_cast<double>(raw);
        } else if constexpr (Kind == Encoding::kFloat) {
            samples[i] = static_cast<double>(std::bit_cast<float>(raw));
        } else {
            // The sample's top bit moved to bit 31 makes it a signed 32-bit number.
            samples[i] = static_cast<double>(static_cast<std::int32_t>(raw << (32 - 8 * Width))) / 2147483648.0;
        }
    }
}

}  // namespace

PCMWRAP_VECTOR_CLONES void decodeSamples(const SampleLayout& layout, std::span<const std::byte> bytes,
                                          std::vector<double>& samples)
{
    const auto width = static_cast<std::size_t>(layout.bytes);
    const std::size_t count = bytes.size() / width;
    samples.resize(count);
    const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.data());
    const bool big = layout.byteOrder == ByteOrder::kBig;
    double* out = samples.data();
    switch (layout.bytes) {
    case 1:
        layout.encoding == Encoding::kUnsigned ? decodeAll<1, ByteOrder::kBig, Encoding::kUnsigned>(data, count, out)
                                               : decodeAll<1, ByteOrder::kBig, Encoding::kSigned>(data, count, out);
        break;
    case 2:
        big ? decodeAll<2, ByteOrder::kBig, Encoding::kSigned>(data, count, out)
            : decodeAll<2, ByteOrder::kLittle, Encoding::kSigned>(data, count, out);
        break;
    case 3:
        big ? decodeAll<3, ByteOrder::kBig, Encoding::kSigned>(data, count, out)
            : decodeAll<3, ByteOrder::kLittle, Encoding::kSigned>(data, count, out);
        break;
    case 8:
        big ? decodeAll<8, ByteOrder::kBig, Encoding::kFloat>(data, count, out)
            : decodeAll<8, ByteOrder::kLittle, Encoding::kFloat>(data, count, out);
        break;
    default:
        if (layout.encoding == Encoding::kFloat) {
            big ? decodeAll<4, ByteOrder::kBig, Encoding::kFloat>(data, count, out)
                : decodeAll<4, ByteOrder::kLittle, Encoding::kFloat>(data, count, out);
        } else {
            big ? decodeAll<4, ByteOrder::kBig, Encoding::kSigned>(data, count, out)
                : decodeAll<4, ByteOrder::kLittle, Encoding::kSigned>(data, count, out);
        }
        break;
    }
}

}  // namespace pcmwrap::probe
