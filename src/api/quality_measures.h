// The measures the API reports for a decoded message, derived from the decoder's fields.
#pragma once

namespace RYX {

// c x unchangedRatio with c = 0 for meanToneSnr <= 0 dB, 1 from 15 dB on, meanToneSnr / 15
// between (7.5 dB -> 0.5); a NaN level gives NaN. Single precision.
float confidence(float meanToneSnr, float unchangedRatio);

// 20 log10(level) in single precision: 1.0 -> 0 dB, 0.1 -> -20 dB, 0 -> minus infinity.
float volumeDb(float receivedLevel);

}  // namespace RYX
