// The single-plan decoders: they listen for the two start symbols of one frequency plan, then cut
// the following audio into symbol periods, find the two tones that dominate each period and map
// them to a symbol. The four named classes differ only in their plan.
//
// A plan that does not fit the spectrum (see plan_receiver.h: e.g. non-audible or compression at
// 22050 Hz, anything but a low custom band at 16000, 11025 and 8000 Hz, a custom base that is
// negative, huge or not finite) is accepted but never recognises a message; its decoder still
// analyses every frame, so the spectrum stays readable.
#pragma once

#include "decoder/decoder.h"
#include "modes/frequency_plan.h"

namespace RYX {

class MultiToneDecoder : public Decoder {
  public:
    MultiToneDecoder(Plan plan, const Tuning& tuning) : Decoder(tuning, {plan}) {}

    Plan plan() const { return receiver(0).plan(); }
    bool planFits() const { return receiver(0).fits(); }
};

class DecoderAudibleMultiTone : public MultiToneDecoder {
  public:
    explicit DecoderAudibleMultiTone(const Tuning& tuning)
        : MultiToneDecoder(Plan::Audible, tuning) {}
};

class DecoderNonAudibleMultiTone : public MultiToneDecoder {
  public:
    explicit DecoderNonAudibleMultiTone(const Tuning& tuning)
        : MultiToneDecoder(Plan::NonAudible, tuning) {}
};

class DecoderCompressionMultiTone : public MultiToneDecoder {
  public:
    explicit DecoderCompressionMultiTone(const Tuning& tuning)
        : MultiToneDecoder(Plan::Compression, tuning) {}
};

class DecoderCustomMultiTone : public MultiToneDecoder {
  public:
    explicit DecoderCustomMultiTone(const Tuning& tuning)
        : MultiToneDecoder(Plan::Custom, tuning) {}
};

}  // namespace RYX
