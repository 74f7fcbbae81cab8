// A float buffer in rows of a stride rounded up to whole cache lines (64 bytes), the first row
// starting on a line, so vector loads of a row never straddle two lines. Sized once; reading and
// writing never allocate. (A copy holds the same values; only its alignment may differ.)
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace RYX {

class AlignedFloats {
  public:
    static constexpr int kLineFloats = 16;  // 64 bytes

    // A row of `length` floats rounded up to whole lines: 288 -> 288, 313 -> 320.
    static int strideFor(int length) {
        return (length + kLineFloats - 1) / kLineFloats * kLineFloats;
    }

    // rows x strideFor(length) zeros.
    void assign(int rows, int length) {
        stride_ = strideFor(length);
        store_.assign(static_cast<size_t>(rows) * stride_ + kLineFloats, 0.0f);
        const auto address = reinterpret_cast<std::uintptr_t>(store_.data());
        const auto lineBytes = static_cast<std::uintptr_t>(kLineFloats * sizeof(float));
        offset_ = ((lineBytes - address % lineBytes) % lineBytes) / sizeof(float);
    }
    float* row(int r) { return store_.data() + offset_ + static_cast<size_t>(r) * stride_; }
    const float* row(int r) const {
        return store_.data() + offset_ + static_cast<size_t>(r) * stride_;
    }

  private:
    std::vector<float> store_;
    size_t offset_ = 0;
    int stride_ = 0;
};

}  // namespace RYX
