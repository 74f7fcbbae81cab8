#include "modes/frequency_plan.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "modes/tuning.h"
#include "test_support.h"

namespace RYX {
namespace {

using test::planName;

const Tuning k44100 = makeTuning(44100.0f);  // 2048-point window, default custom band
const Tuning k48000 = makeTuning(48000.0f);

struct ToneCase {
    Plan plan;
    float base;     // snapped, Hz
    float spacing;  // snapped, Hz
    int firstBin;
    int binStep;
    double tones[9];  // Hz, to the hundredth
};

class ToneTable44100 : public ::testing::TestWithParam<ToneCase> {};

TEST_P(ToneTable44100, TonesAndBinsAt2048) {
    const ToneCase& c = GetParam();
    EXPECT_EQ(toneFrequency(c.plan, 0, k44100), c.base);
    EXPECT_EQ(toneFrequency(c.plan, 1, k44100) - c.base, c.spacing);
    for (int j = 0; j < 9; ++j) {
        EXPECT_NEAR(toneFrequency(c.plan, j, k44100), c.tones[j], 0.005) << j;
        EXPECT_EQ(toneBin(c.plan, j, k44100), c.firstBin + j * c.binStep) << j;
    }
}

// clang-format off: one plan per row, as the table of tone frequencies reads
INSTANTIATE_TEST_SUITE_P(
    Modes, ToneTable44100,
    ::testing::Values(
        ToneCase{Plan::Audible, 3294.580078125f, 753.662109375f, 153, 35,
                 {3294.58, 4048.24, 4801.90, 5555.57, 6309.23, 7062.89, 7816.55, 8570.21, 9323.88}},
        ToneCase{Plan::NonAudible, 17807.958984375f, 258.3984375f, 827, 12,
                 {17807.96, 18066.36, 18324.76, 18583.15, 18841.55, 19099.95, 19358.35, 19616.75,
                  19875.15}},
        ToneCase{Plan::Compression, 13996.58203125f, 193.798828125f, 650, 9,
                 {13996.58, 14190.38, 14384.18, 14577.98, 14771.78, 14965.58, 15159.38, 15353.17,
                  15546.97}},
        ToneCase{Plan::Custom, 11993.994140625f, 193.798828125f, 557, 9,
                 {11993.99, 12187.79, 12381.59, 12575.39, 12769.19, 12962.99, 13156.79, 13350.59,
                  13544.38}}),
    [](const auto& info) { return std::string(planName(info.param.plan)); });
// clang-format on

struct BaseCase {
    Plan plan;
    float base;
    float spacing;
};

class ToneTable48000 : public ::testing::TestWithParam<BaseCase> {};

// The steps stay whole bins of a 44100 Hz analysis, so at 48000 Hz they snap to other bin counts.
TEST_P(ToneTable48000, BaseAndSpacingAt2048) {
    const BaseCase& c = GetParam();
    EXPECT_EQ(toneFrequency(c.plan, 0, k48000), c.base);
    EXPECT_EQ(toneFrequency(c.plan, 1, k48000) - c.base, c.spacing);
    EXPECT_EQ(toneFrequency(c.plan, 8, k48000), c.base + 8.0f * c.spacing);
}

INSTANTIATE_TEST_SUITE_P(Modes, ToneTable48000,
                         ::testing::Values(BaseCase{Plan::Audible, 3304.6875f, 750.0f},
                                           BaseCase{Plan::NonAudible, 17789.0625f, 257.8125f},
                                           BaseCase{Plan::Compression, 13992.1875f, 187.5f},
                                           BaseCase{Plan::Custom, 12000.0f, 187.5f}),
                         [](const auto& info) { return std::string(planName(info.param.plan)); });

struct StepCase {
    int windowSize;
    float audible, nonAudible, compression;
};

class StepSizes : public ::testing::TestWithParam<StepCase> {};

// The hop of a plan follows the tuning's window: whole bins of a 44100 Hz analysis.
TEST_P(StepSizes, AreWholeBinsOf44100Analysis) {
    const StepCase& c = GetParam();
    const Tuning tuning{44100.0f, c.windowSize, CustomBand{}};
    EXPECT_FLOAT_EQ(frequencyPlan(Plan::Audible, tuning).hopStepHz, c.audible);
    EXPECT_FLOAT_EQ(frequencyPlan(Plan::NonAudible, tuning).hopStepHz, c.nonAudible);
    EXPECT_FLOAT_EQ(frequencyPlan(Plan::Compression, tuning).hopStepHz, c.compression);
    EXPECT_EQ(frequencyPlan(Plan::Custom, tuning).hopStepBins, 3);
    EXPECT_FLOAT_EQ(frequencyPlan(Plan::Custom, tuning).hopStepHz, c.compression);  // 3 bins
}

INSTANTIATE_TEST_SUITE_P(Modes, StepSizes,
                         ::testing::Values(StepCase{2048, 258.3984375f, 86.1328125f, 64.599609375f},
                                           StepCase{1024, 516.796875f, 172.265625f,
                                                    129.19921875f}));

TEST(FrequencyPlanTest, CustomStepParamTwoGivesFourBinStepAndTwelveBinSpacing) {
    const Tuning tuning = makeTuning(44100.0f, CustomBand{12000.0f, 2});
    EXPECT_EQ(customStepBins(tuning.custom), 4);
    EXPECT_EQ(frequencyPlan(Plan::Custom, tuning).hopStepBins, 4);
    EXPECT_FLOAT_EQ(frequencyPlan(Plan::Custom, tuning).hopStepHz, 86.1328125f);
    EXPECT_EQ(receiveHopBins(Plan::Custom, tuning), 4);
    for (int j = 0; j < 9; ++j) EXPECT_EQ(toneBin(Plan::Custom, j, tuning), 557 + 12 * j);
    // The other plans ignore the custom band.
    EXPECT_EQ(toneBin(Plan::Audible, 0, tuning), 153);
}

TEST(FrequencyPlanTest, CustomBandEndsOneSpacingAboveTone8) {
    EXPECT_EQ(customBandBegin(k44100), 11993.994140625f);
    EXPECT_EQ(customBandEnd(k44100), 13738.18359375f);
    EXPECT_EQ(customBandBegin(k48000), 12000.0f);
    EXPECT_EQ(customBandEnd(k48000), 13687.5f);
    EXPECT_FLOAT_EQ(customBandEnd(k44100), toneFrequency(Plan::Custom, 8, k44100) + 193.798828125f);
}

class SymbolDurations : public ::testing::TestWithParam<std::pair<float, int>> {};

TEST_P(SymbolDurations, TruncatesSinglePrecisionProduct) {
    EXPECT_EQ(symbolDuration(GetParam().first), GetParam().second);
}

INSTANTIATE_TEST_SUITE_P(Modes, SymbolDurations,
                         ::testing::Values(std::pair{44100.0f, 4608}, std::pair{48000.0f, 5015},
                                           std::pair{22050.0f, 2304}));

class WindowSizes : public ::testing::TestWithParam<std::pair<float, int>> {};

TEST_P(WindowSizes, FollowExactRates) {
    EXPECT_EQ(windowSizeFor(GetParam().first), GetParam().second) << GetParam().first;
}

INSTANTIATE_TEST_SUITE_P(
    Modes, WindowSizes,
    ::testing::Values(std::pair{48000.0f, 2048}, std::pair{44100.0f, 2048},
                      std::pair{22050.0f, 1024}, std::pair{11050.0f, 512}, std::pair{11025.0f, 256},
                      std::pair{8000.0f, 256}, std::pair{16000.0f, 256}, std::pair{96000.0f, 256},
                      std::pair{48000.5f, 256},
                      std::pair{std::numeric_limits<float>::quiet_NaN(), 256}));

struct SnapCase {
    float f;
    float width;
    float expected;
};

class SnapToBin : public ::testing::TestWithParam<SnapCase> {};

TEST_P(SnapToBin, NearestMultipleHalvesUp) {
    EXPECT_EQ(snapToBin(GetParam().f, GetParam().width), GetParam().expected);
}

constexpr float kBin44100 = 21.533203125f;  // 44100 / 2048, exact in single precision
// 152.5 bins at 44100/2048 is exactly representable: 44100 x 305 / 4096.
constexpr float kHalfway = 3283.8134765625f;

INSTANTIATE_TEST_SUITE_P(
    Modes, SnapToBin,
    ::testing::Values(SnapCase{kHalfway, kBin44100, 153 * kBin44100},
                      SnapCase{std::nextafter(kHalfway, 0.0f), kBin44100, 152 * kBin44100},
                      SnapCase{3.0f, 2.0f, 4.0f}, SnapCase{1.0f, 2.0f, 2.0f},
                      SnapCase{0.99f, 2.0f, 0.0f}, SnapCase{12000.0f, kBin44100, 11993.994140625f},
                      SnapCase{12000.0f, 23.4375f, 12000.0f},
                      SnapCase{750.0f, kBin44100, 753.662109375f}));

class HopSteps : public ::testing::TestWithParam<std::pair<int, int>> {};

TEST_P(HopSteps, StartSymbolsStayThenCycle) {
    EXPECT_EQ(hopSteps(GetParam().first), GetParam().second) << GetParam().first;
}

INSTANTIATE_TEST_SUITE_P(Modes, HopSteps,
                         ::testing::Values(std::pair{0, 0}, std::pair{1, 0}, std::pair{2, 1},
                                           std::pair{3, 2}, std::pair{4, 0}, std::pair{5, 1},
                                           std::pair{6, 2}, std::pair{18, 2}, std::pair{19, 0},
                                           std::pair{-5, 0}));

struct SymbolCase {
    int position;
    int symbol;
    float f1, f2;
};

class AudibleSymbolFrequencies : public ::testing::TestWithParam<SymbolCase> {};

// hello0123 at 44100 Hz: the tones of each position, raised by its hop of 258.3984375 Hz steps.
TEST_P(AudibleSymbolFrequencies, AddHopToSnappedTones) {
    const SymbolCase& c = GetParam();
    float f[2];
    symbolFrequencies(Plan::Audible, c.symbol, c.position, k44100, f);
    EXPECT_EQ(f[0], c.f1);
    EXPECT_EQ(f[1], c.f2);
}

INSTANTIATE_TEST_SUITE_P(Modes, AudibleSymbolFrequencies,
                         ::testing::Values(SymbolCase{0, 1, 3294.580078125f, 4801.904296875f},
                                           SymbolCase{1, 19, 4801.904296875f, 8570.21484375f},
                                           SymbolCase{2, 17, 5060.302734375f, 7321.2890625f},
                                           SymbolCase{3, 14, 4565.0390625f, 9840.673828125f},
                                           SymbolCase{4, 21, 5555.56640625f, 6309.228515625f}));

TEST(FrequencyPlanTest, AmplitudesRiseFromTone0ExceptAudible) {
    for (int j = 0; j < 9; ++j) {
        EXPECT_EQ(toneAmplitude(Plan::Audible, j), 1.0f);
        EXPECT_FLOAT_EQ(toneAmplitude(Plan::NonAudible, j), 0.85f + 0.15f * j / 8.0f);
    }
    EXPECT_FLOAT_EQ(toneAmplitude(Plan::Compression, 0), 0.85f);
    EXPECT_FLOAT_EQ(toneAmplitude(Plan::Custom, 8), 1.0f);
    float a[2];
    symbolAmplitudes(Plan::Compression, 31, a);  // tones 5 and 7
    EXPECT_FLOAT_EQ(a[0], 0.94375f);
    EXPECT_FLOAT_EQ(a[1], 0.98125f);
    symbolAmplitudes(Plan::Audible, 31, a);
    EXPECT_EQ(a[0], 1.0f);
    EXPECT_EQ(a[1], 1.0f);
}

struct HopBinCase {
    Plan plan;
    float sampleRate;
    int windowSize;
    int bins;
};

class ReceiveHopBins : public ::testing::TestWithParam<HopBinCase> {};

TEST_P(ReceiveHopBins, MatchTheEncoderHop) {
    const HopBinCase& c = GetParam();
    EXPECT_EQ(receiveHopBins(c.plan, Tuning{c.sampleRate, c.windowSize, CustomBand{}}), c.bins);
}

INSTANTIATE_TEST_SUITE_P(Modes, ReceiveHopBins,
                         ::testing::Values(HopBinCase{Plan::Audible, 44100.0f, 2048, 12},
                                           HopBinCase{Plan::NonAudible, 44100.0f, 2048, 4},
                                           HopBinCase{Plan::Compression, 44100.0f, 2048, 3},
                                           HopBinCase{Plan::Custom, 44100.0f, 2048, 3},
                                           HopBinCase{Plan::Audible, 48000.0f, 2048, 12},
                                           HopBinCase{Plan::NonAudible, 48000.0f, 2048, 4},
                                           HopBinCase{Plan::Compression, 48000.0f, 2048, 3},
                                           HopBinCase{Plan::Custom, 48000.0f, 2048, 3},
                                           HopBinCase{Plan::Audible, 22050.0f, 1024, 24},
                                           HopBinCase{Plan::NonAudible, 22050.0f, 1024, 8},
                                           HopBinCase{Plan::Compression, 22050.0f, 1024, 6},
                                           HopBinCase{Plan::Custom, 22050.0f, 1024, 6}));

// Absurd custom settings and window sizes give odd numbers, never undefined behaviour.
TEST(FrequencyPlanTest, AbsurdSettingsStayDefined) {
    for (float base : {1e30f, -1e30f, std::numeric_limits<float>::quiet_NaN(),
                       std::numeric_limits<float>::infinity()}) {
        const Tuning tuning =
            makeTuning(44100.0f, CustomBand{base, std::numeric_limits<int>::max()});
        EXPECT_EQ(toneBin(Plan::Custom, 0, tuning), kNoBin) << base;
        (void)customBandEnd(tuning);
        (void)receiveHopBins(Plan::Custom, tuning);
    }
    EXPECT_EQ(toneBin(Plan::Audible, 0, Tuning{44100.0f, 0, CustomBand{}}), kNoBin);
    (void)receiveHopBins(Plan::Audible, Tuning{11025.0f, 0, CustomBand{}});
    (void)receiveHopBins(Plan::Audible, Tuning{11025.0f, 256, CustomBand{}});
}

}  // namespace
}  // namespace RYX
