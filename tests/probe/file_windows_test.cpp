// A large file is read in a bounded number of bytes, in windows spread over its length
// that start at a multiple of every frame size; a small one whole.

#include <gtest/gtest.h>

#include <filesystem>

#include "probe/file_windows.h"
#include "probe/sample_layouts.h"
#include "tests/support/file_bytes.h"
#include "tests/support/temp_dir.h"

namespace {

using pcmwrap::probe::FileWindows;

TEST(FileWindows, ReadsASmallFileWhole)
{
    const testsupport::TempDir dir;
    testsupport::writeFile(dir.file("small.raw"), testsupport::randomBytes(100001, 3));
    const FileWindows file(dir.file("small.raw"));
    ASSERT_EQ(file.windows().size(), 1u);
    EXPECT_EQ(file.windows()[0].size(), 100001u);
}

TEST(FileWindows, ReadsABoundedSampleOfALargeFileSpreadOverIt)
{
    const testsupport::TempDir dir;
    const std::uint64_t size = 3ull << 30;  // sparse: no disk space taken
    testsupport::writeFile(dir.file("large.raw"), {1});
    std::filesystem::resize_file(dir.file("large.raw"), size);
    const FileWindows file(dir.file("large.raw"));
    ASSERT_EQ(file.error(), "");
    EXPECT_EQ(file.fileSize(), size);
    const auto windows = file.windows();
    ASSERT_EQ(windows.size(), pcmwrap::probe::kWindowCount);
    std::uint64_t total = 0;
    for (const auto& window : windows) {
        total += window.size();
        EXPECT_EQ(window.size() % pcmwrap::probe::kFrameAlignment, 0u);
    }
    EXPECT_LE(total, pcmwrap::probe::kReadBudget);
    EXPECT_GT(total, pcmwrap::probe::kReadBudget * 9 / 10);
    // The first window holds the file's first byte, the last ends within a frame alignment
    // of its end, and the others are spread evenly between.
    EXPECT_EQ(std::to_integer<int>(windows.front()[0]), 1);
    const auto& offsets = file.offsets();
    EXPECT_EQ(offsets.front(), 0u);
    EXPECT_GT(offsets.back() + windows.back().size() + pcmwrap::probe::kFrameAlignment, size);
    for (std::size_t i = 0; i < offsets.size(); ++i) {
        EXPECT_EQ(offsets[i] % pcmwrap::probe::kFrameAlignment, 0u);
        EXPECT_NEAR(static_cast<double>(offsets[i]), static_cast<double>(offsets.back()) * i / (offsets.size() - 1),
                    pcmwrap::probe::kFrameAlignment);
    }
}

}  // namespace
