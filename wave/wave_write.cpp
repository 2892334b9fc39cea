// Writing a RIFF WAVE file in one forward pass: header, fmt and fact chunks first,
// then the sample bytes straight into the file's I/O buffer, and the sizes and the
// sample count written back into the header at the end.

#include <algorithm>
#include <cstring>

#include "platform/little_endian.h"
#include "wave/file_access.h"
#include "wave/format_sizes.h"
#include "wave/fourcc.h"
#include "wave/wave.h"
#include "wave/wave_write_steps.h"

namespace {

// The format record as the fmt chunk stores it: every field little-endian, in order.
void serializeFormat(const WAVEFORMATEX& format, unsigned char (&bytes)[kFormatRecordBytes])
{
    writeLittleEndian16(bytes + 0, format.wFormatTag);
    writeLittleEndian16(bytes + 2, format.nChannels);
    writeLittleEndian32(bytes + 4, format.nSamplesPerSec);
    writeLittleEndian32(bytes + 8, format.nAvgBytesPerSec);
    writeLittleEndian16(bytes + 12, format.nBlockAlign);
    writeLittleEndian16(bytes + 14, format.wBitsPerSample);
    writeLittleEndian16(bytes + 16, format.cbSize);
}

}  // namespace

bool writeFormat(HMMIO handle, const WAVEFORMATEX* format)
{
    unsigned char record[kFormatRecordBytes];
    serializeFormat(*format, record);
    if (format->wFormatTag == WAVE_FORMAT_PCM) {
        return writeExactly(handle, record, kPcmFormatBytes);
    }
    const auto* extra = reinterpret_cast<const BYTE*>(format) + sizeof(WAVEFORMATEX);
    return writeExactly(handle, record, kFormatRecordBytes) && writeExactly(handle, extra, format->cbSize);
}

int32_t wav_create(const char* fileName, HMMIO* handle, const WAVEFORMATEX* format, MMCKINFO* chunk, MMCKINFO* riff)
{
    if (const int32_t result = openToCreate(fileName, handle); result != 0) {
        return result;
    }

    riff->fccType = kFourccWave;
    riff->cksize = 0;
    if (const MMRESULT result = mmioCreateChunk(*handle, riff, MMIO_CREATERIFF); result != 0) {
        return static_cast<int32_t>(result);
    }
    return writeFormatAndFactChunks(*handle, format, chunk);
}

int32_t openToCreate(const char* fileName, HMMIO* handle)
{
    // Every reason the file cannot be created gives the one code callers compare
    // against; the I/O keeps a name that is no regular file untouched.
    *handle = mmioOpenA(fileName, nullptr, MMIO_ALLOCBUF | MMIO_CREATE | MMIO_READWRITE);
    return *handle != nullptr ? 0 : WAV_ERR_WRITE_FAILED;
}

int32_t writeFormatAndFactChunks(HMMIO handle, const WAVEFORMATEX* format, MMCKINFO* chunk)
{
    chunk->ckid = kFourccFmt;
    chunk->cksize = kPcmFormatBytes;
    if (const MMRESULT result = mmioCreateChunk(handle, chunk, 0); result != 0) {
        return static_cast<int32_t>(result);
    }
    if (!writeFormat(handle, format)) {
        return WAV_ERR_WRITE_FAILED;
    }
    if (const MMRESULT result = mmioAscend(handle, chunk, 0); result != 0) {
        return static_cast<int32_t>(result);
    }

    // The count is not known until the end; all bits set marks it as unsettled.
    MMCKINFO fact{};
    fact.ckid = kFourccFact;
    fact.cksize = 0;
    if (const MMRESULT result = mmioCreateChunk(handle, &fact, 0); result != 0) {
        return static_cast<int32_t>(result);
    }
    unsigned char placeholder[4];
    writeLittleEndian32(placeholder, 0xFFFFFFFFu);
    if (!writeExactly(handle, placeholder, sizeof placeholder)) {
        return WAV_ERR_WRITE_FAILED;
    }
    if (mmioAscend(handle, &fact, 0) != 0) {
        return WAV_ERR_WRITE_FAILED;
    }
    return 0;
}

std::uint64_t formatFactAndDataHeaderBytes(const WAVEFORMATEX* format)
{
    constexpr std::uint64_t kChunkHeaderBytes = 8;
    constexpr std::uint64_t kFactBytes = 4;
    const std::uint64_t formatBytes =
        format->wFormatTag == WAVE_FORMAT_PCM ? kPcmFormatBytes : kFormatRecordBytes + format->cbSize;
    return kChunkHeaderBytes + formatBytes + (formatBytes & 1) + kChunkHeaderBytes + kFactBytes + kChunkHeaderBytes;
}

