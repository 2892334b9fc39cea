#pragma once
// The chunk identifiers the wave layer knows, compared as four bytes in file order.

#include "platform/win_types.h"

inline constexpr FOURCC kFourccRiff = mmioFOURCC('R', 'I', 'F', 'F');
inline constexpr FOURCC kFourccWave = mmioFOURCC('W', 'A', 'V', 'E');
inline constexpr FOURCC kFourccFmt = mmioFOURCC('f', 'm', 't', ' ');
inline constexpr FOURCC kFourccFact = mmioFOURCC('f', 'a', 'c', 't');
inline constexpr FOURCC kFourccData = mmioFOURCC('d', 'a', 't', 'a');
inline constexpr FOURCC kFourccDisp = mmioFOURCC('D', 'I', 'S', 'P');
inline constexpr FOURCC kFourccPlst = mmioFOURCC('p', 'l', 's', 't');
// A form whose true sizes are 64 bits wide and stand in its ds64 chunk.
inline constexpr FOURCC kFourccRf64 = mmioFOURCC('R', 'F', '6', '4');
inline constexpr FOURCC kFourccDs64 = mmioFOURCC('d', 's', '6', '4');

static_assert(kFourccRiff == 0x46464952 && kFourccWave == 0x45564157 && kFourccFmt == 0x20746D66);
static_assert(kFourccFact == 0x74636166 && kFourccData == 0x61746164);
static_assert(kFourccDisp == 0x50534944 && kFourccPlst == 0x74736C70);
