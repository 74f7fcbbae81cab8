// The robust receiver: a second receiver for the same transmissions, built for speech, music and
// weak signals around them. It never goes deaf: every position where the two start symbols may
// begin is a candidate of its own, decoded once the whole transmission has been heard, so a false
// start costs nothing but a little arithmetic and a real message right behind it is still heard.
//
// How it hears. The audio is cut into slices of a sixteenth of a symbol (288 samples at 44100
// Hz); a ToneBank gives each slice's complex amplitude at the 27 frequencies of each plan (nine
// tones at three hop positions, kFrequenciesPerPlan). A symbol's energy at a frequency is the
// coherent sum over thirteen slices of its plateau and the start of its fade-out, under one of 17
// clock-drift hypotheses (-2000 .. 2000 ppm, chosen per candidate on the start symbols, and
// with the timing on the data symbols where those give no word).
//  - Start test, per slice s: tone 0 in the symbol at s and tone 2 in the next, each against the
//    26 other frequencies of its symbol and against itself in the other symbol (tone 0 in the
//    second, where it stands far above tone 2 in the first, only beyond the share an echo leaves
//    there, so a room's reflections do not fail the start while a held tone does).
//    A start passes alone, each tone clearing kStartThreshold, or together: each tone far above
//    itself before it began (tone 0 in the symbol before the first), and the two tones' sum above
//    their noises, for weak transmissions, where one noisy echo or one faded tone fails the test
//    alone, and for rooms whose reverberation leaves tone 0 louder in the second symbol than in
//    the first. A start that passes and ranks best within half a symbol (tone 0 in the second
//    symbol counted in full, which marks a start too early; one that passes alone before one
//    that passes together only) opens a candidate.
//  - Most audio holds no transmission, so every slice is measured at the two start frequencies
//    only (kQuickFrequencies), and the other 25 where they are needed, from the last
//    kSampleSlices slices of samples kept. The start test first weighs each start tone against
//    itself in the other start symbol, then adds the other frequencies one at a time and stops
//    as soon as the sum puts the threshold out of reach: in noise most starts need the start
//    frequencies alone and the rest a few more. The start tones' sums under every drift slide
//    from one slice to the next. Slices of an open candidate are measured where it reads them.
//    What the receiver decides is the same as if every frequency were measured on every slice
//    (but for rounding in the sums that slide).
//  - Pair check: for each data symbol, the two strongest tones at the symbol's own hop over the
//    two strongest at the stronger other hop; the median of that ratio over the first six data
//    symbols must reach kEarlyContrastThreshold (else the candidate is dropped there), and over
//    all 18 kContrastThreshold before the candidate is decoded. Speech and music, whose energy
//    does not follow the hop, stay near 1 however loud a single symbol is; tone pairs 20 dB
//    under white noise give 1.5 to 5, 23 dB under it 1.3 or more when they can be decoded at
//    all, and 24 dB under it often less: at 1.2 rather than 1.3, 19 more of 800 texts at -24 dB
//    are heard, and speech makes a third more candidates (19.5 an hour, not 14.5). In a
//    reverberant room the symbol before still rings at its hop, at a living room's far side
//    several times louder than the symbol's own pair, so each symbol has a second
//    ratio that forgives it: the pair over the strongest of the next symbol's hop, the hop
//    before without the symbol before's two tones (another plan's transmission, heard through
//    the analysers' leakage, rings at other tones there) and its own hop a symbol earlier
//    (where speech and music, which hold their tones, stand as loud), at most kRingingShare
//    times the first ratio. A candidate passes where either ratio's medians do. The check keeps
//    the work on phantoms small (about 40 decoded per hour of speech); what keeps them from
//    being reported is the decoding and its confidence. At the few rates where the hop comes
//    close to a multiple of the tone spacing (88200 Hz for the audible plan), the other hops'
//    tones that meet one of the own hop's are left out of the check. Each symbol's ratios are
//    taken as soon as the symbol has been heard: a median reaches its threshold once half the
//    ratios do (3 of the first 6, 9 of all 18), so a candidate is dropped as soon as too many of
//    both fall short, and once enough reach it the other hops' tones need not be measured for it
//    any more. A candidate whose start is not clear (below kSharpRank) is not dropped at once:
//    it moves (moveByData) to the start within kDataTimingSlices and the drift under which the
//    data symbols judged so far stand highest, and is judged afresh there, once. Until it passes
//    it reads every frequency within reach of its symbols, so the new place finds them measured.
//    The start symbols misplace weak transmissions by 3 to 8 slices, where their pair check
//    fails: of 800 texts at -24 dB (100 per plan and rate) this heard 19 more, at -25 dB 16.
//    The moved candidate must clear both thresholds by kMovedContrastMargin, and its word the
//    likelihood bound (it has had its second chance).
//  - Decoding a candidate (tryDecode, at the candidate's timing and one slice either side):
//    measure the symbols (the energy of the nine tones of each data symbol at its hop), let the
//    WordSearch decide the word (word_search.h), and fill the message: text, plan, positions,
//    confidence, corrections and levels. A word of kCertainConfidence at the candidate's own
//    timing spares the timings either side. Where none of the three gives a word, the timing
//    and drift are chosen again on the data symbols (dataTiming: the start within
//    kDataTimingSlices of the candidate's and the drift under which the 18 symbols' two
//    strongest tones stand highest), and where they differ the three timings around that start
//    are tried under that drift. The start symbols carry a ninth of a transmission's energy, so
//    in weak signals they place it 3 to 6 slices out about as often as they open its candidate
//    at all; of 800 texts at -24 dB (100 per plan and rate) this heard 55 more.
#pragma once

