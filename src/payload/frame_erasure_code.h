// The outer code across a payload's frames: a systematic Cauchy Reed-Solomon code over GF(256)
// (polynomial x^8 + x^4 + x^3 + x^2 + 1). Parity frame j holds, byte by byte, the sum over the
// data frames i of data[i] / (j xor (kMaxParityFrames + i)); every square part of that matrix
// is invertible, so any `parity` lost frames of the data + parity are recovered from the rest.
//
// Works on fixed storage: at most kMaxDataFrames data and kMaxParityFrames parity rows of
// kFrameBodyBytes each; nothing is allocated.
#pragma once

#include <array>
#include <cstdint>

#include "payload/payload_frame.h"

namespace RYX {

class FrameErasureCode {
  public:
    using Row = std::array<uint8_t, kFrameBodyBytes>;

    FrameErasureCode();

    // rows[0 .. data) hold the data frames; writes rows[data .. data + parity). data 1..82,
    // parity 1..10; other counts write nothing.
    void encode(Row* rows, int data, int parity) const;
    // rows[0 .. data + parity) with present[i] telling which were received: fills in the missing
    // data rows. False (rows unchanged) when fewer than `data` rows are present or the counts
    // are out of range.
    bool recover(Row* rows, const bool* present, int data, int parity);

  private:
    uint8_t mul(uint8_t a, uint8_t b) const;
    uint8_t inverse(uint8_t a) const { return exp_[255 - log_[a]]; }  // a != 0
    uint8_t coefficient(int parityRow, int dataRow) const {
        return inverse(uint8_t(parityRow ^ (kMaxParityFrames + dataRow)));
    }

    std::array<uint8_t, 512> exp_{};
    std::array<uint8_t, 256> log_{};
    // Working storage of a recovery: the system for the missing rows and its right-hand sides.
    std::array<std::array<uint8_t, kMaxParityFrames>, kMaxParityFrames> matrix_{};
    std::array<Row, kMaxParityFrames> rhs_{};
};

}  // namespace RYX
