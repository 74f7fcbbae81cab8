// One transmission as samples, from its framed symbols, written block by block: no buffer holds
// the whole message, and the samples are the same however the blocks are cut.
//
// Frame position p lasts D = symbolDuration(rate) samples (2304 at 22050 Hz): its tone pair (the
// start positions sound their lower tone alone) at the position's hop, peak 0.7 at position 0,
// 0.675 at 1 and 0.65 after, with a linear fade-in of int(0.075 Df) samples, a fade-out of
// int(0.05 Df) (position 0) or int(0.1 Df) and, after position 0, int(0.05 Df) silent samples
// (Df = symbolDurationExact(rate); at 22050 Hz: fade-in 172, fade-out 115 or 230, tail 115). Both
// phases run on from position to position, silent samples included, in double precision.
//
// Cost per sample: two sines, in double precision on the desktop and in single precision in the
// small build (within 1e-6 of the desktop's samples; dsp/sine_precision.h); nothing is allocated.
#pragma once

#include "fec/reed_solomon_codec.h"
#include "modes/frequency_plan.h"

namespace RYX {

// Texts of kMinTextLength (9) characters make the usual 20-position frame; longer ones, up to
// kMaxTextLength, still frame (textLength + 11 positions) although the receivers expect 20.
constexpr int kMinTextLength = kTextSymbols;
constexpr int kMaxTextLength = 20;
constexpr int kMaxFrameLength = kMaxTextLength + 3 + ReedSolomonCodec::kParityLength;

// Frames `textLength` characters of `text` (digits and 'a'-'v' in either case; exactly
// textLength are read): start symbols, text, checksum, then the parity `codec` computes, into
// `frame` (room for kMaxFrameLength). Returns the frame's length, textLength + 11 (20 for nine
// characters), or 0 for null, a length outside kMinTextLength..kMaxTextLength or a character
// outside the alphabet.
int frameText(const char* text, int textLength, ReedSolomonCodec& codec, int* frame);

class FrameSynthesiser {
  public:
    // Starts the transmission of frame[0 .. length) (symbols 0..31, at most kMaxFrameLength, the
    // rest ignored) in `plan` under `tuning`, sample 0 first. A rate without whole symbols
    // (symbolDuration <= 0) gives no samples.
    void start(Plan plan, const Tuning& tuning, const int* frame, int length);
    // Writes the next min(room, remaining()) samples into out and returns that count (0 at the
    // end, for room <= 0 and for a null out).
    int render(float* out, int room);
    int remaining() const { return total() - written_; }
    int total() const { return symbolSamples_ > 0 ? length_ * symbolSamples_ : 0; }
    int symbolSamples() const { return symbolSamples_; }

  private:
    // The tones, amplitudes and envelope of position_.
    void enterPosition();

    Plan plan_ = Plan::Audible;
    Tuning tuning_;
    int frame_[kMaxFrameLength] = {};
    int length_ = 0;
    int symbolSamples_ = 0;     // D
    float symbolExact_ = 0.0f;  // Df
    int written_ = 0;           // samples written since start
    int position_ = 0;          // frame position being sounded
    int inPosition_ = 0;        // its next sample
    double inverseRate_ = 0.0;
    double phase_[2] = {0.0, 0.0};
    double step_[2] = {0.0, 0.0};
    float amplitude_[2] = {0.0f, 0.0f};
    float peak_ = 0.0f;
    int fadeIn_ = 0;
    int fadeOut_ = 0;
    int tail_ = 0;
    bool pair_ = false;  // both tones (data positions) or the lower alone (start positions)
};

}  // namespace RYX
