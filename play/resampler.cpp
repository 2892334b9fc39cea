#include "play/resampler.h"

#include <stdexcept>
#include <string>

namespace {

constexpr unsigned kStereo = 2;

}  // namespace

Resampler::Resampler(double inputRate, double outputRate)
{
    soxr_error_t error = nullptr;
    const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT32_I, SOXR_FLOAT32_I);
    const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
    // One thread: the player is one more program on a shared machine.
    const soxr_runtime_spec_t runtime = soxr_runtime_spec(1);
    soxr_ = soxr_create(inputRate, outputRate, kStereo, &error, &io, &quality, &runtime);
    if (error != nullptr) {
        soxr_delete(soxr_);
        throw std::runtime_error(std::string("the resampler refused: ") + error);
    }
}

Resampler::~Resampler()
{
    soxr_delete(soxr_);
}

std::size_t Resampler::process(const float* in, std::size_t inputFrames, std::size_t* taken, float* out,
                               std::size_t outputFrames)
{
    std::size_t done = 0;
    std::size_t used = 0;
    const soxr_error_t error = soxr_process(soxr_, in, in ? inputFrames : 0, &used, out, outputFrames, &done);
    if (error != nullptr) {
        throw std::runtime_error(std::string("the resampler failed: ") + error);
    }
    if (taken != nullptr) {
        *taken = used;
    }
    return done;
}
