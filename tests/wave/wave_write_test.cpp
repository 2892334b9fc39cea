// Files written by wav_create, wav_begin_data, wav_write and wav_finish, checked byte
// for byte against layouts built here, and read back by Python's wave module.

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/little_endian.h"
#include "platform/mmio_testing.h"
#include "tests/support/expected_wave.h"
#include "tests/support/file_bytes.h"
#include "tests/support/file_size_limit.h"
#include "tests/support/process.h"
#include "tests/support/temp_dir.h"
#include "tests/support/wave_files.h"
#include "wave/wave.h"

using namespace testsupport;

namespace {

// The whole expected file of a PCM format carrying the given sample bytes.
Bytes expectedPcmFile(const WAVEFORMATEX& format, const Bytes& data, DWORD sampleCount)
{
    const ExpectedPcmFormat expected{format.nChannels, format.nSamplesPerSec, format.wBitsPerSample,
                                     format.nBlockAlign, format.nAvgBytesPerSec};
    return expectedPcmWave(expected, sampleCount, data);
}

// One file written through the four calls, the data split into the given pieces.
struct WrittenFile {
    HMMIO handle = nullptr;
    MMCKINFO chunk{};
    MMCKINFO riff{};
    MMIOINFO io{};
};

int32_t writeWholeFile(const std::string& name, const WAVEFORMATEX* format, const Bytes& data,
                       const std::vector<std::size_t>& pieces, DWORD sampleCount)
{
    WrittenFile file;
    int32_t result = wav_create(name.c_str(), &file.handle, format, &file.chunk, &file.riff);
    if (result != 0) {
        return result;
    }
    result = wav_begin_data(&file.handle, &file.chunk, &file.io);
    if (result != 0) {
        return result;
    }
    std::size_t offset = 0;
    for (std::size_t piece : pieces) {
        DWORD written = 0;
        result = wav_write(file.handle, static_cast<DWORD>(piece), data.data() + offset, &file.chunk, &written,
                           &file.io);
        EXPECT_EQ(written, result == 0 ? piece : written);
        if (result != 0) {
            wav_finish(&file.handle, &file.chunk, &file.riff, &file.io, sampleCount);
            return result;
        }
        offset += piece;
    }
    return wav_finish(&file.handle, &file.chunk, &file.riff, &file.io, sampleCount);
}

class WaveWriting : public ::testing::Test {
protected:
    TempDir dir;
    std::string name = dir.file("out.wav");
};

}  // namespace

TEST_F(WaveWriting, SmallPcmFilesHaveTheExactLayoutWithPadOnlyForOddData)
{
    const WAVEFORMATEX format = pcmWaveFormat(1, 44100, 24);
    struct Case {
        Bytes data;
        std::size_t length;
    };
    for (const Case& c : {Case{{}, 56}, Case{{1, 2, 3}, 60}, Case{{1, 2, 3, 4}, 60}}) {
        ASSERT_EQ(writeWholeFile(name, &format, c.data, {c.data.size()}, 7), 0);
        const Bytes file = readFile(name);
        ASSERT_EQ(file.size(), c.length);
        EXPECT_EQ(file, expectedPcmFile(format, c.data, 7));
        EXPECT_EQ(littleEndian32At(file, 4), file.size() - 8);
        EXPECT_EQ(littleEndian32At(file, 52), c.data.size());
    }
    EXPECT_EQ(readFile(name)[56 + 3], 4) << "the 4-byte file replaced the 3-byte one";
}

TEST_F(WaveWriting, NoWriteAndEmptyWritesGiveAnEmptyDataChunk)
{
    const WAVEFORMATEX format = pcmWaveFormat(2, 48000, 16);
    ASSERT_EQ(writeWholeFile(name, &format, {}, {}, 0), 0);
    EXPECT_EQ(readFile(name), expectedPcmFile(format, {}, 0));
    ASSERT_EQ(writeWholeFile(name, &format, {}, {0, 0, 0}, 0), 0);
    EXPECT_EQ(readFile(name), expectedPcmFile(format, {}, 0));
}

TEST_F(WaveWriting, FactHoldsAllBitsSetUntilFinishedThenTheCount)
{
    const WAVEFORMATEX format = pcmWaveFormat(1, 8000, 16);
    WrittenFile file;
    ASSERT_EQ(wav_create(name.c_str(), &file.handle, &format, &file.chunk, &file.riff), 0);
    ASSERT_EQ(wav_begin_data(&file.handle, &file.chunk, &file.io), 0);
    // Nothing has reached the disk yet; look at the header as the buffer holds it.
    const auto* header = reinterpret_cast<const unsigned char*>(file.io.pchBuffer);
    EXPECT_EQ(readLittleEndian32(header + 4), 0u);
    EXPECT_EQ(readLittleEndian32(header + 40), 4u);
    EXPECT_EQ(readLittleEndian32(header + 44), 0xFFFFFFFFu);
    EXPECT_EQ(readLittleEndian32(header + 52), 0u);
    ASSERT_EQ(wav_finish(&file.handle, &file.chunk, &file.riff, &file.io, 0), 0);
    EXPECT_EQ(file.handle, nullptr);
    EXPECT_EQ(littleEndian32At(readFile(name), 44), 0u);
}

