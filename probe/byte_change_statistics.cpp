#include "probe/byte_change_statistics.h"

#include <algorithm>

#include "probe/vector_clones.h"

namespace pcmwrap::probe {

ByteChangeStatistics::ByteChangeStatistics(int width)
    : width_(width), lowest_(kPhases * 4, 255), highest_(kPhases * 4, 0), kinds_(kPhases * 4, 0)
{
}

PCMWRAP_VECTOR_CLONES void ByteChangeStatistics::add(std::span<const std::byte> bytes)
{
    const auto width = static_cast<std::size_t>(width_);
    const std::size_t count = bytes.size() / width;
    const std::size_t total = count * width;
    const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.data());
    // Sample i sits at position i % kPhases of the block's rows: byte k of a row of
    // kPhases samples is slot k % width of position k / width, and the lowest, highest and
    // kinds are kept in that order, so that the loop runs over contiguous bytes and
    // vectorises.
    const std::size_t rowBytes = kPhases * width;
    reached_ = std::max(reached_, std::min(total, rowBytes));
    for (std::size_t base = 0; base < total; base += rowBytes) {
        const std::size_t length = std::min(rowBytes, total - base);
        for (std::size_t k = 0; k < length; ++k) {
            const std::uint8_t byte = data[base + k];
            lowest_[k] = std::min(lowest_[k], byte);
            highest_[k] = std::max(highest_[k], byte);
            kinds_[k] |= static_cast<std::uint8_t>(byte == 0x00 ? 1 : byte == 0xFF ? 2 : 4);
        }
    }
    // The sums at each lag are kept by position in a short row of whole frames (a multiple
    // of the lag's frame of lag samples), small enough to stay in the first-level cache, and
    // summed up by channel at the end. At most 128 per pair and blocks of about a million
    // bytes: 32 bits hold each row sum.
    std::array<std::uint32_t, kLongestRow> sums;
    // The sizes of the changes when the byte before (after) in the file changed by 2 or
    // more, and how often it did.
    std::array<std::uint32_t, kLongestRow> afterBefore;
    std::array<std::uint32_t, kLongestRow> countBefore;
    std::array<std::uint32_t, kLongestRow> afterNext;
    std::array<std::uint32_t, kLongestRow> countNext;
    std::array<std::uint8_t, kLongestRow> sizes;
    for (std::size_t lag = 1; lag <= kMaxChannels; ++lag) {
        if (count <= lag) {
            break;
        }
        pairs_[lag - 1] += static_cast<double>(count - lag);
        const std::size_t distance = lag * width;
        const std::size_t pairs = total - distance;
        const std::size_t rowBytes = distance * ((kShortRow + distance - 1) / distance);
        for (auto* row : {&sums, &afterBefore, &countBefore, &afterNext, &countNext}) {
            std::fill_n(row->begin(), rowBytes, 0u);
        }
        std::uint32_t carried = 0;  // the size of the change of the last byte of the row before
        for (std::size_t base = 0; base < pairs; base += rowBytes) {
            const std::size_t length = std::min(rowBytes, pairs - base);
            const std::uint8_t* earlier = data + base;
            const std::uint8_t* later = earlier + distance;
            for (std::size_t k = 0; k < length; ++k) {
                const auto change = static_cast<std::int8_t>(later[k] - earlier[k]);
                sizes[k] = static_cast<std::uint8_t>(change < 0 ? -change : change);
            }
            for (std::size_t k = 0; k < length; ++k) {
                sums[k] += sizes[k];
            }
            if (base > 0) {
                const std::uint32_t beforeMoved = carried >= 2 ? 1 : 0;
                afterBefore[0] += beforeMoved * sizes[0];
                countBefore[0] += beforeMoved;
                const std::uint32_t moved = sizes[0] >= 2 ? 1 : 0;
                afterNext[rowBytes - 1] += moved * carried;
                countNext[rowBytes - 1] += moved;
            }
            for (std::size_t k = 1; k < length; ++k) {
                const std::uint32_t beforeMoved = sizes[k - 1] >= 2 ? 1 : 0;
                afterBefore[k] += beforeMoved * sizes[k];
                countBefore[k] += beforeMoved;
                const std::uint32_t moved = sizes[k] >= 2 ? 1 : 0;
                afterNext[k - 1] += moved * sizes[k - 1];
                countNext[k - 1] += moved;
            }
            carried = sizes[length - 1];
        }
        // By channel only, for as many channels as the lag.
        for (std::size_t k = 0; k < rowBytes; ++k) {
            const std::size_t channel = k / width % lag;
            const std::size_t slot = k % width;
            totals_[lag - 1][channel][slot] += sums[k];
            auto& afterMove = afterMove_[lag - 1][channel][slot];
            afterMove[0] += afterBefore[k];
            afterMove[1] += countBefore[k];
            afterMove[2] += afterNext[k];
            afterMove[3] += countNext[k];
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
                bool constant = true;
                unsigned kinds = 0;
                const std::size_t first = channel * width + slot;
                for (std::size_t p = channel; p * width + slot < reached_; p += channels) {
                    const std::size_t index = p * width + slot;
                    constant = constant && lowest_[index] == highest_[index] && lowest_[index] == lowest_[first];
                    kinds |= kinds_[index];
                }
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
