#include "platform/alsa_wave_out.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>
#include <vector>

#include "platform/alsa_pcm.h"
#include "platform/wave_out_format.h"

namespace {

// One opening. The callers' threads and the device thread share what stands under the
// lock; the PCM is the device thread's alone.
struct AlsaDevice {
    HWAVEOUT handle = nullptr;
    WaveOutProc callback = nullptr;
    DWORD_PTR instance = 0;
    snd_pcm_t* pcm = nullptr;
    int wakeup = -1;  // an eventfd: a command waits for the device thread
    std::thread thread;

    std::mutex mutex;
    std::condition_variable changed;
    std::deque<WAVEHDR*> written;  // written and not yet taken by the device thread
    std::size_t held = 0;          // written and not yet handed back
    std::uint64_t resetsAsked = 0;
    std::uint64_t resetsDone = 0;
    bool closing = false;
    MMRESULT failure = MMSYSERR_NOERROR;  // once the PCM has failed, every later write's result
};

// The open devices. Their handles are numbered in a range of their own, with the top bit
// set, which the simulated device's small numbers never reach; a number is never reused.
struct Registry {
    std::mutex mutex;
    std::vector<AlsaDevice*> open;
    std::uintptr_t handlesIssued = 0;
};

constexpr std::uintptr_t kAlsaHandleBit = std::uintptr_t{1} << (sizeof(std::uintptr_t) * 8 - 1);

// Never destroyed, so that a device still open at exit does not outlive its lock.
Registry& registry()
{
    static Registry* const instance = new Registry;
    return *instance;
}

AlsaDevice* findOpen(HWAVEOUT handle)
{
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    const auto found = std::find_if(r.open.begin(), r.open.end(), [&](AlsaDevice* d) { return d->handle == handle; });
    return found != r.open.end() ? *found : nullptr;
}

void wake(const AlsaDevice& device)
{
    const std::uint64_t one = 1;
    // The counter only saturates far beyond any number of commands; a failed write
    // would leave the eventfd readable anyway.
    [[maybe_unused]] const ssize_t written = ::write(device.wakeup, &one, sizeof one);
}

void send(const AlsaDevice& device, UINT message, DWORD_PTR param1)
{
    if (device.callback != nullptr) {
        device.callback(device.handle, message, device.instance, param1, 0);
    }
}

MMRESULT failureResult(int error)
{
    return error == -ENODEV || error == -ENXIO ? MMSYSERR_NODRIVER : MMSYSERR_ERROR;
}

// A taken block with the frames it spans in the stream handed to ALSA since the last
// reset: [firstFrame, endFrame).
struct Block {
    WAVEHDR* header;
    std::uint64_t firstFrame;
    std::uint64_t endFrame;
};

// The device thread's work: everything here runs on that thread only.
class DeviceThread {
public:
    explicit DeviceThread(AlsaDevice& device) : device_(device) {}

    void run()
    {
        send(device_, WOM_OPEN, 0);
        for (;;) {
            std::uint64_t eventCount = 0;
            [[maybe_unused]] const ssize_t read = ::read(device_.wakeup, &eventCount, sizeof eventCount);
            std::uint64_t resetAsked = 0;
            if (!takeCommands(resetAsked)) {
                break;
            }
            if (resetAsked != 0) {
                reset();
                std::lock_guard lock(device_.mutex);
                device_.resetsDone = resetAsked;
                device_.changed.notify_all();
            }
            if (!failed_) {
                writeWhatFits();
            }
            if (!failed_) {
                handBackPlayed();
            }
            waitForWork();
        }
        snd_pcm_close(device_.pcm);
        send(device_, WOM_CLOSE, 0);
    }

private:
    // Takes the blocks written since the last pass; a reset asked is reported through
    // `resetAsked`. False once the device is closing.
    bool takeCommands(std::uint64_t& resetAsked)
    {
        std::lock_guard lock(device_.mutex);
        if (device_.closing) {
            return false;
        }
        take(device_.written);
        if (device_.resetsAsked != device_.resetsDone) {
            resetAsked = device_.resetsAsked;
        }
        return true;
    }

