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

namespace {

// What the callers' thread and the device thread share, under the lock; the PCM is the
// device thread's alone.
struct AlsaShared {
    WaveOutClient client;
    snd_pcm_t* pcm = nullptr;
    int wakeup = -1;  // an eventfd: a command waits for the device thread

    std::mutex mutex;
    std::condition_variable changed;
    std::deque<WAVEHDR*> written;  // written and not yet taken by the device thread
    std::size_t held = 0;          // written and not yet handed back
    std::uint64_t resetsAsked = 0;
    std::uint64_t resetsDone = 0;
    bool closing = false;
    MMRESULT failure = MMSYSERR_NOERROR;  // once the PCM has failed, every later write's result
};

void wake(const AlsaShared& device)
{
    const std::uint64_t one = 1;
    // The counter only saturates far beyond any number of commands; a failed write
    // would leave the eventfd readable anyway.
    [[maybe_unused]] const ssize_t written = ::write(device.wakeup, &one, sizeof one);
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
    explicit DeviceThread(AlsaShared& device) : device_(device) {}

    void run()
    {
        device_.client.send(WOM_OPEN, 0);
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
        device_.client.send(WOM_CLOSE, 0);
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
            markDone(*header);
            --device_.held;
        }
        device_.client.send(WOM_DONE, reinterpret_cast<DWORD_PTR>(header));
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

    AlsaShared& device_;
    std::deque<Block> blocks_;  // taken and not yet handed back, in the order written
    std::uint64_t framesTaken_ = 0;
    std::uint64_t framesHanded_ = 0;  // to ALSA
    std::uint64_t played_ = 0;
    bool failed_ = false;
};

class AlsaWaveOut : public WaveOutDevice {
public:
    AlsaWaveOut(const WaveOutClient& client, snd_pcm_t* pcm, int wakeup)
    {
        shared_.client = client;
        shared_.pcm = pcm;
        shared_.wakeup = wakeup;
        // From here until the close, only this thread calls ALSA on the PCM.
        thread_ = std::thread([this] { DeviceThread(shared_).run(); });
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
            ++shared_.held;
        }
        wake(shared_);
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
