// The converter's archival options, run as a program: the bext, LIST/INFO and MD5 chunks
// against their bytes, the defaults under a fixed TZ, the CSV file, the refusals, the MD5
// against Python's hashlib, the loudness against ffmpeg's, and an RF64 file with all.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <utime.h>

#include <cmath>
#include <string>
#include <vector>

#include "tests/support/expected_wave.h"
#include "tests/support/file_bytes.h"
#include "tests/support/process.h"
#include "tests/support/program_run.h"
#include "tests/support/temp_dir.h"

namespace {

using testsupport::Bytes;
using testsupport::ProcessResult;
using testsupport::TempDir;
using testsupport::expectCleanExit;
using testsupport::runPcmwrapIn;

const std::string kSettings = "bits: <24>, rate: <44100>, channels: <1>\n";
const std::string kUsage = "\npcmwrap [-r<rate>] [-b<bits per sample>] [-c<channels>] infile...\n";
const Bytes kDump = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06};
const Bytes kData = {0x03, 0x02, 0x01, 0x06, 0x05, 0x04};
// 2024-03-05 02:30:00 UTC: still March 4th in New York.
constexpr std::time_t kModified = 1709605800;

void setModified(const std::string& file, std::time_t when)
{
    const utimbuf times{when, when};
    ASSERT_EQ(utime(file.c_str(), &times), 0);
}

ProcessResult runWithTimeZone(const TempDir& dir, const std::vector<std::string>& arguments, const std::string& zone)
{
    testsupport::ProcessOptions options;
    options.workingDirectory = dir.path().string();
    options.extraEnvironment = {"TZ=" + zone};
    return testsupport::runPcmwrap(arguments, options);
}

// A bext chunk's data laid out field by field (EBU Tech 3285 version 2), written here
// independently of the converter's own layout.
struct BextFields {
    std::string description, originator, reference, date, time;
    std::uint64_t timeReference = 0;
    std::string codingHistory;
};

void appendField(Bytes& bytes, const std::string& text, std::size_t width)
{
    Bytes field(width, 0);
    std::copy(text.begin(), text.end(), field.begin());
    bytes.insert(bytes.end(), field.begin(), field.end());
}

Bytes bextData(const BextFields& fields)
{
    Bytes bytes;
    appendField(bytes, fields.description, 256);
    appendField(bytes, fields.originator, 32);
    appendField(bytes, fields.reference, 32);
    appendField(bytes, fields.date, 10);
    appendField(bytes, fields.time, 8);
    testsupport::appendLittleEndian32(bytes, static_cast<std::uint32_t>(fields.timeReference));
    testsupport::appendLittleEndian32(bytes, static_cast<std::uint32_t>(fields.timeReference >> 32));
    testsupport::appendLittleEndian16(bytes, 2);   // version
    bytes.resize(bytes.size() + 64, 0);            // UMID
    for (int i = 0; i < 5; ++i) {
        testsupport::appendLittleEndian16(bytes, 0x7FFF);  // loudness not measured
    }
    bytes.resize(bytes.size() + 180, 0);  // reserved
    testsupport::appendText(bytes, fields.codingHistory);
    return bytes;
}

// The default 24-bit mono file of kDump with side chunks: bext first, LIST after fact.
Bytes expectedFile(const Bytes& bext, const Bytes& list, const Bytes& md5 = {})
{
    Bytes fmt;
    testsupport::appendLittleEndian16(fmt, 1);
    testsupport::appendLittleEndian16(fmt, 1);
    testsupport::appendLittleEndian32(fmt, 44100);
    testsupport::appendLittleEndian32(fmt, 132300);
    testsupport::appendLittleEndian16(fmt, 3);
    testsupport::appendLittleEndian16(fmt, 24);
    Bytes fact;
    testsupport::appendLittleEndian32(fact, 2);
    Bytes form;
    testsupport::appendText(form, "WAVE");
    if (!bext.empty()) {
        testsupport::appendChunk(form, "bext", bext);
    }
    testsupport::appendChunk(form, "fmt ", fmt);
    testsupport::appendChunk(form, "fact", fact);
    if (!list.empty()) {
        testsupport::appendChunk(form, "LIST", list);
    }
    testsupport::appendChunk(form, "data", kData);
    if (!md5.empty()) {
        testsupport::appendChunk(form, "MD5 ", md5);
    }
    Bytes file;
    testsupport::appendChunk(file, "RIFF", form);
    return file;
}

const std::string kGeneratedHistory = "A=PCM,F=44100,W=24,M=mono,T=pcmwrap 1.0.0\r\n";

