// Measuring tones in synthesised audio without trusting the encoder: Hann-weighted single-frequency
// DFTs, a peak search over a frequency range, and a least-squares fit of sine phases.
#pragma once

#include <algorithm>
#include <cmath>
#include <complex>
#include <utility>
#include <vector>

namespace RYX {
namespace test {

constexpr double kPi = 3.14159265358979323846;

// A stretch of audio weighted by a Hann window, ready for DFTs at any frequency.
class Probe {
  public:
    Probe(const float* x, int n, double sampleRate) : rate_(sampleRate), weighted_(n) {
        for (int i = 0; i < n; ++i) {
            const double h = 0.5 - 0.5 * std::cos(2.0 * kPi * i / (n - 1));
            weighted_[i] = h * x[i];
            windowSum_ += h;
        }
    }

    // Amplitude of the sine at `hz`: 0.65 for 0.65 x sin(2 pi hz t + phi), ~0 far from any tone.
    double level(double hz) const {
        const double w = 2.0 * kPi * hz / rate_;
        const std::complex<double> rot(std::cos(w), -std::sin(w));
        std::complex<double> z(1.0, 0.0), acc(0.0, 0.0);
        for (double v : weighted_) {
            acc += v * z;
            z *= rot;
        }
        return 2.0 * std::abs(acc) / windowSum_;
    }

    // The `count` strongest local maxima of level() in [lo, hi], strongest first, each refined to
    // about 1e-4 Hz: (frequency, level) pairs.
    std::vector<std::pair<double, double>> peaks(double lo, double hi, int count) const {
        const double grid = 2.0;
        std::vector<double> levels;
        for (double f = lo; f <= hi; f += grid) levels.push_back(level(f));
        std::vector<std::pair<double, double>> found;
        for (size_t i = 1; i + 1 < levels.size(); ++i) {
            if (levels[i] >= levels[i - 1] && levels[i] > levels[i + 1]) {
                found.emplace_back(lo + grid * static_cast<double>(i), levels[i]);
            }
        }
        std::sort(found.begin(), found.end(),
                  [](const auto& a, const auto& b) { return a.second > b.second; });
        if (static_cast<int>(found.size()) > count) found.resize(count);
        for (auto& peak : found) peak = refine(peak.first - grid, peak.first + grid);
        return found;
    }

  private:
    // Golden-section search for the maximum of level() in [a, b].
    std::pair<double, double> refine(double a, double b) const {
        const double g = 0.6180339887498949;
        double c = b - g * (b - a), d = a + g * (b - a);
        double lc = level(c), ld = level(d);
        while (b - a > 1e-4) {
            if (lc > ld) {
                b = d;
                d = c;
                ld = lc;
                c = b - g * (b - a);
                lc = level(c);
            } else {
                a = c;
                c = d;
                lc = ld;
                d = a + g * (b - a);
                ld = level(d);
            }
        }
        const double f = 0.5 * (a + b);
        return {f, level(f)};
    }

    double rate_;
    std::vector<double> weighted_;
    double windowSum_ = 0.0;
};

// Least-squares fit of x[k] = sum over tones t of c_t sin(phi_t + omega_t (k + 1)), k = 0..n-1,
// omega in radians per sample. Returns the start phases phi_t in [0, 2 pi) (the phase before the
// first sample's advance) and writes the amplitudes c_t to `amplitudes` if given.
inline std::vector<double> fitPhases(const float* x, int n, const std::vector<double>& omegas,
                                     std::vector<double>* amplitudes = nullptr) {
    const size_t m = 2 * omegas.size();
    std::vector<std::vector<double>> a(m, std::vector<double>(m + 1, 0.0));
    std::vector<double> basis(m);
    for (int k = 0; k < n; ++k) {
        for (size_t t = 0; t < omegas.size(); ++t) {
            basis[2 * t] = std::cos(omegas[t] * (k + 1));      // weight c sin(phi)
            basis[2 * t + 1] = std::sin(omegas[t] * (k + 1));  // weight c cos(phi)
        }
        for (size_t i = 0; i < m; ++i) {
            for (size_t j = 0; j < m; ++j) a[i][j] += basis[i] * basis[j];
            a[i][m] += basis[i] * x[k];
        }
    }
    for (size_t i = 0; i < m; ++i) {  // Gauss-Jordan; the system is well conditioned
        for (size_t r = 0; r < m; ++r) {
            if (r == i) continue;
            const double factor = a[r][i] / a[i][i];
            for (size_t j = i; j <= m; ++j) a[r][j] -= factor * a[i][j];
        }
    }
    std::vector<double> phases;
    if (amplitudes) amplitudes->clear();
    for (size_t t = 0; t < omegas.size(); ++t) {
        const double s = a[2 * t][m] / a[2 * t][2 * t];
        const double c = a[2 * t + 1][m] / a[2 * t + 1][2 * t + 1];
        double phi = std::atan2(s, c);
        if (phi < 0) phi += 2.0 * kPi;
        phases.push_back(phi);
        if (amplitudes) amplitudes->push_back(std::hypot(s, c));
    }
    return phases;
}

// Distance between two angles on the circle, in [0, pi].
inline double angleDistance(double a, double b) {
    const double d = std::fmod(std::fabs(a - b), 2.0 * kPi);
    return std::min(d, 2.0 * kPi - d);
}

}  // namespace test
}  // namespace RYX
