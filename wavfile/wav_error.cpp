// WavError and its category: the wave layer's result codes as std::error_code values.

#include <string>

#include "wavfile/wav_file.h"
#include "wave/wave.h"

namespace pcmwrap {

namespace {

class WaveCategory final : public std::error_category {
public:
    const char* name() const noexcept override { return "pcmwrap wave"; }
    std::string message(int code) const override
    {
        switch (code) {
        case 0: return "success";
        case WAV_ERR_NO_MEMORY: return "out of memory";
        case WAV_ERR_OPEN_FAILED: return "the file cannot be opened";
        case WAV_ERR_BAD_FORMAT: return "not a WAVE file of a format that is read";
        case WAV_ERR_READ_FAILED: return "the file cannot be read";
        case WAV_ERR_TRUNCATED: return "the file ends early";
        case WAV_ERR_WRITE_FAILED: return "the file cannot be written";
        default: return "RIFF file I/O error " + std::to_string(code);
        }
    }
};

}  // namespace

const std::error_category& waveCategory() noexcept
{
    static const WaveCategory category;
    return category;
}

WavError::WavError(int code, const std::string& what) : WavError(code, what, what)
{
}

WavError::WavError(int code, const std::string& what, const std::string& reason, bool sampleFormat)
    : std::system_error(code, waveCategory(), what),
      message_(what),
      reason_(reason),
      waveCode_(code),
      sampleFormat_(sampleFormat)
{
}

WavError::WavError(std::error_code systemError, int code, const std::string& what, const std::string& reason)
    : std::system_error(systemError, what), message_(what), reason_(reason), waveCode_(code)
{
}

const char* WavError::what() const noexcept
{
    return message_.what();
}

const char* WavError::reason() const noexcept
{
    return reason_.what();
}

}  // namespace pcmwrap