TEST(ArchivalProgram, EveryBextOptionFillsItsFieldInAChunkBeforeFmt)
{
    TempDir dir;
    testsupport::writeFile(dir.file("take.raw"), kDump);
    const ProcessResult result = runPcmwrapIn(
        dir, {"--description=Tape 12, side A", "--originator=Archive", "--originator-reference=REF-0001",
              "--origination-date=2023-12-31", "--origination-time=23:59:58", "--time-reference=5000000000",
              "--coding-history=A=ANALOGUE,M=stereo,T=Studer A80\nA=PCM,F=44100,W=24", "take.raw"});
    EXPECT_EQ(result.standardOutput, kSettings + "take.raw ->  take.wav\n");
    expectCleanExit(result, 0);
    const Bytes bext = bextData({"Tape 12, side A", "Archive", "REF-0001", "2023-12-31", "23:59:58", 5000000000,
                                 kGeneratedHistory + "A=ANALOGUE,M=stereo,T=Studer A80\r\nA=PCM,F=44100,W=24\r\n"});
    EXPECT_EQ(testsupport::readFile(dir.file("take.wav")), expectedFile(bext, {}));
}

TEST(ArchivalProgram, DefaultsComeFromTheDumpsModificationTimeInLocalTime)
{
    TempDir dir;
    testsupport::writeFile(dir.file("take.raw"), kDump);
    setModified(dir.file("take.raw"), kModified);
    expectCleanExit(runWithTimeZone(dir, {"--bext", "take.raw"}, "America/New_York"), 0);
    EXPECT_EQ(testsupport::readFile(dir.file("take.wav")),
              expectedFile(bextData({"", "", "", "2024-03-04", "21:30:00", 0, kGeneratedHistory}), {}));
    expectCleanExit(runWithTimeZone(dir, {"--bext", "take.raw"}, "UTC"), 0);
    EXPECT_EQ(testsupport::readFile(dir.file("take.wav")),
              expectedFile(bextData({"", "", "", "2024-03-05", "02:30:00", 0, kGeneratedHistory}), {}));
}

TEST(ArchivalProgram, InfoTagsFormAListAfterFactWithoutABext)
{
    TempDir dir;
    testsupport::writeFile(dir.file("take.raw"), kDump);
    // A later tag of the same id replaces the earlier one.
    expectCleanExit(runPcmwrapIn(dir, {"--info=IARL=US-DLC", "--info=ICRD=2024", "--info=IARL=US-NARA", "take.raw"}), 0);
    Bytes list;
    testsupport::appendText(list, "INFO");
    testsupport::appendChunk(list, "IARL", {'U', 'S', '-', 'N', 'A', 'R', 'A', 0});
    testsupport::appendChunk(list, "ICRD", {'2', '0', '2', '4', 0});  // odd size: a pad byte
    EXPECT_EQ(testsupport::readFile(dir.file("take.wav")), expectedFile({}, list));
}

TEST(ArchivalProgram, Md5ChunkAfterTheDataIsHashlibsDigestOfItsBytes)
{
    TempDir dir;
    // 7 bytes at 16 bits: odd data, so the MD5 chunk follows a pad byte it does not hash.
    const Bytes dump = testsupport::randomBytes(600007, 7);
    testsupport::writeFile(dir.file("take.raw"), dump);
    expectCleanExit(runPcmwrapIn(dir, {"-b16", "--md5", "take.raw"}), 0);
    const ProcessResult check = testsupport::runPython(
        "import hashlib, sys\n"
        "d = open(sys.argv[1], 'rb').read()\n"
        "size = int.from_bytes(d[52:56], 'little')\n"
        "end = 56 + size + size % 2\n"
        "assert d[end:end + 8] == b'MD5 ' + (16).to_bytes(4, 'little'), d[end:end + 8]\n"
        "assert len(d) == end + 24 and int.from_bytes(d[4:8], 'little') == len(d) - 8\n"
        "# The digest as a 128-bit little-endian number: its bytes reversed.\n"
        "print(d[end + 8:][::-1].hex() == hashlib.md5(d[56:56 + size]).hexdigest())\n",
        {dir.file("take.wav")});
    EXPECT_EQ(check.standardOutput, "True\n") << check.standardError;
}

