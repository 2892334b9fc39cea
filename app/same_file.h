#pragma once
// Whether two names lead to one file, however they are spelled: through symbolic or hard
// links, or other paths to it. Used to keep an input from being overwritten by its output.

#include <string>

// False when either name does not lead to an existing file.
bool isSameFile(const std::string& first, const std::string& second);
