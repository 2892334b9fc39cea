#pragma once
// Checks one WAVE file (RIFF, RF64 or BW64) without changing it: its structure, its fmt
// chunk, its bext and LIST/INFO chunks, and its "MD5 " chunk against the data. Every
// finding carries the byte offset it is about.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "wavfile/wav_file.h"

enum class Severity { kError, kWarning };

struct CheckFinding {
    Severity severity;
    std::string message;
    std::uint64_t offset;
};

enum class CheckResult { kOk, kWarnings, kErrors, kUnreadable };

struct FileCheck {
    std::string file;
    CheckResult result = CheckResult::kOk;
    std::string unreadableReason;  // for kUnreadable: "No such file or directory", ...
    std::vector<CheckFinding> findings;
    std::optional<pcmwrap::BroadcastExtension> bext;
    std::vector<pcmwrap::InfoTag> info;
    std::optional<pcmwrap::Md5Digest> md5;  // as stored
};

FileCheck checkWaveFile(const std::string& file);
