#include "platform/wave_out.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <new>
#include <string>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "platform/alsa_wave_out.h"
#include "platform/wave_out_device_name.h"
#include "platform/wave_out_format.h"
#include "platform/wave_out_testing.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Device {
    HWAVEOUT handle = nullptr;
    WaveOutProc callback = nullptr;
    DWORD_PTR instance = 0;
    DWORD bytesPerSecond = 0;
    std::deque<WAVEHDR*> held;  // written and not yet handed back, oldest first
    std::uint64_t resetsAsked = 0;
    std::uint64_t resetsDone = 0;
    bool closing = false;
    std::thread thread;
};

// What the callers' threads and the device's thread share, all under one lock. Never
// destroyed, so that a device still open at process exit does not outlive its lock.
struct Shared {
    std::mutex mutex;
    std::condition_variable changed;
    Device* open = nullptr;
    std::uintptr_t handlesIssued = 0;
    // Counted over every opening, so that a waiter needs no device that may be gone.
    std::uint64_t blocksWritten = 0;
    std::uint64_t blocksAnswered = 0;  // handed back and their WOM_DONE returned
    // The test hook's pace and record.
    DWORD speed = 1;
    bool stepped = false;
    bool eager = false;
    std::uint64_t steps = 0;  // blocks the device may still finish while stepped
    std::uint64_t paceChanges = 0;
    bool recording = false;
    std::vector<BYTE> recorded;
};

Shared& shared()
{
    static Shared* const instance = new Shared;
    return *instance;
}

Device* findOpen(Shared& s, HWAVEOUT handle)
{
    return handle != nullptr && s.open != nullptr && s.open->handle == handle ? s.open : nullptr;
}

bool isHeaderArgument(const WAVEHDR* header, UINT headerSize)
{
    return header != nullptr && headerSize == sizeof(WAVEHDR);
}

// The common gate of the header calls, taken with the lock held: an open device and a
// header of the platform's size.
MMRESULT checkHeaderCall(Shared& s, HWAVEOUT device, const WAVEHDR* header, UINT headerSize)
{
    if (findOpen(s, device) == nullptr) {
        return MMSYSERR_INVALHANDLE;
    }
    return isHeaderArgument(header, headerSize) ? MMSYSERR_NOERROR : MMSYSERR_INVALPARAM;
}

Clock::duration playingTime(DWORD bytes, DWORD bytesPerSecond, DWORD speed)
{
    if (speed == 0) {
        return Clock::duration::zero();
    }
    const std::uint64_t bytesPerSecondAtSpeed = std::uint64_t{bytesPerSecond} * speed;
    const std::chrono::nanoseconds time(std::uint64_t{bytes} * 1'000'000'000u / bytesPerSecondAtSpeed);
    return std::chrono::duration_cast<Clock::duration>(time);
}

void send(const Device& device, UINT message, DWORD_PTR param1)
{
    if (device.callback != nullptr) {
        device.callback(device.handle, message, device.instance, param1, 0);
    }
}

// Hands the oldest held block back: done in one step, so no one sees it neither held nor
// done, then its WOM_DONE without the lock, so that a slow callback holds up no caller.
void handBackOldest(Shared& s, Device& device, std::unique_lock<std::mutex>& lock, bool played)
{
    WAVEHDR* header = device.held.front();
    device.held.pop_front();
    if (played && s.recording) {
        s.recorded.insert(s.recorded.end(), header->lpData, header->lpData + header->dwBufferLength);
    }
    header->dwFlags.store((header->dwFlags.load() & ~WHDR_INQUEUE) | WHDR_DONE);
    lock.unlock();
    send(device, WOM_DONE, reinterpret_cast<DWORD_PTR>(header));
    lock.lock();
    ++s.blocksAnswered;
    s.changed.notify_all();
}

void handBackAllHeld(Shared& s, Device& device, std::unique_lock<std::mutex>& lock)
{
    // Only those held now: a block the callbacks write meanwhile is played as usual.
    for (std::size_t count = device.held.size(); count > 0; --count) {
        handBackOldest(s, device, lock, false);
    }
}

// The device's thread.
void play(Device& device)
{
    Shared& s = shared();
    send(device, WOM_OPEN, 0);
    std::unique_lock lock(s.mutex);
    Clock::time_point soundEnds = Clock::now();
    for (;;) {
        s.changed.wait(lock, [&] {
            return device.closing || device.resetsAsked != device.resetsDone ||
                   (!device.held.empty() && (!s.stepped || s.steps > 0));
        });
        if (device.resetsAsked != device.resetsDone) {
            const std::uint64_t asked = device.resetsAsked;
            handBackAllHeld(s, device, lock);
            device.resetsDone = asked;
            s.steps = 0;
            soundEnds = Clock::now();
            s.changed.notify_all();
            continue;
        }
        if (device.closing) {
            break;
        }
        if (s.stepped) {
            --s.steps;
            handBackOldest(s, device, lock, true);
            continue;
        }
        // A block follows the sound before it without a gap, or starts now after a pause.
        const Clock::time_point start = std::max(soundEnds, Clock::now());
        const Clock::time_point end =
            start + playingTime(device.held.front()->dwBufferLength, device.bytesPerSecond, s.speed);
        const std::uint64_t pace = s.paceChanges;
        const bool interrupted = s.changed.wait_until(
            lock, end, [&] { return device.resetsAsked != device.resetsDone || s.paceChanges != pace; });
        if (interrupted) {
            continue;  // a reset hands the block back; a new pace plays it anew
        }
        soundEnds = end;
        handBackOldest(s, device, lock, true);
    }
    lock.unlock();
    send(device, WOM_CLOSE, 0);
}

}  // namespace

