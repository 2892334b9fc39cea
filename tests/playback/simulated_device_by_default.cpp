// The playback tests play on the simulated device, so that they need no sound card; the
// ALSA tests name their PCM for themselves (alsa_capture.h) and put this back after.

#include <gtest/gtest.h>

#include <cstdlib>

#include "audio/wave_out_device_name.h"

namespace {

class SimulatedDeviceByDefault : public ::testing::Environment {
public:
    void SetUp() override { setenv(kAudioDeviceVariable, kSimulatedDeviceName, 1); }
};

[[maybe_unused]] ::testing::Environment* const registered =
    ::testing::AddGlobalTestEnvironment(new SimulatedDeviceByDefault);

}  // namespace
