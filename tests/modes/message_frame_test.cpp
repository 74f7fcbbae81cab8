// The frame's counts and its one checksum; whether a plan's tones can be sent and told apart.
#include "modes/message_frame.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "modes/frequency_plan.h"
#include "modes/symbol_alphabet.h"
#include "modes/tuning.h"

namespace RYX {
namespace {

TEST(MessageFrame, CountsAddUp) {
    EXPECT_EQ(kStartSymbols + kTextSymbols + 1 + kParitySymbols, kTransmissionSymbols);
    EXPECT_EQ(kTransmissionSymbols, 20);
    EXPECT_EQ(kMessageSymbols, 12);
    EXPECT_EQ(kChecksumPosition, 11);
    EXPECT_EQ(kSymbolsAfterStart, 18);
}

TEST(MessageFrame, ChecksumIsTheTextSumModulo32) {
    const std::string text = "hello0123";
    int symbols[kTextSymbols];
    for (int i = 0; i < kTextSymbols; ++i) symbols[i] = charToSymbol(text[static_cast<size_t>(i)]);
    EXPECT_EQ(textChecksum(symbols), 103 % 32);
    int top[kTextSymbols];
    for (int& s : top) s = kSymbolCount - 1;
    EXPECT_EQ(textChecksum(top), (9 * 31) % 32);
    int zero[kTextSymbols] = {};
    EXPECT_EQ(textChecksum(zero), 0);
}

TEST(PlanTonesFit, NeedsDistinctTonesBelowHalfTheRate) {
    EXPECT_TRUE(planTonesFit(Plan::Audible, makeTuning(44100.0f)));
    EXPECT_TRUE(planTonesFit(Plan::Audible, makeTuning(22050.0f)));
    EXPECT_FALSE(planTonesFit(Plan::NonAudible, makeTuning(22050.0f)));  // beyond 11025 Hz
    // The 750 Hz spacing rounds to whole bins of rate / 256: one bin of 1500 Hz at 384000 Hz,
    // none of 1523 Hz at 390000 Hz, where every tone lies at one frequency.
    EXPECT_TRUE(planTonesFit(Plan::Audible, makeTuning(384000.0f)));
    EXPECT_FALSE(planTonesFit(Plan::Audible, makeTuning(390000.0f)));
    EXPECT_TRUE(planTonesFit(Plan::NonAudible, makeTuning(1000000.0f)));
    EXPECT_FALSE(planTonesFit(Plan::Custom, makeTuning(44100.0f, {-5000.0f, 1})));
    EXPECT_FALSE(planTonesFit(Plan::Custom, makeTuning(44100.0f, {std::nanf(""), 1})));
}

}  // namespace
}  // namespace RYX
