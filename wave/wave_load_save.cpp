// Whole-file load and save: a WAVE file's format and samples into two memory blocks in
// one call, and a whole file from a format record and sample bytes in one call.

#include <cstdint>

#include "wave/file_access.h"
#include "wave/wave.h"

namespace {

int32_t readData(HMMIO* handle, MMCKINFO* riff, DWORD* size, BYTE** data)
{
    MMCKINFO chunk{};
    if (const int32_t result = wav_begin_read(handle, &chunk, riff); result != 0) {
        return result;
    }
    // The data size gets a block only when the file holds that many bytes from the
    // chunk's first one. Otherwise the read would end the same way, but only after
    // allocating whatever the file announced.
    if (!fileHolds(*handle, chunk.dwDataOffset, chunk.cksize)) {
        return WAV_ERR_TRUNCATED;
    }
    *data = static_cast<BYTE*>(GlobalAlloc(GMEM_FIXED, chunk.cksize));
    if (*data == nullptr) {
        return WAV_ERR_NO_MEMORY;
    }
    DWORD delivered = 0;
    if (const int32_t result = wav_read(*handle, chunk.cksize, *data, &chunk, &delivered); result != 0) {
        return result;
    }
    *size = delivered;
    return 0;
}

}  // namespace

int32_t wav_load(const char* fileName, DWORD* size, WAVEFORMATEX** format, BYTE** data)
{
    *data = nullptr;
    *format = nullptr;
    *size = 0;
    HMMIO handle = nullptr;
    MMCKINFO riff{};
    int32_t result = wav_open(fileName, &handle, format, &riff);
    if (result == 0) {
        result = readData(&handle, &riff, size, data);
    }
    if (result != 0) {
        if (*data != nullptr) {
            GlobalFree(*data);
            *data = nullptr;
        }
        if (*format != nullptr) {
            GlobalFree(*format);
            *format = nullptr;
        }
        *size = 0;
    }
    if (handle != nullptr) {
        mmioClose(handle, 0);
    }
    return result;
}

int32_t wav_save(const char* fileName, DWORD byteCount, DWORD sampleCount, const WAVEFORMATEX* format,
                 const BYTE* data)
{
    HMMIO handle = nullptr;
    MMCKINFO chunk{};
    MMCKINFO riff{};
    MMIOINFO io{};
    DWORD written = 0;
    int32_t result = wav_create(fileName, &handle, format, &chunk, &riff);
    if (result == 0) {
        result = wav_begin_data(&handle, &chunk, &io);
    }
    if (result == 0) {
        result = wav_write(handle, byteCount, data, &chunk, &written, &io);
    }
    if (result != 0) {
        if (handle != nullptr) {
            mmioClose(handle, 0);
        }
        return result;
    }
    return wav_finish(&handle, &chunk, &riff, &io, sampleCount);
}
