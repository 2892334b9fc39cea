// Fuzz target: reading a WAVE file as a player would. wav_open, wav_begin_read, then
// wav_read in pieces of changing size until the data chunk is used up, a second pass
// after wav_begin_read again, and wav_close_read. What the calls report is checked
// against the input's own bytes: the format block, every sample byte delivered, the
// count left in the data record, and that no block larger than the file was asked for.

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <optional>
#include <vector>

#include "fuzz/fuzz_file.h"
#include "fuzz/riff_model.h"
#include "platform/global_memory_testing.h"
#include "wave/wave.h"

namespace {

using fuzzsupport::Input;
using fuzzsupport::RawChunk;

constexpr FOURCC kFmt = mmioFOURCC('f', 'm', 't', ' ');
constexpr FOURCC kData = mmioFOURCC('d', 'a', 't', 'a');
using fuzzsupport::kFormatRecordBytes;
using fuzzsupport::kPcmFormatBytes;

// Piece sizes for the first pass: single bytes, odd runs, and runs longer than a file
// the fuzzer makes, so that both a buffer refill and the end of the chunk fall inside a piece.
constexpr std::array<DWORD, 8> kPieces = {1, 2, 3, 7, 64, 333, 4096, 70001};
constexpr DWORD kLargestPiece = 70001;

// The format block must hold the fmt chunk's first 16 bytes, and for another tag than
// PCM its extra size and extra bytes, taken only from inside the chunk.
void checkFormat(const Input& input, const RawChunk& fmt, const WAVEFORMATEX* format)
{
    const std::uint64_t at = fmt.dataOffset();
    FUZZ_CHECK(fmt.size >= kPcmFormatBytes && input.holds(at, kPcmFormatBytes));
    FUZZ_CHECK(format->wFormatTag == input.field16(at));
    FUZZ_CHECK(format->nChannels == input.field16(at + 2));
    FUZZ_CHECK(format->nSamplesPerSec == input.field32(at + 4));
    FUZZ_CHECK(format->nAvgBytesPerSec == input.field32(at + 8));
    FUZZ_CHECK(format->nBlockAlign == input.field16(at + 12));
    FUZZ_CHECK(format->wBitsPerSample == input.field16(at + 14));
    if (format->wFormatTag == WAVE_FORMAT_PCM || fmt.size < kFormatRecordBytes) {
        FUZZ_CHECK(format->cbSize == 0);
        return;
    }
    FUZZ_CHECK(format->cbSize == input.field16(at + kPcmFormatBytes));
    FUZZ_CHECK(format->cbSize <= fmt.size - kFormatRecordBytes);
    FUZZ_CHECK(input.holds(at + kFormatRecordBytes, format->cbSize));
    const auto* extra = reinterpret_cast<const std::uint8_t*>(format) + kFormatRecordBytes;
    FUZZ_CHECK(std::memcmp(extra, input.data + at + kFormatRecordBytes, format->cbSize) == 0);
}

// Reads the data chunk to its end in pieces of changing size. Each call must lower the
// record by what it undertakes, deliver the file's bytes, and fail with WAV_ERR_TRUNCATED
// exactly when the file ends first, having delivered the bytes up to its end.
void readInPieces(HMMIO handle, const Input& input, MMCKINFO* data, std::vector<BYTE>& buffer)
{
    const std::uint64_t first = data->dwDataOffset;
    std::uint64_t done = 0;
    for (std::size_t call = 0;; ++call) {
        const DWORD wanted = kPieces[call % kPieces.size()];
        const DWORD left = data->cksize;
        const DWORD undertaken = std::min(wanted, left);
        DWORD delivered = 0xDEADBEEF;
        const int32_t result = wav_read(handle, wanted, buffer.data(), data, &delivered);
        FUZZ_CHECK(data->cksize == left - undertaken);
        if (!input.holds(first + done, undertaken)) {
            // The bytes up to the end of the file are delivered and said to be.
            FUZZ_CHECK(result == WAV_ERR_TRUNCATED && delivered == input.heldFrom(first + done));
            FUZZ_CHECK(std::memcmp(buffer.data(), input.data + first + done, delivered) == 0);
            return;
        }
        FUZZ_CHECK(result == 0 && delivered == undertaken);
        FUZZ_CHECK(std::memcmp(buffer.data(), input.data + first + done, undertaken) == 0);
        done += undertaken;
        if (undertaken == 0) {
            return;  // used up: this call delivered nothing and said so
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size)
{
    const Input input{bytes, size};
    const std::string name = fuzzsupport::writeScratchFile("input.wav", bytes, size);
    static std::vector<BYTE> buffer(kLargestPiece);
    GlobalResetLargestRequestForTesting();

    // Values the call must overwrite, also when it fails.
    int sentinel = 0;
    HMMIO handle = reinterpret_cast<HMMIO>(&sentinel);
    WAVEFORMATEX* format = reinterpret_cast<WAVEFORMATEX*>(&sentinel);
    MMCKINFO riff{};
    const int32_t opened = wav_open(name.c_str(), &handle, &format, &riff);
    FUZZ_CHECK(GlobalLargestRequestForTesting() <= size + kFormatRecordBytes);
    if (opened != 0) {
        FUZZ_CHECK(handle == nullptr && format == nullptr);
        FUZZ_CHECK(GlobalLiveBlocksForTesting() == 0);
        return 0;
    }
    FUZZ_CHECK(handle != nullptr && format != nullptr);
    FUZZ_CHECK(riff.ckid == mmioFOURCC('R', 'I', 'F', 'F') && riff.fccType == mmioFOURCC('W', 'A', 'V', 'E'));
    const std::uint64_t formEnd = fuzzsupport::riffFormEnd(input);
    const std::optional<RawChunk> fmt = fuzzsupport::findChunk(input, fuzzsupport::kFirstInnerChunk, formEnd, kFmt);
    FUZZ_CHECK(fmt.has_value());
    checkFormat(input, *fmt, format);

    MMCKINFO data{};
    const int32_t begun = wav_begin_read(&handle, &data, &riff);
    const std::optional<RawChunk> expected = fuzzsupport::findChunk(input, fuzzsupport::kFirstInnerChunk, formEnd, kData);
    FUZZ_CHECK((begun == 0) == expected.has_value());
    if (expected) {
        FUZZ_CHECK(data.ckid == kData && data.cksize == expected->size && data.dwDataOffset == expected->dataOffset());
        readInPieces(handle, input, &data, buffer);

        // Starting over gives the whole chunk again, here in one piece as far as it fits.
        FUZZ_CHECK(wav_begin_read(&handle, &data, &riff) == 0);
        FUZZ_CHECK(data.cksize == expected->size);
        const DWORD wanted = std::min<DWORD>(data.cksize, kLargestPiece);
        DWORD delivered = 0;
        const int32_t result = wav_read(handle, wanted, buffer.data(), &data, &delivered);
        if (input.holds(expected->dataOffset(), wanted)) {
            FUZZ_CHECK(result == 0 && delivered == wanted);
            FUZZ_CHECK(std::memcmp(buffer.data(), input.data + expected->dataOffset(), wanted) == 0);
        } else {
            FUZZ_CHECK(result == WAV_ERR_TRUNCATED && delivered == input.heldFrom(expected->dataOffset()));
        }
    }
    FUZZ_CHECK(GlobalLargestRequestForTesting() <= size + kFormatRecordBytes);

    FUZZ_CHECK(wav_close_read(&handle, &format) == 0);
    FUZZ_CHECK(handle == nullptr && format == nullptr);
    FUZZ_CHECK(wav_close_read(&handle, &format) == 0);
    FUZZ_CHECK(GlobalLiveBlocksForTesting() == 0);
    return 0;
}
