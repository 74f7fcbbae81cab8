#include "modes/symbol_alphabet.h"

namespace RYX {
namespace {

// Pair index p of the lexicographic order (0,1), (0,2), ..., (0,8), (1,2), ...: tone a starts its
// run of 8 - a pairs at index a * (17 - a) / 2, e.g. a = 2 starts at 15 ('f' = (2,3)).
int pairIndex(int a, int b) {
    return a * (17 - a) / 2 + (b - a - 1);
}

}  // namespace

int charToSymbol(int c) {
    const unsigned char ch = static_cast<unsigned char>(c & 0xFF);
    if (ch >= '0' && ch <= '9') return ch - '0';
    if (ch >= 'a' && ch <= 'v') return ch - 'a' + 10;
    if (ch >= 'A' && ch <= 'V') return ch - 'A' + 10;
    return -1;
}

char symbolToChar(int symbol) {
    if (symbol >= 0 && symbol <= 9) return static_cast<char>('0' + symbol);
    if (symbol >= 10 && symbol < kSymbolCount) return static_cast<char>('a' + symbol - 10);
    return '0';
}

void symbolToTonePair(int symbol, int pair[2]) {
    if (symbol < 0 || symbol >= kSymbolCount) symbol = 0;
    int a = 0;
    while (symbol >= pairIndex(a + 1, a + 2)) ++a;
    pair[0] = a;
    pair[1] = symbol - pairIndex(a, a + 1) + a + 1;
}

int tonePairToSymbol(int a, int b) {
    if (a < 0 || b < 0 || a >= kToneCount || b >= kToneCount || a == b) return -1;
    if (a > b) {
        const int t = a;
        a = b;
        b = t;
    }
    const int index = pairIndex(a, b);
    return index < kSymbolCount ? index : -1;
}

}  // namespace RYX
