// The decoder that listens for the audible, non-audible and compression plans at once (submodes
// 0, 1, 2, tried in this order; the custom plan is not listened for). Everything is shared but the
// three plan receivers (decoder.h); the submode whose start test passes first decodes the message.
//
// A submode whose plan does not fit the spectrum (plan_receiver.h; non-audible and compression at
// 22050 Hz, every plan at 16000 Hz and below) is never measured and never wins.
#pragma once

#include "decoder/decoder.h"

namespace RYX {

class DecoderAllMultiTone : public Decoder {
  public:
    static constexpr int kSubmodes = 3;

    explicit DecoderAllMultiTone(const Tuning& tuning)
        : Decoder(tuning, {Plan::Audible, Plan::NonAudible, Plan::Compression}) {}

    bool submodeFits(int submode) const {
        return submode >= 0 && submode < kSubmodes && receiver(submode).fits();
    }
};

}  // namespace RYX
