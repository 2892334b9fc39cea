#pragma once
// A private PulseAudio daemon, the test's own child, and ALSA's pulse PCM pointed at it:
// a real sound server with no sound card. Its one sink plays in real time into a FIFO,
// which a thread here drains, so a test sees every frame the server played, silence
// included (a gap shows as zeros). The daemon keeps its runtime, state and configuration
// in the test's folder, answers on a unix socket there, and is stopped (SIGSTOP) or
// killed at the test's word; it is killed and reaped when this object goes, whatever the
// test's outcome.

#include <sys/types.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/file_bytes.h"
#include "tests/support/process.h"
#include "tests/support/temp_dir.h"

namespace testsupport {

inline constexpr const char* kPulsePcm = "pcmwrap_pulse";

class PulseServer {
public:
    // Starts the daemon and returns once it answers; throws when it does not.
    PulseServer();
    ~PulseServer();
    PulseServer(const PulseServer&) = delete;
    PulseServer& operator=(const PulseServer&) = delete;

    // SIGSTOP: the server hangs, its clients' calls wait. resume() undoes it.
    void pause();
    void resume();
    // SIGKILL, reaped at once: the server dies, its clients' connections break.
    void kill();

    // For the player: the ALSA configuration whose PCM kPulsePcm plays on this server,
    // that PCM as the device, the server's socket, and a home of its own.
    std::vector<std::string> environment() const;
    // Every frame the sink has played so far (16-bit stereo at 44100 Hz).
    Bytes played() const;

private:
    void drainSink();

    TempDir dir_;
    std::unique_ptr<ChildProcess> daemon_;
    int sink_ = -1;  // the sink's FIFO, opened for reading (and writing, so that it never ends)
    std::atomic<bool> stopping_{false};
    mutable std::mutex mutex_;
    Bytes played_;
    std::thread drain_;
};

// The frames of `stream` from its first frame that is not silence on: where the sound
// starts (16-bit stereo), empty when there is none.
Bytes fromFirstSound(const Bytes& stream);

}  // namespace testsupport
