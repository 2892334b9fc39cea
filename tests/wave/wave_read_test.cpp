// Reading WAVE files with wav_open, wav_begin_read, wav_read and wav_close_read: files of
// our writer and of Python's wave module, unusual chunk orders, every way wav_open fails,
// and the edges of wav_read.

#include <gtest/gtest.h>

#include <cstring>
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

// The caller's state of one file being read; closed whatever the test's outcome.
struct ReadFile {
    HMMIO handle = nullptr;
    WAVEFORMATEX* format = nullptr;
    MMCKINFO riff{};
    MMCKINFO data{};
    ~ReadFile() { wav_close_read(&handle, &format); }
};

// The data chunk from its start, in calls of at most `piece` bytes, until one delivers 0.
Bytes readAllData(ReadFile& file, DWORD piece)
{
    EXPECT_EQ(wav_begin_read(&file.handle, &file.data, &file.riff), 0);
    Bytes all;
    std::vector<BYTE> buffer(piece);
    for (;;) {
        DWORD delivered = 0xDEAD;
        EXPECT_EQ(wav_read(file.handle, piece, buffer.data(), &file.data, &delivered), 0);
        if (delivered == 0 || delivered == 0xDEAD) {
            break;
        }
        all.insert(all.end(), buffer.begin(), buffer.begin() + delivered);
    }
    EXPECT_EQ(file.data.cksize, 0u);
    return all;
}

void expectPcmFormat(const WAVEFORMATEX* format, const WAVEFORMATEX& expected)
{
    ASSERT_NE(format, nullptr);
    EXPECT_EQ(format->wFormatTag, WAVE_FORMAT_PCM);
    EXPECT_EQ(format->nChannels, expected.nChannels);
    EXPECT_EQ(format->nSamplesPerSec, expected.nSamplesPerSec);
    EXPECT_EQ(format->nAvgBytesPerSec, expected.nAvgBytesPerSec);
    EXPECT_EQ(format->nBlockAlign, expected.nBlockAlign);
    EXPECT_EQ(format->wBitsPerSample, expected.wBitsPerSample);
    EXPECT_EQ(format->cbSize, 0);
}

int32_t writeWithOurWriter(const std::string& name, const WAVEFORMATEX& format, const Bytes& data)
{
    HMMIO handle = nullptr;
    MMCKINFO chunk{};
    MMCKINFO riff{};
    MMIOINFO io{};
    DWORD written = 0;
    int32_t result = wav_create(name.c_str(), &handle, &format, &chunk, &riff);
    if (result == 0) {
        result = wav_begin_data(&handle, &chunk, &io);
    }
    if (result == 0) {
        result = wav_write(handle, static_cast<DWORD>(data.size()), data.data(), &chunk, &written, &io);
    }
    const int32_t finished = wav_finish(&handle, &chunk, &riff, &io, 0);
    return result != 0 ? result : finished;
}

// The fmt chunk of 8-bit mono, where every byte is a sample frame.
Bytes monoBytes()
{
    return formatChunkData(pcmWaveFormat(1, 8000, 8));
}

struct SampleLayout {
    WORD channels;
    WORD bits;
};
const SampleLayout kLayouts[] = {{1, 8}, {2, 8}, {1, 16}, {2, 16}, {1, 24}, {2, 24}};

class WaveReading : public ::testing::Test {
protected:
    TempDir dir;
    std::string name = dir.file("in.wav");

    // Opens the file written from `content`, expecting success.
    void open(ReadFile& file, const Bytes& content)
    {
        writeFile(name, content);
        ASSERT_EQ(wav_open(name.c_str(), &file.handle, &file.format, &file.riff), 0);
    }
};

}  // namespace

TEST_F(WaveReading, FilesOfOurWriterGiveBackTheirFormatAndSampleBytes)
{
    for (const SampleLayout layout : kLayouts) {
        SCOPED_TRACE(std::to_string(layout.channels) + " channels, " + std::to_string(layout.bits) + " bits");
        const WAVEFORMATEX format = pcmWaveFormat(layout.channels, 44100, layout.bits);
        // The 24-bit stereo file spans two I/O buffers; 8-bit mono has an odd size.
        const std::size_t frames = layout.bits == 24 && layout.channels == 2 ? 50001 : 1001;
        const Bytes samples = randomBytes(frames * format.nBlockAlign, layout.bits + layout.channels);
        ASSERT_EQ(writeWithOurWriter(name, format, samples), 0);

        ReadFile file;
        ASSERT_EQ(wav_open(name.c_str(), &file.handle, &file.format, &file.riff), 0);
        expectPcmFormat(file.format, format);
        EXPECT_EQ(file.riff.dwDataOffset, 8u);
        EXPECT_EQ(readAllData(file, static_cast<DWORD>(samples.size() + 10)), samples);
        EXPECT_EQ(readAllData(file, 7), samples);
    }
}

