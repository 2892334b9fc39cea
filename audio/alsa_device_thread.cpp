#include "audio/alsa_device_thread.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <thread>
#include <vector>

#include "audio/alsa_pcm.h"

namespace {

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
        finishPlaying();
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
        // Blocks known played need no question, empty ones behind them included: a PCM
        // prepared again after running dry has no delay to tell (the pulse plugin's
        // fails with -EIO until it has been written to).
        handBackUpTo(played_);
        if (blocks_.empty()) {
            return;
        }
        // The delay first: an I/O plugin notices an underrun only when asked for its
        // position, so a state read before it would hand the last block back a wait late.
        // Not every plugin's delay reports a stopped PCM, so the state is asked after it.
        snd_pcm_sframes_t delay = 0;
        const int delayError = snd_pcm_delay(device_.pcm, &delay);
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
        if (delayError < 0) {
            recover(delayError);
            return;
        }
        const auto ahead = std::min(static_cast<std::uint64_t>(std::max<snd_pcm_sframes_t>(delay, 0)), framesHanded_);
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
        played_ = framesHanded_;
        handBackUpTo(played_);
        if (const int result = snd_pcm_recover(device_.pcm, error, 1); result < 0) {
            fail(result);
            return false;
        }
        return true;
    }

    // Every block has been handed back by ALSA's delay, which a sound server only
    // estimates: its last frames may still wait in the server, and a close drops them.
    // So the close waits until the PCM runs dry, or one buffer's time has passed: no
    // snd_pcm_drain(), which waits without a limit on a PCM whose poll() never wakes.
    void finishPlaying()
    {
        if (failed_ || framesHanded_ == 0) {
            return;
        }
        const auto giveUp = std::chrono::steady_clock::now() + kFinishLimit;
        while (std::chrono::steady_clock::now() < giveUp) {
            snd_pcm_sframes_t delay = 0;
            // As in handBackPlayed(): the delay first, so that the state shows an underrun.
            if (snd_pcm_delay(device_.pcm, &delay) < 0 || snd_pcm_state(device_.pcm) != SND_PCM_STATE_RUNNING) {
                return;
            }
            std::this_thread::sleep_for(kFinishPoll);
        }
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
        // Its frames as taken: once done, the header is the caller's to refill.
        const std::uint64_t frames = blocks_.front().endFrame - blocks_.front().firstFrame;
        blocks_.pop_front();
        {
            std::lock_guard lock(device_.mutex);
            markDone(*header);
            --device_.held;
            device_.heldFrames -= frames;
        }
        device_.client.send(WOM_DONE, reinterpret_cast<DWORD_PTR>(header));
    }

    // Sleeps until a command comes, ALSA has room for frames still to write, or, with
    // everything written, the oldest block should have been played. A PCM whose
    // descriptors never wake us (a sound server that reports too little delay) is asked
    // again after a few periods.
    void waitForWork()
    {
        std::vector<pollfd> descriptors(1, pollfd{device_.wakeup, POLLIN, 0});
        int timeout = -1;
        if (!failed_ && framesHanded_ < framesTaken_) {
            timeout = kPollLimitMilliseconds;
            const int count = snd_pcm_poll_descriptors_count(device_.pcm);
            if (count > 0) {
                descriptors.resize(1 + static_cast<std::size_t>(count));
                snd_pcm_poll_descriptors(device_.pcm, descriptors.data() + 1, static_cast<unsigned>(count));
            }
        } else if (!failed_ && !blocks_.empty()) {
            timeout = millisecondsUntilPlayed(blocks_.front().endFrame);
        } else if (blocksWaiting()) {
            // Written while this thread still held enough sound to be woken by it anyway
            // (alsa_wave_out.cpp skips the wake then), and that sound has been handed
            // back since: nothing else would wake a wait without a limit.
            return;
        }
        if (::poll(descriptors.data(), descriptors.size(), timeout) > 0 && descriptors.size() > 1) {
            // A plugin's descriptors need not mean what they show; asking it also clears
            // what woke us, so that the next poll() waits again.
            unsigned short revents = 0;
            snd_pcm_poll_descriptors_revents(device_.pcm, descriptors.data() + 1,
                                             static_cast<unsigned>(descriptors.size() - 1), &revents);
        }
    }

    // Blocks written to the device and not yet taken by this thread.
    bool blocksWaiting() const
    {
        std::lock_guard lock(device_.mutex);
        return !device_.written.empty();
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

    static constexpr auto kFinishLimit =
        std::chrono::milliseconds(kAlsaBufferFrames * 1000 / kAlsaFramesPerSecond + 1);
    static constexpr auto kFinishPoll = std::chrono::milliseconds(2);
    static constexpr int kPollLimitMilliseconds =
        static_cast<int>(4 * kAlsaPeriodFrames * 1000 / kAlsaFramesPerSecond);

    AlsaShared& device_;
    std::deque<Block> blocks_;  // taken and not yet handed back, in the order written
    std::uint64_t framesTaken_ = 0;
    std::uint64_t framesHanded_ = 0;  // to ALSA
    std::uint64_t played_ = 0;
    bool failed_ = false;
};

}  // namespace

void runAlsaDeviceThread(AlsaShared& device)
{
    DeviceThread(device).run();
}
