#pragma once
// The options that name the dumps' sample format and layout: -f<format>, -s<bytes> and
// -m<mask>, their values and what the settings line says of them.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "formats/sample_format.h"

// -f's value: a name of the table of sample formats, or nothing.
std::optional<pcmwrap::SampleFormat> sampleFormatValue(std::string_view text);
// The refusal of a value of -f that names no format, without the usage text.
std::string sampleFormatRefusal(std::string_view argument);

// -s's value: a whole decimal number from 0 to the largest file size (2^63 - 1), or nothing.
std::optional<std::uint64_t> byteCountValue(std::string_view text);
std::string byteCountRefusal(std::string_view argument);

// -m's value: decimal, or hexadecimal after 0x, from 0 to 0xFFFFFFFF; or nothing.
std::optional<std::uint32_t> channelMaskValue(std::string_view text);
std::string channelMaskRefusal(std::string_view argument);
// A mask other than 0 must name one speaker per channel: the refusal when it does not.
std::optional<std::string> maskChannelsRefusal(std::string_view argument, std::uint32_t mask, std::int32_t channels);

// The settings line from "bits: " on. -b without -f (format empty) shows the bits as
// given; -f shows its format's width, then ", encoding: <unsigned>" or "<float>" after
// the channels (nothing for signed), ", container: <32>" for s24in32, and the byte order.
std::string settingsLine(std::optional<pcmwrap::SampleFormat> format, std::int32_t bits, std::int32_t rate,
                         std::int32_t channels, bool littleEndian);
