#include "formats/sample_format.h"

namespace pcmwrap {

std::optional<SampleFormat> sampleFormatNamed(std::string_view name)
{
    for (const SampleFormatInfo& info : kSampleFormats) {
        if (info.name == name) {
            return info.format;
        }
    }
    return std::nullopt;
}

std::optional<SampleFormat> sampleFormatOf(int bits, int dumpBytes, SampleKind kind)
{
    for (const SampleFormatInfo& info : kSampleFormats) {
        if (info.bits == bits && info.dumpBytes == dumpBytes && info.kind == kind) {
            return info.format;
        }
    }
    return std::nullopt;
}

std::string sampleFormatNameList()
{
    std::string list;
    for (const SampleFormatInfo& info : kSampleFormats) {
        list += list.empty() ? "" : ", ";
        list += info.name;
    }
    return list;
}

}  // namespace pcmwrap
