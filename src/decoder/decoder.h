// The decoder base: the store of captured samples and its cutting into overlapping analysis
// frames, the spectrum analyser, the ring of recent spectra, the state of the message being
// received, the Reed-Solomon codec and the quality measures the API reports. The concrete
// receivers (multi_tone_decoder.h, decoder_all_multi_tone.h) supply the frequency plans and drive
// the listening and receiving steps, which live here once and take the plan's PlanReceiver.
//
// Sizes, N = windowSize, R = ringFrames (frames in two symbol periods), H = R / 2:
//   sampleRate  frameAdvance   R    H   startTolerance
//     48000          64       157   78        4
//     44100         256        36   18        1
//     22050         128        36   18        1
//     16000          64        52   26        1
//     11025          64        36   18        1
//      8000          64        26   13        1
// Successive frames overlap by N - frameAdvance samples.
//
// Timing of a message. The start test looks back over R frames (two symbol periods): the first H
// need tone 0 strongest, the rest tone 2 among the two strongest. Once it passes, the symbol clock
// is anchored at that ring slot and advances R / 2 frames per symbol in double precision, so with
// odd R (157 at 48000 Hz) the periods start 78 and 79 frames apart alternately and never drift.
// A message that starts at the very first sample a fresh decoder is fed is not recognised; a
// fraction of a second of audio before it is enough.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "decoder/plan_receiver.h"
#include "dsp/spectrum_analyzer.h"
#include "fec/reed_solomon_codec.h"

namespace RYX {

class Decoder {
public:
    // The tuning fixes rate, window size N, hop steps and custom band for the decoder's life.
    // frameAdvance: 256 at exactly 44100 Hz, 128 at 22050, 64 otherwise;
    // R = int(sampleRate x 0.104489796 x 2 / frameAdvance + 0.5) in single precision (at least
    // 2); startTolerance = int(R x 0.5 x 0.05 + 0.5).
    Decoder(const Tuning& tuning, int bufferSize);
    virtual ~Decoder();
    Decoder(const Decoder&) = delete;
    Decoder& operator=(const Decoder&) = delete;

    // Appends `count` samples and analyses every complete frame until one yields an event: -1
    // nothing new, -2 a message starts, 0..31 a symbol, -3 the message is complete. Samples never
    // get lost: the store grows when a call brings more than it holds, and whatever is left after
    // an event waits for the next call (a call with count 0 processes it). count <= 0 or null
    // samples append nothing but still process queued frames. The base does nothing: -1.
    virtual int DecodeAudioBuffer(const float* samples, int count);
    // After -3: corrects the oldest complete message, writes its nine characters and a NUL to out
    // (10 bytes) and returns 9 when the message is intact (error correction gave a codeword that
    // starts with the start symbols, and the checksum matches), -9 when not. Messages completed
    // behind an unfetched one wait for the following calls. With no complete message queued it returns -1,
    // writes an empty text and changes nothing; a null out returns -1 and consumes nothing.
    virtual int GetDecodedData(char* out);
    // Decoding band in Hz; 0.0 except for the custom plan.
    virtual float GetDecodingBeginFreq();
    virtual float GetDecodingEndFreq();

    // Not used by decoding; the base returns -1.
    virtual int AttenuateDecayingTones(int limitBin, const int* bins);
    // For each of the H frames of the first (second) half of the current window, the power
    // summed over bins max(centreBin - halfWidth, 0) up to, not including,
    // min(centreBin + halfWidth, limitBin, N/2 + 1), appended to out; returns the total / H.
    // Not used by decoding; the base returns -1.0.
    virtual float SumBandFirstHalf(int centreBin, int halfWidth, int limitBin,
                                   std::vector<float>& out);
    virtual float SumBandSecondHalf(int centreBin, int halfWidth, int limitBin,
                                    std::vector<float>& out);

    int decodedMode() const { return decodedMode_; }
    float meanToneSnr() const { return meanToneSnr_; }
    float unchangedRatio() const { return unchangedRatio_; }
    float receivedLevel() const { return receivedLevel_; }
    // Bit i set when error correction changed message symbol i (0..11: start symbols, nine
    // characters, checksum) of the message last fetched by GetDecodedData.
    uint32_t correctedMask() const { return correctedMask_; }
    const SpectrumAnalyzer& analyzer() const { return analyzer_; }
    int windowSize() const { return windowSize_; }
    const Tuning& tuning() const { return tuning_; }

    float sampleRate() const { return sampleRate_; }
    int bufferSize() const { return bufferSize_; }
    int frameAdvance() const { return frameAdvance_; }
    int ringFrames() const { return ringFrames_; }
    int startTolerance() const { return startTolerance_; }
    // 0 listening, 1..18 the next symbol awaited, 19 complete (reported on the next frame).
    int decodeState() const { return decodeState_; }
    // Frames cut from the sample store since construction.
    long long framesTaken() const { return framesTaken_; }
    // Samples held but not yet consumed (at most N - 1 after a call that returned -1).
    size_t unconsumedSamples() const { return sampleAvailable_; }
    size_t sampleRingSize() const { return sampleRingSize_; }
    // Symbols received and not yet fetched, oldest first.
    const std::vector<int>& receivedSymbols() const { return receivedSymbols_; }

protected:
    static constexpr int kMessageSymbols = 12;   // start, data and checksum symbols
    static constexpr int kFrameSymbols = 20;     // plus 8 parity symbols
    static constexpr int kSymbolsAfterStart = 18;

