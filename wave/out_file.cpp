// One module-level PCM output file: the handle and records that the writing functions
// expect from their caller live here, so the caller holds nothing between calls.

#include <cstdint>

#include "wave/wave.h"

namespace {

struct OutputFile {
    HMMIO handle = nullptr;
    MMCKINFO chunk{};
    MMCKINFO riff{};
    MMIOINFO io{};
    // Only a file whose data chunk was begun has an I/O state worth writing through.
    bool dataOpen = false;
    WORD blockAlign = 0;
    // Wider than any RIFF file, so the sum of placed bytes cannot wrap.
    std::uint64_t bytesPlaced = 0;
};

OutputFile theFile;

// The fields follow the arguments' signed widths: bits / 8 is a 16-bit quotient taken
// before the products, and the 32-bit products wrap. They are computed as unsigned
// values, which wrap to the same bits without ever overflowing a signed type.
WAVEFORMATEX pcmFormat(int32_t rate, int16_t bits, int16_t channels)
{
    const auto bytesPerSample = static_cast<int16_t>(bits / 8);
    const auto perSample = static_cast<std::uint32_t>(bytesPerSample);
    const auto channelCount = static_cast<std::uint32_t>(channels);

    WAVEFORMATEX format{};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = static_cast<WORD>(channels);
    format.nSamplesPerSec = static_cast<DWORD>(rate);
    format.nAvgBytesPerSec = static_cast<std::uint32_t>(rate) * perSample * channelCount;
    format.nBlockAlign = static_cast<WORD>(perSample * channelCount);
    format.wBitsPerSample = static_cast<WORD>(bits);
    format.cbSize = 0;
    return format;
}

// The frames that the placed bytes make up; sample widths below a byte have no block
// align to divide by and count none.
DWORD framesPlaced(const OutputFile& file)
{
    if (file.blockAlign == 0) {
        return 0;
    }
    return static_cast<DWORD>(file.bytesPlaced / file.blockAlign);
}

}  // namespace

int32_t out_file_open(const char* fileName, int32_t rate, int16_t bits, int16_t channels)
{
    // The file already open, finished or not, is left exactly as it is.
    if (theFile.handle != nullptr) {
        return static_cast<int32_t>(MMSYSERR_ALLOCATED);
    }
    // Fresh records: the previous file's I/O state points into a buffer that is gone.
    theFile = OutputFile{};
    const WAVEFORMATEX format = pcmFormat(rate, bits, channels);
    theFile.blockAlign = format.nBlockAlign;

    if (const int32_t result = wav_create(fileName, &theFile.handle, &format, &theFile.chunk, &theFile.riff);
        result != 0) {
        return result;
    }
    const int32_t result = wav_begin_data(&theFile.handle, &theFile.chunk, &theFile.io);
    theFile.dataOpen = result == 0;
    return result;
}

int32_t out_file_write(const BYTE* bytes, DWORD count)
{
    if (theFile.handle == nullptr || !theFile.dataOpen) {
        return static_cast<int32_t>(MMSYSERR_INVALHANDLE);
    }
    DWORD written = 0;
    const int32_t result = wav_write(theFile.handle, count, bytes, &theFile.chunk, &written, &theFile.io);
    // Bytes placed before a failure are in the file all the same, so they count.
    theFile.bytesPlaced += written;
    return result;
}

int32_t out_file_close()
{
    if (theFile.handle == nullptr) {
        return 0;
    }
    if (!theFile.dataOpen) {
        // A file whose open failed halfway has no data chunk and no I/O state to settle:
        // finishing it would write sizes into a half-written header. It is only closed.
        const MMRESULT closed = mmioClose(theFile.handle, 0);
        theFile = OutputFile{};
        return static_cast<int32_t>(closed);
    }
    const int32_t result =
        wav_finish(&theFile.handle, &theFile.chunk, &theFile.riff, &theFile.io, framesPlaced(theFile));
    theFile.dataOpen = false;
    return result;
}
