// The frame of one transmission, in symbols: two start symbols, the nine text symbols, their
// checksum and eight Reed-Solomon parity symbols. Encoders build it and decoders check it from
// these counts and this one checksum.
#pragma once

namespace RYX {

constexpr int kStartSymbols = 2;   // positions 0 and 1
constexpr int kStartSymbol1 = 1;   // '1', sounded as tone 0 alone
constexpr int kStartSymbol2 = 19;  // 'j', sounded as tone 2 alone
constexpr int kTextSymbols = 9;    // characters of a message: positions 2..10
constexpr int kChecksumPosition = kStartSymbols + kTextSymbols;  // 11
constexpr int kMessageSymbols = kChecksumPosition + 1;           // 12: start, text, checksum
constexpr int kParitySymbols = 8;  // ReedSolomonCodec::kParityLength (checked where both meet)
constexpr int kTransmissionSymbols = kMessageSymbols + kParitySymbols;    // 20
constexpr int kSymbolsAfterStart = kTransmissionSymbols - kStartSymbols;  // 18, decided by ear

// The checksum of a message: the sum of its kTextSymbols text symbols (each 0..31) modulo 32.
// `text` points at the first of them. hello0123: 103 mod 32 = 7.
int textChecksum(const int* text);

}  // namespace RYX
