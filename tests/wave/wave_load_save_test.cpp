// Whole-file load and save: wav_load's blocks, wav_save's file, and every failure of
// wav_load leaving its three outputs at 0, nothing allocated and no file open.

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "platform/global_memory_testing.h"
#include "tests/support/file_bytes.h"
#include "tests/support/process.h"
#include "tests/support/temp_dir.h"
#include "tests/support/wave_files.h"
#include "wave/wave.h"

using namespace testsupport;

namespace {

// What wav_load hands out, released whatever the test's outcome.
struct Loaded {
    DWORD size = 0;
    WAVEFORMATEX* format = nullptr;
    BYTE* data = nullptr;
    ~Loaded()
    {
        GlobalFree(data);
        GlobalFree(format);
    }
};

Bytes factOf(DWORD count)
{
    Bytes bytes;
    appendLittleEndian32(bytes, count);
    return bytes;
}

// A data size field set to `announced` in a file whose data chunk is its last.
void announceDataSize(Bytes& file, std::size_t dataBytes, DWORD announced)
{
    const std::size_t field = file.size() - dataBytes - (dataBytes % 2) - 4;
    for (int i = 0; i < 4; ++i) {
        file[field + i] = static_cast<BYTE>(announced >> (8 * i));
    }
}

class WaveLoadSave : public ::testing::Test {
protected:
    TempDir dir;
    std::string name = dir.file("in.wav");
    std::string saved = dir.file("saved.wav");
    void TearDown() override { GlobalSetAllocationLimitForTesting(kGlobalNoAllocationLimit); }
};

}  // namespace

TEST_F(WaveLoadSave, LoadThenSaveKeepsFormatAndSamplesInFmtFactAndDataOnly)
{
    const WAVEFORMATEX format = pcmWaveFormat(2, 96000, 24);
    const Bytes samples = randomBytes(6 * 20001, 1);
    Bytes list;
    appendText(list, "INFO");
    appendChunk(list, "INAM", {'x'});
    writeFile(name, riffFile({{"LIST", list},
                              {"fmt ", formatChunkData(format)},
                              {"DISP", {1, 2, 3}},
                              {"data", samples},
                              {"plst", {4, 5, 6, 7}}}));
    Loaded loaded;
    ASSERT_EQ(wav_load(name.c_str(), &loaded.size, &loaded.format, &loaded.data), 0);
    ASSERT_EQ(loaded.size, samples.size());
    EXPECT_EQ(Bytes(loaded.data, loaded.data + loaded.size), samples);
    EXPECT_EQ(loaded.format->nChannels, 2);
    EXPECT_EQ(loaded.format->nSamplesPerSec, 96000u);
    EXPECT_EQ(loaded.format->wBitsPerSample, 24);
    EXPECT_EQ(loaded.format->cbSize, 0);

    ASSERT_EQ(wav_save(saved.c_str(), loaded.size, 20001, loaded.format, loaded.data), 0);
    EXPECT_EQ(readFile(saved),
              riffFile({{"fmt ", formatChunkData(format)}, {"fact", factOf(20001)}, {"data", samples}}));
    const ProcessResult python = runPython(kPythonWaveReader, {saved});
    ASSERT_EQ(python.exitStatus, 0) << python.standardError;
    EXPECT_EQ(python.standardOutput, "2 3 96000 20001\n" + hexOf(samples));
}

TEST_F(WaveLoadSave, AFormatWithExtraBytesIsSavedWhole)
{
    WAVEFORMATEX format = pcmWaveFormat(2, 44100, 32);
    format.wFormatTag = 0xFFFE;
    Bytes fmt = formatChunkData(format);
    appendLittleEndian16(fmt, 22);
    const Bytes extension = randomBytes(22, 2);
    fmt.insert(fmt.end(), extension.begin(), extension.end());
    const Bytes samples = randomBytes(8 * 3, 3);
    writeFile(name, riffFile({{"fmt ", fmt}, {"data", samples}}));
    Loaded loaded;
    ASSERT_EQ(wav_load(name.c_str(), &loaded.size, &loaded.format, &loaded.data), 0);
    ASSERT_EQ(wav_save(saved.c_str(), loaded.size, 3, loaded.format, loaded.data), 0);
    EXPECT_EQ(readFile(saved), riffFile({{"fmt ", fmt}, {"fact", factOf(3)}, {"data", samples}}));
}

TEST_F(WaveLoadSave, AnEmptyDataChunkLoadsAndSavesWithTheGivenSampleCount)
{
    const WAVEFORMATEX format = pcmWaveFormat(1, 8000, 16);
    ASSERT_EQ(wav_save(saved.c_str(), 0, 77, &format, nullptr), 0);
    const Bytes expected = riffFile({{"fmt ", formatChunkData(format)}, {"fact", factOf(77)}, {"data", {}}});
    EXPECT_EQ(readFile(saved), expected);
    EXPECT_EQ(expected.size(), 56u);

    Loaded loaded;
    ASSERT_EQ(wav_load(saved.c_str(), &loaded.size, &loaded.format, &loaded.data), 0);
    EXPECT_EQ(loaded.size, 0u);
    EXPECT_NE(loaded.data, nullptr) << "a block of its own, released like any other";
}

