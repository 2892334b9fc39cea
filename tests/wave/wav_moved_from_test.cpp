// A WavReader or WavWriter that was moved from: frameCount(), format() and chunks() are
// empty answers, every other call is std::logic_error, and it is safely destroyed or
// given a new file.

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/file_bytes.h"
#include "tests/support/process.h"
#include "tests/support/temp_dir.h"
#include "tests/support/wave_files.h"
#include "wavfile/wav_file.h"

using namespace testsupport;
using pcmwrap::WavFormat;
using pcmwrap::WavReader;
using pcmwrap::WavWriter;

namespace {

TEST(WavMovedFrom, AMovedFromReaderAnswersEmptyAndRefusesTheRest)
{
    TempDir dir;
    const std::string path = dir.file("in.wav");
    writeFile(path, riffFile({{"fmt ", formatChunkData(pcmWaveFormat(1, 8000, 16))}, {"data", {1, 0, 2, 0}}}));
    WavReader moved(path);
    WavReader reader(std::move(moved));
    EXPECT_EQ(moved.frameCount(), 0u);
    EXPECT_EQ(moved.format().channels, 0);
    EXPECT_TRUE(moved.chunks().empty());
    std::vector<std::int16_t> s16(2);
    std::vector<std::int32_t> s32(2);
    std::vector<float> f32(2);
    std::vector<double> f64(2);
    EXPECT_THROW(moved.readFrames(std::span(s16)), std::logic_error);
    EXPECT_THROW(moved.readFrames(std::span(s32)), std::logic_error);
    EXPECT_THROW(moved.readFrames(std::span(f32)), std::logic_error);
    EXPECT_THROW(moved.readFrames(std::span(f64)), std::logic_error);
    EXPECT_THROW(moved.seekFrame(0), std::logic_error);
    EXPECT_THROW(moved.readChunk(reader.chunks().front()), std::logic_error);
    // The reader it moved to has the file; the moved-from one takes a new one.
    EXPECT_EQ(reader.readFrames(std::span(s16)), 2u);
    moved = WavReader(path);
    EXPECT_EQ(moved.frameCount(), 2u);
}

TEST(WavMovedFrom, AMovedFromWriterAnswersEmptyAndRefusesTheRestAndTheFileIsFinishedOnce)
{
    TempDir dir;
    const std::string path = dir.file("out.wav");
    WavFormat format;
    format.channels = 1;
    format.sampleRate = 8000;
    format.bitsPerSample = 16;
    const std::vector<std::int16_t> s16 = {5};
    const std::vector<std::int32_t> s32 = {5 << 16};
    const std::vector<float> f32 = {0.0f};
    const std::vector<double> f64 = {0.0};
    const std::vector<std::byte> note = {std::byte{1}};
    {
        WavWriter moved(path, format);
        moved.writeFrames(std::span(s16));
        WavWriter writer(std::move(moved));
        EXPECT_EQ(moved.frameCount(), 0u);
        EXPECT_THROW(moved.writeFrames(std::span(s16)), std::logic_error);
        EXPECT_THROW(moved.writeFrames(std::span(s32)), std::logic_error);
        EXPECT_THROW(moved.writeFrames(std::span(f32)), std::logic_error);
        EXPECT_THROW(moved.writeFrames(std::span(f64)), std::logic_error);
        EXPECT_THROW(moved.addChunk("note", note), std::logic_error);
        EXPECT_THROW(moved.finish(), std::logic_error);
        writer.writeFrames(std::span(s32));
        EXPECT_EQ(writer.frameCount(), 2u);
    }  // both destroyed: the file is finished by the one that holds it
    const ProcessResult read = runPython(kPythonWaveReader, {path});
    ASSERT_EQ(read.exitStatus, 0) << read.standardError;
    EXPECT_EQ(read.standardOutput, "1 2 8000 2\n05000500");
}

}  // namespace
