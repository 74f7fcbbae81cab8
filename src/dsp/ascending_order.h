// The order of a few keys, smallest first: one small sort the receivers share where they rank
// symbols, tones or timings (at most a few hundred keys, once per candidate, never per sample).
// Equal keys keep the order of their indices, so the result is fully determined.
//
//   key {0.5, 0.1, 0.5, -2} -> order {3, 1, 0, 2}
#pragma once

namespace RYX {

// order[0..n) = 0..n-1 with key[order[0]] <= key[order[1]] <= ...; n <= 0 writes nothing.
// Insertion sort: n(n-1)/4 comparisons on average (18 keys: 77; 81 keys: 1620).
void ascendingOrder(const float* key, int n, int* order);

}  // namespace RYX
