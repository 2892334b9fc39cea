#include "play/playback_events.h"

#include <condition_variable>
#include <mutex>

namespace playback_events {
namespace {

struct Events {
    std::mutex mutex;
    std::condition_variable changed;
    std::uint64_t dries = 0;
    bool interrupted = false;
};

// Never destroyed: the device's thread may still report as the process ends.
Events& events()
{
    static Events* const instance = new Events;
    return *instance;
}

}  // namespace

void ringRanDry()
{
    Events& e = events();
    std::lock_guard lock(e.mutex);
    ++e.dries;
    e.changed.notify_all();
}

std::uint64_t dryCount()
{
    Events& e = events();
    std::lock_guard lock(e.mutex);
    return e.dries;
}

bool waitForDryBeyond(std::uint64_t count)
{
    Events& e = events();
    std::unique_lock lock(e.mutex);
    e.changed.wait(lock, [&] { return e.interrupted || e.dries > count; });
    return !e.interrupted;
}

void interrupt()
{
    Events& e = events();
    std::lock_guard lock(e.mutex);
    e.interrupted = true;
    e.changed.notify_all();
}

bool interrupted()
{
    Events& e = events();
    std::lock_guard lock(e.mutex);
    return e.interrupted;
}

}  // namespace playback_events
