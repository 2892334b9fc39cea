// The built program against a conversion written out the long way in this file: every
// sample reversed one byte at a time, and the whole WAVE file laid out field by field.
// One random dump, cut to lengths at every boundary the program's buffers have (the
// 6144-byte chunk and the output file's I/O buffer), goes through each sample width and
// several channel counts, into new files and over existing ones. Whatever the program does
// to be fast, its files must stay exactly these.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "convert/chunk.h"
#include "platform/mmio.h"
#include "tests/support/file_bytes.h"
#include "tests/support/process.h"
#include "tests/support/temp_dir.h"

namespace {

using testsupport::Bytes;
using testsupport::TempDir;

constexpr std::size_t kWaveHeaderBytes = 56;
constexpr std::uint32_t kRate = 44100;

struct Format {
    int bits;
    int channels;
};

// The size of the output file's I/O buffer, as the I/O layer reports it for a new file.
std::size_t outputBufferBytes(const TempDir& dir)
{
    const std::string name = dir.file("probe.riff");
    HMMIO handle = mmioOpenA(name.c_str(), nullptr, MMIO_ALLOCBUF | MMIO_CREATE | MMIO_READWRITE);
    EXPECT_NE(handle, nullptr);
    if (handle == nullptr) {
        return 0;
    }
    MMIOINFO info{};
    EXPECT_EQ(mmioGetInfo(handle, &info, 0), 0u);
    mmioClose(handle, 0);
    std::filesystem::remove(name);
    return static_cast<std::size_t>(info.cchBuffer);
}

// Dump lengths: empty, a sample cut short, around one, two and three chunks, and those
// whose file ends just before, at and after the end of the first and second output buffers.
std::vector<std::size_t> boundaryLengths(std::size_t outputBuffer)
{
    std::vector<std::size_t> lengths = {0, 1, 2, 3, kChunkBytes - 1, kChunkBytes, kChunkBytes + 1,
                                        2 * kChunkBytes, 3 * kChunkBytes + 1};
    for (const std::size_t fileEnd : {outputBuffer, 2 * outputBuffer}) {
        const std::size_t data = fileEnd - kWaveHeaderBytes;
        lengths.insert(lengths.end(), {data - 1, data, data + 1});
    }
    return lengths;
}

void put16(Bytes& file, std::uint32_t value)
{
    file.push_back(static_cast<std::uint8_t>(value));
    file.push_back(static_cast<std::uint8_t>(value >> 8));
}

void put32(Bytes& file, std::uint32_t value)
{
    put16(file, value & 0xFFFF);
    put16(file, value >> 16);
}

void putText(Bytes& file, const char (&text)[5])
{
    file.insert(file.end(), text, text + 4);
}

// What the converter must write for a dump. Bytes past the end of the dump that a
// partial last sample would need count as zero.
Bytes referenceWave(const Bytes& dump, Format format)
{
    const std::size_t sampleBytes = static_cast<std::size_t>(format.bits / 8);
    const auto blockAlign = static_cast<std::uint32_t>(sampleBytes * static_cast<std::size_t>(format.channels));
    const auto dataBytes = static_cast<std::uint32_t>(dump.size());
    const std::uint32_t pad = dataBytes % 2;

    Bytes file;
    putText(file, "RIFF");
    put32(file, 48 + dataBytes + pad);
    putText(file, "WAVE");
    putText(file, "fmt ");
    put32(file, 16);
    put16(file, 1);
    put16(file, static_cast<std::uint32_t>(format.channels));
    put32(file, kRate);
    put32(file, kRate * blockAlign);
    put16(file, blockAlign);
    put16(file, static_cast<std::uint32_t>(format.bits));
    putText(file, "fact");
    put32(file, 4);
    put32(file, dataBytes / blockAlign);
    putText(file, "data");
    put32(file, dataBytes);
    for (std::size_t sample = 0; sample < dump.size(); sample += sampleBytes) {
        for (std::size_t byte = 0; byte < sampleBytes && sample + byte < dump.size(); ++byte) {
            const std::size_t from = sample + sampleBytes - 1 - byte;
            file.push_back(from < dump.size() ? dump[from] : 0);
        }
    }
    if (pad != 0) {
        file.push_back(0);
    }
    return file;
}

std::string dumpName(std::size_t length)
{
    return std::string("d").append(std::to_string(length)).append(".raw");
}

std::string waveName(std::size_t length)
{
    return std::string("d").append(std::to_string(length)).append(".wav");
}

// Converts every length in one run of the program, which must say exactly this.
void convertAll(const TempDir& dir, Format format, const std::vector<std::size_t>& lengths)
{
    const std::string bits = std::to_string(format.bits);
    const std::string channels = std::to_string(format.channels);
    std::vector<std::string> arguments = {std::string("-b").append(bits), std::string("-c").append(channels)};
    std::string expectedOutput = std::string("bits: <").append(bits).append(">, rate: <44100>, channels: <");
    expectedOutput.append(channels).append(">\n");
    for (const std::size_t length : lengths) {
        arguments.push_back(dumpName(length));
        expectedOutput += dumpName(length) + " ->  " + waveName(length) + "\n";
    }
    testsupport::ProcessOptions options;
    options.workingDirectory = dir.path().string();
    const testsupport::ProcessResult result = testsupport::runPcmwrap(arguments, options);
    EXPECT_EQ(result.standardOutput, expectedOutput);
    EXPECT_EQ(result.standardError, "");
    EXPECT_EQ(result.signal, 0);
    EXPECT_EQ(result.exitStatus, 0);
}

class ConversionReference : public testing::TestWithParam<Format> {};

TEST_P(ConversionReference, EveryBufferBoundaryGivesTheReferenceFile)
{
    const Format format = GetParam();
    TempDir dir;
    const std::size_t outputBuffer = outputBufferBytes(dir);
    ASSERT_GT(outputBuffer, kWaveHeaderBytes);
    const std::vector<std::size_t> lengths = boundaryLengths(outputBuffer);
    const Bytes whole = testsupport::randomBytes(2 * outputBuffer + 1, 90);
    std::vector<Bytes> expected;
    for (const std::size_t length : lengths) {
        const Bytes dump(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(length));
        testsupport::writeFile(dir.file(dumpName(length)), dump);
        expected.push_back(referenceWave(dump, format));
    }

    convertAll(dir, format, lengths);
    for (std::size_t i = 0; i < lengths.size(); ++i) {
        EXPECT_EQ(testsupport::readFile(dir.file(waveName(lengths[i]))), expected[i]) << lengths[i] << " bytes, new file";
    }

    // Again over outputs that exist, each longer than the file it will hold and with a
    // second name: it is emptied and rewritten in place, so the other name sees the same.
    const Bytes stale(2 * outputBuffer + 100, 0xA5);
    for (const std::size_t length : lengths) {
        testsupport::writeFile(dir.file(waveName(length)), stale);
        std::filesystem::create_hard_link(dir.file(waveName(length)), dir.file(waveName(length) + ".link"));
    }
    convertAll(dir, format, lengths);
    for (std::size_t i = 0; i < lengths.size(); ++i) {
        const std::string name = waveName(lengths[i]);
        EXPECT_EQ(testsupport::readFile(dir.file(name)), expected[i]) << lengths[i] << " bytes, replaced file";
        EXPECT_EQ(testsupport::readFile(dir.file(name + ".link")), expected[i]) << lengths[i] << " bytes, other name";
    }
}

// Block aligns that divide the chunk (2, 4, 3, 6) and that do not (10, 15), where a frame
// straddles two chunks.
INSTANTIATE_TEST_SUITE_P(WidthsAndChannels, ConversionReference,
                         testing::Values(Format{16, 1}, Format{16, 2}, Format{16, 5}, Format{24, 1}, Format{24, 2},
                                         Format{24, 5}),
                         [](const testing::TestParamInfo<Format>& info) {
                             return std::to_string(info.param.bits) + "Bits" + std::to_string(info.param.channels) +
                                    "Channels";
                         });

// The reference itself, on the cases worked out by hand: a 24-bit sample cut short is
// completed with zeroes, and an odd data size gets its pad byte.
TEST(ConversionReferenceSelfCheck, HandWorkedCases)
{
    const Bytes seven = referenceWave({0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6}, {24, 1});
    ASSERT_EQ(seven.size(), kWaveHeaderBytes + 8);
    EXPECT_EQ(Bytes(seven.begin() + kWaveHeaderBytes, seven.end()),
              (Bytes{0xA2, 0xA1, 0xA0, 0xA5, 0xA4, 0xA3, 0x00, 0x00}));
    EXPECT_EQ(seven[4], 56);   // RIFF size: 48 + 7 + pad
    EXPECT_EQ(seven[44], 2);   // two whole frames
    EXPECT_EQ(seven[52], 7);   // data size without the pad
    const Bytes stereo = referenceWave({0x12, 0x34, 0x56, 0x78}, {16, 2});
    EXPECT_EQ(Bytes(stereo.begin() + kWaveHeaderBytes, stereo.end()), (Bytes{0x34, 0x12, 0x78, 0x56}));
    EXPECT_EQ(testsupport::littleEndian32At(stereo, 28), 176400u);
    EXPECT_EQ(testsupport::littleEndian16At(stereo, 32), 4);
}

}  // namespace
