// Writing a WAVE file with side chunks around the fmt, fact and data chunks: the same one
// forward pass, with the caller's whole chunks written where they belong.

#include "wave/file_access.h"
#include "wave/fourcc.h"
#include "wave/wave.h"
#include "wave/wave_write_steps.h"

int32_t wav_needs_rf64_with_chunks(const WAVEFORMATEX* format, uint64_t dataBytes, uint64_t sideBytes)
{
    // The side chunks count as data would: compared without adding, so nothing wraps.
    return dataBytes > UINT64_MAX - sideBytes ? 1 : wav_needs_rf64(format, dataBytes + sideBytes);
}

int32_t wav_create_with_chunks(const char* fileName, HMMIO* handle, const WAVEFORMATEX* format, MMCKINFO* chunk,
                               MMCKINFO* riff, int32_t rf64, const BYTE* leading, DWORD leadingBytes,
                               const BYTE* middle, DWORD middleBytes)
{
    if (const int32_t result = openToCreate(fileName, handle); result != 0) {
        return result;
    }
    if (rf64 != 0) {
        if (const int32_t result = createRf64Form(*handle, riff); result != 0) {
            return result;
        }
    } else {
        riff->fccType = kFourccWave;
        riff->cksize = 0;
        if (const MMRESULT result = mmioCreateChunk(*handle, riff, MMIO_CREATERIFF); result != 0) {
            return static_cast<int32_t>(result);
        }
    }
    if (leadingBytes != 0 && !writeExactly(*handle, leading, leadingBytes)) {
        return WAV_ERR_WRITE_FAILED;
    }
    if (const int32_t result = writeFormatAndFactChunks(*handle, format, chunk); result != 0) {
        return result;
    }
    if (middleBytes != 0 && !writeExactly(*handle, middle, middleBytes)) {
        return WAV_ERR_WRITE_FAILED;
    }
    return 0;
}

int32_t wav_finish_with_chunks(HMMIO* handle, MMCKINFO* chunk, MMCKINFO* riff, MMIOINFO* io, uint64_t sampleCount,
                               const BYTE* trailing, DWORD trailingBytes, DWORD patchOffset, const BYTE* patch,
                               DWORD patchBytes)
{
    const HeaderPatch header{patchOffset, patch, patchBytes};
    const HeaderPatch* patching = patchBytes != 0 ? &header : nullptr;
    if (*handle != nullptr && riff->ckid == kFourccRf64) {
        return finishRf64Form(handle, chunk, riff, io, sampleCount, trailing, trailingBytes, patching);
    }
    // A RIFF form holds fewer than 2^32 bytes, so its count fits the fact chunk's field.
    return finishRiffForm(handle, chunk, riff, io, static_cast<DWORD>(sampleCount), trailing, trailingBytes,
                          patching);
}
