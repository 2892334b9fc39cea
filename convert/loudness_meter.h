#pragma once
// EBU R128 loudness of a file's data bytes, measured by libebur128 as they are written:
// integrated loudness, loudness range, max true peak, max momentary and max short-term.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/wave_format.h"

struct LoudnessValues {
    double integrated = 0;  // LUFS
    double range = 0;       // LU
    double truePeak = 0;    // dBTP
    double maxMomentary = 0;
    double maxShortTerm = 0;
};

class LoudnessMeter {
public:
    // The format record of the file: its channels, rate and sample encoding.
    explicit LoudnessMeter(const WAVEFORMATEX& format);  // std::runtime_error when refused
    ~LoudnessMeter();
    LoudnessMeter(const LoudnessMeter&) = delete;
    LoudnessMeter& operator=(const LoudnessMeter&) = delete;

    // Data bytes in file order; a frame may be split between two calls.
    void add(const std::uint8_t* bytes, std::size_t count);
    LoudnessValues values();

private:
    void addFrames(const std::uint8_t* bytes, std::size_t frames);

    struct State;
    std::unique_ptr<State> state_;
};

// A value × 100, rounded, as a bext loudness field holds it: clipped to the field's range
// below the value that means "not measured" (silence measures -inf).
std::int16_t loudnessField(double value);
