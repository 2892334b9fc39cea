#pragma once
// Stereo float frames from one sample rate to the ring's 44100 Hz, through libsoxr at
// its high quality setting (SOXR_HQ: 20-bit precision, a pass band to 91 % of the
// lower Nyquist frequency). Held on one thread.

#include <cstddef>
#include <cstdint>

#include <soxr.h>

class Resampler {
public:
    // Throws std::runtime_error when libsoxr refuses the rates.
    Resampler(double inputRate, double outputRate);
    ~Resampler();
    Resampler(const Resampler&) = delete;
    Resampler& operator=(const Resampler&) = delete;

    // Takes up to `inputFrames` frames from `in` and gives up to `outputFrames` at `out`;
    // *taken says how many input frames were used. A null `in` marks the end of the
    // input: the frames still held (the filter's tail) come out, and 0 once all have.
    std::size_t process(const float* in, std::size_t inputFrames, std::size_t* taken, float* out,
                        std::size_t outputFrames);

private:
    soxr_t soxr_ = nullptr;
};
