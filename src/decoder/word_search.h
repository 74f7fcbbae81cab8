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
//     needed no correction, the checksum matches, its pairs are likely enough (the sum over its
//     symbols of the log posterior of its pair, from every tone's energy against the noise,
//     reaches kAcceptLogPosterior, which keeps wrong words below one in 100,000 transmissions)
//     and its confidence (how well it explains the energies) clears kAcceptThreshold, and the
//     most confident wins. A word that takes every symbol at its best pair ends the search. When
//     no word clears kAcceptThreshold, the word whose pairs are likeliest is taken. Over a clear
//     signal (kClearSignal) a confident word needs no such sum, and one below the confidence
//     needs kClearLogPosterior (kUnopposedLogPosterior where no symbol speaks against it): a
//     codec's smeared tones do not follow the noise the posteriors read.
//  3. when no word cleared kAcceptThreshold, lists the likeliest words: the eight least reliable
//     symbols are erased, and the ten others take their pairs in every combination whose
//     posterior could still beat the likeliest word so far (a change costs the fall of its
//     symbol's log posterior), cheapest first, up to kListWords; each is decoded as in step 2,
//     where the ten and the start fix the erased eight. A word takes the place of step 2's
//     likeliest only with a larger sum of log posteriors, and no list is made where even every
//     symbol at its likeliest pair could not reach the bound (noise, nearly always) or
//     the eight erased symbols heard next to nothing (kListHeard; nor step 4).
//  4. when still no word cleared kAcceptThreshold, erases symbols at random: each of
//     kErasureTrials trials erases each symbol with a chance in proportion to the chance its best
//     pair is wrong (times a scale drawn per trial from 0.5 to 1.5; at most kMaxErasures, taken
//     from a random first symbol on) and puts the others at their second best pair with the
//     chance that pair is the one sent, then decodes as in step 2. Such trials reach words whose
//     wrong symbols the reliability order misplaces, which the list of step 3 leaves out. A word
//     this step finds is taken only when its sum of log posteriors reaches the bound (over a
//     clear signal kClearLogPosterior), however confident it is (of so many decodings, one that
//     fits noise can come out confident), and it looks like one steady tone pair over even noise
//     (steadyWord): babble and chords, whose loud harmonics fit a word's posteriors or even its
//     confidence as well as a weak transmission does, never pass (bench/false_acceptance.py). The
//     draws start afresh for every search, so a search's result depends on its energies alone.
// Cost: at most kWordsPerTiming (1152) errors-and-erasures decodings, about a millisecond, and
// kListWords and kErasureTrials more where steps 3 and 4 run (about 12 ms on the desktop); it
// allocates nothing.
#pragma once

#include <array>
#include <cstdint>

#include "decoder/robust_storage.h"
#include "fec/reed_solomon_codec.h"
#include "modes/message_frame.h"
#include "modes/symbol_alphabet.h"

