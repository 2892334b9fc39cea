#pragma once
// A stand-in for the platform's global memory blocks, as the wave layer uses them.
// (Declarations only so far; the reading issue implements them.)

#include <cstddef>

#include "platform/win_types.h"

using HGLOBAL = void*;

inline constexpr UINT GMEM_FIXED = 0x0000;
inline constexpr UINT GMEM_MOVEABLE = 0x0002;
inline constexpr UINT GMEM_ZEROINIT = 0x0040;

HGLOBAL GlobalAlloc(UINT flags, std::size_t bytes);
void* GlobalLock(HGLOBAL block);
bool GlobalUnlock(HGLOBAL block);
HGLOBAL GlobalHandle(const void* address);
HGLOBAL GlobalFree(HGLOBAL block);
