#pragma once
// The one table of the raw sample formats pcmwrap knows: the converter's -f and -b, the
// player's raw options and the probe's commands all read it, so a format added here is
// known everywhere at once.

#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace pcmwrap {

enum class SampleFormat { kU8, kS8, kS16, kS24, kS32, kS24In32, kF32, kF64 };

enum class SampleKind { kUnsigned, kSigned, kFloat };

struct SampleFormatInfo {
    SampleFormat format;
    std::string_view name;  // as -f names it
    int bits;               // significant bits, as a WAVE file stores them
    int dumpBytes;          // bytes of one sample in a dump
    SampleKind kind;
};

inline constexpr std::array<SampleFormatInfo, 8> kSampleFormats{{
    {SampleFormat::kU8, "u8", 8, 1, SampleKind::kUnsigned},
    {SampleFormat::kS8, "s8", 8, 1, SampleKind::kSigned},
    {SampleFormat::kS16, "s16", 16, 2, SampleKind::kSigned},
    {SampleFormat::kS24, "s24", 24, 3, SampleKind::kSigned},
    {SampleFormat::kS32, "s32", 32, 4, SampleKind::kSigned},
    {SampleFormat::kS24In32, "s24in32", 24, 4, SampleKind::kSigned},
    {SampleFormat::kF32, "f32", 32, 4, SampleKind::kFloat},
    {SampleFormat::kF64, "f64", 64, 8, SampleKind::kFloat},
}};

constexpr const SampleFormatInfo& sampleFormatInfo(SampleFormat format)
{
    for (const SampleFormatInfo& info : kSampleFormats) {
        if (info.format == format) {
            return info;
        }
    }
    return kSampleFormats.front();  // not reached: every enumerator has a row
}

// The format -f names by that word ("f32"), or nothing.
std::optional<SampleFormat> sampleFormatNamed(std::string_view name);

// The format of a sample of that many significant bits, bytes in a dump and kind
// (24, 4, kSigned is s24in32), or nothing.
std::optional<SampleFormat> sampleFormatOf(int bits, int dumpBytes, SampleKind kind);

// "u8, s8, s16, s24, s32, s24in32, f32, f64": every name, in the table's order.
std::string sampleFormatNameList();

}  // namespace pcmwrap
