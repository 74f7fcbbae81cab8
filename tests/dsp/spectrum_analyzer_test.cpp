#include "dsp/spectrum_analyzer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <vector>

namespace RYX {
namespace {

constexpr double kPi = 3.14159265358979323846;

std::vector<float> sineAtBin(int n, int bin, double amplitude, double phase) {
    std::vector<float> frame(n);
    for (int i = 0; i < n; ++i) {
        frame[i] = static_cast<float>(amplitude * std::sin(2.0 * kPi * bin * i / n + phase));
    }
    return frame;
}

class SpectrumAnalyzerSizes : public ::testing::TestWithParam<int> {};

TEST_P(SpectrumAnalyzerSizes, WindowIsSymmetricNearlyZeroAtTheEndsAndSumsToTwo) {
    const int n = GetParam();
    SpectrumAnalyzer analyzer(n, 64);
    const float* w = analyzer.window();
    double sum = 0.0;
    for (int i = 0; i < n; ++i) sum += w[i];
    EXPECT_NEAR(sum, 2.0, 1e-5);
    const double peak = 0.92 / (0.47 * (n - 1)) * 2.0;  // raw peak 0.92 over S / 2
    EXPECT_NEAR(w[n / 2], peak, 2e-3 * peak);
    for (int i = 0; i < n; ++i) ASSERT_NEAR(w[i], w[n - 1 - i], 1e-6 * peak) << "index " << i;
    EXPECT_GT(w[0], 0.0f);
    EXPECT_LT(w[0], 1e-7 * peak);
}

// A unit sine centred on bin k: power 1 there, about 0.23 beside it, under 0.001 further off.
TEST_P(SpectrumAnalyzerSizes, BinCentredSineShowsItsPowerAndTheWindowLeakage) {
    const int n = GetParam();
    SpectrumAnalyzer analyzer(n, 64);
    for (int bin : {5, n / 8, n / 4 + 1, n / 2 - 5}) {
        for (double phase : {0.0, 0.7}) {
            analyzer.analyze(sineAtBin(n, bin, 1.0, phase).data());
            const float* power = analyzer.powerSpectrum();
            EXPECT_NEAR(power[bin], 1.0, 1e-3) << "bin " << bin;
            EXPECT_NEAR(power[bin - 1], 0.23, 0.005) << "bin " << bin;
            EXPECT_NEAR(power[bin + 1], 0.23, 0.005) << "bin " << bin;
            for (int k = 0; k < analyzer.binCount(); ++k) {
                if (std::abs(k - bin) < 2) continue;
                ASSERT_LT(power[k], 1e-3) << "bin " << bin << ", k " << k;
            }
        }
    }
}

TEST_P(SpectrumAnalyzerSizes, ConstantFrameGivesFourCSquaredAtDc) {
    const int n = GetParam();
    SpectrumAnalyzer analyzer(n, 64);
    const float c = -0.6f;
    analyzer.analyze(std::vector<float>(n, c).data());
    const float* power = analyzer.powerSpectrum();
    EXPECT_NEAR(power[0], 4.0 * c * c, 1e-5);
    EXPECT_NEAR(power[1] / (c * c), 0.92, 0.015);  // 0.928 at N = 256, 0.918 at N = 2048
    for (int k = 2; k < analyzer.binCount(); ++k) ASSERT_LT(power[k], 1e-3 * c * c) << k;
}

// The Nyquist term lands in the last bin, and nothing of an earlier frame stays behind.
TEST_P(SpectrumAnalyzerSizes, AlternatingFrameThenZeroFrame) {
    const int n = GetParam();
    SpectrumAnalyzer analyzer(n, 64);
    ASSERT_EQ(analyzer.binCount(), n / 2 + 1);
    std::vector<float> frame(n);
    for (int i = 0; i < n; ++i) frame[i] = i % 2 == 0 ? 0.5f : -0.5f;
    analyzer.analyze(frame.data());
    EXPECT_NEAR(analyzer.powerSpectrum()[n / 2], 1.0, 1e-5);  // (0.5 * window sum)^2
    EXPECT_LT(analyzer.powerSpectrum()[0], 1e-6);

    analyzer.analyze(std::vector<float>(n, 0.0f).data());  // exactly n floats
    for (int k = 0; k < analyzer.binCount(); ++k) ASSERT_EQ(analyzer.powerSpectrum()[k], 0.0f);
}

INSTANTIATE_TEST_SUITE_P(WindowSizes, SpectrumAnalyzerSizes,
                         ::testing::Values(256, 512, 1024, 2048));

TEST(SpectrumAnalyzer, WindowOf2048HasEqualMiddleValuesAndTinyEnds) {
    SpectrumAnalyzer analyzer(2048, 256);
    const float* w = analyzer.window();
    EXPECT_FLOAT_EQ(w[1023], w[1024]);
    EXPECT_NEAR(w[1023], 0.0019125, 1e-6);
    EXPECT_NEAR(w[0], 2.3e-11, 0.2e-11);
    EXPECT_NEAR(w[2047], 2.3e-11, 0.2e-11);
}

// Lengths the transform cannot take give an analyser with no bins that ignores frames.
class SpectrumAnalyzerInvalidLength : public ::testing::TestWithParam<int> {};

TEST_P(SpectrumAnalyzerInvalidLength, IsEmptyAndIgnoresFrames) {
    SpectrumAnalyzer analyzer(GetParam(), 64);
    EXPECT_EQ(analyzer.fftLength(), 0);
    EXPECT_EQ(analyzer.binCount(), 0);
    const std::vector<float> frame(4096, 1.0f);
    analyzer.analyze(frame.data());
    analyzer.analyze(nullptr);
}

INSTANTIATE_TEST_SUITE_P(Lengths, SpectrumAnalyzerInvalidLength,
                         ::testing::Values(-256, 0, 1, 2, 3, 100, 1000, 16384));

TEST(SpectrumAnalyzer, NullFrameLeavesTheLastSpectrum) {
    SpectrumAnalyzer analyzer(256, 64);
    analyzer.analyze(sineAtBin(256, 20, 1.0, 0.0).data());
    analyzer.analyze(nullptr);
    EXPECT_NEAR(analyzer.powerSpectrum()[20], 1.0, 1e-3);
}

}  // namespace
}  // namespace RYX
