// Settling the header of a WAVE file whose writing failed (a full disk, a file size limit,
// the RIFF size limit): the samples that reached the disk stay, and the sizes and the
// sample count are made to describe exactly them, so every reader accepts the file.

#include <algorithm>
#include <cstdint>

#include "platform/little_endian.h"
#include "wave/fourcc.h"
#include "wave/wave.h"

namespace {

// The RIFF form always starts the file: its size field, and its first inner chunk after
// the form type.
constexpr LONG kRiffSizeOffset = 4;
constexpr DWORD kRiffDataOffset = 8;
constexpr LONG kFirstInnerChunkOffset = 12;
constexpr DWORD kFieldBytes = 4;

// A field inside the header, which lies within the first 2 GiB that mmioSeek reaches.
bool writeFieldAt(HMMIO handle, LONG offset, DWORD value)
{
    unsigned char field[kFieldBytes];
    writeLittleEndian32(field, value);
    return mmioSeek(handle, offset, SEEK_SET) == offset &&
           mmioWrite(handle, reinterpret_cast<const char*>(field), kFieldBytes) == static_cast<LONG>(kFieldBytes);
}

// The length of the file on disk; false when it cannot be opened.
bool diskLength(const char* fileName, std::uint64_t* length)
{
    const HMMIO handle = mmioOpenA(fileName, nullptr, MMIO_READ);
    if (handle == nullptr) {
        return false;
    }
    const bool known = mmioGetFileSize(handle, length) == MMSYSERR_NOERROR;
    mmioClose(handle, 0);
    return known;
}

// Appends the pad byte of odd data at the end of the file: whether the disk took it. The
// byte reaches the disk only when the file is closed, so the close tells.
bool appendPadByte(const char* fileName, std::uint64_t position)
{
    const HMMIO handle = mmioOpenA(fileName, nullptr, MMIO_READWRITE);
    if (handle == nullptr) {
        return false;
    }
    const char pad = 0;
    const bool placed = mmioSeekTo(handle, position) == MMSYSERR_NOERROR && mmioWrite(handle, &pad, 1) == 1;
    return mmioClose(handle, 0) == MMSYSERR_NOERROR && placed;
}

// The fact chunk, found like wav_finish finds it, receives the count.
bool writeSampleCount(HMMIO handle, DWORD riffSize, DWORD sampleCount)
{
    MMCKINFO riff{};
    riff.ckid = kFourccRiff;
    riff.cksize = riffSize;
    riff.fccType = kFourccWave;
    riff.dwDataOffset = kRiffDataOffset;
    MMCKINFO fact{};
    fact.ckid = kFourccFact;
    if (mmioSeek(handle, kFirstInnerChunkOffset, SEEK_SET) != kFirstInnerChunkOffset ||
        mmioDescend(handle, &fact, &riff, MMIO_FINDCHUNK) != MMSYSERR_NOERROR || fact.cksize < kFieldBytes) {
        return false;
    }
    return writeFieldAt(handle, static_cast<LONG>(fact.dwDataOffset), sampleCount);
}

}  // namespace

int32_t wav_settle(const char* fileName, const MMCKINFO* chunk, DWORD bytesPlaced, WORD blockAlign)
{
    std::uint64_t length = 0;
    const std::uint64_t dataStart = chunk->dwDataOffset;
    // The data chunk begins after the RIFF header and its own; the file must hold both.
    if (dataStart < kFirstInnerChunkOffset + 2 * kFieldBytes || !diskLength(fileName, &length) || length < dataStart) {
        return WAV_ERR_WRITE_FAILED;
    }
    // A byte past the data can only be a pad byte that wav_finish wrote before it failed.
    const auto dataBytes = static_cast<DWORD>(std::min<std::uint64_t>(length - dataStart, bytesPlaced));
    std::uint64_t end = dataStart + dataBytes;
    if (dataBytes % 2 != 0 && (length > end || appendPadByte(fileName, end))) {
        ++end;
    }

    const HMMIO handle = mmioOpenA(fileName, nullptr, MMIO_READWRITE);
    if (handle == nullptr) {
        return WAV_ERR_WRITE_FAILED;
    }
    // The file is never longer than a RIFF file may be, so its size fits the field.
    const auto riffSize = static_cast<DWORD>(end - kRiffDataOffset);
    const DWORD sampleCount = blockAlign == 0 ? 0 : dataBytes / blockAlign;
    const bool written = writeFieldAt(handle, kRiffSizeOffset, riffSize) &&
                         writeFieldAt(handle, static_cast<LONG>(dataStart - kFieldBytes), dataBytes) &&
                         writeSampleCount(handle, riffSize, sampleCount);
    const MMRESULT closed = mmioClose(handle, 0);
    if (!written) {
        return WAV_ERR_WRITE_FAILED;
    }
    return static_cast<int32_t>(closed);
}
