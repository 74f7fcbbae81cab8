// The single-plan receivers: they listen for the two start symbols of one frequency plan, then
// cut the following audio into symbol periods, find the two tones that dominate each period and
// map them to a symbol. The four named classes differ only in their plan.
//
// A plan that does not fit the spectrum (see plan_receiver.h: e.g. non-audible or compression at
// 22050 Hz, anything but a low custom band at 16000, 11025 and 8000 Hz, a custom base that is
// negative, huge or not finite) is accepted but never recognises a message; its decoder still
// analyses every frame, so the spectrum stays readable.
#pragma once

#include "decoder/decoder.h"
#include "decoder/plan_receiver.h"
#include "modes/frequency_plan.h"

namespace RYX {

class MultiToneDecoder : public Decoder {
public:
    // decodedMode reads the plan's number (0 audible .. 3 custom) from construction on.
    MultiToneDecoder(Plan plan, const Tuning& tuning, int bufferSize);

    int DecodeAudioBuffer(const float* samples, int count) override;
    int GetDecodedData(char* out) override;
    // Custom plan only, from the tuning's custom band: begin = the snapped base, end = nine spacings above it (one above tone 8); 0.0 otherwise.
    float GetDecodingBeginFreq() override;
    float GetDecodingEndFreq() override;
    float SumBandFirstHalf(int centreBin, int halfWidth, int limitBin,
                           std::vector<float>& out) override;
    float SumBandSecondHalf(int centreBin, int halfWidth, int limitBin,
                            std::vector<float>& out) override;

    Plan plan() const { return receiver_.plan; }
    bool planFits() const { return receiver_.fits(); }
    const PlanReceiver& receiver() const { return receiver_; }

protected:
    int DetectStartTokens(const float* frame) override;
    int DecodeSymbol(const float* frame) override;
    int MeasureFrameTones() override;
    int MeasureWindowTones() override;

    PlanReceiver receiver_;
};

class DecoderAudibleMultiTone : public MultiToneDecoder {
public:
    DecoderAudibleMultiTone(const Tuning& tuning, int bufferSize)
        : MultiToneDecoder(Plan::Audible, tuning, bufferSize) {}
};

class DecoderNonAudibleMultiTone : public MultiToneDecoder {
public:
    DecoderNonAudibleMultiTone(const Tuning& tuning, int bufferSize)
        : MultiToneDecoder(Plan::NonAudible, tuning, bufferSize) {}
};

class DecoderCompressionMultiTone : public MultiToneDecoder {
public:
    DecoderCompressionMultiTone(const Tuning& tuning, int bufferSize)
        : MultiToneDecoder(Plan::Compression, tuning, bufferSize) {}
};

class DecoderCustomMultiTone : public MultiToneDecoder {
public:
    DecoderCustomMultiTone(const Tuning& tuning, int bufferSize)
        : MultiToneDecoder(Plan::Custom, tuning, bufferSize) {}
};

}  // namespace RYX