namespace RYX {

class WordSearch {
  public:
    static constexpr int kDataSymbols = kSymbolsAfterStart;  // transmission symbols 2 .. 19
    static constexpr float kAcceptThreshold = 0.89f;
    // The least sum of log posteriors (natural log, over the 18 data symbols) of any word taken
    // from a transmission that does not stand clear of the noise. The code's 2^45 words other
    // than the one sent weigh 2^45 / 32^18 = e^-31.2 together on the average, so a search
    // finds a wrong word reaching the bound with a chance of at most e^(-31.2 + 17.5) = 1.1e-6
    // (Markov's inequality): one in 100,000 transmissions for up to nine searches each.
    static constexpr float kAcceptLogPosterior = -17.5f;
    // A symbol holds a clear pair where its second loudest tone has at least kClearSignal times
    // the energy of its median tone (15 dB; weak transmissions in white noise give 3 to 8 per
    // tone), and a transmission stands clear of the noise where at most kUnclearSymbols of its
    // symbols hold none (as many as the code corrects), not counting those that heard nothing
    // of it (a dropout: a second loudest tone kClearSignal times under the typical symbol's).
    // There noise cannot
    // forge its symbols, and a codec's or a talker's few loud partials beside the pairs, which
    // the posteriors take for certainties, must not cost it: a word is taken for its
    // confidence, or below it from kClearLogPosterior.
    static constexpr float kClearSignal = 30.0f;
    static constexpr int kUnclearSymbols = ReedSolomonCodec::kParityLength / 2;
    static constexpr float kClearLogPosterior = -26.0f;
    // The chance a data symbol was hit by something louder than the transmission (a talker's
    // partial, a click), which then tells nothing of the pair sent: a pair the symbol's tones
    // speak against still keeps kSymbolHit / 32, so a word pays at most ln(kSymbolHit / 32) =
    // -6.5 for such a symbol instead of the tens of nats the noise alone would charge.
    static constexpr float kSymbolHit = 0.05f;
    // Over a clear signal, a word that takes each symbol at one of its likeliest pairs (its sum
    // within kUnopposedSlack of the sum of the likeliest) is taken from kUnopposedLogPosterior:
    // no symbol speaks against it, and what it lacks is symbols that heard nothing, whatever word
    // was sent (eight lost to a dropout give 8 ln(1/32) = -27.7, and the ten heard at most
    // 10 ln(1 - kSymbolHit) = -0.5).
    static constexpr float kUnopposedLogPosterior = -28.5f;
    static constexpr float kUnopposedSlack = 1.0f;
    // f = 0 .. kMaxErasures least reliable symbols erased (as many as the code has parity
    // symbols: with eight, the twelve others fix the word alone) and each of the kTrialSymbols
    // next least reliable at its best or second best pair.
    static constexpr int kMaxErasures = ReedSolomonCodec::kParityLength;
    static constexpr int kTrialSymbols = 7;
    static constexpr int kWordsPerTiming = (kMaxErasures + 1) << kTrialSymbols;  // 1152
    // Words listed (and decoded) at most in step 3.
    static constexpr int kListWords = 4096;
    // The least sum of the likeliest pairs' log posteriors over the eight symbols step 3 leaves to
    // the code: -15.5 is 0.14 per symbol on the average, where a guess gives 1/32 (-27.7 for
    // eight), each pair's posterior against the noise of the median tone (PairRanking::heard).
    // Weak transmissions in white noise give -6 to -17 (the 5th to the 95th percentile at -23 to
    // -25 dB, bench/weak_signal.py), white noise alone -21 to -15, speech babble -23 to -12 (a
    // median of -17.6): its few loud harmonics fix ten symbols and the eight others heard nothing
    // (bench/false_acceptance.py).
    static constexpr float kListHeard = -15.5f;
    // Trials of random erasures in step 4: 8,192 on the desktop (2,048 in the small build);
    // 16,384 would hear 0.7% more of the transmissions at -24 and -25 dB, at twice the cost.
    static constexpr int kErasureTrials = kStoredErasureTrials;
    // A word step 4 finds is steady when the energies of its 36 tones scatter (standard deviation
    // over mean) by at most kSteadyTones, as a tone pair of one level over white noise does
    // (about 0.6 in weak transmissions, 0.72 for the 95th percentile), and those of the other 126
    // by at most kSteadyNoise (white noise: 1.0, 1.13 for the 95th percentile). Babble's best
    // words scatter by 1.7 and 2.2 at the median, chords' by 1.6 and 1.3.
    static constexpr float kSteadyTones = 0.9f;
    static constexpr float kSteadyNoise = 1.3f;

