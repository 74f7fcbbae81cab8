// The decision of a transmission from its data symbols' tone energies: which of the code's words
// was sent, if any. It takes the energy of the nine tones of each of the 18 data symbols (at the
// symbol's own hop, a candidate's timing and drift) and:
//  1. ranks the pairs: each symbol's 32 tone pairs scored by the sum of their two tone
//     amplitudes (the highest tones, when a low-pass removed them all through the message, at a
//     neutral level instead), its best and second best pair, and the symbols ordered from the
//     least reliable (smallest lead of the best pair over the second);
//  2. searches the words: errors-and-erasures Reed-Solomon decoding with the f least reliable
//     symbols erased (f = 0 .. kMaxErasures, the code's parity count) and each of the next
//     kTrialSymbols at its best or its second best pair; a word counts when the start symbols
//     needed no correction, the checksum matches and its confidence (how well it explains the
//     energies) clears kAcceptThreshold, and the most confident wins. A word that takes every
//     symbol at its best pair ends the search. When no word clears kAcceptThreshold, the word
//     whose pairs are likeliest (the sum over its symbols of the log posterior of its pair, from
//     every tone's energy against the noise) is taken if that sum reaches kAcceptLogPosterior:
//     a weak transmission whose symbols are mostly right but whose confidence the few wrong ones
//     pull down is then heard, while a word that fits noise stays far below.
// Cost: at most kWordsPerTiming (1152) errors-and-erasures decodings, about a millisecond; it
// allocates nothing.
#pragma once

#include <array>
#include <cstdint>

#include "fec/reed_solomon_codec.h"
#include "modes/message_frame.h"
#include "modes/symbol_alphabet.h"

namespace RYX {

class WordSearch {
  public:
    static constexpr int kDataSymbols = kSymbolsAfterStart;  // transmission symbols 2 .. 19
    static constexpr float kAcceptThreshold = 0.89f;
    // The least sum of log posteriors (natural log, over the 18 data symbols) of a word taken
    // below kAcceptThreshold: -28 is a probability of e^-1.56 = 0.21 per symbol on the average. A
    // guess gets ln(1/32) = -3.47 per symbol, -62 in all; the best of the words the search tries
    // on noise alone about -45 (bench/false_acceptance.py).
    static constexpr float kAcceptLogPosterior = -28.0f;
    // f = 0 .. kMaxErasures least reliable symbols erased (as many as the code has parity
    // symbols: with eight, the twelve others fix the word alone) and each of the kTrialSymbols
    // next least reliable at its best or second best pair.
    static constexpr int kMaxErasures = ReedSolomonCodec::kParityLength;
    static constexpr int kTrialSymbols = 7;
    static constexpr int kWordsPerTiming = (kMaxErasures + 1) << kTrialSymbols;  // 1152

    // The energy of tone j in data symbol i at that symbol's hop (any unit: only ratios count,
    // but for a symbol that heard nothing at all).
    using SymbolEnergies = std::array<std::array<float, kToneCount>, kDataSymbols>;
    // The most confident word accepted.
    struct Word {
        bool found = false;
        float confidence = 0.0f;                           // 0 .. 1, 1 when every symbol is best
        std::array<int, kMessageSymbols> message{};        // corrected message symbols
        std::array<int, kTransmissionSymbols> codeword{};  // re-encoded, parity included
        uint32_t correctedMask = 0;                        // bit p: position p was corrected
        int tried = 0;                                     // words handed to the decoder
    };

    Word search(const SymbolEnergies& energy);

  private:
    static constexpr int kRanked = kMaxErasures + kTrialSymbols;  // symbols the search may touch
    // Step 1: the pairs each data symbol ranks first and second, and how reliable that is.
    struct PairRanking {
        // By transmission position: the start symbols, then each data symbol's best pair.
        std::array<int, kTransmissionSymbols> received{};
        // By transmission position: each data symbol's second best pair.
        std::array<int, kTransmissionSymbols> alternative{};
        // Tone amplitudes (a removed tone at its neutral level); a pair scores the sum of its two.
        std::array<std::array<float, kToneCount>, kDataSymbols> level{};
        std::array<float, kDataSymbols> bestScore{};
        // ln P(pair s | the symbol's energies) for each data symbol and pair.
        std::array<std::array<float, kSymbolCount>, kDataSymbols> logPosterior{};
        // The best pair's score over the mean of all 32 (what a guess would get).
        std::array<float, kDataSymbols> spread{};
        // Transmission positions of the kRanked least reliable data symbols, least first.
        std::array<int, kRanked> leastReliable{};
    };
    static PairRanking rankPairs(const SymbolEnergies& energy);
    // The words accepted so far: the most confident, the likeliest below kAcceptThreshold.
    struct Found {
        Word best;
        Word likeliest;
        float likeliestLog = kAcceptLogPosterior;
        int tried = 0;
    };
    // Decodes `trial` with erased[0 .. erasures) erased and takes the word into `found` where it
    // is accepted; true when no word can explain more (every symbol at its best pair).
    bool tryWord(const PairRanking& ranking, const std::array<int, kTransmissionSymbols>& trial,
                 const int* erased, int erasures, Found& found);
    // Fills ranking.logPosterior from its levels: each tone's likelihood of holding a tone of the
    // transmission's typical energy against noise alone (a Rician against a Rayleigh amplitude,
    // the noise's energy from the median of all 162 tones), a pair's the product of its two,
    // normalised over the 32 pairs. A symbol that heard nothing gets 1/32 for every pair.
    static void pairPosteriors(PairRanking& ranking);
    static float pairScore(const PairRanking& ranking, int i, int s);
    Word searchWords(const PairRanking& ranking);

    ReedSolomonCodec codec_;    // decodes the words tried
    ReedSolomonCodec encoder_;  // re-encodes a word found
};

static_assert(kParitySymbols == ReedSolomonCodec::kParityLength &&
                  kMessageSymbols + ReedSolomonCodec::kParityLength == kTransmissionSymbols,
              "the frame's parity is the code's");

}  // namespace RYX