TEST(ArchivalProgram, AMetadataFileRowOverridesTheCommandLineForItsInput)
{
    TempDir dir;
    testsupport::writeFile(dir.file("a.raw"), kDump);
    testsupport::writeFile(dir.file("b.raw"), kDump);
    testsupport::writeFile(dir.file("meta.csv"), [] {
        Bytes text;
        testsupport::appendText(text, "file,description,info:IARL,md5\r\nb.raw,\"Side B, \"\"late\"\"\",US-NARA,yes\r\n");
        return text;
    }());
    setModified(dir.file("a.raw"), kModified);
    setModified(dir.file("b.raw"), kModified);
    expectCleanExit(runWithTimeZone(dir, {"--description=Side A", "--info=IARL=US-DLC", "--metadata=meta.csv", "a.raw", "b.raw"},
                                    "UTC"),
                    0);
    Bytes list;
    testsupport::appendText(list, "INFO");
    testsupport::appendChunk(list, "IARL", {'U', 'S', '-', 'D', 'L', 'C', 0});
    EXPECT_EQ(testsupport::readFile(dir.file("a.wav")),
              expectedFile(bextData({"Side A", "", "", "2024-03-05", "02:30:00", 0, kGeneratedHistory}), list));
    Bytes listB;
    testsupport::appendText(listB, "INFO");
    testsupport::appendChunk(listB, "IARL", {'U', 'S', '-', 'N', 'A', 'R', 'A', 0});
    // MD5 of 03 02 01 06 05 04 (b99557a5...7b183a), stored as a little-endian number.
    const Bytes md5 = {0x3a, 0x18, 0x7b, 0xdc, 0x80, 0xf3, 0x85, 0xb6, 0xee, 0x64, 0x8e, 0x20, 0xa5, 0x57, 0x95, 0xb9};
    EXPECT_EQ(testsupport::readFile(dir.file("b.wav")),
              expectedFile(bextData({"Side B, \"late\"", "", "", "2024-03-05", "02:30:00", 0, kGeneratedHistory}), listB,
                           md5));
}

struct Refusal {
    std::vector<std::string> arguments;
    std::string message;
    bool usage;
};

class ArchivalRefusal : public ::testing::TestWithParam<Refusal> {};

TEST_P(ArchivalRefusal, StopsTheRunWithStatus64BeforeAnythingIsConverted)
{
    TempDir dir;
    testsupport::writeFile(dir.file("take.raw"), kDump);
    testsupport::writeFile(dir.file("meta.csv"), [] {
        Bytes text;
        testsupport::appendText(text, "file,origination-date\nother.raw,2024-01-01\n");
        return text;
    }());
    testsupport::writeFile(dir.file("bad.csv"), [] {
        Bytes text;
        testsupport::appendText(text, "file,origination-date\ntake.raw,2024-02-30\n");
        return text;
    }());
    std::vector<std::string> arguments = GetParam().arguments;
    arguments.push_back("take.raw");
    const ProcessResult result = runPcmwrapIn(dir, arguments);
    EXPECT_EQ(result.standardOutput, GetParam().message + "\n" + (GetParam().usage ? kUsage : ""));
    expectCleanExit(result, 64);
    EXPECT_FALSE(testsupport::fileExists(dir.file("take.wav")));
}

INSTANTIATE_TEST_SUITE_P(
    Values, ArchivalRefusal,
    ::testing::Values(
        Refusal{{"--description=" + std::string(257, 'x')},
                "Bad value in <--description=" + std::string(257, 'x') + ">: more than 256 bytes", true},
        Refusal{{"--originator=" + std::string(33, 'o')},
                "Bad value in <--originator=" + std::string(33, 'o') + ">: more than 32 bytes", true},
        Refusal{{"--originator-reference=caf\xc3\xa9"},
                "Bad value in <--originator-reference=caf\xc3\xa9>: not printable ASCII", true},
        Refusal{{"--origination-date=2023-02-29"}, "Bad value in <--origination-date=2023-02-29>: no such date", true},
        Refusal{{"--origination-date=2023-2-28"},
                "Bad value in <--origination-date=2023-2-28>: not a date of the form YYYY-MM-DD", true},
        Refusal{{"--origination-time=24:00:00"}, "Bad value in <--origination-time=24:00:00>: no such time", true},
        Refusal{{"--time-reference=-1"}, "Bad value in <--time-reference=-1>: a whole number of samples is needed", true},
        Refusal{{"--info=iarl=x"}, "Bad value in <--info=iarl=x>: an INFO id is four upper-case letters or digits", true},
        Refusal{{"--info=IAR=x"}, "Bad value in <--info=IAR=x>: an INFO id is four upper-case letters or digits", true},
        Refusal{{"--info=IARL"}, "Bad value in <--info=IARL>: ID=TEXT is needed", true},
        Refusal{{"--description"}, "Bad value in <--description>: a value after = is needed", true},
        Refusal{{"--md5=yes"}, "Bad value in <--md5=yes>: takes no value", true},
        Refusal{{"--metadata=meta.csv"}, "Error reading <meta.csv>: no input named <other.raw>", false},
        Refusal{{"--metadata=none.csv"}, "Error reading <none.csv>: No such file or directory", false},
        Refusal{{"--metadata="}, "Bad value in <--metadata=>: a file name is needed", true},
        Refusal{{"--metadata=bad.csv"}, "Bad value in <bad.csv, row 2, origination-date>: no such date", true}),
    [](const auto& info) { return "case" + std::to_string(info.index); });

