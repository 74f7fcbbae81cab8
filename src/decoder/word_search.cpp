#include "decoder/word_search.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "dsp/ascending_order.h"

namespace RYX {
namespace {

constexpr float kRemovedShare = 0.01f;  // a removed tone: below this share of the typical
// Spread of pair scores (tone amplitudes, full scale 1) below which a symbol heard nothing: 140 dB
// under full scale, far below any recording's noise (16-bit samples: 101 dB), so a quiet
// transmission is decided on its ratios like a loud one.
constexpr float kSilentSpread = 1e-7f;
constexpr uint32_t kStartMask = (1u << kStartSymbols) - 1u;  // correctedMask bits of the start
constexpr float kLn2 = 0.693147181f;
constexpr float kLnSymbols = 3.465735903f;  // ln 32
constexpr float kLeastSignal = 0.02f;       // the transmission's energy per tone, of the noise's
constexpr float kToneMissing = 0.05f;       // the chance a tone of the word is not heard at all
constexpr int kSilentTones = kToneCount - kPairTones;  // the seven a symbol leaves silent

// ln I0(x) for x >= 0 to within 0.2%: its series below 3, its asymptotic expansion above.
//   x = 0 -> 0, 1 -> 0.2359, 3 -> 1.5826 (1.5853 exactly), 10 -> 7.9430
float logBesselI0(float x) {
    if (x < 3.0f) {
        const float q = 0.25f * x * x;  // I0(x) = sum of q^k / (k!)^2
        return std::log(1.0f +
                        q * (1.0f + q * (0.25f + q * (1.0f / 36 + q * (1.0f / 576 + q / 14400)))));
    }
    const float u = 1.0f / (8.0f * x);
    return x - 0.5f * std::log(6.283185307f * x) +
           std::log(1.0f + u * (1.0f + u * (4.5f + u * 37.5f)));
}

// Tones a lossy codec's low-pass removed: the highest two or more tones, each 20 dB or more
// below the typical tone even in the symbol where it is loudest (a tone that is there sounds in 2
// of 9 symbols, so in 18 symbols it is almost surely heard, and two unused tones at the top are
// rarer still). Sets removed[j] for each.
template <typename Energies>
void findRemovedTones(const Energies& energy, bool removed[kToneCount]) {
    float loudest[kToneCount] = {};
    for (const auto& symbol : energy) {
        for (int j = 0; j < kToneCount; ++j) loudest[j] = std::max(loudest[j], symbol[j]);
    }
    int order[kToneCount];
    ascendingOrder(loudest, kToneCount, order);
    const float typical = loudest[order[kToneCount / 2]];
    int firstRemoved = kToneCount;
    while (firstRemoved > 0 && loudest[firstRemoved - 1] < kRemovedShare * typical) {
        --firstRemoved;
    }
    if (firstRemoved > kToneCount - 2) firstRemoved = kToneCount;  // one missing tone is no sign
    for (int j = 0; j < kToneCount; ++j) removed[j] = j >= firstRemoved;
}

}  // namespace

WordSearch::Word WordSearch::search(const SymbolEnergies& energy) {
    return searchWords(rankPairs(energy));
}

WordSearch::PairRanking WordSearch::rankPairs(const SymbolEnergies& energy) {
    // A removed tone tells nothing, so it is given a neutral level in each symbol, between the
    // symbol's strongest and its typical live tone: a pair of a heard tone and a removed one then
    // beats a pair of a heard tone and one that is plainly off, and the symbol's second best pair
    // holds the other removed tone.
    bool removed[kToneCount];
    findRemovedTones(energy, removed);
    // Per symbol: tone amplitudes, the best pair and its margin. Amplitudes, not energies: a
    // pair scores the sum of its two amplitudes, which weighs a weak tone that is there against
    // a loud one near the right balance for tones a few dB above the noise. They are not divided
    // by a per-frequency noise floor: a floor estimated from 18 symbols scatters by about 45%,
    // which costs more symbols in white noise than it saves in speech or coloured noise.
    PairRanking r;
    float margin[kDataSymbols];  // best pair's score over the second best's
    r.received[0] = kStartSymbol1;
    r.received[1] = kStartSymbol2;
    for (int i = 0; i < kDataSymbols; ++i) {
        const auto& e = energy[static_cast<size_t>(i)];
        float* level = r.level[static_cast<size_t>(i)].data();
        for (int j = 0; j < kToneCount; ++j) level[j] = std::sqrt(e[static_cast<size_t>(j)]);
        float live[kToneCount];
        int liveCount = 0;
        for (int j = 0; j < kToneCount; ++j) {
            if (!removed[j]) live[liveCount++] = level[j];
        }
        if (liveCount > 0 && liveCount < kToneCount) {
            int order[kToneCount];
            ascendingOrder(live, liveCount, order);
            const float neutral = 0.5f * (live[order[liveCount - 1]] + live[order[liveCount / 2]]);
            for (int j = 0; j < kToneCount; ++j) {
                if (removed[j]) level[j] = neutral;
            }
        }
        int first = 0;
        int second = 0;
        float top = -1.0f;
        float runnerUp = -1.0f;
        float sum = 0.0f;
        for (int s = 0; s < kSymbolCount; ++s) {
            const float v = pairScore(r, i, s);
            sum += v;
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
        // A symbol's spread: its best pair's score over the mean of all 32 (what a guess would
        // get).
        r.spread[static_cast<size_t>(i)] = top - sum / kSymbolCount;
        const int p = kStartSymbols + i;
        r.received[static_cast<size_t>(p)] = first;
        r.alternative[static_cast<size_t>(p)] = second;
        r.bestScore[static_cast<size_t>(i)] = top;
        margin[i] = top - runnerUp;
    }
    int order[kDataSymbols];
    ascendingOrder(margin, kDataSymbols, order);
    for (int k = 0; k < kRanked; ++k) {
        r.leastReliable[static_cast<size_t>(k)] = kStartSymbols + order[k];
    }
    pairPosteriors(r);
    return r;
}

float WordSearch::pairScore(const PairRanking& r, int i, int s) {
    int pair[kPairTones];
    symbolToTonePair(s, pair);
    const auto& level = r.level[static_cast<size_t>(i)];
    return level[static_cast<size_t>(pair[0])] + level[static_cast<size_t>(pair[1])];
}

float WordSearch::symbolPosteriors(const float* energies, float noise, float signal,
                                   std::array<float, kSymbolCount>& logP) {
    // Per tone: ln of the likelihood ratio of a tone of energy `signal` in the noise against the
    // noise alone, I0(2 sqrt(signal E) / noise) exp(-signal / noise), where the tone is missing
    // with probability kToneMissing (a fade, a dropout, a codec's gap): so a symbol that lost its
    // tones tells little, instead of naming its loudest noise with certainty.
    float tone[kToneCount];
    const float lnHeard = std::log(1.0f - kToneMissing) - signal / noise;
    const float lnMissing = std::log(kToneMissing);
    for (int j = 0; j < kToneCount; ++j) {
        const float heard = lnHeard + logBesselI0(2.0f * std::sqrt(signal * energies[j]) / noise);
        const float high = std::max(heard, lnMissing);
        tone[j] = high + std::log(1.0f + std::exp(std::min(heard, lnMissing) - high));
    }
    float most = -std::numeric_limits<float>::infinity();
    for (int s = 0; s < kSymbolCount; ++s) {
        int pair[kPairTones];
        symbolToTonePair(s, pair);
        logP[static_cast<size_t>(s)] = tone[pair[0]] + tone[pair[1]];
        most = std::max(most, logP[static_cast<size_t>(s)]);
    }
    float total = 0.0f;
    for (float v : logP) total += std::exp(v - most);
    const float norm = most + std::log(total);
    for (float& v : logP) v -= norm;
    return most - norm;
}

float WordSearch::allowForHits(std::array<float, kSymbolCount>& logP) {
    float most = -std::numeric_limits<float>::infinity();
    for (float& v : logP) {
        v = std::log((1.0f - kSymbolHit) * std::exp(v) + kSymbolHit / kSymbolCount);
        most = std::max(most, v);
    }
    return most;
}

void WordSearch::pairPosteriors(PairRanking& r) {
    // The noise's energy per tone: the mean of the seven tones outside each symbol's best pair
    // (126 tones; the median of all 162 over ln 2 counts the transmission's 36 and reads 40 to
    // 47% high at -23 to -25 dB). The transmission's energy per tone: the best pairs' mean less
    // the noise, at least 2% of it.
    float bestEnergy = 0.0f;
    float allEnergy = 0.0f;
    float energies[kDataSymbols * kToneCount];
    for (int i = 0; i < kDataSymbols; ++i) {
        const auto& level = r.level[static_cast<size_t>(i)];
        for (int j = 0; j < kToneCount; ++j) {
            energies[i * kToneCount + j] =
                level[static_cast<size_t>(j)] * level[static_cast<size_t>(j)];
            allEnergy += energies[i * kToneCount + j];
        }
        int pair[kPairTones];
        symbolToTonePair(r.received[static_cast<size_t>(kStartSymbols + i)], pair);
        bestEnergy += energies[i * kToneCount + pair[0]] + energies[i * kToneCount + pair[1]];
    }
    constexpr int kTones = kDataSymbols * kToneCount;
    constexpr int kBestTones = kPairTones * kDataSymbols;
    const float noise = (allEnergy - bestEnergy) / (kTones - kBestTones);
    const float signal = std::max(bestEnergy / kBestTones - noise, kLeastSignal * noise);
    // Whether a symbol heard anything is judged against the median instead: on noise alone the
    // tones outside the best pairs read low (the two loudest of nine are left out) and every
    // symbol would seem to hear a little (bench/false_acceptance.py).
    int order[kTones];
    ascendingOrder(energies, kTones, order);
    const float medianNoise = energies[order[kTones / 2]] / kLn2;
    const float medianSignal =
        std::max(bestEnergy / kBestTones - medianNoise, kLeastSignal * medianNoise);
    std::array<float, kSymbolCount> scratch;
    for (int i = 0; i < kDataSymbols; ++i) {
        const auto at = static_cast<size_t>(i);
        if (!(r.spread[at] > kSilentSpread) || !(noise > 0.0f) || !(medianNoise > 0.0f)) {
            r.logPosterior[at].fill(-kLnSymbols);
            r.likeliest[at] = -kLnSymbols;
            r.heard[at] = -kLnSymbols;
            continue;
        }
        const float* symbol = energies + i * kToneCount;
        symbolPosteriors(symbol, noise, signal, r.logPosterior[at]);
        r.likeliest[at] = allowForHits(r.logPosterior[at]);
        r.heard[at] = symbolPosteriors(symbol, medianNoise, medianSignal, scratch);
    }
    for (float v : r.likeliest) r.upper += v;
    r.unclear = unclearSymbols(r, energies);
}

int WordSearch::unclearSymbols(const PairRanking& r, const float* energies) {
    // Each symbol's second loudest tone (the weaker of a clear pair) and its median tone.
    float second[kDataSymbols];
    float median[kDataSymbols];
    for (int i = 0; i < kDataSymbols; ++i) {
        const float* symbol = energies + i * kToneCount;
        int order[kToneCount];
        ascendingOrder(symbol, kToneCount, order);
        second[i] = symbol[order[kToneCount - kPairTones]];
        median[i] = symbol[order[kToneCount / 2]];
    }
    int order[kDataSymbols];
    ascendingOrder(second, kDataSymbols, order);
    const float typical = second[order[kDataSymbols / 2]];
    int unclear = 0;
    for (int i = 0; i < kDataSymbols; ++i) {
        const bool silent = !(r.spread[static_cast<size_t>(i)] > kSilentSpread);
        const bool quiet = second[i] * kClearSignal < typical;  // a dropout: heard nothing of it
        const bool clear = second[i] >= kClearSignal * median[i];
        unclear += silent || quiet || clear ? 0 : 1;
    }
    return unclear;
}

WordSearch::Word WordSearch::searchWords(const PairRanking& r) {
    Found found;
    found.clear = r.unclear <= kUnclearSymbols;
    found.bound = found.clear ? kClearLogPosterior : kAcceptLogPosterior;
    found.likeliestLog = found.bound;
    std::array<int, kTransmissionSymbols> trial{};
    // Attempt a: f = a / 2^kTrialSymbols least reliable symbols erased, and bit t of a puts the
    // symbol ranked f + t at its second best pair.
    for (int attempt = 0; attempt < kWordsPerTiming; ++attempt) {
        const int f = attempt >> kTrialSymbols;
        trial = r.received;
        for (int t = 0; t < kTrialSymbols; ++t) {
            if (attempt >> t & 1) {
                const auto at = static_cast<size_t>(r.leastReliable[static_cast<size_t>(f + t)]);
                trial[at] = r.alternative[at];
            }
        }
        if (tryWord(r, trial, r.leastReliable.data(), f, found)) break;
    }
    if (!found.best.found && leastReliableHeard(r)) {
        searchList(r, found);
        if (!found.best.found) searchErasures(r, found);
    }
    Word& result = found.best.found ? found.best : found.likeliest;
    result.tried = found.tried;
    return result;
}

bool WordSearch::tryWord(const PairRanking& r, const std::array<int, kTransmissionSymbols>& trial,
                         const int* erased, int erasures, Found& found) {
    ++found.tried;
    codec_.setMessageLength(kMessageSymbols);
    codec_.setReceived(trial.data(), kTransmissionSymbols);
    if (!codec_.decodeWithErasures(erased, erasures)) return false;
    if (codec_.correctedMask() & kStartMask) return false;  // start symbols stand as received
    std::array<int, kMessageSymbols> message;
    codec_.getMessage(message.data());
    if (textChecksum(message.data() + kStartSymbols) != message[kChecksumPosition]) return false;
    // Re-encode to see every symbol of the corrected word, parity included.
    std::array<int, kTransmissionSymbols> word;
    encoder_.setMessage(message.data(), kMessageSymbols);
    encoder_.computeParity();
    encoder_.getCodeword(word.data());
    // Confidence: 1 minus the mean share of its spread each symbol of the word gives up
    // against the best pair (0 where the word takes the best pair, about 1 for a guess).
    float loss = 0.0f;
    float logPosterior = 0.0f;
    for (int i = 0; i < kDataSymbols; ++i) {
        const auto at = static_cast<size_t>(i);
        const int s = word[kStartSymbols + at];
        const float spread = r.spread[at];
        // A symbol that heard nothing (digital silence) counts as a guess.
        loss += spread > kSilentSpread
                    ? std::min(1.0f, (r.bestScore[at] - pairScore(r, i, s)) / spread)
                    : 1.0f;
        logPosterior += r.logPosterior[at][static_cast<size_t>(s)];
    }
    const float confidence = 1.0f - loss / kDataSymbols;
    // In noise every word must reach the likelihood bound, however confident: a confident word
    // of noise is as likely as its posteriors say. So must a word of the random erasures: of the
    // trials' many decodings, one that fits noise can still come out confident.
    if ((!found.clear || found.steadyOnly) && !(logPosterior >= found.bound)) return false;
    if (found.steadyOnly && !steadyWord(r, word)) return false;
    Word* taken = nullptr;
    if (confidence >= kAcceptThreshold) {
        if (!found.best.found || confidence > found.best.confidence) taken = &found.best;
    } else if (!found.best.found &&
               (found.likeliest.found
                    ? logPosterior > found.likeliestLog
                    : logPosterior >= found.bound ||
                          (found.clear && logPosterior >= kUnopposedLogPosterior &&
                           r.upper - logPosterior <= kUnopposedSlack))) {
        found.likeliestLog = logPosterior;
        taken = &found.likeliest;
    }
    if (taken == nullptr) return false;
    taken->found = true;
    taken->confidence = confidence;
    taken->logPosterior = logPosterior;
    taken->message = message;
    taken->codeword = word;
    taken->correctedMask = codec_.correctedMask();
    return loss == 0.0f;  // every symbol at its best pair: no word explains more
}

bool WordSearch::leastReliableHeard(const PairRanking& r) {
    // Where the least reliable symbols heard next to nothing, the others fix the word alone and
    // only the checksum stands against a word of noise.
    float likeliest = 0.0f;
    for (int e = 0; e < kMaxErasures; ++e) {
        likeliest +=
            r.heard[static_cast<size_t>(r.leastReliable[static_cast<size_t>(e)] - kStartSymbols)];
    }
    return likeliest >= kListHeard;
}

void WordSearch::searchList(const PairRanking& r, Found& found) {
    // The least reliable symbols are left to the code.
    List list;
    for (int e = 0; e < kMaxErasures; ++e) {
        list.erased |= 1u << r.leastReliable[static_cast<size_t>(e)];
    }
    list.word = r.received;
    // Passes listing the words costing at most 1, 2, 4 .. nats, each decoding only the words the
    // passes before left, until no word can beat the likeliest so far (none, where even the
    // likeliest pairs fall short) or the list is full.
    list.scoredTo = -1.0f;
    for (float limit = 1.0f; list.words < kListWords; limit *= 2.0f) {
        list.limit = limit;
        listFrom(r, list, kStartSymbols, 0.0f, found);
        if (limit >= r.upper - found.likeliestLog) break;
        list.scoredTo = limit;
    }
}

void WordSearch::listFrom(const PairRanking& r, List& list, int position, float cost,
                          Found& found) {
    while (position < kTransmissionSymbols && (list.erased >> position & 1u)) ++position;
    if (position == kTransmissionSymbols) {
        if (cost <= list.scoredTo) return;  // an earlier pass decoded it
        ++list.words;
        tryWord(r, list.word, r.leastReliable.data(), kMaxErasures, found);
        return;
    }
    const auto i = static_cast<size_t>(position - kStartSymbols);
    for (int s = 0; s < kSymbolCount && list.words < kListWords; ++s) {
        const float c = cost + (r.likeliest[i] - r.logPosterior[i][static_cast<size_t>(s)]);
        if (c > std::min(list.limit, r.upper - found.likeliestLog)) continue;
        list.word[static_cast<size_t>(position)] = s;
        listFrom(r, list, position + 1, c, found);
    }
}

void WordSearch::searchErasures(const PairRanking& r, Found& found) {
    // As in step 3, nothing to do where even every symbol at its likeliest pair falls short.
    if (!(r.upper >= found.likeliestLog)) return;
    float wrong[kDataSymbols];   // the chance the best pair is not the one sent
    float second[kDataSymbols];  // the chance the second best pair is
    for (int i = 0; i < kDataSymbols; ++i) {
        const auto at = static_cast<size_t>(i);
        wrong[i] = 1.0f - std::exp(r.likeliest[at]);
        const auto alternative =
            static_cast<size_t>(r.alternative[static_cast<size_t>(kStartSymbols + i)]);
        second[i] = std::exp(r.logPosterior[at][alternative]);
    }
    found.steadyOnly = true;
    // A linear congruential generator (Numerical Recipes' constants), its top 24 bits a uniform
    // draw in [0, 1).
    uint32_t state = 0x12345678u;
    auto draw = [&state] {
        state = state * 1664525u + 1013904223u;
        return static_cast<float>(state >> 8) * (1.0f / 16777216.0f);
    };
    std::array<int, kTransmissionSymbols> trial{};
    int erased[kMaxErasures];
    for (int t = 0; t < kErasureTrials; ++t) {
        trial = r.received;
        int f = 0;
        const float scale = 0.5f + draw();
        const int first = static_cast<int>(draw() * kDataSymbols);
        for (int k = 0; k < kDataSymbols; ++k) {
            const int i = (first + k) % kDataSymbols;
            const int p = kStartSymbols + i;
            const float u = draw();
            if (u < second[i]) {
                trial[static_cast<size_t>(p)] = r.alternative[static_cast<size_t>(p)];
            } else if (f < kMaxErasures && u < scale * wrong[i]) {
                erased[f++] = p;
            }
        }
        if (tryWord(r, trial, erased, f, found)) break;
    }
    found.steadyOnly = false;
}

bool WordSearch::steadyWord(const PairRanking& r,
                            const std::array<int, kTransmissionSymbols>& word) {
    // Sum and sum of squares of the energies of the word's tones (0) and of the others (1).
    float sum[2] = {0.0f, 0.0f};
    float squares[2] = {0.0f, 0.0f};
    for (int i = 0; i < kDataSymbols; ++i) {
        int pair[kPairTones];
        symbolToTonePair(word[static_cast<size_t>(kStartSymbols + i)], pair);
        const auto& level = r.level[static_cast<size_t>(i)];
        for (int j = 0; j < kToneCount; ++j) {
            const float e = level[static_cast<size_t>(j)] * level[static_cast<size_t>(j)];
            const int set = j == pair[0] || j == pair[1] ? 0 : 1;
            sum[set] += e;
            squares[set] += e * e;
        }
    }
    // Variance over squared mean at most the bound squared: n squares <= (1 + bound^2) sum^2.
    constexpr float kCount[2] = {kPairTones * kDataSymbols, kSilentTones * kDataSymbols};
    constexpr float kBound[2] = {kSteadyTones, kSteadyNoise};
    for (int set = 0; set < 2; ++set) {
        if (!(sum[set] > 0.0f) || !(kCount[set] * squares[set] <=
                                    (1.0f + kBound[set] * kBound[set]) * sum[set] * sum[set])) {
            return false;
        }
    }
    return true;
}

}  // namespace RYX
