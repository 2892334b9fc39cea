#pragma once
// Whole-file reads and writes, and little builders for byte-exact expected files.

#include <cstdint>
#include <string>
#include <vector>

namespace testsupport {

using Bytes = std::vector<std::uint8_t>;

Bytes readFile(const std::string& name);
void writeFile(const std::string& name, const Bytes& bytes);
bool fileExists(const std::string& name);

// Appends to a byte vector in file order: text as its characters, integers little-endian.
void appendText(Bytes& bytes, const std::string& text);
void appendLittleEndian16(Bytes& bytes, std::uint16_t value);
void appendLittleEndian32(Bytes& bytes, std::uint32_t value);
// A chunk: id, little-endian size, data, and a 0 pad byte when the size is odd.
void appendChunk(Bytes& bytes, const std::string& id, const Bytes& data);

std::uint32_t littleEndian32At(const Bytes& bytes, std::size_t offset);
std::uint16_t littleEndian16At(const Bytes& bytes, std::size_t offset);

// Deterministic pseudo-random bytes, so a failing test fails the same way again.
Bytes randomBytes(std::size_t count, std::uint32_t seed);

}  // namespace testsupport