int32_t wav_begin_data(HMMIO* handle, MMCKINFO* chunk, MMIOINFO* io)
{
    chunk->ckid = kFourccData;
    chunk->cksize = 0;
    if (const MMRESULT result = mmioCreateChunk(*handle, chunk, 0); result != 0) {
        return static_cast<int32_t>(result);
    }
    return static_cast<int32_t>(mmioGetInfo(*handle, io, 0));
}

int32_t wav_write(HMMIO handle, DWORD count, const BYTE* bytes, MMCKINFO* /*chunk*/, DWORD* written, MMIOINFO* io)
{
    *written = 0;
    int32_t result = 0;
    // Runs of bytes are copied at once; the buffer goes to the file only when a byte
    // finds it full, as it would byte by byte.
    while (*written < count) {
        if (io->pchNext == io->pchEndWrite) {
            io->dwFlags |= MMIO_DIRTY;
            result = static_cast<int32_t>(mmioAdvance(handle, io, MMIO_WRITE));
            if (result != 0) {
                break;
            }
        }
        const auto room = static_cast<std::size_t>(io->pchEndWrite - io->pchNext);
        if (room == 0) {
            // The I/O layer gave an empty buffer without an error: no byte can be placed.
            result = static_cast<int32_t>(MMIOERR_CANNOTEXPAND);
            break;
        }
        const std::size_t run = std::min<std::size_t>(room, count - *written);
        std::memcpy(io->pchNext, bytes + *written, run);
        io->pchNext += run;
        *written += static_cast<DWORD>(run);
    }
    return result;
}

int32_t wav_finish(HMMIO* handle, MMCKINFO* chunk, MMCKINFO* riff, MMIOINFO* io, DWORD sampleCount)
{
    return finishRiffForm(handle, chunk, riff, io, sampleCount, nullptr, 0, nullptr);
}

bool HeaderPatch::writeTo(HMMIO handle) const
{
    return mmioSeek(handle, static_cast<LONG>(offset), SEEK_SET) == static_cast<LONG>(offset) &&
           writeExactly(handle, bytes, count);
}

int32_t finishRiffForm(HMMIO* handle, MMCKINFO* chunk, MMCKINFO* riff, MMIOINFO* io, DWORD sampleCount,
                       const BYTE* trailing, DWORD trailingBytes, const HeaderPatch* patch)
{
    if (*handle == nullptr) {
        return 0;
    }
    int32_t result = 0;
    io->dwFlags |= MMIO_DIRTY;
    result = static_cast<int32_t>(mmioSetInfo(*handle, io, 0));
    if (result == 0) {
        result = static_cast<int32_t>(mmioAscend(*handle, chunk, 0));
    }
    // Chunks after the data go behind its pad byte, inside the form.
    if (result == 0 && trailingBytes != 0 && !writeExactly(*handle, trailing, trailingBytes)) {
        result = static_cast<int32_t>(MMIOERR_CANNOTWRITE);
    }
    if (result == 0) {
        result = static_cast<int32_t>(mmioAscend(*handle, riff, 0));
    }
    if (result == 0) {
        mmioSeek(*handle, 0, SEEK_SET);
        result = static_cast<int32_t>(mmioDescend(*handle, riff, nullptr, 0));
    }
    if (result == 0) {
        chunk->ckid = kFourccFact;
        if (mmioDescend(*handle, chunk, riff, MMIO_FINDCHUNK) == 0) {
            unsigned char count[4];
            writeLittleEndian32(count, sampleCount);
            writeExactly(*handle, count, sizeof count);
            mmioAscend(*handle, chunk, 0);
        }
        result = static_cast<int32_t>(mmioAscend(*handle, riff, 0));
    }
    if (result == 0 && patch != nullptr && !patch->writeTo(*handle)) {
        result = static_cast<int32_t>(MMIOERR_CANNOTWRITE);
    }
    // The close writes out what is still buffered, which for a small file is all of
    // it: a file that did not reach the disk must not be reported as finished.
    const MMRESULT closed = mmioClose(*handle, 0);
    *handle = nullptr;
    if (result == 0) {
        result = static_cast<int32_t>(closed);
    }
    return result;
}
