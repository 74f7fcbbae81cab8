// The settings shared by every Context, encoder and decoder in the process.
//
// One record, no locking: the custom band parameters and the synthesis volume are written by the
// API; the hop steps are rewritten by every encoder and decoder construction (updateStepSizes),
// so the window size constructed last decides them for everyone.
#pragma once

namespace RYX {

struct ProcessSettings {
    float customBaseFreq = 12000.0f;  // Hz, custom plan base before snapping
    int customStepParam = 1;          // custom hop step is customStepParam + 2 bins
    int customStepBins = 3;           // customStepParam + 2
    // Hop steps in Hz: a whole number of bins of a 44100 Hz analysis with the last window size.
    float audibleStepHz = 258.3984375f;      // 12 bins
    float nonAudibleStepHz = 86.1328125f;    // 4 bins
    float compressionStepHz = 64.599609375f; // 3 bins
    float customStepHz = 64.599609375f;      // customStepBins bins
    float synthVolume = 0.0f;                // dB, gain of the random-tone overlay
};

// The one process-wide record.
ProcessSettings& processSettings();

// Recomputes the four hop steps and customStepBins for `windowSize` and the current
// customStepParam: with r = windowSize / 44100, audibleStepHz = 12 / r (258.3984375 Hz at 2048).
void updateStepSizes(int windowSize);

}  // namespace RYX