    // Called with the lock held.
    void take(std::deque<WAVEHDR*>& written)
    {
        for (WAVEHDR* header : written) {
            const std::uint64_t frames = header->dwBufferLength / kAlsaFrameBytes;
            blocks_.push_back(Block{header, framesTaken_, framesTaken_ + frames});
            framesTaken_ += frames;
        }
        written.clear();
    }

    void writeWhatFits()
    {
        auto block = blocks_.begin();
        while (framesHanded_ < framesTaken_) {
            while (block->endFrame <= framesHanded_) {
                ++block;
            }
            const std::uint64_t offset = framesHanded_ - block->firstFrame;
            const snd_pcm_sframes_t written =
                snd_pcm_writei(device_.pcm, block->header->lpData + offset * kAlsaFrameBytes,
                               static_cast<snd_pcm_uframes_t>(block->endFrame - framesHanded_));
            if (written == -EAGAIN) {
                return;  // full; poll() says when a period's room is free
            }
            if (written < 0) {
                // Recovering hands blocks back, which moves the iterator's ground.
                if (!recover(static_cast<int>(written))) {
                    return;
                }
                block = blocks_.begin();
                continue;
            }
            framesHanded_ += static_cast<std::uint64_t>(written);
        }
    }

    // A block is done once the frames handed less those still ahead of the listener
    // (ALSA's delay) have passed its last frame.
    void handBackPlayed()
    {
        if (blocks_.empty()) {
            return;
        }
        // Not every plugin's delay reports a stopped PCM, so the state is asked first.
        switch (snd_pcm_state(device_.pcm)) {
        case SND_PCM_STATE_XRUN:
            recover(-EPIPE);  // a PCM that ran dry has played all it was handed
            return;
        case SND_PCM_STATE_SUSPENDED:
            recover(-ESTRPIPE);
            return;
        case SND_PCM_STATE_DISCONNECTED:
            fail(-ENODEV);
            return;
        default:
            break;
        }
        snd_pcm_sframes_t delay = 0;
        if (const int error = snd_pcm_delay(device_.pcm, &delay); error < 0) {
            recover(error);
            return;
        }
        const std::uint64_t ahead = std::clamp<std::uint64_t>(static_cast<std::uint64_t>(std::max<snd_pcm_sframes_t>(delay, 0)),
                                                              0, framesHanded_);
        played_ = framesHanded_ - ahead;
        handBackUpTo(played_);
    }

    // After an underrun everything handed has been played; after a suspend it is lost,
    // and its blocks are done as well. Then the PCM is made ready again.
    bool recover(int error)
    {
        if (error != -EPIPE && error != -ESTRPIPE) {
            fail(error);
            return false;
        }
        handBackUpTo(framesHanded_);
        if (const int result = snd_pcm_recover(device_.pcm, error, 1); result < 0) {
            fail(result);
            return false;
        }
        return true;
    }

    // Drops what ALSA holds and hands every block back unplayed.
    void reset()
    {
        if (!failed_) {
            snd_pcm_drop(device_.pcm);
            if (const int error = snd_pcm_prepare(device_.pcm); error < 0) {
                fail(error);
            }
        }
        handBackAll();
    }

    // The PCM is unusable: every block comes back now, and every later write is refused,
    // so that no caller waits for a block that would never be played.
    void fail(int error)
    {
        failed_ = true;
        {
            std::lock_guard lock(device_.mutex);
            device_.failure = failureResult(error);
            take(device_.written);
        }
        snd_pcm_drop(device_.pcm);
        handBackAll();
    }

    void handBackUpTo(std::uint64_t played)
    {
        while (!blocks_.empty() && blocks_.front().endFrame <= played) {
            handBackFront();
        }
    }

    void handBackAll()
    {
        while (!blocks_.empty()) {
            handBackFront();
        }
        framesTaken_ = 0;
        framesHanded_ = 0;
        played_ = 0;
    }

