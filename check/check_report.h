#pragma once
// What pcmwrap-check prints for a file, as text or as one JSON object, and the status.

#include <string>

#include "check/wave_check.h"

// "FILE: ok", or "FILE: 2 errors, 1 warning" and one indented line per finding:
// "  error: MD5 differs (byte 600760)". No trailing newline.
std::string textReport(const FileCheck& check);
// One line of JSON: file, result, findings (severity, message, offset) and, when the file
// has them, bext, info and md5.
std::string jsonReport(const FileCheck& check);

inline constexpr int kCheckOk = 0;
inline constexpr int kCheckUnreadable = 1;
inline constexpr int kCheckErrors = 2;
inline constexpr int kCheckBadOption = 64;
// 0 no errors, 1 could not be read, 2 errors.
int checkStatus(const FileCheck& check);