TEST(ArchivalProgram, LoudnessIsRefusedForAnOutputThatCannotSeek)
{
    TempDir dir;
    testsupport::writeFile(dir.file("take.raw"), kDump);
    ASSERT_EQ(mkfifo(dir.file("take.wav").c_str(), 0600), 0);
    const ProcessResult result = runPcmwrapIn(dir, {"--loudness", "take.raw"});
    EXPECT_EQ(result.standardOutput, "Bad value in <--loudness>: needs an output that can seek\n" + kUsage);
    expectCleanExit(result, 64);
}

// Each dump is made at test time by sox in its repeatable mode; the values are ffmpeg's
// (-af ebur128=peak=true, its lavfi.r128 metadata, max over the frames of M and S),
// computed once for these very dumps.
struct LoudnessCase {
    std::string name;
    std::vector<std::string> soxArguments;  // after "-R -D -n"
    std::vector<std::string> options;
    double integrated, range, truePeak, momentary, shortTerm;
    double rangeTolerance;
};

class LoudnessAgreement : public ::testing::TestWithParam<LoudnessCase> {};

TEST_P(LoudnessAgreement, BextFieldsAgreeWithFfmpegsEbur128)
{
    const LoudnessCase& c = GetParam();
    TempDir dir;
    std::vector<std::string> sox = {"-R", "-D", "-n"};
    sox.insert(sox.end(), c.soxArguments.begin(), c.soxArguments.end());
    testsupport::ProcessOptions inDir;
    inDir.workingDirectory = dir.path().string();
    ASSERT_EQ(testsupport::runProcess(PCMWRAP_SOX, sox, inDir).exitStatus, 0);
    std::vector<std::string> arguments = c.options;
    arguments.push_back("--loudness");
    arguments.push_back("take.raw");
    expectCleanExit(runPcmwrapIn(dir, arguments), 0);
    const Bytes file = testsupport::readFile(dir.file("take.wav"));
    ASSERT_GT(file.size(), 12u + 8 + 422);
    const auto field = [&](int i) { return static_cast<std::int16_t>(testsupport::littleEndian16At(file, 12 + 8 + 412 + 2 * i)) / 100.0; };
    EXPECT_NEAR(field(0), c.integrated, 0.1);
    EXPECT_NEAR(field(1), c.range, c.rangeTolerance);
    EXPECT_NEAR(field(2), c.truePeak, 1.0);
    EXPECT_NEAR(field(3), c.momentary, 0.1);
    EXPECT_NEAR(field(4), c.shortTerm, 0.1);
}

INSTANTIATE_TEST_SUITE_P(
    Signals, LoudnessAgreement,
    ::testing::Values(
        LoudnessCase{"tone",
                     {"-r", "48000", "-c", "2", "-b", "24", "-e", "signed", "-B", "-t", "raw", "take.raw", "synth", "8",
                      "sine", "1000", "vol", "0.25"},
                     {"-b24", "-c2", "-r48000"},
                     -12.040, 0.000, -12.041, -12.034, -12.034, 0.1},
        // Plucked strings, decaying: a wide loudness range, where libebur128's short-term
        // blocks and ffmpeg's 10 Hz ones part by 0.15 LU.
        LoudnessCase{"music",
                     {"-r", "48000", "-c", "1", "-b", "16", "-e", "signed", "-B", "-t", "raw", "take.raw", "synth", "8",
                      "pluck", "G2", "pluck", "B2", "pluck", "D3", "pluck", "G3", "pluck", "D4", "pluck", "G4", "delay",
                      "0", ".05", ".1", ".15", ".2", ".25", "remix", "-", "fade", "0", "8", ".1", "norm", "-3"},
                     {"-b16", "-c1", "-r48000"},
                     -20.099, 25.970, -2.963, -13.935, -20.421, 0.2},
        // Pink noise opened and closed three times a second, as syllables are.
        LoudnessCase{"speechlike",
                     {"-r", "44100", "-c", "2", "-b", "16", "-e", "signed", "-B", "-t", "raw", "take.raw", "synth", "8",
                      "pinknoise", "tremolo", "3", "100", "vol", "0.5"},
                     {"-b16", "-c2", "-r44100"},
                     -20.887, 0.130, -7.556, -19.726, -20.822, 0.1}),
    [](const auto& info) { return info.param.name; });

