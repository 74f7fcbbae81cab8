// The outer code across a payload's frames: any loss of up to `parity` of the data + parity
// frames is filled in exactly, and one more loss is refused without touching the rows.
#include "payload/frame_erasure_code.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <numeric>
#include <random>
#include <string>
#include <vector>

namespace {

using RYX::FrameErasureCode;
using Row = FrameErasureCode::Row;

struct CodeCase {
    int data;
    int parity;
};

std::string codeName(const ::testing::TestParamInfo<CodeCase>& info) {
    return std::to_string(info.param.data) + "_data_" + std::to_string(info.param.parity) +
           "_parity";
}

// Every set of `lost` rows out of `rows` when there are at most kAllPatterns of them, else
// kSampledPatterns drawn at random (a fixed seed: the same patterns every run).
constexpr double kAllPatterns = 3000;
constexpr int kSampledPatterns = 30;

double choose(int n, int k) {
    double c = 1;
    for (int i = 0; i < k; ++i) c = c * (n - i) / (i + 1);
    return c;
}

std::vector<std::vector<int>> lossPatterns(int rows, int lost, std::mt19937& random) {
    std::vector<std::vector<int>> patterns;
    if (choose(rows, lost) <= kAllPatterns) {
        std::vector<bool> pick(size_t(rows), false);
        std::fill(pick.begin(), pick.begin() + lost, true);
        do {
            std::vector<int> pattern;
            for (int i = 0; i < rows; ++i) {
                if (pick[size_t(i)]) pattern.push_back(i);
            }
            patterns.push_back(pattern);
        } while (std::prev_permutation(pick.begin(), pick.end()));
        return patterns;
    }
    std::vector<int> all(static_cast<size_t>(rows));
    std::iota(all.begin(), all.end(), 0);
    // The first and the last `lost` data rows, then random sets.
    patterns.push_back(std::vector<int>(all.begin(), all.begin() + lost));
    patterns.push_back(std::vector<int>(all.end() - lost, all.end()));
    for (int k = 0; k < kSampledPatterns; ++k) {
        std::shuffle(all.begin(), all.end(), random);
        patterns.push_back(std::vector<int>(all.begin(), all.begin() + lost));
    }
    return patterns;
}

class FrameErasure : public ::testing::TestWithParam<CodeCase> {
  protected:
    void SetUp() override {
        const int total = GetParam().data + GetParam().parity;
        sent_.resize(size_t(total));
        for (Row& row : sent_) {
            for (uint8_t& b : row) b = uint8_t(random_());
        }
        code_.encode(sent_.data(), GetParam().data, GetParam().parity);
    }

    // Recovers from `sent_` with the rows of `lost` garbled and marked missing.
    bool recover(const std::vector<int>& lost, std::vector<Row>& rows) {
        rows = garbled(lost);
        std::array<bool, RYX::kMaxFrames> present{};
        std::fill(present.begin(), present.begin() + rows.size(), true);
        for (int i : lost) present[size_t(i)] = false;
        return code_.recover(rows.data(), present.data(), GetParam().data, GetParam().parity);
    }
    std::vector<Row> garbled(const std::vector<int>& lost) const {
        std::vector<Row> rows = sent_;
        for (int i : lost) rows[size_t(i)].fill(0xA5);
        return rows;
    }

    std::mt19937 random_{20240611};
    FrameErasureCode code_;
    std::vector<Row> sent_;
};

TEST_P(FrameErasure, RecoversEveryLossUpToTheParityCount) {
    const int data = GetParam().data;
    for (int lost = 0; lost <= GetParam().parity; ++lost) {
        for (const std::vector<int>& pattern :
             lossPatterns(data + GetParam().parity, lost, random_)) {
            std::vector<Row> rows;
            ASSERT_TRUE(recover(pattern, rows)) << ::testing::PrintToString(pattern);
            for (int i = 0; i < data; ++i) {
                ASSERT_EQ(rows[size_t(i)], sent_[size_t(i)]) << "data row " << i;
            }
        }
    }
}

TEST_P(FrameErasure, RefusesOneLossMoreAndLeavesTheRows) {
    const int lost = GetParam().parity + 1;
    for (const std::vector<int>& pattern :
         lossPatterns(GetParam().data + GetParam().parity, lost, random_)) {
        std::vector<Row> rows;
        EXPECT_FALSE(recover(pattern, rows)) << ::testing::PrintToString(pattern);
        EXPECT_EQ(rows, garbled(pattern));
    }
}

INSTANTIATE_TEST_SUITE_P(Sizes, FrameErasure,
                         ::testing::Values(CodeCase{1, 1}, CodeCase{3, 1}, CodeCase{9, 1},
                                           CodeCase{10, 2}, CodeCase{82, 10}),
                         codeName);

}  // namespace
