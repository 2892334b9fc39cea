#pragma once
// Reads a bounded sample of a file: all of a file up to the budget, else windows spread
// evenly over its length, each starting at a multiple of every frame size.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

namespace pcmwrap::probe {

// At most 4 MiB, a quarter of the 16 MiB a probe may read: scoring the 72 readings of
// 16 MiB took about a second on a 2-core machine, of 4 MiB a quarter of one.
inline constexpr std::uint64_t kReadBudget = 4u << 20;
inline constexpr std::size_t kWindowCount = 64;

class FileWindows {
public:
    // Reads the windows; on failure error() says why and nothing is held.
    explicit FileWindows(const std::filesystem::path& path, std::uint64_t budget = kReadBudget);
    // Reads standard input from where it stands: up to the budget of a stream, windows of a
    // file. A terminal is refused (error() says so), not waited on.
    static FileWindows standardInput(std::uint64_t budget = kReadBudget);

    const std::string& error() const { return error_; }
    std::uint64_t fileSize() const { return fileSize_; }
    // False for a stream that filled the budget: fileSize() is then what was read.
    bool sizeKnown() const { return sizeKnown_; }
    std::vector<std::span<const std::byte>> windows() const;
    // Where each window starts in the file.
    const std::vector<std::uint64_t>& offsets() const { return offsets_; }

private:
    FileWindows() = default;
    void read(int fd, std::uint64_t budget);

    std::vector<std::vector<std::byte>> windows_;
    std::vector<std::uint64_t> offsets_;
    std::uint64_t fileSize_ = 0;
    bool sizeKnown_ = true;
    std::string error_;
};

}  // namespace pcmwrap::probe
