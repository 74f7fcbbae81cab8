#include "decoder/robust_receiver.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "modes/symbol_alphabet.h"

namespace RYX {
namespace {

// Drift hypothesis d means tones heard at f (1 + driftPpm(d) 1e-6): -2000 .. 2000 ppm in steps
// of 250, so the residual never exceeds 125 ppm (2.5 Hz at 20 kHz, a fifth of the window's
// resolution).
float driftPpm(int d) {
    return 250.0f * static_cast<float>(d - RobustReceiver::kDriftHypotheses / 2);
}
constexpr double kPi = 3.14159265358979323846;
constexpr float kTiny = 1e-12f;         // energy floor: a tone 114 dB below full scale
constexpr float kSampleLimit = 1e6f;    // samples are clamped to +-this; NaN counts as 0
constexpr int kMaxErasures = 8;         // with eight, the twelve other symbols fix the word alone
constexpr int kTrialSymbols = 7;        // symbols tried at their second best pair
constexpr float kRemovedShare = 0.01f;  // a removed tone: below this share of the typical
constexpr float kSilentSpread = 1e-3f;  // spread of pair scores below which a symbol heard nothing
constexpr int kTimingOffsets[3] = {0, -1, 1};  // slices around the candidate's start
// A word this sure at the candidate's own timing is not looked for again one slice either side.
constexpr float kCertainConfidence = 0.97f;

int hopOf(int position) {
    return position < 2 ? 0 : (position - 1) % 3;
}

}  // namespace

RobustReceiver::RobustReceiver(int mode, const Tuning& tuning) {
    const float sampleRate = tuning.sampleRate;
    Plan wanted[kMaxPlans];
    int count = 0;
    switch (mode) {
        case 2:
            wanted[count++] = Plan::Audible;
            break;
        case 3:
            wanted[count++] = Plan::NonAudible;
            break;
        case 4:
            wanted[count++] = Plan::Compression;
            break;
        case 5:
            wanted[count++] = Plan::Audible;
            wanted[count++] = Plan::NonAudible;
            wanted[count++] = Plan::Compression;
            break;
        case 6:
            wanted[count++] = Plan::Custom;
            break;
        default:
            break;
    }
    std::vector<float> frequencies;
    for (int i = 0; i < count; ++i) {
        const RobustPlan plan = makeRobustPlan(wanted[i], tuning);
        if (!plan.fits) continue;
        PlanState& ps = plans_[static_cast<size_t>(planCount_++)];
        ps.plan = plan;
        ps.firstFrequency = static_cast<int>(frequencies.size());
        for (int h = 0; h < RobustPlan::kHops; ++h) {
            for (int j = 0; j < 9; ++j) {
                const float f = plan.toneHz[h][j];
                frequencies.push_back(f);
                for (int d = 0; d < kDriftHypotheses; ++d) {
                    // A tone heard at f (1 + ppm) turns by this much more per slice than f.
                    const double turn =
                        2.0 * kPi * f * driftPpm(d) * 1e-6 * plan.sliceSamples / sampleRate;
                    auto& row = ps.drift[static_cast<size_t>(d * 27 + h * 9 + j)];
                    for (int k = 0; k < kPlateauSlices; ++k) {
                        row[static_cast<size_t>(k)] =
                            std::complex<float>(std::polar(1.0, -turn * k));
                    }
                }
            }
        }
        sliceSamples_ = plan.sliceSamples;
        symbolSamples_ = plan.symbolSamples;
    }
    if (planCount_ == 0) return;
    for (int p = 0; p <= 20; ++p) {
        symbolOffset_[static_cast<size_t>(p)] =
            static_cast<int>(std::lround(static_cast<double>(p) * symbolSamples_ / sliceSamples_));
    }
    bank_.configure(frequencies, sampleRate, sliceSamples_);
    slice_.assign(static_cast<size_t>(sliceSamples_), 0.0f);
    ring_.assign(static_cast<size_t>(kRingSlices) * frequencies.size(), 0.0f);
}

void RobustReceiver::feed(const float* samples, size_t count, std::vector<ReceivedMessage>& out) {
    if (samples == nullptr) count = 0;
    position_ += static_cast<int64_t>(count);
    if (planCount_ == 0) return;
    for (size_t i = 0; i < count; ++i) {
        const float x = samples[i];
        slice_[static_cast<size_t>(sliceFill_++)] =
            std::isfinite(x) ? std::clamp(x, -kSampleLimit, kSampleLimit) : 0.0f;
        if (sliceFill_ == sliceSamples_) {
            sliceFill_ = 0;
            processSlice(out);
        }
    }
}

void RobustReceiver::flush(std::vector<ReceivedMessage>& out) {
    if (planCount_ == 0) return;
    // Silence until every start already heard has been tested and every candidate decoded.
    std::fill(slice_.begin() + sliceFill_, slice_.end(), 0.0f);
    sliceFill_ = 0;
    processSlice(out);
    std::fill(slice_.begin(), slice_.end(), 0.0f);
    const int tail = symbolOffset_[20] + symbolOffset_[2] + 2 * kPeakHalfWidth + 4;
    for (int i = 0; i < tail; ++i) processSlice(out);
    reset();
}

void RobustReceiver::reset() {
    bank_.reset();
    std::fill(ring_.begin(), ring_.end(), 0.0f);
    for (int p = 0; p < planCount_; ++p) plans_[static_cast<size_t>(p)].score.fill(0.0f);
    slices_ = 0;
    sliceFill_ = 0;
    origin_ = position_;
    candidateCount_ = 0;
    lastReportedStart_ = -1;
}

void RobustReceiver::processSlice(std::vector<ReceivedMessage>& out) {
    const size_t width = static_cast<size_t>(bank_.size());
    bank_.analyse(slice_.data(), ring_.data() + static_cast<size_t>(slices_ % kRingSlices) * width);
    ++slices_;
    const int64_t newest = slices_ - 1;

    // Start tests: the latest start whose two symbols are complete, then the peak check of the
    // start kPeakHalfWidth slices before it.
    const int64_t testable = newest - (symbolOffset_[1] + kPlateauStart + kPlateauSlices);
    for (int p = 0; p < planCount_; ++p) {
        if (testable >= 0) runStartTest(p, testable);
    }

    // Candidates whose whole transmission (and one slice more) has been heard.
    const int64_t span = symbolOffset_[19] + kPlateauStart + kPlateauSlices + 1;
    const int64_t pairSpan = symbolOffset_[1 + kPairSymbols] + kPlateauStart + kPlateauSlices;
    int kept = 0;
    for (int i = 0; i < candidateCount_; ++i) {
        Candidate c = candidates_[static_cast<size_t>(i)];
        if (!c.heardPairs && newest >= c.startSlice + pairSpan) {
            if (!(hopContrast(c, kPairSymbols) >= kEarlyContrastThreshold)) {
                stats_.phantomSamples += pairSpan * sliceSamples_;
                continue;
            }
            c.heardPairs = true;
        }
        if (newest < c.startSlice + span) {
            candidates_[static_cast<size_t>(kept++)] = c;
            continue;
        }
        const float contrast = hopContrast(c, kDataSymbols);
        if (!(contrast >= kContrastThreshold)) {
            stats_.phantomSamples += 20 * static_cast<int64_t>(symbolSamples_);
            continue;
        }
        ++stats_.starts;
        decodeCandidate(c, out);
    }
    candidateCount_ = kept;
}

float RobustReceiver::symbolEnergy(const PlanState& ps, int h, int j, int drift,
                                   int64_t first) const {
    const size_t width = static_cast<size_t>(bank_.size());
    const size_t column = static_cast<size_t>(ps.firstFrequency + h * 9 + j);
    const auto& turn = ps.drift[static_cast<size_t>(drift * 27 + h * 9 + j)];
    std::complex<float> sum = 0.0f;
    const int64_t begin = first + kPlateauStart;
    for (int k = 0; k < kPlateauSlices; ++k) {
        const size_t row = static_cast<size_t>((begin + k) % kRingSlices);
        sum += ring_[row * width + column] * turn[static_cast<size_t>(k)];
    }
    // A tone of amplitude a gives |sum| = a x 13 L / 2, a little less in its fade-out.
    const float scale = 2.0f / (kPlateauSlices * static_cast<float>(sliceSamples_));
    return std::norm(sum) * scale * scale;
}

void RobustReceiver::runStartTest(int p, int64_t start) {
    PlanState& ps = plans_[static_cast<size_t>(p)];
    const int64_t second = symbolSlice(start, 1);
    int best = 0;
    float bestEnergy = -1.0f;
    for (int d = 0; d < kDriftHypotheses; ++d) {
        const float e = symbolEnergy(ps, 0, 0, d, start) + symbolEnergy(ps, 0, 2, d, second);
        if (e > bestEnergy) {
            bestEnergy = e;
            best = d;
        }
    }
    // Each start tone against the 26 other frequencies of its symbol and against itself in the
    // other start symbol.
    float others0 = 0.0f;
    float others1 = 0.0f;
    for (int h = 0; h < RobustPlan::kHops; ++h) {
        for (int j = 0; j < 9; ++j) {
            if (h != 0 || j != 0) others0 += symbolEnergy(ps, h, j, best, start);
            if (h != 0 || j != 2) others1 += symbolEnergy(ps, h, j, best, second);
        }
    }
    const float a0 = symbolEnergy(ps, 0, 0, best, start);
    const float a2 = symbolEnergy(ps, 0, 2, best, second);
    const float q0 = a0 / (others0 / 26.0f + symbolEnergy(ps, 0, 0, best, second) + kTiny);
    const float q2 = a2 / (others1 / 26.0f + symbolEnergy(ps, 0, 2, best, start) + kTiny);
    const size_t at = static_cast<size_t>(start % kRingSlices);
    ps.score[at] = std::min(q0, q2);
    ps.bestDrift[at] = static_cast<int8_t>(best);

    // The start kPeakHalfWidth slices back is a candidate when it clears the threshold and no
    // start within kPeakHalfWidth either side scores higher (ties go to the earlier one).
    const int64_t centre = start - kPeakHalfWidth;
    if (centre < 0) return;
    const float s = ps.score[static_cast<size_t>(centre % kRingSlices)];
    if (!(s >= kStartThreshold)) return;
    for (int64_t k = std::max<int64_t>(0, centre - kPeakHalfWidth); k <= start; ++k) {
        if (k == centre) continue;
        const float other = ps.score[static_cast<size_t>(k % kRingSlices)];
        if (other > s || (k < centre && other == s)) return;
    }
    if (candidateCount_ == kMaxCandidates) return;
    candidates_[static_cast<size_t>(candidateCount_++)] = {
        p, centre, ps.bestDrift[static_cast<size_t>(centre % kRingSlices)], false};
    ++stats_.preambles;
}

void RobustReceiver::decodeCandidate(const Candidate& c, std::vector<ReceivedMessage>& out) {
    const PlanState& ps = plans_[static_cast<size_t>(c.plan)];
    Decision best;
    for (int offset : kTimingOffsets) {
        Decision d = tryDecode(ps, c.startSlice + offset, c.drift);
        if (d.ok && (!best.ok || d.confidence > best.confidence)) best = d;
        if (best.ok && best.confidence >= kCertainConfidence) break;
    }
    if (!best.ok) {
        ++stats_.phantoms;
        stats_.phantomSamples += 20 * static_cast<int64_t>(symbolSamples_);
        return;
    }
    // The same transmission found again from a neighbouring start is reported once.
    if (lastReportedStart_ >= 0 &&
        std::llabs(best.message.start - lastReportedStart_) < symbolSamples_ / 2) {
        return;
    }
    lastReportedStart_ = best.message.start;
    best.message.start = onsetSample(ps, best.startSlice);
    best.message.end = best.message.start + 20 * static_cast<int64_t>(symbolSamples_);
    out.push_back(best.message);
}

int64_t RobustReceiver::onsetSample(const PlanState& ps, int64_t start) const {
    // Plateau level of tone 0 per slice, then the first slice near the start that reaches half
    // of it: the fade-in (1.2 slices) puts that slice's beginning about one slice after the onset.
    const size_t width = static_cast<size_t>(bank_.size());
    const size_t column = static_cast<size_t>(ps.firstFrequency);
    auto sliceEnergy = [&](int64_t k) {
        return std::norm(ring_[static_cast<size_t>(k % kRingSlices) * width + column]);
    };
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

float RobustReceiver::hopContrast(const Candidate& c, int symbols) const {
    const PlanState& ps = plans_[static_cast<size_t>(c.plan)];
    float ratio[kDataSymbols];
    for (int i = 0; i < symbols; ++i) {
        const int p = i + 2;
        float strongest[RobustPlan::kHops];
        for (int h = 0; h < RobustPlan::kHops; ++h) {
            float e[9];
            for (int j = 0; j < 9; ++j) {
                e[j] = symbolEnergy(ps, h, j, c.drift, symbolSlice(c.startSlice, p));
            }
            std::nth_element(e, e + 7, e + 9);  // e[7], e[8]: the two strongest
            strongest[h] = e[7] + e[8];
        }
        const int h = hopOf(p);
        const float other = std::max(strongest[(h + 1) % 3], strongest[(h + 2) % 3]);
        ratio[i] = strongest[h] / (other + kTiny);
    }
    std::nth_element(ratio, ratio + symbols / 2, ratio + symbols);
    return ratio[symbols / 2];
}

RobustReceiver::Decision RobustReceiver::tryDecode(const PlanState& ps, int64_t start, int drift) {
    Decision result;
    if (start < 0) return result;
    // Energies of the nine tones in each data symbol, at that symbol's hop.
    float energy[kDataSymbols][9];
    for (int i = 0; i < kDataSymbols; ++i) {
        const int p = i + 2;
        for (int j = 0; j < 9; ++j) {
            energy[i][j] = symbolEnergy(ps, hopOf(p), j, drift, symbolSlice(start, p));
        }
    }
    // Tones a lossy codec's low-pass removed: the highest two or more tones, each 20 dB or more
    // below the typical tone even in the symbol where it is loudest (a tone that is there sounds
    // in 2 of 9 symbols, so in 18 symbols it is almost surely heard, and two unused tones at the
    // top are rarer still). Such a tone tells nothing, so it is given a neutral level in each
    // symbol, between the symbol's strongest and its typical live tone: a pair of a heard tone
    // and a removed one then beats a pair of a heard tone and one that is plainly off, and the
    // symbol's second best pair holds the other removed tone.
    float loudest[9] = {};
    for (int i = 0; i < kDataSymbols; ++i) {
        for (int j = 0; j < 9; ++j) loudest[j] = std::max(loudest[j], energy[i][j]);
    }
    float typical[9];
    std::copy(loudest, loudest + 9, typical);
    std::nth_element(typical, typical + 4, typical + 9);
    int firstRemoved = 9;
    while (firstRemoved > 0 && loudest[firstRemoved - 1] < kRemovedShare * typical[4]) {
        --firstRemoved;
    }
    if (firstRemoved > 7) firstRemoved = 9;
    bool removed[9];
    for (int j = 0; j < 9; ++j) removed[j] = j >= firstRemoved;
    // Per symbol: tone amplitudes, the best pair and its margin. Amplitudes, not energies: a
    // pair scores the sum of its two amplitudes, which weighs a weak tone that is there against
    // a loud one near the right balance for tones a few dB above the noise. They are not divided
    // by a per-frequency noise floor: a floor estimated from 18 symbols scatters by about 45%,
    // which costs more symbols in white noise than it saves in speech or coloured noise.
    int received[20];
    int alternative[20];  // each data symbol's second best pair
    float score[kDataSymbols][kSymbolCount];
    float bestScore[kDataSymbols];
    std::array<std::pair<float, int>, kDataSymbols> reliability{};
    received[0] = kStartSymbol1;
    received[1] = kStartSymbol2;
    for (int i = 0; i < kDataSymbols; ++i) {
        float level[9];
        for (int j = 0; j < 9; ++j) level[j] = std::sqrt(energy[i][j]);
        float live[9];
        int liveCount = 0;
        for (int j = 0; j < 9; ++j) {
            if (!removed[j]) live[liveCount++] = level[j];
        }
        if (liveCount > 0 && liveCount < 9) {
            std::sort(live, live + liveCount);
            const float neutral = 0.5f * (live[liveCount - 1] + live[liveCount / 2]);
            for (int j = 0; j < 9; ++j) {
                if (removed[j]) level[j] = neutral;
            }
        }
        int first = 0;
        int second = 0;
        float top = -1.0f;
        float runnerUp = -1.0f;
        for (int s = 0; s < kSymbolCount; ++s) {
            int pair[2];
            symbolToTonePair(s, pair);
            const float v = level[pair[0]] + level[pair[1]];
            score[i][s] = v;
            if (v > top) {
                runnerUp = top;
                second = first;
                top = v;
                first = s;
            } else if (v > runnerUp) {
                runnerUp = v;
                second = s;
            }
        }
        received[i + 2] = first;
        alternative[i + 2] = second;
        bestScore[i] = top;
        reliability[static_cast<size_t>(i)] = {top - runnerUp, i + 2};
    }
    std::sort(reliability.begin(), reliability.end());
    int leastReliable[kMaxErasures + kTrialSymbols];
    for (int k = 0; k < kMaxErasures + kTrialSymbols; ++k) {
        leastReliable[k] = reliability[static_cast<size_t>(k)].second;
    }

    // A symbol's spread: its best pair's score over the mean of all 32 (what a guess would get).
    float spread[kDataSymbols];
    for (int i = 0; i < kDataSymbols; ++i) {
        float mean = 0.0f;
        for (int s = 0; s < kSymbolCount; ++s) mean += score[i][s];
        spread[i] = bestScore[i] - mean / kSymbolCount;
    }
    // Words tried: the f least reliable symbols erased (f = 0 .. kMaxErasures), and each of the
    // kTrialSymbols next least reliable either as received or as its second best pair.
    int trial[20];
    for (int attempt = 0; attempt < (kMaxErasures + 1) << kTrialSymbols; ++attempt) {
        const int f = attempt >> kTrialSymbols;
        std::copy(received, received + 20, trial);
        for (int t = 0; t < kTrialSymbols; ++t) {
            if (attempt >> t & 1) {
                const int at = leastReliable[f + t];
                trial[at] = alternative[at];
            }
        }
        codec_.setMessageLength(12);
        codec_.setReceived(trial, 20);
        if (!codec_.decodeWithErasures(leastReliable, f)) continue;
        if (codec_.correctedMask() & 3u) continue;  // start symbols must stand as received
        int message[12];
        codec_.getMessage(message);
        int sum = 0;
        for (int i = 2; i < 11; ++i) sum += message[i];
        if (sum % kSymbolCount != message[11]) continue;
        // Re-encode to see every symbol of the corrected word, parity included.
        int word[20];
        ReedSolomonCodec encoder;
        encoder.setMessage(message, 12);
        encoder.computeParity();
        encoder.getCodeword(word);
        // Confidence: 1 minus the mean share of its spread each symbol of the word gives up
        // against the best pair (0 where the word takes the best pair, about 1 for a guess).
        float loss = 0.0f;
        for (int i = 0; i < kDataSymbols; ++i) {
            // A symbol that heard nothing (digital silence) counts as a guess.
            loss += spread[i] > kSilentSpread
                        ? std::min(1.0f, (bestScore[i] - score[i][word[i + 2]]) / spread[i])
                        : 1.0f;
        }
        const float confidence = 1.0f - loss / kDataSymbols;
        if (confidence < kAcceptThreshold || (result.ok && confidence <= result.confidence)) {
            continue;
        }
        result.ok = true;
        result.confidence = confidence;
        ReceivedMessage& m = result.message;
        for (int i = 0; i < 9; ++i) m.text[static_cast<size_t>(i)] = symbolToChar(message[i + 2]);
        m.text[9] = '\0';
        m.ok = true;
        m.plan = static_cast<int>(ps.plan.plan);
        m.start = origin_ + start * sliceSamples_;  // refined by onsetSample when reported
        m.end = m.start + 20 * static_cast<int64_t>(symbolSamples_);
        result.startSlice = start;
        m.confidence = confidence;
        m.correctedMask = codec_.correctedMask();
        int clean = 0;
        for (int i = 0; i < 12; ++i) clean += (m.correctedMask >> i & 1u) ? 0 : 1;
        m.cleanShare = clean / 12.0f;
        // The band's level is that of the seven tone frequencies each symbol leaves silent, so
        // a clean transmission reads tens of dB and one buried in noise near 0 dB, as with the
        // standard receiver's band of bins.
        float toneSum = 0.0f;
        float bandSum = 0.0f;
        for (int i = 0; i < kDataSymbols; ++i) {
            int pair[2];
            symbolToTonePair(word[i + 2], pair);
            toneSum += energy[i][pair[0]] + energy[i][pair[1]];
            for (int j = 0; j < 9; ++j) bandSum += energy[i][j];
        }
        bandSum -= toneSum;
        const float toneMean = toneSum / (2.0f * kDataSymbols);
        const float bandMean = std::max(bandSum, 0.0f) / (7.0f * kDataSymbols);
        m.toneToBandDb = 10.0f * std::log10((toneMean + kTiny) / (bandMean + kTiny));
        m.levelDbfs = 10.0f * std::log10(toneMean + kTiny);
        if (loss == 0.0f) break;  // every symbol at its best pair: no word explains more
    }
    return result;
}

}  // namespace RYX
