// The record behind every API call: one encoder and one decoder, always built together from the
// same sample rate, buffer size and window size, or both absent (an empty Context).
#pragma once

#include <cstdint>
#include <memory>

#include "decoder/decoder.h"
#include "encoder/encoder.h"

struct Context {
    std::unique_ptr<RYX::Encoder> encoder;
    std::unique_ptr<RYX::Decoder> decoder;
    float sampleRate = 0.0f;  // Hz, as last configured
    int32_t bufferSize = 0;   // samples per read-out
    int32_t windowSize = 0;   // analysis length derived from sampleRate

    bool configured() const { return encoder && decoder; }
};
