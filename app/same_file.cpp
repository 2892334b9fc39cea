#include "app/same_file.h"

#include <sys/stat.h>

bool isSameFile(const std::string& first, const std::string& second)
{
    // stat follows symbolic links; a file is its device and inode number.
    struct stat firstStatus {};
    struct stat secondStatus {};
    if (stat(first.c_str(), &firstStatus) != 0 || stat(second.c_str(), &secondStatus) != 0) {
        return false;
    }
    return firstStatus.st_dev == secondStatus.st_dev && firstStatus.st_ino == secondStatus.st_ino;
}