MMRESULT waveOutOpen(HWAVEOUT* device, UINT deviceId, const WAVEFORMATEX* format, DWORD_PTR callback,
                     DWORD_PTR instance, DWORD flags)
{
    if (device == nullptr || format == nullptr) {
        return MMSYSERR_INVALPARAM;
    }
    if (deviceId != 0) {
        return MMSYSERR_BADDEVICEID;
    }
    if (!isWaveOutDeviceFormat(*format)) {
        return WAVERR_BADFORMAT;
    }
    if (flags != CALLBACK_NULL && !(flags == CALLBACK_FUNCTION && callback != 0)) {
        return MMSYSERR_INVALPARAM;
    }
    if (const std::string name = waveOutDeviceName(); name != kSimulatedDeviceName) {
        return alsaWaveOutOpen(device, name.c_str(), format,
                               flags == CALLBACK_FUNCTION ? reinterpret_cast<WaveOutProc>(callback) : nullptr, instance);
    }
    Shared& s = shared();
    std::lock_guard lock(s.mutex);
    if (s.open != nullptr) {
        return MMSYSERR_ALLOCATED;
    }
    Device* opened = new (std::nothrow) Device;
    if (opened == nullptr) {
        return MMSYSERR_NOMEM;
    }
    opened->handle = reinterpret_cast<HWAVEOUT>(++s.handlesIssued);
    opened->callback = flags == CALLBACK_FUNCTION ? reinterpret_cast<WaveOutProc>(callback) : nullptr;
    opened->instance = instance;
    opened->bytesPerSecond = format->nAvgBytesPerSec;
    try {
        opened->thread = std::thread(play, std::ref(*opened));
    } catch (const std::system_error&) {
        delete opened;
        return MMSYSERR_NOMEM;
    }
    s.open = opened;
    *device = opened->handle;
    return MMSYSERR_NOERROR;
}

MMRESULT waveOutPrepareHeader(HWAVEOUT device, WAVEHDR* header, UINT headerSize)
{
    if (alsaWaveOutOwns(device)) {
        return alsaWaveOutPrepareHeader(device, header, headerSize);
    }
    Shared& s = shared();
    std::lock_guard lock(s.mutex);
    if (const MMRESULT result = checkHeaderCall(s, device, header, headerSize); result != MMSYSERR_NOERROR) {
        return result;
    }
    header->dwFlags.fetch_or(WHDR_PREPARED);
    return MMSYSERR_NOERROR;
}

MMRESULT waveOutUnprepareHeader(HWAVEOUT device, WAVEHDR* header, UINT headerSize)
{
    if (alsaWaveOutOwns(device)) {
        return alsaWaveOutUnprepareHeader(device, header, headerSize);
    }
    Shared& s = shared();
    std::lock_guard lock(s.mutex);
    if (const MMRESULT result = checkHeaderCall(s, device, header, headerSize); result != MMSYSERR_NOERROR) {
        return result;
    }
    if ((header->dwFlags.load() & WHDR_INQUEUE) != 0) {
        return WAVERR_STILLPLAYING;
    }
    header->dwFlags.fetch_and(~WHDR_PREPARED);
    return MMSYSERR_NOERROR;
}

