#include "audio/alsa_wave_out.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>
#include <exception>
#include <mutex>
#include <new>
#include <thread>

#include "audio/alsa_device_thread.h"
#include "audio/alsa_pcm.h"

namespace {

constexpr std::uint64_t kFramesHeldWithoutWake = 3 * kAlsaPeriodFrames;

void wake(const AlsaShared& device)
{
    const std::uint64_t one = 1;
    // The counter only saturates far beyond any number of commands; a failed write
    // would leave the eventfd readable anyway.
    [[maybe_unused]] const ssize_t written = ::write(device.wakeup, &one, sizeof one);
}

class AlsaWaveOut : public WaveOutDevice {
public:
    AlsaWaveOut(const WaveOutClient& client, snd_pcm_t* pcm, int wakeup)
    {
        shared_.client = client;
        shared_.pcm = pcm;
        shared_.wakeup = wakeup;
        // From here until the close, only this thread calls ALSA on the PCM.
        thread_ = std::thread([this] { runAlsaDeviceThread(shared_); });
    }

    ~AlsaWaveOut() override
    {
        if (thread_.joinable()) {
            stop();
        }
        ::close(shared_.wakeup);
    }

    MMRESULT write(WAVEHDR& header) override
    {
        bool wakeNeeded = false;
        {
            const std::lock_guard lock(shared_.mutex);
            if (shared_.failure != MMSYSERR_NOERROR) {
                return shared_.failure;
            }
            try {
                shared_.written.push_back(&header);
            } catch (const std::bad_alloc&) {
                return MMSYSERR_NOMEM;
            }
            markHeld(header);
            // A device thread that holds three periods of sound wakes within a period
            // anyway, to hand the oldest block back, and takes this one then, with two
            // periods still ahead: waking it for every block would double its wake-ups.
            wakeNeeded = shared_.heldFrames < kFramesHeldWithoutWake;
            ++shared_.held;
            shared_.heldFrames += header.dwBufferLength / kAlsaFrameBytes;
        }
        if (wakeNeeded) {
            wake(shared_);
        }
        return MMSYSERR_NOERROR;
    }

    void reset() override
    {
        std::unique_lock lock(shared_.mutex);
        const std::uint64_t asked = ++shared_.resetsAsked;
        wake(shared_);
        shared_.changed.wait(lock, [&] { return shared_.resetsDone >= asked; });
    }

    MMRESULT close() override
    {
        {
            const std::lock_guard lock(shared_.mutex);
            if (shared_.held != 0) {
                return WAVERR_STILLPLAYING;
            }
        }
        stop();
        return MMSYSERR_NOERROR;
    }

private:
    // A block already marked done may still be in its callback; the join waits for it
    // and for WOM_CLOSE, so no callback comes after this returns.
    void stop()
    {
        {
            const std::lock_guard lock(shared_.mutex);
            shared_.closing = true;
        }
        wake(shared_);
        thread_.join();
    }

    AlsaShared shared_;
    std::thread thread_;
};

}  // namespace

MMRESULT openAlsaWaveOut(const WaveOutClient& client, const char* pcmName, std::unique_ptr<WaveOutDevice>* device)
{
    snd_pcm_t* pcm = nullptr;
    if (const MMRESULT result = alsaOpenPcm(pcmName, &pcm); result != MMSYSERR_NOERROR) {
        return result;
    }
    const int wakeup = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (wakeup < 0) {
        snd_pcm_close(pcm);
        return MMSYSERR_NOMEM;
    }
    try {
        *device = std::make_unique<AlsaWaveOut>(client, pcm, wakeup);
    } catch (const std::exception&) {
        ::close(wakeup);
        snd_pcm_close(pcm);
        return MMSYSERR_NOMEM;
    }
    return MMSYSERR_NOERROR;
}
