// The sample conversions of WavReader and WavWriter. Every loop is a plain one over a
// per-sample function, chosen once per call, so the compiler can vectorise it; no
// sample passes through a byte-order test or a switch.

#include "wave/wav_sample_codec.h"

#include <bit>
#include <cstring>
#include <limits>
#include <type_traits>

namespace pcmwrap::codec {

// Float samples are copied as the host stores them: a WAVE file is little-endian, and so
// must the host be. This is the one place that assumes it.
static_assert(std::endian::native == std::endian::little, "WAVE float samples are read as host floats");

namespace {

// ---- One stored sample as an integer of its own width, or a float.

struct Unsigned8 {
    static constexpr int kBits = 8;
    static std::int32_t load(const unsigned char* p) { return std::int32_t{p[0]} - 128; }
    static void store(unsigned char* p, std::int32_t v) { p[0] = static_cast<unsigned char>(v + 128); }
};
struct Signed16 {
    static constexpr int kBits = 16;
    static std::int32_t load(const unsigned char* p)
    {
        return static_cast<std::int16_t>(static_cast<std::uint16_t>(p[0] | (p[1] << 8)));
    }
    static void store(unsigned char* p, std::int32_t v)
    {
        p[0] = static_cast<unsigned char>(v);
        p[1] = static_cast<unsigned char>(v >> 8);
    }
};
struct Signed24 {
    static constexpr int kBits = 24;
    static std::int32_t load(const unsigned char* p)
    {
        const std::uint32_t u = std::uint32_t{p[0]} << 8 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 24;
        return static_cast<std::int32_t>(u) >> 8;  // arithmetic: sign-extends
    }
    static void store(unsigned char* p, std::int32_t v)
    {
        p[0] = static_cast<unsigned char>(v);
        p[1] = static_cast<unsigned char>(v >> 8);
        p[2] = static_cast<unsigned char>(v >> 16);
    }
};
struct Signed32 {
    static constexpr int kBits = 32;
    static std::int32_t load(const unsigned char* p)
    {
        std::int32_t v;
        std::memcpy(&v, p, sizeof v);
        return v;
    }
    static void store(unsigned char* p, std::int32_t v) { std::memcpy(p, &v, sizeof v); }
};
template <class F>
struct Floating {
    static F load(const unsigned char* p)
    {
        F v;
        std::memcpy(&v, p, sizeof v);
        return v;
    }
    static void store(unsigned char* p, F v) { std::memcpy(p, &v, sizeof v); }
};
using Float32 = Floating<float>;
using Float64 = Floating<double>;

template <class S>
constexpr bool kIsInteger = !std::is_same_v<S, Float32> && !std::is_same_v<S, Float64>;

// ---- The rules between an N-bit integer, int16, int32 and float.

// v of `from` bits as an integer of `to` bits: left-justified when widening; when
// narrowing, rounded to nearest with halves up and clipped at the top (only the top can
// overflow: the rounding adds).
template <int From, int To>
std::int32_t resize(std::int32_t v)
{
    if constexpr (From == To) {
        return v;
    } else if constexpr (From < To) {
        return static_cast<std::int32_t>(static_cast<std::uint32_t>(v) << (To - From));
    } else {
        constexpr int k = From - To;
        constexpr std::int64_t largest = (std::int64_t{1} << (To - 1)) - 1;
        const std::int64_t r = (std::int64_t{v} + (std::int64_t{1} << (k - 1))) >> k;
        return static_cast<std::int32_t>(r > largest ? largest : r);
    }
}

// x * 2^(Bits-1) rounded to nearest (ties to even), clipped to the Bits-bit range; NaN
// gives 0. Done in double, where the product is exact and the bounds are representable.
template <int Bits>
std::int32_t floatToInteger(double x)
{
    constexpr double scale = static_cast<double>(std::int64_t{1} << (Bits - 1));
    constexpr double lowest = -scale;
    constexpr double largest = scale - 1;
    // Adding and taking away 1.5 * 2^52 rounds a double below 2^51 to an integer in the
    // current (nearest) rounding mode, without a library call in the loop.
    constexpr double kRounder = 6755399441055744.0;
    double s = x * scale;
    s = s == s ? s : 0.0;
    s = s < lowest ? lowest : s;
    s = s > largest ? largest : s;
    return static_cast<std::int32_t>((s + kRounder) - kRounder);
}

template <int Bits>
float integerToFloat(std::int32_t v)
{
    // A power of two: the product is the exact quotient, rounded once to float.
    constexpr float scale = 1.0f / static_cast<float>(std::int64_t{1} << (Bits - 1));
    return static_cast<float>(v) * scale;
}

template <int Bits>
double integerToDouble(std::int32_t v)
{
    constexpr double scale = 1.0 / static_cast<double>(std::int64_t{1} << (Bits - 1));
    return static_cast<double>(v) * scale;
}

// ---- Reading: a stored sample as each caller type.

template <class S, class T>
T read(const unsigned char* p)
{
    if constexpr (kIsInteger<S>) {
        const std::int32_t v = S::load(p);
        if constexpr (std::is_same_v<T, float>) {
            return integerToFloat<S::kBits>(v);
        } else if constexpr (std::is_same_v<T, std::int32_t>) {
            return resize<S::kBits, 32>(v);
        } else {
            return static_cast<std::int16_t>(resize<S::kBits, 16>(v));
        }
    } else {
        const auto x = S::load(p);
        if constexpr (std::is_same_v<T, float>) {
            return static_cast<float>(x);
        } else if constexpr (std::is_same_v<T, std::int32_t>) {
            return floatToInteger<32>(x);
        } else {
            return static_cast<std::int16_t>(floatToInteger<16>(x));
        }
    }
}

template <class S, class T>
void decodeAll(const unsigned char* raw, std::size_t count, T* out, std::size_t width)
{
    for (std::size_t i = 0; i < count; ++i) {
        out[i] = read<S, T>(raw + i * width);
    }
}

// ---- Writing: each caller type as a stored sample.

template <class T>
constexpr int kCallerBits = std::is_same_v<T, std::int16_t> ? 16 : 32;

template <class S, class T>
void write(unsigned char* p, T value)
{
    if constexpr (kIsInteger<S>) {
        if constexpr (std::is_same_v<T, float>) {
            S::store(p, floatToInteger<S::kBits>(value));
        } else {
            S::store(p, resize<kCallerBits<T>, S::kBits>(value));
        }
    } else if constexpr (std::is_same_v<T, float>) {
        S::store(p, value);
    } else if constexpr (std::is_same_v<S, Float32>) {
        S::store(p, integerToFloat<kCallerBits<T>>(value));
    } else {
        S::store(p, integerToDouble<kCallerBits<T>>(value));
    }
}

template <class S, class T>
void encodeAll(const T* in, std::size_t count, unsigned char* raw, std::size_t width)
{
    for (std::size_t i = 0; i < count; ++i) {
        write<S, T>(raw + i * width, in[i]);
    }
}

template <class T>
void decodeAny(Stored stored, const unsigned char* raw, std::size_t count, T* out)
{
    switch (stored) {
    case Stored::kUnsigned8: return decodeAll<Unsigned8>(raw, count, out, 1);
    case Stored::kSigned16: return decodeAll<Signed16>(raw, count, out, 2);
    case Stored::kSigned24: return decodeAll<Signed24>(raw, count, out, 3);
    case Stored::kSigned32: return decodeAll<Signed32>(raw, count, out, 4);
    case Stored::kFloat32: return decodeAll<Float32>(raw, count, out, 4);
    case Stored::kFloat64: return decodeAll<Float64>(raw, count, out, 8);
    }
}

template <class T>
void encodeAny(Stored stored, const T* in, std::size_t count, unsigned char* raw)
{
    switch (stored) {
    case Stored::kUnsigned8: return encodeAll<Unsigned8>(in, count, raw, 1);
    case Stored::kSigned16: return encodeAll<Signed16>(in, count, raw, 2);
    case Stored::kSigned24: return encodeAll<Signed24>(in, count, raw, 3);
    case Stored::kSigned32: return encodeAll<Signed32>(in, count, raw, 4);
    case Stored::kFloat32: return encodeAll<Float32>(in, count, raw, 4);
    case Stored::kFloat64: return encodeAll<Float64>(in, count, raw, 8);
    }
}

}  // namespace

std::size_t storedBytes(Stored stored)
{
    switch (stored) {
    case Stored::kUnsigned8: return 1;
    case Stored::kSigned16: return 2;
    case Stored::kSigned24: return 3;
    case Stored::kSigned32:
    case Stored::kFloat32: return 4;
    case Stored::kFloat64: return 8;
    }
    return 0;
}

void decode(Stored stored, const unsigned char* raw, std::size_t count, std::int16_t* out)
{
    decodeAny(stored, raw, count, out);
}
void decode(Stored stored, const unsigned char* raw, std::size_t count, std::int32_t* out)
{
    decodeAny(stored, raw, count, out);
}
void decode(Stored stored, const unsigned char* raw, std::size_t count, float* out)
{
    decodeAny(stored, raw, count, out);
}
void encode(Stored stored, const std::int16_t* in, std::size_t count, unsigned char* raw)
{
    encodeAny(stored, in, count, raw);
}
void encode(Stored stored, const std::int32_t* in, std::size_t count, unsigned char* raw)
{
    encodeAny(stored, in, count, raw);
}
void encode(Stored stored, const float* in, std::size_t count, unsigned char* raw)
{
    encodeAny(stored, in, count, raw);
}

}  // namespace pcmwrap::codec
