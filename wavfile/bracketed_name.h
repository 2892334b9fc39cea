#pragma once
// Internal: a file's name as WavReader's and WavWriter's messages show it, "<x.wav>".

#include <filesystem>
#include <string>

namespace pcmwrap {

inline std::string bracketedName(const std::filesystem::path& path)
{
    // Appended piece by piece: g++ 12 warns falsely (-Wrestrict) about "<" + string.
    std::string name(1, '<');
    name += path.string();
    name += '>';
    return name;
}

}  // namespace pcmwrap
