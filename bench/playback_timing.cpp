// Times the wave output device under the ring on whatever PCMWRAP_AUDIO_DEVICE names
// (best a device that plays in real time): how far apart full 8192-byte blocks come
// back while the device is kept supplied, how long a reset takes with four blocks
// queued, and how long a lone block takes from its write until it is back.
// scripts/measure-playback.sh runs it against a PulseAudio null sink.

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "convert/pcm_settings.h"
#include "audio/wave_out.h"
#include "audio/wave_out_device_name.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr DWORD kBlockBytes = 8192;
constexpr int kSlots = 4;

std::mutex mutex;
std::condition_variable changed;
std::deque<WAVEHDR*> returned;
std::vector<Clock::time_point> completions;

void onMessage(HWAVEOUT, UINT message, DWORD_PTR, DWORD_PTR header, DWORD_PTR)
{
    if (message != WOM_DONE) {
        return;
    }
    std::lock_guard lock(mutex);
    completions.push_back(Clock::now());
    returned.push_back(reinterpret_cast<WAVEHDR*>(header));
    changed.notify_all();
}

WAVEHDR* nextReturned()
{
    std::unique_lock lock(mutex);
    changed.wait(lock, [] { return !returned.empty(); });
    WAVEHDR* header = returned.front();
    returned.pop_front();
    return header;
}

double milliseconds(Clock::duration duration)
{
    return std::chrono::duration<double, std::milli>(duration).count();
}

void printSpread(const char* what, std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    std::printf("%s: median %.2f ms, min %.2f ms, max %.2f ms over %zu\n", what, values[values.size() / 2],
                values.front(), values.back(), values.size());
}

}  // namespace

int main(int argc, char** argv)
{
    const int blocks = argc > 1 ? std::max(std::atoi(argv[1]), 8) : 200;
    const WAVEFORMATEX format = pcmFormatRecord(PcmSettings{2, 44100, 16});
    HWAVEOUT device = nullptr;
    if (const MMRESULT result = waveOutOpen(&device, 0, &format, reinterpret_cast<DWORD_PTR>(&onMessage), 0,
                                            CALLBACK_FUNCTION);
        result != MMSYSERR_NOERROR) {
        std::printf("cannot open <%s>: %u\n", waveOutDeviceName().c_str(), result);
        return 1;
    }
    std::vector<std::vector<char>> buffers(kSlots, std::vector<char>(kBlockBytes, 0));
    std::vector<WAVEHDR> headers(kSlots);
    for (int slot = 0; slot < kSlots; ++slot) {
        headers[slot].lpData = buffers[slot].data();
        headers[slot].dwBufferLength = kBlockBytes;
        headers[slot].dwFlags = WHDR_DONE;
        waveOutPrepareHeader(device, &headers[slot], sizeof(WAVEHDR));
    }

    // Kept supplied: each block that comes back is written again at once.
    const Clock::time_point start = Clock::now();
    for (WAVEHDR& header : headers) {
        waveOutWrite(device, &header, sizeof(WAVEHDR));
    }
    for (int written = kSlots; written < blocks; ++written) {
        waveOutWrite(device, nextReturned(), sizeof(WAVEHDR));
    }
    for (int slot = 0; slot < kSlots; ++slot) {
        nextReturned();
    }
    const Clock::time_point end = Clock::now();
    std::vector<double> spacing;
    {
        std::lock_guard lock(mutex);
        // The first blocks fill the device's buffer and the server's; the rest show the pace.
        for (std::size_t i = kSlots + 1; i < completions.size(); ++i) {
            spacing.push_back(milliseconds(completions[i] - completions[i - 1]));
        }
        std::printf("device <%s>: %d blocks of %u bytes in %.1f ms (%.2f ms a block; %.2f ms of sound each)\n",
                    waveOutDeviceName().c_str(), blocks, kBlockBytes, milliseconds(end - start),
                    milliseconds(end - start) / blocks, kBlockBytes * 1000.0 / 176400);
        // The first ones show the latency of what lies behind ALSA (a sound server's buffer).
        std::printf("first blocks back after");
        for (std::size_t i = 0; i < 5; ++i) {
            std::printf(" %.1f", milliseconds(completions[i] - start));
        }
        std::printf(" ms\n");
        completions.clear();
    }
    printSpread("completion spacing", spacing);

    // Reset with four blocks queued, a little after the sound has started.
    std::vector<double> resets;
    for (int round = 0; round < 10; ++round) {
        for (WAVEHDR& header : headers) {
            waveOutWrite(device, &header, sizeof(WAVEHDR));
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(60));
        const Clock::time_point asked = Clock::now();
        waveOutReset(device);
        resets.push_back(milliseconds(Clock::now() - asked));
        std::lock_guard lock(mutex);
        returned.clear();
        completions.clear();
    }
    printSpread("reset with blocks queued, until every block is back", resets);

    // One block on a device that has run dry: back once played, at the end of the
    // underrun that follows it, not a wait later.
    std::vector<double> lone;
    for (int round = 0; round < 10; ++round) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        const Clock::time_point written = Clock::now();
        waveOutWrite(device, &headers[0], sizeof(WAVEHDR));
        nextReturned();
        lone.push_back(milliseconds(Clock::now() - written));
    }
    printSpread("a lone full block, written until back", lone);
    return waveOutClose(device) == MMSYSERR_NOERROR ? 0 : 1;
}
