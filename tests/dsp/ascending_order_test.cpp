#include "dsp/ascending_order.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <numeric>
#include <random>
#include <vector>

namespace RYX {
namespace {

// The order std::stable_sort gives the indices: ascending keys, equal keys by index.
std::vector<int> stableOrder(const std::vector<float>& key) {
    std::vector<int> order(key.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return key[a] < key[b]; });
    return order;
}

struct Keys {
    const char* name;
    std::vector<float> key;
};

class AscendingOrder : public ::testing::TestWithParam<Keys> {};

TEST_P(AscendingOrder, IsTheStableOrderOfItsKeys) {
    const std::vector<float>& key = GetParam().key;
    std::vector<int> order(key.size() + 1, -7);  // one guard past the end
    ascendingOrder(key.data(), static_cast<int>(key.size()), order.data());
    EXPECT_EQ(order.back(), -7) << "wrote past n";
    order.pop_back();
    EXPECT_EQ(order, stableOrder(key));
}

std::vector<float> randomKeys(int n, int distinct, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> pick(0, distinct - 1);
    std::vector<float> key(static_cast<size_t>(n));
    for (float& k : key) k = static_cast<float>(pick(rng)) * 0.25f - 3.0f;
    return key;
}

const float kInf = std::numeric_limits<float>::infinity();
INSTANTIATE_TEST_SUITE_P(
    Keys, AscendingOrder,
    ::testing::Values(
        Keys{"none", {}}, Keys{"one", {4.0f}}, Keys{"worked", {0.5f, 0.1f, 0.5f, -2.0f}},
        Keys{"descending", {5, 4, 3, 2, 1, 0, -1}}, Keys{"all_equal", {2, 2, 2, 2, 2}},
        Keys{"infinities_and_zeros", {kInf, -0.0f, 0.0f, -kInf, 1.0f, -0.0f}},
        Keys{"symbols", randomKeys(18, 1000, 1)}, Keys{"timings_with_ties", randomKeys(81, 6, 2)},
        Keys{"many", randomKeys(300, 40, 3)}),
    [](const ::testing::TestParamInfo<Keys>& info) { return info.param.name; });

}  // namespace
}  // namespace RYX
