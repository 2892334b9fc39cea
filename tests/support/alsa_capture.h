#pragma once
// A private ALSA configuration in a test's own folder, so that ALSA runs for real with
// no sound card: PCM "capture" is a file PCM in front of a slave, and every byte handed
// to it and played lands in a file. The slave is ALSA's null PCM, which plays everything at once,
// or the tests' paced PCM (alsa_test_pcm.cpp), which plays at a rate of the test's
// choosing, never (0), and can fail like an unplugged device.

#include <string>
#include <vector>

#include "tests/support/file_bytes.h"
#include "tests/support/temp_dir.h"

namespace testsupport {

inline constexpr const char* kCapturePcm = "capture";

struct AlsaSlave {
    bool paced = false;  // false: the null PCM
    long rate = 0;       // paced only: frames played a second, 0 for never
    long failAfter = 0;  // paced only: frames accepted before writes fail, 0 for never
    long hardwareRate = 44100;  // paced only: the one sample rate it takes
    bool lagging = false;       // paced only: reports no delay, and never wakes poll()
    long hiddenDelay = 0;       // paced only: frames its delay leaves out
};

class AlsaCapture {
public:
    explicit AlsaCapture(const AlsaSlave& slave = {});

    const std::string& configFile() const { return configFile_; }
    // What the file PCM wrote: everything played through "capture" (complete once the
    // PCM is closed).
    Bytes captured() const;
    // Paced slave only: every frame handed to it so far, played or not.
    Bytes handed() const;
    // Paced slave only, once closed: the frames it played; the close dropped the rest.
    std::uint64_t playedFrames() const;
    // For a child process: this configuration, and "capture" as the device.
    std::vector<std::string> environment() const;

private:
    TempDir dir_;
    std::string configFile_;
};

}  // namespace testsupport
