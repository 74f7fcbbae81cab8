// The encoder base: owns the ten-second sample buffer one transmission is synthesised into, the
// Reed-Solomon codec and an optional audio signature, and hands the audio out slice by slice.
#pragma once

#include <vector>

#include "fec/reed_solomon_codec.h"
#include "modes/tuning.h"

namespace RYX {

// What a caller decides per encode besides the text: the custom band (read by the custom plan
// only) and the gain of the random-tone overlay in dB (0 = unity).
struct SynthesisSettings {
    CustomBand custom;
    float randomToneGainDb = 0.0f;
};

class Encoder {
  public:
    // capacity = capacityFor(sampleRate), allocated here once. The hop steps follow this
    // encoder's own windowSize.
    Encoder(float sampleRate, int bufferSize, int windowSize);
    virtual ~Encoder();
    Encoder(const Encoder&) = delete;
    Encoder& operator=(const Encoder&) = delete;

    // Turns `textLength` characters of `text` into audio in samples() and returns sampleCount().
    // synthMode 1 adds random tones, 2 the melody of `melodyLength` characters of `melody`.
    // `settings` carries the custom band and the random tones' gain of this encode. The base does
    // nothing and returns 0.
    virtual int encode(const char* text, int synthMode, int textLength, const char* melody,
                       int melodyLength, const SynthesisSettings& settings = {});

    // Stores the first min(length, 20 symbol durations) samples of `samples` (92160 at 44100 Hz)
    // as the signature mixed into every later encode; absent samples or length <= 0 clear it.
    // Always returns 0.
    int setAudioSignature(int length, const float* samples);

    // Copies the next min(bufferSize, remaining) samples to dst and advances the read position;
    // 0 when bufferSize <= 0, dst is null or everything was handed out. dst holds bufferSize
    // floats; positions after the returned count are left untouched.
    int readEncoded(float* dst);
    // As readEncoded, but never writes more than `room` samples (room <= 0 writes none).
    int readEncoded(float* dst, int room);
    void rewind() { readPosition_ = 0; }

    const float* samples() const { return samples_.data(); }
    int sampleCount() const { return sampleCount_; }
    int readPosition() const { return readPosition_; }
    int capacity() const { return capacity_; }
    // int(sampleRate x 10) samples (441000 at 44100 Hz); 0 when that is not a positive int (NaN,
    // negative or absurd rates), so such an encoder never holds audio.
    static int capacityFor(float sampleRate);
    int bufferSize() const { return bufferSize_; }
    int windowSize() const { return windowSize_; }
    float sampleRate() const { return sampleRate_; }
    int signatureLength() const { return signatureLength_; }
    const float* signature() const { return signature_.data(); }
    // Twenty symbol durations: the most signature samples kept.
    int signatureLimit() const;

  protected:
    ReedSolomonCodec codec_;
    int signatureLength_ = 0;
    std::vector<float> signature_;
    std::vector<float> samples_;
    float sampleRate_;
    int readPosition_ = 0;
    int capacity_;
    int sampleCount_ = 0;
    int bufferSize_;
    int windowSize_;
};

}  // namespace RYX
