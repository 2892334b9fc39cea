#include "probe/byte_change_statistics.h"

#include <algorithm>

namespace pcmwrap::probe {

void ByteChangeStatistics::add(std::span<const std::byte> bytes)
{
    const auto width = static_cast<std::size_t>(width_);
    const std::size_t count = bytes.size() / width;
    const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.data());
    for (std::size_t slot = 0; slot < width; ++slot) {
        std::uint8_t lowest = lowest_[slot];
        std::uint8_t highest = highest_[slot];
        for (std::size_t i = 0; i < count; ++i) {
            lowest = std::min(lowest, data[i * width + slot]);
            highest = std::max(highest, data[i * width + slot]);
        }
        lowest_[slot] = lowest;
        highest_[slot] = highest;
    }
    for (std::size_t lag = 1; lag <= kMaxChannels; ++lag) {
        if (count <= lag) {
            break;
        }
        pairs_[lag - 1] += static_cast<double>(count - lag);
        for (std::size_t slot = 0; slot < width; ++slot) {
            unsigned total = 0;
            double sum = 0;
            for (std::size_t i = 0; i + lag < count; ++i) {
                const auto change = static_cast<std::uint8_t>(data[(i + lag) * width + slot] - data[i * width + slot]);
                total += change < 128 ? change : 256u - change;
                if (total > (1u << 30)) {
                    sum += total;
                    total = 0;
                }
            }
            change_[lag - 1][slot] += sum + total;
        }
    }
}

double ByteChangeStatistics::meanChange(int channels, int slot) const
{
    const auto lag = static_cast<std::size_t>(channels - 1);
    return pairs_[lag] > 0 ? change_[lag][static_cast<std::size_t>(slot)] / pairs_[lag] : 0;
}

bool ByteChangeStatistics::constant(int slot) const
{
    const auto index = static_cast<std::size_t>(slot);
    return lowest_[index] == highest_[index];
}

}  // namespace pcmwrap::probe
