// A real dump past 4 GiB converted with a bext chunk, INFO tags and an MD5: an RF64 file
// with ds64 first and every chunk in its place, whose MD5 WavReader verifies over the
// 4.3 GB of data. Optimised build only; the output is deleted once it is read.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/program_run.h"
#include "tests/support/temp_dir.h"
#include "wavfile/wav_file.h"

namespace {

// 24-bit stereo, odd: 716666667 frames and one byte of a sample begun.
constexpr std::uint64_t kDumpBytes = 4300000003;

TEST(Rf64Archival, EveryArchivalChunkFollowsDs64AndTheMd5HoldsPastFourGibibytes)
{
    testsupport::TempDir dir;
    const std::string dumpName = dir.file("big.raw");
    {
        const int fd = open(dumpName.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ASSERT_GE(fd, 0);
        const unsigned char marks[] = {0x11, 0x22, 0x33, 0x44, 0x55, 0x66};
        ASSERT_EQ(pwrite(fd, marks, sizeof marks, 0xFFFFFF00), 6);
        ASSERT_EQ(pwrite(fd, marks, 1, static_cast<off_t>(kDumpBytes - 1)), 1);
        close(fd);
    }
    const testsupport::ProcessResult result = testsupport::runPcmwrapIn(
        dir, {"-c2", "--md5", "--description=Past 4 GiB", "--info=INAM=Big", "big.raw"});
    std::filesystem::remove(dumpName);
    testsupport::expectCleanExit(result, 0);

    pcmwrap::WavReader reader(dir.file("big.wav"));
    std::vector<std::string> ids;
    for (const pcmwrap::ChunkInfo& chunk : reader.chunks()) {
        ids.push_back(chunk.id);
    }
    EXPECT_EQ(ids, (std::vector<std::string>{"ds64", "bext", "fmt ", "fact", "LIST", "data", "MD5 "}));
    EXPECT_EQ(reader.frameCount(), kDumpBytes / 6);
    ASSERT_TRUE(reader.broadcastExtension().has_value());
    EXPECT_EQ(reader.broadcastExtension()->description, "Past 4 GiB");
    EXPECT_EQ(reader.infoTags(), (std::vector<pcmwrap::InfoTag>{{"INAM", "Big"}}));
    EXPECT_TRUE(reader.verifyMd5());
    std::filesystem::remove(dir.file("big.wav"));
}

}  // namespace
