// The receiver that listens for the audible, non-audible and compression plans at once (submodes
// 0, 1, 2; the custom plan is not listened for). One analyser, one spectrum ring and one symbol
// clock are shared; each submode keeps its own tone bins, band, start pattern, listening history,
// read position and records (submodes_[m]). The first submode whose start test passes on a frame,
// in the order 0, 1, 2, wins the message, which is then decoded in that plan alone.
//
// Slots: per frame the spectrum is stored at spectrumWritePos; submode 0 stores its two strongest
// tones there and the write position then advances, so submodes 1 and 2 store theirs one slot
// later. Submode 0's test window therefore ends with the slot about to be overwritten, those of
// 1 and 2 with the newest frame.
//
// A submode whose plan does not fit the spectrum (plan_receiver.h; non-audible and compression at
// 22050 Hz, every plan at 16000 Hz and below) is skipped: it is never measured and never wins.
#pragma once

#include <array>

#include "decoder/decoder.h"
#include "decoder/plan_receiver.h"

namespace RYX {

class DecoderAllMultiTone : public Decoder {
public:
    static constexpr int kSubmodes = 3;

    // decodedMode reads -1 until the first message starts, then its submode.
    DecoderAllMultiTone(const Tuning& tuning, int bufferSize);

    int DecodeAudioBuffer(const float* samples, int count) override;
    int GetDecodedData(char* out) override;
    // Band sums over the window of the submode last recognised (submode 0 before any message).
    float SumBandFirstHalf(int centreBin, int halfWidth, int limitBin,
                           std::vector<float>& out) override;
    float SumBandSecondHalf(int centreBin, int halfWidth, int limitBin,
                            std::vector<float>& out) override;

    bool submodeFits(int submode) const;
    const PlanReceiver& submode(int m) const { return submodes_[static_cast<size_t>(m)]; }

protected:
    // Listening on all fitting submodes; m + 1 for the first whose start test passes, else 0.
    int DetectStartTokens(const float* frame) override;

    // The per-submode forms of the measuring and deciding steps.
    int MeasureSubmodeFrameTones(int m);
    int MeasureSubmodeWindowTones(int m);
    int DecodeSubmodeSymbol(const float* frame, int m);

private:
    const PlanReceiver& active() const;

    std::array<PlanReceiver, kSubmodes> submodes_;
};

}  // namespace RYX