#include <array>
#include <complex>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "decoder/message_receiver.h"
#include "decoder/robust_plan.h"
#include "decoder/robust_storage.h"
#include "decoder/tone_bank.h"
#include "decoder/word_search.h"
#include "dsp/aligned_floats.h"
#include "dsp/arena.h"
#include "modes/message_frame.h"
#include "modes/symbol_alphabet.h"

namespace RYX {

// What the receiver did, for the false-alarm benchmark and the tests of the word search.
struct RobustStats {
    int64_t preambles = 0;       // start tests passed (local best over half a symbol)
    int64_t starts = 0;          // of those, followed by tone pairs: decoded in full
    int64_t phantoms = 0;        // starts that gave no intact message
    int64_t phantomSamples = 0;  // audio spent following candidates that gave nothing: those
                                 // dropped after six symbols up to there, the rest 20 symbols
    int64_t searches = 0;        // word searches: one per timing tried
    int64_t words = 0;           // words handed to errors-and-erasures decoding: at most
                                 // kWordsPerTiming per timing tried
};

class RobustReceiver : public MessageReceiver {
  public:
    static constexpr int kMaxPlans = 3;
    static constexpr int kDriftHypotheses = 17;
    // A start passes alone with each start tone this many times its noise and echo, or together
    // (robust_receiver.cpp: kJointThreshold). 20 dB under white noise nearly every transmission
    // passes alone; 25 dB under it (44.1 kHz, audible plan) 30 of 40 open a candidate alone and
    // 37 alone or together, 26 dB under it 24 and 35.
    static constexpr float kStartThreshold = 6.0f;
    static constexpr float kEarlyContrastThreshold = 1.1f;
    static constexpr float kContrastThreshold = 1.2f;
    // What a candidate the pair check moved (moveByData) must clear beyond both thresholds: its
    // new place is the best of many, which lifts noise's ratios too. Of 800 texts at -24 dB (100
    // per plan and rate) moving heard 19 more at 0, as many at 0.2 and 14 at 0.5; 2 h of speech
    // gave 61.5, 42.5 and 26.5 candidates an hour (19.5 without moving), tone sweeps in the
    // non-audible plan 33, 18.5 and 13 (7).
    static constexpr float kMovedContrastMargin = 0.2f;
    // The most a symbol's pair check forgives the symbol before ringing at its hop: twelve times
    // the pair's energy (a room's reverberation leaves up to about six times; a start most of a
    // symbol out of step, which reads the symbol before in its place, ten times or far more).
    static constexpr float kRingingShare = 12.0f;
    static constexpr int kPairSymbols = 6;
    static constexpr int kDataSymbols = WordSearch::kDataSymbols;  // transmission symbols 2 .. 19
    // A word this sure at the candidate's own timing is not looked for again one slice either
    // side.
    static constexpr float kCertainConfidence = 0.97f;
    // A candidate is decided at its start and kNearSlices either side. The farthest (in slices)
    // the data symbols move the start of a candidate that gives no word (one whose start tones do
    // not reach kSharpRank: a clear start is placed within a slice), and the farthest a decision
    // reads from it: that and kNearSlices.
    static constexpr int kNearSlices = 1;
    static constexpr int kDataTimingSlices = 5;
    static constexpr int kTimingReach = kDataTimingSlices + kNearSlices;

