// pcmwrap-play on 64-bit float samples: each is rounded to 16 bits from its own value,
// never from the float it would first be narrowed to.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <string>

#include "tests/support/alsa_capture.h"
#include "tests/support/file_bytes.h"
#include "tests/support/process.h"
#include "tests/support/program_run.h"
#include "tests/support/temp_dir.h"
#include "tests/support/wave_files.h"

namespace {

using testsupport::Bytes;

// Samples just below a half step (x * 32768 = m + 0.4996 with 16384 <= |m| < 32000, as
// -19321.5004): rounded from double they give m; as float they become m + 0.5 exactly
// and round up to m + 1.
TEST(PlayerFloat64, EachSampleIsRoundedFromItsOwnValue)
{
    const testsupport::TempDir dir;
    const testsupport::AlsaCapture capture;
    std::mt19937 random(64);
    std::uniform_int_distribution<int> magnitude(16384, 31999);
    Bytes samples;
    Bytes expected;
    for (int i = 0; i < 2 * 5000; ++i) {
        const int m = (i % 2 == 0 ? 1 : -1) * magnitude(random);
        const double x = (m + 0.4996) / 32768;
        unsigned char raw[8];
        std::memcpy(raw, &x, sizeof raw);
        samples.insert(samples.end(), raw, raw + sizeof raw);
        testsupport::appendLittleEndian16(expected, static_cast<std::uint16_t>(m));
    }
    WAVEFORMATEX format = testsupport::pcmWaveFormat(2, 44100, 64);
    format.wFormatTag = 3;  // IEEE float
    const std::string file = dir.file("f64.wav");
    testsupport::writeFile(file, testsupport::riffFile({{"fmt ", testsupport::formatChunkData(format)},
                                                        {"data", samples}}));
    testsupport::ProcessOptions options;
    options.extraEnvironment = capture.environment();
    const testsupport::ProcessResult result = testsupport::runPcmwrapPlay({file}, options);
    testsupport::expectCleanExit(result, 0);
    EXPECT_TRUE(capture.captured() == expected);
}

}  // namespace
