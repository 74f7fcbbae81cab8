// RYX_WITH_AVX_CLONE before a function that works on eight-float vectors builds it twice on
// x86-64 with GCC, for AVX and for the baseline, and picks the AVX form at load time where the
// processor has it. Such functions never use fused multiply-adds, so both forms round alike and
// every processor gets the same results. Elsewhere (Clang, WebAssembly, ARM) it builds once.
#pragma once

#if defined(__x86_64__) && defined(__ELF__) && defined(__GNUC__) && !defined(__clang__)
#define RYX_WITH_AVX_CLONE __attribute__((target_clones("avx", "default")))
#else
#define RYX_WITH_AVX_CLONE
#endif
