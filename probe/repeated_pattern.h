#pragma once
// Whether the probed bytes are one short byte pattern repeated exactly. A tone whose period
// is a ratio of small numbers of samples makes such a dump, and every layout reads it as
// an equally smooth tone: its bytes cannot tell the layouts apart.

#include <cstddef>
#include <span>
#include <vector>

namespace pcmwrap::probe {

// The longest pattern looked for, in bytes.
inline constexpr std::size_t kMaxPatternBytes = 256;

// True when some lag of at most kMaxPatternBytes repeats every window exactly, each window
// holding the pattern at least twice. Each lag's comparison ends at its first mismatch.
bool shortPatternRepeated(const std::vector<std::span<const std::byte>>& windows);

}  // namespace pcmwrap::probe
