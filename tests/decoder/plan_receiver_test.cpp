// Where a plan's receiver may read: the fit of each plan and the clamped hop.
#include "decoder/plan_receiver.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <utility>
#include <vector>

#include "decoder/spectrum_ring.h"
#include "decoder_test_util.h"
#include "modes/symbol_alphabet.h"

namespace RYX {
namespace {

// Every bin b - 1 .. b + 1 of every tone, raised by any hop shift, lies inside 0 .. N/2.
void expectInside(const PlanReceiver& rx, int windowSize) {
    for (int state = 1; state <= 18; ++state) {
        const int shift = rx.hopShift(state);
        for (int j = 0; j < 9; ++j) {
            EXPECT_GE(rx.toneBin(j) + shift - 1, 0) << state;
            EXPECT_LE(rx.toneBin(j) + shift + 1, windowSize / 2) << state;
        }
    }
}

TEST(PlanReceiverTest, FixedPlansFitAtTheUsualRatesWithTheirHop) {
    for (float rate : {44100.0f, 48000.0f}) {
        for (Plan plan : {Plan::Audible, Plan::NonAudible, Plan::Compression, Plan::Custom}) {
            const PlanReceiver rx(plan, makeTuning(rate), 36);
            EXPECT_TRUE(rx.fits()) << test::planName(plan) << " " << rate;
            EXPECT_EQ(rx.hopShift(1), rx.hopStepBins());
            EXPECT_EQ(rx.hopShift(2), 2 * rx.hopStepBins());
            EXPECT_EQ(rx.hopShift(3), 0);
            EXPECT_EQ(rx.listenFirstTone().size(), 36u);
        }
    }
    // At 22050 Hz the audible receiver hops as far as the encoder: 24 bins of 21.5 Hz.
    EXPECT_EQ(PlanReceiver(Plan::Audible, makeTuning(22050.0f), 36).hopStepBins(), 24);
}

// Each receiver keeps the hop of the band it was built with; any step either fits with every
// shifted bin inside the spectrum or does not fit (and is never read) and never shifts.
TEST(PlanReceiverTest, CustomStepsOfEveryReceiverStayInsideTheSpectrum) {
    const PlanReceiver usual(Plan::Custom, makeTuning(44100.0f), 36);
    for (int param : {1, 2, 40, 300, 100000, -100000, 2147483000}) {
        const PlanReceiver rx(Plan::Custom, makeTuning(44100.0f, CustomBand{12000.0f, param}), 36);
        if (rx.fits()) {
            expectInside(rx, 2048);
        } else {
            EXPECT_EQ(rx.hopShift(2), 0) << param;
        }
        EXPECT_EQ(usual.hopShift(2), 6) << param;
    }
    EXPECT_TRUE(
        PlanReceiver(Plan::Custom, makeTuning(44100.0f, CustomBand{12000.0f, 2}), 36).fits());
    EXPECT_EQ(
        PlanReceiver(Plan::Custom, makeTuning(44100.0f, CustomBand{12000.0f, 2}), 36).hopShift(2),
        8);
}

TEST(PlanReceiverTest, PlansOutsideTheSpectrumDoNotFit) {
    // A falling custom plan: negative spacing.
    EXPECT_FALSE(
        PlanReceiver(Plan::Custom, makeTuning(44100.0f, CustomBand{12000.0f, -3}), 36).fits());
    // Tone 0 in bin 0.
    const PlanReceiver low(Plan::Custom, makeTuning(44100.0f, CustomBand{10.0f, 1}), 36);
    EXPECT_FALSE(low.fits());
    EXPECT_EQ(low.hopShift(2), 0);
    EXPECT_FALSE(PlanReceiver(Plan::NonAudible, makeTuning(8000.0f), 26).fits());
}

// Spectra whose tones tie, nearly tie, are silent or undefined, to check that the receivers order
// tones exactly as the levels 20 log10(power / 3 / reference) would.
enum class Spectrum { Plain, ExactTie, NearTie, SilentBand, Silence, Undefined };

struct Tones {
    int a, b, c;  // three different tones
};

Tones randomTones(std::mt19937& rng) {
    const int a = static_cast<int>(rng() % 9);
    const int b = (a + 1 + static_cast<int>(rng() % 8)) % 9;
    int c = static_cast<int>(rng() % 9);
    while (c == a || c == b) c = (c + 1) % 9;
    return {a, b, c};
}

std::vector<float> spectrumOf(Spectrum kind, const PlanReceiver& rx, Tones tones,
                              std::mt19937& rng) {
    if (kind == Spectrum::Silence) return std::vector<float>(1025, 0.0f);
    const auto [a, b, c] = tones;
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    std::vector<float> power(1025);
    for (float& p : power) p = kind == Spectrum::SilentBand ? 0.0f : unit(rng) * 1e-3f;
    // Tone a strongest; b ties with a (or, every other time, a weaker c ties with b).
    const bool tieBelow = rng() % 2 == 0;
    for (int k = -1; k <= 1; ++k) {
        float& strong = power[static_cast<size_t>(rx.toneBin(a) + k)];
        strong = 0.5f + unit(rng);
        float& second = power[static_cast<size_t>(rx.toneBin(b) + k)];
        float& third = power[static_cast<size_t>(rx.toneBin(c) + k)];
        float& rival = tieBelow ? third : second;
        const float target = tieBelow ? (second = strong * 0.5f) : strong;
        if (kind == Spectrum::ExactTie) rival = target;
        // 1e-7 .. 1e-4 apart: sometimes the same level once rounded, sometimes not.
        if (kind == Spectrum::NearTie) {
            rival = target * (1.0f - std::pow(10.0f, -4.0f - 3 * unit(rng)));
        }
    }
    if (kind == Spectrum::Undefined) power[static_cast<size_t>(rx.toneBin(b))] = NAN;
    return power;
}

// The two strongest tones by the levels themselves (the ordered band mean, double logarithms).
std::pair<int, int> byLevels(const std::vector<float>& power, const PlanReceiver& rx) {
    float sum = 0.0f;
    for (int k = rx.toneBin(0); k <= rx.toneBin(8); ++k) sum += power[static_cast<size_t>(k)];
    const float mean = sum / static_cast<float>(rx.toneBin(8) - rx.toneBin(0) + 1);
    float levels[9];
    for (int j = 0; j < 9; ++j) {
        const size_t b = static_cast<size_t>(rx.toneBin(j));
        const float s = power[b - 1] + power[b] + power[b + 1];
        levels[j] = static_cast<float>(20.0 * std::log10(double{s} / 3.0 / double{mean}));
    }
    std::pair<int, int> order;
    rankTones(levels, order.first, order.second);
    return order;
}

class ListeningOrderTest : public ::testing::TestWithParam<Spectrum> {};

TEST_P(ListeningOrderTest, PowersOrderTonesAsTheirLevelsWould) {
    std::mt19937 rng(static_cast<unsigned>(GetParam()) + 11u);
    PlanReceiver rx(Plan::Audible, makeTuning(44100.0f), 36);
    for (int trial = 0; trial < 2000; ++trial) {
        const std::vector<float> power = spectrumOf(GetParam(), rx, randomTones(rng), rng);
        const int slot = trial % 36;
        rx.listen(power.data(), slot);
        const std::pair<int, int> heard{rx.listenFirstTone()[static_cast<size_t>(slot)],
                                        rx.listenSecondTone()[static_cast<size_t>(slot)]};
        ASSERT_EQ(heard, byLevels(power, rx)) << trial;
    }
}

INSTANTIATE_TEST_SUITE_P(Kinds, ListeningOrderTest,
                         ::testing::Values(Spectrum::Plain, Spectrum::ExactTie, Spectrum::NearTie,
                                           Spectrum::SilentBand, Spectrum::Silence,
                                           Spectrum::Undefined));

// Index of the largest value, the lowest among equals; NaN never displaces a candidate.
int strongestOf(const float* values, int skip) {
    int best = skip == 0 ? 1 : 0;
    for (int j = best + 1; j < 9; ++j) {
        if (j != skip && values[j] > values[best]) best = j;
    }
    return best;
}

TEST_P(ListeningOrderTest, SymbolPeriodsDecideAsTheirLevelsWould) {
    std::mt19937 rng(static_cast<unsigned>(GetParam()) + 23u);
    for (int trial = 0; trial < 40; ++trial) {
        PlanReceiver rx(Plan::Audible, makeTuning(44100.0f), 36);
        SpectrumRing ring(44100.0f, 256, 0, 1024);
        std::vector<std::vector<float>> frames;
        const Tones tones = randomTones(rng);  // the same tones tie in every frame
        for (int i = 0; i < ring.halfFrames(); ++i) {
            frames.push_back(spectrumOf(GetParam(), rx, tones, rng));
            ring.store(frames.back().data());
            ring.advance();
        }
        const SymbolPeriod period = rx.decide(ring, 3);  // no hop

        // The same period from every level: band mean over the period in double precision.
        const int h = ring.halfFrames();
        double noise = 0.0;
        for (const auto& f : frames) {
            for (int k = rx.toneBin(0); k <= rx.toneBin(8); ++k) noise += f[static_cast<size_t>(k)];
        }
        noise /= static_cast<double>(rx.toneBin(8) - rx.toneBin(0) + 1) * h;
        int votes[9] = {};
        std::vector<std::pair<int, int>> pairs;
        std::vector<float> snr, energy;
        for (const auto& f : frames) {
            float levels[9], power[9];
            for (int j = 0; j < 9; ++j) {
                const size_t b = static_cast<size_t>(rx.toneBin(j));
                power[j] = f[b - 1] + f[b] + f[b + 1];
                levels[j] = static_cast<float>(20.0 * std::log10(double{power[j]} / 3.0 / noise));
            }
            const int a = strongestOf(levels, -1), b = strongestOf(levels, a);
            ++votes[a], ++votes[b];
            pairs.emplace_back(a, b);
            snr.push_back((levels[b] + levels[a]) * 0.5f);
            const auto scaled = [h](float p) { return static_cast<float>(1025.0 * p / h); };
            energy.push_back(scaled(power[b]) + scaled(power[a]));
        }
        float voteCounts[9];
        for (int j = 0; j < 9; ++j) voteCounts[j] = static_cast<float>(votes[j]);
        const int first = strongestOf(voteCounts, -1);
        const int symbol = tonePairToSymbol(first, strongestOf(voteCounts, first));
        float snrSum = 0.0f, energySum = 0.0f;
        for (size_t i = 0; i < pairs.size(); ++i) {
            if (tonePairToSymbol(pairs[i].first, pairs[i].second) != symbol) continue;
            snrSum += snr[i];
            energySum += energy[i];
        }
        ASSERT_TRUE(period.complete);
        ASSERT_EQ(period.symbol, symbol) << trial;
        // Equal values, or both undefined.
        const auto same = [](float x, float y) { return x == y || (x != x && y != y); };
        ASSERT_TRUE(same(period.meanSnr, snrSum / h)) << trial;
        ASSERT_TRUE(same(period.level, energySum / h)) << trial;
    }
}

}  // namespace
}  // namespace RYX
