// The tie rules of the decisions: the listening order of the nine tone levels (a bubble sort that
// swaps only on strictly greater, so equal and undefined levels keep ascending tone order), and
// the vote of a symbol period (most votes, lowest tone among equal counts).
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <utility>
#include <vector>

#include "decoder_test_util.h"

namespace RYX {
namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

// The listening order and the vote of a symbol period of the audible receiver at 44100 Hz
// (R = 36, H = 18).
struct StepProbe {
    std::pair<int, int> listenOrder(const std::vector<float>& levels) const {
        std::pair<int, int> order;
        rankTones(levels.data(), order.first, order.second);
        return order;
    }

    // One symbol period whose frame i has tone first[i] strongest and second[i] next (-1: a
    // silent frame); returns the decision and the slot where the next period begins.
    std::pair<int, int> decide(const std::vector<std::pair<int, int>>& frames) {
        PlanReceiver rx(Plan::Audible, makeTuning(44100.0f), 36);
        SpectrumRing ring(44100.0f, 256, 0, 1024);
        std::vector<float> power(1025);
        for (int i = 0; i < ring.halfFrames(); ++i) {
            const auto [a, b] = frames[static_cast<size_t>(i) % frames.size()];
            std::fill(power.begin(), power.end(), a < 0 ? 0.0f : 1e-3f);
            for (int k = -1; k <= 1; ++k) {
                if (a >= 0) power[static_cast<size_t>(rx.toneBin(a) + k)] = 4.0f;
                if (b >= 0) power[static_cast<size_t>(rx.toneBin(b) + k)] = 2.0f;
            }
            ring.store(power.data());
            ring.advance();
        }
        SymbolClock clock;
        clock.anchor(0);
        const SymbolPeriod period = rx.decide(ring, 3);  // no hop
        EXPECT_TRUE(period.complete);
        return {period.symbol, clock.next(ring.frames())};
    }
};

struct Order {
    std::vector<float> levels;
    int first;
    int second;
};

class ListenOrderTest : public ::testing::TestWithParam<Order> {};

TEST_P(ListenOrderTest, FirstTwoOfTheBubbleOrder) {
    StepProbe probe;
    EXPECT_EQ(probe.listenOrder(GetParam().levels),
              std::make_pair(GetParam().first, GetParam().second));
}

INSTANTIATE_TEST_SUITE_P(
    Levels, ListenOrderTest,
    ::testing::Values(Order{{0, 0, 0, 0, 0, 0, 0, 0, 0}, 0, 1},
                      // A silent band names no tone at all.
                      Order{{kNaN, kNaN, kNaN, kNaN, kNaN, kNaN, kNaN, kNaN, kNaN}, -1, -1},
                      Order{{1, 2, 2, 0, 0, 0, 0, 0, 0}, 1, 2},
                      Order{{0, 0, 0, 0, 0, 0, 0, 3, 7}, 8, 7},
                      Order{{0, 0, 0, 0, 0, 0, 0, 0, 7}, 8, 0},
                      // An undefined level stops larger levels behind it from passing it.
                      Order{{3, kNaN, 5, 0, 0, 0, 0, 0, 0}, 0, 1},
                      Order{{kNaN, 1, 2, 0, 0, 0, 0, 0, 0}, 0, 2},
                      Order{{-5, -1, -3, -2, -9, -1, -7, -4, -6}, 1, 5}));

class VoteTest : public ::testing::Test {
  protected:
    StepProbe probe_;
};

TEST_F(VoteTest, ClearMajorityWins) {
    // (2, 5) in 12 of 18 frames, (1, 8) in the rest: symbol 17 = (2, 5).
    EXPECT_EQ(probe_.decide({{2, 5}, {5, 2}, {1, 8}}), std::make_pair(17, 18));
}

TEST_F(VoteTest, TiedVotesGiveTheTwoLowestTones) {
    // Tones 2, 4 and 6 get 12 votes each: (2, 4) is symbol 16.
    EXPECT_EQ(probe_.decide({{2, 4}, {4, 6}, {6, 2}}).first, 16);
    // Tones 3 and 7 tie for second place behind 5: (3, 5) is symbol 22.
    EXPECT_EQ(probe_.decide({{5, 7}, {5, 3}}).first, 22);
}

TEST_F(VoteTest, SilentPeriodDecodesAsSymbolZero) {
    EXPECT_EQ(probe_.decide({{-1, -1}}).first, 0);
}

TEST_F(VoteTest, PairWithoutSymbolIsRejectedButTheClockMoves) {
    EXPECT_EQ(probe_.decide({{7, 8}, {8, 7}}), std::make_pair(-1, 18));
}

}  // namespace
}  // namespace RYX