TEST_F(WaveWriting, TheBytesAreTheSameWhateverTheSplitOfTheWrites)
{
    const WAVEFORMATEX format = pcmWaveFormat(2, 44100, 16);
    // Past several I/O buffers, with writes that end exactly where a buffer fills.
    const std::size_t total = 3 * 256 * 1024 + 1001;
    const Bytes data = randomBytes(total, 7);
    const Bytes expected = expectedPcmFile(format, data, 1234);
    const std::size_t firstBuffer = 256 * 1024 - 56;  // the header shares the first buffer
    const std::vector<std::vector<std::size_t>> splits{
        {total},
        {firstBuffer, 256 * 1024, 256 * 1024, 1001 + 56},
        {firstBuffer, 0, 1, 256 * 1024 - 1, total - firstBuffer - 256 * 1024},
        {6144, 6144, 6144, total - 3 * 6144},
    };
    for (const auto& split : splits) {
        ASSERT_EQ(writeWholeFile(name, &format, data, split, 1234), 0);
        EXPECT_EQ(readFile(name), expected);
    }
}

TEST_F(WaveWriting, OtherFormatsStoreTheWholeRecordAndTheirExtraBytes)
{
    struct FormatWithExtra {
        WAVEFORMATEX format;
        BYTE extra[2];
    };
    for (WORD extraBytes : {0, 1, 2}) {
        FormatWithExtra block{};
        block.format = pcmWaveFormat(2, 44100, 32);
        block.format.wFormatTag = 3;
        block.format.cbSize = extraBytes;
        block.extra[0] = 0xAB;
        block.extra[1] = 0xCD;
        const Bytes data{9, 8, 7, 6};
        ASSERT_EQ(writeWholeFile(name, &block.format, data, {4}, 1), 0);

        Bytes fmt = formatChunkData(block.format);
        appendLittleEndian16(fmt, extraBytes);
        fmt.insert(fmt.end(), block.extra, block.extra + extraBytes);
        Bytes fact;
        appendLittleEndian32(fact, 1);
        const Bytes expected = riffFile({{"fmt ", fmt}, {"fact", fact}, {"data", data}});
        EXPECT_EQ(readFile(name), expected) << "cbSize " << extraBytes;
    }
    // With cbSize 1 the fmt chunk is 19 bytes, padded, and fact follows at 40.
    EXPECT_EQ(littleEndian32At(readFile(name), 16), 20u);
}

TEST_F(WaveWriting, FailuresToCreateGiveTheWriteCodeAndNoHandle)
{
    const WAVEFORMATEX format = pcmWaveFormat(1, 44100, 16);
    HMMIO handle = reinterpret_cast<HMMIO>(&handle);
    MMCKINFO chunk{};
    MMCKINFO riff{};
    EXPECT_EQ(wav_create(dir.file("missing/x.wav").c_str(), &handle, &format, &chunk, &riff), WAV_ERR_WRITE_FAILED);
    EXPECT_EQ(handle, nullptr);
}

// Callers compare against the one code: a name that is a directory, a FIFO or a device
// gives it too, from every call that creates a file, and is left as it was.
TEST_F(WaveWriting, ANameThatIsNoRegularFileGivesTheWriteCodeFromEveryCreatingCall)
{
    const std::string fifo = dir.file("fifo.wav");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const std::string device = dir.file("device.wav");
    std::filesystem::create_symlink("/dev/null", device);
    const WAVEFORMATEX format = pcmWaveFormat(1, 44100, 16);
    const BYTE sample[2] = {1, 2};
    for (const std::string& path : {dir.path().string(), fifo, device}) {
        SCOPED_TRACE(path);
        HMMIO handle = reinterpret_cast<HMMIO>(&handle);
        MMCKINFO chunk{};
        MMCKINFO riff{};
        EXPECT_EQ(wav_create(path.c_str(), &handle, &format, &chunk, &riff), WAV_ERR_WRITE_FAILED);
        EXPECT_EQ(handle, nullptr);
        handle = reinterpret_cast<HMMIO>(&handle);
        EXPECT_EQ(wav_create_rf64(path.c_str(), &handle, &format, &chunk, &riff), WAV_ERR_WRITE_FAILED);
        EXPECT_EQ(handle, nullptr);
        EXPECT_EQ(wav_save(path.c_str(), sizeof sample, 1, &format, sample), WAV_ERR_WRITE_FAILED);
        EXPECT_EQ(out_file_open(path.c_str(), 44100, 16, 1), WAV_ERR_WRITE_FAILED);
        EXPECT_EQ(out_file_close(), 0);
    }
    EXPECT_TRUE(std::filesystem::is_fifo(fifo));
    EXPECT_TRUE(std::filesystem::is_character_file(device));
}

