// The word search on candidates that hold no transmission: reads the data symbols' tone
// energies of one candidate after another from stdin (float32, 18 symbols x 9 tones each) and
// runs the full search on each, as the robust receiver does at each timing it tries. Prints one
// JSON line: candidates, words accepted and words tried. bench/false_acceptance.py feeds it.
//
//   word_search_noise < energies.f32
#include <cstdio>

#include "decoder/word_search.h"

int main() {
    using RYX::WordSearch;
    WordSearch search;
    WordSearch::SymbolEnergies energy{};
    long long candidates = 0;
    long long accepted = 0;
    long long words = 0;
    while (std::fread(energy.data(), sizeof energy, 1, stdin) == 1) {
        const WordSearch::Word word = search.search(energy);
        ++candidates;
        words += word.tried;
        accepted += word.found ? 1 : 0;
    }
    std::printf("{\"candidates\": %lld, \"accepted\": %lld, \"words\": %lld}\n", candidates,
                accepted, words);
    return 0;
}
