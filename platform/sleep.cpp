#include "platform/sleep.h"

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/sleep_testing.h"

namespace {
std::atomic<std::uint64_t> sleepCalls{0};
}

void Sleep(DWORD milliseconds)
{
    sleepCalls.fetch_add(1, std::memory_order_relaxed);
    if (milliseconds == 0) {
        std::this_thread::yield();
        return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

std::uint64_t sleepCallsForTesting()
{
    return sleepCalls.load(std::memory_order_relaxed);
}
