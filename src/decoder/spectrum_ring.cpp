#include "decoder/spectrum_ring.h"

#include <algorithm>
#include <cstring>

#include "modes/frequency_plan.h"

namespace RYX {
namespace {

int wrap(int value, int modulus) {
    const int r = value % modulus;
    return r < 0 ? r + modulus : r;
}

}  // namespace

// 4608 x 2 / 256 = 36 at 44100 Hz, 5015.5 x 2 / 64 + 0.5 -> 157 at 48000 Hz.
int ringFramesFor(float sampleRate, int frameAdvance) {
    const float frames =
        sampleRate * kSymbolSeconds * 2.0f / static_cast<float>(frameAdvance) + 0.5f;
    if (!(frames >= 2.0f)) return 2;
    if (frames >= 65536.0f) return 65536;
    return static_cast<int>(frames);
}

int frameAdvanceFor(float sampleRate) {
    if (sampleRate == 44100.0f) return 256;
    if (sampleRate == 22050.0f) return 128;
    return 64;
}

SpectrumRing::SpectrumRing(float sampleRate, int frameAdvance, int lowBin, int highBin)
    : frames_(ringFramesFor(sampleRate, frameAdvance)),
      startTolerance_(static_cast<int>(frames_ * 0.5 * 0.05 + 0.5)),
      lowBin_(highBin >= lowBin ? lowBin : 0),
      width_(highBin >= lowBin ? highBin - lowBin + 1 : 0),
      band_(static_cast<size_t>(frames_) * static_cast<size_t>(width_), 0.0f) {}

void SpectrumRing::store(const float* spectrum) {
    if (width_ == 0) return;  // no receiver reads any bin
    std::memcpy(slot(writePos_), spectrum + lowBin_, static_cast<size_t>(width_) * sizeof(float));
}

int SpectrumRing::filledFrom(int readPos) const {
    return wrap(writePos_ - readPos, frames_);
}

bool SpectrumRing::startTest(const int* first, const int* second, int firstTone, int secondTone,
                             int& readPos) const {
    const int r = frames_;
    const int h = halfFrames();
    // Visits the slots readPos + j for j in [begin, end), modulo R, as at most two runs.
    const auto forSlots = [&](int begin, int end, auto&& visit) {
        const int start = (readPos + begin) % r;
        const int firstRun = std::min(end - begin, r - start);
        for (int t = start; t < start + firstRun; ++t) visit(t);
        for (int t = 0; t < end - begin - firstRun; ++t) visit(t);
    };
    while (filledFrom(readPos) >= r - 1) {
        int c1 = 0;
        forSlots(0, h, [&](int t) { c1 += first[t] == firstTone; });
        if (c1 >= h - startTolerance_) {
            int c2 = 0;
            forSlots(h, r, [&](int t) { c2 += first[t] == secondTone || second[t] == secondTone; });
            if (c2 >= h - 2 * startTolerance_) {
                readPos = writePos_;
                return true;
            }
        }
        readPos = (readPos + 1) % r;
    }
    return false;
}

}  // namespace RYX
