// pcmwrap-check run as a program: a table of damaged files, one fault each, the files
// that sox, ffmpeg and pcmwrap write, the JSON report and the exit statuses.

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "tests/support/file_bytes.h"
#include "tests/support/process.h"
#include "tests/support/program_run.h"
#include "tests/support/temp_dir.h"

namespace {

using testsupport::Bytes;
using testsupport::ProcessResult;
using testsupport::TempDir;

ProcessResult runCheck(const TempDir& dir, const std::vector<std::string>& arguments)
{
    testsupport::ProcessOptions options;
    options.workingDirectory = dir.path().string();
    return testsupport::runProcess(PCMWRAP_CHECK_PROGRAM, arguments, options);
}

// The converter's file of 01 02 03 04 05 06 with a bext chunk (its CodingHistory 43
// bytes, the chunk 645 and a pad byte), an INFO tag and an MD5 chunk: bext data at 20, fmt at 666, fact at 690, LIST at
// 702, data at 728 (samples at 736), MD5 at 742 (digest at 750); 766 bytes.
Bytes archivalFile(const TempDir& dir)
{
    testsupport::writeFile(dir.file("take.raw"), {0x01, 0x02, 0x03, 0x04, 0x05, 0x06});
    const ProcessResult made = testsupport::runPcmwrapIn(
        dir, {"--bext", "--origination-date=2024-03-05", "--origination-time=10:00:00", "--info=INAM=Take", "--md5", "take.raw"});
    EXPECT_EQ(made.exitStatus, 0);
    Bytes file = testsupport::readFile(dir.file("take.wav"));
    EXPECT_EQ(file.size(), 766u);
    return file;
}

void put32(Bytes& file, std::size_t offset, std::uint32_t value)
{
    Bytes field;
    testsupport::appendLittleEndian32(field, value);
    std::copy(field.begin(), field.end(), file.begin() + static_cast<std::ptrdiff_t>(offset));
}

void put16(Bytes& file, std::size_t offset, std::uint16_t value)
{
    file[offset] = static_cast<std::uint8_t>(value);
    file[offset + 1] = static_cast<std::uint8_t>(value >> 8);
}

void putText(Bytes& file, std::size_t offset, const std::string& text)
{
    std::copy(text.begin(), text.end(), file.begin() + static_cast<std::ptrdiff_t>(offset));
}

struct Damage {
    std::string name;
    std::function<void(Bytes&)> damage;
    std::string finding;  // one line of the report
    int status;
};

class DamagedFile : public ::testing::TestWithParam<Damage> {};

TEST_P(DamagedFile, IsReportedWithTheOffsetOfTheFault)
{
    TempDir dir;
    Bytes file = archivalFile(dir);
    GetParam().damage(file);
    testsupport::writeFile(dir.file("damaged.wav"), file);
    const ProcessResult result = runCheck(dir, {"damaged.wav"});
    EXPECT_NE(result.standardOutput.find("\n  " + GetParam().finding + "\n"), std::string::npos) << result.standardOutput;
    EXPECT_EQ(result.exitStatus, GetParam().status);
    EXPECT_EQ(result.standardError, "");
}

INSTANTIATE_TEST_SUITE_P(
    OneFaultEach, DamagedFile,
    ::testing::Values(
        Damage{"FormSizePastTheEnd", [](Bytes& f) { put32(f, 4, 760); },
               "error: form size 760 passes the end of the file (766 bytes) (byte 4)", 2},
        Damage{"BytesAfterTheForm", [](Bytes& f) { f.insert(f.end(), {0, 0}); }, "warning: 2 bytes after the form's end (byte 766)", 0},
        Damage{"ChunkPastTheEnd", [](Bytes& f) { put32(f, 746, 100); },
               "error: MD5 chunk of 100 bytes passes the end of the file (byte 742)", 2},
        Damage{"OddChunkWithoutPad", [](Bytes& f) { testsupport::appendText(f, "junk"); testsupport::appendLittleEndian32(f, 1); f.push_back(7); put32(f, 4, 767); },
               "error: junk chunk of odd size has no pad byte (byte 775)", 2},
        Damage{"NoFmt", [](Bytes& f) { putText(f, 666, "fmX "); }, "error: no fmt chunk (byte 12)", 2},
        Damage{"BlockAlign", [](Bytes& f) { put16(f, 686, 6); put32(f, 682, 264600); },
               "error: block align 6 is not channels x container bytes (3) (byte 686)", 2},
        Damage{"ByteRate", [](Bytes& f) { put32(f, 682, 44100); }, "error: byte rate 44100 is not rate x block align (132300) (byte 682)", 2},
        Damage{"BitsThatDoNotExist", [](Bytes& f) { put16(f, 688, 0); }, "error: 0 bits per sample do not exist for this format (byte 688)", 2},
        Damage{"FormatTagZero", [](Bytes& f) { put16(f, 674, 0); }, "error: format tag 0 names no format (byte 674)", 2},
        Damage{"FactCount", [](Bytes& f) { put32(f, 698, 5); }, "warning: fact counts 5 frames, data holds 2 (byte 698)", 0},
        Damage{"BextNotPrintable", [](Bytes& f) { f[20] = 0x07; }, "error: bext Description is not printable ASCII (byte 20)", 2},
        Damage{"BextNotNulPadded", [](Bytes& f) { f[20 + 270] = 'x'; }, "error: bext Originator is not padded with NUL bytes (byte 290)", 2},
        Damage{"BextDate", [](Bytes& f) { putText(f, 20 + 320, "2024-02-30"); },
               "error: bext OriginationDate <2024-02-30>: no such date (byte 340)", 2},
        Damage{"BextTime", [](Bytes& f) { putText(f, 20 + 330, "10:61:00"); },
               "error: bext OriginationTime <10:61:00>: no such time (byte 350)", 2},
        Damage{"BextVersion", [](Bytes& f) { put16(f, 20 + 346, 3); }, "error: bext version 3 is not 0, 1 or 2 (byte 366)", 2},
        Damage{"CodingHistoryLine", [](Bytes& f) { f[663] = ' '; f[664] = ' '; },
               "error: bext CodingHistory: a line that does not end in CR LF (byte 622)", 2},
        Damage{"InfoNotTerminated", [](Bytes& f) { f[726] = 'x'; }, "warning: LIST INFO tag INAM is not NUL-terminated (byte 722)", 0},
        Damage{"InfoPastItsChunk", [](Bytes& f) { put32(f, 718, 40); }, "error: LIST INFO tag INAM runs past its chunk (byte 714)", 2},
        Damage{"Md5Differs", [](Bytes& f) { f[737] ^= 1; }, "error: MD5 differs (byte 750)", 2},
        Damage{"Md5Size", [](Bytes& f) { put32(f, 746, 14); f.resize(764); put32(f, 4, 756); },
               "error: MD5 chunk of 14 bytes, not 16 (byte 742)", 2}),
    [](const auto& info) { return info.param.name; });

TEST(CheckProgram, NotAWaveFileIsAnError)
{
    TempDir dir;
    Bytes file = archivalFile(dir);
    putText(file, 8, "AVI ");
    testsupport::writeFile(dir.file("x.wav"), file);
    const ProcessResult result = runCheck(dir, {"x.wav"});
    EXPECT_EQ(result.standardOutput, "x.wav: 1 error, 0 warnings\n  error: not a WAVE file: the form is <RIFF> of type <AVI > (byte 0)\n");
    EXPECT_EQ(result.exitStatus, 2);
}

// A cut dump leaves a partial last frame: a warning, not an error.
TEST(CheckProgram, APartialLastFrameIsAWarning)
{
    TempDir dir;
    testsupport::writeFile(dir.file("cut.raw"), {1, 2, 3, 4, 5, 6, 7});
    ASSERT_EQ(testsupport::runPcmwrapIn(dir, {"cut.raw"}).exitStatus, 0);
    const ProcessResult result = runCheck(dir, {"cut.wav"});
    EXPECT_EQ(result.standardOutput, "cut.wav: 0 errors, 1 warning\n  warning: data ends inside a frame: 1 bytes after the last whole one (byte 62)\n");
    EXPECT_EQ(result.exitStatus, 0);
}

TEST(CheckProgram, PeersFilesAndOursAreOk)
{
    TempDir dir;
    testsupport::ProcessOptions inDir;
    inDir.workingDirectory = dir.path().string();
    ASSERT_EQ(testsupport::runProcess(PCMWRAP_SOX, {"-n", "-r", "48000", "-c", "2", "-b", "24", "sox.wav", "synth", "0.5", "sine", "440"}, inDir).exitStatus, 0);
    ASSERT_EQ(testsupport::runProcess(PCMWRAP_FFMPEG, {"-v", "error", "-f", "lavfi", "-i", "sine=f=440:d=0.5", "-ac", "2", "-c:a", "pcm_s16le", "ffmpeg.wav"}, inDir).exitStatus, 0);
    ASSERT_EQ(testsupport::runProcess(PCMWRAP_FFMPEG, {"-v", "error", "-f", "lavfi", "-i", "sine=f=440:d=0.5", "-c:a", "pcm_s24le", "-write_bext", "1", "-metadata", "description=x", "ffbext.wav"}, inDir).exitStatus, 0);
    // libsndfile through its C interface (no Python binding is installed): 16-bit stereo PCM.
    const ProcessResult sndfile = testsupport::runPython(
        "import ctypes, math, sys\n"
        "lib = ctypes.CDLL('libsndfile.so.1')\n"
        "class Info(ctypes.Structure):\n"
        "    _fields_ = [('frames', ctypes.c_int64), ('samplerate', ctypes.c_int), ('channels', ctypes.c_int),\n"
        "                ('format', ctypes.c_int), ('sections', ctypes.c_int), ('seekable', ctypes.c_int)]\n"
        "lib.sf_open.restype = ctypes.c_void_p\n"
        "lib.sf_open.argtypes = [ctypes.c_char_p, ctypes.c_int, ctypes.POINTER(Info)]\n"
        "lib.sf_write_short.argtypes = [ctypes.c_void_p, ctypes.POINTER(ctypes.c_short), ctypes.c_int64]\n"
        "lib.sf_close.argtypes = [ctypes.c_void_p]\n"
        "info = Info(0, 48000, 2, 0x010002, 0, 0)\n"
        "handle = lib.sf_open(sys.argv[1].encode(), 0x20, ctypes.byref(info))\n"
        "samples = (ctypes.c_short * 4800)(*[int(8000 * math.sin(i / 10)) for i in range(4800)])\n"
        "assert handle and lib.sf_write_short(handle, samples, 4800) == 4800\n"
        "lib.sf_close(handle)\n",
        {dir.file("sndfile.wav")});
    ASSERT_EQ(sndfile.exitStatus, 0) << sndfile.standardError;
    testsupport::writeFile(dir.file("plain.raw"), testsupport::randomBytes(6000, 3));
    ASSERT_EQ(testsupport::runPcmwrapIn(dir, {"-b16", "-c2", "plain.raw"}).exitStatus, 0);
    archivalFile(dir);
    const ProcessResult result = runCheck(dir, {"sox.wav", "ffmpeg.wav", "ffbext.wav", "sndfile.wav", "plain.wav", "take.wav"});
    EXPECT_EQ(result.standardOutput,
              "sox.wav: ok\nffmpeg.wav: ok\nffbext.wav: ok\nsndfile.wav: ok\nplain.wav: ok\ntake.wav: ok\n");
    EXPECT_EQ(result.exitStatus, 0);
}

TEST(CheckProgram, JsonGivesTheFindingsAndTheMetadata)
{
    TempDir dir;
    Bytes file = archivalFile(dir);
    file[737] ^= 1;
    testsupport::writeFile(dir.file("take.wav"), file);
    const ProcessResult result = runCheck(dir, {"--json", "take.wav", "missing.wav"});
    EXPECT_EQ(result.exitStatus, 2);  // errors win over a file that could not be read
    const ProcessResult parsed = testsupport::runPython(
        "import json, sys\n"
        "a, b = [json.loads(line) for line in sys.argv[1].splitlines()]\n"
        "print(a['file'], a['result'], a['findings'], a['bext']['origination_date'], a['bext']['version'],\n"
        "      a['bext']['loudness_value'], a['info'], a['md5'])\n"
        "print(b['file'], b['result'], b['findings'])\n",
        {result.standardOutput});
    EXPECT_EQ(parsed.standardOutput,
              "take.wav errors [{'message': 'MD5 differs', 'offset': 750, 'severity': 'error'}] 2024-03-05 2 32767 "
              "[{'id': 'INAM', 'text': 'Take'}] b99557a5208e64eeb685f380dc7b183a\n"
              "missing.wav unreadable [{'message': 'No such file or directory', 'offset': 0, 'severity': 'error'}]\n")
        << parsed.standardError;
}

TEST(CheckProgram, StatusesAndTheBadOption)
{
    TempDir dir;
    const ProcessResult missing = runCheck(dir, {"missing.wav"});
    EXPECT_EQ(missing.standardOutput, "missing.wav: cannot be read: No such file or directory\n");
    EXPECT_EQ(missing.exitStatus, 1);
    const ProcessResult bad = runCheck(dir, {"-x", "a.wav"});
    EXPECT_EQ(bad.standardOutput.substr(0, bad.standardOutput.find('\n') + 1), "Unknown option <-x>\n");
    EXPECT_EQ(bad.exitStatus, 64);
}

}  // namespace
