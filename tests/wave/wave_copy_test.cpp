// Copying DISP and plst chunks from a file being read into one being written: which
// chunks go, in what order, where the walk ends, and that the result is a valid file.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/global_memory_testing.h"
#include "tests/support/file_bytes.h"
#include "tests/support/process.h"
#include "tests/support/temp_dir.h"
#include "tests/support/wave_files.h"
#include "wave/wave.h"

using namespace testsupport;

namespace {

const WAVEFORMATEX kFormat = pcmWaveFormat(2, 44100, 16);

struct Source {
    HMMIO handle = nullptr;
    WAVEFORMATEX* format = nullptr;
    MMCKINFO riff{};
    ~Source() { wav_close_read(&handle, &format); }
};

// A destination made by wav_create, ready for side chunks before its data chunk.
struct Destination {
    HMMIO handle = nullptr;
    MMCKINFO chunk{};
    MMCKINFO riff{};
    MMIOINFO io{};
    ~Destination()
    {
        if (handle != nullptr) {
            mmioClose(handle, 0);
        }
    }

    std::uint64_t size() const
    {
        std::uint64_t bytes = 0;
        mmioGetFileSize(handle, &bytes);
        return bytes;
    }

    int32_t finish(const Bytes& samples, DWORD sampleCount)
    {
        DWORD written = 0;
        int32_t result = wav_begin_data(&handle, &chunk, &io);
        if (result == 0) {
            result = wav_write(handle, static_cast<DWORD>(samples.size()), samples.data(), &chunk, &written, &io);
        }
        const int32_t finished = wav_finish(&handle, &chunk, &riff, &io, sampleCount);
        return result != 0 ? result : finished;
    }
};

LONG positionOf(HMMIO handle)
{
    return mmioSeek(handle, 0, SEEK_CUR);
}

class WaveCopy : public ::testing::Test {
protected:
    TempDir dir;
    std::string sourceName = dir.file("source.wav");
    std::string destName = dir.file("dest.wav");
    Source source;
    Destination dest;
    MMCKINFO cursor{};

    void TearDown() override { GlobalSetAllocationLimitForTesting(kGlobalNoAllocationLimit); }

    void openBoth(const Bytes& sourceContent)
    {
        writeFile(sourceName, sourceContent);
        ASSERT_EQ(wav_open(sourceName.c_str(), &source.handle, &source.format, &source.riff), 0);
        ASSERT_EQ(wav_create(destName.c_str(), &dest.handle, &kFormat, &dest.chunk, &dest.riff), 0);
    }

    int32_t copy() { return wav_copy_extra_chunks(&source.handle, &cursor, &source.riff, &dest.handle); }
};

Bytes factOf(DWORD count)
{
    Bytes bytes;
    appendLittleEndian32(bytes, count);
    return bytes;
}

}  // namespace

TEST_F(WaveCopy, DispAndPlstChunksLandInSourceOrderInAValidFile)
{
    const Bytes samples = randomBytes(4 * 500, 1);
    const Bytes disp1{1, 0, 0, 0, 'a'};  // odd: padded in both files
    const Bytes plst = randomBytes(12, 2);
    const Bytes disp2 = randomBytes(7, 3);
    Bytes list;
    appendText(list, "INFO");
    appendChunk(list, "DISP", {9, 9});  // inside a LIST: not a chunk of the form
    ASSERT_NO_FATAL_FAILURE(openBoth(riffFile({{"LIST", list},
                                               {"DISP", disp1},
                                               {"fmt ", formatChunkData(kFormat)},
                                               {"disp", {1, 2}},
                                               {"plst", plst},
                                               {"data", samples},
                                               {"PLST", {3, 4}},
                                               {"DISP", disp2},
                                               {"DISP", {}},
                                               {"junk", {5}}})));
    EXPECT_EQ(copy(), 0);
    EXPECT_EQ(cursor.ckid, mmioFOURCC('j', 'u', 'n', 'k')) << "the cursor holds the last chunk entered";

    // The source stands at its first inner chunk and reads its samples.
    EXPECT_EQ(positionOf(source.handle), 12);
    MMCKINFO data{};
    ASSERT_EQ(wav_begin_read(&source.handle, &data, &source.riff), 0);
    Bytes read(samples.size());
    DWORD delivered = 0;
    ASSERT_EQ(wav_read(source.handle, data.cksize, read.data(), &data, &delivered), 0);
    EXPECT_EQ(read, samples);

    ASSERT_EQ(dest.finish(samples, 500), 0);
    EXPECT_EQ(readFile(destName), riffFile({{"fmt ", formatChunkData(kFormat)},
                                            {"fact", factOf(500)},
                                            {"DISP", disp1},
                                            {"plst", plst},
                                            {"DISP", disp2},
                                            {"data", samples}}));

    const ProcessResult python = runPython(kPythonWaveReader, {destName});
    ASSERT_EQ(python.exitStatus, 0) << python.standardError;
    EXPECT_EQ(python.standardOutput, "2 2 44100 500\n" + hexOf(samples));

    Source copied;
    ASSERT_EQ(wav_open(destName.c_str(), &copied.handle, &copied.format, &copied.riff), 0);
    EXPECT_EQ(copied.format->nChannels, 2);
    ASSERT_EQ(wav_begin_read(&copied.handle, &data, &copied.riff), 0);
    ASSERT_EQ(wav_read(copied.handle, data.cksize, read.data(), &data, &delivered), 0);
    EXPECT_EQ(read, samples);
}

