// Forward real DFT of n floats in place, single precision: a split-radix transform whose twiddle
// factors are tabulated once per length on first use and then shared read-only by every caller.
#pragma once

namespace RYX {

// n real samples in (n a power of two, 4 <= n <= 8192), n floats out, in place, unscaled:
//   a[0] = sum a_j (DC), a[1] = sum (-1)^j a_j (Nyquist),
//   a[2k] = sum a_j cos(2 pi j k / n), a[2k+1] = sum a_j sin(2 pi j k / n) for 0 < k < n/2.
// The usual X_k = sum a_j e^(-2 pi i j k / n) is a[2k] - i a[2k+1]. The first call for a length
// allocates that length's tables (about 12 x n bytes); later calls allocate nothing. Any other n,
// or a null a, leaves the array untouched.
void RealFft(int n, float* a);

// RealFft, and the n/2 + 1 bin powers into `power` (null: none) as the transform finishes:
// power[0] = a[0]^2, power[n/2] = a[1]^2, power[k] = a[2k]^2 + a[2k+1]^2 for 0 < k < n/2.
void RealFftWithPowers(int n, float* a, float* power);

}  // namespace RYX
