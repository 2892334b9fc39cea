#pragma once
// Every integer in a RIFF file is little-endian. These helpers read and write such
// fields byte by byte, whatever the host's order, so no record is ever overlaid on file bytes.

#include <cstdint>

inline std::uint16_t readLittleEndian16(const unsigned char* bytes)
{
    return static_cast<std::uint16_t>(bytes[0] | (bytes[1] << 8));
}

inline std::uint32_t readLittleEndian32(const unsigned char* bytes)
{
    return static_cast<std::uint32_t>(bytes[0]) | (static_cast<std::uint32_t>(bytes[1]) << 8) |
           (static_cast<std::uint32_t>(bytes[2]) << 16) | (static_cast<std::uint32_t>(bytes[3]) << 24);
}

inline void writeLittleEndian16(unsigned char* bytes, std::uint16_t value)
{
    bytes[0] = static_cast<unsigned char>(value);
    bytes[1] = static_cast<unsigned char>(value >> 8);
}

inline void writeLittleEndian32(unsigned char* bytes, std::uint32_t value)
{
    bytes[0] = static_cast<unsigned char>(value);
    bytes[1] = static_cast<unsigned char>(value >> 8);
    bytes[2] = static_cast<unsigned char>(value >> 16);
    bytes[3] = static_cast<unsigned char>(value >> 24);
}

inline void writeLittleEndian64(unsigned char* bytes, std::uint64_t value)
{
    writeLittleEndian32(bytes, static_cast<std::uint32_t>(value));
    writeLittleEndian32(bytes + 4, static_cast<std::uint32_t>(value >> 32));
}
