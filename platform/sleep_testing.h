#pragma once
// Test hook of Sleep: whether a caller waited shows in its Sleep calls, which tests can
// count instead of timing the caller.

#include <cstdint>

// Calls of Sleep so far, from every thread.
std::uint64_t sleepCallsForTesting();
