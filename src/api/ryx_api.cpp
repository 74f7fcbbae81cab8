#include "ryxsound/ryx_api.h"

#include <cmath>
#include <cstdio>
#include <new>

#include "api/context.h"
#include "api/quality_measures.h"
#include "api/shared_settings.h"
#include "decoder/decoder_all_multi_tone.h"
#include "decoder/multi_tone_decoder.h"
#include "encoder/multi_tone_encoder.h"
#include "modes/frequency_plan.h"

namespace RYX {

SharedSettings& sharedSettings() {
    static SharedSettings settings;
    return settings;
}

}  // namespace RYX

namespace {

const char kVersion[] = "RyxCoreLib version " RYX_VERSION_STRING " [PyRyxSDK]";
const char kVersionInfo[] = "RyxSound Python SDK";
constexpr int kCustomDecodedMode = 3;

// The Context's tuning with the custom band as the shared settings hold it now.
RYX::Tuning currentTuning(const Context* c) {
    return {c->sampleRate, c->windowSize, RYX::sharedSettings().custom};
}

// Builds the pair of `mode` into the Context, both with the Context's own rate and window and the
// current custom band; false for an unknown mode.
bool buildPair(int mode, Context* c) {
    using namespace RYX;
    const float rate = c->sampleRate;
    const int32_t size = c->bufferSize;
    const int32_t window = c->windowSize;
    const Tuning tuning = currentTuning(c);
    switch (mode) {
        case RYX_MODE_AUDIBLE:
            c->encoder.reset(new EncoderAudibleMultiTone(rate, size, window));
            c->decoder.reset(new DecoderAudibleMultiTone(tuning));
            return true;
        case RYX_MODE_NONAUDIBLE:
            c->encoder.reset(new EncoderNonAudibleMultiTone(rate, size, window));
            c->decoder.reset(new DecoderNonAudibleMultiTone(tuning));
            return true;
        case RYX_MODE_COMPRESSION:
            c->encoder.reset(new EncoderCompressionMultiTone(rate, size, window));
            c->decoder.reset(new DecoderCompressionMultiTone(tuning));
            return true;
        case RYX_MODE_ALL:
            c->encoder.reset(new EncoderNonAudibleMultiTone(rate, size, window));
            c->decoder.reset(new DecoderAllMultiTone(tuning));
            return true;
        case RYX_MODE_CUSTOM:
            c->encoder.reset(new EncoderCustomMultiTone(rate, size, window));
            c->decoder.reset(new DecoderCustomMultiTone(tuning));
            return true;
        default:
            return false;
    }
}

void dropPair(Context* c) {
    c->encoder.reset();
    c->decoder.reset();
}

bool sampleRateSupported(float rate) {
    return RYX::sampleRateInRange(rate);
}

RYX::Encoder* encoderOf(Context* c) {
    return c && c->configured() ? c->encoder.get() : nullptr;
}
RYX::Decoder* decoderOf(Context* c) {
    return c && c->configured() ? c->decoder.get() : nullptr;
}

}  // namespace

