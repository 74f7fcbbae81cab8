// Where a plan's receiver may read: the fit of each plan and the clamped hop.
#include "decoder/plan_receiver.h"

#include <gtest/gtest.h>

#include "decoder_test_util.h"

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

}  // namespace
}  // namespace RYX
