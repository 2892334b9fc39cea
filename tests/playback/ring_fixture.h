#pragma once
// The ring opened on a stepped device for each test, and notification functions that
// count their calls. The ring's state carries over between tests run in one process,
// so tests work from the ring index they find.

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "device_control.h"
#include "playback/playback_testing.h"

namespace playbacktest {

inline std::atomic<int> notifiedA{0};
inline std::atomic<int> notifiedB{0};
inline std::atomic<std::thread::id> notifiedOn{};

inline void notifyA()
{
    notifiedOn.store(std::this_thread::get_id());
    ++notifiedA;
}

inline void notifyB()
{
    notifiedOn.store(std::this_thread::get_id());
    ++notifiedB;
}

inline std::int16_t slotAfter(std::int16_t slot, int steps = 1)
{
    return static_cast<std::int16_t>((slot + steps) % playback_slot_count);
}

inline bool slotIsFree(std::int16_t slot)
{
    return (flagsOf(playback_headers[slot]) & WHDR_DONE) != 0;
}

class SteppedRing : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(playback_open(), 0);
        ASSERT_EQ(playback_in_flight.load(), 0);
        notifiedA = 0;
        notifiedB = 0;
    }
    void TearDown() override
    {
        EXPECT_EQ(playback_reset(), 0);
        EXPECT_EQ(playback_close(), 0);
        EXPECT_EQ(playback_in_flight.load(), 0);
    }

    DeviceControl device{true};
};

}  // namespace playbacktest