    // Done in one step, so no one sees the header neither held nor done; its WOM_DONE
    // without the lock, so that a slow callback holds up no caller.
    void handBackFront()
    {
        WAVEHDR* header = blocks_.front().header;
        blocks_.pop_front();
        {
            std::lock_guard lock(device_.mutex);
            header->dwFlags.store((header->dwFlags.load() & ~WHDR_INQUEUE) | WHDR_DONE);
            --device_.held;
        }
        send(device_, WOM_DONE, reinterpret_cast<DWORD_PTR>(header));
    }

    // Sleeps until a command comes, ALSA has room for frames still to write, or, with
    // everything written, the oldest block should have been played.
    void waitForWork()
    {
        std::vector<pollfd> descriptors(1, pollfd{device_.wakeup, POLLIN, 0});
        int timeout = -1;
        if (!failed_ && framesHanded_ < framesTaken_) {
            const int count = snd_pcm_poll_descriptors_count(device_.pcm);
            if (count > 0) {
                descriptors.resize(1 + static_cast<std::size_t>(count));
                snd_pcm_poll_descriptors(device_.pcm, descriptors.data() + 1, static_cast<unsigned>(count));
            }
        } else if (!failed_ && !blocks_.empty()) {
            timeout = millisecondsUntilPlayed(blocks_.front().endFrame);
        }
        ::poll(descriptors.data(), descriptors.size(), timeout);
    }

    // The time until `frame` is heard, at least 1 ms and at most one period, after which
    // the delay is asked again.
    int millisecondsUntilPlayed(std::uint64_t frame) const
    {
        const std::uint64_t frames = frame > played_ ? frame - played_ : 0;
        const std::uint64_t milliseconds = (std::min<std::uint64_t>(frames, kAlsaPeriodFrames) * 1000 +
                                            kAlsaFramesPerSecond - 1) / kAlsaFramesPerSecond;
        return static_cast<int>(std::max<std::uint64_t>(milliseconds, 1));
    }

    AlsaDevice& device_;
    std::deque<Block> blocks_;  // taken and not yet handed back, in the order written
    std::uint64_t framesTaken_ = 0;
    std::uint64_t framesHanded_ = 0;  // to ALSA
    std::uint64_t played_ = 0;
    bool failed_ = false;
};

bool isHeaderArgument(const WAVEHDR* header, UINT headerSize)
{
    return header != nullptr && headerSize == sizeof(WAVEHDR);
}

// The gate of the header calls: an open device and a header of the platform's size.
MMRESULT checkHeaderCall(AlsaDevice* open, const WAVEHDR* header, UINT headerSize)
{
    if (open == nullptr) {
        return MMSYSERR_INVALHANDLE;
    }
    return isHeaderArgument(header, headerSize) ? MMSYSERR_NOERROR : MMSYSERR_INVALPARAM;
}

}  // namespace

MMRESULT alsaWaveOutOpen(HWAVEOUT* device, const char* pcmName, const WAVEFORMATEX* format, WaveOutProc callback,
                         DWORD_PTR instance)
{
    if (device == nullptr || format == nullptr || pcmName == nullptr) {
        return MMSYSERR_INVALPARAM;
    }
    if (!isWaveOutDeviceFormat(*format)) {
        return WAVERR_BADFORMAT;
    }
    snd_pcm_t* pcm = nullptr;
    if (const MMRESULT result = alsaOpenPcm(pcmName, &pcm); result != MMSYSERR_NOERROR) {
        return result;
    }
    AlsaDevice* opened = new (std::nothrow) AlsaDevice;
    const int wakeup = opened != nullptr ? ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC) : -1;
    if (wakeup < 0) {
        delete opened;
        snd_pcm_close(pcm);
        return MMSYSERR_NOMEM;
    }
    opened->pcm = pcm;
    opened->wakeup = wakeup;
    opened->callback = callback;
    opened->instance = instance;
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    try {
        r.open.reserve(r.open.size() + 1);
        opened->handle = reinterpret_cast<HWAVEOUT>(kAlsaHandleBit | ++r.handlesIssued);
        // From here until the close, only this thread calls ALSA on the PCM.
        opened->thread = std::thread([opened] { DeviceThread(*opened).run(); });
    } catch (const std::exception&) {
        ::close(wakeup);
        snd_pcm_close(pcm);
        delete opened;
        return MMSYSERR_NOMEM;
    }
    r.open.push_back(opened);
    *device = opened->handle;
    return MMSYSERR_NOERROR;
}

