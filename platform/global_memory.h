#pragma once
// A stand-in for the platform's global memory blocks, as the wave layer uses them.
// Blocks come from the C heap; allocation failure gives null, never an exception.

#include <cstddef>

#include "platform/win_types.h"

using HGLOBAL = void*;

inline constexpr UINT GMEM_FIXED = 0x0000;
inline constexpr UINT GMEM_MOVEABLE = 0x0002;
inline constexpr UINT GMEM_ZEROINIT = 0x0040;

// A fixed block's handle is its address (a block of 0 bytes is still a block); a movable
// block is reached through GlobalLock. GMEM_ZEROINIT fills the block with zeros. Null
// when no memory is left or the size is beyond what a 32-bit platform could hold.
HGLOBAL GlobalAlloc(UINT flags, std::size_t bytes);
// The block's address; null for an unknown handle and for a movable block of 0 bytes.
void* GlobalLock(HGLOBAL block);
// True while the block is still locked after this call.
bool GlobalUnlock(HGLOBAL block);
// The handle of the block at this address; null when no block starts there.
HGLOBAL GlobalHandle(const void* address);
// Releases the block: null on success, the handle itself when it is not a block.
HGLOBAL GlobalFree(HGLOBAL block);
