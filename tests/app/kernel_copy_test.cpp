// Samples already in the file's form are copied from a regular dump inside the kernel
// (splice through a pipe), through read and write where the kernel refuses; either way
// the file is the same, a failed read is a stream failure and a failed write is settled.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>

#include "tests/support/fifo_writer.h"
#include "tests/support/file_bytes.h"
#include "tests/support/program_run.h"

namespace {

using namespace testsupport;

// 3 MiB and an odd tail: several steps of the plain copy's 256 KiB pieces.
const Bytes kDump = randomBytes((3 << 20) + 5, 71);

ProcessOptions preloading(const TempDir& dir, const std::string& libraries, std::vector<std::string> more = {})
{
    ProcessOptions options;
    options.workingDirectory = dir.path().string();
    options.extraEnvironment = {"LD_PRELOAD=" + libraries,
                                // The preloaded libraries come before the sanitizer runtime of the test build.
                                "ASAN_OPTIONS=verify_asan_link_order=0:detect_leaks=1"};
    options.extraEnvironment.insert(options.extraEnvironment.end(), more.begin(), more.end());
    return options;
}

Bytes dataOf(const Bytes& file)
{
    return Bytes(file.begin() + 56, file.begin() + 56 + littleEndian32At(file, 52));
}

// Refused from the start, or only by the file once the bytes have left the dump for the
// copy's pipe: they must reach the file all the same.
TEST(KernelCopy, WhereTheKernelRefusesTheBytesGoThroughReadAndWrite)
{
    for (const char* refused : {"everywhere", "into-file"}) {
        SCOPED_TRACE(refused);
        const TempDir dir;
        writeFile(dir.file("take.raw"), kDump);
        const ProcessResult result =
            runPcmwrap({"-fs16", "-l", "-c2", "take.raw"},
                       preloading(dir, PCMWRAP_REFUSING_SPLICE_LIBRARY, {std::string("PCMWRAP_REFUSE_SPLICE=") + refused}));
        expectCleanExit(result, 0);
        const Bytes file = readFile(dir.file("take.wav"));
        EXPECT_EQ(file.size(), 56u + kDump.size() + 1);  // and the pad byte
        EXPECT_EQ(dataOf(file), kDump);
        EXPECT_EQ(littleEndian32At(file, 44), kDump.size() / 4);
    }
}

// Standard output as the file: the samples go out with the stream's writes, not as a
// file's, and come out whole behind the stream's header.
TEST(KernelCopy, ARegularDumpCopiedToStandardOutput)
{
    const TempDir dir;
    writeFile(dir.file("take.raw"), kDump);
    const ProcessResult result = runPcmwrapIn(dir, {"-fu8", "-o-", "take.raw"});
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(result.standardError, "bits: <8>, rate: <44100>, channels: <1>, encoding: <unsigned>\ntake.raw ->  -\n");
    const Bytes stream(result.standardOutput.begin(), result.standardOutput.end());
    ASSERT_EQ(stream.size(), 56u + kDump.size() + 1);
    EXPECT_EQ(dataOf(stream), kDump);
}

TEST(KernelCopy, AFailedReadIsAStreamFailureAndTheFileIsFinished)
{
    const TempDir dir;
    writeFile(dir.file("take.raw"), kDump);
    writeFile(dir.file("next.raw"), randomBytes(100, 72));
    const ProcessResult result = runPcmwrap(
        {"-fu8", "take.raw", "next.raw"},
        preloading(dir, std::string(PCMWRAP_REFUSING_SPLICE_LIBRARY) + ":" + PCMWRAP_FAILING_READ_LIBRARY,
                   {"PCMWRAP_FAIL_READ_PATH=" + std::filesystem::canonical(dir.file("take.raw")).string(),
                    "PCMWRAP_FAIL_READ_AFTER=1048576"}));
    expectCleanExit(result, 1);
    EXPECT_EQ(result.standardOutput, "bits: <8>, rate: <44100>, channels: <1>, encoding: <unsigned>\n"
                                     "take.raw ->  take.wav\n"
                                     "failed: basic_filebuf::underflow error reading the file: Input/output error\n");
    const Bytes data = dataOf(readFile(dir.file("take.wav")));
    EXPECT_GE(data.size(), 3u << 18);  // the pieces read before the failing one
    EXPECT_EQ(data, Bytes(kDump.begin(), kDump.begin() + static_cast<std::ptrdiff_t>(data.size())));
    EXPECT_FALSE(fileExists(dir.file("next.wav")));
}

// A file size limit stops the kernel's copy: the write failure is reported and the file
// settled over the bytes that reached the disk.
TEST(KernelCopy, AFailedWriteIsReportedAndTheFileSettled)
{
    const TempDir dir;
    writeFile(dir.file("take.raw"), kDump);
    const ProcessResult result = runPcmwrapIn(dir, {"-ff32", "-l", "take.raw"}, 1000000);
    expectCleanExit(result, 6);
    EXPECT_EQ(result.standardOutput, "bits: <32>, rate: <44100>, channels: <1>, encoding: <float>, byte order: "
                                     "<little>\ntake.raw ->  take.wav\nError writing to <take.wav>, code <262>\n\n");
    const Bytes file = readFile(dir.file("take.wav"));
    ASSERT_LE(file.size(), 1000000u);
    const std::size_t header = 58;  // the float fmt chunk is 18 bytes
    const std::uint32_t dataBytes = littleEndian32At(file, header - 4);
    EXPECT_EQ(dataBytes, file.size() - header);
    EXPECT_EQ(Bytes(file.begin() + header, file.end()), Bytes(kDump.begin(), kDump.begin() + dataBytes));
}

// A FIFO cannot be copied by the kernel: its bytes go through the process, as they are,
// across the file buffer's boundaries (3-byte samples do not divide 256 KiB).
TEST(KernelCopy, AStreamIsCopiedThroughTheProcess)
{
    const TempDir dir;
    ASSERT_EQ(mkfifo(dir.file("take.raw").c_str(), 0600), 0);
    ProcessOptions options;
    options.workingDirectory = dir.path().string();
    ChildProcess child(PCMWRAP_PROGRAM, {"-fs24", "-l", "-c3", "take.raw"}, options);
    const int fifo = openFifoForWriting(dir.file("take.raw"));
    ASSERT_GE(fifo, 0);
    EXPECT_EQ(write(fifo, kDump.data(), kDump.size()), static_cast<ssize_t>(kDump.size()));
    close(fifo);
    expectCleanExit(child.wait(std::chrono::seconds(30)), 0);
    const Bytes file = readFile(dir.file("take.wav"));
    EXPECT_EQ(dataOf(file), kDump);
    EXPECT_EQ(littleEndian32At(file, 44), kDump.size() / 9);
}

}  // namespace
