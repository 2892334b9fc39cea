#include "probe/byte_change_statistics.h"

#include <algorithm>

namespace pcmwrap::probe {

ByteChangeStatistics::ByteChangeStatistics(int width)
    : width_(width), change_(kMaxChannels * kPhases * static_cast<std::size_t>(width)), lowest_(kPhases * 4, 255), highest_(kPhases * 4, 0),
      kinds_(kPhases * 4, 0)
{
}

void ByteChangeStatistics::add(std::span<const std::byte> bytes)
{
    const auto width = static_cast<std::size_t>(width_);
    const std::size_t count = bytes.size() / width;
    const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.data());
    // Sample i sits at position i % kPhases of the block's rows.
    for (std::size_t base = 0; base < count; base += kPhases) {
        const std::size_t length = std::min(kPhases, count - base);
        for (std::size_t p = 0; p < length; ++p) {
            for (std::size_t slot = 0; slot < width; ++slot) {
                const std::size_t index = p * 4 + slot;
                const std::uint8_t byte = data[(base + p) * width + slot];
                lowest_[index] = std::min(lowest_[index], byte);
                highest_[index] = std::max(highest_[index], byte);
                kinds_[index] |= static_cast<std::uint8_t>(byte == 0x00 ? 1 : byte == 0xFF ? 2 : 4);
            }
        }
    }
    // At most 128 per pair and blocks of about a million bytes: 32 bits hold each row sum.
    std::vector<std::uint32_t> sums(kPhases * 4);
    // By position and slot: the sizes of the changes when the byte before (after) in the
    // file changed by 2 or more, and how often it did.
    std::vector<std::uint32_t> afterBefore(kPhases * 4);
    std::vector<std::uint32_t> countBefore(kPhases * 4);
    std::vector<std::uint32_t> afterNext(kPhases * 4);
    std::vector<std::uint32_t> countNext(kPhases * 4);
    for (std::size_t lag = 1; lag <= kMaxChannels; ++lag) {
        if (count <= lag) {
            break;
        }
        pairs_[lag - 1] += static_cast<double>(count - lag);
        for (auto* row : {&sums, &afterBefore, &countBefore, &afterNext, &countNext}) {
            std::fill(row->begin(), row->end(), 0u);
        }
        std::uint32_t previous = 0;  // the size of the change of the byte before
        std::size_t previousIndex = 0;
        for (std::size_t base = 0; base + lag < count; base += kPhases) {
            const std::size_t length = std::min(kPhases, count - lag - base);
            for (std::size_t p = 0; p < length; ++p) {
                const std::uint8_t* earlier = data + (base + p) * width;
                const std::uint8_t* later = earlier + lag * width;
                for (std::size_t slot = 0; slot < width; ++slot) {
                    const auto change = static_cast<std::int8_t>(later[slot] - earlier[slot]);
                    const auto size = static_cast<std::uint32_t>(change < 0 ? -change : change);
                    const std::size_t index = p * 4 + slot;
                    sums[index] += size;
                    const std::uint32_t beforeMoved = previous >= 2 ? 1 : 0;
                    afterBefore[index] += beforeMoved * size;
                    countBefore[index] += beforeMoved;
                    const std::uint32_t moved = size >= 2 ? 1 : 0;
                    afterNext[previousIndex] += moved * previous;
                    countNext[previousIndex] += moved;
                    previous = size;
                    previousIndex = index;
                }
            }
        }
        for (std::size_t p = 0; p < kPhases; ++p) {
            for (std::size_t slot = 0; slot < width; ++slot) {
                change_[at(lag - 1, p, slot)] += sums[p * 4 + slot];
            }
        }
        // Kept by channel only, for as many channels as the lag.
        for (std::size_t p = 0; p < kPhases; ++p) {
            auto& byChannel = afterMove_[lag - 1][p % lag];
            for (std::size_t slot = 0; slot < width; ++slot) {
                const std::size_t index = p * 4 + slot;
                byChannel[slot][0] += afterBefore[index];
                byChannel[slot][1] += countBefore[index];
                byChannel[slot][2] += afterNext[index];
                byChannel[slot][3] += countNext[index];
            }
        }
    }
}

ByteChangeStatistics::Place ByteChangeStatistics::placeOf(int channels, int channel, int slot, int offset) const
{
    const int shifted = offset + slot;
    const int carry = shifted / width_;
    return {static_cast<std::size_t>((channel + carry) % channels), static_cast<std::size_t>(shifted % width_)};
}

void ByteChangeStatistics::finish()
{
    const auto width = static_cast<std::size_t>(width_);
    for (std::size_t channels = 1; channels <= kMaxChannels; ++channels) {
        for (std::size_t channel = 0; channel < channels; ++channel) {
            for (std::size_t slot = 0; slot < width; ++slot) {
                double total = 0;
                bool constant = true;
                unsigned kinds = 0;
                const std::size_t first = channel * 4 + slot;
                for (std::size_t p = channel; p < kPhases; p += channels) {
                    total += change_[at(channels - 1, p, slot)];
                    const std::size_t index = p * 4 + slot;
                    constant = constant && lowest_[index] == highest_[index] && lowest_[index] == lowest_[first];
                    kinds |= kinds_[index];
                }
                totals_[channels - 1][channel][slot] = total;
                constant_[channels - 1][channel][slot] = constant;
                signBytes_[channels - 1][channel][slot] = kinds == 3;
            }
        }
    }
}

double ByteChangeStatistics::meanChange(int channels, int channel, int slot, int offset) const
{
    const auto lag = static_cast<std::size_t>(channels - 1);
    if (pairs_[lag] <= 0) {
        return 0;
    }
    const Place place = placeOf(channels, channel, slot, offset);
    return totals_[lag][place.channel][place.slot] / (pairs_[lag] / channels);
}

bool ByteChangeStatistics::constant(int channels, int channel, int slot, int offset) const
{
    const Place place = placeOf(channels, channel, slot, offset);
    return constant_[static_cast<std::size_t>(channels - 1)][place.channel][place.slot];
}

}  // namespace pcmwrap::probe

namespace pcmwrap::probe {

double ByteChangeStatistics::changeAfterUpperMoved(int channels, int channel, int slot, int offset, ByteOrder order,
                                                  double& moves) const
{
    const Place place = placeOf(channels, channel, slot, offset);
    const auto& sums = afterMove_[static_cast<std::size_t>(channels - 1)][place.channel][place.slot];
    const std::size_t at = order == ByteOrder::kBig ? 0 : 2;
    moves = sums[at + 1];
    return moves > 0 ? sums[at] / moves : 0;
}

}  // namespace pcmwrap::probe
