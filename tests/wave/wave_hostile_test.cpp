// Hostile WAVE files that every reading entry must survive: sizes past the end of the
// file or of the form, sizes near 2^32, fmt chunks too small or announcing too much,
// headers cut short, an empty form, nested LIST chunks and thousands of tiny chunks.
// Each file goes through wav_open, wav_copy_extra_chunks, wav_begin_read and wav_read,
// and through wav_load; each call must give its code, no block may be larger than the
// file could fill, and no block or file may stay open.

#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>
#include <string>
#include <vector>

#include "platform/global_memory_testing.h"
#include "tests/support/file_bytes.h"
#include "tests/support/temp_dir.h"
#include "tests/support/wave_files.h"
#include "wave/wave.h"

using namespace testsupport;

namespace {

constexpr int32_t kNotFound = static_cast<int32_t>(MMIOERR_CHUNKNOTFOUND);
constexpr int32_t kSkipped = -1;  // the step does not run: the one before it failed
constexpr std::size_t kFormatRecordBytes = 18;
constexpr LONG kFirstInnerChunk = 12;

// A chunk header announcing any size, followed by the bytes as they stand (no pad).
Bytes chunkClaiming(const std::string& id, std::uint32_t size, const Bytes& data = {})
{
    Bytes bytes;
    appendText(bytes, id);
    appendLittleEndian32(bytes, size);
    bytes.insert(bytes.end(), data.begin(), data.end());
    return bytes;
}

// A RIFF WAVE file whose form announces `formSize`, followed by the inner bytes as they stand.
Bytes waveClaiming(std::uint32_t formSize, const Bytes& inner)
{
    Bytes file = chunkClaiming("RIFF", formSize);
    appendText(file, "WAVE");
    file.insert(file.end(), inner.begin(), inner.end());
    return file;
}

Bytes waveOf(const Bytes& inner)
{
    return waveClaiming(static_cast<std::uint32_t>(4 + inner.size()), inner);
}

Bytes operator+(Bytes left, const Bytes& right)
{
    left.insert(left.end(), right.begin(), right.end());
    return left;
}

Bytes chunk(const std::string& id, const Bytes& data)
{
    Bytes bytes;
    appendChunk(bytes, id, data);
    return bytes;
}

const Bytes kSamples = randomBytes(40, 10);
const Bytes kPcmFormat = formatChunkData(pcmWaveFormat(2, 44100, 16));
const Bytes kFmt = chunk("fmt ", kPcmFormat);
const Bytes kData = chunk("data", kSamples);

// The first 18 bytes of a 32-bit float format with the given extra size.
Bytes floatFormatWithExtraSize(WORD extraSize)
{
    WAVEFORMATEX format = pcmWaveFormat(1, 48000, 32);
    format.wFormatTag = 3;
    Bytes bytes = formatChunkData(format);
    appendLittleEndian16(bytes, extraSize);
    return bytes;
}

Bytes nestedLists()
{
    Bytes deepest;
    appendText(deepest, "deep");
    deepest = deepest + chunk("data", {1, 2, 3, 4}) + chunk("DISP", {5});
    Bytes middle;
    appendText(middle, "INFO");
    middle = middle + chunk("LIST", deepest);
    Bytes outer;
    appendText(outer, "adtl");
    outer = outer + chunk("LIST", middle);
    return chunk("LIST", outer);
}

Bytes tinyChunks(int count)
{
    Bytes bytes;
    for (int i = 0; i < count; ++i) {
        appendChunk(bytes, "tiny", {});
    }
    return bytes;
}

struct Hostile {
    const char* name;
    Bytes content;
    int32_t open;        // wav_open
    int32_t beginRead;   // wav_begin_read after it
    int32_t read;        // wav_read through the whole data chunk in pieces
    int32_t load;        // wav_load
    Bytes loaded = {};   // the data bytes wav_load gives when it succeeds
};

void PrintTo(const Hostile& row, std::ostream* out)
{
    *out << row.name;
}

std::vector<Hostile> hostileFiles()
{
    const int32_t truncated = WAV_ERR_TRUNCATED;
    const int32_t bad = WAV_ERR_BAD_FORMAT;
    Bytes oddData = randomBytes(41, 11);
    return {
        // Sizes past the end of the file, of the form, and near 2^32.
        {"DataSizePastTheEndOfTheFile", waveOf(kFmt + chunkClaiming("data", 4000, kSamples)), 0, 0, truncated,
         truncated},
        {"DataSizeAllOnes", waveOf(kFmt + chunkClaiming("data", 0xFFFFFFFF, kSamples)), 0, 0, truncated, truncated},
        {"DataSizeJustBelowFourGibibytes", waveOf(kFmt + chunkClaiming("data", 0xFFFFFFF0, kSamples)), 0, 0,
         truncated, truncated},
        {"FormSizePastTheEndOfTheFile", waveClaiming(0x7FFFFFF0, kFmt + kData), 0, 0, 0, 0, kSamples},
        {"FormSizeAllOnes", waveClaiming(0xFFFFFFFF, kFmt + kData), 0, 0, 0, 0, kSamples},
        {"FormSizeZero", waveClaiming(0, kFmt + kData), kNotFound, kSkipped, kSkipped, kNotFound},
        {"DataChunkAfterTheEndOfTheForm", waveClaiming(static_cast<std::uint32_t>(4 + kFmt.size()), kFmt + kData), 0,
         kNotFound, kSkipped, kNotFound},
        {"ChunkReachingBeyondTheFormBeforeData", waveOf(kFmt + chunkClaiming("junk", 0x100, {1, 2}) + kData), 0,
         kNotFound, kSkipped, kNotFound},
        // Skipping this chunk ends 4 bytes past 2^32: with 32-bit sums it would land
        // before itself and walk in circles.
        {"ChunkEndPassingFourGibibytesBeforeData",
         waveClaiming(0xFFFFFFFF, kFmt + chunkClaiming("junk", 0xFFFFFFFF, {1, 2}) + kData), 0, kNotFound, kSkipped,
         kNotFound},
        {"FmtSizePastTheEndOfTheFile", waveOf(chunkClaiming("fmt ", 0x10000, kPcmFormat)), 0, kNotFound, kSkipped,
         kNotFound},
        // fmt chunks too small, or announcing more extra bytes than there are.
        {"FmtOfZeroBytes", waveOf(chunk("fmt ", {}) + kData), bad, kSkipped, kSkipped, bad},
        {"FmtOf15Bytes", waveOf(chunk("fmt ", Bytes(kPcmFormat.begin(), kPcmFormat.begin() + 15)) + kData), bad,
         kSkipped, kSkipped, bad},
        {"CbSize65535InATwentyByteChunk", waveOf(chunk("fmt ", floatFormatWithExtraSize(65535) + Bytes{7, 7}) + kData),
         bad, kSkipped, kSkipped, bad},
        // The chunk announces all 65535 extra bytes, the file holds 4 of them: nothing
        // may be allocated for the rest.
        {"CbSize65535PastTheEndOfTheFile",
         waveOf(chunkClaiming("fmt ", 18 + 65535, floatFormatWithExtraSize(65535) + Bytes{1, 2, 3, 4})), bad,
         kSkipped, kSkipped, bad},
        // Headers cut short.
        {"RiffHeaderCutShort", Bytes{'R', 'I', 'F', 'F', 0x24, 0, 0, 0, 'W', 'A', 'V'}, kNotFound, kSkipped, kSkipped,
         kNotFound},
        {"DataHeaderCutShort", waveClaiming(100, kFmt + Bytes{'d', 'a', 't'}), 0, kNotFound, kSkipped, kNotFound},
        {"DataSizeCutShort", waveClaiming(100, kFmt + Bytes{'d', 'a', 't', 'a', 40, 0}), 0, kNotFound, kSkipped,
         kNotFound},
        // Nesting and many chunks: only top-level chunks count, and the walk ends.
        {"NestedListChunksBeforeFmt", waveOf(nestedLists() + kFmt + kData), 0, 0, 0, 0, kSamples},
        {"ThousandsOfTinyChunksBeforeData", waveOf(kFmt + tinyChunks(5000) + kData), 0, 0, 0, 0, kSamples},
        {"OddDataWithoutItsPadByteAtTheEnd", waveOf(kFmt + chunkClaiming("data", 41, oddData)), 0, 0, 0, 0, oddData},
    };
}

// Reads the data chunk to its end in pieces; the first non-zero result, else 0.
int32_t readInPieces(HMMIO handle, MMCKINFO* data)
{
    std::vector<BYTE> piece(1000);
    for (;;) {
        DWORD delivered = 0;
        const int32_t result = wav_read(handle, static_cast<DWORD>(piece.size()), piece.data(), data, &delivered);
        if (result != 0 || delivered == 0) {
            return result;
        }
    }
}

class HostileFile : public ::testing::TestWithParam<Hostile> {
protected:
    TempDir dir;
    std::string name = dir.file("hostile.wav");
    std::string copyName = dir.file("copy.wav");

