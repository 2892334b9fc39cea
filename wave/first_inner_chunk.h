#pragma once
// Reading and chunk copying both start their walks at the first chunk inside the RIFF form.

#include <cstdint>
#include <limits>

#include "platform/mmio.h"

// The form's data begins with its 4-byte type, so its first chunk stands 4 bytes later.
// The new position, or -1 when it cannot be set.
inline LONG seekToFirstInnerChunk(HMMIO handle, const MMCKINFO& riff)
{
    const std::uint64_t offset = std::uint64_t{riff.dwDataOffset} + 4;
    if (offset > static_cast<std::uint64_t>(std::numeric_limits<LONG>::max())) {
        return -1;
    }
    return mmioSeek(handle, static_cast<LONG>(offset), SEEK_SET);
}
