#include "app/format_options.h"

#include <bit>
#include <limits>

namespace {

// Digits of the given base, nothing else; nothing when there are none or the value passes `largest`.
std::optional<std::uint64_t> unsignedValue(std::string_view text, unsigned base, std::uint64_t largest)
{
    if (text.empty()) {
        return std::nullopt;
    }
    std::uint64_t value = 0;
    for (const char c : text) {
        unsigned digit = 0;
        if (c >= '0' && c <= '9') {
            digit = static_cast<unsigned>(c - '0');
        } else if (base == 16 && c >= 'a' && c <= 'f') {
            digit = static_cast<unsigned>(c - 'a' + 10);
        } else if (base == 16 && c >= 'A' && c <= 'F') {
            digit = static_cast<unsigned>(c - 'A' + 10);
        } else {
            return std::nullopt;
        }
        if (digit >= base || value > (largest - digit) / base) {
            return std::nullopt;
        }
        value = value * base + digit;
    }
    return value;
}

std::string badValue(std::string_view argument, const std::string& need)
{
    return "Bad value in <" + std::string(argument) + ">: " + need;
}

}  // namespace

std::optional<pcmwrap::SampleFormat> sampleFormatValue(std::string_view text)
{
    return pcmwrap::sampleFormatNamed(text);
}

std::string sampleFormatRefusal(std::string_view argument)
{
    return badValue(argument, "a sample format is needed (" + pcmwrap::sampleFormatNameList() + ")");
}

std::optional<std::uint64_t> byteCountValue(std::string_view text)
{
    return unsignedValue(text, 10, static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()));
}

std::string byteCountRefusal(std::string_view argument)
{
    return badValue(argument, "a byte count from 0 to " + std::to_string(std::numeric_limits<std::int64_t>::max()) +
                                  " is needed");
}

std::optional<std::uint32_t> channelMaskValue(std::string_view text)
{
    const bool hex = text.starts_with("0x") || text.starts_with("0X");
    const auto value = unsignedValue(hex ? text.substr(2) : text, hex ? 16 : 10, 0xFFFFFFFFu);
    if (!value) {
        return std::nullopt;
    }
    return static_cast<std::uint32_t>(*value);
}

std::string channelMaskRefusal(std::string_view argument)
{
    return badValue(argument, "a speaker mask is needed (decimal or 0x hex, at most 0xFFFFFFFF)");
}

std::optional<std::string> maskChannelsRefusal(std::string_view argument, std::uint32_t mask, std::int32_t channels)
{
    const int speakers = std::popcount(mask);
    if (mask == 0 || speakers == channels) {
        return std::nullopt;
    }
    return badValue(argument, "the mask names <" + std::to_string(speakers) + "> speakers for <" +
                                  std::to_string(channels) + "> channels");
}

std::string settingsLine(std::optional<pcmwrap::SampleFormat> format, std::int32_t bits, std::int32_t rate,
                         std::int32_t channels, bool littleEndian)
{
    const pcmwrap::SampleFormatInfo* info = format ? &pcmwrap::sampleFormatInfo(*format) : nullptr;
    std::string line = "bits: <" + std::to_string(info != nullptr ? info->bits : bits) + ">, rate: <" +
                       std::to_string(rate) + ">, channels: <" + std::to_string(channels) + ">";
    if (info != nullptr && info->kind == pcmwrap::SampleKind::kUnsigned) {
        line += ", encoding: <unsigned>";
    }
    if (info != nullptr && info->kind == pcmwrap::SampleKind::kFloat) {
        line += ", encoding: <float>";
    }
    if (info != nullptr && info->dumpBytes * 8 != info->bits) {
        line += ", container: <" + std::to_string(info->dumpBytes * 8) + ">";
    }
    if (littleEndian) {
        line += ", byte order: <little>";
    }
    return line;
}
