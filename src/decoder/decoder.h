// The decoder base: the store of captured samples and its cutting into overlapping analysis
// frames, the spectrum analyser, the ring of recent spectra and per-frame records, the state of
// the message being received, the Reed-Solomon codec and the quality measures the API reports.
// The concrete receivers supply the frequency plan and the decisions.
//
// PUBLIC SURFACE FIXED BY THE LEAD (used by src/api); the decoder helper owns the rest.
#pragma once

#include <vector>

#include "dsp/spectrum_analyzer.h"

namespace RYX {

class Decoder {
public:
    Decoder(float sampleRate, int bufferSize, int windowSize, int alphabetSize, int toneCount);
    virtual ~Decoder();
    Decoder(const Decoder&) = delete;
    Decoder& operator=(const Decoder&) = delete;

    // Appends `count` samples and analyses every complete frame: -1 nothing new, -2 a message
    // starts, 0..31 a symbol, -3 the message is complete. count <= 0 or null samples append
    // nothing but still process queued frames.
    virtual int DecodeAudioBuffer(const float* samples, int count);
    // After -3: writes nine characters and a NUL to out (10 bytes); 9 checksum matched, -9 not;
    // -1 and an empty text when no complete message is queued.
    virtual int GetDecodedData(char* out);
    virtual float GetDecodingBeginFreq();
    virtual float GetDecodingEndFreq();

    int decodedMode() const { return decodedMode_; }
    float meanToneSnr() const { return meanToneSnr_; }
    float unchangedRatio() const { return unchangedRatio_; }
    float receivedLevel() const { return receivedLevel_; }
    const SpectrumAnalyzer& analyzer() const { return analyzer_; }
    int windowSize() const { return windowSize_; }

protected:
    int windowSize_;
    int decodedMode_ = -1;
    float meanToneSnr_ = 0.0f;
    float unchangedRatio_ = 0.0f;
    float receivedLevel_ = 0.0f;
    SpectrumAnalyzer analyzer_;
};

}  // namespace RYX
