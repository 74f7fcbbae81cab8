// The robust receiver: a second receiver for the same transmissions, built for speech, music and
// weak signals around them. It never goes deaf: every position where the two start symbols may
// begin is a candidate of its own, decoded once the whole transmission has been heard, so a false
// start costs nothing but a little arithmetic and a real message right behind it is still heard.
//
// How it hears. The audio is cut into slices of a sixteenth of a symbol (288 samples at 44100
// Hz); a ToneBank gives each slice's complex amplitude at the 27 frequencies of each plan (nine
// tones at three hop positions). A symbol's energy at a frequency is the coherent sum over
// thirteen slices of its plateau and the start of its fade-out, under one of 17 clock-drift
// hypotheses (-2000 .. 2000 ppm, chosen once per candidate on the start symbols).
//  - Start test, per slice s: tone 0 in the symbol at s and tone 2 in the next, each against the
//    26 other frequencies of its symbol and against itself in the other symbol. A local maximum
//    within half a symbol that clears kStartThreshold opens a candidate.
//  - Pair check: for each data symbol, the two strongest tones at the symbol's own hop over the
//    two strongest at the stronger other hop; the median of that ratio over the first six data
//    symbols must reach kEarlyContrastThreshold (else the candidate is dropped there), and over
//    all 18 kContrastThreshold before the candidate is decoded. Speech and music, whose energy
//    does not follow the hop, stay near 1 however loud a single symbol is; tone pairs 20 dB
//    under white noise give 1.5 to 5, 23 dB under it 1.3 or more when they can be decoded at
//    all. The check keeps the work on phantoms small (about 9 decoded per hour of speech); what
//    keeps them from being reported is the decoding and its confidence.
//  - Symbols: each symbol is decided by the best of the 32 tone pairs, a pair scoring the sum of
//    its two tone amplitudes. The highest tones, when a low-pass removed them all through the
//    message, get a neutral level instead.
//  - Correction: errors-and-erasures Reed-Solomon decoding, erasing 0 .. 8 of the least reliable
//    symbols and trying each of the next seven at its received or its second best pair, at the
//    candidate's timing and one slice either side; the word that explains the audio best wins.
//    It is accepted only when the start symbols needed no correction, the
//    checksum matches and its confidence clears kAcceptThreshold.
#pragma once

#include <array>
#include <complex>
#include <cstdint>
#include <vector>

#include "decoder/message_receiver.h"
#include "decoder/robust_plan.h"
#include "decoder/tone_bank.h"
#include "fec/reed_solomon_codec.h"

namespace RYX {

// What the receiver did, for the false-alarm benchmark.
struct RobustStats {
    int64_t preambles = 0;       // start tests passed (local best over half a symbol)
    int64_t starts = 0;          // of those, followed by tone pairs: decoded in full
    int64_t phantoms = 0;        // starts that gave no intact message
    int64_t phantomSamples = 0;  // audio spent following candidates that gave nothing: those
                                 // dropped after six symbols up to there, the rest 20 symbols
};

class RobustReceiver : public MessageReceiver {
  public:
    static constexpr int kMaxPlans = 3;
    static constexpr int kDriftHypotheses = 17;
    static constexpr float kStartThreshold = 6.0f;
    static constexpr float kEarlyContrastThreshold = 1.1f;
    static constexpr float kContrastThreshold = 1.3f;
    static constexpr int kPairSymbols = 6;
    static constexpr int kDataSymbols = 18;  // transmission symbols 2 .. 19
    static constexpr float kAcceptThreshold = 0.89f;

    // mode: 2 audible, 3 non-audible, 4 compression, 5 all (the three plans before), 6 custom
    // (from tuning.custom). A mode outside these, a rate outside 1000 .. 384000 Hz or a plan
    // whose tones do not fit below half the rate leaves that plan out; with none left, valid() is
    // false and the receiver only counts samples.
    RobustReceiver(int mode, const Tuning& tuning);

    bool valid() const { return planCount_ > 0; }
    void feed(const float* samples, size_t count, std::vector<ReceivedMessage>& out) override;
    void flush(std::vector<ReceivedMessage>& out) override;
    int64_t position() const override { return position_; }
    bool inMessage() const override { return candidateCount_ > 0; }
    const RobustStats& stats() const { return stats_; }

  private:
    static constexpr int kRingSlices = 512;     // > 21 symbols of slices
    static constexpr int kMaxCandidates = 192;  // more than can open in one transmission
    static constexpr int kPlateauStart = 2;     // first slice of a symbol's plateau
    static constexpr int kPlateauSlices = 13;   // slices summed coherently per symbol: the
                                                // plateau and the start of the fade-out
    static constexpr int kPeakHalfWidth = 8;    // a start must be the best within +-8 slices

    struct PlanState {
        RobustPlan plan;
        int firstFrequency = 0;  // index of toneHz[0][0] in the bank; [h][j] at + 9h + j
        // Per drift hypothesis, tone and hop: the rotation undoing the drift from slice to slice.
        std::array<std::array<std::complex<float>, kPlateauSlices>, kDriftHypotheses * 27> drift;
        std::array<float, kRingSlices> score{};  // start test by start slice
        std::array<int8_t, kRingSlices> bestDrift{};
    };
    struct Candidate {
        int plan = 0;
        int64_t startSlice = 0;
        int drift = 0;
        bool heardPairs = false;  // the first data symbols may be hopping tone pairs
    };
    struct Decision {
        int64_t startSlice = 0;
        bool ok = false;
        float confidence = 0.0f;
        ReceivedMessage message;
    };

    void processSlice(std::vector<ReceivedMessage>& out);
    void runStartTest(int p, int64_t start);
    void decodeCandidate(const Candidate& c, std::vector<ReceivedMessage>& out);
    // Median over the first `symbols` data symbols of the two strongest tones at each symbol's
    // own hop over the two strongest at the stronger other hop. About 1 for noise, speech and
    // music; several for tone pairs.
    float hopContrast(const Candidate& c, int symbols) const;
    // Sample position where tone 0 of a start symbol at slice `start` begins: the slice where
    // its energy first reaches half its plateau, less about three quarters of a slice.
    int64_t onsetSample(const PlanState& ps, int64_t start) const;
    Decision tryDecode(const PlanState& ps, int64_t start, int drift);
    // Mean energy (amplitude squared) of tone j at hop h over the plateau of the symbol whose
    // first slice is `first`.
    float symbolEnergy(const PlanState& ps, int h, int j, int drift, int64_t first) const;
    // First slice of transmission symbol p of a candidate starting at `start`.
    int64_t symbolSlice(int64_t start, int p) const { return start + symbolOffset_[p]; }
    void reset();

    std::array<PlanState, kMaxPlans> plans_;
    int planCount_ = 0;
    int sliceSamples_ = 0;
    int symbolSamples_ = 0;
    std::array<int, 21> symbolOffset_{};  // round(p D / L)
    ToneBank bank_;
    std::vector<float> slice_;  // samples of the slice being filled
    int sliceFill_ = 0;
    std::vector<std::complex<float>> ring_;  // kRingSlices x bank size
    int64_t slices_ = 0;                     // slices analysed since the last reset
    int64_t origin_ = 0;                     // sample position of slice 0
    int64_t position_ = 0;
    std::array<Candidate, kMaxCandidates> candidates_{};
    int candidateCount_ = 0;
    int64_t lastReportedStart_ = -1;
    ReedSolomonCodec codec_;
    RobustStats stats_;
};

}  // namespace RYX
