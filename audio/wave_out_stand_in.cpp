// The wave output stand-in's device: a thread that plays the blocks written to it in
// order, each for as long as its bytes last at the format's byte rate, and hands each
// back through the client's callback on that thread. Its test controls (pace, stepping,
// recording) are in wave_out_testing.cpp; the device only asks them.

#include <algorithm>
#include <new>
#include <system_error>
#include <thread>

#include "audio/wave_out_stand_in.h"

namespace {

using Clock = std::chrono::steady_clock;

class StandInDevice final : public WaveOutDevice {
public:
    StandInDevice(const WaveOutClient& client, DWORD bytesPerSecond)
        : client_(client), bytesPerSecond_(bytesPerSecond)
    {
    }

    MMRESULT start();
    MMRESULT write(WAVEHDR& header) override;
    void reset() override;
    MMRESULT close() override;

private:
    void play();
    void handBackOldest(std::unique_lock<std::mutex>& lock, bool played);
    void handBackAllHeld(std::unique_lock<std::mutex>& lock);

    WaveOutClient client_;
    DWORD bytesPerSecond_;
    std::uint64_t resetsAsked_ = 0;
    std::uint64_t resetsDone_ = 0;
    bool closing_ = false;
    std::thread thread_;
};

MMRESULT StandInDevice::start()
{
    StandInShared& s = standInShared();
    const std::lock_guard lock(s.mutex);
    try {
        thread_ = std::thread(&StandInDevice::play, this);
    } catch (const std::system_error&) {
        return MMSYSERR_NOMEM;
    }
    s.open = true;
    return MMSYSERR_NOERROR;
}

MMRESULT StandInDevice::write(WAVEHDR& header)
{
    StandInShared& s = standInShared();
    std::unique_lock lock(s.mutex);
    try {
        s.held.push_back(&header);
    } catch (const std::bad_alloc&) {
        return MMSYSERR_NOMEM;
    }
    markHeld(header);
    ++s.blocksWritten;
    s.changed.notify_all();
    if (s.controls.eager && !s.controls.stepped) {
        const std::uint64_t written = s.blocksWritten;
        s.changed.wait(lock, [&] { return s.blocksAnswered >= written; });
    }
    return MMSYSERR_NOERROR;
}

void StandInDevice::reset()
{
    StandInShared& s = standInShared();
    std::unique_lock lock(s.mutex);
    const std::uint64_t written = s.blocksWritten;
    ++resetsAsked_;
    s.changed.notify_all();
    s.changed.wait(lock, [&] { return s.blocksAnswered >= written; });
}

MMRESULT StandInDevice::close()
{
    StandInShared& s = standInShared();
    std::unique_lock lock(s.mutex);
    if (!s.held.empty()) {
        return WAVERR_STILLPLAYING;
    }
    closing_ = true;
    s.open = false;
    s.changed.notify_all();
    lock.unlock();
    // A block already marked done may still be in its callback; the join waits for it
    // and for WOM_CLOSE, so no callback comes after this returns.
    thread_.join();
    return MMSYSERR_NOERROR;
}

// Hands the oldest held block back: done in one step, so no one sees it neither held nor
// done, then its WOM_DONE without the lock, so that a slow callback holds up no caller.
void StandInDevice::handBackOldest(std::unique_lock<std::mutex>& lock, bool played)
{
    StandInShared& s = standInShared();
    WAVEHDR* header = s.held.front();
    s.held.pop_front();
    if (played) {
        s.controls.notePlayed(*header);
    }
    markDone(*header);
    lock.unlock();
    client_.send(WOM_DONE, reinterpret_cast<DWORD_PTR>(header));
    lock.lock();
    ++s.blocksAnswered;
    s.changed.notify_all();
}

void StandInDevice::handBackAllHeld(std::unique_lock<std::mutex>& lock)
{
    // Only those held now. A callback may not write a block meanwhile (wave_out.h): the
    // write would wait for the lock of the reset that is waiting for the callback.
    for (std::size_t count = standInShared().held.size(); count > 0; --count) {
        handBackOldest(lock, false);
    }
}

// The device's thread.
void StandInDevice::play()
{
    StandInShared& s = standInShared();
    client_.send(WOM_OPEN, 0);
    std::unique_lock lock(s.mutex);
    Clock::time_point soundEnds = Clock::now();
    for (;;) {
        s.changed.wait(lock, [&] {
            return closing_ || resetsAsked_ != resetsDone_ || (!s.held.empty() && s.controls.mayFinish());
        });
        if (resetsAsked_ != resetsDone_) {
            const std::uint64_t asked = resetsAsked_;
            handBackAllHeld(lock);
            resetsDone_ = asked;
            s.controls.steps = 0;
            soundEnds = Clock::now();
            s.changed.notify_all();
            continue;
        }
        if (closing_) {
            break;
        }
        if (s.controls.stepped) {
            handBackOldest(lock, true);
            continue;
        }
        // A block follows the sound before it without a gap, or starts now after a pause.
        const Clock::time_point start = std::max(soundEnds, Clock::now());
        const Clock::time_point end = start + s.controls.playingTime(s.held.front()->dwBufferLength, bytesPerSecond_);
        const std::uint64_t pace = s.controls.paceChanges;
        const bool interrupted = s.changed.wait_until(
            lock, end, [&] { return resetsAsked_ != resetsDone_ || s.controls.paceChanges != pace; });
        if (interrupted) {
            continue;  // a reset hands the block back; a new pace plays it anew
        }
        soundEnds = end;
        handBackOldest(lock, true);
    }
    lock.unlock();
    client_.send(WOM_CLOSE, 0);
}

}  // namespace

StandInShared& standInShared()
{
    static StandInShared* const instance = new StandInShared;
    return *instance;
}

MMRESULT openStandInWaveOut(const WaveOutClient& client, DWORD bytesPerSecond, std::unique_ptr<WaveOutDevice>* device)
{
    auto opened = std::unique_ptr<StandInDevice>(new (std::nothrow) StandInDevice(client, bytesPerSecond));
    if (!opened) {
        return MMSYSERR_NOMEM;
    }
    if (const MMRESULT result = opened->start(); result != MMSYSERR_NOERROR) {
        return result;
    }
    *device = std::move(opened);
    return MMSYSERR_NOERROR;
}