extern "C" {

Context* RYX_Create(void) {
    return new (std::nothrow) Context();
}

int RYX_Configure(int mode, float sampleRate, int32_t bufferSize, Context* context) {
    if (!context) return -1;
    context->bufferSize = bufferSize;
    context->sampleRate = sampleRate;
    context->windowSize = RYX::windowSizeFor(sampleRate);
    dropPair(context);
    if (!sampleRateSupported(sampleRate)) return -1;
    try {
        if (buildPair(mode, context)) return 0;
    } catch (const std::bad_alloc&) {
    }
    dropPair(context);
    return -1;
}

void RYX_Destroy(Context* context) {
    delete context;
}

int RYX_SetCustomBaseFreq(float baseFreq, int stepParam, Context* context) {
    RYX::CustomBand& custom = RYX::sharedSettings().custom;
    if (!context || !context->decoder || context->decoder->decodedMode() != kCustomDecodedMode) {
        custom = {baseFreq, stepParam};
        return 0;
    }
    dropPair(context);
    custom = {baseFreq, stepParam};
    try {
        buildPair(RYX_MODE_CUSTOM, context);
    } catch (const std::bad_alloc&) {
        dropPair(context);
    }
    return 0;
}

const char* RYX_GetVersion(void) {
    return kVersion;
}

int RYX_GetVersionInfo(char* buffer) {
    if (!buffer) return -1;
    return std::snprintf(buffer, sizeof kVersionInfo, "%s", kVersionInfo);
}

int RYX_SetAudioSignature(int32_t length, const float* source, Context* context) {
    RYX::Encoder* encoder = encoderOf(context);
    return encoder ? encoder->setAudioSignature(length, source) : -1;
}

int RYX_EncodeDataToAudioBuffer(const char* text, int32_t textLength, int32_t synthMode,
                                const char* melody, int32_t melodyLength, Context* context) {
    RYX::Encoder* encoder = encoderOf(context);
    if (!encoder) return -1;
    const RYX::SharedSettings& shared = RYX::sharedSettings();
    return encoder->encode(text, synthMode, textLength, melody, melodyLength,
                           {shared.custom, shared.synthVolumeDb});
}

int RYX_GetEncodedAudioBuffer(float* out, Context* context) {
    RYX::Encoder* encoder = encoderOf(context);
    return encoder && out ? encoder->readEncoded(out) : 0;
}

int RYX_GetEncodedAudioSlice(float* out, int32_t room, Context* context) {
    RYX::Encoder* encoder = encoderOf(context);
    return encoder && out && room > 0 ? encoder->readEncoded(out, room) : 0;
}

int RYX_ResetEncodedAudioBuffer(Context* context) {
    RYX::Encoder* encoder = encoderOf(context);
    if (!encoder) return -1;
    encoder->rewind();
    return 0;
}

int RYX_SetSynthMode(int, Context*) {
    return 0;
}

int RYX_SetSynthVolume(float volume, Context*) {
    RYX::sharedSettings().synthVolumeDb = volume;
    return 0;
}

int RYX_DecodeAudioBuffer(const float* input, int count, Context* context) {
    RYX::Decoder* decoder = decoderOf(context);
    return decoder ? decoder->DecodeAudioBuffer(input, input ? count : 0) : -1;
}

int RYX_GetDecodedData(char* out, Context* context) {
    RYX::Decoder* decoder = decoderOf(context);
    return decoder && out ? decoder->GetDecodedData(out) : -1;
}

float RYX_GetConfidence(Context* context) {
    RYX::Decoder* decoder = decoderOf(context);
    return decoder ? RYX::confidence(decoder->meanToneSnr(), decoder->unchangedRatio()) : 0.0f;
}

float RYX_GetConfidenceError(Context* context) {
    RYX::Decoder* decoder = decoderOf(context);
    return decoder ? decoder->unchangedRatio() : 0.0f;
}

float RYX_GetConfidenceNoise(Context* context) {
    RYX::Decoder* decoder = decoderOf(context);
    return decoder ? decoder->meanToneSnr() : 0.0f;
}

float RYX_GetReceivedRyxsVolume(Context* context) {
    RYX::Decoder* decoder = decoderOf(context);
    return decoder ? RYX::volumeDb(decoder->receivedLevel()) : 0.0f;
}

int RYX_GetDecodedMode(Context* context) {
    RYX::Decoder* decoder = decoderOf(context);
    return decoder ? decoder->decodedMode() : -1;
}

// The custom decoder reports the band of the custom settings as they stand now.
float RYX_GetDecodingBeginFreq(Context* context) {
    RYX::Decoder* decoder = decoderOf(context);
    if (!decoder || decoder->decodedMode() != kCustomDecodedMode) return 0.0f;
    return RYX::customBandBegin(currentTuning(context));
}

float RYX_GetDecodingEndFreq(Context* context) {
    RYX::Decoder* decoder = decoderOf(context);
    if (!decoder || decoder->decodedMode() != kCustomDecodedMode) return 0.0f;
    return RYX::customBandEnd(currentTuning(context));
}

int RYX_GetSpectrum(float* out, Context* context) {
    RYX::Decoder* decoder = decoderOf(context);
    if (!decoder) return -1;
    if (!out) return 0;
    const RYX::SpectrumAnalyzer& analyzer = decoder->analyzer();
    const int count = analyzer.fftLength() / 2;
    const float* power = analyzer.powerSpectrum();
    for (int i = 0; i < count; ++i) out[i] = power[i];
    return count;
}

}  // extern "C"