    // Listens for `plans` (one to kMaxPlans; a candidate of an earlier plan is decided first) as
    // an encoder with the same tuning sends them. Throws std::invalid_argument, naming the
    // reason, for no plans or too many, a rate outside kMinSampleRate .. kMaxSampleRate, and a
    // plan it cannot hear at that rate (makeRobustPlan: tones that merge or reach half the rate).
    // Takes its buffers from the heap, once, here (arenaBytes of them).
    RobustReceiver(const std::vector<Plan>& plans, const Tuning& tuning);
    // The same for plans[0 .. count), its buffers taken from `arena` (arenaBytes of it): where
    // they do not fit, the receiver is not ready() and hears nothing.
    RobustReceiver(const Plan* plans, size_t count, const Tuning& tuning, Arena& arena);
    RobustReceiver(const RobustReceiver&) = delete;
    RobustReceiver& operator=(const RobustReceiver&) = delete;

    // Bytes of arena the receiver of plans[0 .. count) at `tuning` takes, or 0 for what the
    // constructors refuse. One plan at 22050 Hz: 78,976 in the small build (the ring 41,472, the
    // tone bank's tables 15,552, the plan's state and the rest 21,952), 266,112 on the desktop.
    static size_t arenaBytes(const Plan* plans, size_t count, const Tuning& tuning);
    // The reason the constructors refuse plans[0 .. count) at `tuning`, or empty.
    static std::string refusal(const Plan* plans, size_t count, const Tuning& tuning);
    // False when its buffers did not fit the arena it was given.
    bool ready() const { return plans_ != nullptr; }

    void feed(const float* samples, size_t count, std::vector<ReceivedMessage>& out) override;
    // The same, each completed message handed to `out`.
    void feed(const float* samples, size_t count, MessageSink& out);
    void flush(std::vector<ReceivedMessage>& out) override;
    int64_t position() const override { return position_; }
    bool inMessage() const override { return candidateCount_ > 0; }
    const RobustStats& stats() const { return stats_; }

  private:
    // Slices of amplitudes kept: more than a candidate reads from 4 slices before its start to
    // its decision, candidateSpan() + 4, at most 373 + 4 (at 1063 Hz; 329 at 22050 Hz).
    static constexpr int kRingSlices = kStoredRingSlices;
    static_assert(kRingSlices > 373 + 4, "every accepted rate's candidates fit");
    // Candidates open at least 9 slices apart (a peak of +-8) and live at most candidateSpan():
    // at most 42 per plan at any rate.
    static constexpr int kMaxCandidates = kStoredCandidates;
    static constexpr int kPlateauStart = 2;    // first slice of a symbol's plateau
    static constexpr int kPlateauSlices = 13;  // slices summed coherently per symbol: the
                                               // plateau and the start of the fade-out
    static constexpr int kPeakHalfWidth = 8;   // a start must be the best within +-8 slices
    // Where the best start's rank reaches kSharpRank (its start tones 20 dB over the other
    // frequencies: a clear transmission), its candidate opens at the sharpest passing start within
    // +-kRefineSlices of it (runStartTest), where the rank alone wanders by up to 3 slices.
    static constexpr int kRefineSlices = 3;
    static constexpr float kSharpRank = 100.0f;
    static constexpr int kFrequenciesPerPlan = kToneCount * RobustPlan::kHops;  // 27

