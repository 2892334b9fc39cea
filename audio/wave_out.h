#pragma once
// The platform's waveform audio output, with the platform's names, records, flags,
// codes and parameter orders. There is one device, number 0: the system's audio output
// through ALSA, the PCM that the environment variable PCMWRAP_AUDIO_DEVICE names
// ("default" when it is unset or empty), or, when it says "simulated", a stand-in that
// plays into nothing in real time and whose pace tests steer through wave_out_testing.h.
// Either plays the blocks written to it in order on a thread of its own, and hands each
// back, once played, through the open's callback on that thread.
//
// As on the platform, a header belongs to the device from a successful waveOutWrite
// until the device sets WHDR_DONE in it; the caller must not change it meanwhile. The
// calls must not be made from inside the callback, not even to write a block while a
// waveOutReset is handing blocks back: the reset holds the device until every callback
// has returned, so such a write never returns.

#include "platform/wave_format.h"
#include "platform/win_types.h"

struct WaveOutHandle;
using HWAVEOUT = WaveOutHandle*;

struct WAVEHDR {
    char* lpData;
    DWORD dwBufferLength;
    DWORD dwBytesRecorded;
    DWORD_PTR dwUser;
    // Shared with the device's thread, which sets WHDR_DONE while the owner may be
    // polling for it. Both sides reach it through std::atomic_ref<DWORD>, so that the
    // poll and the buffer reuse after it are ordered; the record itself stays plain.
    DWORD dwFlags;
    DWORD dwLoops;
    WAVEHDR* lpNext;
    DWORD_PTR reserved;
};

inline constexpr DWORD WHDR_DONE = 0x00000001;
inline constexpr DWORD WHDR_PREPARED = 0x00000002;
inline constexpr DWORD WHDR_INQUEUE = 0x00000010;  // held by the device, not yet done

inline constexpr UINT WOM_OPEN = 0x3BB;
inline constexpr UINT WOM_CLOSE = 0x3BC;
inline constexpr UINT WOM_DONE = 0x3BD;

inline constexpr UINT WAVE_MAPPER = 0xFFFFFFFFu;
inline constexpr DWORD CALLBACK_NULL = 0x00000000;
inline constexpr DWORD CALLBACK_FUNCTION = 0x00030000;

inline constexpr MMRESULT WAVERR_BADFORMAT = 32;
inline constexpr MMRESULT WAVERR_STILLPLAYING = 33;
inline constexpr MMRESULT WAVERR_UNPREPARED = 34;

// The callback's shape; for WOM_DONE, param1 is the finished header.
using WaveOutProc = void (*)(HWAVEOUT device, UINT message, DWORD_PTR instance, DWORD_PTR param1,
                             DWORD_PTR param2);

// Opens device 0 (any other number, WAVE_MAPPER included: MMSYSERR_BADDEVICEID) in the
// one format it plays, 16-bit stereo PCM at 44100 samples per second (otherwise
// WAVERR_BADFORMAT). Flags: CALLBACK_NULL, or CALLBACK_FUNCTION with `callback` a
// WaveOutProc cast to DWORD_PTR, called with `instance` for WOM_OPEN, every WOM_DONE and
// WOM_CLOSE, always on the device's thread. One opening at a time (MMSYSERR_ALLOCATED);
// each opening gets a handle never used before. *device is written only on success.
// On ALSA: MMSYSERR_NODRIVER when there is no such PCM, MMSYSERR_ALLOCATED when it is in
// use, WAVERR_BADFORMAT when it cannot take the format exactly. After the PCM failed
// while playing, its blocks have come back and waveOutWrite gives MMSYSERR_NODRIVER
// (gone) or MMSYSERR_ERROR.
MMRESULT waveOutOpen(HWAVEOUT* device, UINT deviceId, const WAVEFORMATEX* format, DWORD_PTR callback,
                     DWORD_PTR instance, DWORD flags);
// Sets WHDR_PREPARED and leaves the other flags, WHDR_DONE included, as they are.
MMRESULT waveOutPrepareHeader(HWAVEOUT device, WAVEHDR* header, UINT headerSize);
// Clears WHDR_PREPARED; WAVERR_STILLPLAYING while the device holds the header.
MMRESULT waveOutUnprepareHeader(HWAVEOUT device, WAVEHDR* header, UINT headerSize);
// Queues a prepared header (WAVERR_UNPREPARED otherwise) behind those written before:
// clears WHDR_DONE and sets WHDR_INQUEUE. Once the block has played, the device clears
// WHDR_INQUEUE and sets WHDR_DONE in one step, then sends WOM_DONE. A length of 0 is a
// block like any other.
MMRESULT waveOutWrite(HWAVEOUT device, WAVEHDR* header, UINT headerSize);
// Stops playing and hands back every block the device holds, each with WHDR_DONE and its
// WOM_DONE, in the order written; returns once all of their callbacks have run.
MMRESULT waveOutReset(HWAVEOUT device);
// Closes the device: WAVERR_STILLPLAYING, with the device left open, while it holds
// blocks. On success WOM_CLOSE has been sent and no callback runs any more.
MMRESULT waveOutClose(HWAVEOUT device);