TEST_F(WaveCopy, WithoutSideChunksNothingIsWrittenAndTheSourceIsRewound)
{
    ASSERT_NO_FATAL_FAILURE(openBoth(riffFile({{"fmt ", formatChunkData(kFormat)}, {"data", {1, 2, 3, 4}}})));
    const std::uint64_t before = dest.size();
    EXPECT_EQ(copy(), 0);
    EXPECT_EQ(dest.size(), before);
    EXPECT_EQ(positionOf(source.handle), 12);
}

TEST_F(WaveCopy, AChunkReachingBeyondTheFormEndsTheWalk)
{
    Bytes content = riffFile({{"fmt ", formatChunkData(kFormat)}, {"DISP", {1, 2}}, {"junk", {0}}, {"DISP", {3, 4}}});
    // The form ends one byte before the last DISP chunk does; the file holds all of it.
    ASSERT_EQ(littleEndian32At(content, 4), content.size() - 8);
    content[4] -= 1;
    ASSERT_NO_FATAL_FAILURE(openBoth(content));
    EXPECT_EQ(copy(), 0);
    EXPECT_EQ(cursor.ckid, mmioFOURCC('D', 'I', 'S', 'P'));
    EXPECT_EQ(cursor.dwDataOffset + cursor.cksize, littleEndian32At(content, 4) + 9);
    EXPECT_EQ(positionOf(source.handle), 12);
    ASSERT_EQ(dest.finish({}, 0), 0);
    EXPECT_EQ(readFile(destName), riffFile({{"fmt ", formatChunkData(kFormat)},
                                            {"fact", factOf(0)},
                                            {"DISP", {1, 2}},
                                            {"data", {}}}));
}

TEST_F(WaveCopy, AChunkEndingExactlyAtTheFormsEndIsCopied)
{
    ASSERT_NO_FATAL_FAILURE(openBoth(riffFile({{"fmt ", formatChunkData(kFormat)}, {"plst", {1, 2, 3, 4}}})));
    EXPECT_EQ(copy(), 0);
    ASSERT_EQ(dest.finish({}, 0), 0);
    EXPECT_EQ(littleEndian32At(readFile(destName), 48), mmioFOURCC('p', 'l', 's', 't'));
}

TEST_F(WaveCopy, AFileEndingInsideTheFormEndsTheWalk)
{
    Bytes content = riffFile({{"fmt ", formatChunkData(kFormat)}, {"DISP", {1, 2}}});
    content[4] += 100;  // the form announces 100 bytes more than the file holds
    appendText(content, "pls");  // a chunk header cut short
    ASSERT_NO_FATAL_FAILURE(openBoth(content));
    EXPECT_EQ(copy(), 0);
    EXPECT_EQ(positionOf(source.handle), 12);
    ASSERT_EQ(dest.finish({}, 0), 0);
    EXPECT_EQ(readFile(destName).size(), 56u + 10u);
}