TEST_F(WaveReading, FilesOfPythonsWaveModuleGiveBackTheirFormatAndSampleBytes)
{
    for (const SampleLayout layout : kLayouts) {
        SCOPED_TRACE(std::to_string(layout.channels) + " channels, " + std::to_string(layout.bits) + " bits");
        const WAVEFORMATEX format = pcmWaveFormat(layout.channels, 22050, layout.bits);
        const Bytes samples = randomBytes(777u * format.nBlockAlign, layout.bits * layout.channels);
        const ProcessResult written =
            runPython(kPythonWaveWriter, {name, std::to_string(layout.channels), std::to_string(layout.bits / 8),
                                          "22050", hexOf(samples)});
        ASSERT_EQ(written.exitStatus, 0) << written.standardError;

        ReadFile file;
        ASSERT_EQ(wav_open(name.c_str(), &file.handle, &file.format, &file.riff), 0);
        expectPcmFormat(file.format, format);
        EXPECT_EQ(readAllData(file, 1u << 20), samples);
        EXPECT_EQ(readAllData(file, 5), samples);
    }
}

TEST_F(WaveReading, OtherChunksBeforeBetweenAndAfterAreSteppedOver)
{
    const WAVEFORMATEX format = pcmWaveFormat(2, 48000, 16);
    const Bytes fmt = formatChunkData(format);
    const Bytes samples = randomBytes(4 * 301, 11);
    Bytes list;
    appendText(list, "INFO");
    appendChunk(list, "INAM", {'t', 'u', 'n', 'e'});
    appendChunk(list, "ICMT", {'x'});
    const Bytes odd{1, 2, 3};
    const std::vector<Chunks> layouts{
        {{"LIST", list}, {"fmt ", fmt}, {"data", samples}},
        {{"data", samples}, {"fmt ", fmt}},
        {{"junk", odd}, {"data", samples}, {"odd ", {7}}, {"fmt ", fmt}, {"LIST", list}},
        {{"fmt ", fmt}, {"fact", {1, 0, 0, 0}}, {"odd ", odd}, {"data", samples}, {"tail", odd}},
    };
    for (std::size_t i = 0; i < layouts.size(); ++i) {
        SCOPED_TRACE("layout " + std::to_string(i));
        ReadFile file;
        ASSERT_NO_FATAL_FAILURE(open(file, riffFile(layouts[i])));
        expectPcmFormat(file.format, format);
        EXPECT_EQ(readAllData(file, 1000), samples);
    }
    // An odd data chunk followed by its pad byte and another chunk.
    ReadFile file;
    ASSERT_NO_FATAL_FAILURE(open(file, riffFile({{"fmt ", fmt}, {"data", odd}, {"tail", {9, 9}}})));
    EXPECT_EQ(readAllData(file, 2), odd);
}

