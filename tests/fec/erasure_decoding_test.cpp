#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <random>

#include "fec/reed_solomon_codec.h"

namespace RYX {
namespace {

constexpr int kLength = 12;
constexpr int kSpan = kLength + ReedSolomonCodec::kParityLength;

// A random 12-symbol message and its 20-symbol transmission.
std::array<int, kSpan> randomWord(std::mt19937& rng) {
    std::array<int, kLength> message{};
    for (int& s : message) s = static_cast<int>(rng() % 32);
    ReedSolomonCodec codec;
    codec.setMessage(message.data(), kLength);
    codec.computeParity();
    std::array<int, kSpan> word{};
    codec.getCodeword(word.data());
    return word;
}

struct Damage {
    int errors;
    int erasures;
    bool correctable;
};

class ErasureDecoding : public ::testing::TestWithParam<Damage> {};

TEST_P(ErasureDecoding, CorrectsWithinTheBoundAndNeverReturnsANonCodeword) {
    const Damage d = GetParam();
    std::mt19937 rng(static_cast<unsigned>(d.errors * 16 + d.erasures));
    for (int trial = 0; trial < 200; ++trial) {
        const auto sent = randomWord(rng);
        std::array<int, kSpan> order{};
        for (int i = 0; i < kSpan; ++i) order[i] = i;
        std::shuffle(order.begin(), order.end(), rng);
        auto received = sent;
        uint32_t damaged = 0;
        // The first `errors` shuffled indices get a wrong symbol; erasures may or may not be wrong.
        for (int k = 0; k < d.errors + d.erasures; ++k) {
            const bool change = k < d.errors || rng() % 2 == 0;
            if (change) {
                received[order[k]] ^= 1 + static_cast<int>(rng() % 31);
                damaged |= 1u << order[k];
            }
        }
        ReedSolomonCodec codec;
        codec.setMessageLength(kLength);
        codec.setReceived(received.data(), kSpan);
        const bool ok = codec.decodeWithErasures(order.data() + d.errors, d.erasures);
        std::array<int, kLength> message{};
        codec.getMessage(message.data());
        if (d.correctable) {
            ASSERT_TRUE(ok) << "trial " << trial;
            EXPECT_TRUE(std::equal(message.begin(), message.end(), sent.begin()));
            EXPECT_EQ(codec.correctedMask(), damaged);
        } else if (ok) {
            // Beyond the bound a success must still be a codeword (possibly another one).
            ReedSolomonCodec check;
            check.setMessage(message.data(), kLength);
            check.computeParity();
            std::array<int, kSpan> word{};
            check.getCodeword(word.data());
            int distance = 0;
            for (int i = 0; i < kSpan; ++i) distance += word[i] != received[i];
            EXPECT_LE(distance, ReedSolomonCodec::kParityLength);
        } else {
            EXPECT_TRUE(std::equal(message.begin(), message.end(), received.begin()));
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Bounds, ErasureDecoding,
                         ::testing::Values(Damage{0, 0, true}, Damage{4, 0, true},
                                           Damage{0, 8, true}, Damage{1, 6, true},
                                           Damage{2, 4, true}, Damage{3, 2, true},
                                           Damage{3, 1, true}, Damage{5, 0, false},
                                           Damage{3, 3, false}, Damage{6, 6, false}));

TEST(ErasureDecodingInput, IgnoresIndicesOutsideTheSpanAndRepeats) {
    std::mt19937 rng(7);
    const auto sent = randomWord(rng);
    auto received = sent;
    received[3] ^= 5;
    received[15] ^= 9;
    ReedSolomonCodec codec;
    codec.setMessageLength(kLength);
    codec.setReceived(received.data(), kSpan);
    const int erased[] = {3, 3, -1, 20, 31, 1000, 15};
    ASSERT_TRUE(codec.decodeWithErasures(erased, 7));
    EXPECT_EQ(codec.correctedMask(), (1u << 3) | (1u << 15));
    codec.setReceived(received.data(), kSpan);
    EXPECT_TRUE(codec.decodeWithErasures(nullptr, 5));  // two errors, no erasures
}

}  // namespace
}  // namespace RYX
