#include "play/playback_events.h"

#include <array>
#include <condition_variable>
#include <mutex>

#include "playback/playback.h"

namespace playback_events {
namespace {

struct Events {
    // Held across a hand-over and by interrupt(): never inside `mutex`, which the ring's
    // notification takes (also on the caller's thread, when a hand-over fails).
    std::mutex handOver;
    std::mutex mutex;
    std::condition_variable changed;
    std::array<std::uint64_t, kLanes> dries{};
    int signal = 0;
};

// Never destroyed: the device's thread may still report as the process ends.
Events& events()
{
    static Events* const instance = new Events;
    return *instance;
}

template <std::size_t lane>
void ranDry()
{
    Events& e = events();
    std::lock_guard lock(e.mutex);
    ++e.dries[lane];
    e.changed.notify_all();
}

template <class Done>
bool waitFor(Done done)
{
    Events& e = events();
    std::unique_lock lock(e.mutex);
    e.changed.wait(lock, [&] { return e.signal != 0 || done(e); });
    return e.signal == 0;
}

}  // namespace

Notification ringRanDry(std::size_t lane)
{
    return lane == 0 ? ranDry<0> : ranDry<1>;
}

std::uint64_t dryCount(std::size_t lane)
{
    Events& e = events();
    std::lock_guard lock(e.mutex);
    return e.dries[lane];
}

std::uint64_t dryCount()
{
    Events& e = events();
    std::lock_guard lock(e.mutex);
    return e.dries[0] + e.dries[1];
}

bool waitForDryBeyond(std::size_t lane, std::uint64_t count)
{
    return waitFor([&](const Events& e) { return e.dries[lane] > count; });
}

bool waitForAnyDryBeyond(std::uint64_t count)
{
    return waitFor([&](const Events& e) { return e.dries[0] + e.dries[1] > count; });
}

void interrupt(int signal)
{
    Events& e = events();
    const std::lock_guard handOver(e.handOver);
    const std::lock_guard lock(e.mutex);
    if (e.signal == 0) {
        e.signal = signal;
    }
    e.changed.notify_all();
}

int interruptSignal()
{
    Events& e = events();
    std::lock_guard lock(e.mutex);
    return e.signal;
}

bool interrupted()
{
    return interruptSignal() != 0;
}

std::optional<std::int32_t> queueUnlessInterrupted(const void* bytes, DWORD length, Notification notify)
{
    const std::lock_guard handOver(events().handOver);
    if (interrupted()) {
        return std::nullopt;
    }
    return playback_queue(bytes, length, notify);
}

}  // namespace playback_events
