#include "payload/payload_receiver.h"

#include <algorithm>
#include <cmath>

#include "dsp/ascending_order.h"
#include "dsp/real_fft.h"
#include "modes/phrase.h"
#include "modes/refuse.h"

namespace RYX {
namespace {

constexpr double kScanTolerance = 0.0025;  // the scan's bins reach +-2500 ppm around a tone
constexpr double kMaxDrift = 0.0025;       // ring and due times allow this much stretch

// How far a sync tone stands out of its set, uncapped, so that the timings and drifts of a clear
// sync still rank: the log of its energy over the set's mean.
float syncStrength(float known, float mean) {
    return std::log(std::max(known, 1e-30f) / std::max(mean, 1e-30f));
}

double driftOf(int hypothesis) {
    static_assert(PayloadReceiver::kDriftHypotheses == 9, "-2000 .. 2000 ppm in steps of 500");
    const int k = (hypothesis + 1) / 2;  // 0, +500, -500, +1000, ...: nearest first
    return (hypothesis % 2 == 1 ? 500e-6 : -500e-6) * k;
}

}  // namespace

int64_t PayloadReceiver::Scanner::due() const {
    return int64_t(std::ceil(layout.frameSamples * (1.0 + kMaxDrift))) + layout.sliceSamples +
           layout.windowSamples;
}

PayloadReceiver::PayloadReceiver(const std::vector<Plan>& plans, const CustomBand& custom,
                                 float sampleRate)
    : sampleRate_(sampleRate) {
    if (plans.empty()) refuse("a payload receiver needs at least one plan");
    if (!sampleRateInRange(sampleRate)) {
        refuse("sample rate out of range for a payload receiver");
    }
    int longest = 0;
    int largestFft = 4;
    for (Plan plan : plans) {
        for (PayloadProfile profile : {PayloadProfile::Fast, PayloadProfile::Robust}) {
            Scanner sc;
            sc.layout = makePayloadLayout(profile, plan, custom, sampleRate);
            if (!sc.layout.fits) continue;
            const PayloadLayout& l = sc.layout;
            sc.tones = l.channels * l.sets * PayloadLayout::kSetTones;
            const double binsPerHz = l.fftSize / double(sampleRate);
            for (int c = 0; c < l.channels; ++c) {
                for (int h = 0; h < l.sets; ++h) {
                    for (int t = 0; t < PayloadLayout::kSetTones; ++t) {
                        const double f = l.toneHz(h, c, t) * binsPerHz;
                        const int centre = int(std::lround(f));
                        sc.binLow.push_back(
                            std::min(centre, int(std::lround(f * (1.0 - kScanTolerance)))));
                        sc.binHigh.push_back(std::max(
                            centre,
                            std::min(int(std::lround(f * (1.0 + kScanTolerance))), l.fftSize / 2)));
                    }
                }
            }
            sc.energy.assign(size_t(kRingSlices) * size_t(sc.tones), 0.0f);
            sc.score.assign(kRingSlices, 0.0f);
            sc.strength.assign(kRingSlices, 0.0f);
            longest = std::max(longest, int(sc.due()) + 2 * l.sliceSamples);
            largestFft = std::max(largestFft, l.fftSize);
            scanners_.push_back(std::move(sc));
        }
    }
    if (scanners_.empty()) {
        refuse("no payload profile fits these plans at this sample rate");
    }
    ring_.assign(size_t(longest), 0.0f);
    fftBuffer_.assign(size_t(largestFft), 0.0f);
    power_.assign(size_t(largestFft / 2 + 1), 0.0f);
    syncPower_.assign(size_t(kTimings * PayloadLayout::kSyncSymbols) * size_t(largestFft / 2 + 1),
                      0.0f);
    codec_.setMessageLength(kWordMessageSymbols);
}

void PayloadReceiver::feed(const float* samples, size_t count, std::vector<ReceivedPayload>& out) {
    if (samples == nullptr) count = 0;
    const int64_t ringSize = int64_t(ring_.size());
    for (size_t i = 0; i < count; ++i) {
        const float x = samples[i];
        ring_[size_t(position_ % ringSize)] = std::isfinite(x) ? x : 0.0f;
        ++position_;
        for (Scanner& sc : scanners_) {
            const PayloadLayout& l = sc.layout;
            if (position_ == sc.slices * l.sliceSamples + l.windowSamples) analyseSlice(sc);
            while (sc.candidateCount > 0 && position_ >= sc.candidates[0].start + sc.due()) {
                const Candidate c = sc.candidates[0];
                std::copy(sc.candidates.begin() + 1, sc.candidates.begin() + sc.candidateCount,
                          sc.candidates.begin());
                --sc.candidateCount;
                decodeCandidate(sc, c, out);
            }
        }
    }
    expire(false, out);
}

void PayloadReceiver::flush(std::vector<ReceivedPayload>& out) {
    int64_t longest = 0;
    for (const Scanner& sc : scanners_) longest = std::max(longest, sc.due());
    const std::array<float, 1024> silence{};
    for (int64_t fed = 0; fed < longest + 16 * 1024;) {
        bool pending = false;
        for (const Scanner& sc : scanners_) pending = pending || sc.candidateCount > 0;
        if (!pending && fed > longest / 2) break;
        feed(silence.data(), silence.size(), out);
        fed += int64_t(silence.size());
    }
    expire(true, out);
}

void PayloadReceiver::spectrumAt(const Scanner& sc, int64_t first) {
    const PayloadLayout& l = sc.layout;
    const int64_t ringSize = int64_t(ring_.size());
    for (int n = 0; n < l.windowSamples; ++n) {
        const int64_t p = first + n;
        fftBuffer_[size_t(n)] = (p >= 0 && p < position_ && position_ - p <= ringSize)
                                    ? ring_[size_t(p % ringSize)]
                                    : 0.0f;
    }
    std::fill(fftBuffer_.begin() + l.windowSamples, fftBuffer_.begin() + l.fftSize, 0.0f);
    RealFftWithPowers(l.fftSize, fftBuffer_.data(), power_.data());
}

void PayloadReceiver::analyseSlice(Scanner& sc) {
    const PayloadLayout& l = sc.layout;
    spectrumAt(sc, sc.slices * l.sliceSamples);
    float* e = &sc.energy[size_t(sc.slices % kRingSlices) * size_t(sc.tones)];
    for (int k = 0; k < sc.tones; ++k) {
        float best = 0.0f;
        for (int b = sc.binLow[size_t(k)]; b <= sc.binHigh[size_t(k)]; ++b) {
            best = std::max(best, power_[size_t(b)]);
        }
        e[k] = best;
    }
    ++sc.slices;
    const int64_t span = 4 * (PayloadLayout::kSyncSymbols - 1);
    const int64_t first = sc.slices - 1 - span;
    if (first < 0) return;
    const SyncTest test = syncTest(sc, first);
    sc.score[size_t(first % kRingSlices)] = test.score;
    sc.strength[size_t(first % kRingSlices)] = test.strength;
    const int64_t peak = first - kPeakHalfWidth;
    if (peak < 0 || sc.score[size_t(peak % kRingSlices)] < kSyncThreshold) return;
    // The timing is the strongest within +-kPeakHalfWidth slices (the capped scores of a clear
    // sync tie over several slices).
    const float s = sc.strength[size_t(peak % kRingSlices)];
    for (int d = -kPeakHalfWidth; d <= kPeakHalfWidth; ++d) {
        if (d == 0 || peak + d < 0) continue;
        const float other = sc.strength[size_t((peak + d) % kRingSlices)];
        if (other > s || (d < 0 && other == s)) return;
    }
    // A full list gives way to a stronger candidate: the weakest pending one is dropped.
    const Candidate fresh{peak * l.sliceSamples, s};
    if (sc.candidateCount < kMaxCandidates) {
        sc.candidates[size_t(sc.candidateCount++)] = fresh;
        return;
    }
    auto weakest =
        std::min_element(sc.candidates.begin(), sc.candidates.end(),
                         [](const Candidate& a, const Candidate& b) { return a.score < b.score; });
    if (weakest->score >= s) return;
    std::copy(weakest + 1, sc.candidates.end(), weakest);
    sc.candidates.back() = fresh;
}

PayloadReceiver::SyncTest PayloadReceiver::syncTest(const Scanner& sc, int64_t first) const {
    const PayloadLayout& l = sc.layout;
    SyncTest test;
    for (int j = 0; j < PayloadLayout::kSyncSymbols; ++j) {
        const float* e = &sc.energy[size_t((first + 4 * j) % kRingSlices) * size_t(sc.tones)];
        for (int c = 0; c < l.channels; ++c) {
            const float* set = e + (c * l.sets + l.setOf(j)) * PayloadLayout::kSetTones;
            float mean = 0.0f;
            for (int t = 0; t < PayloadLayout::kSetTones; ++t) mean += set[t];
            mean /= PayloadLayout::kSetTones;
            const float known = set[syncTone(j, c)];
            test.score += mean > 0.0f ? std::min(kSyncRatioCap, known / mean) : 0.0f;
            test.strength += syncStrength(known, mean);
        }
    }
    test.score /= float(PayloadLayout::kSyncSymbols * l.channels);
    return test;
}

double PayloadReceiver::binOf(const Scanner& sc, int set, int channel, int tone,
                              double drift) const {
    const PayloadLayout& l = sc.layout;
    return l.toneHz(set, channel, tone) * (1.0 - drift) * l.fftSize / double(sampleRate_);
}

void PayloadReceiver::decodeCandidate(Scanner& sc, const Candidate& c,
                                      std::vector<ReceivedPayload>& out) {
    const PayloadLayout& l = sc.layout;
    if (c.start < sc.heardUntil) return;
    const int bins = l.fftSize / 2 + 1;
    // The sync slots' spectra at each timing, then every drift read from them.
    for (int d = 0; d < kTimings; ++d) {
        const int64_t start = c.start + (d - kTimings / 2) * l.sliceSamples / 4;
        for (int j = 0; j < PayloadLayout::kSyncSymbols; ++j) {
            spectrumAt(sc, start + l.slotStart(j));
            std::copy(power_.begin(), power_.begin() + bins,
                      syncPower_.begin() + (d * PayloadLayout::kSyncSymbols + j) * bins);
        }
    }
    // The sync score of timing d under drift h, at d x kDriftHypotheses + h.
    std::array<float, kTimings * kDriftHypotheses> score{};
    for (int d = 0; d < kTimings; ++d) {
        for (int h = 0; h < kDriftHypotheses; ++h) {
            float sum = 0.0f;
            for (int j = 0; j < PayloadLayout::kSyncSymbols; ++j) {
                const float* p = &syncPower_[size_t((d * PayloadLayout::kSyncSymbols + j) * bins)];
                for (int ch = 0; ch < l.channels; ++ch) {
                    float mean = 0.0f;
                    for (int t = 0; t < PayloadLayout::kSetTones; ++t) {
                        mean += p[std::lround(binOf(sc, l.setOf(j), ch, t, driftOf(h)))];
                    }
                    mean /= PayloadLayout::kSetTones;
                    const float known =
                        p[std::lround(binOf(sc, l.setOf(j), ch, syncTone(j, ch), driftOf(h)))];
                    sum += syncStrength(known, mean);
                }
            }
            score[size_t(d * kDriftHypotheses + h)] = sum;
        }
    }
    std::array<int, kTimings * kDriftHypotheses> order{};
    ascendingOrder(score.data(), int(score.size()), order.data());
    static_assert(kTriedTimings.back() <= kTimings * kDriftHypotheses,
                  "no more timings tried (the most with the most channels) than measured");
    for (int k = 0; k < kTriedTimings[size_t(l.channels)]; ++k) {
        const int tried = order[order.size() - 1 - size_t(k)];  // the best score first
        const int64_t start =
            c.start + (tried / kDriftHypotheses - kTimings / 2) * l.sliceSamples / 4;
        const FrameResult frame = decodeFrame(sc, start, driftOf(tried % kDriftHypotheses));
        if (frame.ok) {
            sc.heardUntil = frame.start + l.slotStart(l.slots - 1);
            addFrame(sc, frame, out);
            return;
        }
    }
}

PayloadReceiver::FrameResult PayloadReceiver::decodeFrame(const Scanner& sc, int64_t start,
                                                          double drift) {
    const PayloadLayout& l = sc.layout;
    FrameResult result;
    result.start = start;
    // Each code symbol's 32 tone energies.
    for (int slot = PayloadLayout::kSyncSymbols; slot < l.slots; ++slot) {
        spectrumAt(sc, start + int64_t(std::lround(l.slotStart(slot) * (1.0 + drift))));
        for (int c = 0; c < l.channels; ++c) {
            const int k = (slot - PayloadLayout::kSyncSymbols) * l.channels + c;
            if (k >= kFrameCodeSymbols) break;
            const int ch = codeSymbolChannel(l, k);
            for (int t = 0; t < PayloadLayout::kSetTones; ++t) {
                codeEnergy_[size_t(k)][size_t(t)] =
                    power_[size_t(std::lround(binOf(sc, l.setOf(slot), ch, t, drift)))];
            }
        }
    }
    std::array<int, kFrameMessageSymbols> message{};
    std::array<int, kWordSymbols> word{};
    std::array<float, kWordSymbols> reliability{};
    std::array<int, kWordSymbols> order{};
    std::array<int, kWordSymbols> corrected{};
    double decidedEnergy = 0.0;
    double allEnergy = 0.0;
    double amplitude = 0.0;
    double confidence = 0.0;
    int changed = 0;
    int rankSum = 0;
    std::array<int, kWordSymbols> runnerUp{};
    std::array<int, kWordSymbols> trial{};
    std::array<int, kWordMessageSymbols> tried{};
    for (int w = 0; w < kFrameWords; ++w) {
        for (int i = 0; i < kWordSymbols; ++i) {
            const auto& e = codeEnergy_[size_t(kFrameWords * i + w)];
            int best = 0;
            for (int t = 1; t < PayloadLayout::kSetTones; ++t) best = e[t] > e[best] ? t : best;
            int second = best == 0 ? 1 : 0;
            for (int t = 0; t < PayloadLayout::kSetTones; ++t) {
                if (t != best && e[t] > e[second]) second = t;
            }
            word[size_t(i)] = best;
            runnerUp[size_t(i)] = second;
            reliability[size_t(i)] = e[best] / (e[second] + 1e-30f);
        }
        ascendingOrder(reliability.data(), kWordSymbols, order.data());
        // Every even count of the least reliable symbols erased, each with the kChaseSymbols
        // next least reliable at their best or second best tone; of the words that decode, the
        // one whose tones are loudest (the sum of their amplitudes: the likeliest in noise).
        bool decoded = false;
        double loudest = -1.0;
        for (int erased = 0; erased <= ReedSolomonCodec::kParityLength; erased += 2) {
            for (int pattern = 0; pattern < 1 << kChaseSymbols; ++pattern) {
                trial = word;
                for (int t = 0; t < kChaseSymbols; ++t) {
                    const auto at = size_t(order[size_t(erased + t)]);
                    if (pattern >> t & 1) trial[at] = runnerUp[at];
                }
                codec_.setReceived(trial.data(), kWordSymbols);
                if (!codec_.decodeWithErasures(order.data(), erased)) continue;
                codec_.getMessage(tried.data());
                codec_.setMessage(tried.data(), kWordMessageSymbols);
                codec_.computeParity();
                codec_.getCodeword(trial.data());
                double loudness = 0.0;
                for (int i = 0; i < kWordSymbols; ++i) {
                    loudness += std::sqrt(
                        double(codeEnergy_[size_t(kFrameWords * i + w)][size_t(trial[size_t(i)])]));
                }
                if (loudness <= loudest) continue;
                loudest = loudness;
                decoded = true;
                corrected = trial;
                std::copy(tried.begin(), tried.end(), message.begin() + w * kWordMessageSymbols);
            }
        }
        if (!decoded) return result;
        for (int i = 0; i < kWordSymbols; ++i) {
            changed += corrected[size_t(i)] != word[size_t(i)] ? 1 : 0;
        }
        for (int i = 0; i < kWordSymbols; ++i) {
            const auto& e = codeEnergy_[size_t(kFrameWords * i + w)];
            const float decided = e[size_t(corrected[size_t(i)])];
            for (int t = 0; t < PayloadLayout::kSetTones; ++t) {
                rankSum += t != corrected[size_t(i)] && e[size_t(t)] >= decided ? 1 : 0;
            }
            float top = 0.0f;
            float sum = 0.0f;
            for (float v : e) {
                top = std::max(top, v);
                sum += v;
            }
            decidedEnergy += decided;
            allEnergy += sum / PayloadLayout::kSetTones;
            amplitude += std::sqrt(double(decided));
            confidence += top > 0.0f ? decided / top : 0.0f;
        }
    }
    if (changed > kMaxCorrections || rankSum > kMaxRankSum ||
        !unpackFrame(l.profile, message.data(), result.header, result.body.data())) {
        return result;
    }
    result.ok = true;
    result.confidence = float(confidence / kFrameCodeSymbols);
    result.toneToBandDb =
        allEnergy > 0.0 ? float(10.0 * std::log10(decidedEnergy / allEnergy + 1e-30)) : 0.0f;
    result.level = float(2.0 * amplitude / kFrameCodeSymbols / l.windowSamples);
    return result;
}

void PayloadReceiver::addFrame(const Scanner& sc, const FrameResult& frame,
                               std::vector<ReceivedPayload>& out) {
    const PayloadLayout& l = sc.layout;
    Assembly* a = nullptr;
    for (Assembly& candidate : assemblies_) {
        if (candidate.used && candidate.profile == l.profile && candidate.plan == l.plan &&
            candidate.identity == frame.header.identity && candidate.size == frame.header.size) {
            a = &candidate;
        }
    }
    if (a == nullptr) {
        Assembly* oldest = &assemblies_[0];
        for (Assembly& candidate : assemblies_) {
            if (!candidate.used) {
                a = &candidate;
                break;
            }
            if (candidate.end < oldest->end) oldest = &candidate;
        }
        if (a == nullptr) {
            if (!oldest->reported) report(*oldest, false, out);
            a = oldest;
        }
        *a = Assembly{};
        a->used = true;
        a->profile = l.profile;
        a->plan = l.plan;
        a->identity = frame.header.identity;
        a->size = frame.header.size;
        a->dataFrames = dataFrameCount(a->size);
        a->parityFrames = parityFrameCount(a->dataFrames);
        a->frameSamples = l.frameSamples;
        a->start = frame.start;
    }
    const size_t index = size_t(frame.header.index);
    a->end = std::max(a->end, frame.start + l.frameSamples);
    if (a->present[index]) return;
    a->present[index] = true;
    a->rows[index] = frame.body;
    ++a->heard;
    a->start = std::min(a->start, frame.start);
    a->confidence += frame.confidence;
    a->toneToBandDb += frame.toneToBandDb;
    a->level += frame.level;
    if (a->reported || a->heard < a->dataFrames) return;
    if (!outer_.recover(a->rows.data(), a->present.data(), a->dataFrames, a->parityFrames)) return;
    uint32_t sent = 0;
    for (int k = 0; k < kPayloadCheckBytes; ++k) {
        const int i = a->size + k;
        sent |= uint32_t(a->rows[size_t(i / kFrameBodyBytes)][size_t(i % kFrameBodyBytes)])
                << (8 * k);
    }
    uint32_t crc = 0;
    for (int f = 0; f * kFrameBodyBytes < a->size; ++f) {
        crc = crc32(a->rows[size_t(f)].data(),
                    size_t(std::min(kFrameBodyBytes, a->size - f * kFrameBodyBytes)), crc);
    }
    if (crc == sent && payloadIdentity(crc) == a->identity) report(*a, true, out);
}

ReceivedPayload PayloadReceiver::describe(const Assembly& a) const {
    ReceivedPayload p;
    p.profile = a.profile;
    p.plan = a.plan;
    p.start = a.start;
    p.end = a.end;
    p.framesHeard = a.heard;
    p.framesTotal = a.dataFrames + a.parityFrames;
    p.framesNeeded = a.dataFrames;
    p.size = a.size;
    if (a.heard > 0) {
        // A payload short of its needed frames is no more certain than the share it has of them,
        // however clearly those few were heard.
        const double shareNeeded = std::min(1.0, double(a.heard) / a.dataFrames);
        p.confidence = float(a.confidence / a.heard * shareNeeded);
        p.toneToBandDb = float(a.toneToBandDb / a.heard);
        p.levelDbfs = std::max(-120.0f, float(20.0 * std::log10(a.level / a.heard + 1e-30)));
    }
    return p;
}

void PayloadReceiver::report(Assembly& a, bool ok, std::vector<ReceivedPayload>& out) {
    ReceivedPayload p = describe(a);
    p.ok = ok;
    if (ok) {
        p.data.resize(size_t(a.size));
        for (int i = 0; i < a.size; ++i) {
            p.data[size_t(i)] = a.rows[size_t(i / kFrameBodyBytes)][size_t(i % kFrameBodyBytes)];
        }
    }
    a.reported = true;
    out.push_back(std::move(p));
}

void PayloadReceiver::expire(bool all, std::vector<ReceivedPayload>& out) {
    for (Assembly& a : assemblies_) {
        if (!a.used) continue;
        // A run of lost frames as long as the parity count still delivers the payload: it is
        // given up only when that many frames and two more have passed without one heard.
        const int64_t patience = int64_t(a.parityFrames + 2) * a.frameSamples;
        if (all || position_ > a.end + patience) {
            if (!a.reported) report(a, false, out);
            a.used = false;
        }
    }
}

void PayloadReceiver::progress(std::vector<ReceivedPayload>& out) const {
    for (const Assembly& a : assemblies_) {
        if (a.used && !a.reported) out.push_back(describe(a));
    }
}

}  // namespace RYX
