// Uses the installed wave layer as an outside program would, with no sound at all:
// saves a small 16-bit stereo file, loads it back and compares. Prints what went wrong
// and ends with 1 on any mismatch.

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

// Only the installed prefix's include/ is on the path; every public header is reached
// under pcmwrap/ and must compile on its own with what the package says it needs.
#include <pcmwrap/platform/global_memory.h>
#include <pcmwrap/platform/mmio.h>
#include <pcmwrap/platform/wave_format.h>
#include <pcmwrap/audio/wave_out.h>
#include <pcmwrap/platform/win_types.h>
#include <pcmwrap/playback/playback.h>
#include <pcmwrap/wave/wave.h>

namespace {

bool check(bool condition, const char* what)
{
    if (!condition) {
        std::printf("consumer: %s\n", what);
    }
    return condition;
}

bool roundTrip(const char* fileName)
{
    WAVEFORMATEX format{};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = 2;
    format.nSamplesPerSec = 44100;
    format.nBlockAlign = 4;
    format.nAvgBytesPerSec = 44100 * 4;
    format.wBitsPerSample = 16;

    // An odd count, so the data chunk needs its pad byte.
    std::vector<BYTE> samples(4 * 1000 + 1);
    for (std::size_t i = 0; i < samples.size(); ++i) {
        samples[i] = static_cast<BYTE>(i * 7 + 3);
    }
    const DWORD byteCount = static_cast<DWORD>(samples.size());
    if (!check(wav_save(fileName, byteCount, byteCount / 4, &format, samples.data()) == 0, "wav_save failed")) {
        return false;
    }

    DWORD size = 0;
    WAVEFORMATEX* loaded = nullptr;
    BYTE* data = nullptr;
    if (!check(wav_load(fileName, &size, &loaded, &data) == 0, "wav_load failed")) {
        return false;
    }
    bool ok = check(size == byteCount, "wrong data size");
    ok = check(loaded->wFormatTag == WAVE_FORMAT_PCM && loaded->nChannels == 2 && loaded->nSamplesPerSec == 44100 &&
                   loaded->nAvgBytesPerSec == 176400 && loaded->nBlockAlign == 4 && loaded->wBitsPerSample == 16,
               "wrong format") &&
         ok;
    ok = check(size == byteCount && std::memcmp(data, samples.data(), size) == 0, "wrong data bytes") && ok;

    GlobalFree(data);
    HMMIO noFile = nullptr;
    wav_close_read(&noFile, &loaded);
    return ok;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::printf("usage: pcmwrap_wave_consumer <file.wav>\n");
        return 2;
    }
    return roundTrip(argv[1]) ? 0 : 1;
}
