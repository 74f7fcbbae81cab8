#include "dsp/real_fft.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <random>
#include <string>
#include <vector>

namespace RYX {
namespace {

constexpr double kPi = 3.14159265358979323846;

// The documented layout computed in double precision straight from the definition.
std::vector<double> naiveRealDft(const std::vector<float>& x) {
    const int n = static_cast<int>(x.size());
    std::vector<double> cosTable(n), sinTable(n);
    for (int m = 0; m < n; ++m) {
        cosTable[m] = std::cos(2.0 * kPi * m / n);
        sinTable[m] = std::sin(2.0 * kPi * m / n);
    }
    std::vector<double> out(n, 0.0);
    for (int k = 0; k <= n / 2; ++k) {
        double re = 0.0, im = 0.0;
        for (int j = 0; j < n; ++j) {
            const int m = static_cast<int>((static_cast<long>(j) * k) % n);
            re += x[j] * cosTable[m];
            im += x[j] * sinTable[m];
        }
        if (k == 0) {
            out[0] = re;
        } else if (k == n / 2) {
            out[1] = re;
        } else {
            out[2 * k] = re;
            out[2 * k + 1] = im;
        }
    }
    return out;
}

std::vector<int> powersOfTwo(int from, int to) {
    std::vector<int> sizes;
    for (int n = from; n <= to; n *= 2) sizes.push_back(n);
    return sizes;
}

class RealFftSizes : public ::testing::TestWithParam<int> {};

// Single precision with an exact twiddle would give about 6e-8 * log2(n); the twiddle
// recurrences add a little (measured up to 2.3e-7 at n = 8192). 1e-6 leaves room for other
// compilers and libm versions while a wrong twiddle, sign or index costs far more.
constexpr double kRelativeRmsBound = 1e-6;

TEST_P(RealFftSizes, MatchesDoublePrecisionDftOnRandomInput) {
    const int n = GetParam();
    std::mt19937 rng(12345u + static_cast<unsigned>(n));
    std::uniform_real_distribution<float> uniform(-1.0f, 1.0f);
    std::vector<float> a(n);  // exactly n floats, so a sanitizer sees any access past the end
    for (float& v : a) v = uniform(rng);
    const std::vector<double> expected = naiveRealDft(a);
    RealFft(n, a.data());
    double error = 0.0, energy = 0.0;
    for (int i = 0; i < n; ++i) {
        error += (a[i] - expected[i]) * (a[i] - expected[i]);
        energy += expected[i] * expected[i];
    }
    EXPECT_LT(std::sqrt(error / energy), kRelativeRmsBound) << "n = " << n;
}

TEST_P(RealFftSizes, TouchesOnlyItsOwnFloatsAtAnUnalignedAddress) {
    const int n = GetParam();
    const float guard = 12345.0f;
    std::vector<float> buffer(n + 9, guard);  // one guard before (misaligning a), eight after
    float* a = buffer.data() + 1;
    for (int j = 0; j < n; ++j) a[j] = static_cast<float>((j * 7) % 11) - 5.0f;
    const std::vector<double> expected = naiveRealDft(std::vector<float>(a, a + n));
    RealFft(n, a);
    EXPECT_EQ(buffer[0], guard);
    for (int i = n + 1; i < n + 9; ++i) EXPECT_EQ(buffer[i], guard) << "index " << i;
    for (int i = 0; i < n; ++i) EXPECT_NEAR(a[i], expected[i], 1e-5 * n) << "index " << i;
}

INSTANTIATE_TEST_SUITE_P(AllSizes, RealFftSizes, ::testing::ValuesIn(powersOfTwo(4, 8192)));

// Signals whose transform has one known non-zero entry (or none).
struct LayoutCase {
    std::string name;
    int smallestN;  // the signal needs n/2 > its bin
    std::function<double(int j, int n)> signal;
    int index;                           // entry of the output that is non-zero
    std::function<double(int n)> value;  // its value
};

const std::vector<LayoutCase>& layoutCases() {
    static const std::vector<LayoutCase> cases = {
        {"Zero", 4, [](int, int) { return 0.0; }, 0, [](int) { return 0.0; }},
        {"ConstantGivesDc", 4, [](int, int) { return 1.0; }, 0, [](int n) { return double(n); }},
        {"CosineAtBin3", 8, [](int j, int n) { return std::cos(2.0 * kPi * 3 * j / n); }, 6,
         [](int n) { return n / 2.0; }},
        {"SineAtBin3IsPositive", 8, [](int j, int n) { return std::sin(2.0 * kPi * 3 * j / n); }, 7,
         [](int n) { return n / 2.0; }},
        {"AlternatingGivesNyquist", 4, [](int j, int) { return j % 2 == 0 ? 1.0 : -1.0; }, 1,
         [](int n) { return double(n); }},
    };
    return cases;
}

class RealFftLayout : public ::testing::TestWithParam<std::tuple<size_t, int>> {};

TEST_P(RealFftLayout, OnlyTheExpectedEntryIsNonZero) {
    const LayoutCase& c = layoutCases()[std::get<0>(GetParam())];
    const int n = std::get<1>(GetParam());
    std::vector<float> a(n);
    for (int j = 0; j < n; ++j) a[j] = static_cast<float>(c.signal(j, n));
    RealFft(n, a.data());
    const double tolerance = 1e-6 * n;  // the peak is n or n/2; a layout fault is of that order
    for (int i = 0; i < n; ++i) {
        const double expected = i == c.index ? c.value(n) : 0.0;
        EXPECT_NEAR(a[i], expected, tolerance) << c.name << ", n = " << n << ", index " << i;
    }
}

std::vector<std::tuple<size_t, int>> layoutParams() {
    std::vector<std::tuple<size_t, int>> params;
    for (size_t c = 0; c < layoutCases().size(); ++c) {
        for (int n : {4, 8, 16, 32, 256, 2048}) {
            if (n >= layoutCases()[c].smallestN) params.emplace_back(c, n);
        }
    }
    return params;
}

INSTANTIATE_TEST_SUITE_P(Signals, RealFftLayout, ::testing::ValuesIn(layoutParams()),
                         [](const ::testing::TestParamInfo<RealFftLayout::ParamType>& info) {
                             return layoutCases()[std::get<0>(info.param)].name + "_" +
                                    std::to_string(std::get<1>(info.param));
                         });

// Lengths the transform does not support leave the data alone instead of reading or writing
// past it.
class RealFftInvalidLength : public ::testing::TestWithParam<int> {};

TEST_P(RealFftInvalidLength, LeavesTheArrayUntouched) {
    const int n = GetParam();
    std::vector<float> a(64, 3.0f);
    RealFft(n, a.data());
    for (float v : a) ASSERT_EQ(v, 3.0f);
}

INSTANTIATE_TEST_SUITE_P(NotPowersOfTwoOrOutOfRange, RealFftInvalidLength,
                         ::testing::Values(-8, 0, 1, 2, 3, 6, 12, 48, 16384, 1 << 30));

TEST(RealFft, NullArrayIsIgnored) {
    RealFft(8, nullptr);
    RealFft(2048, nullptr);
}

}  // namespace
}  // namespace RYX
