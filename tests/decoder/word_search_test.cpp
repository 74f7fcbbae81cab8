// The word search on energies that hold no transmission: whatever the noise, the full search
// accepts no word, and energies that are not numbers of any use decide nothing.
#include "decoder/word_search.h"

#include <gtest/gtest.h>

#include <limits>
#include <random>

namespace RYX {
namespace {

enum class Noise { White, Flat, Silence, Infinite };

struct NoiseCase {
    Noise kind;
    int candidates;
};

// Tone energies of one candidate: white noise's are independent exponentials.
WordSearch::SymbolEnergies energiesOf(Noise kind, std::mt19937& rng) {
    std::exponential_distribution<float> exponential(1.0f);
    WordSearch::SymbolEnergies energy{};
    for (auto& symbol : energy) {
        for (size_t j = 0; j < symbol.size(); ++j) {
            switch (kind) {
                case Noise::White:
                    symbol[j] = exponential(rng);
                    break;
                case Noise::Flat:
                    symbol[j] = 1.0f;
                    break;
                case Noise::Silence:
                    symbol[j] = 0.0f;
                    break;
                case Noise::Infinite:
                    symbol[j] = std::numeric_limits<float>::infinity();
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
        EXPECT_LE(word.tried, WordSearch::kWordsPerTiming + WordSearch::kListWords);
    }
    EXPECT_EQ(accepted, 0);
}

INSTANTIATE_TEST_SUITE_P(Kinds, WordSearchOnNoise,
                         ::testing::Values(NoiseCase{Noise::White, 600}, NoiseCase{Noise::Flat, 1},
                                           NoiseCase{Noise::Silence, 1},
                                           NoiseCase{Noise::Infinite, 1}));

}  // namespace
}  // namespace RYX
