#include "decoder/multi_tone_decoder.h"

namespace RYX {

MultiToneDecoder::MultiToneDecoder(Plan plan, const Tuning& tuning, int bufferSize)
    : Decoder(tuning, bufferSize), receiver_(plan, tuning, ringFrames_) {
    decodedMode_ = static_cast<int>(plan);
}

int MultiToneDecoder::DecodeAudioBuffer(const float* samples, int count) {
    appendSamples(samples, count);
    while (const float* frame = takeFrame()) {
        if (decodeState_ == 0) {
            if (DetectStartTokens(frame) == 1) return beginMessage();
        } else if (decodeState_ <= kSymbolsAfterStart) {
            const int symbol = DecodeSymbol(frame);
            if (symbol >= 0) return acceptSymbol(symbol);
        } else {
            return completeMessage();
        }
    }
    return -1;
}

int MultiToneDecoder::GetDecodedData(char* out) { return Decoder::GetDecodedData(out); }

float MultiToneDecoder::GetDecodingBeginFreq() {
    return plan() == Plan::Custom ? customBandBegin(tuning_) : 0.0f;
}

float MultiToneDecoder::GetDecodingEndFreq() {
    return plan() == Plan::Custom ? customBandEnd(tuning_) : 0.0f;
}

float MultiToneDecoder::SumBandFirstHalf(int centreBin, int halfWidth, int limitBin,
                                         std::vector<float>& out) {
    return sumBandHalf(receiver_.readPos, 0, centreBin, halfWidth, limitBin, out);
}

float MultiToneDecoder::SumBandSecondHalf(int centreBin, int halfWidth, int limitBin,
                                          std::vector<float>& out) {
    return sumBandHalf(receiver_.readPos, halfRing_, centreBin, halfWidth, limitBin, out);
}

int MultiToneDecoder::DetectStartTokens(const float* frame) {
    storeSpectrum(frame);
    if (!receiver_.fits()) {
        advanceWritePos();
        return 0;
    }
    MeasureFrameTones();
    storeListenTones(receiver_, spectrumWritePos_);
    advanceWritePos();
    return startTest(receiver_) ? 1 : 0;
}

int MultiToneDecoder::DecodeSymbol(const float* frame) {
    storeSpectrum(frame);
    advanceWritePos();
    return decideSymbol(receiver_);
}

int MultiToneDecoder::MeasureFrameTones() {
    if (!receiver_.fits()) return -1;
    measureFrameTones(receiver_);
    return 0;
}

int MultiToneDecoder::MeasureWindowTones() {
    if (!receiver_.fits()) return -1;
    measureWindowTones(receiver_);
    return 0;
}

}  // namespace RYX
