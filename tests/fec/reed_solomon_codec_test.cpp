#include "fec/reed_solomon_codec.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <random>
#include <string>
#include <vector>

#include "modes/symbol_alphabet.h"

namespace RYX {
namespace {

constexpr int kMessage = 12;
constexpr int kFrame = kMessage + ReedSolomonCodec::kParityLength;  // 20 transmitted symbols

using Frame = std::array<int, kFrame>;
using Message = std::array<int, kMessage>;

Frame encode(ReedSolomonCodec& codec, const Message& message) {
    codec.setMessage(message.data(), kMessage);
    codec.computeParity();
    Frame frame{};
    EXPECT_EQ(codec.getCodeword(frame.data()), kFrame);
    return frame;
}

Message decode(ReedSolomonCodec& codec, const Frame& received) {
    codec.setMessageLength(kMessage);
    codec.setReceived(received.data(), kFrame);
    codec.decode();
    Message out{};
    EXPECT_EQ(codec.getMessage(out.data()), kMessage);
    return out;
}

// GF(32) product by shift and add, independent of the codec's log tables.
int gfMul(int a, int b) {
    int product = 0;
    for (; b; b >>= 1) {
        if (b & 1) product ^= a;
        a <<= 1;
        if (a & 32) a ^= 0x25;  // x^5 = x^2 + 1
    }
    return product;
}

// c(alpha^j) of a transmitted frame placed in its code positions (parity 0..7, message 8..).
int evaluateAt(const Frame& frame, int j) {
    int x = 1;
    for (int i = 0; i < j; ++i) x = gfMul(x, 2);
    int sum = 0, xi = 1;
    for (int position = 0; position < kFrame; ++position) {
        const int symbol = position < 8 ? frame[kMessage + position] : frame[position - 8];
        sum ^= gfMul(symbol, xi);
        xi = gfMul(xi, x);
    }
    return sum;
}

std::string toText(const Frame& frame) {
    std::string text;
    for (int s : frame) text += symbolToChar(s);
    return text;
}

struct ParityCase {
    const char* name;
    Message message;
    std::array<int, 8> parity;
    const char* transmission;  // base-32 text of the 20 symbols, "" when not checked
};

class ParityVectors : public ::testing::TestWithParam<ParityCase> {};

TEST_P(ParityVectors, MatchesKnownParityAndRoundTrips) {
    const ParityCase& c = GetParam();
    ReedSolomonCodec codec;
    const Frame frame = encode(codec, c.message);
    EXPECT_TRUE(std::equal(c.message.begin(), c.message.end(), frame.begin()));
    EXPECT_TRUE(std::equal(c.parity.begin(), c.parity.end(), frame.begin() + kMessage));
    if (*c.transmission) {
        EXPECT_EQ(toText(frame), c.transmission);
    }
    EXPECT_EQ(decode(codec, frame), c.message);
}

// The message with only data symbol 0 set is x^8, whose parity is g(x) - x^8: the codeword is the
// generator x^8 + 8x^7 + 21x^6 + 15x^5 + 6x^4 + 2x^3 + 26x^2 + 18x + 5 itself.
INSTANTIATE_TEST_SUITE_P(
    Codec, ParityVectors,
    ::testing::Values(ParityCase{"digits",
                                 {1, 19, 1, 2, 3, 4, 5, 6, 7, 8, 9, 13},
                                 {13, 31, 21, 23, 7, 15, 12, 5},
                                 "1j123456789ddvln7fc5"},
                      ParityCase{"zeros", {1, 19}, {28, 1, 8, 13, 8, 4, 8, 10}, ""},
                      ParityCase{"hello",
                                 {1, 19, 17, 14, 21, 21, 24, 0, 1, 2, 3, 7},
                                 {6, 10, 5, 30, 31, 24, 0, 25},
                                 "1jhello012376a5uvo0p"},
                      ParityCase{"generator", {1}, {5, 18, 26, 2, 6, 15, 21, 8}, ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ReedSolomonCodec, RandomCodewordsHaveRootsAlpha1To8) {
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> symbol(0, 31);
    ReedSolomonCodec codec;
    for (int trial = 0; trial < 200; ++trial) {
        Message message;
        for (int& s : message) s = symbol(rng);
        const Frame frame = encode(codec, message);
        for (int j = 1; j <= 8; ++j) ASSERT_EQ(evaluateAt(frame, j), 0) << "trial " << trial;
        ASSERT_EQ(decode(codec, frame), message);
    }
}

TEST(ReedSolomonCodec, CorrectsEveryOneToFourErrors) {
    std::mt19937 rng(12345);
    std::uniform_int_distribution<int> symbol(0, 31);
    std::uniform_int_distribution<int> flip(1, 31);
    ReedSolomonCodec codec;
    std::array<int, kFrame> positions;
    for (int i = 0; i < kFrame; ++i) positions[i] = i;
    for (int trial = 0; trial < 8000; ++trial) {
        Message message;
        for (int& s : message) s = symbol(rng);
        Frame received = encode(codec, message);
        const int errors = 1 + trial % 4;
        std::shuffle(positions.begin(), positions.end(), rng);
        for (int e = 0; e < errors; ++e) received[positions[e]] ^= flip(rng);
        ASSERT_EQ(decode(codec, received), message) << "trial " << trial << ", " << errors;
    }
}

// With 12 message symbols, corrections may land in the unsent zero positions, so only the bound
// on changed message symbols is visible.
TEST(ReedSolomonCodec, FiveOrMoreErrorsReturnReceivedOrNearbyMessage) {
    std::mt19937 rng(99);
    std::uniform_int_distribution<int> symbol(0, 31);
    std::uniform_int_distribution<int> flip(1, 31);
    std::uniform_int_distribution<int> count(5, kFrame);
    ReedSolomonCodec codec;
    std::array<int, kFrame> positions;
    for (int i = 0; i < kFrame; ++i) positions[i] = i;
    int unchanged = 0;
    for (int trial = 0; trial < 4000; ++trial) {
        Message message;
        for (int& s : message) s = symbol(rng);
        Frame received = encode(codec, message);
        std::shuffle(positions.begin(), positions.end(), rng);
        const int errors = count(rng);
        for (int e = 0; e < errors; ++e) received[positions[e]] ^= flip(rng);
        const Message out = decode(codec, received);
        int changed = 0;
        for (int i = 0; i < kMessage; ++i) {
            ASSERT_GE(out[i], 0);
            ASSERT_LE(out[i], 31);
            changed += out[i] != received[i];
        }
        ASSERT_LE(changed, 4);
        unchanged += changed == 0;
    }
    EXPECT_GT(unchanged, 3000);  // most such words are recognised as uncorrectable
}

// With all 23 data symbols in use every code position is sent, so a changed result must be a
// codeword within distance 4 of the received word.
TEST(ReedSolomonCodec, FullLengthWordsMoveOnlyToCodewordsWithinDistanceFour) {
    constexpr int kData = ReedSolomonCodec::kDataLength;
    constexpr int kAll = ReedSolomonCodec::kCodeLength;
    std::mt19937 rng(2024);
    std::uniform_int_distribution<int> symbol(0, 31);
    std::uniform_int_distribution<int> flip(1, 31);
    std::uniform_int_distribution<int> count(5, 12);
    ReedSolomonCodec codec;
    std::array<int, kAll> positions;
    for (int i = 0; i < kAll; ++i) positions[i] = i;
    int moved = 0;
    for (int trial = 0; trial < 6000; ++trial) {
        std::array<int, kData> message;
        for (int& s : message) s = symbol(rng);
        codec.setMessage(message.data(), kData);
        codec.computeParity();
        std::array<int, kAll> received;
        ASSERT_EQ(codec.getCodeword(received.data()), kAll);
        std::shuffle(positions.begin(), positions.end(), rng);
        const int errors = count(rng);
        for (int e = 0; e < errors; ++e) received[positions[e]] ^= flip(rng);

        codec.setReceived(received.data(), kAll);
        codec.decode();
        std::array<int, kData> out;
        ASSERT_EQ(codec.getMessage(out.data()), kData);
        if (std::equal(out.begin(), out.end(), received.begin())) continue;
        ++moved;
        codec.setMessage(out.data(), kData);
        codec.computeParity();
        std::array<int, kAll> nearby;
        codec.getCodeword(nearby.data());
        int distance = 0;
        for (int i = 0; i < kAll; ++i) distance += nearby[i] != received[i];
        ASSERT_LE(distance, 4) << "trial " << trial;
    }
    EXPECT_GT(moved, 0);  // the seed reaches some miscorrections, so the check above ran
}

// decode() says whether it produced a transmitted codeword: always for 0..4 errors; for more,
// only when the result really is a 20-symbol codeword within distance 4 of what was received.
TEST(ReedSolomonCodec, StatusSeparatesCorrectedFromUncorrectableWords) {
    std::mt19937 rng(4242);
    std::uniform_int_distribution<int> symbol(0, 31);
    std::uniform_int_distribution<int> flip(1, 31);
    ReedSolomonCodec codec;
    std::array<int, kFrame> positions;
    for (int i = 0; i < kFrame; ++i) positions[i] = i;
    int refused = 0;
    for (int trial = 0; trial < 6000; ++trial) {
        Message message;
        for (int& s : message) s = symbol(rng);
        Frame received = encode(codec, message);
        const int errors = trial % 12;  // 0..11
        std::shuffle(positions.begin(), positions.end(), rng);
        for (int e = 0; e < errors; ++e) received[positions[e]] ^= flip(rng);
        codec.setMessageLength(kMessage);
        codec.setReceived(received.data(), kFrame);
        const bool ok = codec.decode();
        Message out;
        codec.getMessage(out.data());
        if (errors <= 4) {
            ASSERT_TRUE(ok) << "trial " << trial;
            ASSERT_EQ(out, message);
            continue;
        }
        refused += !ok;
        if (!ok) continue;
        const Frame reencoded = encode(codec, out);
        int distance = 0;
        for (int i = 0; i < kFrame; ++i) distance += reencoded[i] != received[i];
        ASSERT_LE(distance, 4) << "trial " << trial;
    }
    EXPECT_GT(refused, 3000);
}

// Noise heard as symbol 0 after the start symbols lies two symbols from the all-zero codeword.
TEST(ReedSolomonCodec, StartSymbolsThenZerosCorrectToAllZeroWord) {
    ReedSolomonCodec codec;
    Frame received{};
    received[0] = 1;
    received[1] = 19;
    codec.setMessageLength(kMessage);
    codec.setReceived(received.data(), kFrame);
    EXPECT_TRUE(codec.decode());
    Message out;
    codec.getMessage(out.data());
    EXPECT_EQ(out, Message{});
}

TEST(ReedSolomonCodec, OutOfContractInputIsMaskedAndClamped) {
    ReedSolomonCodec codec;
    const Message reference{1, 19, 1, 2, 3, 4, 5, 6, 7, 8, 9, 31};
    const Frame expected = encode(codec, reference);

    // -1 and 63 keep their low five bits: both are 31.
    Message dirty = reference;
    dirty[11] = -1;
    EXPECT_EQ(encode(codec, dirty), expected);
    dirty[11] = 63;
    EXPECT_EQ(encode(codec, dirty), expected);

    // Too long a message keeps the first 23 symbols.
    std::vector<int> longMessage(40, 5);
    codec.setMessage(longMessage.data(), 40);
    EXPECT_EQ(codec.messageLength(), ReedSolomonCodec::kDataLength);
    codec.setMessage(nullptr, 5);
    EXPECT_EQ(codec.messageLength(), 0);
    codec.setMessageLength(-3);
    EXPECT_EQ(codec.messageLength(), 0);
    codec.setMessageLength(100);
    EXPECT_EQ(codec.messageLength(), ReedSolomonCodec::kDataLength);

    // A short received sequence reads as far as it goes; the rest counts as zero.
    Frame received = expected;
    received[3] = 77;  // masked to 13, a single error
    codec.setMessageLength(kMessage);
    codec.setReceived(received.data(), kFrame);
    codec.decode();
    Message out{};
    codec.getMessage(out.data());
    EXPECT_EQ(out, reference);
    codec.setReceived(received.data(), 5);
    codec.decode();
    codec.setReceived(nullptr, kFrame);
    codec.decode();
    EXPECT_EQ(codec.getMessage(out.data()), kMessage);
    EXPECT_EQ(out, Message{});
}

}  // namespace
}  // namespace RYX
