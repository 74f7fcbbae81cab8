#include "modes/symbol_alphabet.h"

#include <gtest/gtest.h>

#include <climits>
#include <set>
#include <utility>

namespace RYX {
namespace {

struct TableRow {
    int symbol;
    char character;
    int a, b;
};

// The whole table, written out rather than derived, so an error in the pair arithmetic shows.
constexpr TableRow kTable[] = {
    {0, '0', 0, 1},  {1, '1', 0, 2},  {2, '2', 0, 3},  {3, '3', 0, 4},  {4, '4', 0, 5},
    {5, '5', 0, 6},  {6, '6', 0, 7},  {7, '7', 0, 8},  {8, '8', 1, 2},  {9, '9', 1, 3},
    {10, 'a', 1, 4}, {11, 'b', 1, 5}, {12, 'c', 1, 6}, {13, 'd', 1, 7}, {14, 'e', 1, 8},
    {15, 'f', 2, 3}, {16, 'g', 2, 4}, {17, 'h', 2, 5}, {18, 'i', 2, 6}, {19, 'j', 2, 7},
    {20, 'k', 2, 8}, {21, 'l', 3, 4}, {22, 'm', 3, 5}, {23, 'n', 3, 6}, {24, 'o', 3, 7},
    {25, 'p', 3, 8}, {26, 'q', 4, 5}, {27, 'r', 4, 6}, {28, 's', 4, 7}, {29, 't', 4, 8},
    {30, 'u', 5, 6}, {31, 'v', 5, 7},
};

class SymbolTable : public ::testing::TestWithParam<TableRow> {};

TEST_P(SymbolTable, ConvertsBothWays) {
    const TableRow& row = GetParam();
    EXPECT_EQ(symbolToChar(row.symbol), row.character);
    EXPECT_EQ(charToSymbol(row.character), row.symbol);
    const char upper =
        row.symbol >= 10 ? static_cast<char>(row.character - 'a' + 'A') : row.character;
    EXPECT_EQ(charToSymbol(upper), row.symbol);
    int pair[2] = {-7, -7};
    symbolToTonePair(row.symbol, pair);
    EXPECT_EQ(pair[0], row.a);
    EXPECT_EQ(pair[1], row.b);
    EXPECT_EQ(tonePairToSymbol(row.a, row.b), row.symbol);
    EXPECT_EQ(tonePairToSymbol(row.b, row.a), row.symbol);
}

INSTANTIATE_TEST_SUITE_P(Alphabet, SymbolTable, ::testing::ValuesIn(kTable));

class CharToSymbolEdge : public ::testing::TestWithParam<std::pair<int, int>> {};

TEST_P(CharToSymbolEdge, MapsLowByte) {
    EXPECT_EQ(charToSymbol(GetParam().first), GetParam().second) << GetParam().first;
}

INSTANTIATE_TEST_SUITE_P(
    Alphabet, CharToSymbolEdge,
    ::testing::Values(std::pair{'J', 19}, std::pair{'j', 19}, std::pair{'V', 31},
                      std::pair{'w', -1}, std::pair{'W', -1}, std::pair{' ', -1},
                      std::pair{'-', -1}, std::pair{'/', -1}, std::pair{':', -1},
                      std::pair{'`', -1}, std::pair{'@', -1}, std::pair{0, -1}, std::pair{0x131, 1},
                      std::pair{0x7F61, 10}, std::pair{-1, -1}, std::pair{INT_MIN, -1},
                      std::pair{0xB1, -1}));

TEST(SymbolAlphabet, OutOfRangeSymbolsGiveSymbolZero) {
    for (int s : {32, -1, 1000, INT_MIN, INT_MAX}) {
        EXPECT_EQ(symbolToChar(s), '0') << s;
        int pair[2] = {-7, -7};
        symbolToTonePair(s, pair);
        EXPECT_EQ(pair[0], 0) << s;
        EXPECT_EQ(pair[1], 1) << s;
    }
}

// Every index pair from -1 to 9 either names no symbol or the one symbol whose pair it is; the
// four unused pairs, equal indices and indices outside 0..8 give -1.
TEST(SymbolAlphabet, TonePairToSymbolCoversExactlyTheTable) {
    std::set<int> seen;
    for (int a = -1; a <= 9; ++a) {
        for (int b = -1; b <= 9; ++b) {
            const int s = tonePairToSymbol(a, b);
            if (s == -1) continue;
            ASSERT_GE(s, 0);
            ASSERT_LT(s, kSymbolCount);
            int pair[2];
            symbolToTonePair(s, pair);
            EXPECT_EQ(std::min(a, b), pair[0]);
            EXPECT_EQ(std::max(a, b), pair[1]);
            seen.insert(s);
        }
    }
    EXPECT_EQ(seen.size(), 32u);
    const std::pair<int, int> unused[] = {
        {5, 8}, {8, 5}, {6, 7}, {6, 8}, {7, 8}, {3, 3}, {0, 9}, {-1, 2}, {INT_MIN, INT_MAX}};
    for (auto [a, b] : unused) EXPECT_EQ(tonePairToSymbol(a, b), -1) << a << "," << b;
}

}  // namespace
}  // namespace RYX
