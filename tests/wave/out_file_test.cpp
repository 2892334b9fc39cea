// The module-level output file: the format it derives from rate, bits and channels,
// the frame count it stores, and what it does with calls out of order.

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>

#include "platform/mmio_testing.h"
#include "tests/support/file_bytes.h"
#include "tests/support/process.h"
#include "tests/support/temp_dir.h"
#include "tests/support/wave_files.h"
#include "wave/wave.h"

using namespace testsupport;

namespace {

struct Fields {
    std::uint32_t rate;
    std::uint32_t byteRate;
    std::uint16_t blockAlign;
    std::uint16_t bits;
    std::uint16_t channels;
};

Fields fieldsOf(const Bytes& file)
{
    return {littleEndian32At(file, 24), littleEndian32At(file, 28), littleEndian16At(file, 32),
            littleEndian16At(file, 34), littleEndian16At(file, 22)};
}

// A complete PCM file of dataBytes data bytes: its sizes and chunk ids where they belong.
void expectCompleteFile(const Bytes& file, std::size_t dataBytes)
{
    const std::size_t length = 56 + dataBytes + dataBytes % 2;
    ASSERT_EQ(file.size(), length);
    EXPECT_EQ(std::string(file.begin(), file.begin() + 4), "RIFF");
    EXPECT_EQ(littleEndian32At(file, 4), length - 8);
    EXPECT_EQ(littleEndian16At(file, 20), WAVE_FORMAT_PCM);
    EXPECT_EQ(std::string(file.begin() + 36, file.begin() + 40), "fact");
    EXPECT_EQ(std::string(file.begin() + 48, file.begin() + 52), "data");
    EXPECT_EQ(littleEndian32At(file, 52), dataBytes);
}

// Lowers the largest size a file may reach, to make writes fail without writing 4 GiB.
struct LimitGuard {
    explicit LimitGuard(std::uint64_t bytes) { mmioSetMaximumFileSizeForTesting(bytes); }
    ~LimitGuard() { mmioSetMaximumFileSizeForTesting(kMmioMaximumFileSize); }
};

class OutFile : public ::testing::Test {
protected:
    // The state outlives a test; a failing one must not leave its file open for the next.
    void TearDown() override { out_file_close(); }

    TempDir dir;
    std::string name = dir.file("out.wav");
};

}  // namespace

TEST_F(OutFile, FormatFieldsComeFromRateBitsAndChannels)
{
    struct Case {
        int32_t rate;
        int16_t bits;
        int16_t channels;
        std::uint32_t byteRate;
        std::uint16_t blockAlign;
    };
    const Case cases[] = {{44100, 16, 2, 176400, 4}, {44100, 24, 1, 132300, 3}, {22050, 12, 2, 44100, 2},
                          {8000, 1, 1, 0, 0},        {8000, 7, 2, 0, 0}};
    const Bytes data = randomBytes(25, 1);
    for (const Case& c : cases) {
        SCOPED_TRACE("bits " + std::to_string(c.bits));
        ASSERT_EQ(out_file_open(name.c_str(), c.rate, c.bits, c.channels), 0);
        ASSERT_EQ(out_file_write(data.data(), static_cast<DWORD>(data.size())), 0);
        ASSERT_EQ(out_file_close(), 0);
        const Bytes file = readFile(name);
        expectCompleteFile(file, data.size());
        const Fields f = fieldsOf(file);
        EXPECT_EQ(f.rate, static_cast<std::uint32_t>(c.rate));
        EXPECT_EQ(f.byteRate, c.byteRate);
        EXPECT_EQ(f.blockAlign, c.blockAlign);
        EXPECT_EQ(f.bits, c.bits);
        EXPECT_EQ(f.channels, c.channels);
        // Whole frames only; without a block align there are none to count.
        EXPECT_EQ(littleEndian32At(file, 44), c.blockAlign == 0 ? 0u : 25u / c.blockAlign);
    }
    // Every width below a byte has no block align and still gives a finished file.
    for (int16_t bits = 1; bits <= 7; ++bits) {
        ASSERT_EQ(out_file_open(name.c_str(), 44100, bits, 2), 0);
        ASSERT_EQ(out_file_write(data.data(), 4), 0);
        ASSERT_EQ(out_file_close(), 0);
        const Bytes file = readFile(name);
        expectCompleteFile(file, 4);
        EXPECT_EQ(fieldsOf(file).blockAlign, 0u);
        EXPECT_EQ(fieldsOf(file).byteRate, 0u);
        EXPECT_EQ(littleEndian32At(file, 44), 0u);
    }
}

