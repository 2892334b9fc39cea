#pragma once
// Runs the built converter inside a test's folder and checks how it ended.

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/process.h"
#include "tests/support/temp_dir.h"

namespace testsupport {

// The converter with the folder as its working directory, so output names stay inside it.
inline ProcessResult runPcmwrapIn(const TempDir& dir, const std::vector<std::string>& arguments,
                                  std::optional<std::uint64_t> fileSizeLimit = std::nullopt)
{
    ProcessOptions options;
    options.workingDirectory = dir.path().string();
    options.fileSizeLimit = fileSizeLimit;
    return runPcmwrap(arguments, options);
}

// A normal exit with the given status and nothing on standard error.
inline void expectCleanExit(const ProcessResult& result, int status)
{
    EXPECT_EQ(result.signal, 0);
    EXPECT_EQ(result.exitStatus, status);
    EXPECT_EQ(result.standardError, "");
}

}  // namespace testsupport
