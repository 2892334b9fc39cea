// WavWriter on a descriptor: a pipe written once (exact sizes when the frame count is
// announced, the streamed sizes when not), its chunks before the data, its refusals, and a
// writer and a reader meeting through a FIFO; sox and our reader take what it writes.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/file_bytes.h"
#include "tests/support/process.h"
#include "tests/support/temp_dir.h"
#include "wavfile/wav_file.h"

using namespace testsupport;
using pcmwrap::WavError;
using pcmwrap::WavFormat;
using pcmwrap::WavReader;
using pcmwrap::WavWriter;

namespace {

const WavFormat kStereo16{2, 8000, 16};

std::vector<std::int16_t> ramp(std::size_t samples)
{
    std::vector<std::int16_t> values(samples);
    for (std::size_t i = 0; i < samples; ++i) {
        values[i] = static_cast<std::int16_t>(i * 37);
    }
    return values;
}

// Everything written to a pipe, collected by a thread while the writer writes.
struct PipeCollector {
    int writeEnd = -1;
    Bytes bytes;
    std::thread reader;
    PipeCollector()
    {
        int ends[2];
        EXPECT_EQ(pipe(ends), 0);
        writeEnd = ends[1];
        reader = std::thread([this, end = ends[0]] {
            unsigned char piece[65536];
            ssize_t got = 0;
            while ((got = read(end, piece, sizeof piece)) > 0) {
                bytes.insert(bytes.end(), piece, piece + got);
            }
            close(end);
        });
    }
    Bytes collect()
    {
        close(writeEnd);
        reader.join();
        return bytes;
    }
};

TEST(WavWriterStreams, AnAnnouncedCountGivesExactSizesAndChunksBeforeTheData)
{
    const auto samples = ramp(2 * 5001);
    PipeCollector pipe;
    {
        WavWriter writer(pipe.writeEnd, kStereo16, 5001);
        const std::vector<std::byte> note(3, std::byte{'n'});
        writer.addChunk("note", note);
        writer.writeFrames(samples);
        EXPECT_THROW(writer.addChunk("late", note), std::logic_error);
        writer.finish();
    }
    const Bytes stream = pipe.collect();
    ASSERT_GT(stream.size(), 12u);
    EXPECT_EQ(littleEndian32At(stream, 4), stream.size() - 8);
    TempDir dir;
    writeFile(dir.file("s.wav"), stream);
    WavReader reader(dir.file("s.wav"));
    EXPECT_EQ(reader.frameCount(), 5001u);
    ASSERT_EQ(reader.chunks().size(), 3u);
    EXPECT_EQ(reader.chunks()[1].id, "note");
    std::vector<std::int16_t> back(samples.size());
    EXPECT_EQ(reader.readFrames(back), 5001u);
    EXPECT_EQ(back, samples);
    // sox reads it as a file of its length.
    const ProcessResult sox = runProcess(PCMWRAP_SOX, {"--i", "-s", dir.file("s.wav")});
    EXPECT_EQ(sox.standardOutput, "5001\n");
}

TEST(WavWriterStreams, AnUnknownCountGivesTheStreamedSizesAndAWrongCountFails)
{
    const auto samples = ramp(2 * 300);
    PipeCollector pipe;
    {
        WavWriter writer(pipe.writeEnd, kStereo16);
        writer.writeFrames(samples);
        writer.finish();
    }
    const Bytes stream = pipe.collect();
    EXPECT_EQ(littleEndian32At(stream, 4), 0xFFFFFFFFu);
    EXPECT_EQ(littleEndian32At(stream, stream.size() - 4 * 300 - 4), 0xFFFFFFFFu);  // the data size
    const auto image = std::as_bytes(std::span(stream));
    WavReader reader(image);
    std::vector<std::int16_t> back(samples.size());
    EXPECT_EQ(reader.readFrames(back), 300u);
    EXPECT_EQ(back, samples);

    PipeCollector other;
    WavWriter writer(other.writeEnd, kStereo16, 301);
    writer.writeFrames(samples);
    EXPECT_THROW(writer.finish(), WavError);
    other.collect();
}

TEST(WavWriterStreams, AWriterAndAReaderMeetThroughAFifo)
{
    TempDir dir;
    ASSERT_EQ(mkfifo(dir.file("f.wav").c_str(), 0600), 0);
    const auto samples = ramp(2 * 100000);
    std::thread writing([&] {
        const int end = open(dir.file("f.wav").c_str(), O_WRONLY | O_CLOEXEC);
        WavWriter writer(end, kStereo16);
        close(end);
        writer.writeFrames(samples);
        writer.finish();
    });
    WavReader reader(dir.file("f.wav"));
    EXPECT_FALSE(reader.frameCountKnown());
    std::vector<std::int16_t> back(samples.size() + 2);
    std::size_t frames = 0;
    while (const std::size_t got = reader.readFrames(std::span(back).subspan(frames * 2, back.size() - frames * 2))) {
        frames += got;
    }
    writing.join();
    EXPECT_EQ(frames, 100000u);
    back.resize(samples.size());
    EXPECT_EQ(back, samples);
}

}  // namespace
