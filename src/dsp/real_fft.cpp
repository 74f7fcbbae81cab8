// Forward real DFT, in place, single precision, by a split-radix complex FFT of half the length.
//
// The n real samples are read as n/2 complex values z_j = a[2j] + i a[2j+1]. The transform runs
// in four steps, each a separate function below:
//   1. complexStage: split-radix decimation-in-frequency FFT of the n/2 complex values, with the
//      kernel e^(+2 pi i jk / (n/2)); its output comes out in bit-reversed order.
//   2. bitReverse: the permutation that puts the complex spectrum Z_k in natural order.
//   3. realPostProcess: separates the spectra of the even and odd samples and combines them into
//      the spectrum Y_k = sum a_j e^(+2 pi i jk / n) of the real input, for 0 < k < n/2.
//   4. The DC and Nyquist terms, both real, are packed into a[0] and a[1].
// Because the kernel has the positive sign, a[2k] = Re Y_k = sum a_j cos and a[2k+1] = Im Y_k =
// sum a_j sin, which is the documented layout, with no conjugation anywhere.
//
// Twiddle factors are tabulated once per length, on first use, and only read afterwards (so
// threads share them safely). The tables hold what a rotation recurrence gives: cosf/sinf of
// each stage's step angle, advanced by rotations and re-evaluated directly every 64 positions,
// which bounds the drift. The relative RMS error against an exact DFT is about 2e-7 for every n
// (1.3e-7 at n = 256, 2.2e-7 at n = 8192).
//
// The arithmetic uses 4-float vectors (GCC/Clang vector extensions): one vector holds two
// consecutive complex values as [re0 im0 re1 im1]. The compiler maps them onto SSE on x86-64,
// NEON on ARM, or scalar code elsewhere; the results are the same IEEE operations either way.
#include "dsp/real_fft.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <optional>
#include <vector>

#include "dsp/simd_clone.h"

#if !defined(__GNUC__)
#error "real_fft.cpp needs the GCC/Clang vector extensions"
#endif