TEST_F(WaveWriting, FinishWithoutAFileDoesNothing)
{
    HMMIO handle = nullptr;
    MMCKINFO chunk{};
    MMCKINFO riff{};
    MMIOINFO io{};
    EXPECT_EQ(wav_finish(&handle, &chunk, &riff, &io, 5), 0);
}

TEST_F(WaveWriting, CreatingOverAnExistingFileReplacesItsContent)
{
    writeFile(name, randomBytes(100000, 3));
    const WAVEFORMATEX format = pcmWaveFormat(1, 44100, 16);
    ASSERT_EQ(writeWholeFile(name, &format, {1, 2}, {2}, 1), 0);
    EXPECT_EQ(readFile(name), expectedPcmFile(format, {1, 2}, 1));
}

TEST_F(WaveWriting, AWriteTheDiskRefusesIsReportedAndNotLost)
{
    // A file size limit below the header: the only flush of a small file happens when it
    // is closed. The refused write is reported, not a signal.
    const testsupport::FileSizeLimit limit(20);
    const WAVEFORMATEX format = pcmWaveFormat(1, 44100, 16);
    EXPECT_EQ(writeWholeFile(name, &format, {1, 2, 3, 4}, {4}, 2), static_cast<int32_t>(MMIOERR_CANNOTWRITE));
    // A larger file meets the failure in the middle of its data.
    const Bytes data = randomBytes(600000, 5);
    EXPECT_EQ(writeWholeFile(name, &format, data, {data.size()}, 2), static_cast<int32_t>(MMIOERR_CANNOTWRITE));
}

TEST_F(WaveWriting, AFileMayNotGrowPastTheLargestRiffSize)
{
    struct LimitGuard {
        explicit LimitGuard(std::uint64_t bytes) { mmioSetMaximumFileSizeForTesting(bytes); }
        ~LimitGuard() { mmioSetMaximumFileSizeForTesting(kMmioMaximumFileSize); }
    };
    const WAVEFORMATEX format = pcmWaveFormat(1, 44100, 16);
    const Bytes data = randomBytes(700000, 9);
    {
        // The ceiling falls inside a later buffer: the data stops there, no size wraps.
        const LimitGuard limit(600000);
        HMMIO handle = nullptr;
        MMCKINFO chunk{};
        MMCKINFO riff{};
        MMIOINFO io{};
        ASSERT_EQ(wav_create(name.c_str(), &handle, &format, &chunk, &riff), 0);
        ASSERT_EQ(wav_begin_data(&handle, &chunk, &io), 0);
        DWORD written = 0;
        EXPECT_EQ(wav_write(handle, static_cast<DWORD>(data.size()), data.data(), &chunk, &written, &io),
                  static_cast<int32_t>(MMIOERR_CANNOTEXPAND));
        EXPECT_EQ(written, 600000u - 56u);
        wav_finish(&handle, &chunk, &riff, &io, 0);
        EXPECT_EQ(handle, nullptr);
    }
    {
        // Exactly at the ceiling the data fits, but an odd size leaves no room for its pad byte.
        const LimitGuard limit(56 + 999);
        EXPECT_EQ(writeWholeFile(name, &format, data, {999}, 0), static_cast<int32_t>(MMIOERR_CANNOTEXPAND));
    }
    {
        const LimitGuard limit(56 + 1000);
        EXPECT_EQ(writeWholeFile(name, &format, data, {1000}, 500), 0);
        EXPECT_EQ(readFile(name).size(), 1056u);
    }
}

TEST_F(WaveWriting, PythonsWaveModuleReadsWhatWeWrite)
{
    struct Case {
        WORD channels;
        WORD bits;
    };
    for (const Case c : {Case{2, 16}, Case{1, 24}}) {
        const WAVEFORMATEX format = pcmWaveFormat(c.channels, 22050, c.bits);
        const Bytes data = randomBytes(format.nBlockAlign * 1000u, c.bits);
        ASSERT_EQ(writeWholeFile(name, &format, data, {data.size()}, 1000), 0);
        const ProcessResult result = runPython(kPythonWaveReader, {name});
        ASSERT_EQ(result.exitStatus, 0) << result.standardError;
        EXPECT_EQ(result.standardOutput,
                  std::to_string(c.channels) + " " + std::to_string(c.bits / 8) + " 22050 1000\n" + hexOf(data));
    }
}
