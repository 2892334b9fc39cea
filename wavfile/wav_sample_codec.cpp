// The sample conversions of WavReader and WavWriter. Every loop is a plain one over a
// per-sample function, chosen once per call, so the compiler can vectorise it; no
// sample passes through a byte-order test or a switch.

#include "wavfile/wav_sample_codec.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <type_traits>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

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
    // One 4-byte load or store per sample instead of three of a byte: they reach one byte
    // past the sample, so they serve every sample but the last of a run.
    static constexpr bool kWide = true;
    static std::int32_t loadWide(const unsigned char* p)
    {
        std::uint32_t u;
        std::memcpy(&u, p, sizeof u);
        return static_cast<std::int32_t>(u << 8) >> 8;
    }
    static void storeWide(unsigned char* p, std::int32_t v) { std::memcpy(p, &v, sizeof v); }
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
    using Value = F;
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
// gives 0. The product is exact (a power of two) and so are the bounds: in float up to
// 24 bits, in double beyond. This file is built without errno for math functions, so the
// rounding is one instruction, not a library call.
template <int Bits, class F>
std::int32_t floatToInteger(F x)
{
    using Work = std::conditional_t<(Bits <= 24 && std::is_same_v<F, float>), float, double>;
    constexpr Work scale = static_cast<Work>(std::int64_t{1} << (Bits - 1));
    constexpr Work lowest = -scale;
    constexpr Work largest = scale - 1;
    Work s = static_cast<Work>(x) * scale;
    s = s == s ? s : Work{0};
    s = s < lowest ? lowest : s;
    s = s > largest ? largest : s;
    if constexpr (std::is_same_v<Work, float>) {
#if defined(__GNUC__) && !defined(__clang__)
        return __builtin_irintf(s);  // g++ vectorises this one, not lrintf
#else
        return static_cast<std::int32_t>(std::lrintf(s));
#endif
    } else {
        return static_cast<std::int32_t>(std::lrint(s));
    }
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
        } else if constexpr (std::is_same_v<T, double>) {
            return integerToDouble<S::kBits>(v);
        } else if constexpr (std::is_same_v<T, std::int32_t>) {
            return resize<S::kBits, 32>(v);
        } else {
            return static_cast<std::int16_t>(resize<S::kBits, 16>(v));
        }
    } else {
        const auto x = S::load(p);
        if constexpr (std::is_floating_point_v<T>) {
            return static_cast<T>(x);
        } else if constexpr (std::is_same_v<T, std::int32_t>) {
            return floatToInteger<32>(x);
        } else {
            return static_cast<std::int16_t>(floatToInteger<16>(x));
        }
    }
}

template <class S>
concept Wide = S::kWide;

template <class S>
struct WideLoads {
    static std::int32_t load(const unsigned char* p) { return S::loadWide(p); }
    static void store(unsigned char* p, std::int32_t v) { S::storeWide(p, v); }
    static constexpr int kBits = S::kBits;
};

template <class S, class T>
void decodeAll(const unsigned char* raw, std::size_t count, T* out, std::size_t width)
{
    std::size_t i = 0;
    if constexpr (Wide<S>) {
        for (; i + 1 < count; ++i) {
            out[i] = read<WideLoads<S>, T>(raw + i * width);
        }
    }
    for (; i < count; ++i) {
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
        if constexpr (std::is_floating_point_v<T>) {
            S::store(p, floatToInteger<S::kBits>(value));
        } else {
            S::store(p, resize<kCallerBits<T>, S::kBits>(value));
        }
    } else if constexpr (std::is_floating_point_v<T>) {
        S::store(p, static_cast<typename S::Value>(value));  // double to float: rounded once
    } else if constexpr (std::is_same_v<S, Float32>) {
        S::store(p, integerToFloat<kCallerBits<T>>(value));
    } else {
        S::store(p, integerToDouble<kCallerBits<T>>(value));
    }
}

// Float to integer in two passes over a run that stays in the cache: the rounding loop
// has no stores of odd width in it, so it is vectorised.
template <class S>
void encodeFloatRuns(const float* in, std::size_t count, unsigned char* raw, std::size_t width)
{
    constexpr std::size_t kRun = 1024;
    std::int32_t values[kRun];
    for (std::size_t start = 0; start < count; start += kRun) {
        const std::size_t n = std::min(kRun, count - start);
        for (std::size_t j = 0; j < n; ++j) {
            values[j] = floatToInteger<S::kBits>(in[start + j]);
        }
        unsigned char* const to = raw + start * width;
        std::size_t j = 0;
        if constexpr (Wide<S>) {
            for (; j + 1 < n; ++j) {
                S::storeWide(to + j * width, values[j]);
            }
        }
        for (; j < n; ++j) {
            S::store(to + j * width, values[j]);
        }
    }
}

