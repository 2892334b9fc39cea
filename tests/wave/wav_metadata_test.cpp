// WavReader's and WavWriter's broadcast metadata: a bext chunk, INFO tags and an MD5
// chunk written by one and read back by the other, the MD5 verified against the data
// (and failing on one changed byte), and the values the writer refuses.

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "tests/support/file_bytes.h"
#include "tests/support/temp_dir.h"
#include "wavfile/wav_file.h"

namespace {

using pcmwrap::BroadcastExtension;
using pcmwrap::InfoTag;
using pcmwrap::WavFormat;
using pcmwrap::WavReader;
using pcmwrap::WavWriter;

WavFormat stereo24()
{
    WavFormat format;
    format.channels = 2;
    format.sampleRate = 48000;
    format.bitsPerSample = 24;
    return format;
}

BroadcastExtension sampleBext()
{
    BroadcastExtension bext;
    bext.description = "Reel 7, take 3";
    bext.originator = "Archive";
    bext.originatorReference = "USID-0001";
    bext.originationDate = "2024-02-29";
    bext.originationTime = "23:59:59";
    bext.timeReference = 0x123456789AULL;
    bext.umid[0] = 0x06;
    bext.umid[63] = 0xFF;
    bext.loudnessValue = -2300;
    bext.maxTruePeakLevel = -100;
    bext.codingHistory = "A=ANALOGUE,M=stereo\r\nA=PCM,F=48000,W=24,M=stereo\r\n";
    return bext;
}

TEST(WavMetadata, WriterAndReaderAgreeOnBextInfoAndMd5)
{
    testsupport::TempDir dir;
    const std::vector<InfoTag> tags = {{"IARL", "US-DLC"}, {"ICRD", "2024-02-29"}, {"INAM", "Odd"}};
    {
        WavWriter writer(dir.file("take.wav"), stereo24());
        writer.setBroadcastExtension(sampleBext());
        writer.setInfoTags(tags);
        writer.addMd5Chunk();
        std::vector<std::int32_t> frames(2 * 1001);
        for (std::size_t i = 0; i < frames.size(); ++i) {
            frames[i] = static_cast<std::int32_t>(i * 2654435761u);
        }
        writer.writeFrames(frames);
        writer.finish();
    }
    WavReader reader(dir.file("take.wav"));
    EXPECT_EQ(reader.broadcastExtension(), sampleBext());
    EXPECT_EQ(reader.infoTags(), tags);
    ASSERT_TRUE(reader.storedMd5().has_value());
    EXPECT_TRUE(reader.verifyMd5());

    // One changed sample byte: the stored MD5 no longer matches.
    testsupport::Bytes file = testsupport::readFile(dir.file("take.wav"));
    const auto data = std::find_if(reader.chunks().begin(), reader.chunks().end(), [](const auto& c) { return c.id == "data"; });
    file[static_cast<std::size_t>(data->offset) + 100] ^= 0x01;
    testsupport::writeFile(dir.file("changed.wav"), file);
    WavReader changed(dir.file("changed.wav"));
    EXPECT_FALSE(changed.verifyMd5());
}

TEST(WavMetadata, AFileWithoutThemHasNone)
{
    testsupport::TempDir dir;
    {
        WavWriter writer(dir.file("plain.wav"), stereo24());
        writer.writeFrames(std::vector<std::int16_t>(4));
    }
    WavReader reader(dir.file("plain.wav"));
    EXPECT_FALSE(reader.broadcastExtension().has_value());
    EXPECT_TRUE(reader.infoTags().empty());
    EXPECT_FALSE(reader.storedMd5().has_value());
    EXPECT_THROW(reader.verifyMd5(), pcmwrap::WavError);
}

TEST(WavMetadata, TheWriterRefusesWhatTheChunksCannotHoldAndLateMetadata)
{
    testsupport::TempDir dir;
    WavWriter writer(dir.file("take.wav"), stereo24());
    BroadcastExtension tooLong;
    tooLong.originator = std::string(33, 'x');
    EXPECT_THROW(writer.setBroadcastExtension(tooLong), std::invalid_argument);
    BroadcastExtension noSuchDate;
    noSuchDate.originationDate = "2023-02-29";
    EXPECT_THROW(writer.setBroadcastExtension(noSuchDate), std::invalid_argument);
    const std::vector<InfoTag> lowerCase = {{"iarl", "x"}};
    EXPECT_THROW(writer.setInfoTags(lowerCase), std::invalid_argument);
    writer.writeFrames(std::vector<std::int16_t>(2));
    EXPECT_THROW(writer.setBroadcastExtension(BroadcastExtension{}), std::logic_error);
    EXPECT_THROW(writer.addMd5Chunk(), std::logic_error);
}

}  // namespace
