#pragma once
// A number as the player's messages show it, "<44100>".

#include <string>

inline std::string bracketed(long long value)
{
    // Appended piece by piece: g++ 12 warns falsely (-Wrestrict) about "<" + string.
    std::string text(1, '<');
    text += std::to_string(value);
    text += '>';
    return text;
}
