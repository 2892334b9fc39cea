#include "play/player.h"

#include <atomic>
#include <cstdlib>
#include <iostream>
#include <optional>
#include <string>

#include "play/file_player.h"
#include "play/interrupt_watch.h"
#include "play/player_options.h"
#include "play/player_status.h"
#include "play/playback_events.h"
#include "play/raw_settings_check.h"
#include "play/ring_output.h"
#include "playback/playback.h"
#include "audio/wave_out_device_name.h"

namespace {

int deviceFailed(const std::string& deviceName, std::int32_t code, RingOutput& ring)
{
    std::cout << "Error playing on audio device <" << deviceName << ">, code <" << code << ">" << std::endl;
    ring.stop();
    return kPlayerNoDevice;
}

}  // namespace

int runPlayer(int argc, char** argv)
{
    const PlayerOptions options(argc, argv);
    if (!rawSettingsPlay(options)) {
        return kPlayerUnplayableFormat;
    }
    if (options.device()) {
        // The ring opens the device that the environment names.
        setenv(kAudioDeviceVariable, options.device()->c_str(), 1);
    }
    const std::string deviceName = waveOutDeviceName();
    // Set while the ring is open, so that a signal resets it only then.
    std::atomic<bool> ringOpen{false};
    // Before the ring, whose device thread must inherit the blocked signals; destroyed
    // after it. A device that stopped playing keeps the player's thread waiting for a
    // slot, which only a reset frees: so the signal resets the device from the watch's
    // thread (playback.h allows that one call from another thread).
    const InterruptWatch interrupts([&ringOpen](int signal) {
        playback_events::interrupt(signal);
        if (ringOpen) {
            playback_reset();
        }
    });
    RingOutput ring;
    ringOpen = ring.result() == 0;
    if (ring.result() != 0) {
        std::cout << "Error opening audio device <" << deviceName << ">, code <" << ring.result() << ">" << std::endl;
        return kPlayerNoDevice;
    }
    bool skipped = false;
    bool unreadable = false;
    for (const std::string& file : options.files()) {
        const FilePlayResult played = playFile(file, options, ring);
        switch (played.outcome) {
        case FileOutcome::Played:
            break;
        case FileOutcome::Skipped:
            skipped = true;
            break;
        case FileOutcome::Unreadable:
            unreadable = true;
            break;
        case FileOutcome::Interrupted:
            ring.stop();
            return kPlayerSignalBase + playback_events::interruptSignal();
        case FileOutcome::DeviceFailed:
            return deviceFailed(deviceName, played.deviceResult, ring);
        }
    }
    // Each file's blocks queue behind the last of the one before, so a failure in the
    // middle of the run refuses the next block; one in the last file's last blocks shows
    // here, once everything has played.
    const std::optional<std::int32_t> played = ring.waitUntilPlayed();
    if (!played || playback_events::interrupted()) {
        ring.stop();
        return kPlayerSignalBase + playback_events::interruptSignal();
    }
    if (*played != 0) {
        return deviceFailed(deviceName, *played, ring);
    }
    return skipped ? kPlayerUnplayableFormat : unreadable ? kPlayerUnreadableFile : kPlayerSuccess;
}
