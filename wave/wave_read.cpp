// Reading a RIFF WAVE file: open it and copy its fmt chunk into a format block, find the
// data chunk, and take sample bytes straight out of the file's I/O buffer.

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "platform/little_endian.h"
#include "wave/file_access.h"
#include "wave/first_inner_chunk.h"
#include "wave/format_sizes.h"
#include "wave/fourcc.h"
#include "wave/wave.h"

namespace {

constexpr DWORD kExtraSizeBytes = 2;

// Whether the file holds the extra bytes after the 18-byte record. A fmt chunk may
// announce more than the file holds; the block for them is only allocated when they are
// there, so a short file cannot make us allocate up to 64 KiB that the read then fails to fill.
bool fileHoldsExtraBytes(HMMIO handle, const MMCKINFO& fmt, WORD extra)
{
    return fileHolds(handle, std::uint64_t{fmt.dwDataOffset} + kFormatRecordBytes, extra);
}

// The extra format bytes announced after the first 16 bytes of the fmt chunk; *extra is
// 0 for PCM. They are taken only from inside the chunk: many files with another format
// tag (32-bit float ones, for one) have a 16-byte fmt chunk, and the bytes after it are
// the next chunk's header, not an extra size.
int32_t readExtraSize(HMMIO handle, const MMCKINFO& fmt, WORD formatTag, WORD* extra)
{
    *extra = 0;
    if (formatTag == WAVE_FORMAT_PCM || fmt.cksize < kFormatRecordBytes) {
        return 0;
    }
    unsigned char field[kExtraSizeBytes];
    if (!readExactly(handle, field, sizeof field)) {
        return WAV_ERR_READ_FAILED;
    }
    *extra = readLittleEndian16(field);
    if (*extra > fmt.cksize - kFormatRecordBytes || !fileHoldsExtraBytes(handle, fmt, *extra)) {
        return WAV_ERR_BAD_FORMAT;
    }
    return 0;
}

void fillFormat(const unsigned char (&bytes)[kPcmFormatBytes], WORD extra, WAVEFORMATEX* format)
{
    format->wFormatTag = readLittleEndian16(bytes + 0);
    format->nChannels = readLittleEndian16(bytes + 2);
    format->nSamplesPerSec = readLittleEndian32(bytes + 4);
    format->nAvgBytesPerSec = readLittleEndian32(bytes + 8);
    format->nBlockAlign = readLittleEndian16(bytes + 12);
    format->wBitsPerSample = readLittleEndian16(bytes + 14);
    format->cbSize = extra;
}

// Steps from the RIFF header to a filled format block with the file past the fmt chunk.
// On failure *format may hold a block, which the caller releases.
int32_t readHeaderAndFormat(HMMIO handle, WAVEFORMATEX** format, MMCKINFO* riff)
{
    if (const MMRESULT result = mmioDescend(handle, riff, nullptr, 0); result != 0) {
        return static_cast<int32_t>(result);
    }
    if (riff->ckid != kFourccRiff || riff->fccType != kFourccWave) {
        return WAV_ERR_BAD_FORMAT;
    }
    MMCKINFO fmt{};
    fmt.ckid = kFourccFmt;
    if (const MMRESULT result = mmioDescend(handle, &fmt, riff, MMIO_FINDCHUNK); result != 0) {
        return static_cast<int32_t>(result);
    }
    if (fmt.cksize < kPcmFormatBytes) {
        return WAV_ERR_BAD_FORMAT;
    }
    unsigned char pcmPart[kPcmFormatBytes];
    if (!readExactly(handle, pcmPart, sizeof pcmPart)) {
        return WAV_ERR_READ_FAILED;
    }
    WORD extra = 0;
    if (const int32_t result = readExtraSize(handle, fmt, readLittleEndian16(pcmPart), &extra); result != 0) {
        return result;
    }
    *format = static_cast<WAVEFORMATEX*>(GlobalAlloc(GMEM_FIXED, kFormatRecordBytes + extra));
    if (*format == nullptr) {
        return WAV_ERR_NO_MEMORY;
    }
    fillFormat(pcmPart, extra, *format);
    if (extra != 0 && !readExactly(handle, reinterpret_cast<BYTE*>(*format) + kFormatRecordBytes, extra)) {
        return WAV_ERR_BAD_FORMAT;  // the file ends inside the fmt chunk
    }
    return static_cast<int32_t>(mmioAscend(handle, &fmt, 0));
}

}  // namespace

int32_t wav_open(const char* fileName, HMMIO* handle, WAVEFORMATEX** format, MMCKINFO* riff)
{
    *format = nullptr;
    HMMIO file = mmioOpenA(fileName, nullptr, MMIO_READ | MMIO_ALLOCBUF);
    const int32_t result = file == nullptr ? WAV_ERR_OPEN_FAILED : readHeaderAndFormat(file, format, riff);
    if (result != 0) {
        if (*format != nullptr) {
            GlobalFree(*format);
            *format = nullptr;
        }
        if (file != nullptr) {
            mmioClose(file, 0);
        }
        *handle = nullptr;
        return result;
    }
    *handle = file;
    return 0;
}

int32_t wav_begin_read(HMMIO* handle, MMCKINFO* data, MMCKINFO* riff)
{
    seekToFirstInnerChunk(*handle, *riff);
    data->ckid = kFourccData;
    return static_cast<int32_t>(mmioDescend(*handle, data, riff, MMIO_FINDCHUNK));
}

int32_t wav_read(HMMIO handle, DWORD wanted, BYTE* dest, MMCKINFO* data, DWORD* delivered)
{
    MMIOINFO io{};
    if (mmioGetInfo(handle, &io, 0) != 0) {
        *delivered = 0;
        return 1;
    }
    const DWORD count = std::min(wanted, data->cksize);
    // The record counts what is left to deliver, so it is lowered by the whole amount
    // undertaken, also when the file then ends early.
    data->cksize -= count;
    // Runs of bytes are copied at once; the buffer is refilled only when it is empty,
    // as it would be byte by byte.
    DWORD done = 0;
    while (done < count) {
        if (io.pchNext == io.pchEndRead) {
            if (const MMRESULT result = mmioAdvance(handle, &io, MMIO_READ); result != 0) {
                *delivered = 0;
                return static_cast<int32_t>(result);
            }
            if (io.pchNext == io.pchEndRead) {
                // The file ends inside the chunk. The bytes up to its end are real (a
                // recording cut short ends this way), so the caller learns how many.
                *delivered = done;
                return WAV_ERR_TRUNCATED;
            }
        }
        const auto available = static_cast<std::size_t>(io.pchEndRead - io.pchNext);
        const std::size_t run = std::min<std::size_t>(available, count - done);
        std::memcpy(dest + done, io.pchNext, run);
        io.pchNext += run;
        done += static_cast<DWORD>(run);
    }
    if (const MMRESULT result = mmioSetInfo(handle, &io, 0); result != 0) {
        *delivered = 0;
        return static_cast<int32_t>(result);
    }
    *delivered = count;
    return 0;
}

int32_t wav_close_read(HMMIO* handle, WAVEFORMATEX** format)
{
    if (*format != nullptr) {
        GlobalFree(*format);
        *format = nullptr;
    }
    if (*handle != nullptr) {
        mmioClose(*handle, 0);
        *handle = nullptr;
    }
    return 0;
}
