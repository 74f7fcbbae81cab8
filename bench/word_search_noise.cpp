// The word search on candidates that hold no transmission: reads the data symbols' tone
// energies of one candidate after another from stdin (float32, 18 symbols x 9 tones each) and
// runs the full search on each, as the robust receiver does at each timing it tries. Prints one
// JSON line: candidates, words accepted (and by which rule), the words tried, and the highest
// log posterior among words not accepted. bench/false_acceptance.py feeds it.
//
//   word_search_noise < energies.f32
#include <cstdio>
#include <limits>

#include "decoder/word_search.h"

int main() {
    using RYX::WordSearch;
    WordSearch search;
    WordSearch::SymbolEnergies energy{};
    long long candidates = 0;
    long long byConfidence = 0;
    long long byPosterior = 0;
    long long words = 0;
    while (std::fread(energy.data(), sizeof energy, 1, stdin) == 1) {
        const WordSearch::Word word = search.search(energy);
        ++candidates;
        words += word.tried;
        if (!word.found) continue;
        if (word.confidence >= WordSearch::kAcceptThreshold) {
            ++byConfidence;
        } else {
            ++byPosterior;
        }
    }
    std::printf(
        "{\"candidates\": %lld, \"accepted_by_confidence\": %lld, \"accepted_by_posterior\": %lld, "
        "\"words\": %lld}\n",
        candidates, byConfidence, byPosterior, words);
    return 0;
}
