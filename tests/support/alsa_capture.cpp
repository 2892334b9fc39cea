#include "tests/support/alsa_capture.h"

#include <fstream>
#include <stdexcept>

namespace testsupport {

namespace {

std::string slaveDefinition(const AlsaSlave& slave, const std::string& handedFile)
{
    if (!slave.paced) {
        return "{ type null }";
    }
    return "{ type pcmwrap_test rate " + std::to_string(slave.rate) + " fail_after " +
           std::to_string(slave.failAfter) + " hardware_rate " + std::to_string(slave.hardwareRate) + " lagging " + std::to_string(slave.lagging ? 1 : 0) + " record \"" +
           handedFile + "\" }";
}

}  // namespace

AlsaCapture::AlsaCapture(const AlsaSlave& slave) : configFile_(dir_.file("asound.conf"))
{
    std::ofstream config(configFile_);
    config << "pcm_type.pcmwrap_test { lib \"" << PCMWRAP_ALSA_TEST_PLUGIN << "\" }\n"
           << "pcm." << kCapturePcm << " {\n"
           << "    type file\n"
           << "    slave.pcm " << slaveDefinition(slave, dir_.file("handed.raw")) << "\n"
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

std::vector<std::string> AlsaCapture::environment() const
{
    return {"ALSA_CONFIG_PATH=" + configFile_, std::string("PCMWRAP_AUDIO_DEVICE=") + kCapturePcm};
}

}  // namespace testsupport