    // The energy of tone j in data symbol i at that symbol's hop (any unit: only ratios count,
    // but for a symbol that heard nothing at all).
    using SymbolEnergies = std::array<std::array<float, kToneCount>, kDataSymbols>;
    // The most confident word accepted.
    struct Word {
        bool found = false;
        float confidence = 0.0f;    // 0 .. 1, 1 when every symbol is best
        float logPosterior = 0.0f;  // the sum over its symbols of its pair's log posterior
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
        std::array<float, kDataSymbols> likeliest{};  // each symbol's largest logPosterior
        // The same against the noise read from the median of all 162 tones (leastReliableHeard).
        std::array<float, kDataSymbols> heard{};
        float upper = 0.0f;  // the sum of the likeliest log posteriors: no word scores more
        int unclear = 0;     // data symbols that heard something but no clear pair (kClearSignal)
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
        float bound = kAcceptLogPosterior;  // the least sum a word needs (kClearLogPosterior)
        bool clear = false;                 // the transmission stands clear of the noise
        int tried = 0;
        bool steadyOnly = false;  // a word must be steady to be taken (step 4)
    };
    // Decodes `trial` with erased[0 .. erasures) erased and takes the word into `found` where it
    // is accepted; true when no word can explain more (every symbol at its best pair).
    bool tryWord(const PairRanking& ranking, const std::array<int, kTransmissionSymbols>& trial,
                 const int* erased, int erasures, Found& found);
    // Fills ranking.logPosterior from its levels: each tone's likelihood of holding a tone of the
    // transmission's typical energy against noise alone (a Rician against a Rayleigh amplitude,
    // the noise's energy from the tones outside each symbol's best pair), a pair's the product of
    // its two, normalised over the 32 pairs, and ranking.heard. A symbol that heard nothing gets
    // 1/32 for every pair.
    static void pairPosteriors(PairRanking& ranking);
    // ln P(pair s | a symbol's nine tone energies) into logP, for a tone of energy `signal` over
    // noise of energy `noise` per tone; returns the largest.
    static float symbolPosteriors(const float* energies, float noise, float signal,
                                  std::array<float, kSymbolCount>& logP);
    // Mixes a symbol's posteriors with a guess, for the chance kSymbolHit that something louder
    // than the transmission hit it; returns the largest.
    static float allowForHits(std::array<float, kSymbolCount>& logP);
    static float pairScore(const PairRanking& ranking, int i, int s);
    // The data symbols that heard the transmission but hold no clear pair (kClearSignal), from
    // their tone energies (symbol by symbol).
    static int unclearSymbols(const PairRanking& ranking, const float* energies);
    Word searchWords(const PairRanking& ranking);

    // Step 3: the word being listed; bit p of `erased` is set for each transmission position p
    // left to the code.
    struct List {
        std::array<int, kTransmissionSymbols> word{};
        uint32_t erased = 0;
        float scoredTo = 0.0f;  // words costing this much or less were decoded in earlier passes
        float limit = 0.0f;     // this pass lists words costing this much or less
        int words = 0;
    };
    // Whether the kMaxErasures least reliable symbols heard enough for steps 3 and 4: the sum of
    // their likeliest pairs' log posteriors reaches kListHeard.
    static bool leastReliableHeard(const PairRanking& ranking);
    void searchList(const PairRanking& ranking, Found& found);
    // The listed symbols from transmission position `position` on, at a cost (the fall in log
    // posterior) so far of `cost`.
    void listFrom(const PairRanking& ranking, List& list, int position, float cost, Found& found);
    // Step 4.
    void searchErasures(const PairRanking& ranking, Found& found);
    // Whether `word` explains the energies as one steady tone pair over even noise (step 4).
    static bool steadyWord(const PairRanking& ranking,
                           const std::array<int, kTransmissionSymbols>& word);

    ReedSolomonCodec codec_;    // decodes the words tried
    ReedSolomonCodec encoder_;  // re-encodes a word found
};

static_assert(kParitySymbols == ReedSolomonCodec::kParityLength &&
                  kMessageSymbols + ReedSolomonCodec::kParityLength == kTransmissionSymbols,
              "the frame's parity is the code's");

}  // namespace RYX
