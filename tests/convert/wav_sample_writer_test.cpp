// The sample writer in this process: the files it makes from chunks, and how it ends the
// process on a failure, watched from a forked child.

#include "convert/wav_sample_writer.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <functional>

#include "platform/mmio_testing.h"
#include "tests/support/cout_capture.h"
#include "tests/support/expected_wave.h"
#include "tests/support/file_bytes.h"
#include "tests/support/temp_dir.h"
#include "wave/wave.h"

namespace {

using testsupport::Bytes;
using testsupport::TempDir;
using Chunk = std::array<std::uint8_t, kChunkBytes>;

constexpr std::size_t kHeaderBytes = 56;

// Feeds a dump to a writer as the driver does: whole chunks, then the short one, with the
// bytes after a short chunk zero as the reader leaves them.
void writeDump(WavSampleWriter& writer, const Bytes& dump)
{
    std::size_t offset = 0;
    std::uint32_t count = 0;
    do {
        Chunk chunk{};
        count = static_cast<std::uint32_t>(std::min(kChunkBytes, dump.size() - offset));
        std::copy_n(dump.begin() + static_cast<std::ptrdiff_t>(offset), count, chunk.begin());
        offset += count;
        writer.write(chunk, count);
    } while (count == kChunkBytes);
}

void convert(const PcmSettings& settings, const std::string& name, const Bytes& dump)
{
    WavSampleWriter writer(settings, name);
    writeDump(writer, dump);
}

struct ChildResult {
    std::string standardOutput;
    int exitStatus = -1;
};

// Runs body in a forked child whose standard output is collected. The writer ends the
// process on failure, which a test can only watch from outside.
ChildResult runInChild(const std::function<void()>& body)
{
    std::fflush(nullptr);
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0) {
        ADD_FAILURE() << "pipe failed";
        return {};
    }
    const pid_t child = fork();
    if (child == 0) {
        dup2(pipeEnds[1], STDOUT_FILENO);
        close(pipeEnds[0]);
        close(pipeEnds[1]);
        body();
        std::fflush(nullptr);
        _exit(0);
    }
    close(pipeEnds[1]);
    ChildResult result;
    char buffer[4096];
    ssize_t got = 0;
    while ((got = read(pipeEnds[0], buffer, sizeof buffer)) > 0) {
        result.standardOutput.append(buffer, static_cast<std::size_t>(got));
    }
    close(pipeEnds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    if (WIFEXITED(status)) {
        result.exitStatus = WEXITSTATUS(status);
    }
    return result;
}

TEST(WavSampleWriter, DefaultOptionsGiveTheSixtyTwoByteFile)
{
    TempDir dir;
    testsupport::CoutCapture cout;
    convert(PcmSettings{}, dir.file("take.wav"), {0x01, 0x02, 0x03, 0x04, 0x05, 0x06});
    const Bytes expected = {'R', 'I', 'F', 'F', 54, 0, 0, 0, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' ',
                            16, 0, 0, 0, 1, 0, 1, 0, 0x44, 0xAC, 0, 0, 0xCC, 0x04, 0x02, 0,
                            3, 0, 24, 0, 'f', 'a', 'c', 't', 4, 0, 0, 0, 2, 0, 0, 0,
                            'd', 'a', 't', 'a', 6, 0, 0, 0, 0x03, 0x02, 0x01, 0x06, 0x05, 0x04};
    EXPECT_EQ(testsupport::readFile(dir.file("take.wav")), expected);
    EXPECT_EQ(cout.text(), "");
}

TEST(WavSampleWriter, ChunksOfEitherWidthAreReversedPerSampleAndCounted)
{
    TempDir dir;
    struct Case {
        PcmSettings settings;
        std::size_t dumpBytes;
        testsupport::ExpectedPcmFormat format;
    };
    const Case cases[] = {
        {{1, 44100, 24}, 0, {1, 44100, 24, 3, 132300}},
        {{2, 44100, 16}, 3 * kChunkBytes + 1, {2, 44100, 16, 4, 176400}},
        {{1, 8000, 16}, kChunkBytes + 3, {1, 8000, 16, 2, 16000}},
        {{2, 48000, 24}, 2 * kChunkBytes, {2, 48000, 24, 6, 288000}},
    };
    for (const Case& c : cases) {
        const Bytes dump = testsupport::randomBytes(c.dumpBytes, static_cast<std::uint32_t>(c.dumpBytes));
        testsupport::CoutCapture cout;
        convert(c.settings, dir.file("out.wav"), dump);
        const std::uint32_t frames = static_cast<std::uint32_t>(dump.size() / c.format.blockAlign);
        EXPECT_EQ(testsupport::readFile(dir.file("out.wav")),
                  testsupport::expectedPcmWave(c.format, frames, testsupport::reversedSamples(dump, c.format.bits / 8)))
            << c.dumpBytes << " bytes";
        EXPECT_EQ(cout.text(), "");
    }
}

TEST(WavSampleWriter, UnconvertibleFormatEndsWithStatus2BeforeAnyFileExists)
{
    TempDir dir;
    const std::string name = dir.file("never.wav");
    const ChildResult bits = runInChild([&] { WavSampleWriter writer(PcmSettings{1, 44100, -8}, name); });
    EXPECT_EQ(bits.standardOutput, "bits per sample must be either 16 or 24 but were: <65528>\n");
    EXPECT_EQ(bits.exitStatus, 2);
    const ChildResult channels = runInChild([&] { WavSampleWriter writer(PcmSettings{0, 44100, 16}, name); });
    EXPECT_EQ(channels.standardOutput, "channels must be from 1 to <32767> but were: <0>\n");
    EXPECT_EQ(channels.exitStatus, 2);
    EXPECT_FALSE(testsupport::fileExists(name));
}

TEST(WavSampleWriter, CreationFailureEndsWithTheMessageAndTheMappedStatus)
{
    TempDir dir;
    const std::string name = dir.file("missing/take.wav");
    const ChildResult result = runInChild([&] { WavSampleWriter writer(PcmSettings{}, name); });
    EXPECT_EQ(result.standardOutput, "Error creating <" + name + ">, code <57604>\n\n");
    EXPECT_EQ(result.exitStatus, 4);
}

// The file may not pass 0xFFFFFFFF bytes; a lowered ceiling stands in for it. A dump that
// would pass it stops with the write message, never with a wrapped size.
TEST(WavSampleWriter, DumpTooLargeForARiffFileEndsWithTheWriteMessage)
{
    TempDir dir;
    const std::string name = dir.file("big.wav");
    auto underCeiling = [&](std::uint64_t ceiling, std::size_t dumpBytes) {
        return runInChild([&] {
            mmioSetMaximumFileSizeForTesting(ceiling);
            convert(PcmSettings{2, 44100, 16}, name, testsupport::randomBytes(dumpBytes, 3));
        });
    };
    // Exactly up to the ceiling fits.
    const ChildResult fits = underCeiling(kHeaderBytes + 2 * kChunkBytes, 2 * kChunkBytes);
    EXPECT_EQ(fits.standardOutput, "");
    EXPECT_EQ(fits.exitStatus, 0);
    EXPECT_EQ(testsupport::readFile(name).size(), kHeaderBytes + 2 * kChunkBytes);

    // One byte more fails while writing the chunks ...
    const ChildResult tooMany = underCeiling(kHeaderBytes + 2 * kChunkBytes, 2 * kChunkBytes + 2);
    EXPECT_EQ(tooMany.standardOutput, "Error writing to <" + name + ">, code <264>\n\n");
    EXPECT_EQ(tooMany.exitStatus, 8);

    // ... and an odd size whose pad byte would pass the ceiling fails when finished.
    const ChildResult noRoomForPad = underCeiling(kHeaderBytes + kChunkBytes + 1, kChunkBytes + 1);
    EXPECT_EQ(noRoomForPad.standardOutput, "Error writing to <" + name + ">, code <264>\n\n");
    EXPECT_EQ(noRoomForPad.exitStatus, 8);
}

// A dump whose size is known and whose RIFF file would pass the ceiling (lowered here)
// gives an RF64 file, which may grow past it; one byte less still gives the RIFF file.
TEST(WavSampleWriter, KnownDumpPastTheRiffLimitGivesAnRf64File)
{
    TempDir dir;
    const std::string name = dir.file("big.wav");
    constexpr std::uint64_t kCeiling = kHeaderBytes + 2 * kChunkBytes;
    auto convertKnown = [&](const Bytes& dump) {
        return runInChild([&] {
            mmioSetMaximumFileSizeForTesting(kCeiling);
            WavSampleWriter writer(PcmSettings{2, 48000, 24}, name, dump.size());
            writeDump(writer, dump);
        });
    };
    const Bytes fits = testsupport::randomBytes(2 * kChunkBytes, 4);
    const ChildResult riff = convertKnown(fits);
    EXPECT_EQ(riff.exitStatus, 0);
    EXPECT_EQ(testsupport::readFile(name),
              testsupport::expectedPcmWave({2, 48000, 24, 6, 288000}, 2048, testsupport::reversedSamples(fits, 3)));

    const Bytes dump = testsupport::randomBytes(2 * kChunkBytes + 1, 5);
    const ChildResult rf64 = convertKnown(dump);
    EXPECT_EQ(rf64.standardOutput, "");
    EXPECT_EQ(rf64.exitStatus, 0);
    // RIFF size 92 + 12289 + 1 - 8 = 12374, data size 12289, 2048 frames.
    const Bytes header = {'R', 'F', '6', '4', 0xFF, 0xFF, 0xFF, 0xFF, 'W', 'A', 'V', 'E', 'd', 's', '6', '4',
                          28, 0, 0, 0, 0x56, 0x30, 0, 0, 0, 0, 0, 0, 0x01, 0x30, 0, 0,
                          0, 0, 0, 0, 0x00, 0x08, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                          'f', 'm', 't', ' ', 16, 0, 0, 0, 1, 0, 2, 0, 0x80, 0xBB, 0, 0,
                          0x00, 0x65, 0x04, 0, 6, 0, 24, 0, 'f', 'a', 'c', 't', 4, 0, 0, 0,
                          0xFF, 0xFF, 0xFF, 0xFF, 'd', 'a', 't', 'a', 0xFF, 0xFF, 0xFF, 0xFF};
    Bytes expected = header;
    const Bytes samples = testsupport::reversedSamples(dump, 3);
    expected.insert(expected.end(), samples.begin(), samples.end());
    expected.push_back(0);
    EXPECT_EQ(testsupport::readFile(name), expected);

    // Our reader takes RIFF forms only.
    HMMIO handle = nullptr;
    WAVEFORMATEX* format = nullptr;
    MMCKINFO form{};
    EXPECT_EQ(wav_open(name.c_str(), &handle, &format, &form), WAV_ERR_BAD_FORMAT);
}

}  // namespace
