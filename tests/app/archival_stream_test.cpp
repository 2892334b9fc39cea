// The archival chunks where they meet streams and the new sample formats: a stream of
// known length is the file the same options give; one of unknown length keeps its bext
// and INFO but can carry no MD5 chunk; the loudness needs a file; and a dump stopped on
// a foreign word keeps an MD5 of exactly what its data holds.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/expected_wave.h"
#include "tests/support/file_bytes.h"
#include "tests/support/process.h"
#include "tests/support/temp_dir.h"

namespace {

using testsupport::Bytes;
using testsupport::ProcessResult;
using testsupport::TempDir;

const std::string kStereo16 = "bits: <16>, rate: <44100>, channels: <2>\n";
const std::vector<std::string> kArchival = {"--description=Tape 7", "--info=IARL=US-DLC", "--md5"};

ProcessResult shell(const TempDir& dir, const std::string& command)
{
    testsupport::ProcessOptions options;
    options.workingDirectory = dir.path().string();
    options.extraEnvironment = {std::string("P=") + PCMWRAP_PROGRAM, "TZ=UTC"};
    return testsupport::runProcess("/bin/sh", {"-c", command}, options);
}

std::string joined(const std::vector<std::string>& words)
{
    std::string line;
    for (const std::string& word : words) {
        line += "'" + word + "' ";
    }
    return line;
}

// The ids of the top-level chunks of a RIFF form, in order, walking the sizes as given.
std::vector<std::string> chunkIds(const Bytes& file)
{
    std::vector<std::string> ids;
    for (std::size_t at = 12; at + 8 <= file.size();) {
        ids.emplace_back(file.begin() + static_cast<std::ptrdiff_t>(at), file.begin() + static_cast<std::ptrdiff_t>(at) + 4);
        const std::uint32_t size = testsupport::littleEndian32At(file, at + 4);
        if (size == 0xFFFFFFFFu) {
            break;  // streamed data: the rest of the stream
        }
        at += 8 + size + size % 2;
    }
    return ids;
}

TEST(ArchivalStream, AStreamOfKnownLengthIsTheFileTheSameOptionsGive)
{
    TempDir dir;
    testsupport::writeFile(dir.file("take.raw"), testsupport::randomBytes(20001, 81));
    const std::string options = "-b16 -c2 " + joined(kArchival);
    ASSERT_EQ(shell(dir, "$P " + options + "take.raw > /dev/null").exitStatus, 0);
    const ProcessResult piped = shell(dir, "$P " + options + "-o- take.raw | cat > piped.wav");
    EXPECT_EQ(piped.standardError, kStereo16 + "take.raw ->  -\n");
    EXPECT_EQ(piped.exitStatus, 0);
    const Bytes file = testsupport::readFile(dir.file("take.wav"));
    EXPECT_EQ(chunkIds(file), (std::vector<std::string>{"bext", "fmt ", "fact", "LIST", "data", "MD5 "}));
    EXPECT_EQ(testsupport::readFile(dir.file("piped.wav")), file);
}

TEST(ArchivalStream, AStreamOfUnknownLengthKeepsBextAndInfoButCarriesNoMd5)
{
    TempDir dir;
    const Bytes dump = testsupport::randomBytes(20000, 82);
    testsupport::writeFile(dir.file("take.raw"), dump);
    const ProcessResult result = shell(dir, "cat take.raw | $P -b16 -c2 " + joined(kArchival) + "-o- - | cat > out.wav");
    EXPECT_EQ(result.standardError,
              kStereo16 + "- ->  -\nNote: <-> gets no MD5 chunk: a stream of unknown length ends with its data\n");
    EXPECT_EQ(result.exitStatus, 0);
    const Bytes out = testsupport::readFile(dir.file("out.wav"));
    EXPECT_EQ(chunkIds(out), (std::vector<std::string>{"bext", "fmt ", "fact", "LIST", "data"}));
    ASSERT_GE(out.size(), dump.size());
    // The stream ends with the samples: nothing a reader would take for more of them.
    EXPECT_EQ(Bytes(out.end() - static_cast<std::ptrdiff_t>(dump.size()), out.end()),
              testsupport::reversedSamples(dump, 2));
}

TEST(ArchivalStream, LoudnessOnStandardOutputIsRefusedOnStandardError)
{
    TempDir dir;
    testsupport::writeFile(dir.file("take.raw"), Bytes(64, 0));
    const ProcessResult result = shell(dir, "$P -b16 --loudness -o- take.raw | cat > out.wav");
    EXPECT_EQ(result.standardError, "Bad value in <--loudness>: needs an output that can seek\n\n"
                                    "pcmwrap [-r<rate>] [-b<bits per sample>] [-c<channels>] infile...\n");
    EXPECT_EQ(testsupport::readFile(dir.file("out.wav")), Bytes{});
}

TEST(ArchivalStream, ADumpStoppedOnAForeignWordHashesOnlyTheFramesItKeeps)
{
    TempDir dir;
    // Five channels of 24 bits in 32-bit words, little-endian: 20-byte frames, so frame
    // 307 begins in the first 6144-byte chunk and ends in the second, where its last word
    // has a high byte that is no sign extension. The frame's start was written (and
    // hashed) with the first chunk, then taken out of the file again.
    Bytes dump;
    for (std::uint32_t word = 0; word < 2000; ++word) {
        testsupport::appendLittleEndian32(dump, word == 1539 ? 0x12000001u : (word * 977) & 0x007FFFFFu);
    }
    testsupport::writeFile(dir.file("take.raw"), dump);
    const ProcessResult result = shell(dir, "$P -fs24in32 -l -c5 --md5 take.raw");
    EXPECT_EQ(result.exitStatus, 1);
    const ProcessResult checked = testsupport::runProcess(PCMWRAP_CHECK, {dir.file("take.wav")});
    EXPECT_EQ(checked.standardOutput, dir.file("take.wav") + ": ok\n");
    EXPECT_EQ(checked.exitStatus, 0);
}

}  // namespace
