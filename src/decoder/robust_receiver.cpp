#include "decoder/robust_receiver.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>

#include "dsp/ascending_order.h"
#include "dsp/simd_clone.h"
#include "modes/frequency_plan.h"
#include "modes/phrase.h"
#include "modes/refuse.h"
#include "modes/tuning.h"

namespace RYX {
namespace {

// Drift hypothesis d means tones heard at f (1 + driftPpm(d) 1e-6): -2000 .. 2000 ppm in steps
// of 250, so the residual never exceeds 125 ppm (2.5 Hz at 20 kHz, a fifth of the window's
// resolution).
float driftPpm(int d) {
    return 250.0f * static_cast<float>(d - RobustReceiver::kDriftHypotheses / 2);
}
constexpr double kPi = 3.14159265358979323846;
constexpr int kLanes = kVectorLanes;
typedef float Lanes __attribute__((vector_size(kLanes * sizeof(float))));

constexpr float kDecibelsPerNeper = 4.342944819f;  // 10 log10(x) = 4.3429 ln(x)
constexpr float kTiny = 1e-12f;                    // energy floor: a tone 114 dB below full scale
constexpr float kSampleLimit = 1e6f;               // samples are clamped to +-this; NaN counts as 0
// Slices around the candidate's start (RobustReceiver::kNearSlices either side).
constexpr int kTimingOffsets[3] = {0, -RobustReceiver::kNearSlices, RobustReceiver::kNearSlices};
// The share of a start tone's energy that a room's echoes may carry into the next symbol, which
// the start test forgives: a reflection of up to 0.7 of the amplitude (0.49 of the energy) at any
// delay. A tone held through both start symbols leaves more there.
constexpr float kEchoShare = 0.5f;
// What tone 0 in the second start symbol may hold without an echo, in multiples of tone 2 in the
// first (which holds noise alone); only the rest is taken for an echo. So high that in noise the
// start frequencies alone still fail nearly every start as they did (the start test of quiet
// noise costs 3% more than without the echo's share; 16 would cost 5%, 4 15%).
constexpr float kEchoNoise = 32.0f;
constexpr float kRounding = 1.0f + 1e-5f;  // so that rounding never fails a passing start
// The score of a start that fails, below every passing start's (see runStartTest).
constexpr float kFails = -std::numeric_limits<float>::infinity();
// A start passes together (RobustReceiver::kStartThreshold) with each tone at least kEchoRatio
// times itself before it began and kToneThreshold times its noise, and the two tones' sum at least
// kJointThreshold times the sum of their noises. A tone's noise is the mean energy of the 26 other
// frequencies, first on the middle slice of its symbol's plateau (times kPlateauSlices, what a
// plateau's sum of noise averages: in white noise as good an estimate as the sums, at a
// thirteenth of the measuring), then as sums, as alone; both with kEchoWeight of the tone before
// it began. In an hour of white noise 3 starts pass so at 44.1 and at 48 kHz (1 alone), all
// dropped by the pair check; quiet noise costs the receiver 8% more than the test alone.
constexpr float kEchoRatio = 8.0f;
constexpr float kEchoWeight = 0.25f;
constexpr float kToneThreshold = 3.0f;
constexpr float kJointThreshold = 7.5f;
// Whether start tones of energies a0 and a2 over noises n0 and n1 clear the thresholds together.
bool clearsTogether(float a0, float a2, float n0, float n1) {
    return a0 * kRounding >= kToneThreshold * n0 && a2 * kRounding >= kToneThreshold * n1 &&
           (a0 + a2) * kRounding >= kJointThreshold * (n0 + n1);
}
constexpr int kSilentTones = kToneCount - kPairTones;  // the seven a symbol leaves silent
constexpr unsigned kAllTones = (1u << kToneCount) - 1u;
// Two frequencies nearer than this many resolutions of a symbol's coherent sum (its inverse
// length) are one to the pair check: such a neighbour takes up most of a tone's energy (tones
// a third of a resolution apart already defeat the check), one half a resolution or more away
// about two fifths of it at most.
constexpr float kCoincidence = 0.5f;

// Finite samples clamped to +-kSampleLimit; infinities and NaN (which fails every comparison)
// become 0.
// (Inlined, so it is built for AVX inside sanitize's AVX form.)
__attribute__((always_inline)) inline void sanitizeLanes(Lanes& x) {
    typedef int32_t LaneMasks __attribute__((vector_size(kLanes * sizeof(int32_t))));
    const Lanes high = Lanes{} + kSampleLimit;
    const Lanes largest = Lanes{} + std::numeric_limits<float>::max();
    const LaneMasks finite = (x <= largest) & (x >= -largest);
    Lanes clamped = x > high ? high : x;
    clamped = clamped < -high ? -high : clamped;
    x = finite ? clamped : Lanes{};
}

// Eight samples at a time, the last few through a zero-padded vector.
RYX_WITH_AVX_CLONE void sanitize(const float* in, float* out, size_t count) {
    size_t i = 0;
    for (; i + kLanes <= count; i += kLanes) {
        Lanes x;
        std::memcpy(&x, in + i, sizeof x);
        sanitizeLanes(x);
        std::memcpy(out + i, &x, sizeof x);
    }
    if (i < count) {
        Lanes x = {};
        for (size_t k = i; k < count; ++k) x[k - i] = in[k];
        sanitizeLanes(x);
        for (size_t k = i; k < count; ++k) out[k] = x[k - i];
    }
}

// Weight k of a tone in lanes lane .. lane + 7, from weight k - 1 in (re, im) (k > 0): stored,
// or weight k - 1 turned by weight 1.
template <typename Weights>
__attribute__((always_inline)) inline void nextWeightLanes(const Weights& w, int k, int lane,
                                                           Lanes& re, Lanes& im) {
    const int row = k < kStoredWeightSlices ? k : 1;
    Lanes r, i;
    std::memcpy(&r, &w.re[row][lane], sizeof r);
    std::memcpy(&i, &w.im[row][lane], sizeof i);
    if (k < kStoredWeightSlices) {
        re = r;
        im = i;
    } else {
        const Lanes turnedRe = re * r - im * i;
        im = re * i + im * r;
        re = turnedRe;
    }
}

// Weight k of a tone in lanes lane .. lane + 7.
template <typename Weights>
__attribute__((always_inline)) inline void weightLanes(const Weights& w, int k, int lane, Lanes& re,
                                                       Lanes& im) {
    const int stored = k < kStoredWeightSlices ? k : kStoredWeightSlices - 1;
    std::memcpy(&re, &w.re[stored][lane], sizeof re);
    std::memcpy(&im, &w.im[stored][lane], sizeof im);
    for (int t = stored + 1; t <= k; ++t) nextWeightLanes(w, t, lane, re, im);
}

int countTrailingZeros(uint32_t bits) {
    return __builtin_ctz(bits);
}  // of a non-zero word

// Hands each message to a list.
class ListSink final : public MessageSink {
  public:
    explicit ListSink(std::vector<ReceivedMessage>& list) : list_(list) {}
    void take(const ReceivedMessage& message) override { list_.push_back(message); }