    // kDriftHypotheses padded to whole vectors of kVectorLanes floats: 24, or 17 one at a time.
    static constexpr int kDriftLanes =
        (kDriftHypotheses + kVectorLanes - 1) / kVectorLanes * kVectorLanes;
    // The weight of a symbol's k-th plateau slice in its coherent sum under drift hypothesis d
    // (lane d): the bank measures each slice from its own start, so the tone's turn over k
    // slices is undone, and so is the drift's. The first kStoredWeightSlices are stored (all 13,
    // or 2 in the small build); each later one is the one before turned by weight 1.
    struct SliceWeights {
        float re[kStoredWeightSlices][kDriftLanes];
        float im[kStoredWeightSlices][kDriftLanes];
    };
    static_assert(kStoredWeightSlices >= 2 && kStoredWeightSlices <= kPlateauSlices,
                  "weight 1 turns the later ones");
    // A plateau's coherent sums under every drift hypothesis (lane d).
    struct DriftSums {
        float re[kDriftLanes];
        float im[kDriftLanes];
    };
    // The start tones' sums are slid from one symbol position to the next and summed afresh
    // every kSlideSteps, which keeps rounding from piling up.
    static constexpr int kSlideSteps = 16;
    // The two start frequencies (tone 0 and tone 2 at hop 0) come first in a plan's columns.
    static constexpr int kQuickFrequencies = 2;
    static constexpr uint32_t kQuickColumns = (1u << kQuickFrequencies) - 1u;
    static constexpr uint32_t kAllColumns = (1u << kFrequenciesPerPlan) - 1u;
    // Columns measured on every slice as it arrives: the start frequencies, or all of them in the
    // small build (kMeasureAsHeard).
    static constexpr uint32_t kEagerColumns = kMeasureAsHeard ? kAllColumns : kQuickColumns;
    // Slices of samples kept: more than the 41 a candidate looks back when it opens (a symbol of
    // at most 17 slices, its plateau, half the peak window and one slice of timing), or the one
    // being measured where every column is measured as it arrives.
    static constexpr int kSampleSlices = kMeasureAsHeard ? 1 : 64;
    // Positions of start tone energies kept: more than a symbol's slices (at most 17.4) plus one.
    static constexpr int kStartToneSymbols = kStoredStartSymbols;
    static_assert(kStartToneSymbols > 18, "the first start symbol is there for the second");
    static_assert(kMeasureAsHeard || kSampleSlices > RobustPlan::kSlicesPerSymbol + 1 +
                                                         kPlateauStart + kPlateauSlices +
                                                         kPeakHalfWidth + kRefineSlices + 1,
                  "a candidate's slices are still there when it opens");
    struct PlanState {
        RobustPlan plan;
        int firstFrequency = 0;  // the plan's first column in the bank (see column())
        // Per tone (h * 9 + j): what each plateau slice of a symbol is weighed by in its coherent
        // sum under each drift hypothesis.
        std::array<SliceWeights, kFrequenciesPerPlan> weights{};
        // apart[own][h] bit j: tone j at hop h lies apart from every tone at hop `own`.
        std::array<std::array<unsigned, RobustPlan::kHops>, RobustPlan::kHops> apart{};
        // By a symbol's first slice (the last kStartToneSymbols): the energy of tone 0 and of
        // tone 2 at hop 0 over its plateau, in lanes by drift hypothesis.
        std::array<std::array<float[kDriftLanes], kQuickFrequencies>, kStartToneSymbols>
            startTones{};
        std::array<DriftSums, kQuickFrequencies> startSums{};  // of the newest position
        int64_t startSumsSymbol = -1;
        std::array<float, kRingSlices> score{};      // by start slice: its score (runStartTest)
        std::array<float, kRingSlices> sharpness{};  // and its place near the best
        std::array<int8_t, kRingSlices> bestDrift{};
        // The slice each ring row holds and which of its columns are measured (bit c: the plan's
        // column c).
        std::array<int64_t, kRingSlices> rowSlice{};
        std::array<uint32_t, kRingSlices> measured{};
    };
    static constexpr int kPairRatios = 2;
    struct Candidate {
        int plan = 0;
        int64_t startSlice = 0;
        int drift = 0;
        // Data symbols whose pair-check ratios are taken, and per ratio (across the hops, and
        // forgiving a ringing symbol before) how many of those reached kContrastThreshold (and,
        // of the first kPairSymbols, kEarlyContrastThreshold).
        int judged = 0;
        int8_t above[kPairRatios] = {};
        int8_t earlyAbove[kPairRatios] = {};
        // The tones (bit j: tone j) of the symbol before the next one judged, which may still
        // ring at its hop: its two strongest, or the start symbols' tones 0 and 2.
        uint16_t ringing = 1u << 0 | 1u << 2;
        bool movable = false;  // its data symbols may move its start (a start below kSharpRank)
        bool moved = false;    // they did (moveByData)
    };
    // Ratios at or above the threshold that put a median of kPairSymbols or of kDataSymbols
    // ratios there.
    static constexpr int kEarlyNeeded = kPairSymbols - kPairSymbols / 2;  // 3
    static constexpr int kNeeded = kDataSymbols - kDataSymbols / 2;       // 9
    struct Decision {
        int64_t startSlice = 0;
        bool ok = false;
        float confidence = 0.0f;
        float logPosterior = 0.0f;  // the word's (WordSearch::Word)
        ReceivedMessage message;
    };
    using SymbolEnergies = WordSearch::SymbolEnergies;
    using Word = WordSearch::Word;

