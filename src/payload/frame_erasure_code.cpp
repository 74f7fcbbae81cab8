#include "payload/frame_erasure_code.h"

#include <utility>

namespace RYX {

FrameErasureCode::FrameErasureCode() {
    int x = 1;
    for (int i = 0; i < 255; ++i) {
        exp_[i] = exp_[i + 255] = uint8_t(x);
        log_[x] = uint8_t(i);
        x <<= 1;
        if (x & 0x100) x ^= 0x11D;
    }
}

uint8_t FrameErasureCode::mul(uint8_t a, uint8_t b) const {
    return (a == 0 || b == 0) ? 0 : exp_[log_[a] + log_[b]];
}

void FrameErasureCode::encode(Row* rows, int data, int parity) const {
    if (data < 1 || data > kMaxDataFrames || parity < 1 || parity > kMaxParityFrames) return;
    for (int j = 0; j < parity; ++j) {
        Row& out = rows[data + j];
        out.fill(0);
        for (int i = 0; i < data; ++i) {
            const uint8_t c = coefficient(j, i);
            for (int b = 0; b < kFrameBodyBytes; ++b) out[b] ^= mul(c, rows[i][b]);
        }
    }
}

bool FrameErasureCode::recover(Row* rows, const bool* present, int data, int parity) {
    if (data < 1 || data > kMaxDataFrames || parity < 1 || parity > kMaxParityFrames) return false;
    std::array<int, kMaxParityFrames> missing{};
    std::array<int, kMaxParityFrames> used{};
    int m = 0;
    for (int i = 0; i < data; ++i) {
        if (present[i]) continue;
        if (m == parity) return false;
        missing[m++] = i;
    }
    if (m == 0) return true;
    int u = 0;
    for (int j = 0; j < parity && u < m; ++j) {
        if (present[data + j]) used[u++] = j;
    }
    if (u < m) return false;
    // Each used parity row minus the known data rows' share is a sum over the missing rows.
    for (int r = 0; r < m; ++r) {
        const int j = used[r];
        rhs_[r] = rows[data + j];
        for (int i = 0; i < data; ++i) {
            if (!present[i]) continue;
            const uint8_t c = coefficient(j, i);
            for (int b = 0; b < kFrameBodyBytes; ++b) rhs_[r][b] ^= mul(c, rows[i][b]);
        }
        for (int k = 0; k < m; ++k) matrix_[r][k] = coefficient(j, missing[k]);
    }
    // Gauss-Jordan elimination; a Cauchy matrix has no singular square part.
    for (int col = 0; col < m; ++col) {
        int pivot = col;
        while (pivot < m && matrix_[pivot][col] == 0) ++pivot;
        if (pivot == m) return false;
        std::swap(matrix_[pivot], matrix_[col]);
        std::swap(rhs_[pivot], rhs_[col]);
        const uint8_t scale = inverse(matrix_[col][col]);
        for (int k = 0; k < m; ++k) matrix_[col][k] = mul(matrix_[col][k], scale);
        for (int b = 0; b < kFrameBodyBytes; ++b) rhs_[col][b] = mul(rhs_[col][b], scale);
        for (int r = 0; r < m; ++r) {
            const uint8_t f = matrix_[r][col];
            if (r == col || f == 0) continue;
            for (int k = 0; k < m; ++k) matrix_[r][k] ^= mul(f, matrix_[col][k]);
            for (int b = 0; b < kFrameBodyBytes; ++b) rhs_[r][b] ^= mul(f, rhs_[col][b]);
        }
    }
    for (int k = 0; k < m; ++k) rows[missing[k]] = rhs_[k];
    return true;
}

}  // namespace RYX
