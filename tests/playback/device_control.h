#pragma once
// For the playback tests: the wave output device under the test's control, and a wait
// for what another thread does.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <thread>
#include <vector>

#include "audio/wave_out.h"
#include "audio/wave_out_testing.h"

namespace playbacktest {

// Sets the device's pace and starts an empty record for one test; back to real time,
// and no record, after it.
class DeviceControl {
public:
    explicit DeviceControl(bool stepped, DWORD speed = 1)
    {
        waveOutSetSteppedForTesting(stepped);
        waveOutSetSpeedForTesting(speed);
        waveOutSetRecordingForTesting(true);
        waveOutTakeRecordingForTesting();
    }
    ~DeviceControl()
    {
        waveOutSetSteppedForTesting(false);
        waveOutSetSpeedForTesting(1);
        waveOutSetEagerForTesting(false);
        waveOutSetRecordingForTesting(false);
        waveOutTakeRecordingForTesting();
    }
    DeviceControl(const DeviceControl&) = delete;
    DeviceControl& operator=(const DeviceControl&) = delete;
};

// True once `condition` holds. The bound only turns a hang into a failure; it is far
// beyond any wait a correct program has.
template <class Condition>
bool eventually(Condition condition)
{
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > giveUp) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return true;
}

// A header's flags, which the device's thread may be setting meanwhile; only read.
inline DWORD flagsOf(const WAVEHDR& header)
{
    return std::atomic_ref<DWORD>(const_cast<DWORD&>(header.dwFlags)).load();
}

// Bytes that tell blocks and positions apart.
inline std::vector<BYTE> blockBytes(std::uint32_t seed, std::size_t length)
{
    std::vector<BYTE> bytes(length);
    std::uint32_t state = seed * 2654435761u + 1;
    for (BYTE& byte : bytes) {
        state = state * 1664525u + 1013904223u;
        byte = static_cast<BYTE>(state >> 24);
    }
    return bytes;
}

}  // namespace playbacktest