TEST_F(WaveLoadSave, SavingWherePathCannotBeCreatedLeavesNothingOpen)
{
    const WAVEFORMATEX format = pcmWaveFormat(1, 8000, 16);
    const BYTE samples[2] = {1, 2};
    const std::size_t filesBefore = openFileCount();
    EXPECT_EQ(wav_save(dir.file("missing/saved.wav").c_str(), 2, 1, &format, samples), WAV_ERR_WRITE_FAILED);
    EXPECT_EQ(openFileCount(), filesBefore);
}

// ---- Every failure of wav_load leaves all three outputs at 0.

namespace {

struct LoadFailure {
    const char* name;
    Bytes content;
    int32_t expected;
    bool missing = false;
    std::size_t allocationLimit = kGlobalNoAllocationLimit;
};

void PrintTo(const LoadFailure& row, std::ostream* out)
{
    *out << row.name;
}

std::vector<LoadFailure> loadFailures()
{
    const Bytes fmt = formatChunkData(pcmWaveFormat(1, 8000, 8));
    const Bytes samples = randomBytes(40, 4);
    Bytes truncated = riffFile({{"fmt ", fmt}, {"data", samples}});
    announceDataSize(truncated, samples.size(), 100);
    return {
        {"MissingFile", {}, WAV_ERR_OPEN_FAILED, true},
        {"NotAWaveFile", riffFile({{"fmt ", fmt}, {"data", samples}}, "AVI "), WAV_ERR_BAD_FORMAT},
        {"NoDataChunk", riffFile({{"fmt ", fmt}, {"DATA", samples}}), static_cast<int32_t>(MMIOERR_CHUNKNOTFOUND)},
        {"TruncatedData", truncated, WAV_ERR_TRUNCATED},
        {"NoMemoryForTheData", riffFile({{"fmt ", fmt}, {"data", samples}}), WAV_ERR_NO_MEMORY, false, 39},
    };
}

class WaveLoadFailure : public ::testing::TestWithParam<LoadFailure> {
protected:
    TempDir dir;
    void TearDown() override { GlobalSetAllocationLimitForTesting(kGlobalNoAllocationLimit); }
};

}  // namespace

TEST_P(WaveLoadFailure, LeavesNoBlockNoSizeAndNoOpenFile)
{
    const LoadFailure& row = GetParam();
    const std::string name = dir.file("bad.wav");
    if (!row.missing) {
        writeFile(name, row.content);
    }
    const std::size_t filesBefore = openFileCount();
    const std::size_t blocksBefore = GlobalLiveBlocksForTesting();
    GlobalSetAllocationLimitForTesting(row.allocationLimit);
    DWORD size = 12345;  // stale values the call must clear
    WAVEFORMATEX* format = reinterpret_cast<WAVEFORMATEX*>(&format);
    BYTE* data = reinterpret_cast<BYTE*>(&data);
    const int32_t result = wav_load(name.c_str(), &size, &format, &data);
    EXPECT_EQ(result, row.expected);
    if (result == 0) {
        GlobalFree(data);
        GlobalFree(format);
    }
    EXPECT_EQ(size, 0u);
    EXPECT_EQ(format, nullptr);
    EXPECT_EQ(data, nullptr);
    EXPECT_EQ(GlobalLiveBlocksForTesting(), blocksBefore);
    EXPECT_EQ(openFileCount(), filesBefore);
}

INSTANTIATE_TEST_SUITE_P(EveryStep, WaveLoadFailure, ::testing::ValuesIn(loadFailures()),
                         [](const ::testing::TestParamInfo<LoadFailure>& info) { return info.param.name; });

TEST_F(WaveLoadSave, ADataSizeBeyondTheFileIsNeverAllocated)
{
    const Bytes fmt = formatChunkData(pcmWaveFormat(1, 8000, 8));
    const Bytes samples{1, 2, 3, 4};
    // A 52-byte file that announces 4 GiB of samples: refused before any block is asked for.
    Bytes hostile = riffFile({{"fmt ", fmt}, {"data", samples}});
    announceDataSize(hostile, samples.size(), 0xFFFFFFFFu);
    writeFile(name, hostile);
    // Without the check the 4 GiB request would meet this ceiling and fail as no memory.
    GlobalSetAllocationLimitForTesting(1 << 20);
    GlobalResetLargestRequestForTesting();
    Loaded loaded;
    EXPECT_EQ(wav_load(name.c_str(), &loaded.size, &loaded.format, &loaded.data), WAV_ERR_TRUNCATED);
    EXPECT_EQ(GlobalLargestRequestForTesting(), 18u) << "only the format block was asked for";
    EXPECT_EQ(loaded.format, nullptr);
    EXPECT_EQ(loaded.data, nullptr);

    // An odd data chunk that ends the file without its pad byte still holds all its bytes.
    Bytes unpadded = riffFile({{"fmt ", fmt}, {"data", {1, 2, 3}}});
    unpadded.pop_back();
    writeFile(name, unpadded);
    Loaded whole;
    ASSERT_EQ(wav_load(name.c_str(), &whole.size, &whole.format, &whole.data), 0);
    EXPECT_EQ(Bytes(whole.data, whole.data + whole.size), Bytes({1, 2, 3}));
}
