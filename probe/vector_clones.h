#pragma once
// The probe's per-sample loops are built twice, for AVX2 and for any x86-64, and the
// loader picks one: twice the lanes for the same sums. Neither build fuses a multiply and
// an add, and every sum keeps its order, so both give the same numbers to the last bit.

// Not under ThreadSanitizer: the loader runs the picking function before the sanitizer's
// runtime is ready, and its instrumented code crashes there.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__) && !defined(__SANITIZE_THREAD__)
#define PCMWRAP_VECTOR_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define PCMWRAP_VECTOR_CLONES
#endif
