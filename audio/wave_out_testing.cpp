// The wave output stand-in's test controls: its pace (speed, stepping, eager writes) and
// the record of what it played, set through wave_out_testing.h and asked by the device.

#include "audio/wave_out_testing.h"

#include <algorithm>
#include <utility>

#include "audio/wave_out_stand_in.h"

std::chrono::steady_clock::duration StandInControls::playingTime(DWORD bytes, DWORD bytesPerSecond) const
{
    if (speed == 0) {
        return std::chrono::steady_clock::duration::zero();
    }
    const std::uint64_t bytesPerSecondAtSpeed = std::uint64_t{bytesPerSecond} * speed;
    const std::chrono::nanoseconds time(std::uint64_t{bytes} * 1'000'000'000u / bytesPerSecondAtSpeed);
    return std::chrono::duration_cast<std::chrono::steady_clock::duration>(time);
}

void StandInControls::notePlayed(const WAVEHDR& header)
{
    if (stepped && steps > 0) {
        --steps;
    }
    if (recording) {
        recorded.insert(recorded.end(), header.lpData, header.lpData + header.dwBufferLength);
    }
}

namespace {

// A new pace takes effect at once: a block being played is played anew at it.
template <class Change>
void changePace(Change change)
{
    StandInShared& s = standInShared();
    const std::lock_guard lock(s.mutex);
    change(s.controls);
    ++s.controls.paceChanges;
    s.changed.notify_all();
}

}  // namespace

void waveOutSetSpeedForTesting(DWORD times)
{
    changePace([&](StandInControls& controls) { controls.speed = times; });
}

void waveOutSetSteppedForTesting(bool stepped)
{
    changePace([&](StandInControls& controls) {
        controls.stepped = stepped;
        controls.steps = 0;
    });
}

void waveOutSetEagerForTesting(bool eager)
{
    StandInShared& s = standInShared();
    const std::lock_guard lock(s.mutex);
    s.controls.eager = eager;
}

DWORD waveOutStepForTesting(DWORD blocks)
{
    StandInShared& s = standInShared();
    std::unique_lock lock(s.mutex);
    if (!s.controls.stepped || !s.open) {
        return 0;
    }
    const std::uint64_t held = s.held.size();
    const std::uint64_t count = std::min<std::uint64_t>(blocks, held - s.controls.steps);
    // Blocks are answered in the order written, so the count of answered blocks tells
    // when the last of these has had its callback.
    const std::uint64_t answeredWhenDone = s.blocksWritten - held + s.controls.steps + count;
    s.controls.steps += count;
    s.changed.notify_all();
    s.changed.wait(lock, [&] { return s.blocksAnswered >= answeredWhenDone; });
    return static_cast<DWORD>(count);
}

void waveOutSetRecordingForTesting(bool recording)
{
    StandInShared& s = standInShared();
    const std::lock_guard lock(s.mutex);
    s.controls.recording = recording;
}

std::vector<BYTE> waveOutTakeRecordingForTesting()
{
    StandInShared& s = standInShared();
    const std::lock_guard lock(s.mutex);
    return std::exchange(s.controls.recorded, {});
}
