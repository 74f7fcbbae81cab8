// Speed of the real FFT and of the spectrum analyser against single-precision FFTW.
// Prints a Markdown table; times are per call, in nanoseconds.
//
// RealFft works in place, so each timed call first restores the input frame; the time of that
// copy alone is measured too and subtracted. FFTW runs out of place on an unchanged input.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "bench_util.h"
#include "dsp/real_fft.h"
#include "dsp/spectrum_analyzer.h"

int main() {
    using RYX::bench::secondsPerCall;
    std::printf("| N | RealFft (ns) | analyze (ns) | FFTW r2c (ns) | RealFft / FFTW |\n");
    std::printf("|---:|---:|---:|---:|---:|\n");
    for (int n : {256, 512, 1024, 2048}) {
        std::vector<float> input(static_cast<size_t>(n)), work(static_cast<size_t>(n));
        for (int i = 0; i < n; ++i) {
            input[i] = 0.5f * std::sin(0.37f * static_cast<float>(i)) +
                       0.25f * std::cos(1.3f * static_cast<float>(i));
        }
        const size_t bytes = sizeof(float) * static_cast<size_t>(n);
        const double copy = secondsPerCall([&] {
            std::memcpy(work.data(), input.data(), bytes);
            RYX::bench::keep(work[1]);
        });
        const double copyAndFft = secondsPerCall([&] {
            std::memcpy(work.data(), input.data(), bytes);
            RYX::RealFft(n, work.data());
            RYX::bench::keep(work[1]);
        });
        const double fft = std::max(copyAndFft - copy, 0.0);

        RYX::SpectrumAnalyzer analyzer(n, n / 8);
        const double analyze = secondsPerCall([&] {
            analyzer.analyze(input.data());
            RYX::bench::keep(analyzer.powerSpectrum()[1]);
        });

        const double fftw = RYX::bench::fftwSecondsPerTransform(n);
        std::printf("| %d | %.1f | %.1f | %.1f | %.2f |\n", n, fft * 1e9, analyze * 1e9, fftw * 1e9,
                    fft / fftw);
    }
    return 0;
}
