// The base-32 alphabet and the one table between symbols and tone pairs.
//
// A symbol is an int 0..31 written as '0'-'9', 'a'-'v'. Each symbol is sent as a tone pair (a, b),
// two of the nine tones 0..8 with a < b; the 32 symbols take the first 32 pairs in lexicographic
// order, so the pairs (5,8), (6,7), (6,8) and (7,8) carry no symbol. Every frequency plan uses
// this same table.
#pragma once

namespace RYX {

constexpr int kSymbolCount = 32;  // symbols 0..31, five bits
constexpr int kToneCount = 9;     // tones 0..8 of every plan
constexpr int kPairTones = 2;     // tones sounding in each symbol

// Only the low 8 bits of c count: '0'..'9' -> 0..9, 'a'..'v' and 'A'..'V' -> 10..31, else -1.
int charToSymbol(int c);

// 0..9 -> '0'..'9', 10..31 -> 'a'..'v' (always lower case); any other value -> '0'.
char symbolToChar(int symbol);

// Writes the pair of `symbol` into pair[0] < pair[1]; a value outside 0..31 gives (0,1).
void symbolToTonePair(int symbol, int pair[2]);

// The symbol whose pair is {a, b} in either order; -1 when a == b, when an index is outside 0..8,
// and for the four pairs without a symbol.
int tonePairToSymbol(int a, int b);

}  // namespace RYX
