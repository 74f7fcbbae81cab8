// The multi-tone encoder: frames a base-32 text as start symbols, data, checksum and Reed-Solomon
// parity, sounds each symbol as a tone pair of one frequency plan with the position's hop, and
// decorates the result with random tones or a melody and the stored audio signature.
//
// The four named encoders below differ only in the plan they pass; all the work is here.
#pragma once

#include "encoder/encoder.h"
#include "encoder/frame_synthesiser.h"
#include "fec/reed_solomon_codec.h"
#include "modes/frequency_plan.h"

namespace RYX {

// The frequency of melody note v (-1..31, -1 for characters outside the alphabet), v semitones
// above 440 Hz: 440 x 2^(v / 12) with the exponent in single precision and the power and product
// in double, rounded to single precision. 12 -> 880 Hz, 31 -> about 2637.02 Hz. A table: the
// power would take the web module 2.7 KB.
float noteFrequency(int note);

class MultiToneEncoder : public Encoder {
  public:
    MultiToneEncoder(Plan plan, float sampleRate, int bufferSize, int windowSize);

    // Encodes `textLength` characters of `text` (kMinTextLength..kMaxTextLength digits and 'a'-'v'
    // in either case, framed by frameText; exactly textLength characters are read) into (textLength
    // + 11) x D samples, D = int(sampleRate x 0.104489796): 92160 at 44100 Hz for nine characters.
    // synthMode 1 adds random tones at settings.randomToneGainDb; synthMode 2 adds the notes of
    // `melody` (melodyLength characters, one per symbol slot, possibly beyond the data), kept only
    // while they fit the ten-second buffer. The audio signature is then mixed into the first
    // samples. A text it cannot frame (null, fewer than 9 or more than 20 characters, a character
    // outside the alphabet, or a frame longer than the buffer) is refused: returns 0 and leaves no
    // audio. The custom plan takes its band from settings.custom at each encode.
    int encode(const char* text, int synthMode, int textLength, const char* melody,
               int melodyLength, const SynthesisSettings& settings = {}) override;

    Plan plan() const { return plan_; }
    // The symbols of the last accepted encode: message symbols, then parity; frameLength() of them
    // (0 after a refusal).
    const int* frame() const { return frame_; }
    int frameLength() const { return frameLength_; }

  private:
    // Adds one random note with a random glide to each of the frame's slots.
    void addRandomTones(float gainDb);
    // Mixes the melody notes 0.75 : 0.25 into their slots; may extend sampleCount.
    void addMelody(const char* melody, int melodyLength);
    // Adds the stored signature to the first samples, limiting those sums to [-1, 1].
    void mixSignature();
    // Overlay envelope of sample l of a slot: ramps of `fade` samples at both ends, peak 0.7.
    float overlayEnvelope(int l, int fade) const;

    Plan plan_;
    Tuning tuning_;                  // rate, window and custom band of the current encode
    int symbolSamples_ = 0;          // D of the current encode
    float symbolDurationExact_ = 0;  // Df of the current encode
    int frame_[kMaxFrameLength] = {};
    int frameLength_ = 0;
    FrameSynthesiser synthesiser_;  // sounds the frame into the buffer
};

// Mode 2: tones from about 3.3 kHz, all at amplitude 1.
class EncoderAudibleMultiTone : public MultiToneEncoder {
  public:
    EncoderAudibleMultiTone(float sampleRate, int bufferSize, int windowSize)
        : MultiToneEncoder(Plan::Audible, sampleRate, bufferSize, windowSize) {}
};

// Modes 3 and 5: tones from about 17.8 kHz.
class EncoderNonAudibleMultiTone : public MultiToneEncoder {
  public:
    EncoderNonAudibleMultiTone(float sampleRate, int bufferSize, int windowSize)
        : MultiToneEncoder(Plan::NonAudible, sampleRate, bufferSize, windowSize) {}
};

// Mode 4: tones from about 14 kHz.
class EncoderCompressionMultiTone : public MultiToneEncoder {
  public:
    EncoderCompressionMultiTone(float sampleRate, int bufferSize, int windowSize)
        : MultiToneEncoder(Plan::Compression, sampleRate, bufferSize, windowSize) {}
};

// Mode 6: tones from the custom band given with every encode.
class EncoderCustomMultiTone : public MultiToneEncoder {
  public:
    EncoderCustomMultiTone(float sampleRate, int bufferSize, int windowSize)
        : MultiToneEncoder(Plan::Custom, sampleRate, bufferSize, windowSize) {}
};

}  // namespace RYX
