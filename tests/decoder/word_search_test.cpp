// The word search on energies that hold no transmission: whatever the noise, the full search
// accepts no word, and energies that are not numbers of any use decide nothing. On weak
// transmissions it finds the words that reach the likelihood bound (most of them from a tone
// energy of five times the noise's), the list of likeliest words among them, and never a wrong
// one, even behind a voice's harmonics.
#include "decoder/word_search.h"

#include <gtest/gtest.h>

#include <complex>
#include <limits>
#include <random>

#include "fec/reed_solomon_codec.h"
#include "modes/symbol_alphabet.h"

namespace RYX {
namespace {

// Loud: ten symbols hold one loud random pair each (a few strong harmonics, as in speech), the
// eight others white noise. Those ten fix a word by themselves (with the start), and one in 32
// meets the checksum: the search takes it where the eight others do not speak against it, as
// for a transmission that lost eight symbols, but it lists no words around it.
enum class Noise { White, Loud, Flat, Silence, Infinite };

struct NoiseCase {
    Noise kind;
    int candidates;
};

// Tone energies of one candidate: white noise's are independent exponentials.
WordSearch::SymbolEnergies energiesOf(Noise kind, std::mt19937& rng) {
    std::exponential_distribution<float> exponential(1.0f);
    std::uniform_int_distribution<int> symbol(0, kSymbolCount - 1);
    WordSearch::SymbolEnergies energy{};
    for (size_t i = 0; i < energy.size(); ++i) {
        int pair[kPairTones] = {-1, -1};
        if (kind == Noise::Loud && i % 9 < 5) symbolToTonePair(symbol(rng), pair);
        for (size_t j = 0; j < energy[i].size(); ++j) {
            float& e = energy[i][j];
            switch (kind) {
                case Noise::White:
                case Noise::Loud:
                    e = exponential(rng) + (int(j) == pair[0] || int(j) == pair[1] ? 30.0f : 0.0f);
                    break;
                case Noise::Flat:
                    e = 1.0f;
                    break;
                case Noise::Silence:
                    e = 0.0f;
                    break;
                case Noise::Infinite:
                    e = std::numeric_limits<float>::infinity();
                    break;
            }
        }
    }
    return energy;
}

class WordSearchOnNoise : public ::testing::TestWithParam<NoiseCase> {};

TEST_P(WordSearchOnNoise, AcceptsNoWord) {
    std::mt19937 rng(11);
    WordSearch search;
    int accepted = 0;
    for (int c = 0; c < GetParam().candidates; ++c) {
        const WordSearch::Word word = search.search(energiesOf(GetParam().kind, rng));
        accepted += word.found ? 1 : 0;
        EXPECT_LE(word.tried, WordSearch::kWordsPerTiming + WordSearch::kListWords +
                                  WordSearch::kErasureTrials);
    }
    EXPECT_EQ(accepted, 0);
}

INSTANTIATE_TEST_SUITE_P(Kinds, WordSearchOnNoise,
                         ::testing::Values(NoiseCase{Noise::White, 600}, NoiseCase{Noise::Flat, 1},
                                           NoiseCase{Noise::Silence, 1},
                                           NoiseCase{Noise::Infinite, 1}));

TEST(WordSearchOnLoudSymbols, ListsNoWords) {
    std::mt19937 rng(11);
    WordSearch search;
    for (int c = 0; c < 1000; ++c) {
        EXPECT_LE(search.search(energiesOf(Noise::Loud, rng)).tried, WordSearch::kWordsPerTiming);
    }
}

struct WeakCase {
    float toneEnergy;  // each tone of the word, of the noise's mean energy per tone
    int words;
    int leastFound;
    // Harmonics over the noise, as a voice or an instrument behind the transmission leaves
    // them: two tones of each symbol, held for three symbols, 4 to 40 times the noise.
    bool harmonics = false;
};

class WordSearchOnWeakWords : public ::testing::TestWithParam<WeakCase> {};

// Random texts sent as their codewords' tone pairs, each tone at a random phase in complex
// Gaussian noise of mean energy 1 per tone (and harmonics over it).
TEST_P(WordSearchOnWeakWords, FindsMostAndNoWrongWord) {
    std::mt19937 rng(5);
    std::uniform_int_distribution<int> symbol(0, kSymbolCount - 1);
    std::uniform_real_distribution<float> phase(0.0f, 6.2831853f);
    std::normal_distribution<float> gaussian(0.0f, 0.70710678f);
    std::uniform_int_distribution<int> tone(0, kToneCount - 1);
    std::uniform_real_distribution<float> loudness(4.0f, 40.0f);
    ReedSolomonCodec encoder;
    WordSearch search;
    int found = 0;
    int wrong = 0;
    for (int w = 0; w < GetParam().words; ++w) {
        std::array<int, kMessageSymbols> message{kStartSymbol1, kStartSymbol2};
        for (int i = 0; i < kTextSymbols; ++i) message[kStartSymbols + i] = symbol(rng);
        message[kChecksumPosition] = textChecksum(message.data() + kStartSymbols);
        std::array<int, kTransmissionSymbols> codeword{};
        encoder.setMessage(message.data(), kMessageSymbols);
        encoder.computeParity();
        encoder.getCodeword(codeword.data());
        WordSearch::SymbolEnergies energy{};
        int held[2] = {0, 0};
        float heldEnergy[2] = {0.0f, 0.0f};
        for (int i = 0; i < WordSearch::kDataSymbols; ++i) {
            if (GetParam().harmonics && i % 3 == 0) {
                for (int h = 0; h < 2; ++h) {
                    held[h] = tone(rng);
                    heldEnergy[h] = loudness(rng);
                }
            }
            int pair[kPairTones];
            symbolToTonePair(codeword[kStartSymbols + i], pair);
            for (int j = 0; j < kToneCount; ++j) {
                std::complex<float> v(gaussian(rng), gaussian(rng));
                if (j == pair[0] || j == pair[1]) {
                    v += std::polar(std::sqrt(GetParam().toneEnergy), phase(rng));
                }
                for (int h = 0; h < 2 && GetParam().harmonics; ++h) {
                    if (j == held[h]) v += std::polar(std::sqrt(heldEnergy[h]), phase(rng));
                }
                energy[i][j] = std::norm(v);
            }
        }
        const WordSearch::Word word = search.search(energy);
        if (!word.found) continue;
        ++found;
        wrong += word.message != message ? 1 : 0;
        // None of these stands clear of the noise, so every word reaches the bound.
        EXPECT_GE(word.logPosterior, WordSearch::kAcceptLogPosterior);
    }
    std::printf("tone energy %.2f%s: %d of %d found\n", GetParam().toneEnergy,
                GetParam().harmonics ? " under harmonics" : "", found, GetParam().words);
    EXPECT_GE(found, GetParam().leastFound);
    EXPECT_EQ(wrong, 0);
}

INSTANTIATE_TEST_SUITE_P(Levels, WordSearchOnWeakWords,
                         ::testing::Values(WeakCase{3.5f, 200, 10}, WeakCase{4.0f, 200, 35},
                                           WeakCase{5.0f, 200, 130}, WeakCase{6.0f, 200, 185},
                                           WeakCase{4.0f, 200, 0, true},
                                           WeakCase{8.0f, 200, 0, true}));

struct SmearedCase {
    float toneEnergy;  // each tone of the word, of the noise's energy per tone
    int smeared;       // symbols where a tone twice as loud sounds beside the pair
    bool found;
};

class WordSearchOnSmearedWords : public ::testing::TestWithParam<SmearedCase> {};

// A codec smears a few symbols of a clear transmission: a loud tone the posteriors take for a
// certainty sits beside the pair, and the code corrects it. Over a clear signal the word is
// taken for its confidence; in noise the same few symbols, which the posteriors cannot explain,
// keep its sum under the bound.
TEST_P(WordSearchOnSmearedWords, TakesTheWordOnlyOverAClearSignal) {
    std::array<int, kMessageSymbols> message{kStartSymbol1, kStartSymbol2};
    for (int i = 0; i < kTextSymbols; ++i) message[kStartSymbols + i] = (7 * i + 3) % kSymbolCount;
    message[kChecksumPosition] = textChecksum(message.data() + kStartSymbols);
    std::array<int, kTransmissionSymbols> codeword{};
    ReedSolomonCodec encoder;
    encoder.setMessage(message.data(), kMessageSymbols);
    encoder.computeParity();
    encoder.getCodeword(codeword.data());
    WordSearch::SymbolEnergies energy{};
    for (int i = 0; i < WordSearch::kDataSymbols; ++i) {
        int pair[kPairTones];
        symbolToTonePair(codeword[kStartSymbols + i], pair);
        int loud = 0;
        while (loud == pair[0] || loud == pair[1]) ++loud;
        for (int j = 0; j < kToneCount; ++j) {
            float e = 0.5f + 0.1f * static_cast<float>((i * kToneCount + j) % 11);  // the noise
            if (j == pair[0] || j == pair[1]) e += GetParam().toneEnergy;
            if (j == loud && i < GetParam().smeared) e += 2.0f * GetParam().toneEnergy;
            energy[i][j] = e;
        }
    }
    WordSearch search;
    const WordSearch::Word word = search.search(energy);
    EXPECT_EQ(word.found, GetParam().found);
    if (word.found) {
        EXPECT_EQ(word.message, message);
    }
}

INSTANTIATE_TEST_SUITE_P(Levels, WordSearchOnSmearedWords,
                         ::testing::Values(SmearedCase{1000.0f, 0, true},
                                           SmearedCase{1000.0f, 3, true},
                                           SmearedCase{20.0f, 0, true},
                                           SmearedCase{20.0f, 3, false}));

}  // namespace
}  // namespace RYX
