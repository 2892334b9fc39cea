#include "probe/repeated_pattern.h"

#include <algorithm>

namespace pcmwrap::probe {
namespace {

bool repeatsAt(std::span<const std::byte> window, std::size_t lag)
{
    if (window.size() < 2 * lag) {
        return false;
    }
    return std::equal(window.begin() + static_cast<std::ptrdiff_t>(lag), window.end(), window.begin());
}

}  // namespace

bool shortPatternRepeated(const std::vector<std::span<const std::byte>>& windows)
{
    if (windows.empty()) {
        return false;
    }
    for (std::size_t lag = 1; lag <= kMaxPatternBytes; ++lag) {
        if (std::all_of(windows.begin(), windows.end(),
                        [lag](std::span<const std::byte> window) { return repeatsAt(window, lag); })) {
            return true;
        }
    }
    return false;
}

}  // namespace pcmwrap::probe
