#include "encoder/frame_synthesiser.h"

#include <cmath>

#include "dsp/sine_precision.h"
#include "modes/message_frame.h"
#include "modes/symbol_alphabet.h"

namespace RYX {
namespace {

// The single-precision value of 2 pi, widened: the phase step constant and the wrap limit.
constexpr double kTwoPi = 6.2831854820251465;

// Peak of the data envelope by frame position: the start symbols are a little louder.
float peakAmplitude(int position) {
    if (position == 0) return 0.7f;
    if (position == 1) return 0.67499995f;
    return 0.65f;
}

}  // namespace

int frameText(const char* text, int textLength, ReedSolomonCodec& codec, int* frame) {
    if (text == nullptr || textLength < kMinTextLength || textLength > kMaxTextLength) return 0;
    int message[kMaxTextLength + 3];
    message[0] = kStartSymbol1;
    message[1] = kStartSymbol2;
    for (int i = 0; i < textLength; ++i) {
        const int symbol = charToSymbol(static_cast<unsigned char>(text[i]));
        if (symbol < 0) return 0;
        message[kStartSymbols + i] = symbol;
    }
    // The checksum of the first nine text symbols follows the text.
    message[kStartSymbols + textLength] = textChecksum(message + kStartSymbols);
    codec.setMessage(message, textLength + 3);
    codec.computeParity();
    return codec.getCodeword(frame);
}

void FrameSynthesiser::start(Plan plan, const Tuning& tuning, const int* frame, int length) {
    plan_ = plan;
    tuning_ = tuning;
    length_ = frame == nullptr || length < 0 ? 0
              : length < kMaxFrameLength     ? length
                                             : kMaxFrameLength;
    for (int p = 0; p < length_; ++p) frame_[p] = frame[p] & (kSymbolCount - 1);
    symbolExact_ = symbolDurationExact(tuning.sampleRate);
    symbolSamples_ = symbolDuration(tuning.sampleRate);
    inverseRate_ = 1.0 / static_cast<double>(tuning.sampleRate);
    written_ = 0;
    position_ = 0;
    inPosition_ = 0;
    phase_[0] = 0.0;
    phase_[1] = 0.0;
    if (length_ > 0 && symbolSamples_ > 0) enterPosition();
}

void FrameSynthesiser::enterPosition() {
    const float df = symbolExact_;
    fadeIn_ = static_cast<int>(df * 0.075f);
    fadeOut_ = static_cast<int>(df * (position_ == 0 ? 0.05f : 0.1f));
    tail_ = position_ == 0 ? 0 : static_cast<int>(df * 0.05f);
    peak_ = peakAmplitude(position_);
    pair_ = position_ >= kStartSymbols;
    float toneHz[2];
    symbolFrequencies(plan_, frame_[position_], position_, tuning_, toneHz);
    symbolAmplitudes(plan_, frame_[position_], amplitude_);
    step_[0] = static_cast<double>(toneHz[0]) * kTwoPi * inverseRate_;
    step_[1] = static_cast<double>(toneHz[1]) * kTwoPi * inverseRate_;
}

int FrameSynthesiser::render(float* out, int room) {
    if (out == nullptr || room <= 0) return 0;
    const int count = room < remaining() ? room : remaining();
    const int d = symbolSamples_;
    for (int n = 0; n < count; ++n) {
        const int k = inPosition_;
        // Both phases advance at every sample, silent ones included.
        phase_[0] += step_[0];
        if (phase_[0] > kTwoPi) phase_[0] -= kTwoPi;
        phase_[1] += step_[1];
        if (phase_[1] > kTwoPi) phase_[1] -= kTwoPi;

        const int tailStart = d - tail_;
        const int plateauEnd = d - tail_ - fadeOut_;  // last sample at full peak
        SineFloat v = 0.0;                            // the silent tail
        if (k < tailStart) {
            float e = peak_;
            if (k < fadeIn_) {
                e = static_cast<float>(k) * peak_ / static_cast<float>(fadeIn_);
            } else if (k > plateauEnd) {
                e = static_cast<float>(d - k - tail_) * peak_ / static_cast<float>(fadeOut_);
            }
            if (pair_) {
                const float w0 = e * amplitude_[0] * 0.5f;
                const float w1 = e * amplitude_[1] * 0.5f;
                v = static_cast<SineFloat>(w0) * std::sin(static_cast<SineFloat>(phase_[0])) +
                    static_cast<SineFloat>(w1) * std::sin(static_cast<SineFloat>(phase_[1]));
            } else {
                v = static_cast<SineFloat>(e * amplitude_[0]) *
                    std::sin(static_cast<SineFloat>(phase_[0]));
            }
        }
        out[n] = static_cast<float>(v);
        if (++inPosition_ == d) {
            inPosition_ = 0;
            if (++position_ < length_) enterPosition();
        }
    }
    written_ += count;
    return count;
}

}  // namespace RYX