template <class S, class T>
void encodeAll(const T* in, std::size_t count, unsigned char* raw, std::size_t width)
{
    if constexpr (kIsInteger<S> && std::is_same_v<T, float>) {
        return encodeFloatRuns<S>(in, count, raw, width);
    }
    std::size_t i = 0;
    if constexpr (Wide<S>) {
        // Each store's fourth byte is overwritten by the next sample.
        for (; i + 1 < count; ++i) {
            write<WideLoads<S>, T>(raw + i * width, in[i]);
        }
    }
    for (; i < count; ++i) {
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

// ---- 24-bit samples and float, the commonest pair of high-resolution files, four samples
// (12 bytes) at a time with SSSE3 byte shuffles where the processor has them. Each returns
// how many samples it did; the portable loops do the rest, by the same rules.

#if defined(__x86_64__) || defined(__i386__)

bool hasSsse3()
{
    static const bool has = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("ssse3") != 0;
    }();
    return has;
}

// A 16-byte load or store at sample i touches 16 bytes from 3i: it must stay inside the
// count samples' 3 * count bytes.
constexpr std::size_t kSamplesPerStep = 4;
constexpr std::size_t kSamplesReached = 6;

__attribute__((target("ssse3"))) std::size_t decode24ToFloatSsse3(const unsigned char* raw, std::size_t count,
                                                                  float* out)
{
    // Each sample's three bytes become the top three of an int32: v * 256.
    const __m128i spread = _mm_setr_epi8(-1, 0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11);
    const __m128 scale = _mm_set1_ps(1.0f / 2147483648.0f);
    std::size_t i = 0;
    for (; i + kSamplesReached <= count; i += kSamplesPerStep) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(raw + 3 * i));
        const __m128i values = _mm_shuffle_epi8(bytes, spread);
        _mm_storeu_ps(out + i, _mm_mul_ps(_mm_cvtepi32_ps(values), scale));
    }
    return i;
}

__attribute__((target("ssse3"))) std::size_t encodeFloatTo24Ssse3(const float* in, std::size_t count,
                                                                  unsigned char* raw)
{
    // The low three bytes of each int32, packed into the first 12 bytes.
    const __m128i pack = _mm_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
    const __m128 scale = _mm_set1_ps(8388608.0f);
    const __m128 lowest = _mm_set1_ps(-8388608.0f);
    const __m128 largest = _mm_set1_ps(8388607.0f);
    std::size_t i = 0;
    for (; i + kSamplesReached <= count; i += kSamplesPerStep) {
        __m128 s = _mm_mul_ps(_mm_loadu_ps(in + i), scale);
        s = _mm_and_ps(s, _mm_cmpord_ps(s, s));  // NaN gives 0
        s = _mm_min_ps(_mm_max_ps(s, lowest), largest);
        const __m128i values = _mm_cvtps_epi32(s);  // nearest, ties to even, as lrintf
        _mm_storeu_si128(reinterpret_cast<__m128i*>(raw + 3 * i), _mm_shuffle_epi8(values, pack));
    }
    return i;
}

#endif

std::size_t decodeFast(Stored stored, const unsigned char* raw, std::size_t count, float* out)
{
#if defined(__x86_64__) || defined(__i386__)
    if (stored == Stored::kSigned24 && hasSsse3()) {
        return decode24ToFloatSsse3(raw, count, out);
    }
#endif
    static_cast<void>(stored), static_cast<void>(raw), static_cast<void>(count), static_cast<void>(out);
    return 0;
}

std::size_t encodeFast(Stored stored, const float* in, std::size_t count, unsigned char* raw)
{
#if defined(__x86_64__) || defined(__i386__)
    if (stored == Stored::kSigned24 && hasSsse3()) {
        return encodeFloatTo24Ssse3(in, count, raw);
    }
#endif
    static_cast<void>(stored), static_cast<void>(in), static_cast<void>(count), static_cast<void>(raw);
    return 0;
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
    const std::size_t done = decodeFast(stored, raw, count, out);
    decodeAny(stored, raw + done * storedBytes(stored), count - done, out + done);
}
void decode(Stored stored, const unsigned char* raw, std::size_t count, double* out)
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
    const std::size_t done = encodeFast(stored, in, count, raw);
    encodeAny(stored, in + done, count - done, raw + done * storedBytes(stored));
}
void encode(Stored stored, const double* in, std::size_t count, unsigned char* raw)
{
    encodeAny(stored, in, count, raw);
}

}  // namespace pcmwrap::codec
