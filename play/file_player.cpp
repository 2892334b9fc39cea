#include "play/file_player.h"

#include <array>
#include <iostream>
#include <memory>
#include <optional>
#include <system_error>

#include "play/playback_events.h"
#include "play/progress_line.h"
#include "play/ring_frame_feed.h"
#include "play/ring_frames.h"
#include "play/ring_output.h"
#include "play/source_opening.h"

namespace {

void reportUnreadable(const std::string& name, const std::string& reason)
{
    std::cout << "Error reading <" << name << ">: " << reason << std::endl;
}

void reportSkipped(const std::string& name, const std::string& reason)
{
    std::cout << "Skipping <" << name << ">: " << reason << std::endl;
}

void announce(const std::string& name)
{
    std::cout << "Playing <" << name << ">" << std::endl;
}

// The ring's bytes of `frames` stereo frames: each sample little-endian.
void toRingBytes(const std::int16_t* samples, std::size_t frames, BYTE* out)
{
    for (std::size_t i = 0; i < 2 * frames; ++i) {
        const auto sample = static_cast<std::uint16_t>(samples[i]);
        out[2 * i] = static_cast<BYTE>(sample & 0xFF);
        out[2 * i + 1] = static_cast<BYTE>(sample >> 8);
    }
}

FilePlayResult playFeed(const std::string& name, RingFrameFeed& feed, RingOutput& ring)
{
    std::array<std::int16_t, 2 * kFeedFrames> samples{};
    std::array<BYTE, kFeedFrames * kRingFrameBytes> bytes{};
    std::optional<ProgressLine> progress;
    std::uint64_t queued = 0;
    // The file is announced when it starts to sound, once the ring shows that the last
    // block of the files before has played through: until then a failure of the device
    // is theirs, and is told before this file's line. Its blocks queue behind theirs all
    // the same, without a gap.
    const std::uint64_t blocksBefore = ring.queuedBlocks();
    for (;;) {
        std::size_t frames = 0;
        try {
            frames = feed.next(samples);
        } catch (const std::exception& error) {
            progress.reset();
            reportUnreadable(name, reasonOf(error));
            return {FileOutcome::Unreadable};
        }
        if (frames == 0) {
            break;
        }
        toRingBytes(samples.data(), frames, bytes.data());
        if (const std::int32_t result = ring.play(bytes.data(), frames * kRingFrameBytes); result != 0) {
            return {FileOutcome::DeviceFailed, result};
        }
        if (playback_events::interrupted()) {
            return {FileOutcome::Interrupted};
        }
        queued += frames;
        if (!progress && ring.playedThrough(blocksBefore)) {
            announce(name);
            progress.emplace(feed.expectedFrames());
        }
        if (progress) {
            progress->show(queued);
        }
    }
    if (!progress) {
        // Fewer blocks than the ring holds came behind the files before: only their
        // having played shows that they did not fail.
        if (!ring.playedThrough(blocksBefore)) {
            const std::optional<std::int32_t> played = ring.waitUntilPlayed();
            if (!played) {
                return {FileOutcome::Interrupted};
            }
            if (*played != 0) {
                return {FileOutcome::DeviceFailed, *played};
            }
        }
        announce(name);
        return {FileOutcome::Played};
    }
    progress->showEnd();
    return {FileOutcome::Played};
}

}  // namespace

FilePlayResult playFile(const std::string& name, const PlayerOptions& options, RingOutput& ring)
{
    std::unique_ptr<PcmSource> source;
    try {
        source = openSource(name, options);
    } catch (const UnplayableFile& refusal) {
        reportSkipped(name, refusal.what());
        return {FileOutcome::Skipped};
    } catch (const std::runtime_error& error) {  // WavError, UnreadableFile, a raw dump's open
        if (isFormatRefusal(error)) {
            reportSkipped(name, reasonOf(error));
            return {FileOutcome::Skipped};
        }
        reportUnreadable(name, reasonOf(error));
        return {FileOutcome::Unreadable};
    }
    std::optional<RingFrameFeed> feed;
    try {
        feed.emplace(*source);
    } catch (const std::runtime_error& error) {  // the resampler refused the rate
        reportSkipped(name, error.what());
        return {FileOutcome::Skipped};
    }
    return playFeed(name, *feed, ring);
}
