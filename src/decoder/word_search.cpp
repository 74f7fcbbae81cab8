#include "decoder/word_search.h"

#include <algorithm>
#include <cmath>

#include "dsp/ascending_order.h"

namespace RYX {
namespace {

constexpr float kRemovedShare = 0.01f;  // a removed tone: below this share of the typical
// Spread of pair scores (tone amplitudes, full scale 1) below which a symbol heard nothing: 140 dB
// under full scale, far below any recording's noise (16-bit samples: 101 dB), so a quiet
// transmission is decided on its ratios like a loud one.
constexpr float kSilentSpread = 1e-7f;
constexpr uint32_t kStartMask = (1u << kStartSymbols) - 1u;  // correctedMask bits of the start

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
        auto& score = r.score[static_cast<size_t>(i)];
        float level[kToneCount];
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
        for (int s = 0; s < kSymbolCount; ++s) {
            int pair[kPairTones];
            symbolToTonePair(s, pair);
            const float v = level[pair[0]] + level[pair[1]];
            score[static_cast<size_t>(s)] = v;
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
    // A symbol's spread: its best pair's score over the mean of all 32 (what a guess would get).
    for (size_t i = 0; i < kDataSymbols; ++i) {
        float mean = 0.0f;
        for (float score : r.score[i]) mean += score;
        r.spread[i] = r.bestScore[i] - mean / kSymbolCount;
    }
    return r;
}

WordSearch::Word WordSearch::searchWords(const PairRanking& r) {
    Word best;
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
        ++best.tried;
        codec_.setMessageLength(kMessageSymbols);
        codec_.setReceived(trial.data(), kTransmissionSymbols);
        if (!codec_.decodeWithErasures(r.leastReliable.data(), f)) continue;
        if (codec_.correctedMask() & kStartMask) continue;  // start symbols must stand as received
        std::array<int, kMessageSymbols> message;
        codec_.getMessage(message.data());
        if (textChecksum(message.data() + kStartSymbols) != message[kChecksumPosition]) continue;
        // Re-encode to see every symbol of the corrected word, parity included.
        std::array<int, kTransmissionSymbols> word;
        encoder_.setMessage(message.data(), kMessageSymbols);
        encoder_.computeParity();
        encoder_.getCodeword(word.data());
        // Confidence: 1 minus the mean share of its spread each symbol of the word gives up
        // against the best pair (0 where the word takes the best pair, about 1 for a guess).
        float loss = 0.0f;
        for (int i = 0; i < kDataSymbols; ++i) {
            const auto at = static_cast<size_t>(i);
            const float spread = r.spread[at];
            const float given = r.score[at][static_cast<size_t>(word[kStartSymbols + at])];
            // A symbol that heard nothing (digital silence) counts as a guess.
            loss +=
                spread > kSilentSpread ? std::min(1.0f, (r.bestScore[at] - given) / spread) : 1.0f;
        }
        const float confidence = 1.0f - loss / kDataSymbols;
        if (confidence < kAcceptThreshold || (best.found && confidence <= best.confidence)) {
            continue;
        }
        best.found = true;
        best.confidence = confidence;
        best.message = message;
        best.codeword = word;
        best.correctedMask = codec_.correctedMask();
        if (loss == 0.0f) break;  // every symbol at its best pair: no word explains more
    }
    return best;
}

}  // namespace RYX
