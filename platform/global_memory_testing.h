#pragma once
// Test hooks of the global memory stand-in: a ceiling that makes larger allocations fail
// as if memory had run out, and a record of what was asked for, so that tests can show
// that a size read from a file never reached an allocation.

#include <cstddef>
#include <cstdint>

inline constexpr std::size_t kGlobalNoAllocationLimit = SIZE_MAX;

// From now on, requests above `bytes` fail; kGlobalNoAllocationLimit lifts the ceiling.
void GlobalSetAllocationLimitForTesting(std::size_t bytes);
// The largest size asked of GlobalAlloc since the last reset, granted or not.
std::size_t GlobalLargestRequestForTesting();
void GlobalResetLargestRequestForTesting();
// The number of blocks allocated and not yet released.
std::size_t GlobalLiveBlocksForTesting();
