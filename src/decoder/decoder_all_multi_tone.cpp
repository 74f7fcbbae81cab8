#include "decoder/decoder_all_multi_tone.h"

namespace RYX {

DecoderAllMultiTone::DecoderAllMultiTone(const Tuning& tuning, int bufferSize)
    : Decoder(tuning, bufferSize),
      submodes_{PlanReceiver(Plan::Audible, tuning, ringFrames_),
                PlanReceiver(Plan::NonAudible, tuning, ringFrames_),
                PlanReceiver(Plan::Compression, tuning, ringFrames_)} {}

int DecoderAllMultiTone::DecodeAudioBuffer(const float* samples, int count) {
    appendSamples(samples, count);
    while (const float* frame = takeFrame()) {
        if (decodeState_ == 0) {
            const int recognised = DetectStartTokens(frame);
            if (recognised >= 1) {
                decodedMode_ = recognised - 1;
                return beginMessage();
            }
        } else if (decodeState_ <= kSymbolsAfterStart) {
            const int symbol = DecodeSubmodeSymbol(frame, decodedMode_);
            if (symbol >= 0) return acceptSymbol(symbol);
        } else {
            return completeMessage();
        }
    }
    return -1;
}

int DecoderAllMultiTone::GetDecodedData(char* out) { return Decoder::GetDecodedData(out); }

float DecoderAllMultiTone::SumBandFirstHalf(int centreBin, int halfWidth, int limitBin,
                                            std::vector<float>& out) {
    return sumBandHalf(active().readPos, 0, centreBin, halfWidth, limitBin, out);
}

float DecoderAllMultiTone::SumBandSecondHalf(int centreBin, int halfWidth, int limitBin,
                                             std::vector<float>& out) {
    return sumBandHalf(active().readPos, halfRing_, centreBin, halfWidth, limitBin, out);
}

bool DecoderAllMultiTone::submodeFits(int m) const {
    return m >= 0 && m < kSubmodes && submodes_[static_cast<size_t>(m)].fits();
}

int DecoderAllMultiTone::DetectStartTokens(const float* frame) {
    storeSpectrum(frame);
    for (int m = 0; m < kSubmodes; ++m) {
        PlanReceiver& rx = submodes_[static_cast<size_t>(m)];
        if (rx.fits()) {
            MeasureSubmodeFrameTones(m);
            storeListenTones(rx, spectrumWritePos_);
        }
        if (m == 0) advanceWritePos();
        if (rx.fits() && startTest(rx)) return m + 1;
    }
    return 0;
}

int DecoderAllMultiTone::MeasureSubmodeFrameTones(int m) {
    if (!submodeFits(m)) return -1;
    measureFrameTones(submodes_[static_cast<size_t>(m)]);
    return 0;
}

int DecoderAllMultiTone::MeasureSubmodeWindowTones(int m) {
    if (!submodeFits(m)) return -1;
    measureWindowTones(submodes_[static_cast<size_t>(m)]);
    return 0;
}

int DecoderAllMultiTone::DecodeSubmodeSymbol(const float* frame, int m) {
    storeSpectrum(frame);
    advanceWritePos();
    if (!submodeFits(m)) return -1;
    return decideSymbol(submodes_[static_cast<size_t>(m)]);
}

const PlanReceiver& DecoderAllMultiTone::active() const {
    return submodes_[static_cast<size_t>(decodedMode_ >= 0 ? decodedMode_ : 0)];
}

}  // namespace RYX