    // Opens, walks the side chunks into a new file, finds and reads the data.
    void readStepByStep(const Hostile& row)
    {
        HMMIO handle = nullptr;
        WAVEFORMATEX* format = nullptr;
        MMCKINFO riff{};
        ASSERT_EQ(wav_open(name.c_str(), &handle, &format, &riff), row.open);
        if (row.open != 0) {
            return;
        }
        HMMIO dest = nullptr;
        MMCKINFO destChunk{};
        MMCKINFO destRiff{};
        EXPECT_EQ(wav_create(copyName.c_str(), &dest, format, &destChunk, &destRiff), 0);
        MMCKINFO cursor{};
        EXPECT_EQ(wav_copy_extra_chunks(&handle, &cursor, &riff, &dest), 0);
        EXPECT_EQ(mmioSeek(handle, 0, SEEK_CUR), kFirstInnerChunk) << "the walk puts the source back";
        mmioClose(dest, 0);

        MMCKINFO data{};
        EXPECT_EQ(wav_begin_read(&handle, &data, &riff), row.beginRead);
        if (row.beginRead == 0) {
            EXPECT_EQ(readInPieces(handle, &data), row.read);
        }
        wav_close_read(&handle, &format);
    }
};

}  // namespace

TEST_P(HostileFile, EveryReadingEntryGivesItsCodeWithinTheFilesBytes)
{
    const Hostile& row = GetParam();
    writeFile(name, row.content);
    const std::size_t filesBefore = openFileCount();
    const std::size_t blocksBefore = GlobalLiveBlocksForTesting();
    GlobalResetLargestRequestForTesting();

    readStepByStep(row);

    DWORD size = 0xDEAD;
    WAVEFORMATEX* format = nullptr;
    BYTE* data = nullptr;
    EXPECT_EQ(wav_load(name.c_str(), &size, &format, &data), row.load);
    if (row.load == 0) {
        EXPECT_EQ(Bytes(data, data + size), row.loaded);
    } else {
        EXPECT_EQ(size, 0u);
        EXPECT_EQ(format, nullptr);
        EXPECT_EQ(data, nullptr);
    }
    GlobalFree(format);
    GlobalFree(data);

    EXPECT_LE(GlobalLargestRequestForTesting(), row.content.size() + kFormatRecordBytes)
        << "a block larger than the file could fill";
    EXPECT_EQ(GlobalLiveBlocksForTesting(), blocksBefore);
    EXPECT_EQ(openFileCount(), filesBefore);
}

INSTANTIATE_TEST_SUITE_P(Each, HostileFile, ::testing::ValuesIn(hostileFiles()),
                         [](const ::testing::TestParamInfo<Hostile>& info) { return info.param.name; });
