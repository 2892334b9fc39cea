#include "play/player.h"

#include <cstdlib>
#include <iostream>
#include <string>

#include "play/file_player.h"
#include "play/interrupt_watch.h"
#include "play/player_options.h"
#include "play/player_status.h"
#include "play/playback_events.h"
#include "play/raw_settings_check.h"
#include "play/ring_output.h"
#include "platform/wave_out_device_name.h"

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
    // Before the ring, whose device thread must inherit the blocked SIGINT; destroyed after it.
    const InterruptWatch interrupts;
    RingOutput ring;
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
            return kPlayerInterrupted;
        case FileOutcome::DeviceFailed:
            std::cout << "Error playing on audio device <" << deviceName << ">, code <" << played.deviceResult << ">"
                      << std::endl;
            ring.stop();
            return kPlayerNoDevice;
        }
    }
    // Each file's blocks queue behind the last of the one before; the run ends once all have played.
    if (!ring.waitUntilPlayed() || playback_events::interrupted()) {
        ring.stop();
        return kPlayerInterrupted;
    }
    return skipped ? kPlayerUnplayableFormat : unreadable ? kPlayerUnreadableFile : kPlayerSuccess;
}