// Run under the sanitizers: products of any signed arguments wrap, never overflow.
TEST_F(OutFile, ExtremeAndNegativeArgumentsWrapToTheLowBits)
{
    constexpr auto int32Min = std::numeric_limits<int32_t>::min();
    constexpr auto int32Max = std::numeric_limits<int32_t>::max();
    constexpr auto int16Min = std::numeric_limits<int16_t>::min();
    constexpr auto int16Max = std::numeric_limits<int16_t>::max();
    const Bytes data = randomBytes(70000, 2);
    for (int32_t rate : {int32Min, -44100, 0, 44100, int32Max}) {
        for (int16_t bits : {int16Min, int16_t{-9}, int16_t{-1}, int16_t{0}, int16_t{16}, int16Max}) {
            for (int16_t channels : {int16Min, int16_t{-3}, int16_t{0}, int16_t{2}, int16Max}) {
                SCOPED_TRACE(std::to_string(rate) + " " + std::to_string(bits) + " " + std::to_string(channels));
                ASSERT_EQ(out_file_open(name.c_str(), rate, bits, channels), 0);
                ASSERT_EQ(out_file_write(data.data(), static_cast<DWORD>(data.size())), 0);
                ASSERT_EQ(out_file_close(), 0);
                // The same arithmetic in 64 bits, where nothing overflows, cut to the field widths.
                const std::int64_t perSample = bits / 8;
                const auto byteRate = static_cast<std::uint32_t>(std::int64_t{rate} * perSample * channels);
                const auto blockAlign = static_cast<std::uint16_t>(perSample * channels);
                const Bytes file = readFile(name);
                expectCompleteFile(file, data.size());
                const Fields f = fieldsOf(file);
                EXPECT_EQ(f.rate, static_cast<std::uint32_t>(rate));
                EXPECT_EQ(f.byteRate, byteRate);
                EXPECT_EQ(f.blockAlign, blockAlign);
                EXPECT_EQ(f.bits, static_cast<std::uint16_t>(bits));
                EXPECT_EQ(f.channels, static_cast<std::uint16_t>(channels));
                EXPECT_EQ(littleEndian32At(file, 44), blockAlign == 0 ? 0u : data.size() / blockAlign);
            }
        }
    }
}

TEST_F(OutFile, TwoSequencesInARowGiveTwoFilesWithTheirOwnFrameCounts)
{
    const std::string second = dir.file("second.wav");
    const Bytes data = randomBytes(3000, 3);
    ASSERT_EQ(out_file_open(name.c_str(), 44100, 16, 2), 0);
    ASSERT_EQ(out_file_write(data.data(), 1000), 0);
    ASSERT_EQ(out_file_write(data.data() + 1000, 2000), 0);
    ASSERT_EQ(out_file_close(), 0);
    ASSERT_EQ(out_file_open(second.c_str(), 48000, 24, 1), 0);
    ASSERT_EQ(out_file_write(data.data(), 301), 0);  // 100 frames and a stray byte
    ASSERT_EQ(out_file_close(), 0);

    const Bytes first = readFile(name);
    expectCompleteFile(first, 3000);
    EXPECT_EQ(littleEndian32At(first, 44), 750u);
    EXPECT_EQ(Bytes(first.begin() + 56, first.end()), data);
    const Bytes other = readFile(second);
    expectCompleteFile(other, 301);
    EXPECT_EQ(littleEndian32At(other, 44), 100u);
    EXPECT_EQ(Bytes(other.begin() + 56, other.begin() + 357), Bytes(data.begin(), data.begin() + 301));
}

