// A real dump past 4 GiB converted by the built program: an RF64 file, read back by a
// small RF64 reader of the test's own. Built only in the optimised build, where it takes
// seconds; the output (about 4.3 GB of real blocks) is deleted as soon as it is read.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>

#include "tests/support/file_bytes.h"
#include "tests/support/process.h"
#include "tests/support/program_run.h"
#include "tests/support/temp_dir.h"

namespace {

using testsupport::Bytes;

// 24-bit stereo: 716666667 frames and one byte of a sample begun, so the data is odd.
constexpr std::uint64_t kDumpBytes = 4300000003;
constexpr std::uint64_t kHeaderBytes = 92;

Bytes readAt(int fd, std::uint64_t offset, std::size_t count)
{
    Bytes bytes(count);
    if (pread(fd, bytes.data(), count, static_cast<off_t>(offset)) != static_cast<ssize_t>(count)) {
        bytes.clear();
    }
    return bytes;
}

std::uint64_t littleEndian64At(const Bytes& bytes, std::size_t offset)
{
    return testsupport::littleEndian32At(bytes, offset) |
           (std::uint64_t{testsupport::littleEndian32At(bytes, offset + 4)} << 32);
}

struct Rf64File {
    std::uint64_t riffSize = 0, dataSize = 0, sampleCount = 0;
    std::map<std::string, std::uint64_t> chunkSizes;  // true sizes, from ds64 where the field is all ones
    std::uint64_t dataOffset = 0;
    Bytes format;
};

// Reads the form, ds64 and the chunks after it up to the data chunk, as an RF64 reader does.
Rf64File readRf64(int fd)
{
    Rf64File file;
    const Bytes form = readAt(fd, 0, 48);
    EXPECT_EQ(std::string(form.begin(), form.begin() + 4), "RF64");
    EXPECT_EQ(testsupport::littleEndian32At(form, 4), 0xFFFFFFFFu);
    EXPECT_EQ(std::string(form.begin() + 8, form.begin() + 16), "WAVEds64");
    EXPECT_EQ(testsupport::littleEndian32At(form, 16), 28u);
    file.riffSize = littleEndian64At(form, 20);
    file.dataSize = littleEndian64At(form, 28);
    file.sampleCount = littleEndian64At(form, 36);
    EXPECT_EQ(testsupport::littleEndian32At(form, 44), 0u);  // table length
    std::uint64_t offset = 48;
    while (file.dataOffset == 0) {
        const Bytes header = readAt(fd, offset, 8);
        if (header.empty()) {
            ADD_FAILURE() << "no data chunk";
            break;
        }
        const std::string id(header.begin(), header.begin() + 4);
        std::uint64_t size = testsupport::littleEndian32At(header, 4);
        if (id == "data") {
            EXPECT_EQ(size, 0xFFFFFFFFu);
            size = file.dataSize;
            file.dataOffset = offset + 8;
        } else if (id == "fmt ") {
            file.format = readAt(fd, offset + 8, static_cast<std::size_t>(size));
        }
        file.chunkSizes[id] = size;
        offset += 8 + size + size % 2;
    }
    return file;
}

// Sparse: only the marked samples take room. Each marker is two 24-bit samples.
const std::map<std::uint64_t, Bytes> kMarkers = {
    {0, {0x11, 0x22, 0x33, 0x44, 0x55, 0x66}},
    {0xFFFFFF00, {0x01, 0x02, 0x03, 0x04, 0x05, 0x06}},  // the data passes 0xFFFFFFFF here
    {kDumpBytes - 7, {0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6}},  // the last whole frame
};

void writeSparseDump(const std::string& dumpName)
{
    const int fd = open(dumpName.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0);
    for (const auto& [offset, bytes] : kMarkers) {
        ASSERT_EQ(pwrite(fd, bytes.data(), bytes.size(), static_cast<off_t>(offset)), 6);
    }
    const Bytes lastByte = {0x7F};  // the sample begun: its missing bytes count as 0
    ASSERT_EQ(pwrite(fd, lastByte.data(), 1, static_cast<off_t>(kDumpBytes - 1)), 1);
    close(fd);
}

// The RF64 file the sparse dump gives as 24-bit stereo, read back and then deleted.
void expectRf64Conversion(const std::string& outputName)
{
    const int fd = open(outputName.c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    const Rf64File file = readRf64(fd);
    const std::uint64_t length = std::filesystem::file_size(outputName);
    std::map<std::uint64_t, Bytes> samples;
    for (const auto& [offset, bytes] : kMarkers) {
        samples[offset] = readAt(fd, kHeaderBytes + offset, bytes.size());
    }
    const Bytes tail = readAt(fd, kHeaderBytes + kDumpBytes - 1, 2);
    close(fd);
    std::filesystem::remove(outputName);

    EXPECT_EQ(length, kHeaderBytes + kDumpBytes + 1);
    EXPECT_EQ(file.riffSize, length - 8);
    EXPECT_EQ(file.dataSize, kDumpBytes);
    EXPECT_EQ(file.sampleCount, kDumpBytes / 6);
    EXPECT_EQ(file.dataOffset, kHeaderBytes);
    EXPECT_EQ(file.chunkSizes, (std::map<std::string, std::uint64_t>{{"fmt ", 16}, {"fact", 4}, {"data", kDumpBytes}}));
    // PCM, 2 channels, 44100, 264600 bytes per second, block align 6, 24 bits.
    EXPECT_EQ(file.format, (Bytes{1, 0, 2, 0, 0x44, 0xAC, 0, 0, 0x98, 0x09, 0x04, 0, 6, 0, 24, 0}));
    for (const auto& [offset, bytes] : kMarkers) {
        const Bytes reversed = {bytes[2], bytes[1], bytes[0], bytes[5], bytes[4], bytes[3]};
        EXPECT_EQ(samples[offset], reversed) << "at dump offset " << offset;
    }
    EXPECT_EQ(tail, (Bytes{0x00, 0x00}));  // the begun sample's first written byte, then the pad byte
}

TEST(Rf64Conversion, ADumpPastFourGibibytesBecomesAnRf64File)
{
    testsupport::TempDir dir;
    const std::string dumpName = dir.file("big.raw");
    writeSparseDump(dumpName);
    const testsupport::ProcessResult result = testsupport::runPcmwrapIn(dir, {"-c2", "big.raw"});
    std::filesystem::remove(dumpName);
    EXPECT_EQ(result.standardOutput, "bits: <24>, rate: <44100>, channels: <2>\nbig.raw ->  big.wav\n");
    testsupport::expectCleanExit(result, 0);
    expectRf64Conversion(dir.file("big.wav"));
}

// Through a pipe the length is not known at the start: the file named by -o reserves the
// place of ds64 in a JUNK chunk and becomes the same RF64 file in place at its end.
TEST(Rf64Conversion, ADumpPastFourGibibytesThroughAPipeBecomesTheSameRf64File)
{
    testsupport::TempDir dir;
    writeSparseDump(dir.file("big.raw"));
    testsupport::ProcessOptions options;
    options.workingDirectory = dir.path().string();
    options.extraEnvironment = {std::string("P=") + PCMWRAP_PROGRAM};
    const testsupport::ProcessResult result =
        testsupport::runProcess("/bin/sh", {"-c", "cat big.raw | $P -c2 -obig.wav -"}, options);
    std::filesystem::remove(dir.file("big.raw"));
    EXPECT_EQ(result.standardOutput, "bits: <24>, rate: <44100>, channels: <2>\n- ->  big.wav\n");
    testsupport::expectCleanExit(result, 0);
    expectRf64Conversion(dir.file("big.wav"));
}

}  // namespace
