#include "tests/support/alsa_capture.h"

#include <fstream>
#include <stdexcept>
#include <string>

namespace testsupport {

namespace {

std::string slaveDefinition(const AlsaSlave& slave, const TempDir& dir)
{
    if (!slave.paced) {
        return "{ type null }";
    }
    return "{ type pcmwrap_test rate " + std::to_string(slave.rate) + " fail_after " +
           std::to_string(slave.failAfter) + " hardware_rate " + std::to_string(slave.hardwareRate) + " lagging " +
           std::to_string(slave.lagging ? 1 : 0) + " hidden_delay " + std::to_string(slave.hiddenDelay) +
           " record \"" + dir.file("handed.raw") + "\" played \"" + dir.file("played.txt") + "\" }";
}

}  // namespace

AlsaCapture::AlsaCapture(const AlsaSlave& slave) : configFile_(dir_.file("asound.conf"))
{
    std::ofstream config(configFile_);
    config << "pcm_type.pcmwrap_test { lib \"" << PCMWRAP_ALSA_TEST_PLUGIN << "\" }\n"
           << "pcm." << kCapturePcm << " {\n"
           << "    type file\n"
           << "    slave.pcm " << slaveDefinition(slave, dir_) << "\n"
           << "    file \"" << dir_.file("capture.raw") << "\"\n"
           << "    format raw\n"
           << "}\n";
    if (!config.flush()) {
        throw std::runtime_error("cannot write the ALSA configuration");
    }
}

namespace {

Bytes bytesOf(const std::string& file)
{
    return fileExists(file) ? readFile(file) : Bytes{};
}

}  // namespace

Bytes AlsaCapture::captured() const
{
    return bytesOf(dir_.file("capture.raw"));
}

Bytes AlsaCapture::handed() const
{
    return bytesOf(dir_.file("handed.raw"));
}

std::uint64_t AlsaCapture::playedFrames() const
{
    const Bytes count = bytesOf(dir_.file("played.txt"));
    return count.empty() ? 0 : std::stoull(std::string(count.begin(), count.end()));
}

std::vector<std::string> AlsaCapture::environment() const
{
    return {"ALSA_CONFIG_PATH=" + configFile_, std::string("PCMWRAP_AUDIO_DEVICE=") + kCapturePcm};
}

}  // namespace testsupport