MMRESULT waveOutWrite(HWAVEOUT device, WAVEHDR* header, UINT headerSize)
{
    if (alsaWaveOutOwns(device)) {
        return alsaWaveOutWrite(device, header, headerSize);
    }
    Shared& s = shared();
    std::unique_lock lock(s.mutex);
    Device* open = findOpen(s, device);
    if (open == nullptr) {
        return MMSYSERR_INVALHANDLE;
    }
    if (!isHeaderArgument(header, headerSize) || (header->lpData == nullptr && header->dwBufferLength != 0)) {
        return MMSYSERR_INVALPARAM;
    }
    const DWORD flags = header->dwFlags.load();
    if ((flags & WHDR_PREPARED) == 0) {
        return WAVERR_UNPREPARED;
    }
    if ((flags & WHDR_INQUEUE) != 0) {
        return WAVERR_STILLPLAYING;
    }
    try {
        open->held.push_back(header);
    } catch (const std::bad_alloc&) {
        return MMSYSERR_NOMEM;
    }
    header->dwFlags.store((flags & ~WHDR_DONE) | WHDR_INQUEUE);
    ++s.blocksWritten;
    s.changed.notify_all();
    if (s.eager && !s.stepped) {
        const std::uint64_t written = s.blocksWritten;
        s.changed.wait(lock, [&] { return s.blocksAnswered >= written; });
    }
    return MMSYSERR_NOERROR;
}

MMRESULT waveOutReset(HWAVEOUT device)
{
    if (alsaWaveOutOwns(device)) {
        return alsaWaveOutReset(device);
    }
    Shared& s = shared();
    std::unique_lock lock(s.mutex);
    Device* open = findOpen(s, device);
    if (open == nullptr) {
        return MMSYSERR_INVALHANDLE;
    }
    const std::uint64_t written = s.blocksWritten;
    ++open->resetsAsked;
    s.changed.notify_all();
    s.changed.wait(lock, [&] { return s.blocksAnswered >= written; });
    return MMSYSERR_NOERROR;
}

MMRESULT waveOutClose(HWAVEOUT device)
{
    if (alsaWaveOutOwns(device)) {
        return alsaWaveOutClose(device);
    }
    Shared& s = shared();
    std::unique_lock lock(s.mutex);
    Device* open = findOpen(s, device);
    if (open == nullptr) {
        return MMSYSERR_INVALHANDLE;
    }
    if (!open->held.empty()) {
        return WAVERR_STILLPLAYING;
    }
    open->closing = true;
    s.open = nullptr;
    s.changed.notify_all();
    lock.unlock();
    // A block already marked done may still be in its callback; the join waits for it
    // and for WOM_CLOSE, so no callback comes after this returns.
    open->thread.join();
    delete open;
    return MMSYSERR_NOERROR;
}

void waveOutSetSpeedForTesting(DWORD times)
{
    Shared& s = shared();
    std::lock_guard lock(s.mutex);
    s.speed = times;
    ++s.paceChanges;
    s.changed.notify_all();
}

void waveOutSetSteppedForTesting(bool stepped)
{
    Shared& s = shared();
    std::lock_guard lock(s.mutex);
    s.stepped = stepped;
    s.steps = 0;
    ++s.paceChanges;
    s.changed.notify_all();
}

void waveOutSetEagerForTesting(bool eager)
{
    Shared& s = shared();
    std::lock_guard lock(s.mutex);
    s.eager = eager;
}

DWORD waveOutStepForTesting(DWORD blocks)
{
    Shared& s = shared();
    std::unique_lock lock(s.mutex);
    if (!s.stepped || s.open == nullptr) {
        return 0;
    }
    const std::uint64_t held = s.open->held.size();
    const std::uint64_t count = std::min<std::uint64_t>(blocks, held - s.steps);
    // Blocks are answered in the order written, so the count of answered blocks tells
    // when the last of these has had its callback.
    const std::uint64_t answeredWhenDone = s.blocksWritten - held + s.steps + count;
    s.steps += count;
    s.changed.notify_all();
    s.changed.wait(lock, [&] { return s.blocksAnswered >= answeredWhenDone; });
    return static_cast<DWORD>(count);
}

void waveOutSetRecordingForTesting(bool recording)
{
    Shared& s = shared();
    std::lock_guard lock(s.mutex);
    s.recording = recording;
}

std::vector<BYTE> waveOutTakeRecordingForTesting()
{
    Shared& s = shared();
    std::lock_guard lock(s.mutex);
    return std::exchange(s.recorded, {});
}
