// ggwave, the open-source peer, as robust_speed and memory_bench both set it up. Its C++ decoder
// is built for the benchmarks only (bench/CMakeLists.txt, from the source tools/peer_env.sh
// unpacks), which then defines RYX_GGWAVE_PEER as its version; without it this header is empty.
#pragma once

#ifdef RYX_GGWAVE_PEER
#include "ggwave/ggwave.h"

namespace RYX {
namespace bench {

// ggwave for audio at `rate`, operating at that rate (its sender and receiver alike), so it never
// resamples. (Given 44100 Hz audio while operating at its default 48000 Hz, its resampling costs
// some 500 times its decoding, and fed 1024-sample buffers it drops the last 79 samples of each.)
// operatingMode: GGWAVE_OPERATING_MODE_RX or GGWAVE_OPERATING_MODE_TX.
inline GGWave::Parameters ggwaveParameters(float rate, int operatingMode) {
    GGWave::Parameters p = GGWave::getDefaultParameters();
    p.sampleRate = rate;
    p.sampleRateInp = rate;
    p.sampleRateOut = rate;
    p.operatingMode = operatingMode;
    return p;
}

}  // namespace bench
}  // namespace RYX
#endif
