#include "audio/alsa_pcm.h"

#include <cerrno>
#include <cstdarg>
#include <mutex>

#include "audio/wave_out.h"

namespace {

// ALSA writes its diagnostics to standard error unless told otherwise; the codes that
// our calls return say the same.
void discardAlsaMessage(const char*, int, const char*, int, const char*, ...) {}

void silenceAlsa()
{
    static std::once_flag silenced;
    std::call_once(silenced, [] { snd_lib_error_set_handler(discardAlsaMessage); });
}

MMRESULT openResult(int error)
{
    switch (-error) {
    case EBUSY:
    case EAGAIN:  // a non-blocking open of a device in use
        return MMSYSERR_ALLOCATED;
    case ENOMEM:
        return MMSYSERR_NOMEM;
    default:  // an unknown name, a missing card, a broken configuration
        return MMSYSERR_NODRIVER;
    }
}

MMRESULT setHardwareParameters(snd_pcm_t* pcm)
{
    snd_pcm_hw_params_t* hardware = nullptr;
    snd_pcm_hw_params_alloca(&hardware);
    if (snd_pcm_hw_params_any(pcm, hardware) < 0 ||
        snd_pcm_hw_params_set_access(pcm, hardware, SND_PCM_ACCESS_RW_INTERLEAVED) < 0 ||
        snd_pcm_hw_params_set_format(pcm, hardware, SND_PCM_FORMAT_S16_LE) < 0 ||
        snd_pcm_hw_params_set_channels(pcm, hardware, 2) < 0 ||
        snd_pcm_hw_params_set_rate(pcm, hardware, kAlsaFramesPerSecond, 0) < 0) {
        return WAVERR_BADFORMAT;
    }
    // Sizes are wishes: a device may round them, and the device thread works with any.
    snd_pcm_uframes_t period = kAlsaPeriodFrames;
    snd_pcm_uframes_t buffer = kAlsaBufferFrames;
    snd_pcm_hw_params_set_period_size_near(pcm, hardware, &period, nullptr);
    snd_pcm_hw_params_set_buffer_size_near(pcm, hardware, &buffer);
    return snd_pcm_hw_params(pcm, hardware) < 0 ? WAVERR_BADFORMAT : MMSYSERR_NOERROR;
}

// Playing starts with the first frame written, so that a block shorter than the buffer
// is heard and completes; the device wakes when a period's room has come free.
MMRESULT setSoftwareParameters(snd_pcm_t* pcm)
{
    snd_pcm_uframes_t buffer = 0;
    snd_pcm_uframes_t period = 0;
    snd_pcm_sw_params_t* software = nullptr;
    snd_pcm_sw_params_alloca(&software);
    if (snd_pcm_get_params(pcm, &buffer, &period) < 0 || snd_pcm_sw_params_current(pcm, software) < 0 ||
        snd_pcm_sw_params_set_start_threshold(pcm, software, 1) < 0 ||
        snd_pcm_sw_params_set_avail_min(pcm, software, period) < 0 || snd_pcm_sw_params(pcm, software) < 0) {
        return WAVERR_BADFORMAT;
    }
    return MMSYSERR_NOERROR;
}

}  // namespace

MMRESULT alsaOpenPcm(const char* name, snd_pcm_t** pcm)
{
    silenceAlsa();
    snd_pcm_t* opened = nullptr;
    if (const int error = snd_pcm_open(&opened, name, SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK); error < 0) {
        return openResult(error);
    }
    MMRESULT result = setHardwareParameters(opened);
    if (result == MMSYSERR_NOERROR) {
        result = setSoftwareParameters(opened);
    }
    if (result != MMSYSERR_NOERROR) {
        snd_pcm_close(opened);
        return result;
    }
    *pcm = opened;
    return MMSYSERR_NOERROR;
}