TEST_F(WaveCopy, AFailedSeekToTheFirstChunkGivesTheReadCode)
{
    ASSERT_NO_FATAL_FAILURE(openBoth(riffFile({{"fmt ", formatChunkData(kFormat)}, {"DISP", {1, 2}}})));
    MMCKINFO riff = source.riff;
    riff.dwDataOffset = 0x7FFFFFFF;  // beyond any position the file I/O can seek to
    const std::uint64_t before = dest.size();
    EXPECT_EQ(wav_copy_extra_chunks(&source.handle, &cursor, &riff, &dest.handle), WAV_ERR_READ_FAILED);
    EXPECT_EQ(dest.size(), before);
}

TEST_F(WaveCopy, AChunkWhoseEndPassesFourGibibytesEndsTheWalk)
{
    // In 32 bits the end of this DISP chunk (data at 44, 0xFFFFFFF8 bytes) wraps round to
    // 36, inside the 44-byte form. The file is sparse and long enough to hold the chunk,
    // so only the bound test keeps the walk from copying it.
    Bytes content;
    appendText(content, "RIFF");
    appendLittleEndian32(content, 4 + 24 + 8);
    appendText(content, "WAVE");
    appendChunk(content, "fmt ", formatChunkData(kFormat));
    appendText(content, "DISP");
    appendLittleEndian32(content, 0xFFFFFFF8u);
    writeFile(sourceName, content);
    std::error_code error;
    std::filesystem::resize_file(sourceName, (std::uint64_t{1} << 32) + 256, error);
    if (error) {
        GTEST_SKIP() << "no sparse file of 4 GiB here: " << error.message();
    }
    ASSERT_EQ(wav_open(sourceName.c_str(), &source.handle, &source.format, &source.riff), 0);
    ASSERT_EQ(wav_create(destName.c_str(), &dest.handle, &kFormat, &dest.chunk, &dest.riff), 0);

    GlobalSetAllocationLimitForTesting(1 << 20);
    GlobalResetLargestRequestForTesting();
    const std::uint64_t before = dest.size();
    EXPECT_EQ(copy(), 0);
    EXPECT_EQ(cursor.ckid, mmioFOURCC('D', 'I', 'S', 'P'));
    EXPECT_EQ(GlobalLargestRequestForTesting(), 0u) << "no copy buffer was asked for";
    EXPECT_EQ(dest.size(), before);
    EXPECT_EQ(positionOf(source.handle), 12);
}

TEST_F(WaveCopy, AChunkLongerThanTheFileGetsNoBufferAndWritesNothing)
{
    for (const DWORD announced : {0xFFFFFFF0u, 1000u}) {
        SCOPED_TRACE(announced);
        Bytes content = riffFile({{"fmt ", formatChunkData(kFormat)}, {"DISP", randomBytes(500, 4)}});
        content[4 + 4 + 4 + 24 + 4] = static_cast<BYTE>(announced);
        content[4 + 4 + 4 + 24 + 5] = static_cast<BYTE>(announced >> 8);
        content[4 + 4 + 4 + 24 + 6] = static_cast<BYTE>(announced >> 16);
        content[4 + 4 + 4 + 24 + 7] = static_cast<BYTE>(announced >> 24);
        Source hostile;
        writeFile(sourceName, content);
        ASSERT_EQ(wav_open(sourceName.c_str(), &hostile.handle, &hostile.format, &hostile.riff), 0);
        if (dest.handle == nullptr) {
            ASSERT_EQ(wav_create(destName.c_str(), &dest.handle, &kFormat, &dest.chunk, &dest.riff), 0);
        }
        // wav_open leaves the file after the fmt chunk: enter the DISP chunk there.
        ASSERT_EQ(mmioDescend(hostile.handle, &cursor, &hostile.riff, 0), 0u);
        ASSERT_EQ(cursor.cksize, announced);
        GlobalResetLargestRequestForTesting();
        const std::uint64_t before = dest.size();
        EXPECT_EQ(wav_copy_chunk(hostile.handle, dest.handle, &cursor), 0);
        EXPECT_EQ(GlobalLargestRequestForTesting(), 0u);
        EXPECT_EQ(dest.size(), before) << "not even a chunk header";
    }
}
