#pragma once
// JSON string literals for file names and messages.

#include <string>

// The text in double quotes, with quotes, backslashes and control characters escaped.
// Other bytes pass as they are (file names are bytes; most are UTF-8).
std::string jsonString(const std::string& text);
