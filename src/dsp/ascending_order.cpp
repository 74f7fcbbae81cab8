#include "dsp/ascending_order.h"

namespace RYX {

void ascendingOrder(const float* key, int n, int* order) {
    for (int i = 0; i < n; ++i) {
        int j = i;
        for (; j > 0 && key[order[j - 1]] > key[i]; --j) order[j] = order[j - 1];
        order[j] = i;
    }
}

}  // namespace RYX
