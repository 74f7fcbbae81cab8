#include "decoder/tone_bank.h"

#include <cmath>

namespace RYX {
namespace {

constexpr double kPi = 3.14159265358979323846;

}  // namespace

void ToneBank::configure(const std::vector<float>& frequenciesHz, float sampleRate,
                         int sliceSamples) {
    count_ = static_cast<int>(frequenciesHz.size());
    sliceSamples_ = sliceSamples;
    cosTable_.assign(frequenciesHz.size() * static_cast<size_t>(sliceSamples), 0.0f);
    sinTable_.assign(cosTable_.size(), 0.0f);
    rotator_.assign(frequenciesHz.size(), 1.0);
    step_.assign(frequenciesHz.size(), 1.0);
    for (int k = 0; k < count_; ++k) {
        const double w = 2.0 * kPi * frequenciesHz[static_cast<size_t>(k)] / sampleRate;
        for (int n = 0; n < sliceSamples_; ++n) {
            const size_t at = static_cast<size_t>(k) * sliceSamples_ + n;
            cosTable_[at] = static_cast<float>(std::cos(w * n));
            sinTable_[at] = static_cast<float>(std::sin(w * n));
        }
        step_[static_cast<size_t>(k)] = std::polar(1.0, -w * sliceSamples_);
    }
}

void ToneBank::analyse(const float* slice, std::complex<float>* out) {
    for (int k = 0; k < count_; ++k) {
        const float* c = cosTable_.data() + static_cast<size_t>(k) * sliceSamples_;
        const float* s = sinTable_.data() + static_cast<size_t>(k) * sliceSamples_;
        // Four partial sums each, so the compiler can keep several multiply-adds in flight.
        float re[4] = {0, 0, 0, 0};
        float im[4] = {0, 0, 0, 0};
        int n = 0;
        for (; n + 4 <= sliceSamples_; n += 4) {
            for (int u = 0; u < 4; ++u) {
                re[u] += slice[n + u] * c[n + u];
                im[u] -= slice[n + u] * s[n + u];
            }
        }
        for (; n < sliceSamples_; ++n) {
            re[0] += slice[n] * c[n];
            im[0] -= slice[n] * s[n];
        }
        const std::complex<double> local(re[0] + re[1] + re[2] + re[3],
                                         im[0] + im[1] + im[2] + im[3]);
        std::complex<double>& r = rotator_[static_cast<size_t>(k)];
        out[k] = std::complex<float>(local * r);
        r *= step_[static_cast<size_t>(k)];
        r /= std::abs(r);  // keeps the rotator on the unit circle over any stream length
    }
}

void ToneBank::reset() {
    for (auto& r : rotator_) r = 1.0;
}

}  // namespace RYX
