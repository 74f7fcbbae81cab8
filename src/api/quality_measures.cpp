#include "api/quality_measures.h"

#include <cmath>

namespace RYX {

float confidence(float meanToneSnr, float unchangedRatio) {
    float factor;
    if (meanToneSnr <= 0.0f) {
        factor = 0.0f;
    } else if (meanToneSnr >= 15.0f) {
        factor = 1.0f;
    } else {
        factor = meanToneSnr / 15.0f;  // a NaN level falls through to here and stays NaN
    }
    return factor * unchangedRatio;
}

float volumeDb(float receivedLevel) {
    return 20.0f * std::log10(receivedLevel);
}

}  // namespace RYX
