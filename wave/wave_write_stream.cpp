// Writing a WAVE file to a stream, which cannot seek: the whole header, with the sizes
// decided before the first byte (wave/stream_sizes.h), then the sample bytes through the
// I/O buffer as for a file, then only the pad byte of odd data. Nothing is revisited.

#include "platform/little_endian.h"
#include "wave/file_access.h"
#include "wave/format_sizes.h"
#include "wave/fourcc.h"
#include "wave/stream_sizes.h"
#include "wave/wave.h"
#include "wave/wave_write_steps.h"

namespace {

constexpr DWORD kFactBytes = 4;
constexpr DWORD kDs64DataBytes = 28;

bool writeField32(HMMIO handle, std::uint32_t value)
{
    unsigned char field[4];
    writeLittleEndian32(field, value);
    return writeExactly(handle, field, sizeof field);
}

bool writeChunkHeader(HMMIO handle, FOURCC id, DWORD size)
{
    return writeField32(handle, id) && writeField32(handle, size);
}

bool writeDs64(HMMIO handle, const WaveStreamSizes& sizes)
{
    unsigned char data[kDs64DataBytes] = {};
    writeLittleEndian64(data, sizes.riffSize64);
    writeLittleEndian64(data + 8, sizes.dataSize64);
    writeLittleEndian64(data + 16, sizes.sampleCount64);  // and a table length of 0
    return writeChunkHeader(handle, kFourccDs64, kDs64DataBytes) && writeExactly(handle, data, sizeof data);
}

bool writeFormatChunk(HMMIO handle, const WAVEFORMATEX* format)
{
    const DWORD bytes = format->wFormatTag == WAVE_FORMAT_PCM ? kPcmFormatBytes : kFormatRecordBytes + format->cbSize;
    const unsigned char pad = 0;
    return writeChunkHeader(handle, kFourccFmt, bytes) && writeFormat(handle, format) &&
           (bytes % 2 == 0 || writeExactly(handle, &pad, 1));
}

// Where the data chunk's bytes begin, and how many the stream has taken so far.
bool streamPosition(HMMIO handle, std::uint64_t* position)
{
    return mmioGetFileSize(handle, position) == MMSYSERR_NOERROR;
}

}  // namespace

int32_t wav_begin_stream(HMMIO handle, const WAVEFORMATEX* format, uint64_t dataBytes, MMCKINFO* chunk, MMIOINFO* io)
{
    return wav_begin_stream_with_chunks(handle, format, dataBytes, nullptr, 0, nullptr, 0, 0, chunk, io);
}

int32_t wav_begin_stream_with_chunks(HMMIO handle, const WAVEFORMATEX* format, uint64_t dataBytes,
                                     const BYTE* leading, DWORD leadingBytes, const BYTE* middle, DWORD middleBytes,
                                     DWORD trailingBytes, MMCKINFO* chunk, MMIOINFO* io)
{
    if (format->nBlockAlign == 0 && dataBytes != WAV_STREAM_SIZE_UNKNOWN) {
        return static_cast<int32_t>(MMSYSERR_INVALPARAM);
    }
    // Chunks after data that streamed sizes cannot bound would be read as samples.
    if (dataBytes == WAV_STREAM_SIZE_UNKNOWN && trailingBytes != 0) {
        return static_cast<int32_t>(MMSYSERR_INVALPARAM);
    }
    const std::optional<std::uint64_t> known =
        dataBytes == WAV_STREAM_SIZE_UNKNOWN ? std::nullopt : std::optional<std::uint64_t>(dataBytes);
    // The side chunks count as header for the sizes: the form's size is their sum whatever
    // their place.
    const std::uint64_t headerBytes =
        formatFactAndDataHeaderBytes(format) + std::uint64_t{leadingBytes} + middleBytes + trailingBytes;
    const WaveStreamSizes sizes = decideStreamSizes(headerBytes, known, format->nBlockAlign);
    const bool written = writeChunkHeader(handle, sizes.rf64 ? kFourccRf64 : kFourccRiff, sizes.formSize) &&
                         writeField32(handle, kFourccWave) && (!sizes.rf64 || writeDs64(handle, sizes)) &&
                         (leadingBytes == 0 || writeExactly(handle, leading, leadingBytes)) &&
                         writeFormatChunk(handle, format) && writeChunkHeader(handle, kFourccFact, kFactBytes) &&
                         writeField32(handle, sizes.sampleCount) &&
                         (middleBytes == 0 || writeExactly(handle, middle, middleBytes)) &&
                         writeChunkHeader(handle, kFourccData, sizes.dataSize);
    if (!written) {
        return WAV_ERR_WRITE_FAILED;
    }
    std::uint64_t dataStart = 0;
    if (!streamPosition(handle, &dataStart)) {
        return WAV_ERR_WRITE_FAILED;
    }
    chunk->ckid = kFourccData;
    chunk->cksize = sizes.dataSize;
    chunk->fccType = 0;
    chunk->dwDataOffset = static_cast<DWORD>(dataStart);
    chunk->dwFlags = 0;
    return static_cast<int32_t>(mmioGetInfo(handle, io, 0));
}

int32_t wav_finish_stream(HMMIO* handle, MMCKINFO* chunk, MMIOINFO* io, uint64_t dataBytes)
{
    return wav_finish_stream_with_chunks(handle, chunk, io, dataBytes, nullptr, 0);
}

int32_t wav_finish_stream_with_chunks(HMMIO* handle, MMCKINFO* chunk, MMIOINFO* io, uint64_t dataBytes,
                                      const BYTE* trailing, DWORD trailingBytes)
{
    if (*handle == nullptr) {
        return 0;
    }
    io->dwFlags |= MMIO_DIRTY;
    int32_t result = static_cast<int32_t>(mmioSetInfo(*handle, io, 0));
    std::uint64_t end = 0;
    if (result == 0 && (!streamPosition(*handle, &end) || end < chunk->dwDataOffset)) {
        result = static_cast<int32_t>(MMSYSERR_INVALPARAM);
    }
    if (result == 0) {
        const std::uint64_t carried = end - chunk->dwDataOffset;
        const unsigned char pad = 0;
        if (dataBytes != WAV_STREAM_SIZE_UNKNOWN && carried != dataBytes) {
            // The header announced another size: a pad byte would only add to the damage.
            result = WAV_ERR_TRUNCATED;
        } else if (carried % 2 != 0 && !writeExactly(*handle, &pad, 1)) {
            result = static_cast<int32_t>(MMIOERR_CANNOTWRITE);
        } else if (trailingBytes != 0 && !writeExactly(*handle, trailing, trailingBytes)) {
            result = static_cast<int32_t>(MMIOERR_CANNOTWRITE);
        }
    }
    // The close hands the last buffer to the system: a stream that did not take it fails.
    const MMRESULT closed = mmioClose(*handle, 0);
    *handle = nullptr;
    return result != 0 ? result : static_cast<int32_t>(closed);
}
