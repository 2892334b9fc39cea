// The platform's wave output calls: every argument checked here, the one opening of
// device 0 with its handle, the header flags that belong to the caller's side, and the
// rest passed on to the device behind the opening (wave_out_device.h): the ALSA PCM
// that PCMWRAP_AUDIO_DEVICE names, or the stand-in (wave_out_device_name.h).

#include "audio/wave_out.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "audio/alsa_wave_out.h"
#include "audio/wave_out_device.h"
#include "audio/wave_out_device_name.h"
#include "audio/wave_out_stand_in.h"

namespace {

struct Opening {
    HWAVEOUT handle = nullptr;
    std::unique_ptr<WaveOutDevice> device;
};

// The one opening, under one lock that a call holds for its whole length, so that no
// call meets a device being closed. Never destroyed, so that a device still open at
// process exit does not outlive it.
struct Openings {
    std::mutex mutex;
    Opening open;
    std::uintptr_t handlesIssued = 0;
};

Openings& openings()
{
    static Openings* const instance = new Openings;
    return *instance;
}

WaveOutDevice* findOpen(Openings& o, HWAVEOUT handle)
{
    return handle != nullptr && o.open.device != nullptr && o.open.handle == handle ? o.open.device.get() : nullptr;
}

// The one format the device plays.
bool isPlayable(const WAVEFORMATEX& format)
{
    return format.wFormatTag == WAVE_FORMAT_PCM && format.nChannels == 2 && format.nSamplesPerSec == 44100 &&
           format.wBitsPerSample == 16 && format.nBlockAlign == 4 && format.nAvgBytesPerSec == 176400;
}

bool isHeaderArgument(const WAVEHDR* header, UINT headerSize)
{
    return header != nullptr && headerSize == sizeof(WAVEHDR);
}

// Makes a call on an open device under the lock, which it holds for the call's whole
// length: MMSYSERR_INVALHANDLE for any other handle.
template <class Call>
MMRESULT callOnOpen(HWAVEOUT device, Call call)
{
    Openings& o = openings();
    const std::lock_guard lock(o.mutex);
    WaveOutDevice* const open = findOpen(o, device);
    return open == nullptr ? MMSYSERR_INVALHANDLE : call(o, *open);
}

}  // namespace

MMRESULT waveOutOpen(HWAVEOUT* device, UINT deviceId, const WAVEFORMATEX* format, DWORD_PTR callback,
                     DWORD_PTR instance, DWORD flags)
{
    if (device == nullptr || format == nullptr) {
        return MMSYSERR_INVALPARAM;
    }
    if (deviceId != 0) {
        return MMSYSERR_BADDEVICEID;
    }
    if (!isPlayable(*format)) {
        return WAVERR_BADFORMAT;
    }
    if (flags != CALLBACK_NULL && !(flags == CALLBACK_FUNCTION && callback != 0)) {
        return MMSYSERR_INVALPARAM;
    }
    Openings& o = openings();
    const std::lock_guard lock(o.mutex);
    if (o.open.device != nullptr) {
        return MMSYSERR_ALLOCATED;
    }
    WaveOutClient client;
    client.handle = reinterpret_cast<HWAVEOUT>(o.handlesIssued + 1);
    client.callback = flags == CALLBACK_FUNCTION ? reinterpret_cast<WaveOutProc>(callback) : nullptr;
    client.instance = instance;
    std::unique_ptr<WaveOutDevice> opened;
    const std::string name = waveOutDeviceName();
    const MMRESULT result = name == kSimulatedDeviceName
                                ? openStandInWaveOut(client, format->nAvgBytesPerSec, &opened)
                                : openAlsaWaveOut(client, name.c_str(), &opened);
    if (result != MMSYSERR_NOERROR) {
        return result;
    }
    ++o.handlesIssued;
    o.open.handle = client.handle;
    o.open.device = std::move(opened);
    *device = client.handle;
    return MMSYSERR_NOERROR;
}

MMRESULT waveOutPrepareHeader(HWAVEOUT device, WAVEHDR* header, UINT headerSize)
{
    return callOnOpen(device, [&](Openings&, WaveOutDevice&) {
        if (!isHeaderArgument(header, headerSize)) {
            return MMSYSERR_INVALPARAM;
        }
        headerFlags(*header).fetch_or(WHDR_PREPARED);
        return MMSYSERR_NOERROR;
    });
}

MMRESULT waveOutUnprepareHeader(HWAVEOUT device, WAVEHDR* header, UINT headerSize)
{
    return callOnOpen(device, [&](Openings&, WaveOutDevice&) {
        if (!isHeaderArgument(header, headerSize)) {
            return MMSYSERR_INVALPARAM;
        }
        if ((headerFlags(*header).load() & WHDR_INQUEUE) != 0) {
            return WAVERR_STILLPLAYING;
        }
        headerFlags(*header).fetch_and(~WHDR_PREPARED);
        return MMSYSERR_NOERROR;
    });
}

MMRESULT waveOutWrite(HWAVEOUT device, WAVEHDR* header, UINT headerSize)
{
    return callOnOpen(device, [&](Openings&, WaveOutDevice& open) {
        if (!isHeaderArgument(header, headerSize) || (header->lpData == nullptr && header->dwBufferLength != 0)) {
            return MMSYSERR_INVALPARAM;
        }
        const DWORD flags = headerFlags(*header).load();
        if ((flags & WHDR_PREPARED) == 0) {
            return WAVERR_UNPREPARED;
        }
        if ((flags & WHDR_INQUEUE) != 0) {
            return WAVERR_STILLPLAYING;
        }
        return open.write(*header);
    });
}

MMRESULT waveOutReset(HWAVEOUT device)
{
    return callOnOpen(device, [](Openings&, WaveOutDevice& open) {
        open.reset();
        return MMSYSERR_NOERROR;
    });
}

MMRESULT waveOutClose(HWAVEOUT device)
{
    return callOnOpen(device, [](Openings& o, WaveOutDevice& open) {
        const MMRESULT result = open.close();
        if (result == MMSYSERR_NOERROR) {
            o.open = Opening{};
        }
        return result;
    });
}
