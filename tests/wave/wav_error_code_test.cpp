// WavError's two codes: code() is the system's error number where a system call failed,
// so std::errc comparisons hold, and waveCode() the wave layer's code in every case.

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#include <functional>
#include <string>
#include <system_error>
#include <vector>

#include "tests/support/file_bytes.h"
#include "tests/support/file_size_limit.h"
#include "tests/support/temp_dir.h"
#include "tests/support/wave_files.h"
#include "wavfile/wav_file.h"
#include "wave/wave.h"

using namespace testsupport;
using pcmwrap::WavError;
using pcmwrap::WavFormat;
using pcmwrap::WavReader;
using pcmwrap::WavWriter;

namespace {

WavFormat stereo16()
{
    WavFormat format;
    format.channels = 2;
    format.sampleRate = 48000;
    format.bitsPerSample = 16;
    return format;
}

// Writes a second of frames under a file size limit of 10000 bytes: the disk refuses.
void writePastAFileSizeLimit(const std::string& path)
{
    const FileSizeLimit limit(10000);
    const std::vector<std::int16_t> second(2 * 48000, 7);
    WavWriter writer(path, stereo16());
    writer.writeFrames(std::span<const std::int16_t>(second));
    writer.finish();
}

TEST(WavErrorCodes, ASystemCallsErrorIsTheCodeAndTheLayersCodeStaysAvailable)
{
    TempDir dir;
    const std::string fifo = dir.file("fifo.wav");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    writeFile(dir.file("aiff.wav"), riffFile({}, "AIFF"));
    const std::error_code none;
    const struct {
        const char* what;
        std::function<void()> fail;
        std::error_code system;  // none: code() is the layer's code
        int wave;
    } cases[] = {
        {"reading a missing file", [&] { WavReader r(dir.file("missing.wav")); }, make_error_code(std::errc::no_such_file_or_directory),
         WAV_ERR_OPEN_FAILED},
        {"reading a directory", [&] { WavReader r(dir.path()); }, make_error_code(std::errc::is_a_directory),
         WAV_ERR_OPEN_FAILED},
        {"creating in a missing folder", [&] { WavWriter w(dir.file("none/x.wav"), stereo16()); },
         make_error_code(std::errc::no_such_file_or_directory), WAV_ERR_WRITE_FAILED},
        {"writing past a file size limit", [&] { writePastAFileSizeLimit(dir.file("limit.wav")); },
         make_error_code(std::errc::file_too_large), WAV_ERR_WRITE_FAILED},
        {"reading no WAVE file", [&] { WavReader r(dir.file("aiff.wav")); }, none, WAV_ERR_BAD_FORMAT},
        {"creating over a FIFO", [&] { WavWriter w(fifo, stereo16()); }, none, WAV_ERR_WRITE_FAILED},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        try {
            c.fail();
            ADD_FAILURE() << "no error";
        } catch (const WavError& e) {
            const std::error_code wave(c.wave, pcmwrap::waveCategory());
            EXPECT_EQ(e.code(), c.system ? c.system : wave);
            EXPECT_EQ(e.waveCode(), wave);
        }
    }
}

}  // namespace
