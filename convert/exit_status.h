#pragma once
// The statuses the program ends with.

#include <cstdint>

inline constexpr int kExitSuccess = 0;
inline constexpr int kExitStreamFailure = 1;
// A pair was skipped (its input did not open, or its output would have overwritten a file
// of the run): like a stream failure, an input was not converted. The other pairs go on.
inline constexpr int kExitPairSkipped = 1;
// Added to the number of a signal (SIGINT, SIGTERM, SIGHUP) that stopped the run, as a shell does.
inline constexpr int kExitSignalBase = 128;
// The options name a format the converter cannot write (bits or channels out of range).
inline constexpr int kExitUnconvertibleFormat = 2;

// The status for a failure of the wave layer. A status is only 8 bits wide, so the code
// itself cannot be it: 0xE100 would read as success and 0xE101 as a stream failure.
// The low 8 bits are kept when they are 3 or more, otherwise the status is 3; the
// message printed before still shows the whole code.
int exitStatusForWaveResult(std::int32_t result);