namespace RYX {
namespace {

// ---------------------------------------------------------------------------------------------
// Two complex values per vector.

typedef float V4 __attribute__((vector_size(16)));
typedef std::int32_t V4i __attribute__((vector_size(16)));

constexpr float kTwoPi = 6.28318530717958647692f;
constexpr float kSqrtHalf = 0.70710678118654752440f;

inline V4 load(const float* p) {
    V4 v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

inline void store(float* p, V4 v) {
    std::memcpy(p, &v, sizeof v);
}

inline V4 splat(float x) {
    return V4{x, x, x, x};
}

#if defined(__clang__) || (defined(__GNUC__) && __GNUC__ >= 12)
#define RYX_SHUFFLE(a, b, i0, i1, i2, i3) __builtin_shufflevector(a, b, i0, i1, i2, i3)
#else
#define RYX_SHUFFLE(a, b, i0, i1, i2, i3) __builtin_shuffle(a, b, V4i{i0, i1, i2, i3})
#endif

// Flips the sign bit of the lanes whose mask entry is set (cheaper than multiplying by -1).
inline V4 flipSigns(V4 v, V4i mask) {
    return (V4)((V4i)v ^ mask);
}
const V4i kSignEvenLanes = {INT32_MIN, 0, INT32_MIN, 0};  // real parts
const V4i kSignHighHalf = {0, 0, INT32_MIN, INT32_MIN};   // the second complex value

// [r0 i0 r1 i1] -> [i0 r0 i1 r1]
inline V4 swapReIm(V4 v) {
    return RYX_SHUFFLE(v, v, 1, 0, 3, 2);
}
// i * z for both values: [-i0 r0 -i1 r1]
inline V4 mulI(V4 v) {
    return flipSigns(swapReIm(v), kSignEvenLanes);
}

// A pair of twiddle factors c_l + i s_l, kept as re = [c0 c0 c1 c1] and im = [-s0 s0 -s1 s1],
// so that a complex product is z * w = z * re + swapReIm(z) * im (no further shuffle).
struct Twiddles {
    V4 re;
    V4 im;
};

inline Twiddles makeTwiddles(float c0, float s0, float c1, float s1) {
    return Twiddles{V4{c0, c0, c1, c1}, V4{-s0, s0, -s1, s1}};
}

inline V4 cmul(V4 z, Twiddles w) {
    return z * w.re + swapReIm(z) * w.im;
}

// Rotation recurrence: both twiddles multiplied by e^(i delta), given as alpha = 1 - cos delta =
// 2 sin^2(delta/2) and beta = sin delta. The form c' = c - (alpha c + beta s),
// s' = s - (alpha s - beta c) keeps |w| = 1 far better than c' = c cos - s sin: cos delta is
// within an ulp of 1, so rounding it would change |w| by up to 3e-8 on every step, while
// alpha carries full relative precision. (With the plain form the error at n = 2048 was ten
// times larger.)
inline Twiddles rotate(Twiddles w, float alpha, float beta) {
    const V4 av = splat(alpha);
    const V4 bv = V4{beta, -beta, beta, -beta};
    return Twiddles{w.re - (w.re * av - w.im * bv), w.im - (w.im * av + w.re * bv)};
}

// The rotation by e^(i delta) in the form rotate() takes.
struct Rotation {
    float alpha;
    float beta;
};

// Rotation by 2 delta from cos delta and sin delta: alpha = 2 sin^2 delta, beta = 2 sin cos.
inline Rotation rotationByTwice(float c, float s) {
    return Rotation{2.0f * s * s, 2.0f * s * c};
}

// Rotation by twice the angle of r: 1 - cos 2d = 2 sin^2 d, sin 2d = 2 sin d cos d.
inline Rotation doubled(Rotation r) {
    return Rotation{2.0f * r.beta * r.beta, 2.0f * r.beta * (1.0f - r.alpha)};
}

inline Twiddles rotate(Twiddles w, Rotation r) {
    return rotate(w, r.alpha, r.beta);
}

// Twiddles e^(i angle) and e^(i (angle + delta)): the first evaluated directly, the second
// from it and (c, s) = (cos delta, sin delta).
inline Twiddles directTwiddles(float angle, float c, float s) {
    const float c0 = angle == 0.0f ? 1.0f : cosf(angle);
    const float s0 = angle == 0.0f ? 0.0f : sinf(angle);
    return makeTwiddles(c0, s0, c0 * c - s0 * s, s0 * c + c0 * s);
}

// ---------------------------------------------------------------------------------------------
// Step 1: the complex split-radix stage.
//
// A split-radix node of m complex values x_0..x_(m-1) (quarter q = m/4) is split by one
// "L-shaped" butterfly, for j = 0..q-1, with t = x_j, x_(j+q), x_(j+2q), x_(j+3q):
//   x_j      <- t0 + t2                         } the first half: a node of m/2 values,
//   x_(j+q)  <- t1 + t3                         } giving the even-indexed outputs
//   x_(j+2q) <- ((t0 - t2) + i (t1 - t3)) w^j   } third quarter: a node of m/4 values, outputs 4k+1
//   x_(j+3q) <- ((t0 - t2) - i (t1 - t3)) w^3j  } fourth quarter: a node of m/4, outputs 4k+3
// with w = e^(2 pi i / m). Recursively, every node's outputs end in bit-reversed order.
//
// The nodes are processed breadth first, one size at a time, so the twiddles of a size are
// generated once and applied to every node of that size (forEachNode lists the nodes of a
// size). The last levels, nodes of 16 and 8 values, are finished by fixed in-register kernels.

// Calls f(offset) for every split-radix node of size m within a transform of `count` values.
// The first pass takes the offsets 0, 2m, 4m, ...; each following pass starts at 2*stride - m
// and strides four times further (count = 16, m = 4: offsets 0, 8, then 12).
template <typename F>
inline void forEachNode(int count, int m, F f) {
    for (int start = 0, stride = 2 * m; start < count; start = 2 * stride - m, stride *= 4) {
        for (int offset = start; offset < count; offset += stride) f(offset);
    }
}

// Two-point DFT of the two values of one vector: [a b] -> [a+b a-b].
inline V4 dft2(V4 v) {
    const V4 lo = RYX_SHUFFLE(v, v, 0, 1, 0, 1);
    const V4 hi = RYX_SHUFFLE(v, v, 2, 3, 2, 3);
    return lo + flipSigns(hi, kSignHighHalf);
}

// Four-point DFT of [x0 x1] [x2 x3], outputs in bit-reversed order [X0 X2] [X1 X3].
inline void dft4(V4& v0, V4& v1) {
    const V4 s = v0 + v1;                                 // [x0+x2, x1+x3]
    const V4 d = v0 - v1;                                 // [u, v] = [x0-x2, x1-x3]
    const V4 p = RYX_SHUFFLE(s, d, 0, 1, 4, 5);           // [s0, u]
    const V4 q = RYX_SHUFFLE(s, d, 2, 3, 7, 6);           // [s1, swapped v]
    const V4 qq = flipSigns(q, V4i{0, 0, INT32_MIN, 0});  // [s1, i v]
    const V4 e = p + qq;                                  // [X0, X1]
    const V4 f = p - qq;                                  // [X2, X3]
    v0 = RYX_SHUFFLE(e, f, 0, 1, 4, 5);
    v1 = RYX_SHUFFLE(e, f, 2, 3, 6, 7);
}

// One L-shaped butterfly on four vectors (two consecutive j per vector).
inline void lButterfly(V4& x0, V4& x1, V4& x2, V4& x3, Twiddles w1, Twiddles w3) {
    const V4 u = x0 - x2;
    const V4 iv = mulI(x1 - x3);
    x0 = x0 + x2;
    x1 = x1 + x3;
    x2 = cmul(u + iv, w1);
    x3 = cmul(u - iv, w3);
}

// Eight-point DFT of four vectors, in registers, outputs bit-reversed.
inline void dft8(V4& x0, V4& x1, V4& x2, V4& x3) {
    // w = e^(i pi/4): lanes j = 0, 1 give w^0, w^1 and w^0, w^3.
    const Twiddles w1 = makeTwiddles(1.0f, 0.0f, kSqrtHalf, kSqrtHalf);
    const Twiddles w3 = makeTwiddles(1.0f, 0.0f, -kSqrtHalf, kSqrtHalf);
    lButterfly(x0, x1, x2, x3, w1, w3);
    dft4(x0, x1);
    x2 = dft2(x2);
    x3 = dft2(x3);
}

void dft8At(float* p) {
    V4 x0 = load(p), x1 = load(p + 4), x2 = load(p + 8), x3 = load(p + 12);
    dft8(x0, x1, x2, x3);
    store(p, x0), store(p + 4, x1), store(p + 8, x2), store(p + 12, x3);
}

// Sixteen-point DFT in registers, outputs bit-reversed.
void dft16At(float* p) {
    V4 x[8];
    for (int k = 0; k < 8; ++k) x[k] = load(p + 4 * k);
    // w = e^(i pi/8), c1 = cos(pi/8), s1 = sin(pi/8); j = 0..3 needs w^j and w^3j.
    const float c1 = 0.92387953251128675613f, s1 = 0.38268343236508977173f;
    lButterfly(x[0], x[2], x[4], x[6], makeTwiddles(1.0f, 0.0f, c1, s1),
               makeTwiddles(1.0f, 0.0f, s1, c1));
    lButterfly(x[1], x[3], x[5], x[7], makeTwiddles(kSqrtHalf, kSqrtHalf, s1, c1),
               makeTwiddles(-kSqrtHalf, kSqrtHalf, -c1, -s1));
    dft8(x[0], x[1], x[2], x[3]);
    dft4(x[4], x[5]);
    dft4(x[6], x[7]);
    for (int k = 0; k < 8; ++k) store(p + 4 * k, x[k]);
}

// The twiddles one iteration of lStage uses: positions j, j+1 (a) and j+2, j+3 (b) for w^j and
// w^3j.
struct StageTwiddles {
    Twiddles w1a, w1b, w3a, w3b;
};

// The twiddles of the nodes of size m (m >= 32), one entry per iteration j = 0, 4, .. q - 4,
// appended to `out`. Positions j and j+2 follow two independent rotation recurrences, re-evaluated
// directly every 64 positions, which bounds their drift.
void appendStageTwiddles(int m, std::vector<StageTwiddles>& out) {
    const int q = m / 4;                               // >= 8, so q is a multiple of 4
    const float phi = kTwoPi / static_cast<float>(m);  // exact: m is a power of two
    const float c1 = cosf(phi), s1 = sinf(phi), c3 = cosf(3.0f * phi), s3 = sinf(3.0f * phi);
    const Rotation offset1 = rotationByTwice(c1, s1);  // from positions j, j+1 to j+2, j+3
    const Rotation offset3 = rotationByTwice(c3, s3);
    const Rotation step1 = doubled(offset1);  // one iteration advances j by 4
    const Rotation step3 = doubled(offset3);
    StageTwiddles w{};
    for (int j = 0; j < q; j += 4) {
        if ((j & 63) == 0) {
            w.w1a = directTwiddles(static_cast<float>(j) * phi, c1, s1);
            w.w3a = directTwiddles(static_cast<float>(j) * (3.0f * phi), c3, s3);
            w.w1b = rotate(w.w1a, offset1);
            w.w3b = rotate(w.w3a, offset3);
        }
        out.push_back(w);
        w.w1a = rotate(w.w1a, step1);
        w.w1b = rotate(w.w1b, step1);
        w.w3a = rotate(w.w3a, step3);
        w.w3b = rotate(w.w3b, step3);
    }
}

// One table entry of lStage in the layout its loads want: the real and imaginary parts (as
// Twiddles holds them) of w^j .. w^(j+3) and of w^3j .. w^(3j+3), four complex values each.
struct StageEntry {
    float re1[8], im1[8], re3[8], im3[8];
};

StageEntry packed(const StageTwiddles& w) {
    StageEntry e{};
    store(e.re1, w.w1a.re), store(e.re1 + 4, w.w1b.re);
    store(e.im1, w.w1a.im), store(e.im1 + 4, w.w1b.im);
    store(e.re3, w.w3a.re), store(e.re3 + 4, w.w3b.re);
    store(e.im3, w.w3a.im), store(e.im3 + 4, w.w3b.im);
    return e;
}

// Eight floats, four complex values: the L-shaped butterfly of lStage on positions j .. j+3 at
// once. Lane for lane it is lButterfly on two 4-float vectors, so the results are the same
// whether the compiler maps it onto one AVX register or two SSE registers. On x86-64 with GCC
// the stage is built both ways and the AVX form is chosen at load time where the processor has
// it; the code never uses fused multiply-adds, which would round differently.
typedef float V8 __attribute__((vector_size(32)));
typedef std::int32_t V8i __attribute__((vector_size(32)));
#if defined(__clang__) || (defined(__GNUC__) && __GNUC__ >= 12)
#define RYX_SWAP_RE_IM8(v) __builtin_shufflevector(v, v, 1, 0, 3, 2, 5, 4, 7, 6)
#else
#define RYX_SWAP_RE_IM8(v) __builtin_shuffle(v, V8i{1, 0, 3, 2, 5, 4, 7, 6})
#endif

// The L-shaped butterflies of every node of size m (m >= 32) across the transform, with the
// stage's m / 16 table entries. (The node loops of forEachNode are written out: a lambda would
// not be built for AVX.)
RYX_WITH_AVX_CLONE void lStage(float* a, int count, int m, const StageEntry* table) {
    const int q = m / 4;
    const V8i realLanes = {INT32_MIN, 0, INT32_MIN, 0, INT32_MIN, 0, INT32_MIN, 0};
    for (int j = 0; j < q; j += 4) {
        const StageEntry& w = table[j / 4];
        V8 re1, im1, re3, im3;
        std::memcpy(&re1, w.re1, sizeof re1);
        std::memcpy(&im1, w.im1, sizeof im1);
        std::memcpy(&re3, w.re3, sizeof re3);
        std::memcpy(&im3, w.im3, sizeof im3);
        for (int start = 0, stride = 2 * m; start < count; start = 2 * stride - m, stride *= 4) {
            for (int offset = start; offset < count; offset += stride) {
                float* p = a + 2 * (offset + j);
                V8 x0, x1, x2, x3;
                std::memcpy(&x0, p, sizeof x0);
                std::memcpy(&x1, p + 2 * q, sizeof x1);
                std::memcpy(&x2, p + 4 * q, sizeof x2);
                std::memcpy(&x3, p + 6 * q, sizeof x3);
                const V8 u = x0 - x2;
                const V8 d = x1 - x3;
                const V8 iv = (V8)((V8i)RYX_SWAP_RE_IM8(d) ^ realLanes);  // i (x1 - x3)
                x0 = x0 + x2;
                x1 = x1 + x3;
                const V8 y = u + iv;
                const V8 z = u - iv;
                x2 = y * re1 + RYX_SWAP_RE_IM8(y) * im1;
                x3 = z * re3 + RYX_SWAP_RE_IM8(z) * im3;
                std::memcpy(p, &x0, sizeof x0);
                std::memcpy(p + 2 * q, &x1, sizeof x1);
                std::memcpy(p + 4 * q, &x2, sizeof x2);
                std::memcpy(p + 6 * q, &x3, sizeof x3);
            }
        }
    }
}

// Split-radix FFT of `count` complex values (count a power of two, 2 <= count <= 4096), with
// kernel e^(+2 pi i jk / count), output in bit-reversed order.
void complexStage(float* a, int count, const StageEntry* table) {
    if (count == 2) {
        store(a, dft2(load(a)));
        return;
    }
    if (count == 4) {
        V4 v0 = load(a), v1 = load(a + 4);
        dft4(v0, v1);
        store(a, v0), store(a + 4, v1);
        return;
    }
    if (count == 8) {
        dft8At(a);
        return;
    }
    for (int m = count; m >= 32; m /= 2) {
        lStage(a, count, m, table);
        table += m / 16;
    }
    // What remains: every node of size 16, and the two 8-value quarters of every node of size 32.
    forEachNode(count, 16, [a](int offset) { dft16At(a + 2 * offset); });
    if (count >= 32) {
        forEachNode(count, 32, [a](int offset) {
            dft8At(a + 2 * (offset + 16));
            dft8At(a + 2 * (offset + 24));
        });
    }
}

// ---------------------------------------------------------------------------------------------
// Step 2: bit reversal of `count` = 2^bits complex values (bits >= 2).
//
// An index is written [h | c | l], h its top bit and l its bottom bit; its reverse is
// [l | rev(c) | h]. The four values [h | c | l] of one core c, at 2c, 2c+1, 2c+half, 2c+half+1,
// are two vectors; their images at 2 rev(c) + ... are the same two vectors transposed (2 x 2).
// So the permutation works on cores: each pair c < rev(c) is exchanged with a transpose, and a
// core with c = rev(c) is transposed in place.
//
// The core c of b = bits - 2 bits is in turn written [x | y | z], x and z of t = b/2 bits and y
// the middle bit when b is odd, with reverse [rev(z) | y | rev(x)]; c < rev(c) exactly when
// x < rev(z), and c = rev(c) when x = rev(z). Reversed counters advance without a loop: going
// from p to p+1 flips the lowest k+1 bits of p (k = trailing zeros of p+1), which in the
// reversed counter are the highest k+1 bits.

inline int nextReversed(int reversed, int next, int t) {
    const int k = __builtin_ctz(static_cast<unsigned>(next));  // next < 2^t, so k < t
    return reversed ^ (((2 << k) - 1) << (t - 1 - k));
}

// Stores the four values of a core r, read as lo = [h=0 | r | l=0,1] and hi = [h=1 | r | l=0,1],
// into the places of core c transposed: the value at [h | r | l] goes to [l | c | h].
inline void storeTransposed(float* a, int half, int c, V4 lo, V4 hi) {
    store(a + 4 * c, RYX_SHUFFLE(lo, hi, 0, 1, 4, 5));
    store(a + 4 * c + 2 * half, RYX_SHUFFLE(lo, hi, 2, 3, 6, 7));
}

void bitReverse(float* a, int bits) {
    const int half = 1 << (bits - 1);  // the top bit, in complex values
    const int coreBits = bits - 2;
    const int t = coreBits / 2;
    const int middle = coreBits - 2 * t;  // 0 or 1
    const int highShift = t + middle;
    const int size = 1 << t;
    for (int z = 0, rz = 0; z < size; ++z) {
        for (int x = 0, rx = 0; x <= rz; ++x) {
            for (int y = 0; y <= middle; ++y) {
                const int c = (x << highShift) | (y << t) | z;
                const int r = (rz << highShift) | (y << t) | rx;
                const V4 cLo = load(a + 4 * c), cHi = load(a + 4 * c + 2 * half);
                if (c == r) {
                    storeTransposed(a, half, c, cLo, cHi);
                } else {
                    const V4 rLo = load(a + 4 * r), rHi = load(a + 4 * r + 2 * half);
                    storeTransposed(a, half, r, cLo, cHi);
                    storeTransposed(a, half, c, rLo, rHi);
                }
            }
            if (x + 1 <= rz) rx = nextReversed(rx, x + 1, t);
        }
        if (z + 1 < size) rz = nextReversed(rz, z + 1, t);
    }
}

// ---------------------------------------------------------------------------------------------
// Step 3: real post-processing over the `count` = n/2 complex values Z_k now in natural order.
//
// With E_k and O_k the spectra of the even and odd samples, Z_k = E_k + i O_k and
//   Y_k = E_k + W^k O_k,  W = e^(2 pi i / n).
// For a pair k, count-k, with A = Z_k, B = conj(Z_(count-k)), D = A - B, C = (1 + i W^k) / 2:
//   Y_k = A - C D  and  Y_(count-k) = conj(B + C D).
// (E_k = (A + B)/2 and O_k = (A - B)/(2i), so Y_k = A - D/2 - i W^k D/2.) The middle value
// k = count/2 has C = 0 and stays as it is.

// One pair in scalar arithmetic, with W^k = wc + i ws. With `power`, also the two bins' powers.
inline void postProcessPair(float* a, int k, int count, float wc, float ws, float* power) {
    const float cr = 0.5f - 0.5f * ws, ci = 0.5f * wc;  // C = (1 - sin, cos) / 2
    float* lo = a + 2 * k;
    float* hi = a + 2 * (count - k);
    const float dr = lo[0] - hi[0], di = lo[1] + hi[1];  // D = A - conj(Z_(count-k))
    const float xr = cr * dr - ci * di, xi = cr * di + ci * dr;
    lo[0] -= xr;
    lo[1] -= xi;
    hi[0] += xr;  // conj(B + X) = Z_(count-k) + conj(X)
    hi[1] -= xi;
    if (power != nullptr) {
        power[k] = lo[0] * lo[0] + lo[1] * lo[1];
        power[count - k] = hi[0] * hi[0] + hi[1] * hi[1];
    }
}

// Four pairs at once, k..k+3 with count-k..count-k-3, in split form: the real parts of the four
// values in one vector and the imaginary parts in another. (wc, ws) = W^k .. W^(k+3).
inline void postProcessFour(float* a, int k, int count, V4 wc, V4 ws, float* power) {
    float* lo = a + 2 * k;                // Z_k .. Z_(k+3)
    float* hi = a + 2 * (count - k - 3);  // Z_(count-k-3) .. Z_(count-k)
    const V4 l0 = load(lo), l1 = load(lo + 4), h0 = load(hi), h1 = load(hi + 4);
    const V4 ar = RYX_SHUFFLE(l0, l1, 0, 2, 4, 6), ai = RYX_SHUFFLE(l0, l1, 1, 3, 5, 7);
    // The partners in matching lanes: Z_(count-k), Z_(count-k-1), ... (h1 holds the first two).
    const V4 br = RYX_SHUFFLE(h1, h0, 2, 0, 6, 4), bi = RYX_SHUFFLE(h1, h0, 3, 1, 7, 5);
    const V4 cr = splat(0.5f) - splat(0.5f) * ws, ci = splat(0.5f) * wc;
    const V4 dr = ar - br, di = ai + bi;  // D = A - conj(Z_(count-k))
    const V4 xr = cr * dr - ci * di, xi = cr * di + ci * dr;
    const V4 yr = ar - xr, yi = ai - xi;  // Y_k
    const V4 zr = br + xr, zi = bi - xi;  // Y_(count-k)
    store(lo, RYX_SHUFFLE(yr, yi, 0, 4, 1, 5));
    store(lo + 4, RYX_SHUFFLE(yr, yi, 2, 6, 3, 7));
    store(hi, RYX_SHUFFLE(zr, zi, 3, 7, 2, 6));
    store(hi + 4, RYX_SHUFFLE(zr, zi, 1, 5, 0, 4));
    if (power != nullptr) {
        store(power + k, yr * yr + yi * yi);
        const V4 pz = zr * zr + zi * zi;  // bins count-k .. count-k-3
        store(power + count - k - 3, RYX_SHUFFLE(pz, pz, 3, 2, 1, 0));
    }
}

// Rotation of the split-form twiddles (wc, ws) by e^(i delta), as rotate() does.
inline void rotateSplit(V4& wc, V4& ws, Rotation r) {
    const V4 alpha = splat(r.alpha), beta = splat(r.beta);
    const V4 c = wc - (alpha * wc + beta * ws);
    ws = ws - (alpha * ws - beta * wc);
    wc = c;
}

// The split-form twiddles of one iteration of realPostProcess: W^k .. W^(k+3) and
// W^(k+4) .. W^(k+7).
struct PostTwiddles {
    V4 wc, ws, vc, vs;
};

// One entry per iteration k = 1, 9, 17, .. up to and including the first with k + 7 >= n/4 (the
// one that finishes with single pairs). Two groups of four with independent recurrences,
// re-evaluated directly every 64 values of k.
std::vector<PostTwiddles> postTwiddles(int n) {
    std::vector<PostTwiddles> out;
    const int half = n / 4;
    const float phi = kTwoPi / static_cast<float>(n);
    const float c1 = cosf(phi), s1 = sinf(phi);
    const float c2 = c1 * c1 - s1 * s1, s2 = 2.0f * c1 * s1;
    // Offsets of the four lanes, e^(i l phi) for l = 0..3; from one group of four to the next,
    // 4 phi; one iteration takes two groups, 8 phi.
    const V4 offsetC{1.0f, c1, c2, c2 * c1 - s2 * s1};
    const V4 offsetS{0.0f, s1, s2, s2 * c1 + c2 * s1};
    const Rotation group = doubled(rotationByTwice(c1, s1));
    const Rotation step = doubled(group);
    PostTwiddles w{};
    for (int k = 1;; k += 8) {
        if (((k - 1) & 63) == 0) {
            const float angle = static_cast<float>(k) * phi;  // k = 1: (c1, s1) already known
            const V4 c0 = splat(k == 1 ? c1 : cosf(angle)), s0 = splat(k == 1 ? s1 : sinf(angle));
            w.wc = c0 * offsetC - s0 * offsetS;
            w.ws = s0 * offsetC + c0 * offsetS;
            w.vc = w.wc, w.vs = w.ws;
            rotateSplit(w.vc, w.vs, group);
        }
        out.push_back(w);
        if (k + 7 >= half) break;
        rotateSplit(w.wc, w.ws, step);
        rotateSplit(w.vc, w.vs, step);
    }
    return out;
}

void realPostProcess(float* a, int n, const PostTwiddles* table, float* power) {
    const int count = n / 2;
    const int half = count / 2;  // the pairs are k = 1 .. half-1
    int k = 1;
    for (; k + 7 < half; k += 8, ++table) {
        postProcessFour(a, k, count, table->wc, table->ws, power);
        postProcessFour(a, k + 4, count, table->vc, table->vs, power);
    }
    // half - 1 is 7 mod 8 (for half >= 8): a group of four and three single pairs are left.
    V4 wc = table->wc, ws = table->ws;
    if (k + 3 < half) {
        postProcessFour(a, k, count, wc, ws, power);
        k += 4;
        wc = table->vc, ws = table->vs;
    }
    for (int lane = 0; k < half; ++k, ++lane) {
        postProcessPair(a, k, count, wc[lane], ws[lane], power);
    }
    if (power != nullptr)
        power[half] = a[2 * half] * a[2 * half] + a[2 * half + 1] * a[2 * half + 1];
}

// Every twiddle of one transform length, computed once on first use and then only read, so any
// number of threads may share it.
struct Tables {
    explicit Tables(int n) : post(postTwiddles(n)) {
        std::vector<StageTwiddles> twiddles;
        for (int m = n / 2; m >= 32; m /= 2) appendStageTwiddles(m, twiddles);
        for (const StageTwiddles& w : twiddles) stage.push_back(packed(w));
    }
    std::vector<StageEntry> stage;  // the sizes m = n/2, n/4, .. 32 one after another
    std::vector<PostTwiddles> post;
};

// The transform lengths: 2^kLeastBits = 4 .. 2^kMostBits = 8192, tables for each.
constexpr int kLeastBits = 2;
constexpr int kMostBits = 13;

const Tables& tablesFor(int n) {
    static std::once_flag built[kMostBits - kLeastBits + 1];
    static std::optional<Tables> tables[kMostBits - kLeastBits + 1];
    const int k = __builtin_ctz(static_cast<unsigned>(n)) - kLeastBits;
    std::call_once(built[k], [n, k] { tables[k].emplace(n); });
    return *tables[k];
}

}  // namespace

// ---------------------------------------------------------------------------------------------

void RealFftWithPowers(int n, float* a, float* power) {
    if (a == nullptr || n < (1 << kLeastBits) || n > (1 << kMostBits) || (n & (n - 1)) != 0) {
        return;
    }
    const int count = n / 2;
    const Tables& tables = tablesFor(n);
    complexStage(a, count, tables.stage.data());
    if (count >= 4) bitReverse(a, __builtin_ctz(static_cast<unsigned>(count)));
    realPostProcess(a, n, tables.post.data(), power);
    // Step 4: Z_0 = E_0 + i O_0 with E_0, O_0 the sums of the even and odd samples, so
    // DC = E_0 + O_0 and Nyquist = E_0 - O_0.
    const float even = a[0], odd = a[1];
    a[0] = even + odd;
    a[1] = even - odd;
    if (power != nullptr) {
        power[0] = a[0] * a[0];
        power[count] = a[1] * a[1];
    }
}

void RealFft(int n, float* a) {
    RealFftWithPowers(n, a, nullptr);
}

}  // namespace RYX