  private:
    std::vector<ReceivedMessage>& list_;
};

}  // namespace

std::string RobustReceiver::refusal(const Plan* plans, size_t count, const Tuning& tuning) {
    const float sampleRate = tuning.sampleRate;
    if (!sampleRateInRange(sampleRate)) {
        return "robust receiver: " + rateOutsideRange(sampleRate);
    }
    if (plans == nullptr || count == 0 || count > static_cast<size_t>(kMaxPlans)) {
        return phrase("robust receiver: %zu plans given, it listens for 1..%d",
                      plans == nullptr ? size_t{0} : count, kMaxPlans);
    }
    for (size_t i = 0; i < count; ++i) {
        const RobustPlan plan = makeRobustPlan(plans[i], tuning);
        if (!plan.fits) {
            return phrase(
                "robust receiver: plan %d cannot be heard at %g Hz: its tones %g Hz..%g Hz "
                "must be distinct and lie below half the rate",
                static_cast<int>(plans[i]), static_cast<double>(sampleRate),
                static_cast<double>(plan.toneHz[0][0]),
                static_cast<double>(plan.toneHz[RobustPlan::kHops - 1][kToneCount - 1]));
        }
    }
    return {};
}

int RobustReceiver::symbolOffsetOf(int p, int symbolSamples, int sliceSamples) {
    return static_cast<int>(std::lround(static_cast<double>(p) * symbolSamples / sliceSamples));
}

RobustReceiver::Buffers RobustReceiver::takeBuffers(Arena& arena, size_t planCount,
                                                    int sliceSamples, int span) {
    const size_t frequencies = planCount * kFrequenciesPerPlan;
    Buffers b;
    b.plans = arena.take<PlanState>(planCount);
    b.decodeColumns = arena.take<uint32_t>(static_cast<size_t>(span));
    b.reachColumns = arena.take<uint32_t>(static_cast<size_t>(span));
    b.contrastColumns = arena.take<uint32_t>(static_cast<size_t>(span));
    b.samples.take(arena, kSampleSlices, sliceSamples);
    b.bank.take(arena, static_cast<int>(frequencies), sliceSamples);
    b.ring = arena.take<StoredAmplitude>(static_cast<size_t>(kRingSlices) * frequencies);
    return b;
}

size_t RobustReceiver::arenaBytes(const Plan* plans, size_t count, const Tuning& tuning) {
    if (!refusal(plans, count, tuning).empty()) return 0;
    const RobustPlan plan = makeRobustPlan(plans[0], tuning);
    Arena measuring;
    takeBuffers(
        measuring, count, plan.sliceSamples,
        spanFrom(symbolOffsetOf(kTransmissionSymbols - 1, plan.symbolSamples, plan.sliceSamples)));
    return measuring.needed();
}

RobustReceiver::RobustReceiver(const std::vector<Plan>& plans, const Tuning& tuning) {
    const std::string why = refusal(plans.data(), plans.size(), tuning);
    if (!why.empty()) refuse(why);
    const size_t bytes = arenaBytes(plans.data(), plans.size(), tuning) + Arena::kLineBytes - 1;
    owned_.reset(new unsigned char[bytes]);
    Arena arena(owned_.get(), bytes);
    build(plans.data(), plans.size(), tuning, arena);
}

RobustReceiver::RobustReceiver(const Plan* plans, size_t count, const Tuning& tuning,
                               Arena& arena) {
    const std::string why = refusal(plans, count, tuning);
    if (!why.empty()) refuse(why);
    build(plans, count, tuning, arena);
}

void RobustReceiver::build(const Plan* plans, size_t count, const Tuning& tuning, Arena& arena) {
    const float sampleRate = tuning.sampleRate;
    // Every plan at one rate has the same symbol and slice.
    const RobustPlan first = makeRobustPlan(plans[0], tuning);
    sliceSamples_ = first.sliceSamples;
    symbolSamples_ = first.symbolSamples;
    for (int p = 0; p <= kTransmissionSymbols; ++p) {
        symbolOffset_[static_cast<size_t>(p)] = symbolOffsetOf(p, symbolSamples_, sliceSamples_);
    }
    Buffers b = takeBuffers(arena, count, sliceSamples_, static_cast<int>(candidateSpan()));
    if (!arena.fits()) return;  // not ready
    plans_ = b.plans;
    decodeColumns_ = b.decodeColumns;
    reachColumns_ = b.reachColumns;
    contrastColumns_ = b.contrastColumns;
    samples_ = b.samples;
    bank_ = b.bank;
    ring_ = b.ring;
    std::array<float, kMaxPlans * kFrequenciesPerPlan> frequencies{};
    for (size_t i = 0; i < count; ++i) {
        const RobustPlan plan = makeRobustPlan(plans[i], tuning);
        PlanState& ps = plans_[static_cast<size_t>(planCount_++)];
        ps.plan = plan;
        ps.firstFrequency = (planCount_ - 1) * kFrequenciesPerPlan;
        for (int h = 0; h < RobustPlan::kHops; ++h) {
            for (int j = 0; j < kToneCount; ++j) {
                const float f = plan.toneHz[h][j];
                frequencies[static_cast<size_t>(column(ps, h, j))] = f;
                // The tone's turn per slice, whole turns dropped, and the drift's on top.
                double cycles = static_cast<double>(f) * plan.sliceSamples / sampleRate;
                cycles -= std::floor(cycles);
                SliceWeights& w = ps.weights[static_cast<size_t>(h * kToneCount + j)];
                // Lanes past the drifts stay zero.
                for (int d = 0; d < kDriftHypotheses; ++d) {
                    // A tone heard at f (1 + ppm) turns by this much more per slice than f.
                    const double drift =
                        2.0 * kPi * f * driftPpm(d) * 1e-6 * plan.sliceSamples / sampleRate;
                    unitTurns(-2.0 * kPi * cycles - drift, kStoredWeightSlices, &w.re[0][0] + d,
                              &w.im[0][0] + d, kDriftLanes);
                }
            }
        }
        // Tones of another hop that coincide with the own hop's tones (nearer than half the
        // resolution of a symbol's coherent sum) would carry the own hop's energy into the pair
        // check; they are left out of it.
        const float resolution =
            sampleRate / static_cast<float>(kPlateauSlices * plan.sliceSamples);
        for (int own = 0; own < RobustPlan::kHops; ++own) {
            for (int h = 0; h < RobustPlan::kHops; ++h) {
                unsigned apart = 0;
                for (int j = 0; j < kToneCount; ++j) {
                    bool alone = true;
                    for (int k = 0; k < kToneCount; ++k) {
                        alone &= !(std::fabs(plan.toneHz[h][j] - plan.toneHz[own][k]) <
                                   kCoincidence * resolution);
                    }
                    apart |= (alone ? 1u : 0u) << j;
                }
                ps.apart[static_cast<size_t>(own)][static_cast<size_t>(h)] = apart;
            }
        }
    }
    // What a candidate reads where: from the second start symbol on (for the first data symbol's
    // pair check, its own hop a symbol earlier), each symbol's plateau at its own hop, at the
    // timings one slice either side too (kTimingReach slices for a candidate whose data symbols
    // may move it), and for the pair check every column at its own timing.
    for (int p = kStartSymbols - 1; p < kTransmissionSymbols; ++p) {
        uint32_t ownHop = 0;
        for (int j = 0; j < kToneCount; ++j) ownHop |= 1u << columnInPlan(hopSteps(p), j);
        for (int k = kPlateauStart; k < kPlateauStart + kPlateauSlices; ++k) {
            for (int timing = -kTimingReach; timing <= kTimingReach; ++timing) {
                const auto at = static_cast<size_t>(symbolOffset_[p] + timing + k);
                reachColumns_[at] |= ownHop;
                if (std::abs(timing) <= kNearSlices) decodeColumns_[at] |= ownHop;
            }
            contrastColumns_[static_cast<size_t>(symbolOffset_[p] + k)] = kAllColumns;
        }
    }
    bank_.tune(frequencies.data(), sampleRate);
    reset();
}

int RobustReceiver::columnInPlan(int h, int j) {
    static_assert(kQuickFrequencies == 2, "tone 0 and tone 2 at hop 0 lead");
    const int i = h * kToneCount + j;  // tone 2 at hop 0 swaps places with tone 1
    return i == 2 ? 1 : i == 1 ? 2 : i;
}

float* RobustReceiver::sliceAt(int64_t k) {
    return samples_.row(static_cast<int>(k % kSampleSlices));
}

void RobustReceiver::feed(const float* samples, size_t count, std::vector<ReceivedMessage>& out) {
    ListSink sink(out);
    feed(samples, count, sink);
}

void RobustReceiver::feed(const float* samples, size_t count, MessageSink& out) {
    if (samples == nullptr || !ready()) count = 0;
    position_ += static_cast<int64_t>(count);
    while (count > 0) {
        const size_t take = std::min(count, static_cast<size_t>(sliceSamples_ - sliceFill_));
        float* to = sliceAt(slices_) + sliceFill_;
        sanitize(samples, to, take);
        samples += take;
        count -= take;
        sliceFill_ += static_cast<int>(take);
        if (sliceFill_ == sliceSamples_) {
            sliceFill_ = 0;
            processSlice(out);
        }
    }
}

void RobustReceiver::flush(std::vector<ReceivedMessage>& out) {
    if (!ready()) return;
    ListSink sink(out);
    // Silence until every start already heard has been tested and every candidate decoded.
    const int tail =
        symbolOffset_[kTransmissionSymbols] + symbolOffset_[kStartSymbols] + 2 * kPeakHalfWidth + 4;
    for (int i = 0; i <= tail; ++i) {
        float* slice = sliceAt(slices_);
        std::fill(slice + sliceFill_, slice + sliceSamples_, 0.0f);
        sliceFill_ = 0;
        processSlice(sink);
    }
    reset();
}

void RobustReceiver::reset() {
    std::fill(ring_, ring_ + static_cast<size_t>(kRingSlices) * static_cast<size_t>(bank_.size()),
              StoredAmplitude{});
    for (int p = 0; p < planCount_; ++p) {
        PlanState& ps = plans_[static_cast<size_t>(p)];
        ps.score.fill(kFails);
        ps.rowSlice.fill(-1);
        ps.startSumsSymbol = -1;
    }
    slices_ = 0;
    sliceFill_ = 0;
    origin_ = position_;
    candidateCount_ = 0;
    lastReported_ = ReceivedMessage{};
}

void RobustReceiver::measure(PlanState& ps, int64_t k, uint32_t columns) {
    const size_t row = static_cast<size_t>(k % kRingSlices);
    if (ps.rowSlice[row] != k) {
        ps.rowSlice[row] = k;
        ps.measured[row] = 0;
    }
    uint32_t missing = columns & ~ps.measured[row];
    ps.measured[row] |= missing;
    StoredAmplitude* out = ring_ + row * static_cast<size_t>(bank_.size());
    std::complex<float>* fresh = fresh_.data();
    while (missing != 0) {
        // Runs of adjacent columns in one call.
        const int first = ps.firstFrequency + countTrailingZeros(missing);
        const int count = countTrailingZeros(~(missing >> (first - ps.firstFrequency)));
        bank_.analyse(sliceAt(k), first, count, fresh);
        for (int c = first; c < first + count; ++c) {
            out[c] = {toStored(fresh[c].real()), toStored(fresh[c].imag())};
        }
        missing &= ~(((1u << count) - 1u) << (first - ps.firstFrequency));
    }
}

void RobustReceiver::processSlice(MessageSink& out) {
    const int64_t newest = slices_++;
    for (int p = 0; p < planCount_; ++p) {
        PlanState& ps = plans_[static_cast<size_t>(p)];
        uint32_t columns = kEagerColumns;
        for (int i = 0; i < candidateCount_; ++i) {
            const Candidate& c = candidates_[static_cast<size_t>(i)];
            const int64_t r = newest - c.startSlice;
            if (c.plan == p && r >= 0 && r < candidateSpan()) columns |= columnsRead(c, r);
        }
        measure(ps, newest, columns);
    }

    // The start tones' energies, under every drift, of the symbol whose plateau has just been
    // heard; then the start tests: the latest start whose two symbols are complete, then the
    // peak check of the start kPeakHalfWidth slices before it.
    const int64_t symbol = newest - (kPlateauStart + kPlateauSlices - 1);
    for (int p = 0; p < planCount_ && symbol >= 0; ++p) {
        PlanState& ps = plans_[static_cast<size_t>(p)];
        auto& energies = ps.startTones[static_cast<size_t>(symbol % kStartToneSymbols)];
        const bool slide = ps.startSumsSymbol == symbol - 1 && symbol % kSlideSteps != 0;
        for (int t = 0; t < kQuickFrequencies; ++t) {
            const int j = t == 0 ? 0 : 2;  // tone 0, then tone 2, at hop 0
            const SliceWeights& w = ps.weights[static_cast<size_t>(j)];
            DriftSums& sums = ps.startSums[static_cast<size_t>(t)];
            if (slide) {
                slideSums(sums, ringAt(symbol - 1 + kPlateauStart, column(ps, 0, j)),
                          ringAt(symbol + kPlateauStart + kPlateauSlices - 1, column(ps, 0, j)), w);
            } else {
                std::complex<float> plateau[kPlateauSlices];
                gatherPlateau(ps, 0, j, symbol, plateau);
                weighedSums(plateau, w, sums);
            }
            for (int d = 0; d < kDriftLanes; ++d) {
                energies[static_cast<size_t>(t)][d] = energyOf(sums.re[d], sums.im[d]);
            }
        }
        ps.startSumsSymbol = symbol;
    }
    const int64_t testable = newest - (symbolOffset_[1] + kPlateauStart + kPlateauSlices);
    for (int p = 0; p < planCount_; ++p) {
        if (testable >= 0) runStartTest(p, testable);
    }

    // Candidates: the pair check on each symbol heard, then the decision once the whole
    // transmission (and one slice more) has been heard.
    int kept = 0;
    for (int i = 0; i < candidateCount_; ++i) {
        Candidate c = candidates_[static_cast<size_t>(i)];
        if (!judgeSymbols(c, newest)) continue;
        if (newest < c.startSlice + candidateSpan()) {
            candidates_[static_cast<size_t>(kept++)] = c;
            continue;
        }
        ++stats_.starts;
        decodeCandidate(c, out);
    }
    candidateCount_ = kept;
}

bool RobustReceiver::moveByData(Candidate& c) const {
    if (!c.movable) return false;
    const Timing t =
        dataTiming(plans_[static_cast<size_t>(c.plan)], c.startSlice, kDataTimingSlices, c.judged);
    if (t.start == c.startSlice && t.drift == c.drift) return false;
    c = Candidate{c.plan, t.start, t.drift};  // judged afresh, and not moved again
    c.moved = true;
    return true;
}

bool RobustReceiver::judgeSymbols(Candidate& c, int64_t newest) {
    while (c.judged < kDataSymbols &&
           newest >= symbolSlice(c.startSlice, kStartSymbols + c.judged) + kPlateauStart +
                         kPlateauSlices - 1) {
        float ratios[kPairRatios];
        hopContrast(c, c.judged, ratios);
        bool passes = false;
        for (int r = 0; r < kPairRatios; ++r) {
            const float margin = c.moved ? kMovedContrastMargin : 0.0f;
            c.above[r] += ratios[r] >= kContrastThreshold + margin ? 1 : 0;
            if (c.judged < kPairSymbols) {
                c.earlyAbove[r] += ratios[r] >= kEarlyContrastThreshold + margin ? 1 : 0;
            }
            const bool early = c.judged + 1 >= kPairSymbols && c.earlyAbove[r] < kEarlyNeeded;
            passes |= !early && c.judged + 1 - c.above[r] <= kDataSymbols - kNeeded;
        }
        ++c.judged;
        if (passes || moveByData(c)) continue;
        stats_.phantomSamples += c.judged == kPairSymbols
                                     ? (symbolOffset_[kStartSymbols - 1 + kPairSymbols] +
                                        kPlateauStart + kPlateauSlices) *
                                           static_cast<int64_t>(sliceSamples_)
                                     : kTransmissionSymbols * static_cast<int64_t>(symbolSamples_);
        return false;
    }
    return true;
}

// energy[d] = |sum_k plateau[k] w[k][d]|^2 x scale for every lane d, eight lanes at a time.
RYX_WITH_AVX_CLONE void RobustReceiver::weighedSums(
    const std::complex<float> (&plateau)[kPlateauSlices], const SliceWeights& w, DriftSums& sums) {
    for (int lane = 0; lane < kDriftLanes; lane += kLanes) {
        Lanes re = {};
        Lanes im = {};
        Lanes wr, wi;
        weightLanes(w, 0, lane, wr, wi);
        for (int k = 0; k < kPlateauSlices; ++k) {
            if (k > 0) nextWeightLanes(w, k, lane, wr, wi);
            const float a = plateau[k].real();
            const float b = plateau[k].imag();
            re += a * wr - b * wi;
            im += a * wi + b * wr;
        }
        std::memcpy(&sums.re[lane], &re, sizeof re);
        std::memcpy(&sums.im[lane], &im, sizeof im);
    }
}

RYX_WITH_AVX_CLONE void RobustReceiver::slideSums(DriftSums& sums, std::complex<float> leaving,
                                                  std::complex<float> entering,
                                                  const SliceWeights& w) {
    // The plateau one slice on: without `leaving`, turned back by one slice's weight (a unit
    // turn, so its conjugate undoes it), with `entering` at the last slice's weight.
    constexpr int kLast = kPlateauSlices - 1;
    for (int lane = 0; lane < kDriftLanes; lane += kLanes) {
        Lanes re, im, w1r, w1i, wlr, wli;
        std::memcpy(&re, &sums.re[lane], sizeof re);
        std::memcpy(&im, &sums.im[lane], sizeof im);
        weightLanes(w, 1, lane, w1r, w1i);
        weightLanes(w, kLast, lane, wlr, wli);
        re -= leaving.real();
        im -= leaving.imag();
        Lanes nextRe = re * w1r + im * w1i;
        Lanes nextIm = im * w1r - re * w1i;
        nextRe += entering.real() * wlr - entering.imag() * wli;
        nextIm += entering.real() * wli + entering.imag() * wlr;
        std::memcpy(&sums.re[lane], &nextRe, sizeof nextRe);
        std::memcpy(&sums.im[lane], &nextIm, sizeof nextIm);
    }
}

float RobustReceiver::energyOf(float re, float im) const {
    // A tone of amplitude a gives |sum| = a x 13 L / 2, a little less in its fade-out.
    const float scale = 2.0f / (kPlateauSlices * static_cast<float>(sliceSamples_));
    return (re * re + im * im) * (scale * scale);
}

std::complex<float> RobustReceiver::ringAt(int64_t k, int column) const {
    const StoredAmplitude& v =
        ring_[static_cast<size_t>(k % kRingSlices) * static_cast<size_t>(bank_.size()) +
              static_cast<size_t>(column)];
    return {static_cast<float>(v.re), static_cast<float>(v.im)};
}

void RobustReceiver::gatherPlateau(const PlanState& ps, int h, int j, int64_t first,
                                   std::complex<float> (&plateau)[kPlateauSlices]) const {
    const size_t width = static_cast<size_t>(bank_.size());
    const auto at = static_cast<size_t>(column(ps, h, j));
    size_t row = static_cast<size_t>((first + kPlateauStart) % kRingSlices);
    for (int k = 0; k < kPlateauSlices; ++k) {
        const StoredAmplitude& v = ring_[row * width + at];
        plateau[k] = {static_cast<float>(v.re), static_cast<float>(v.im)};
        row = row + 1 == kRingSlices ? 0 : row + 1;
    }
}

float RobustReceiver::symbolEnergy(const PlanState& ps, int h, int j, int drift,
                                   int64_t first) const {
    std::complex<float> plateau[kPlateauSlices];
    gatherPlateau(ps, h, j, first, plateau);
    // Lane `drift` of weighedSums alone, the same operations in the same order.
    const SliceWeights& w = ps.weights[static_cast<size_t>(h * kToneCount + j)];
    float re = 0.0f;
    float im = 0.0f;
    float wr = w.re[0][drift];
    float wi = w.im[0][drift];
    for (int k = 0; k < kPlateauSlices; ++k) {
        if (k >= kStoredWeightSlices) {  // weight k - 1 turned by weight 1
            const float turnedRe = wr * w.re[1][drift] - wi * w.im[1][drift];
            wi = wr * w.im[1][drift] + wi * w.re[1][drift];
            wr = turnedRe;
        } else if (k > 0) {
            wr = w.re[k][drift];
            wi = w.im[k][drift];
        }
        const float a = plateau[k].real();
        const float b = plateau[k].imag();
        re += a * wr - b * wi;
        im += a * wi + b * wr;
    }
    return energyOf(re, im);
}

void RobustReceiver::runStartTest(int p, int64_t start) {
    PlanState& ps = plans_[static_cast<size_t>(p)];
    const int64_t second = symbolSlice(start, 1);
    const auto& tone0 = ps.startTones[static_cast<size_t>(start % kStartToneSymbols)][0];
    const auto& tone2 = ps.startTones[static_cast<size_t>(second % kStartToneSymbols)][1];
    int best = 0;
    float bestEnergy = -1.0f;
    for (int d = 0; d < kDriftHypotheses; ++d) {
        const float e = tone0[d] + tone2[d];
        if (e > bestEnergy) {
            bestEnergy = e;
            best = d;
        }
    }
    // Each start tone against itself in the other start symbol and against the 26 other
    // frequencies of its symbol, added one frequency and symbol at a time: the start fails (score
    // 0, below the threshold) as soon as either sum, growing, puts the threshold out of reach.
    // The start frequencies, measured on every slice, come first; each other frequency is
    // measured on a symbol's slices only when it is needed there.
    const float a0 = tone0[best];
    const float a2 = tone2[best];
    const float tone0Second = ps.startTones[static_cast<size_t>(second % kStartToneSymbols)][0]
                                           [static_cast<size_t>(best)];
    const float tone2First =
        ps.startTones[static_cast<size_t>(start % kStartToneSymbols)][1][static_cast<size_t>(best)];
    constexpr float kOthers = kFrequenciesPerPlan - 1;
    // Per start symbol: the tone's energy, the sum so far, and the next column to add.
    const float tone[2] = {a0, a2};
    float others[2] = {tone2First, tone0Second};
    int next[2] = {kQuickFrequencies, kQuickFrequencies};
    // Each start tone in the other start symbol. Tone 2 in the first counts in full: no echo of
    // the transmission reaches back there, so it also tells how loud tone 0 would be in the
    // second without one. Of tone 0 in the second, what stands above kEchoNoise times that counts
    // only beyond the share an echo of the first leaves (kEchoShare of its energy): a room's
    // reflection does not fail the start while a tone held through both symbols does, and in
    // noise tone 0 in the second counts in full as it did, on the start frequencies alone.
    const float echo[2] = {
        std::max(tone0Second - kEchoShare * a0, std::min(tone0Second, kEchoNoise * tone2First)) +
            kTiny,
        tone2First + kTiny};
    // How far the sum may still grow before the threshold is out of reach (negative: it is).
    auto slack = [&](int i) {
        return tone[i] * kRounding / kStartThreshold - (others[i] / kOthers + echo[i]);
    };
    // The next other frequency of start symbol i added to its sum.
    auto addOther = [&](int i) {
        const int c = next[i]++;
        const int64_t symbol = i == 0 ? start : second;
        for (int k = kPlateauStart; k < kPlateauStart + kPlateauSlices; ++k) {
            measure(ps, symbol + k, 1u << c);
        }
        const int t = columnInPlan(c / kToneCount, c % kToneCount);  // the swap undoes itself
        others[i] += symbolEnergy(ps, t / kToneCount, t % kToneCount, best, symbol);
    };
    bool reach = slack(0) >= 0.0f && slack(1) >= 0.0f;
    while (reach && (next[0] < kFrequenciesPerPlan || next[1] < kFrequenciesPerPlan)) {
        // The symbol nearer to failing goes on first: in noise it usually fails within a few.
        const int i = next[1] == kFrequenciesPerPlan ||
                              (next[0] < kFrequenciesPerPlan && slack(0) <= slack(1))
                          ? 0
                          : 1;
        addOther(i);
        reach = slack(i) >= 0.0f;
    }
    const bool alone = reach && std::min(a0 / (others[0] / kOthers + echo[0]),
                                         a2 / (others[1] / kOthers + echo[1])) >= kStartThreshold;
    bool together = false;
    // Failing alone, a start may pass together: each tone against itself before it began (tone 2
    // in the first symbol, tone 0 in the symbol before the first), so that a room's reverberation,
    // which can leave tone 0 in the second symbol louder than in the first where the room's
    // reflections cancel it, does not fail the start while a tone held from before does. Each
    // start tone far above that comes first, on the start frequencies alone: in noise it fails all
    // but one start in (1 + kEchoRatio)^2 = 81. Then the noises of one slice per symbol, and only
    // where they pass, those of the sums (the rest of the other frequencies added), which tones
    // held through a symbol (a transmission's own, music) raise thirteen times as much.
    if (!alone && a2 * kRounding >= kEchoRatio * echo[1]) {
        const int64_t before = start - symbolOffset_[1];
        const float held[2] = {(before >= 0 ? symbolEnergy(ps, 0, 0, best, before) : 0.0f) + kTiny,
                               echo[1]};
        if (a0 * kRounding >= kEchoRatio * held[0] && passesOnOneSlice(ps, start, a0, a2, held)) {
            auto clears = [&] {
                return clearsTogether(a0, a2, others[0] / kOthers + kEchoWeight * held[0],
                                      others[1] / kOthers + kEchoWeight * held[1]);
            };
            while (clears() && (next[0] < kFrequenciesPerPlan || next[1] < kFrequenciesPerPlan)) {
                addOther(next[1] == kFrequenciesPerPlan || next[0] <= next[1] ? 0 : 1);
            }
            together = clears();
        }
    }
    // A start that passes is ranked among its neighbours by how far its two start tones stand
    // above themselves in the other start symbol (tone 0 in the second counted in full: a start
    // too early leaves the first symbol's tone there, which the echo's share would forgive, and in
    // clean audio every such start would score alike), over the mean of the other frequencies of
    // both symbols. A difference over 52 frequencies, not a ratio over one: a single tone's noise
    // in the divisor moved the best start of weak transmissions by a quarter to half a symbol,
    // which lost 3 to 8% of them at -22 dB (bench/weak_signal.py).
    const float rank = std::max(a0 + a2 - tone0Second - tone2First, kTiny) /
                       ((others[0] + others[1]) / kOthers + kTiny);
    // Near the best, where the start tones' plateaus all but fill their symbols and the rank
    // hardly changes from slice to slice, the start is placed by each tone over its own noise and
    // the other symbol's leak (sharp where the noise is faint): see kRefineSlices.
    const size_t at = static_cast<size_t>(start % kRingSlices);
    ps.sharpness[at] = std::min(a0 / (others[0] / kOthers + tone0Second + kTiny),
                                a2 / (others[1] / kOthers + echo[1]));
    // Its score among its neighbours: the rank of a start that passes alone; below every such,
    // -1 / rank of one that passes together only, so that a weaker start beside a start that
    // passes alone does not take its place; kFails for one that fails.
    ps.score[at] = alone ? rank : together ? -1.0f / rank : kFails;
    ps.bestDrift[at] = static_cast<int8_t>(best);

    // The start kPeakHalfWidth slices back is a candidate when it passes and no start within
    // kPeakHalfWidth either side ranks higher (ties go to the earlier one).
    const int64_t centre = start - kPeakHalfWidth;
    if (centre < 0) return;
    const float s = ps.score[static_cast<size_t>(centre % kRingSlices)];
    if (s == kFails) return;
    for (int64_t k = std::max<int64_t>(0, centre - kPeakHalfWidth); k <= start; ++k) {
        if (k == centre) continue;
        const float other = ps.score[static_cast<size_t>(k % kRingSlices)];
        if (other > s || (k < centre && other == s)) return;
    }
    if (candidateCount_ == kMaxCandidates) return;
    int64_t opened = centre;
    const int64_t refine = s >= kSharpRank ? kRefineSlices : 0;
    for (int64_t k = std::max<int64_t>(0, centre - refine); k <= centre + refine; ++k) {
        const auto row = static_cast<size_t>(k % kRingSlices);
        if (ps.score[row] != kFails &&
            ps.sharpness[row] > ps.sharpness[static_cast<size_t>(opened % kRingSlices)]) {
            opened = k;
        }
    }
    Candidate& c = candidates_[static_cast<size_t>(candidateCount_++)];
    c = {p, opened, ps.bestDrift[static_cast<size_t>(opened % kRingSlices)]};
    c.movable = s < kSharpRank;
    ++stats_.preambles;
    // The slices of it already heard that it reads (the rest are measured as they arrive).
    for (int64_t k = std::max<int64_t>(opened, slices_ - kSampleSlices); k < slices_; ++k) {
        measure(ps, k, columnsRead(c, k - opened));
    }
}

bool RobustReceiver::passesOnOneSlice(PlanState& ps, int64_t start, float a0, float a2,
                                      const float (&held)[2]) {
    // Each tone's noise: the mean of the 26 other frequencies on the middle slice of its symbol's
    // plateau (kPlateauSlices times a slice's energy, what a plateau's sum of noise averages), and
    // kEchoWeight of the tone before it began. Added one frequency at a time to both symbols
    // until the start can no longer clear the thresholds.
    constexpr float kOthers = kFrequenciesPerPlan - 1;
    const int64_t middle[2] = {start + kPlateauStart + kPlateauSlices / 2,
                               symbolSlice(start, 1) + kPlateauStart + kPlateauSlices / 2};
    float others[2] = {0.0f, 0.0f};
    auto clears = [&] {
        return clearsTogether(a0, a2, others[0] / kOthers + kEchoWeight * held[0],
                              others[1] / kOthers + kEchoWeight * held[1]);
    };
    for (int c = 0; c < kFrequenciesPerPlan && clears(); ++c) {
        for (int i = 0; i < 2; ++i) {
            if (c == i) continue;  // the symbol's own start tone
            measure(ps, middle[i], 1u << c);
            const std::complex<float> v = ringAt(middle[i], ps.firstFrequency + c);
            others[i] += kPlateauSlices * energyOf(v.real(), v.imag());
        }
    }
    return clears();
}

void RobustReceiver::decodeCandidate(const Candidate& c, MessageSink& out) {
    const PlanState& ps = plans_[static_cast<size_t>(c.plan)];
    // A second chance takes a word only where it also reaches the clear signal's likelihood
    // bound, however confident (in noise the word search asks more of every word): most words
    // that noise alone gives are confident ones below it. A candidate the pair check moved has
    // had its second chance.
    Decision best = decodeNear(ps, c.startSlice, c.drift);
    if (c.moved && best.logPosterior < WordSearch::kClearLogPosterior) best = Decision{};
    if (!best.ok && !c.moved) {
        const Timing t =
            dataTiming(ps, c.startSlice, c.movable ? kDataTimingSlices : 0, kDataSymbols);
        const Decision again = t.start != c.startSlice || t.drift != c.drift
                                   ? decodeNear(ps, t.start, t.drift)
                                   : Decision{};
        if (again.ok && again.logPosterior >= WordSearch::kClearLogPosterior) best = again;
    }
    if (!best.ok) {
        ++stats_.phantoms;
        stats_.phantomSamples += kTransmissionSymbols * static_cast<int64_t>(symbolSamples_);
        return;
    }
    // The same transmission found again from a neighbouring start, or in a room's echo of it (the
    // same text of the same plan heard again more than half a symbol before the transmission
    // ends, where a second sending of it cannot begin), is reported once.
    const ReceivedMessage& last = lastReported_;
    if (last.ok && (std::llabs(best.message.start - last.start) < symbolSamples_ / 2 ||
                    (best.message.text == last.text && best.message.plan == last.plan &&
                     best.message.start < last.end - symbolSamples_ / 2))) {
        return;
    }
    lastReported_ = best.message;
    best.message.start = onsetSample(ps, best.startSlice);
    best.message.end =
        best.message.start + kTransmissionSymbols * static_cast<int64_t>(symbolSamples_);
    out.take(best.message);
}

RobustReceiver::Decision RobustReceiver::decodeNear(const PlanState& ps, int64_t start, int drift) {
    Decision best;
    for (int offset : kTimingOffsets) {
        Decision d = tryDecode(ps, start + offset, drift);
        if (d.ok && (!best.ok || d.confidence > best.confidence)) best = d;
        if (best.ok && best.confidence >= kCertainConfidence) break;
    }
    return best;
}

RobustReceiver::Timing RobustReceiver::dataTiming(const PlanState& ps, int64_t start, int reach,
                                                  int symbols) const {
    Timing best{start, 0};
    float highest = -1.0f;
    for (int64_t at = std::max<int64_t>(0, start - reach); at <= start + reach; ++at) {
        for (int d = 0; d < kDriftHypotheses; ++d) {
            float sum = 0.0f;
            for (int p = kStartSymbols; p < kStartSymbols + symbols; ++p) {
                unsigned tones = 0;
                sum += twoStrongest(ps, hopSteps(p), kAllTones, d, symbolSlice(at, p), tones);
            }
            if (sum > highest) {
                highest = sum;
                best = {at, d};
            }
        }
    }
    return best;
}

int64_t RobustReceiver::onsetSample(const PlanState& ps, int64_t start) const {
    // Plateau level of tone 0 per slice, then the first slice near the start that reaches half
    // of it: the fade-in (1.2 slices) puts that slice's beginning about one slice after the onset.
    const int at = column(ps, 0, 0);
    auto sliceEnergy = [&](int64_t k) { return std::norm(ringAt(k, at)); };
    float plateau = 0.0f;
    for (int k = kPlateauStart; k < kPlateauStart + kPlateauSlices; ++k) {
        plateau += sliceEnergy(start + k);
    }
    plateau /= kPlateauSlices;
    for (int64_t k = std::max<int64_t>(0, start - 3); k <= start + 3; ++k) {
        if (sliceEnergy(k) >= 0.5f * plateau) {
            return origin_ + (k - 1) * sliceSamples_ + sliceSamples_ / 4;
        }
    }
    return origin_ + start * sliceSamples_;
}

float RobustReceiver::twoStrongest(const PlanState& ps, int h, unsigned heard, int drift,
                                   int64_t first, unsigned& tones) const {
    float top = -1.0f;  // the two strongest energies heard (energies are >= 0)
    float next = -1.0f;
    unsigned topTone = 0;  // bit j: tone j
    unsigned nextTone = 0;
    for (int j = 0; j < kToneCount; ++j) {
        if (!(heard >> j & 1u)) continue;
        const float e = symbolEnergy(ps, h, j, drift, first);
        if (e > top) {
            next = top;
            nextTone = topTone;
            top = e;
            topTone = 1u << j;
        } else if (e > next) {
            next = e;
            nextTone = 1u << j;
        }
    }
    if (next < 0.0f) next = top;  // one tone heard counts twice; none, nothing
    tones = topTone | nextTone;
    return std::max(top + next, 0.0f);
}

void RobustReceiver::hopContrast(Candidate& c, int i, float (&ratios)[kPairRatios]) const {
    const PlanState& ps = plans_[static_cast<size_t>(c.plan)];
    const int p = kStartSymbols + i;
    static_assert(RobustPlan::kHops == 3, "the own hop and the two others");
    const int own = hopSteps(p);
    const int64_t first = symbolSlice(c.startSlice, p);
    // At the own hop all nine tones; at another hop those that stand apart from the own hop's
    // (all nine but at a few rates, where the hop is close to a multiple of the tone spacing).
    const auto& apart = ps.apart[static_cast<size_t>(own)];
    const int after = (own + 1) % RobustPlan::kHops;   // the next symbol's hop
    const int before = (own + 2) % RobustPlan::kHops;  // the symbol before's
    unsigned tones = 0;
    const float pair = twoStrongest(ps, own, kAllTones, c.drift, first, tones);
    const unsigned ringing = c.ringing;
    c.ringing = static_cast<uint16_t>(tones);
    const float next =
        twoStrongest(ps, after, apart[static_cast<size_t>(after)], c.drift, first, tones);
    const unsigned beforeTones = apart[static_cast<size_t>(before)];
    const float last = twoStrongest(ps, before, beforeTones, c.drift, first, tones);
    ratios[0] = pair / (std::max(next, last) + kTiny);
    // Forgiving the symbol before that still rings at its hop, up to kRingingShare times the
    // pair: the pair over the next symbol's hop, the hop before without the symbol before's two
    // tones, and its own hop a symbol earlier.
    const float quiet = twoStrongest(ps, before, beforeTones & ~ringing, c.drift, first, tones);
    const float earlier =
        twoStrongest(ps, own, kAllTones, c.drift, symbolSlice(c.startSlice, p - 1), tones);
    ratios[1] =
        std::min(pair / (std::max({next, quiet, earlier}) + kTiny), kRingingShare * ratios[0]);
}

RobustReceiver::Decision RobustReceiver::tryDecode(const PlanState& ps, int64_t start, int drift) {
    Decision result;
    if (start < 0) return result;
    SymbolEnergies energy;
    measureSymbols(ps, start, drift, energy);
    const Word word = search_.search(energy);
    ++stats_.searches;
    stats_.words += word.tried;
    if (!word.found) return result;
    result.ok = true;
    result.confidence = word.confidence;
    result.logPosterior = word.logPosterior;
    result.startSlice = start;
    result.message = fillMessage(ps, start, energy, word);
    return result;
}

void RobustReceiver::measureSymbols(const PlanState& ps, int64_t start, int drift,
                                    SymbolEnergies& energy) const {
    for (int i = 0; i < kDataSymbols; ++i) {
        const int p = kStartSymbols + i;
        for (int j = 0; j < kToneCount; ++j) {
            energy[static_cast<size_t>(i)][static_cast<size_t>(j)] =
                symbolEnergy(ps, hopSteps(p), j, drift, symbolSlice(start, p));
        }
    }
}

ReceivedMessage RobustReceiver::fillMessage(const PlanState& ps, int64_t start,
                                            const SymbolEnergies& energy, const Word& word) const {
    ReceivedMessage m;
    for (int i = 0; i < kTextSymbols; ++i) {
        m.text[static_cast<size_t>(i)] =
            symbolToChar(word.message[static_cast<size_t>(kStartSymbols + i)]);
    }
    m.text[kTextSymbols] = '\0';
    m.ok = true;
    m.plan = static_cast<int>(ps.plan.plan);
    m.start = origin_ + start * sliceSamples_;  // refined by onsetSample when reported
    m.end = m.start + kTransmissionSymbols * static_cast<int64_t>(symbolSamples_);
    m.confidence = word.confidence;
    m.correctedMask = word.correctedMask;
    int clean = 0;
    for (int i = 0; i < kMessageSymbols; ++i) clean += (m.correctedMask >> i & 1u) ? 0 : 1;
    m.cleanShare = clean / static_cast<float>(kMessageSymbols);
    // The band's level is that of the seven tone frequencies each symbol leaves silent, so a
    // clean transmission reads tens of dB and one buried in noise near 0 dB, as with the standard
    // receiver's band of bins.
    float toneSum = 0.0f;
    float bandSum = 0.0f;
    for (int i = 0; i < kDataSymbols; ++i) {
        const auto& e = energy[static_cast<size_t>(i)];
        int pair[kPairTones];
        symbolToTonePair(word.codeword[static_cast<size_t>(kStartSymbols + i)], pair);
        toneSum += e[static_cast<size_t>(pair[0])] + e[static_cast<size_t>(pair[1])];
        for (int j = 0; j < kToneCount; ++j) bandSum += e[static_cast<size_t>(j)];
    }
    bandSum -= toneSum;
    const float toneMean = toneSum / (static_cast<float>(kPairTones) * kDataSymbols);
    const float bandMean =
        std::max(bandSum, 0.0f) / (static_cast<float>(kSilentTones) * kDataSymbols);
    m.toneToBandDb = kDecibelsPerNeper * std::log((toneMean + kTiny) / (bandMean + kTiny));
    m.levelDbfs = kDecibelsPerNeper * std::log(toneMean + kTiny);
    return m;
}

}  // namespace RYX
