// Writing a WAVE file too large for a RIFF form as an RF64 form: the RIFF layout with
// the form's and the data chunk's 32-bit sizes all set, and the true sizes in a ds64
// chunk right after the form's type, settled when the file is finished.

#include <array>

#include "platform/little_endian.h"
#include "wave/file_access.h"
#include "wave/fourcc.h"
#include "wave/wave.h"
#include "wave/wave_write_steps.h"

namespace {

// A 32-bit size with all bits set says "look in ds64".
constexpr DWORD kSizeInDs64 = 0xFFFFFFFFu;
constexpr std::uint64_t kFormHeaderBytes = 12;  // id, size, form type
// RIFF size, data size and sample count (64 bits each), then a table length of 0.
constexpr std::size_t kDs64Bytes = 28;
constexpr std::size_t kDs64SizesBytes = 24;
constexpr LONG kDs64DataOffset = 20;

int32_t writeDs64Chunk(HMMIO handle)
{
    MMCKINFO ds64{};
    ds64.ckid = kFourccDs64;
    ds64.cksize = kDs64Bytes;
    if (const MMRESULT result = mmioCreateChunk(handle, &ds64, 0); result != 0) {
        return static_cast<int32_t>(result);
    }
    const std::array<unsigned char, kDs64Bytes> unsettled{};
    if (!writeExactly(handle, unsettled.data(), unsettled.size())) {
        return WAV_ERR_WRITE_FAILED;
    }
    return static_cast<int32_t>(mmioAscend(handle, &ds64, 0));
}

bool writeAt(HMMIO handle, LONG offset, const unsigned char* bytes, DWORD count)
{
    return mmioSeek(handle, offset, SEEK_SET) == offset && writeExactly(handle, bytes, count);
}

// Everything after the data chunk's header is sample bytes, written in one forward pass,
// so the file's length tells how many there are. The pad byte of odd data follows them.
int32_t settleSizes(HMMIO handle, const MMCKINFO& data, std::uint64_t sampleCount, const BYTE* trailing,
                    DWORD trailingBytes)
{
    std::uint64_t length = 0;
    if (const MMRESULT result = mmioGetFileSize(handle, &length); result != 0) {
        return static_cast<int32_t>(result);
    }
    if (length < data.dwDataOffset) {
        return static_cast<int32_t>(MMSYSERR_INVALPARAM);
    }
    const std::uint64_t dataBytes = length - data.dwDataOffset;
    if (dataBytes % 2 != 0) {
        const unsigned char pad = 0;
        if (!writeExactly(handle, &pad, 1)) {
            return static_cast<int32_t>(MMIOERR_CANNOTWRITE);
        }
        ++length;
    }
    // Chunks after the data go behind its pad byte; the form's size takes them in.
    if (trailingBytes != 0) {
        if (!writeExactly(handle, trailing, trailingBytes)) {
            return static_cast<int32_t>(MMIOERR_CANNOTWRITE);
        }
        length += trailingBytes;
    }
    return writeRf64Sizes(handle, data, length, dataBytes, sampleCount) ? 0 : static_cast<int32_t>(MMIOERR_CANNOTWRITE);
}

}  // namespace

bool writeRf64Sizes(HMMIO handle, const MMCKINFO& data, std::uint64_t fileLength, std::uint64_t dataBytes,
                    std::uint64_t sampleCount)
{
    const std::uint64_t dataStart = data.dwDataOffset;
    if (dataStart < kDs64DataOffset + kDs64Bytes + 8 || fileLength < dataStart || fileLength - dataStart < dataBytes) {
        return false;
    }
    unsigned char sizes[kDs64SizesBytes];
    writeLittleEndian64(sizes, fileLength - 8);
    writeLittleEndian64(sizes + 8, dataBytes);
    writeLittleEndian64(sizes + 16, sampleCount);
    unsigned char dataSize[4];
    writeLittleEndian32(dataSize, kSizeInDs64);
    return writeAt(handle, kDs64DataOffset, sizes, sizeof sizes) &&
           writeAt(handle, static_cast<LONG>(dataStart - 4), dataSize, sizeof dataSize);
}

int32_t wav_needs_rf64(const WAVEFORMATEX* format, uint64_t dataBytes)
{
    const std::uint64_t header = kFormHeaderBytes + formatFactAndDataHeaderBytes(format);
    const std::uint64_t ceiling = mmioGetMaximumRiffFileSize();
    const std::uint64_t room = ceiling > header ? ceiling - header : 0;
    // Compared without adding, so that no size wraps.
    return dataBytes > room || (dataBytes % 2) > room - dataBytes ? 1 : 0;
}

int32_t wav_create_rf64(const char* fileName, HMMIO* handle, const WAVEFORMATEX* format, MMCKINFO* chunk,
                        MMCKINFO* riff)
{
    if (const int32_t result = openToCreate(fileName, handle); result != 0) {
        return result;
    }
    if (const int32_t result = createRf64Form(*handle, riff); result != 0) {
        return result;
    }
    return writeFormatAndFactChunks(*handle, format, chunk);
}

int32_t createRf64Form(HMMIO handle, MMCKINFO* riff)
{
    if (const MMRESULT result = mmioAllowLargeFile(handle); result != 0) {
        return static_cast<int32_t>(result);
    }

    // Made as a plain chunk: its size is never settled in place, so the form's type
    // follows its header as ordinary data.
    riff->ckid = kFourccRf64;
    riff->cksize = kSizeInDs64;
    riff->fccType = kFourccWave;
    if (const MMRESULT result = mmioCreateChunk(handle, riff, 0); result != 0) {
        return static_cast<int32_t>(result);
    }
    unsigned char formType[4];
    writeLittleEndian32(formType, kFourccWave);
    if (!writeExactly(handle, formType, sizeof formType)) {
        return WAV_ERR_WRITE_FAILED;
    }
    return writeDs64Chunk(handle);
}

int32_t wav_finish_rf64(HMMIO* handle, MMCKINFO* chunk, MMCKINFO* riff, MMIOINFO* io, uint64_t sampleCount)
{
    return finishRf64Form(handle, chunk, riff, io, sampleCount, nullptr, 0, nullptr);
}

int32_t finishRf64Form(HMMIO* handle, MMCKINFO* chunk, MMCKINFO* riff, MMIOINFO* io, std::uint64_t sampleCount,
                       const BYTE* trailing, DWORD trailingBytes, const HeaderPatch* patch)
{
    if (*handle == nullptr) {
        return 0;
    }
    int32_t result = 0;
    if (riff->ckid != kFourccRf64) {
        result = static_cast<int32_t>(MMSYSERR_INVALPARAM);
    }
    if (result == 0) {
        io->dwFlags |= MMIO_DIRTY;
        result = static_cast<int32_t>(mmioSetInfo(*handle, io, 0));
    }
    if (result == 0) {
        result = settleSizes(*handle, *chunk, sampleCount, trailing, trailingBytes);
    }
    if (result == 0 && patch != nullptr && !patch->writeTo(*handle)) {
        result = static_cast<int32_t>(MMIOERR_CANNOTWRITE);
    }
    // As for a RIFF file: what the close writes out must reach the disk to count.
    const MMRESULT closed = mmioClose(*handle, 0);
    *handle = nullptr;
    if (result == 0) {
        result = static_cast<int32_t>(closed);
    }
    return result;
}
