// STUB BY THE LEAD so that the API links before the decoders exist; the decoder helper deletes it.
#include "decoder/decoder.h"
#include "decoder/decoder_all_multi_tone.h"
#include "decoder/multi_tone_decoder.h"

namespace RYX {

Decoder::Decoder(float, int, int windowSize, int, int)
    : windowSize_(windowSize), analyzer_(windowSize, 64) {}
Decoder::~Decoder() = default;
int Decoder::DecodeAudioBuffer(const float*, int) { return -1; }
int Decoder::GetDecodedData(char* out) {
    if (out) out[0] = 0;
    return -1;
}
float Decoder::GetDecodingBeginFreq() { return 0.0f; }
float Decoder::GetDecodingEndFreq() { return 0.0f; }
MultiToneDecoder::MultiToneDecoder(Plan plan, float sampleRate, int bufferSize, int windowSize)
    : Decoder(sampleRate, bufferSize, windowSize, 32, 9) {
    decodedMode_ = static_cast<int>(plan);
}
DecoderAllMultiTone::DecoderAllMultiTone(float sampleRate, int bufferSize, int windowSize)
    : Decoder(sampleRate, bufferSize, windowSize, 32, 9) {}

}  // namespace RYX