bool alsaWaveOutOwns(HWAVEOUT device)
{
    return (reinterpret_cast<std::uintptr_t>(device) & kAlsaHandleBit) != 0 && findOpen(device) != nullptr;
}

MMRESULT alsaWaveOutPrepareHeader(HWAVEOUT device, WAVEHDR* header, UINT headerSize)
{
    AlsaDevice* open = findOpen(device);
    if (const MMRESULT result = checkHeaderCall(open, header, headerSize); result != MMSYSERR_NOERROR) {
        return result;
    }
    std::lock_guard lock(open->mutex);
    header->dwFlags.fetch_or(WHDR_PREPARED);
    return MMSYSERR_NOERROR;
}

MMRESULT alsaWaveOutUnprepareHeader(HWAVEOUT device, WAVEHDR* header, UINT headerSize)
{
    AlsaDevice* open = findOpen(device);
    if (const MMRESULT result = checkHeaderCall(open, header, headerSize); result != MMSYSERR_NOERROR) {
        return result;
    }
    std::lock_guard lock(open->mutex);
    if ((header->dwFlags.load() & WHDR_INQUEUE) != 0) {
        return WAVERR_STILLPLAYING;
    }
    header->dwFlags.fetch_and(~WHDR_PREPARED);
    return MMSYSERR_NOERROR;
}

MMRESULT alsaWaveOutWrite(HWAVEOUT device, WAVEHDR* header, UINT headerSize)
{
    AlsaDevice* open = findOpen(device);
    if (const MMRESULT result = checkHeaderCall(open, header, headerSize); result != MMSYSERR_NOERROR) {
        return result;
    }
    if (header->lpData == nullptr && header->dwBufferLength != 0) {
        return MMSYSERR_INVALPARAM;
    }
    {
        std::lock_guard lock(open->mutex);
        const DWORD flags = header->dwFlags.load();
        if ((flags & WHDR_PREPARED) == 0) {
            return WAVERR_UNPREPARED;
        }
        if ((flags & WHDR_INQUEUE) != 0) {
            return WAVERR_STILLPLAYING;
        }
        if (open->failure != MMSYSERR_NOERROR) {
            return open->failure;
        }
        try {
            open->written.push_back(header);
        } catch (const std::bad_alloc&) {
            return MMSYSERR_NOMEM;
        }
        header->dwFlags.store((flags & ~WHDR_DONE) | WHDR_INQUEUE);
        ++open->held;
    }
    wake(*open);
    return MMSYSERR_NOERROR;
}

MMRESULT alsaWaveOutReset(HWAVEOUT device)
{
    AlsaDevice* open = findOpen(device);
    if (open == nullptr) {
        return MMSYSERR_INVALHANDLE;
    }
    std::unique_lock lock(open->mutex);
    const std::uint64_t asked = ++open->resetsAsked;
    wake(*open);
    open->changed.wait(lock, [&] { return open->resetsDone >= asked; });
    return MMSYSERR_NOERROR;
}

MMRESULT alsaWaveOutClose(HWAVEOUT device)
{
    AlsaDevice* open = findOpen(device);
    if (open == nullptr) {
        return MMSYSERR_INVALHANDLE;
    }
    {
        std::lock_guard lock(open->mutex);
        if (open->held != 0) {
            return WAVERR_STILLPLAYING;
        }
        open->closing = true;
    }
    {
        Registry& r = registry();
        std::lock_guard lock(r.mutex);
        std::erase(r.open, open);
    }
    wake(*open);
    // A block already marked done may still be in its callback; the join waits for it
    // and for WOM_CLOSE, so no callback comes after this returns.
    open->thread.join();
    ::close(open->wakeup);
    delete open;
    return MMSYSERR_NOERROR;
}
