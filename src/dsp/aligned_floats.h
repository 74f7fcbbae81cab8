// A buffer of floats (or of another value type T) in rows of a stride rounded up to whole lines of
// sixteen values (64 bytes of floats), the first row starting on a line, so vector loads of a row
// never straddle two lines. Sized once; reading and writing never allocate. (A copy holds the same
// values; only its alignment may differ.)
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace RYX {

template <typename T>
class AlignedRows {
  public:
    static constexpr int kLineFloats = 16;  // values per line: 64 bytes of floats

    // A row of `length` floats rounded up to whole lines: 288 -> 288, 313 -> 320.
    static int strideFor(int length) {
        return (length + kLineFloats - 1) / kLineFloats * kLineFloats;
    }

    // rows x strideFor(length) zeros.
    void assign(int rows, int length) {
        stride_ = strideFor(length);
        store_.assign(static_cast<size_t>(rows) * stride_ + kLineFloats, T{});
        const auto address = reinterpret_cast<std::uintptr_t>(store_.data());
        const auto lineBytes = static_cast<std::uintptr_t>(kLineFloats * sizeof(T));
        offset_ = ((lineBytes - address % lineBytes) % lineBytes) / sizeof(T);
    }
    T* row(int r) { return store_.data() + offset_ + static_cast<size_t>(r) * stride_; }
    const T* row(int r) const { return store_.data() + offset_ + static_cast<size_t>(r) * stride_; }

  private:
    std::vector<T> store_;
    size_t offset_ = 0;
    int stride_ = 0;
};

using AlignedFloats = AlignedRows<float>;

}  // namespace RYX