    // Column of tone j at hop h among a plan's, the start frequencies first, and in the bank.
    static int columnInPlan(int h, int j);
    static int column(const PlanState& ps, int h, int j) {
        return ps.firstFrequency + columnInPlan(h, j);
    }
    // The buffers, taken from one arena when the receiver is built (a measuring arena counts
    // them): plan states, what a candidate reads where, slices of samples, the bank's tables and
    // the ring of amplitudes.
    struct StoredAmplitude {
        StoredFloat re;
        StoredFloat im;
    };
    struct Buffers {
        PlanState* plans = nullptr;
        uint32_t* decodeColumns = nullptr;
        uint32_t* reachColumns = nullptr;
        uint32_t* contrastColumns = nullptr;
        AlignedFloats samples;
        ToneBank bank;
        StoredAmplitude* ring = nullptr;
    };
    static Buffers takeBuffers(Arena& arena, size_t planCount, int sliceSamples, int span);
    // Symbol p's first slice from the transmission's start: round(p D / L).
    static int symbolOffsetOf(int p, int symbolSamples, int sliceSamples);
    // Slices from a candidate's start to the one after the last its decision reads, from the
    // last symbol's offset.
    static int spanFrom(int lastSymbolOffset) {
        return lastSymbolOffset + kPlateauStart + kPlateauSlices + kTimingReach;
    }
    void build(const Plan* plans, size_t count, const Tuning& tuning, Arena& arena);
    void processSlice(MessageSink& out);
    // Measures the plan's columns in `columns` (bit c: column c) on slice k, one of the last
    // kSampleSlices, where they are not measured yet.
    void measure(PlanState& ps, int64_t k, uint32_t columns);
    // Samples of slice k, one of the last kSampleSlices.
    float* sliceAt(int64_t k);
    // Slices from a candidate's start to the one after the last its decision reads.
    int64_t candidateSpan() const { return spanFrom(symbolOffset_[kTransmissionSymbols - 1]); }
    // The columns candidate c reads on slice start + r (0 <= r < candidateSpan()): a movable
    // candidate that has not passed the pair check reads every column within kTimingReach of its
    // symbols, where its check may be taken again when it moves.
    uint32_t columnsRead(const Candidate& c, int64_t r) const {
        const auto at = static_cast<size_t>(r);
        const bool passed = c.above[0] >= kNeeded || c.above[1] >= kNeeded;
        if (c.movable) return !passed && reachColumns_[at] != 0 ? kAllColumns : reachColumns_[at];
        return decodeColumns_[at] | (passed ? 0u : contrastColumns_[at]);
    }
    // Takes the pair-check ratio of every data symbol of c heard by slice `newest`; false when c
    // can no longer pass the check.
    bool judgeSymbols(Candidate& c, int64_t newest);
    // Where movable candidate c fails the pair check: moves it to the start within
    // kDataTimingSlices and the drift under which its data symbols judged so far stand highest
    // (dataTiming), to be judged afresh there and not moved again (the columns it read while
    // movable are those the new place reads); false where they stand highest where it is.
    bool moveByData(Candidate& c) const;
    void runStartTest(int p, int64_t start);
    // Whether the start at slice `start` of tone energies a0 and a2, held[0] and held[1] before
    // they began (as runStartTest weighs them), passes together (kStartThreshold) against the
    // noises of one slice of each start symbol.
    bool passesOnOneSlice(PlanState& ps, int64_t start, float a0, float a2, const float (&echo)[2]);
    void decodeCandidate(const Candidate& c, MessageSink& out);
    // The pair-check ratios of c's data symbol i (see the pair check above): its two strongest
    // tones at its own hop across the other hops (about 1 for noise, speech and music; several
    // for tone pairs), and forgiving a ringing symbol before; c.ringing becomes its two tones.
    void hopContrast(Candidate& c, int i, float (&ratios)[kPairRatios]) const;
    // The two strongest energies of the tones `heard` (bit j: tone j) at hop h of the symbol
    // from slice `first`, summed (one tone heard counts twice; none, 0); `tones` becomes theirs.
    float twoStrongest(const PlanState& ps, int h, unsigned heard, int drift, int64_t first,
                       unsigned& tones) const;
    // Sample position where tone 0 of a start symbol at slice `start` begins: the slice where
    // its energy first reaches half its plateau, less about three quarters of a slice.
    int64_t onsetSample(const PlanState& ps, int64_t start) const;
    // The decision of a transmission whose first start symbol begins at slice `start`: the four
    // steps below.
    Decision tryDecode(const PlanState& ps, int64_t start, int drift);
    // The most confident decision of tryDecode at `start` and one slice either side, under
    // `drift` (the others spared once one reaches kCertainConfidence).
    Decision decodeNear(const PlanState& ps, int64_t start, int drift);
    // The start within `reach` slices of `start` and the drift under which a candidate's first
    // `symbols` data symbols stand highest: the sum over them of their two strongest tones at
    // their own hop (the start test chose both on the two start tones alone).
    struct Timing {
        int64_t start = 0;
        int drift = 0;
    };
    Timing dataTiming(const PlanState& ps, int64_t start, int reach, int symbols) const;
    void measureSymbols(const PlanState& ps, int64_t start, int drift,
                        SymbolEnergies& energy) const;
    ReceivedMessage fillMessage(const PlanState& ps, int64_t start, const SymbolEnergies& energy,
                                const Word& word) const;
    // The plateau of tone j at hop h of the symbol whose first slice is `first`; its coherent
    // sums under every drift, and the same sums one slice on; the energy of one such sum; the
    // value of column c on slice k.
    void gatherPlateau(const PlanState& ps, int h, int j, int64_t first,
                       std::complex<float> (&plateau)[kPlateauSlices]) const;
    static void weighedSums(const std::complex<float> (&plateau)[kPlateauSlices],
                            const SliceWeights& w, DriftSums& sums);
    static void slideSums(DriftSums& sums, std::complex<float> leaving,
                          std::complex<float> entering, const SliceWeights& w);
    float energyOf(float re, float im) const;
    std::complex<float> ringAt(int64_t k, int column) const;
    // Mean energy (amplitude squared) of tone j at hop h over the plateau of the symbol whose
    // first slice is `first`, under drift hypothesis `drift`.
    float symbolEnergy(const PlanState& ps, int h, int j, int drift, int64_t first) const;
    // First slice of transmission symbol p of a candidate starting at `start`.
    int64_t symbolSlice(int64_t start, int p) const { return start + symbolOffset_[p]; }
    void reset();

