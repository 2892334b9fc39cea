#pragma once
// The probe's per-sample loops are built twice, for AVX2 and for any x86-64, and the
// loader picks one: twice the lanes for the same sums. Neither build fuses a multiply and
// an add, and every sum keeps its order, so both give the same numbers to the last bit.

#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
#define PCMWRAP_VECTOR_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define PCMWRAP_VECTOR_CLONES
#endif
