// A buffer of floats (or of another value type T) in rows of a stride rounded up to whole lines of
// sixteen values (64 bytes of floats), taken from an arena (whose pieces start on lines), so
// vector loads of a row never straddle two lines. Sized once; reading and writing never allocate.
// A copy is a second view of the same values.
#pragma once

#include <cstddef>

#include "dsp/arena.h"

namespace RYX {

template <typename T>
class AlignedRows {
  public:
    static constexpr int kLineFloats = 16;  // values per line: 64 bytes of floats

    // A row of `length` floats rounded up to whole lines: 288 -> 288, 313 -> 320.
    static int strideFor(int length) {
        return (length + kLineFloats - 1) / kLineFloats * kLineFloats;
    }

    // rows x strideFor(length) zeros from `arena`; false (and no rows) when they do not fit.
    bool take(Arena& arena, int rows, int length) {
        static_assert(Arena::kLineBytes % (kLineFloats * sizeof(float)) == 0, "rows on lines");
        stride_ = strideFor(length);
        values_ = arena.take<T>(static_cast<size_t>(rows) * static_cast<size_t>(stride_));
        return values_ != nullptr;
    }
    T* row(int r) { return values_ + static_cast<size_t>(r) * static_cast<size_t>(stride_); }
    const T* row(int r) const {
        return values_ + static_cast<size_t>(r) * static_cast<size_t>(stride_);
    }

  private:
    T* values_ = nullptr;
    int stride_ = 0;
};

using AlignedFloats = AlignedRows<float>;

}  // namespace RYX
