// The precision of the synthesisers' sines and of their sums. The phases run in double precision
// in every build; the desktop takes their sines in double precision too, the small build
// (RYX_SMALL_STORAGE: a Cortex-M4F, with single precision in hardware and double in software) in
// single precision, which keeps its samples within 1e-6 of the desktop's (2 ulp of sinf over
// 2 pi; a 16-bit DAC's step is 3.1e-5).
#pragma once

namespace RYX {

#if defined(RYX_SMALL_STORAGE)
using SineFloat = float;
#else
using SineFloat = double;
#endif

}  // namespace RYX
