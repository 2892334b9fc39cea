#include "play/file_player.h"

#include <array>
#include <iostream>
#include <memory>
#include <optional>
#include <system_error>

#include "play/announcements.h"
#include "play/player_options.h"
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

// The ring's bytes of `frames` stereo frames: each sample little-endian.
void toRingBytes(const std::int16_t* samples, std::size_t frames, BYTE* out)
{
    for (std::size_t i = 0; i < 2 * frames; ++i) {
        const auto sample = static_cast<std::uint16_t>(samples[i]);
        out[2 * i] = static_cast<BYTE>(sample & 0xFF);
        out[2 * i + 1] = static_cast<BYTE>(sample >> 8);
    }
}

FilePlayResult playFeed(const std::string& name, RingFrameFeed& feed, RingOutput& ring, Announcements& announcements)
{
    std::array<std::int16_t, 2 * kFeedFrames> samples{};
    std::array<BYTE, kFeedFrames * kRingFrameBytes> bytes{};
    std::optional<ProgressLine> progress;
    std::uint64_t queued = 0;
    for (;;) {
        std::size_t frames = 0;
        try {
            frames = feed.next(samples);
        } catch (const std::exception& error) {
            if (!progress) {
                // Its line still waits: what was queued of it plays, but it is not said to.
                announcements.withdrawLatest();
            }
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
        // This file's line is the latest: when none waits, it has been printed.
        if (!progress && announcements.printDue(ring)) {
            progress.emplace(feed.expectedFrames());
        }
        if (progress) {
            progress->show(queued);
        }
    }
    if (progress) {
        progress->showEnd(queued);
    }
    return {FileOutcome::Played};
}

}  // namespace

FilePlayResult playFile(const std::string& name, const PlayerOptions& options, RingOutput& ring,
                        Announcements& announcements)
{
    std::unique_ptr<PcmSource> source;
    std::string told;
    try {
        source = openSource(name, options, &told);
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
    // With -a the line says what the probe told, so that a wrong guess shows.
    std::string line = "Playing <" + name + ">";
    if (!told.empty()) {
        line += " as " + told + " at " + std::to_string(source->sampleRate()) + " Hz";
    }
    announcements.add(std::move(line), ring.queuedBlocks());
    return playFeed(name, *feed, ring, announcements);
}
