// pcmwrap-play's raw sample formats (-f), its help, raw settings on a file that is no
// dump, and the progress line's text.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "play/progress_line.h"
#include "tests/support/alsa_capture.h"
#include "tests/support/file_bytes.h"
#include "tests/support/process.h"
#include "tests/support/program_run.h"
#include "tests/support/temp_dir.h"

namespace {

using testsupport::AlsaCapture;
using testsupport::Bytes;
using testsupport::ProcessResult;
using testsupport::TempDir;

ProcessResult play(const AlsaCapture& capture, const std::vector<std::string>& arguments)
{
    testsupport::ProcessOptions options;
    options.extraEnvironment = capture.environment();
    return testsupport::runPcmwrapPlay(arguments, options);
}

void sox(const std::vector<std::string>& arguments)
{
    const ProcessResult result = testsupport::runProcess(PCMWRAP_SOX, arguments);
    ASSERT_EQ(result.exitStatus, 0) << result.standardError;
}

// 24-bit samples in the low three bytes of 4-byte words, the high byte their sign.
Bytes widenedTo32(const Bytes& packed, bool littleEndian)
{
    Bytes words;
    for (std::size_t i = 0; i + 3 <= packed.size(); i += 3) {
        const std::uint8_t sign = ((littleEndian ? packed[i + 2] : packed[i]) & 0x80) != 0 ? 0xFF : 0x00;
        if (littleEndian) {
            words.insert(words.end(), {packed[i], packed[i + 1], packed[i + 2], sign});
        } else {
            words.insert(words.end(), {sign, packed[i], packed[i + 1], packed[i + 2]});
        }
    }
    return words;
}

// Every -f format, in both byte orders where it has one, mono and stereo: the device
// gets what sox renders from the same dump as 16-bit stereo without dither (24 in 32 as
// the packed 24-bit dump it holds). A -b after -f decides, and an -f after -b.
TEST(PlayerOptions, EverySampleFormatPlaysAsSoxRendersIt)
{
    struct Case {
        std::vector<std::string> options;  // besides -c and -l
        const char* encoding;              // sox's, for the dump and its rendering
        const char* bits;
        bool wordOf24 = false;             // s24in32: the dump is sox's 24-bit one widened
    };
    const Case cases[] = {
        {{"-fu8"}, "unsigned-integer", "8"},   {{"-fs8"}, "signed-integer", "8"},
        {{"-fs16"}, "signed-integer", "16"},   {{"-fs24"}, "signed-integer", "24"},
        {{"-fs32"}, "signed-integer", "32"},   {{"-fs24in32"}, "signed-integer", "24", true},
        {{"-ff32"}, "floating-point", "32"},   {{"-ff64"}, "floating-point", "64"},
        {{"-ff32", "-b16"}, "signed-integer", "16"}, {{"-b16", "-ff64"}, "floating-point", "64"},
    };
    for (const Case& c : cases) {
        for (const bool little : {false, true}) {
            for (const char* channels : {"1", "2"}) {
                SCOPED_TRACE(c.options.front() + (c.options.size() > 1 ? " " + c.options.back() : "") +
                             (little ? " -l" : "") + " -c" + channels);
                const TempDir dir;
                const AlsaCapture capture;
                testsupport::writeFile(dir.file("source.raw"), testsupport::randomBytes(3 * 3 * 3001, 31));
                const std::string dump = dir.file("take.raw");
                const std::string order = little ? "-L" : "-B";
                sox({"-D", "-t", "raw", "-r", "44100", "-e", "signed-integer", "-b", "24", "-c", channels, "-L",
                     dir.file("source.raw"), "-t", "raw", "-e", c.encoding, "-b", c.bits, order, dir.file("sox.raw")});
                sox({"-D", "-t", "raw", "-r", "44100", "-e", c.encoding, "-b", c.bits, "-c", channels, order,
                     dir.file("sox.raw"), "-t", "raw", "-e", "signed-integer", "-b", "16", "-c", "2", "-L",
                     dir.file("expected.raw")});
                const Bytes soxDump = testsupport::readFile(dir.file("sox.raw"));
                testsupport::writeFile(dump, c.wordOf24 ? widenedTo32(soxDump, little) : soxDump);
                std::vector<std::string> arguments = c.options;
                arguments.push_back(std::string("-c") + channels);
                if (little) {
                    arguments.push_back("-l");
                }
                arguments.push_back(dump);
                const ProcessResult result = play(capture, arguments);
                testsupport::expectCleanExit(result, 0);
                EXPECT_TRUE(capture.captured() == testsupport::readFile(dir.file("expected.raw")));
            }
        }
    }
}

TEST(PlayerOptions, HelpListsEveryOptionAndTheStatuses)
{
    for (const char* option : {"-h", "--help", "-?"}) {
        SCOPED_TRACE(option);
        const ProcessResult result = testsupport::runPcmwrapPlay({"-b16", option, "take.raw"});
        testsupport::expectCleanExit(result, 0);
        for (const char* line :
             {"pcmwrap-play [-d<device>] [-r<rate>] [-b<bits>] [-f<format>] [-c<channels>] [-l] [-a] file...\n",
              "  -f<format>      raw dumps: the sample format, u8, s8, s16, s24, s32, s24in32, f32, f64\n",
              "  -h, -?, --help  print this text\n", "3 the audio device failed; 64 a bad option; 128 + N"}) {
            EXPECT_NE(result.standardOutput.find(line), std::string::npos) << line;
        }
    }
}

// Raw settings apply to dumps only: a WAVE file plays as itself, saying so on standard
// error, and a file of another sound format is skipped (status 2).
TEST(PlayerOptions, RawSettingsLeaveSoundFilesAlone)
{
    const TempDir dir;
    const AlsaCapture capture;
    testsupport::writeFile(dir.file("source.raw"), testsupport::randomBytes(4 * 3000, 37));
    const std::string wave = dir.file("take.wav");
    sox({"-D", "-t", "raw", "-r", "44100", "-e", "signed-integer", "-b", "16", "-c", "2", "-L", dir.file("source.raw"),
         wave});
    const std::string flac = dir.file("take.flac");
    sox({"-D", wave, flac});
    const ProcessResult result = play(capture, {"-c2", "-b24", wave, flac});
    EXPECT_EQ(result.exitStatus, 2);
    EXPECT_EQ(result.standardError, wave + ": a WAVE file: -r/-b/-c/-l ignored\n");
    EXPECT_EQ(result.standardOutput, "Playing <" + wave + ">\nSkipping <" + flac +
                                         ">: container: FLAC; raw settings apply to dumps only\n");
    EXPECT_TRUE(capture.captured() == testsupport::readFile(dir.file("source.raw")));
}

TEST(PlayerOptions, ProgressTextShowsHoursAndNoLengthWhenUnknown)
{
    EXPECT_EQ(progressText(12, 185), "0:12 / 3:05");
    EXPECT_EQ(progressText(59 * 60 + 59, 3723), "59:59 / 1:02:03");
    EXPECT_EQ(progressText(3723, 36000), "1:02:03 / 10:00:00");
    EXPECT_EQ(progressText(3723, std::nullopt), "1:02:03");
}

}  // namespace
