#pragma once
// What the wave layer asks of an open file beyond single platform calls: transfers that
// move exactly the bytes asked for, and whether the file holds a size it claims.

#include <algorithm>
#include <cstdint>
#include <limits>

#include "platform/mmio.h"

// The file I/O moves at most a LONG per call; a chunk may be larger.
inline constexpr DWORD kLargestTransfer = static_cast<DWORD>(std::numeric_limits<LONG>::max());

// Whether `transfer` (mmioRead or mmioWrite) moved all `count` bytes at the position.
template <class Byte, class Transfer>
bool transferExactly(HMMIO handle, Byte* bytes, DWORD count, Transfer transfer)
{
    while (count > 0) {
        const DWORD piece = std::min(count, kLargestTransfer);
        if (transfer(handle, bytes, static_cast<LONG>(piece)) != static_cast<LONG>(piece)) {
            return false;
        }
        bytes += piece;
        count -= piece;
    }
    return true;
}

inline bool readExactly(HMMIO handle, void* destination, DWORD count)
{
    return transferExactly(handle, static_cast<char*>(destination), count, mmioRead);
}

inline bool writeExactly(HMMIO handle, const void* source, DWORD count)
{
    return transferExactly(handle, static_cast<const char*>(source), count, mmioWrite);
}

// Whether the file holds `count` bytes from `offset` on. Sizes in a file are claims: one
// that passes this check may be allocated, so a few hostile bytes cannot cost gigabytes.
inline bool fileHolds(HMMIO handle, std::uint64_t offset, std::uint64_t count)
{
    std::uint64_t fileSize = 0;
    return mmioGetFileSize(handle, &fileSize) == 0 && offset <= fileSize && fileSize - offset >= count;
}