TEST_F(OutFile, CallsOutOfOrderNeverDisturbAFile)
{
    const std::string intruder = dir.file("intruder.wav");
    const Bytes data = randomBytes(40, 4);
    // Nothing open: the write is refused, the close does nothing.
    EXPECT_EQ(out_file_write(data.data(), 8), static_cast<int32_t>(MMSYSERR_INVALHANDLE));
    EXPECT_EQ(out_file_close(), 0);
    EXPECT_EQ(out_file_close(), 0);

    ASSERT_EQ(out_file_open(name.c_str(), 8000, 16, 1), 0);
    ASSERT_EQ(out_file_write(data.data(), 20), 0);
    // A second open leaves the first file, its count included, as it was.
    EXPECT_EQ(out_file_open(intruder.c_str(), 44100, 16, 2), static_cast<int32_t>(MMSYSERR_ALLOCATED));
    EXPECT_FALSE(fileExists(intruder));
    ASSERT_EQ(out_file_write(data.data() + 20, 20), 0);
    ASSERT_EQ(out_file_close(), 0);
    const Bytes file = readFile(name);
    expectCompleteFile(file, 40);
    EXPECT_EQ(littleEndian32At(file, 44), 20u);
    EXPECT_EQ(fieldsOf(file).rate, 8000u);
    EXPECT_EQ(Bytes(file.begin() + 56, file.end()), data);

    // The refused write before the file was opened did not count either.
    EXPECT_EQ(out_file_write(data.data(), 8), static_cast<int32_t>(MMSYSERR_INVALHANDLE));
    ASSERT_EQ(out_file_open(name.c_str(), 8000, 16, 1), 0);
    ASSERT_EQ(out_file_close(), 0);
    EXPECT_EQ(littleEndian32At(readFile(name), 44), 0u);
}

TEST_F(OutFile, AnOpenThatFailedAfterCreatingTheFileIsClosedByClose)
{
    const Bytes data = randomBytes(8, 5);
    {
        // Room for the RIFF header and the fmt chunk header, not for the format itself.
        const LimitGuard limit(20);
        EXPECT_EQ(out_file_open(name.c_str(), 44100, 16, 2), WAV_ERR_WRITE_FAILED);
    }
    EXPECT_EQ(out_file_write(data.data(), 8), static_cast<int32_t>(MMSYSERR_INVALHANDLE));
    EXPECT_EQ(out_file_open(dir.file("other.wav").c_str(), 44100, 16, 2), static_cast<int32_t>(MMSYSERR_ALLOCATED));
    EXPECT_EQ(out_file_close(), 0);
    // Closed as far as it got, not finished: no sizes were settled into it.
    const Bytes partial = readFile(name);
    ASSERT_EQ(partial.size(), 20u);
    EXPECT_EQ(littleEndian32At(partial, 4), 0u);

    // An open that could not create the file leaves nothing open.
    EXPECT_EQ(out_file_open(dir.file("missing/out.wav").c_str(), 44100, 16, 2), WAV_ERR_WRITE_FAILED);
    ASSERT_EQ(out_file_open(name.c_str(), 44100, 16, 2), 0);
    ASSERT_EQ(out_file_write(data.data(), 8), 0);
    ASSERT_EQ(out_file_close(), 0);
    expectCompleteFile(readFile(name), 8);
    EXPECT_EQ(littleEndian32At(readFile(name), 44), 2u);
}

TEST_F(OutFile, AShortWriteCountsOnlyTheBytesItPlaced)
{
    const Bytes data = randomBytes(21, 7);
    {
        const LimitGuard limit(56 + 10);
        ASSERT_EQ(out_file_open(name.c_str(), 8000, 16, 1), 0);
        EXPECT_EQ(out_file_write(data.data(), 21), static_cast<int32_t>(MMIOERR_CANNOTEXPAND));
        EXPECT_EQ(out_file_close(), 0);
    }
    const Bytes file = readFile(name);
    expectCompleteFile(file, 10);
    EXPECT_EQ(littleEndian32At(file, 44), 5u);
}

TEST_F(OutFile, PythonsWaveModuleReadsTheFile)
{
    const Bytes data = randomBytes(4 * 1234, 6);
    ASSERT_EQ(out_file_open(name.c_str(), 44100, 16, 2), 0);
    ASSERT_EQ(out_file_write(data.data(), 1000), 0);
    ASSERT_EQ(out_file_write(data.data() + 1000, static_cast<DWORD>(data.size() - 1000)), 0);
    ASSERT_EQ(out_file_close(), 0);
    EXPECT_EQ(littleEndian32At(readFile(name), 44), 1234u);
    const ProcessResult result = runPython(kPythonWaveReader, {name});
    ASSERT_EQ(result.exitStatus, 0) << result.standardError;
    EXPECT_EQ(result.standardOutput, "2 2 44100 1234\n" + hexOf(data));
}
