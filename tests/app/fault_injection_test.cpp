// The converter against faults around its files that the other program tests leave
// out: an output directory it may not write to, an input it may not read, and for
// every fault, an input that stays exactly as it was.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <optional>
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
using testsupport::expectCleanExit;
using testsupport::runPcmwrapIn;
namespace fs = std::filesystem;

const std::string kDefaultSettings = "bits: <24>, rate: <44100>, channels: <1>\n";
const char* const kSetpriv = "/usr/bin/setpriv";
const std::vector<std::string> kAsNobody = {"--reuid=65534", "--regid=65534", "--clear-groups", "--"};

// Root may write into any directory and read any file, so a permission fault needs an
// ordinary user: as root the program runs as nobody (through setpriv), otherwise as
// ourselves. Empty when that is possible, else why not.
std::string whyPermissionsCannotBeTested()
{
    if (geteuid() != 0) {
        return "";
    }
    if (access(kSetpriv, X_OK) != 0) {
        return "running as root, which ignores permissions, and setpriv is not there to run the program as nobody";
    }
    std::vector<std::string> probe = kAsNobody;
    probe.insert(probe.end(), {"/bin/sh", "-c", "test -x \"$0\"", PCMWRAP_PROGRAM});
    if (testsupport::runProcess(kSetpriv, probe).exitStatus != 0) {
        return "running as root, and nobody cannot run the built program (setpriv refused or the build "
               "directory is closed to other users)";
    }
    return "";
}

ProcessResult runUnprivileged(const TempDir& dir, const std::vector<std::string>& arguments)
{
    testsupport::ProcessOptions options;
    options.workingDirectory = dir.path().string();
    if (geteuid() != 0) {
        return testsupport::runPcmwrap(arguments, options);
    }
    std::vector<std::string> all = kAsNobody;
    all.push_back(PCMWRAP_PROGRAM);
    all.insert(all.end(), arguments.begin(), arguments.end());
    return testsupport::runProcess(kSetpriv, all, options);
}

// What a run could change about an input: its bytes, its permissions, its time of change.
struct FileState {
    Bytes bytes;
    mode_t mode = 0;
    timespec modified{};

    static FileState of(const std::string& name)
    {
        FileState state;
        state.bytes = testsupport::readFile(name);
        struct stat status {};
        EXPECT_EQ(stat(name.c_str(), &status), 0);
        state.mode = status.st_mode;
        state.modified = status.st_mtim;
        return state;
    }
};

void expectUntouched(const std::string& name, const FileState& before)
{
    // Root reads the file whatever its permissions, so a file made unreadable is checked too.
    const FileState after = FileState::of(name);
    EXPECT_EQ(after.bytes, before.bytes) << name;
    EXPECT_EQ(after.mode, before.mode) << name;
    EXPECT_EQ(after.modified.tv_sec, before.modified.tv_sec) << name;
    EXPECT_EQ(after.modified.tv_nsec, before.modified.tv_nsec) << name;
}

// Other users must reach into the test's directory.
void openToOthers(const TempDir& dir, fs::perms extra)
{
    fs::permissions(dir.path(), fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                    fs::perms::others_read | fs::perms::others_exec | extra);
}

}  // namespace

TEST(FaultInjection, OutputDirectoryWithoutWritePermission)
{
    if (const std::string why = whyPermissionsCannotBeTested(); !why.empty()) {
        GTEST_SKIP() << why;
    }
    TempDir dir;
    openToOthers(dir, fs::perms::none);
    fs::create_directory(dir.path() / "locked");
    const std::string input = dir.file("locked/take.raw");
    testsupport::writeFile(input, testsupport::randomBytes(6000, 21));
    fs::permissions(input, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                               fs::perms::others_read);
    fs::permissions(dir.path() / "locked", fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                                               fs::perms::group_exec | fs::perms::others_read |
                                               fs::perms::others_exec);
    const FileState before = FileState::of(input);

    const ProcessResult result = runUnprivileged(dir, {"locked/take.raw"});
    EXPECT_EQ(result.standardOutput,
              kDefaultSettings + "locked/take.raw ->  locked/take.wav\nError creating <locked/take.wav>, code <57604>\n\n");
    expectCleanExit(result, 4);
    EXPECT_FALSE(testsupport::fileExists(dir.file("locked/take.wav")));
    expectUntouched(input, before);
}

TEST(FaultInjection, UnreadableInputIsReportedAndTheNextOneConverted)
{
    if (const std::string why = whyPermissionsCannotBeTested(); !why.empty()) {
        GTEST_SKIP() << why;
    }
    TempDir dir;
    openToOthers(dir, fs::perms::others_write);
    const std::string secret = dir.file("secret.raw");
    testsupport::writeFile(secret, testsupport::randomBytes(6000, 22));
    fs::permissions(secret, fs::perms::none);
    testsupport::writeFile(dir.file("next.raw"), testsupport::randomBytes(30, 23));
    fs::permissions(dir.file("next.raw"), fs::perms::owner_read | fs::perms::owner_write | fs::perms::others_read);
    const FileState before = FileState::of(secret);

    const ProcessResult result = runUnprivileged(dir, {"secret.raw", "next.raw"});
    EXPECT_EQ(result.standardOutput, kDefaultSettings +
                                         "secret.raw ->  secret.wav\nError opening <secret.raw>\n"
                                         "next.raw ->  next.wav\n");
    expectCleanExit(result, 1);
    EXPECT_FALSE(testsupport::fileExists(dir.file("secret.wav")));
    EXPECT_TRUE(testsupport::fileExists(dir.file("next.wav")));
    expectUntouched(secret, before);
}

TEST(FaultInjection, NoFailureOfTheOutputTouchesTheInput)
{
    TempDir dir;
    const std::string input = dir.file("take.raw");
    testsupport::writeFile(input, testsupport::randomBytes(600000, 24));
    const FileState before = FileState::of(input);

    // A file size limit reached in the middle of the dump.
    ProcessResult result = runPcmwrapIn(dir, {"take.raw"}, 100000);
    EXPECT_EQ(result.standardOutput, kDefaultSettings + "take.raw ->  take.wav\nError writing to <take.wav>, code <262>\n\n");
    expectCleanExit(result, 6);
    expectUntouched(input, before);
    fs::remove(dir.path() / "take.wav");

    // A directory where the output would be created.
    fs::create_directory(dir.path() / "take.wav");
    result = runPcmwrapIn(dir, {"take.raw"});
    EXPECT_EQ(result.standardOutput, kDefaultSettings + "take.raw ->  take.wav\nError creating <take.wav>: not a regular file\n\n");
    expectCleanExit(result, 1);
    expectUntouched(input, before);
}
