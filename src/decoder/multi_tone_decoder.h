// STUB BY THE LEAD: the decoder helper replaces this file. Constructors are fixed.
#pragma once

#include "decoder/decoder.h"
#include "modes/frequency_plan.h"

namespace RYX {

class MultiToneDecoder : public Decoder {
public:
    MultiToneDecoder(Plan plan, float sampleRate, int bufferSize, int windowSize);
};

class DecoderAudibleMultiTone : public MultiToneDecoder {
public:
    DecoderAudibleMultiTone(float sampleRate, int bufferSize, int windowSize)
        : MultiToneDecoder(Plan::Audible, sampleRate, bufferSize, windowSize) {}
};
class DecoderNonAudibleMultiTone : public MultiToneDecoder {
public:
    DecoderNonAudibleMultiTone(float sampleRate, int bufferSize, int windowSize)
        : MultiToneDecoder(Plan::NonAudible, sampleRate, bufferSize, windowSize) {}
};
class DecoderCompressionMultiTone : public MultiToneDecoder {
public:
    DecoderCompressionMultiTone(float sampleRate, int bufferSize, int windowSize)
        : MultiToneDecoder(Plan::Compression, sampleRate, bufferSize, windowSize) {}
};
class DecoderCustomMultiTone : public MultiToneDecoder {
public:
    DecoderCustomMultiTone(float sampleRate, int bufferSize, int windowSize)
        : MultiToneDecoder(Plan::Custom, sampleRate, bufferSize, windowSize) {}
};

}  // namespace RYX
