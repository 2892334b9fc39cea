// Settling the header of a WAVE file whose writing failed (a full disk, a file size limit,
// the RIFF size limit): the samples that reached the disk stay, and the sizes and the
// sample count are made to describe exactly them, so every reader accepts the file.

#include <algorithm>
#include <cstdint>

#include "platform/little_endian.h"
#include "wave/file_access.h"
#include "wave/fourcc.h"
#include "wave/wave.h"
#include "wave/wave_write_steps.h"

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
    return mmioSeek(handle, offset, SEEK_SET) == offset && writeExactly(handle, field, kFieldBytes);
}

// Each step works on a handle of its own, duplicated from the spare one, as if it opened
// the file afresh: a write refused in one step stays with its handle, and closing the
// handle tells whether the step's bytes reached the disk.

// The length of the file on disk; false when it cannot be reached.
bool diskLength(HMMIO spare, std::uint64_t* length)
{
    const HMMIO handle = mmioDuplicate(spare);
    if (handle == nullptr) {
        return false;
    }
    const bool known = mmioGetFileSize(handle, length) == MMSYSERR_NOERROR;
    mmioClose(handle, 0);
    return known;
}

// Appends the pad byte of odd data at the end of the file: whether the disk took it. The
// byte reaches the disk only when the file is closed, so the close tells. Only a file with
// 64-bit sizes (largeFile) may take it past the RIFF ceiling.
bool appendPadByte(HMMIO spare, std::uint64_t position, bool largeFile)
{
    const HMMIO handle = mmioDuplicate(spare);
    if (handle == nullptr) {
        return false;
    }
    const char pad = 0;
    const bool placed = (!largeFile || mmioAllowLargeFile(handle) == MMSYSERR_NOERROR) &&
                        mmioSeekTo(handle, position) == MMSYSERR_NOERROR && mmioWrite(handle, &pad, 1) == 1;
    return mmioClose(handle, 0) == MMSYSERR_NOERROR && placed;
}

// The data bytes on disk after dataStart, at most bytesPlaced, and where the file then
// ends: after a pad byte of odd data when one is there or the disk takes it. False when the
// file cannot be reached or does not reach dataStart.
bool settledData(HMMIO spare, std::uint64_t dataStart, std::uint64_t bytesPlaced, bool largeFile,
                 std::uint64_t* dataBytes, std::uint64_t* end)
{
    std::uint64_t length = 0;
    if (!diskLength(spare, &length) || length < dataStart) {
        return false;
    }
    // A byte past the data can only be a pad byte that the finish wrote before it failed.
    *dataBytes = std::min(length - dataStart, bytesPlaced);
    *end = dataStart + *dataBytes;
    if (*dataBytes % 2 != 0 && (length > *end || appendPadByte(spare, *end, largeFile))) {
        ++*end;
    }
    return true;
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

// Writes the header fields in place: WAV_ERR_WRITE_FAILED when the file cannot be reached
// or a field is not written, otherwise the result of closing the step's handle.
template <typename WriteFields>
int32_t rewriteHeader(HMMIO spare, WriteFields writeFields)
{
    const HMMIO handle = mmioDuplicate(spare);
    if (handle == nullptr) {
        return WAV_ERR_WRITE_FAILED;
    }
    const bool written = writeFields(handle);
    const MMRESULT closed = mmioClose(handle, 0);
    return written ? static_cast<int32_t>(closed) : WAV_ERR_WRITE_FAILED;
}

}  // namespace

int32_t wav_settle(HMMIO spare, const MMCKINFO* chunk, DWORD bytesPlaced, WORD blockAlign)
{
    const std::uint64_t dataStart = chunk->dwDataOffset;
    std::uint64_t onDisk = 0;
    std::uint64_t end = 0;
    // The data chunk begins after the RIFF header and its own; the file must hold both.
    if (dataStart < kFirstInnerChunkOffset + 2 * kFieldBytes ||
        !settledData(spare, dataStart, bytesPlaced, false, &onDisk, &end)) {
        return WAV_ERR_WRITE_FAILED;
    }
    // At most bytesPlaced, so 32 bits wide.
    const auto dataBytes = static_cast<DWORD>(onDisk);

    // The file is never longer than a RIFF file may be, so its size fits the field.
    const auto riffSize = static_cast<DWORD>(end - kRiffDataOffset);
    const DWORD sampleCount = blockAlign == 0 ? 0 : dataBytes / blockAlign;
    return rewriteHeader(spare, [&](HMMIO handle) {
        return writeFieldAt(handle, kRiffSizeOffset, riffSize) &&
               writeFieldAt(handle, static_cast<LONG>(dataStart - kFieldBytes), dataBytes) &&
               writeSampleCount(handle, riffSize, sampleCount);
    });
}

int32_t wav_settle_rf64(HMMIO spare, const MMCKINFO* chunk, uint64_t bytesPlaced, WORD blockAlign)
{
    std::uint64_t dataBytes = 0;
    std::uint64_t end = 0;
    if (!settledData(spare, chunk->dwDataOffset, bytesPlaced, true, &dataBytes, &end)) {
        return WAV_ERR_WRITE_FAILED;
    }
    const std::uint64_t sampleCount = blockAlign == 0 ? 0 : dataBytes / blockAlign;
    return rewriteHeader(spare,
                         [&](HMMIO handle) { return writeRf64Sizes(handle, *chunk, end, dataBytes, sampleCount); });
}
