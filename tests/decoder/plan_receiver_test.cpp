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
            EXPECT_GE(rx.toneBins[j] + shift - 1, 0) << state;
            EXPECT_LE(rx.toneBins[j] + shift + 1, windowSize / 2) << state;
        }
    }
}

TEST(PlanReceiverTest, FixedPlansFitAtTheUsualRatesWithTheirHop) {
    const test::SettingsGuard guard;
    for (float rate : {44100.0f, 48000.0f}) {
        updateStepSizes(2048);
        for (Plan plan : {Plan::Audible, Plan::NonAudible, Plan::Compression, Plan::Custom}) {
            const PlanReceiver rx(plan, rate, 2048, 36);
            EXPECT_TRUE(rx.fits()) << test::planName(plan) << " " << rate;
            EXPECT_EQ(rx.hopShift(1), rx.hopStepBins());
            EXPECT_EQ(rx.hopShift(2), 2 * rx.hopStepBins());
            EXPECT_EQ(rx.hopShift(3), 0);
            EXPECT_EQ(rx.startPair1[0], 0);
            EXPECT_EQ(rx.startPair2[0], 2);
            EXPECT_EQ(rx.listenFirstTone.size(), 36u);
        }
    }
    // At 22050 Hz the audible receiver hops as far as the encoder: 24 bins of 21.5 Hz.
    updateStepSizes(1024);
    EXPECT_EQ(PlanReceiver(Plan::Audible, 22050.0f, 1024, 36).hopStepBins(), 24);
}

TEST(PlanReceiverTest, ACustomStepChangedLaterIsClampedToTheSpectrum) {
    for (int param : {1, 300, 100000, -100000, 2147483000}) {
        const test::SettingsGuard guard;
        updateStepSizes(2048);
        const PlanReceiver rx(Plan::Custom, 44100.0f, 2048, 36);
        ASSERT_TRUE(rx.fits());
        processSettings().customStepParam = param;
        updateStepSizes(2048);
        expectInside(rx, 2048);
        if (param == 1) {
            EXPECT_EQ(rx.hopShift(2), 6);
        }
    }
}

TEST(PlanReceiverTest, PlansOutsideTheSpectrumDoNotFit) {
    const test::SettingsGuard guard;
    processSettings().customStepParam = -3;  // a falling custom plan: negative spacing
    updateStepSizes(2048);
    EXPECT_FALSE(PlanReceiver(Plan::Custom, 44100.0f, 2048, 36).fits());
    processSettings().customStepParam = 1;
    processSettings().customBaseFreq = 10.0f;  // tone 0 in bin 0
    updateStepSizes(2048);
    const PlanReceiver low(Plan::Custom, 44100.0f, 2048, 36);
    EXPECT_FALSE(low.fits());
    EXPECT_EQ(low.hopShift(2), 0);
    updateStepSizes(256);
    EXPECT_FALSE(PlanReceiver(Plan::NonAudible, 8000.0f, 256, 26).fits());
}

}  // namespace
}  // namespace RYX
