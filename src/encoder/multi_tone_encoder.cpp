#include "encoder/multi_tone_encoder.h"

#include <algorithm>
#include <cmath>
#include <ctime>
#include <random>

#include "modes/message_frame.h"
#include "modes/symbol_alphabet.h"

namespace RYX {

float noteFrequency(int note) {
    static constexpr float kNotes[kSymbolCount + 1] = {
        415.304688f, 440.0f,      466.163757f, 493.883301f, 523.25116f,  554.365295f, 587.329529f,
        622.253967f, 659.255127f, 698.456482f, 739.988831f, 783.990845f, 830.609436f, 880.0f,
        932.327576f, 987.766602f, 1046.50232f, 1108.73059f, 1174.65906f, 1244.50793f, 1318.51025f,
        1396.91284f, 1479.97766f, 1567.98181f, 1661.21875f, 1760.0f,     1864.65491f, 1975.53333f,
        2093.00464f, 2217.46094f, 2349.31836f, 2489.01587f, 2637.02026f};
    return kNotes[note + 1];
}

MultiToneEncoder::MultiToneEncoder(Plan plan, float sampleRate, int bufferSize, int windowSize)
    : Encoder(sampleRate, bufferSize, windowSize),
      plan_(plan),
      tuning_{sampleRate, windowSize, CustomBand{}} {}

int MultiToneEncoder::encode(const char* text, int synthMode, int textLength, const char* melody,
                             int melodyLength, const SynthesisSettings& settings) {
    sampleCount_ = 0;
    readPosition_ = 0;
    frameLength_ = frameText(text, textLength, codec_, frame_);
    if (frameLength_ == 0) return 0;
    tuning_.custom = settings.custom;

    symbolDurationExact_ = symbolDurationExact(sampleRate_);
    symbolSamples_ = symbolDuration(sampleRate_);
    if (symbolSamples_ <= 0 ||
        static_cast<int64_t>(frameLength_) * symbolSamples_ > static_cast<int64_t>(capacity_)) {
        frameLength_ = 0;
        return 0;
    }

    std::fill(samples_.begin(), samples_.end(), 0.0f);
    synthesiser_.start(plan_, tuning_, frame_, frameLength_);
    sampleCount_ = synthesiser_.render(samples_.data(), synthesiser_.total());
    readPosition_ = 0;

    if (synthMode == 1) {
        addRandomTones(settings.randomToneGainDb);
    } else if (synthMode == 2) {
        addMelody(melody, melodyLength);
    }
    mixSignature();
    return sampleCount_;
}

float MultiToneEncoder::overlayEnvelope(int l, int fade) const {
    if (l < fade) return static_cast<float>(l) * 0.7f / static_cast<float>(fade);
    if (l > symbolSamples_ - fade) {
        return static_cast<float>(symbolSamples_ - l) * 0.7f / static_cast<float>(fade);
    }
    return 0.7f;
}

void MultiToneEncoder::addRandomTones(float gainDb) {
    const int d = symbolSamples_;
    const int fade = static_cast<int>(symbolDurationExact_ * 0.075f);
    // 10^(gainDb / 20) as e^(gainDb ln 10 / 20): the web module then needs no powf.
    const float gain = std::exp(gainDb * 0.115129255f);
    // A generator of this call's own, seeded from the clock: encoders on other threads share no
    // random state with this one.
    std::minstd_rand random(static_cast<unsigned>(std::time(nullptr)));
    for (int q = 0; q < frameLength_; ++q) {
        const float note =
            noteFrequency(static_cast<int>(random() % static_cast<unsigned>(kSymbolCount)));
        const int g = static_cast<int>(random() % 500u) - 250;
        const float glide = (static_cast<float>(g) + note) - note;
        float* out = samples_.data() + static_cast<size_t>(q) * static_cast<size_t>(d);
        for (int l = 0; l < d; ++l) {
            // The angle restarts at 0 in every slot; it is not accumulated.
            const float freq = (static_cast<float>(l) / static_cast<float>(d)) * glide + note;
            const float angle =
                ((static_cast<float>(l) / sampleRate_) / (1.0f / freq)) * 2.0f * 3.1415927f;
            out[l] += gain * overlayEnvelope(l, fade) * std::sin(angle);
        }
    }
}

void MultiToneEncoder::addMelody(const char* melody, int melodyLength) {
    if (melody == nullptr || melodyLength <= 0) return;
    const int d = symbolSamples_;
    const int fade = static_cast<int>(symbolDurationExact_ * 0.075f);
    // Notes that would run past the ten-second buffer are dropped (95 fit at 44100 Hz).
    const int notes = std::min(melodyLength, capacity_ / d);
    for (int q = 0; q < notes; ++q) {
        // Characters outside the alphabet play note -1, a semitone below 440 Hz.
        const int v = charToSymbol(static_cast<unsigned char>(melody[q]));
        const float w = noteFrequency(v) * 6.2831855f;
        float* out = samples_.data() + static_cast<size_t>(q) * static_cast<size_t>(d);
        for (int l = 0; l < d; ++l) {
            out[l] = std::sin((static_cast<float>(l) / sampleRate_) * w) *
                         (overlayEnvelope(l, fade) * 0.25f) +
                     out[l] * 0.75f;
        }
    }
    sampleCount_ = std::max(sampleCount_, notes * d);
}

void MultiToneEncoder::mixSignature() {
    if (signatureLength_ <= 0 || signature_.empty()) return;
    const int n = std::min({signatureLength_, sampleCount_, static_cast<int>(signature_.size())});
    for (int i = 0; i < n; ++i) {
        float v = signature_[static_cast<size_t>(i)] + samples_[static_cast<size_t>(i)];
        if (v >= 1.0f) v = 1.0f;
        if (v <= -1.0f) v = -1.0f;
        samples_[static_cast<size_t>(i)] = v;
    }
}

}  // namespace RYX
