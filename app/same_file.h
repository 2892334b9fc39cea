#pragma once
// Whether two names lead to one file, however they are spelled: through symbolic or hard
// links, or other paths to it. Used to keep the inputs and outputs of a run from being
// overwritten by its outputs.

#include <sys/types.h>

#include <optional>
#include <string>

// A file as the system knows it: its device and inode number.
struct FileIdentity {
    dev_t device = 0;
    ino_t inode = 0;
    bool operator==(const FileIdentity&) const = default;
};

// The identity of the file a name leads to (following symbolic links), or nothing when
// it leads to no existing file.
std::optional<FileIdentity> fileIdentity(const std::string& name);

// False when either name does not lead to an existing file.
bool isSameFile(const std::string& first, const std::string& second);
