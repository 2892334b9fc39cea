#include "playback/playback.h"

#include <atomic>
#include <cstring>

#include "platform/sleep.h"
#include "playback/playback_testing.h"

HWAVEOUT playback_device = nullptr;
WAVEHDR playback_headers[playback_slot_count]{};
BYTE playback_buffers[playback_slot_count][kPlaybackBlockBytes]{};
std::int16_t playback_next_slot = 0;
std::atomic<std::int16_t> playback_in_flight{0};
std::atomic<void (*)()> playback_drain_notify{nullptr};

namespace {

std::atomic<void (*)()> countDownHook{nullptr};

WAVEFORMATEX ringFormat()
{
    WAVEFORMATEX format{};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = 2;
    format.nSamplesPerSec = 44100;
    format.nAvgBytesPerSec = 176400;
    format.nBlockAlign = 4;
    format.wBitsPerSample = 16;
    format.cbSize = 0;
    return format;
}

// Polls once a millisecond while the device holds the slot.
void waitForSlot(WAVEHDR& header)
{
    for (;;) {
        const DWORD flags = std::atomic_ref<DWORD>(header.dwFlags).load();
        if ((flags & WHDR_DONE) != 0 || (flags & WHDR_INQUEUE) == 0) {
            return;
        }
        Sleep(1);
    }
}

void runDry(void (*notify)())
{
    if (notify != nullptr) {
        notify();
    }
}

}  // namespace

std::int32_t playback_open()
{
    const WAVEFORMATEX format = ringFormat();
    MMRESULT result = waveOutOpen(&playback_device, 0, &format, reinterpret_cast<DWORD_PTR>(&playback_on_done), 0,
                                  CALLBACK_FUNCTION);
    if (result != MMSYSERR_NOERROR) {
        return static_cast<std::int32_t>(result);
    }
    for (std::int16_t slot = 0; slot < playback_slot_count; ++slot) {
        WAVEHDR& header = playback_headers[slot];
        header.lpData = reinterpret_cast<char*>(playback_buffers[slot]);
        header.dwBufferLength = kPlaybackBlockBytes;
        header.dwFlags = WHDR_DONE;  // a free slot; preparing keeps the bit
        result = waveOutPrepareHeader(playback_device, &header, sizeof(WAVEHDR));
        if (result != MMSYSERR_NOERROR) {
            return static_cast<std::int32_t>(result);
        }
    }
    return 0;
}

std::int32_t playback_queue(const void* bytes, DWORD length, void (*notify)())
{
    if (length > kPlaybackBlockBytes) {
        return PLAYBACK_ERR_BLOCK_TOO_LONG;
    }
    const std::int16_t slot = playback_next_slot;
    WAVEHDR& header = playback_headers[slot];
    waitForSlot(header);
    if (length != 0) {
        std::memcpy(playback_buffers[slot], bytes, length);
    }
    header.dwBufferLength = length;

    // Counted before the notification is stored, so that no completion of an earlier
    // block can run dry into the new function; both before the hand-over, after which
    // this block's own completion may come at once.
    playback_in_flight.fetch_add(1);
    void (*const replaced)() = notify != nullptr ? playback_drain_notify.exchange(notify) : nullptr;
    const MMRESULT result = waveOutWrite(playback_device, &header, sizeof(WAVEHDR));
    if (result != MMSYSERR_NOERROR) {
        if (notify != nullptr) {
            playback_drain_notify.store(replaced);
        }
        // Completions that came meanwhile could not see 0 past this block's count.
        // Only this thread stores the notification, so it may be read after the count.
        if (playback_in_flight.fetch_sub(1) == 1) {
            runDry(playback_drain_notify.load());
        }
        return static_cast<std::int32_t>(result);
    }
    playback_next_slot = static_cast<std::int16_t>((slot + 1) % playback_slot_count);
    return 0;
}

void playback_wait_for_slot()
{
    std::atomic_ref<DWORD> flags(playback_headers[playback_next_slot].dwFlags);
    for (DWORD seen = flags.load(); (seen & WHDR_DONE) == 0 && (seen & WHDR_INQUEUE) != 0; seen = flags.load()) {
        flags.wait(seen);  // the device's markDone wakes it
    }
}

void playback_on_done(HWAVEOUT, UINT message, DWORD_PTR, DWORD_PTR, DWORD_PTR)
{
    if (message != WOM_DONE) {
        return;
    }
    // The notification is read once, before the count falls: as soon as it is 0 a
    // queueing call may count a new block and store that block's function, which must
    // not run for the blocks drained here. The count is judged by the value this
    // decrement produced, not a second read, which a queueing call could have raised.
    void (*const notify)() = playback_drain_notify.load();
    const bool ranDry = playback_in_flight.fetch_sub(1) == 1;
    if (void (*const hook)() = countDownHook.load()) {
        hook();
    }
    if (ranDry) {
        runDry(notify);
    }
}

std::int32_t playback_reset()
{
    waveOutReset(playback_device);
    return 0;
}

std::int32_t playback_close()
{
    return static_cast<std::int32_t>(waveOutClose(playback_device));
}

void playback_set_count_down_hook_for_testing(void (*hook)())
{
    countDownHook.store(hook);
}
