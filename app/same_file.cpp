#include "app/same_file.h"

#include <sys/stat.h>

std::optional<FileIdentity> fileIdentity(const std::string& name)
{
    // stat follows symbolic links.
    struct stat status {};
    if (stat(name.c_str(), &status) != 0) {
        return std::nullopt;
    }
    return FileIdentity{status.st_dev, status.st_ino};
}

bool isSameFile(const std::string& first, const std::string& second)
{
    const auto firstIdentity = fileIdentity(first);
    return firstIdentity && firstIdentity == fileIdentity(second);
}