TEST_F(WaveReading, ExtraFormatBytesComeOnlyFromInsideTheFmtChunk)
{
    const Bytes samples{1, 2, 3, 4, 5, 6, 7, 8};
    const Bytes pcm = formatChunkData(pcmWaveFormat(1, 8000, 16));
    WAVEFORMATEX floatFormat = pcmWaveFormat(2, 44100, 32);
    floatFormat.wFormatTag = 3;
    const Bytes floats = formatChunkData(floatFormat);

    struct Case {
        std::string what;
        Bytes fmt;
        Bytes extra;  // the format block's bytes from offset 18
    };
    Bytes extensible = floats;
    extensible[0] = 0xFE;
    extensible[1] = 0xFF;
    appendLittleEndian16(extensible, 22);
    const Bytes extension = randomBytes(22, 5);
    extensible.insert(extensible.end(), extension.begin(), extension.end());
    Bytes pcm18 = pcm;
    appendLittleEndian16(pcm18, 0x4444);  // ignored: PCM has no extra size
    Bytes floats18 = floats;
    appendLittleEndian16(floats18, 0);
    Bytes floats17 = floats;
    floats17.push_back(0x55);
    Bytes spareBytes = floats;  // announces 1 of the 3 bytes after the extra size
    appendLittleEndian16(spareBytes, 1);
    spareBytes.insert(spareBytes.end(), {0xA1, 0xA2, 0xA3});

    const std::vector<Case> cases{
        {"16-byte non-PCM chunk: the next header is not an extra size", floats, {}},
        {"17-byte non-PCM chunk, padded", floats17, {}},
        {"18-byte PCM chunk", pcm18, {}},
        {"non-PCM with extra size 0", floats18, {}},
        {"extensible format with 22 extra bytes", extensible, extension},
        {"fewer extra bytes announced than the chunk holds", spareBytes, {0xA1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        GlobalResetLargestRequestForTesting();
        ReadFile file;
        ASSERT_NO_FATAL_FAILURE(open(file, riffFile({{"fmt ", c.fmt}, {"data", samples}})));
        EXPECT_EQ(GlobalLargestRequestForTesting(), 18 + c.extra.size()) << "the format block's size";
        EXPECT_EQ(file.format->wFormatTag, littleEndian16At(c.fmt, 0));
        EXPECT_EQ(file.format->nChannels, littleEndian16At(c.fmt, 2));
        EXPECT_EQ(file.format->cbSize, c.extra.size());
        const auto* extra = reinterpret_cast<const BYTE*>(file.format) + sizeof(WAVEFORMATEX);
        EXPECT_EQ(Bytes(extra, extra + file.format->cbSize), c.extra);
        EXPECT_EQ(readAllData(file, 3), samples);
    }
}

// ---- Every failure of wav_open leaves no handle, no format block and no open file.

namespace {

struct OpenFailure {
    const char* name;
    Bytes content;  // the file's bytes; absent file when `missing`
    int32_t expected;
    bool missing = false;
    std::size_t allocationLimit = kGlobalNoAllocationLimit;
};

void PrintTo(const OpenFailure& row, std::ostream* out)
{
    *out << row.name;
}

Bytes withNonPcmFmt(WORD chunkSize, const Bytes& fmtTail, bool cutAfterFmt)
{
    WAVEFORMATEX format = pcmWaveFormat(1, 8000, 32);
    format.wFormatTag = 3;
    Bytes fmt = formatChunkData(format);
    fmt.insert(fmt.end(), fmtTail.begin(), fmtTail.end());
    Bytes file;
    appendText(file, "RIFF");
    appendLittleEndian32(file, 1000);
    appendText(file, "WAVEfmt ");
    appendLittleEndian32(file, chunkSize);
    file.insert(file.end(), fmt.begin(), fmt.end());
    if (!cutAfterFmt) {
        appendChunk(file, "data", {1, 2, 3, 4});
    }
    return file;
}

std::vector<OpenFailure> openFailures()
{
    const Bytes fmt = formatChunkData(pcmWaveFormat(1, 8000, 16));
    Bytes header8;
    appendText(header8, "RIFF");
    appendLittleEndian32(header8, 4);
    Bytes shortFmt = riffFile({{"fmt ", Bytes(fmt.begin(), fmt.begin() + 14)}, {"data", {1, 2}}});
    Bytes cutFmt = riffFile({{"fmt ", fmt}});
    cutFmt.resize(cutFmt.size() - 6);
    Bytes rifx = riffFile({{"fmt ", fmt}, {"data", {}}});
    rifx[3] = 'X';
    const Bytes extraSize4{4, 0, 0xA1, 0xA2};
    return {
        {"MissingFile", {}, WAV_ERR_OPEN_FAILED, true},
        {"EmptyFile", {}, static_cast<int32_t>(MMIOERR_CHUNKNOTFOUND)},
        {"ShorterThanAHeader", {'R', 'I', 'F', 'F', 0}, static_cast<int32_t>(MMIOERR_CHUNKNOTFOUND)},
        {"RiffHeaderWithoutFormType", header8, static_cast<int32_t>(MMIOERR_CHUNKNOTFOUND)},
        {"NotRiff", rifx, WAV_ERR_BAD_FORMAT},
        {"FormTypeNotWave", riffFile({{"fmt ", fmt}, {"data", {}}}, "AVI "), WAV_ERR_BAD_FORMAT},
        {"FormTypeInOtherCase", riffFile({{"fmt ", fmt}, {"data", {}}}, "wave"), WAV_ERR_BAD_FORMAT},
        {"NoFmtChunk", riffFile({{"data", {1, 2}}, {"FMT ", fmt}}), static_cast<int32_t>(MMIOERR_CHUNKNOTFOUND)},
        {"FmtOf14Bytes", shortFmt, WAV_ERR_BAD_FORMAT},
        {"FileEndsInsideTheFirst16FormatBytes", cutFmt, WAV_ERR_READ_FAILED},
        {"FileEndsBeforeTheExtraSize", withNonPcmFmt(24, {}, true), WAV_ERR_READ_FAILED},
        {"ExtraBytesAnnouncedBeyondTheChunk", withNonPcmFmt(20, extraSize4, false), WAV_ERR_BAD_FORMAT},
        {"FileEndsInsideTheExtraBytes", withNonPcmFmt(22, extraSize4, true), WAV_ERR_BAD_FORMAT},
        {"NoMemoryForTheFormatBlock", riffFile({{"fmt ", fmt}, {"data", {}}}), WAV_ERR_NO_MEMORY, false, 17},
    };
}

class WaveOpenFailure : public ::testing::TestWithParam<OpenFailure> {
protected:
    TempDir dir;
    void TearDown() override { GlobalSetAllocationLimitForTesting(kGlobalNoAllocationLimit); }
};

}  // namespace

TEST_P(WaveOpenFailure, LeavesHandleAndFormatBlockAtZeroAndTheFileClosed)
{
    const OpenFailure& row = GetParam();
    const std::string name = dir.file("bad.wav");
    if (!row.missing) {
        writeFile(name, row.content);
    }
    const std::size_t filesBefore = openFileCount();
    GlobalSetAllocationLimitForTesting(row.allocationLimit);
    const std::size_t blocksBefore = GlobalLiveBlocksForTesting();
    HMMIO handle = reinterpret_cast<HMMIO>(&handle);  // stale values the call must clear
    WAVEFORMATEX* format = reinterpret_cast<WAVEFORMATEX*>(&format);
    MMCKINFO riff{};
    const int32_t result = wav_open(name.c_str(), &handle, &format, &riff);
    EXPECT_EQ(result, row.expected);
    if (result == 0) {
        wav_close_read(&handle, &format);
    }
    EXPECT_EQ(handle, nullptr);
    EXPECT_EQ(format, nullptr);
    EXPECT_EQ(GlobalLiveBlocksForTesting(), blocksBefore);
    EXPECT_EQ(openFileCount(), filesBefore);
}

INSTANTIATE_TEST_SUITE_P(EveryRow, WaveOpenFailure, ::testing::ValuesIn(openFailures()),
                         [](const ::testing::TestParamInfo<OpenFailure>& info) { return info.param.name; });

// ---- wav_read at its edges.

TEST_F(WaveReading, AReadForMoreThanRemainsDeliversExactlyTheRestThenNothing)
{
    const Bytes samples = randomBytes(10, 1);
    ReadFile file;
    ASSERT_NO_FATAL_FAILURE(open(file, riffFile({{"fmt ", monoBytes()}, {"data", samples}, {"tail", {5}}})));
    ASSERT_EQ(wav_begin_read(&file.handle, &file.data, &file.riff), 0);
    EXPECT_EQ(file.data.cksize, 10u);
    BYTE buffer[100];
    DWORD delivered = 0;
    ASSERT_EQ(wav_read(file.handle, 4, buffer, &file.data, &delivered), 0);
    EXPECT_EQ(delivered, 4u);
    EXPECT_EQ(file.data.cksize, 6u);

    std::memset(buffer, 0xEE, sizeof buffer);
    ASSERT_EQ(wav_read(file.handle, 100, buffer, &file.data, &delivered), 0);
    EXPECT_EQ(delivered, 6u);
    EXPECT_EQ(file.data.cksize, 0u);
    EXPECT_EQ(Bytes(buffer, buffer + 6), Bytes(samples.begin() + 4, samples.end()));
    EXPECT_EQ(buffer[6], 0xEE) << "nothing beyond the chunk is delivered";

    ASSERT_EQ(wav_read(file.handle, 100, buffer, &file.data, &delivered), 0);
    EXPECT_EQ(delivered, 0u);
}

TEST_F(WaveReading, ZeroWantedDeliversNothingAndTheNextReadGoesOn)
{
    const Bytes samples = randomBytes(8, 2);
    ReadFile file;
    ASSERT_NO_FATAL_FAILURE(open(file, riffFile({{"fmt ", monoBytes()}, {"data", samples}})));
    ASSERT_EQ(wav_begin_read(&file.handle, &file.data, &file.riff), 0);
    BYTE buffer[8];
    DWORD delivered = 99;
    ASSERT_EQ(wav_read(file.handle, 3, buffer, &file.data, &delivered), 0);
    ASSERT_EQ(wav_read(file.handle, 0, nullptr, &file.data, &delivered), 0);
    EXPECT_EQ(delivered, 0u);
    EXPECT_EQ(file.data.cksize, 5u);
    ASSERT_EQ(wav_read(file.handle, 5, buffer + 3, &file.data, &delivered), 0);
    EXPECT_EQ(Bytes(buffer, buffer + 8), samples);
}

TEST_F(WaveReading, BeginReadAgainStartsOverFromTheFirstDataByte)
{
    const Bytes samples = randomBytes(300001, 3);  // beyond the first I/O buffer
    ReadFile file;
    ASSERT_NO_FATAL_FAILURE(open(file, riffFile({{"fmt ", monoBytes()}, {"data", samples}})));
    ASSERT_EQ(wav_begin_read(&file.handle, &file.data, &file.riff), 0);
    std::vector<BYTE> buffer(samples.size());
    DWORD delivered = 0;
    ASSERT_EQ(wav_read(file.handle, 290000, buffer.data(), &file.data, &delivered), 0);
    ASSERT_EQ(wav_begin_read(&file.handle, &file.data, &file.riff), 0);
    EXPECT_EQ(file.data.cksize, samples.size());
    EXPECT_EQ(readAllData(file, 65536), samples);
}

TEST_F(WaveReading, ADataChunkLongerThanTheFileIsTruncatedWithTheBytesUpToItsEndDelivered)
{
    const Bytes samples = randomBytes(40, 4);
    Bytes content = riffFile({{"fmt ", monoBytes()}, {"data", samples}});
    content[content.size() - 40 - 4] = 100;  // the data size field: 100 announced, 40 present
    ReadFile file;
    ASSERT_NO_FATAL_FAILURE(open(file, content));
    ASSERT_EQ(wav_begin_read(&file.handle, &file.data, &file.riff), 0);
    BYTE buffer[100] = {};
    DWORD delivered = 99;
    ASSERT_EQ(wav_read(file.handle, 30, buffer, &file.data, &delivered), 0);
    EXPECT_EQ(delivered, 30u);
    EXPECT_EQ(wav_read(file.handle, 100, buffer + 30, &file.data, &delivered), WAV_ERR_TRUNCATED);
    EXPECT_EQ(delivered, 10u) << "the bytes the file still held";
    EXPECT_EQ(file.data.cksize, 0u) << "lowered by the whole amount undertaken";
    EXPECT_EQ(Bytes(buffer, buffer + 40), samples) << "the bytes up to the end of the file were copied";
    // Starting over gives the full announced size again.
    ASSERT_EQ(wav_begin_read(&file.handle, &file.data, &file.riff), 0);
    EXPECT_EQ(file.data.cksize, 100u);
}

TEST_F(WaveReading, ABufferStateThatCannotBeTakenOverGivesOne)
{
    MMCKINFO data{};
    data.cksize = 10;
    BYTE buffer[10];
    DWORD delivered = 99;
    EXPECT_EQ(wav_read(nullptr, 10, buffer, &data, &delivered), 1);
    EXPECT_EQ(delivered, 0u);
    EXPECT_EQ(data.cksize, 10u);
}

TEST_F(WaveReading, AFormWithoutDataFailsTheSearchAndStaysOpen)
{
    ReadFile file;
    ASSERT_NO_FATAL_FAILURE(open(file, riffFile({{"fmt ", monoBytes()}, {"DATA", {1, 2}}})));
    EXPECT_EQ(wav_begin_read(&file.handle, &file.data, &file.riff), static_cast<int32_t>(MMIOERR_CHUNKNOTFOUND));
    EXPECT_NE(file.handle, nullptr);
}

TEST_F(WaveReading, CloseReadOnZerosAndTwiceDoesNothingMore)
{
    HMMIO handle = nullptr;
    WAVEFORMATEX* format = nullptr;
    EXPECT_EQ(wav_close_read(&handle, &format), 0);

    writeFile(name, riffFile({{"fmt ", monoBytes()}, {"data", {}}}));
    const std::size_t filesBefore = openFileCount();
    MMCKINFO riff{};
    ASSERT_EQ(wav_open(name.c_str(), &handle, &format, &riff), 0);
    EXPECT_EQ(GlobalLiveBlocksForTesting(), 1u);
    EXPECT_EQ(wav_close_read(&handle, &format), 0);
    EXPECT_EQ(handle, nullptr);
    EXPECT_EQ(format, nullptr);
    EXPECT_EQ(wav_close_read(&handle, &format), 0);
    EXPECT_EQ(GlobalLiveBlocksForTesting(), 0u);
    EXPECT_EQ(openFileCount(), filesBefore);
}
