// Writing a WAVE file whose length is not known when it is created (its samples come from
// a pipe): right after the form's type a JUNK chunk of 28 data bytes keeps the place of a
// ds64 chunk. A file that ends within the RIFF limit is finished as a RIFF file, the JUNK
// chunk left as it is (readers skip it); a longer one becomes an RF64 file in place: the
// form's id, the JUNK chunk turned into ds64 with the true sizes.

#include <array>

#include "platform/little_endian.h"
#include "wave/file_access.h"
#include "wave/fourcc.h"
#include "wave/stream_sizes.h"
#include "wave/wave.h"
#include "wave/wave_write_steps.h"

namespace {

constexpr FOURCC kFourccJunk = mmioFOURCC('J', 'U', 'N', 'K');
constexpr DWORD kReservedBytes = 28;
constexpr DWORD kSizeInDs64 = 0xFFFFFFFFu;
constexpr LONG kJunkOffset = 12;

// Whether a file of dataBytes sample bytes after dataStart, and its pad byte, fits a RIFF form.
bool fitsRiff(std::uint64_t dataStart, std::uint64_t dataBytes)
{
    const std::uint64_t ceiling = mmioGetMaximumRiffFileSize();
    return dataStart <= ceiling && dataBytes + dataBytes % 2 <= ceiling - dataStart;
}

// The form's id and size, and the JUNK chunk's id, as an RF64 form's: the sizes are then
// settled in ds64 as for a file created as RF64.
bool turnIntoRf64(HMMIO handle)
{
    unsigned char form[8];
    writeLittleEndian32(form, kFourccRf64);
    writeLittleEndian32(form + 4, kSizeInDs64);
    unsigned char id[4];
    writeLittleEndian32(id, kFourccDs64);
    return mmioSeek(handle, 0, SEEK_SET) == 0 && writeExactly(handle, form, sizeof form) &&
           mmioSeek(handle, kJunkOffset, SEEK_SET) == kJunkOffset && writeExactly(handle, id, sizeof id);
}

}  // namespace

int32_t wav_create_growable(const char* fileName, HMMIO* handle, const WAVEFORMATEX* format, MMCKINFO* chunk,
                            MMCKINFO* riff)
{
    if (const int32_t result = openToCreate(fileName, handle); result != 0) {
        return result;
    }
    return wav_begin_growable(*handle, format, chunk, riff);
}

int32_t wav_begin_growable(HMMIO handle, const WAVEFORMATEX* format, MMCKINFO* chunk, MMCKINFO* riff)
{
    if (mmioIsStream(handle)) {
        return static_cast<int32_t>(MMIOERR_CANNOTSEEK);
    }
    if (const MMRESULT result = mmioAllowLargeFile(handle); result != 0) {
        return static_cast<int32_t>(result);
    }
    riff->fccType = kFourccWave;
    riff->cksize = 0;
    if (const MMRESULT result = mmioCreateChunk(handle, riff, MMIO_CREATERIFF); result != 0) {
        return static_cast<int32_t>(result);
    }
    MMCKINFO junk{};
    junk.ckid = kFourccJunk;
    junk.cksize = kReservedBytes;
    if (const MMRESULT result = mmioCreateChunk(handle, &junk, 0); result != 0) {
        return static_cast<int32_t>(result);
    }
    const std::array<unsigned char, kReservedBytes> reserved{};
    if (!writeExactly(handle, reserved.data(), reserved.size())) {
        return WAV_ERR_WRITE_FAILED;
    }
    if (const MMRESULT result = mmioAscend(handle, &junk, 0); result != 0) {
        return static_cast<int32_t>(result);
    }
    return writeFormatAndFactChunks(handle, format, chunk);
}

int32_t wav_finish_growable(HMMIO* handle, MMCKINFO* chunk, MMCKINFO* riff, MMIOINFO* io, uint64_t sampleCount)
{
    if (*handle == nullptr) {
        return 0;
    }
    io->dwFlags |= MMIO_DIRTY;
    int32_t result = static_cast<int32_t>(mmioSetInfo(*handle, io, 0));
    std::uint64_t length = 0;
    if (result == 0) {
        result = static_cast<int32_t>(mmioGetFileSize(*handle, &length));
    }
    if (result == 0 && length >= chunk->dwDataOffset && fitsRiff(chunk->dwDataOffset, length - chunk->dwDataOffset)) {
        // A RIFF file; its count fits 32 bits as its data does.
        return wav_finish(handle, chunk, riff, io, static_cast<DWORD>(sampleCount));
    }
    if (result != 0) {
        mmioClose(*handle, 0);
        *handle = nullptr;
        return result;
    }
    // The sizes and the pad byte go in as for a file created as RF64, through the buffer
    // state the caller drove; then the form's id and the JUNK chunk's id change, through a
    // handle of their own on the same file, once the first has written everything out.
    const HMMIO spare = mmioDuplicate(*handle);
    riff->ckid = kFourccRf64;
    result = wav_finish_rf64(handle, chunk, riff, io, sampleCount);
    if (spare == nullptr) {
        return result != 0 ? result : WAV_ERR_WRITE_FAILED;
    }
    const bool turned = result == 0 && turnIntoRf64(spare);
    const MMRESULT closed = mmioClose(spare, 0);
    if (result == 0) {
        result = !turned ? static_cast<int32_t>(MMIOERR_CANNOTWRITE) : static_cast<int32_t>(closed);
    }
    return result;
}

int32_t wav_settle_growable(HMMIO spare, const MMCKINFO* chunk, uint64_t bytesPlaced, WORD blockAlign)
{
    std::uint64_t length = 0;
    const HMMIO handle = mmioDuplicate(spare);
    if (handle == nullptr) {
        return WAV_ERR_WRITE_FAILED;
    }
    const bool known = mmioGetFileSize(handle, &length) == MMSYSERR_NOERROR;
    const std::uint64_t onDisk = known && length >= chunk->dwDataOffset ? length - chunk->dwDataOffset : 0;
    const std::uint64_t data = std::min(onDisk, bytesPlaced);
    if (!known || fitsRiff(chunk->dwDataOffset, data)) {
        mmioClose(handle, 0);
        return wav_settle(spare, chunk, static_cast<DWORD>(data), blockAlign);
    }
    const bool turned = turnIntoRf64(handle);
    if (mmioClose(handle, 0) != MMSYSERR_NOERROR || !turned) {
        return WAV_ERR_WRITE_FAILED;
    }
    return wav_settle_rf64(spare, chunk, bytesPlaced, blockAlign);
}
