#include "play/player.h"

#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <iostream>
#include <optional>
#include <string>

#include "audio/wave_out_device_name.h"
#include "play/announcements.h"
#include "play/file_player.h"
#include "play/interrupt_watch.h"
#include "play/playback_events.h"
#include "play/player_options.h"
#include "play/player_status.h"
#include "play/progress_line.h"
#include "play/raw_settings_check.h"
#include "play/ring_output.h"
#include "playback/playback.h"

namespace {

int interruptedStatus()
{
    return kPlayerSignalBase + playback_events::interruptSignal();
}

// A signal that came first wins over a device failure that follows it (the device may
// well fail because the run is being ended), also one not yet taken by the watch.
bool signalCame(InterruptWatch& interrupts)
{
    interrupts.takePending();
    return playback_events::interrupted();
}

int deviceFailed(const std::string& deviceName, std::int32_t code, RingOutput& ring, InterruptWatch& interrupts)
{
    if (signalCame(interrupts)) {
        ring.stop();
        return interruptedStatus();
    }
    std::cout << "Error playing on audio device <" << deviceName << ">, code <" << code << ">" << std::endl;
    ring.stop();
    return kPlayerNoDevice;
}

// The run could not end within the time a signal allows (a device call that does not
// return, inside a stalled sound server's client library): the process ends here, as
// the run would have, and the system releases the device.
[[noreturn]] void abandonRun(int signal)
{
    ProgressLine::endOpenLineAtExit();
    _exit(kPlayerSignalBase + signal);
}

// Every file's line printed once it starts to sound: with nothing more to queue, empty
// blocks show when each slot's block has played. nullopt when the lines are out.
std::optional<int> announceTheRest(Announcements& announcements, RingOutput& ring, const std::string& deviceName,
                                   InterruptWatch& interrupts)
{
    while (!announcements.printDue(ring)) {
        if (const std::int32_t result = ring.queueEmptyBlock(); result != 0) {
            return deviceFailed(deviceName, result, ring, interrupts);
        }
        if (playback_events::interrupted()) {
            ring.stop();
            return interruptedStatus();
        }
    }
    return std::nullopt;
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
    // thread (playback.h allows that one call from another thread). A device call that
    // never returns is left behind (interrupt_watch.h).
    InterruptWatch interrupts(
        [&ringOpen](int signal) {
            playback_events::interrupt(signal);
            if (ringOpen) {
                playback_reset();
            }
        },
        abandonRun);
    RingOutput ring;
    ringOpen = ring.result() == 0;
    if (signalCame(interrupts)) {
        return interruptedStatus();  // also when the open failed after the signal
    }
    if (ring.result() != 0) {
        std::cout << "Error opening audio device <" << deviceName << ">, code <" << ring.result() << ">" << std::endl;
        return kPlayerNoDevice;
    }
    Announcements announcements;
    bool skipped = false;
    bool unreadable = false;
    for (const std::string& file : options.files()) {
        const FilePlayResult played = playFile(file, options, ring, announcements);
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
            return interruptedStatus();
        case FileOutcome::DeviceFailed:
            return deviceFailed(deviceName, played.deviceResult, ring, interrupts);
        }
    }
    if (const std::optional<int> ended = announceTheRest(announcements, ring, deviceName, interrupts)) {
        return *ended;
    }
    // Each file's blocks queue behind the last of the one before, so a failure in the
    // middle of the run refuses the next block; one in the last file's last blocks shows
    // here, once everything has played.
    const std::optional<std::int32_t> played = ring.waitUntilPlayed();
    if (!played || playback_events::interrupted()) {
        ring.stop();
        return interruptedStatus();
    }
    if (*played != 0) {
        return deviceFailed(deviceName, *played, ring, interrupts);
    }
    return skipped ? kPlayerUnplayableFormat : unreadable ? kPlayerUnreadableFile : kPlayerSuccess;
}