    std::unique_ptr<unsigned char[]> owned_;  // the arena of a receiver that takes the heap
    PlanState* plans_ = nullptr;              // one per plan listened for
    int planCount_ = 0;
    int sliceSamples_ = 0;
    int symbolSamples_ = 0;
    std::array<int, kTransmissionSymbols + 1> symbolOffset_{};  // round(p D / L)
    // By slice r of a candidate (0 .. candidateSpan() - 1): the columns its decision reads at
    // any of its timings (each data symbol's own hop), the same for a movable candidate, and
    // those its pair check reads.
    uint32_t* decodeColumns_ = nullptr;
    uint32_t* reachColumns_ = nullptr;
    uint32_t* contrastColumns_ = nullptr;
    ToneBank bank_;
    AlignedFloats samples_;  // the last kSampleSlices slices, the newest being filled
    int sliceFill_ = 0;
    StoredAmplitude* ring_ = nullptr;  // kRingSlices x bank size
    // A slice's amplitudes as the bank gives them, before they are stored.
    std::array<std::complex<float>, kMaxPlans * kFrequenciesPerPlan> fresh_;
    int64_t slices_ = 0;  // slices analysed since the last reset
    int64_t origin_ = 0;  // sample position of slice 0
    int64_t position_ = 0;
    std::array<Candidate, kMaxCandidates> candidates_{};
    int candidateCount_ = 0;
    ReceivedMessage lastReported_;  // as decided (its start at the slice), none when not ok
    WordSearch search_;             // decides a candidate's symbols
    RobustStats stats_;
};

}  // namespace RYX
