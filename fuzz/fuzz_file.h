#pragma once
// What every fuzz target shares: the wave layer reaches files only by name, so each
// input is written to a file in a directory of the process's own, and a broken
// expectation stops the run as a crash, which libFuzzer records with its input.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <iterator>
#include <system_error>
#include <vector>

namespace fuzzsupport {

[[noreturn]] inline void fail(const char* condition, const char* file, int line)
{
    std::fprintf(stderr, "%s:%d: expectation failed: %s\n", file, line, condition);
    std::abort();
}

#define FUZZ_CHECK(condition) ((condition) ? static_cast<void>(0) : ::fuzzsupport::fail(#condition, __FILE__, __LINE__))

// A fresh directory under the system's temporary directory, removed when the process
// ends normally. libFuzzer's workers are separate processes, so they never share one.
class ScratchDirectory {
public:
    ScratchDirectory()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "pcmwrap-fuzz-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) {
            std::perror("pcmwrap fuzz: cannot make a scratch directory");
            std::abort();
        }
        path_ = pattern;
    }
    ~ScratchDirectory()
    {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    ScratchDirectory(const ScratchDirectory&) = delete;
    ScratchDirectory& operator=(const ScratchDirectory&) = delete;

    std::string file(const char* name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

inline const ScratchDirectory& scratch()
{
    static const ScratchDirectory directory;
    return directory;
}

// Writes the bytes as the whole content of the named scratch file and returns its path.
inline std::string writeScratchFile(const char* name, const std::uint8_t* data, std::size_t size)
{
    const std::string path = scratch().file(name);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    out.close();
    if (!out) {
        std::fprintf(stderr, "pcmwrap fuzz: cannot write %s\n", path.c_str());
        std::abort();
    }
    return path;
}

inline std::vector<std::uint8_t> readScratchFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace fuzzsupport
