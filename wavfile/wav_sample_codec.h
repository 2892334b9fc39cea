#pragma once
// Internal (not installed): the sample conversions between what a WAVE file stores and
// the three sample types of WavReader and WavWriter, also used by the player for raw
// dumps once their bytes are little-endian. One loop per pair of types, chosen once per
// call.
//
// Reading: signed N-bit v to float or double is v / 2^(N-1), unsigned 8-bit u is
// (u - 128) / 128, 64-bit float is rounded to 32 for float and exact for double; to
// int32 integers are left-justified; to int16 wider integers are rounded
// (v + 2^(k-1)) >> k with k = N - 16, clipped to 32767; floats are x * 2^(N-1) rounded
// to nearest and clipped, NaN giving 0. Writing narrows and widens by the same rules;
// double is rounded once, straight to what the file stores.

#include <cstddef>
#include <cstdint>

namespace pcmwrap::codec {

// How a file stores one sample.
enum class Stored { kUnsigned8, kSigned16, kSigned24, kSigned32, kFloat32, kFloat64 };

std::size_t storedBytes(Stored stored);

// Decode count samples from raw little-endian bytes.
void decode(Stored stored, const unsigned char* raw, std::size_t count, std::int16_t* out);
void decode(Stored stored, const unsigned char* raw, std::size_t count, std::int32_t* out);
void decode(Stored stored, const unsigned char* raw, std::size_t count, float* out);
void decode(Stored stored, const unsigned char* raw, std::size_t count, double* out);

// Encode count samples into raw little-endian bytes.
void encode(Stored stored, const std::int16_t* in, std::size_t count, unsigned char* raw);
void encode(Stored stored, const std::int32_t* in, std::size_t count, unsigned char* raw);
void encode(Stored stored, const float* in, std::size_t count, unsigned char* raw);
void encode(Stored stored, const double* in, std::size_t count, unsigned char* raw);

}  // namespace pcmwrap::codec
