// RS(31,23) over GF(32): eight parity symbols protect up to 23 message symbols (12 in use) and
// correct up to four symbol errors. Field elements are 5-bit ints in polynomial basis over the
// primitive polynomial x^5 + x^2 + 1; the generator has the roots alpha^1 .. alpha^8.
//
// Codeword layout: code positions 0..7 hold the parity, position 8 + i message symbol i, and the
// positions after the message are zero. All storage is fixed-size: encoding and decoding allocate
// nothing.
//
// Input outside the contract is made safe, never read or written out of bounds: every symbol is
// masked to its low five bits (-1 becomes 31), message lengths are clamped to 0..23, a null
// pointer counts as zero symbols, and a received sequence of the wrong length is read as far as it
// goes (missing symbols count as 0, extra ones are ignored).
#pragma once

#include <array>
#include <cstdint>

namespace RYX {

class ReedSolomonCodec {
  public:
    static constexpr int kSymbolBits = 5;
    static constexpr int kCodeLength = 31;   // n
    static constexpr int kDataLength = 23;   // k
    static constexpr int kParityLength = 8;  // n - k
    static constexpr int kCorrectable = 4;   // t

    ReedSolomonCodec();

    int messageLength() const { return messageLength_; }
    // 0..23 (clamped); the decoders set 12 before every decode.
    void setMessageLength(int length);

    // Encoding. `count` message symbols (0..23, each 0..31) become data positions 0..count-1; the
    // rest of the 23 are zero. messageLength becomes `count`.
    void setMessage(const int* symbols, int count);
    // Remainder of x^8 d(x) divided by g(x): 1j123456789d gets parity 13 31 21 23 7 15 12 5.
    void computeParity();
    // messageLength message symbols, then the 8 parity symbols (parity position 0 first) into
    // `out`, which holds messageLength + 8 ints. Returns that count.
    int getCodeword(int* out) const;

    // Decoding. `count` = messageLength + 8 symbols in transmission order (message, then parity).
    void setReceived(const int* symbols, int count);
    // Corrects up to four symbol errors in place; a word it cannot correct stays as received (or
    // moves to another codeword within distance 4). Returns true when the word now is a codeword
    // of the transmitted length: received clean, or corrected with every error inside the
    // messageLength + 8 transmitted positions. False for a word it could not correct, and for a
    // "correction" into the zero positions after the message, which no transmission can need.
    bool decode();
    // The messageLength corrected message symbols into `out`. Returns that count.
    int getMessage(int* out) const;

    // Errors-and-erasures decoding of the word given to setReceived. `erased` lists `count`
    // transmission indices (0 .. messageLength + 7, message first, as setReceived takes them)
    // whose symbols are unreliable; indices outside that span and repeats are ignored, and at most
    // eight are used. Corrects e errors and f erasures whenever 2e + f <= 8 (with f = 0 the same
    // four errors as decode()). Returns true when the word now is a codeword and every correction
    // lies inside the transmitted span; on false the received word is left as it was.
    // correctedMask() then has bit i set for each transmission index i whose symbol changed.
    bool decodeWithErasures(const int* erased, int count);
    uint32_t correctedMask() const { return correctedMask_; }

  private:
    // Locator rows are wide enough for the largest degree the iteration can form before it stops
    // (a row of degree <= 4 shifted by up to 8).
    static constexpr int kLocatorWidth = kParityLength + kCorrectable + 1;
    static constexpr int kRows = kParityLength + 2;

    int mul(int a, int b) const;
    int div(int a, int b) const;                                  // b != 0
    int power(int e) const { return antilog_[e % kCodeLength]; }  // alpha^e, e >= 0
    int evaluate(const int* poly, int degree, int x) const;       // poly[0] + poly[1] x + ...

    int messageLength_ = 12;
    std::array<int, kCodeLength + 1> antilog_{};      // alpha^i, i = 0..30
    std::array<int, kCodeLength + 1> log_{};          // log of 1..31; log_[0] = -1
    std::array<uint8_t, 32 * 32> product_{};          // a x b at a * 32 + b
    std::array<int, kParityLength + 1> generator_{};  // coefficients of g(x), x^0 first
    std::array<int, kCodeLength> received_{};         // code positions 0..30, symbol values
    std::array<int, kDataLength> data_{};
    std::array<int, kParityLength> parity_{};

    // Decoder working storage (rows of the Berlekamp table, syndromes, roots).
    std::array<std::array<int, kLocatorWidth>, kRows> locator_{};
    std::array<int, kRows> discrepancy_{};
    std::array<int, kRows> degree_{};
    std::array<int, kRows> stepMinusDegree_{};
    std::array<int, kParityLength + 1> syndrome_{};  // syndrome_[j] = r(alpha^j), j = 1..8
    std::array<int, kCorrectable> roots_{};          // exponents i with sigma(alpha^i) = 0
    std::array<int, kCorrectable + 1> evaluator_{};  // z_1 .. z_L
    uint32_t correctedMask_ = 0;  // transmission indices changed by decodeWithErasures
};

}  // namespace RYX
