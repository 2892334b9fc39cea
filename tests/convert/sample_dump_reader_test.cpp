#include "convert/sample_dump_reader.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include "convert/interruption.h"
#include "tests/support/cout_capture.h"
#include "tests/support/file_bytes.h"
#include "tests/support/temp_dir.h"

namespace {

using testsupport::Bytes;
using testsupport::CoutCapture;
using testsupport::TempDir;

Bytes bufferBytes(const SampleDumpReader& reader, std::size_t count)
{
    const auto buffer = reader.buffer();
    return Bytes(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(count));
}

bool allZeroFrom(const SampleDumpReader& reader, std::size_t offset)
{
    const auto buffer = reader.buffer();
    return std::all_of(buffer.begin() + static_cast<std::ptrdiff_t>(offset), buffer.end(),
                       [](std::uint8_t byte) { return byte == 0; });
}

TEST(SampleDumpReader, EmptyFileOpensAndGivesOneEmptyChunkSilently)
{
    TempDir dir;
    testsupport::writeFile(dir.file("empty.raw"), {});
    CoutCapture cout;
    SampleDumpReader reader(dir.file("empty.raw"));
    EXPECT_TRUE(reader.ok());
    EXPECT_TRUE(allZeroFrom(reader, 0));
    EXPECT_EQ(reader.readChunk(), 0u);
    EXPECT_TRUE(reader.ok());
    EXPECT_TRUE(allZeroFrom(reader, 0));
    EXPECT_EQ(cout.text(), "");
}

TEST(SampleDumpReader, WholeChunksThenAnEmptyOneAndReadsAfterTheEndStayEmpty)
{
    TempDir dir;
    const Bytes dump = testsupport::randomBytes(2 * kChunkBytes, 7);
    testsupport::writeFile(dir.file("two.raw"), dump);
    CoutCapture cout;
    SampleDumpReader reader(dir.file("two.raw"));
    ASSERT_TRUE(reader.ok());
    for (std::size_t chunk = 0; chunk < 2; ++chunk) {
        ASSERT_EQ(reader.readChunk(), kChunkBytes);
        EXPECT_TRUE(reader.ok());
        EXPECT_EQ(bufferBytes(reader, kChunkBytes),
                  Bytes(dump.begin() + static_cast<std::ptrdiff_t>(chunk * kChunkBytes),
                        dump.begin() + static_cast<std::ptrdiff_t>((chunk + 1) * kChunkBytes)));
    }
    EXPECT_EQ(reader.readChunk(), 0u);
    EXPECT_TRUE(reader.ok());
    EXPECT_EQ(reader.readChunk(), 0u);
    EXPECT_TRUE(reader.ok());
    EXPECT_EQ(cout.text(), "");
}

TEST(SampleDumpReader, ShortLastChunkLeavesNoEarlierBytesBehindIt)
{
    TempDir dir;
    Bytes dump = testsupport::randomBytes(kChunkBytes + 7, 11);
    // Make sure the first chunk's tail is non-zero, so stale bytes would show.
    std::fill(dump.begin() + 7, dump.begin() + static_cast<std::ptrdiff_t>(kChunkBytes), std::uint8_t{0xA5});
    testsupport::writeFile(dir.file("odd.raw"), dump);
    SampleDumpReader reader(dir.file("odd.raw"));
    ASSERT_TRUE(reader.ok());
    ASSERT_EQ(reader.readChunk(), kChunkBytes);
    ASSERT_EQ(reader.readChunk(), 7u);
    EXPECT_TRUE(reader.ok());
    EXPECT_EQ(bufferBytes(reader, 7), Bytes(dump.end() - 7, dump.end()));
    EXPECT_TRUE(allZeroFrom(reader, 7));
}

TEST(SampleDumpReader, LargeFileComesBackWhole)
{
    // Longer than the stream's own buffer, and not a whole number of chunks.
    TempDir dir;
    const Bytes dump = testsupport::randomBytes(200'003, 3);
    testsupport::writeFile(dir.file("big.raw"), dump);
    SampleDumpReader reader(dir.file("big.raw"));
    ASSERT_TRUE(reader.ok());
    Bytes back;
    std::uint32_t count = 0;
    do {
        count = reader.readChunk();
        const Bytes chunk = bufferBytes(reader, count);
        back.insert(back.end(), chunk.begin(), chunk.end());
    } while (count == kChunkBytes);
    EXPECT_EQ(back, dump);
}

TEST(SampleDumpReader, MissingFileIsReportedWithoutThrowing)
{
    TempDir dir;
    const std::string name = dir.file("absent.raw");
    CoutCapture cout;
    SampleDumpReader reader(name);
    EXPECT_FALSE(reader.ok());
    EXPECT_EQ(cout.text(), "Error opening <" + name + ">\n");
}

TEST(SampleDumpReader, DirectoryCountsAsOpenFailure)
{
    TempDir dir;
    std::filesystem::create_directory(dir.path() / "folder.raw");
    const std::string name = dir.file("folder.raw");
    CoutCapture cout;
    SampleDumpReader reader(name);
    EXPECT_FALSE(reader.ok());
    EXPECT_EQ(cout.text(), "Error opening <" + name + ">\n");
}

// The size decides a dump's form before it is read: known only for a regular file.
TEST(SampleDumpReader, OnlyARegularFileHasAKnownSize)
{
    TempDir dir;
    testsupport::writeFile(dir.file("take.raw"), Bytes(7));
    EXPECT_EQ(SampleDumpReader(dir.file("take.raw")).knownSize(), 7u);
    const SampleDumpReader device("/dev/null");
    EXPECT_TRUE(device.ok());
    EXPECT_EQ(device.knownSize(), std::nullopt);
}

TEST(SampleDumpReader, AReadableWakePipeWithoutASignalEndsNoRead)
{
    TempDir dir;
    const Bytes dump = testsupport::randomBytes(kChunkBytes, 70);
    testsupport::writeFile(dir.file("take.raw"), dump);
    const InterruptionWatch watch;
    // Something other than a signal makes the wake pipe readable.
    const int writeEnd = open(("/proc/self/fd/" + std::to_string(interruptionDescriptor())).c_str(), O_WRONLY);
    ASSERT_GE(writeEnd, 0);
    ASSERT_EQ(write(writeEnd, "x", 1), 1);
    close(writeEnd);
    SampleDumpReader reader(dir.file("take.raw"));
    EXPECT_EQ(reader.readChunk(), kChunkBytes);
    EXPECT_EQ(bufferBytes(reader, kChunkBytes), dump);
}

}  // namespace
