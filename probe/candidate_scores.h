#pragma once
// Weighs every sample layout and channel count against a dump's bytes.

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "probe/probe.h"

namespace pcmwrap::probe {

struct Scores {
    std::vector<Candidate> ranked;  // every plausible candidate, best first
    bool silent = false;            // some reading makes it all zero, or nearly, or constant
    std::size_t bytes = 0;          // the bytes weighed
};

// Each window starts a frame under every layout and channel count (at a multiple of
// kFrameAlignment in the file); frames never run from one window into the next. `dumpBytes`
// is the size of the whole dump, 0 when it is not known.
Scores scoreCandidates(const std::vector<std::span<const std::byte>>& windows, std::uint64_t dumpBytes);

}  // namespace pcmwrap::probe