// Past the (lowered) RIFF ceiling, with every option: RF64 with ds64 first, then bext,
// fmt, fact, LIST, data and MD5, the loudness written into the bext chunk after ds64.
TEST(ArchivalProgram, AnRf64FileCarriesEveryChunkAfterDs64)
{
    TempDir dir;
    const Bytes dump = testsupport::randomBytes(3 * 6144, 9);
    testsupport::writeFile(dir.file("big.raw"), dump);
    testsupport::ProcessOptions options;
    options.workingDirectory = dir.path().string();
    const ProcessResult result = testsupport::runProcess(
        PCMWRAP_UNDER_CEILING_PROGRAM, {"10000", "--md5", "--loudness", "--info=INAM=Take", "big.raw"}, options);
    expectCleanExit(result, 0);
    const ProcessResult layout = testsupport::runPython(
        "import hashlib, sys\n"
        "d = open(sys.argv[1], 'rb').read()\n"
        "assert d[0:4] == b'RF64' and d[4:8] == b'\\xff\\xff\\xff\\xff' and d[8:16] == b'WAVEds64'\n"
        "assert int.from_bytes(d[20:28], 'little') == len(d) - 8\n"
        "ids, i, data = [], 12, None\n"
        "while i < len(d):\n"
        "    cid, size = d[i:i+4], int.from_bytes(d[i+4:i+8], 'little')\n"
        "    if cid == b'data':\n"
        "        size = int.from_bytes(d[28:36], 'little'); data = d[i+8:i+8+size]\n"
        "    if cid == b'MD5 ': assert d[i+8:i+24][::-1].hex() == hashlib.md5(data).hexdigest()\n"
        "    if cid == b'bext': assert d[i+8+412:i+8+414] != b'\\xff\\x7f'\n"
        "    ids.append(cid.decode()); i += 8 + size + size % 2\n"
        "print(' '.join(ids))\n",
        {dir.file("big.wav")});
    EXPECT_EQ(layout.standardOutput, "ds64 bext fmt  fact LIST data MD5 \n") << layout.standardError;
}

// ffprobe, an independent reader, finds the bext fields and the INFO tags.
TEST(ArchivalProgram, FfprobeShowsTheBextFieldsAndInfoTags)
{
    TempDir dir;
    testsupport::writeFile(dir.file("take.raw"), kDump);
    expectCleanExit(runPcmwrapIn(dir, {"--description=Tape 12", "--originator=Archive", "--origination-date=2024-03-05",
                                       "--info=INAM=Interview", "take.raw"}),
                    0);
    const ProcessResult probe = testsupport::runProcess(
        PCMWRAP_FFPROBE, {"-v", "error", "-show_entries", "format_tags=comment,encoded_by,date,title",
                          "-of", "default=noprint_wrappers=1", dir.file("take.wav")});
    EXPECT_EQ(probe.standardOutput,
              "TAG:comment=Tape 12\nTAG:encoded_by=Archive\nTAG:date=2024-03-05\nTAG:title=Interview\n");
}

// mediainfo, of the family of the archives' metadata editor that defined the MD5 chunk,
// shows the stored digest as md5sum prints the data's: the byte order they share.
TEST(ArchivalProgram, MediainfoShowsTheMd5AsTheDataHashes)
{
    TempDir dir;
    testsupport::writeFile(dir.file("take.raw"), kDump);
    expectCleanExit(runPcmwrapIn(dir, {"--md5", "--description=Tape 12", "take.raw"}), 0);
    const ProcessResult shown =
        testsupport::runProcess(PCMWRAP_MEDIAINFO, {"--Output=Audio;%MD5%", dir.file("take.wav")});
    EXPECT_EQ(shown.standardOutput, "B99557A5208E64EEB685F380DC7B183A\n");  // MD5 of 03 02 01 06 05 04
    const ProcessResult described =
        testsupport::runProcess(PCMWRAP_MEDIAINFO, {"--Output=General;%Description%", dir.file("take.wav")});
    EXPECT_EQ(described.standardOutput, "Tape 12\n");
}

}  // namespace