    // The steps, per plan (virtual in the concrete classes, base results -1).
    // Listening: analyses the frame and runs the start test; 1 (or submode + 1) when it passed.
    virtual int DetectStartTokens(const float* frame);
    // Receiving: analyses the frame; the decided symbol when a symbol period completes, else -1.
    virtual int DecodeSymbol(const float* frame);
    // Tone levels of the newest spectrum / of the current symbol period; 0 when done.
    virtual int MeasureFrameTones();
    virtual int MeasureWindowTones();

    // Framing. Appends samples (growing the store if needed; nothing for null or count <= 0).
    void appendSamples(const float* samples, int count);
    // The next frame of N samples, advancing by frameAdvance; null when fewer than N are held.
    // The pointer stays valid until the next append.
    const float* takeFrame();

    // State transitions of a message: start recognised (-2), symbol stored (the symbol),
    // completion (-3).
    int beginMessage();
    int acceptSymbol(int symbol);
    int completeMessage();

    // Analyses the frame and copies its spectrum into spectrumRing[spectrumWritePos] (the
    // position is not advanced).
    void storeSpectrum(const float* frame);
    void advanceWritePos() { spectrumWritePos_ = (spectrumWritePos_ + 1) % ringFrames_; }

    // The listening and receiving steps on one plan.
    // toneSnr[j] = 20 log10(mean of the three bins around tone j / band mean) of the newest
    // spectrum.
    void measureFrameTones(const PlanReceiver& rx);
    // Orders the tones by toneSnr, largest first (bubble sort, swapping only on strictly greater,
    // so equal and undefined levels keep ascending tone order) and stores the first two into
    // rx's listen arrays at `slot`.
    void storeListenTones(PlanReceiver& rx, int slot);
    // The start test over the R slots from rx.readPos; moves rx.readPos one slot per failed test.
    // On success anchors the symbol clock at spectrumWritePos and returns true.
    bool startTest(PlanReceiver& rx);
    // Tone levels of every frame of the symbol period starting at rx.readPos, hop-shifted for
    // decodeState; fills frameFirstTone/frameSecondTone and rx's records.
    void measureWindowTones(PlanReceiver& rx);
    // After the newest spectrum was stored and the write position advanced: -1 while the period
    // is incomplete; otherwise votes, decides, adds to the running measures, moves the clock and
    // returns the symbol (-1 when the winning pair carries none).
    int decideSymbol(PlanReceiver& rx);
    // Band sum over the H slots starting at readPos + offset.
    float sumBandHalf(int readPos, int offset, int centreBin, int halfWidth, int limitBin,
                      std::vector<float>& out) const;

    const float* ringSlot(int slot) const {
        return spectrumRing_.data() + static_cast<size_t>(slot) * binCount_;
    }

    // Fields.
    Tuning tuning_;
    float sampleRate_;
    int bufferSize_;           // kept, not used by decoding
    int decodeState_ = 0;
    int decodedMode_ = -1;     // 0 audible, 1 non-audible, 2 compression, 3 custom, -1 unknown
    std::array<char, 30> decodedText_{};
    SpectrumAnalyzer analyzer_;

    // Sample store: the unconsumed samples lie in sampleRing[sampleReadPos, sampleWritePos), so
    // every frame is contiguous and analysed in place. 4 x N at construction; an append that
    // would run past the end first moves the unconsumed samples to the front, and grows the store
    // only when they and the new samples still do not fit.
    size_t sampleReadPos_ = 0;
    size_t sampleWritePos_ = 0;
    size_t sampleRingSize_;
    size_t sampleAvailable_ = 0;  // sampleWritePos - sampleReadPos
    std::vector<float> sampleRing_;
    long long framesTaken_ = 0;

    int windowSize_;
    int frameAdvance_;
    int alphabetSize_;
    int toneCount_;
    int binCount_;         // N/2 + 1
    float binsPerHz_;      // N / sampleRate
    int startSymbol1_ = 1;   // charToSymbol('1')
    int startSymbol2_ = 19;  // charToSymbol('j')

    std::array<float, 9> toneEnergy_{};   // per-tone scaled energy of the frame being measured
    std::array<float, 9> toneSnr_{};      // per-tone level in dB against the band mean
    std::array<float, 9> sortedSnr_{};    // scratch of the bubble sort
    std::array<int, 9> sortedTone_{};

    int spectrumWritePos_ = 0;   // ring slot the next spectrum fills
    int ringFrames_;             // R
    int halfRing_;               // H = R / 2, frames in one symbol period
    int startTolerance_;
    std::vector<float> spectrumRing_;   // R x (N/2 + 1), zeroed

    std::vector<int> frameFirstTone_;   // R: strongest tone of each frame of the period, -1
    std::vector<int> frameSecondTone_;  // R: second strongest, -1
    std::array<int, 9> toneVotes_{};

    int symbolAnchor_ = 0;       // spectrumWritePos when the start symbols were recognised
    // Frames since the anchor, advanced R / 2 per symbol; kept below R (subtracting R changes
    // no slot, since slots count modulo R), so it never overflows however long a reception runs.
    double symbolClock_ = 0.0;

    ReedSolomonCodec codec_;
    std::vector<int> receivedSymbols_;
    int completedMessages_ = 0;  // complete 20-symbol frames at the front of receivedSymbols_
    std::array<int, 12> uncorrectedSymbols_{};

    float meanToneSnr_ = 0.0f;
    float unchangedRatio_ = 0.0f;
    float receivedLevel_ = 0.0f;
    uint32_t correctedMask_ = 0;
};

}  // namespace RYX
