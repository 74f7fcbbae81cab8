// The streaming interface's presets (RYX_STREAM_... of include/ryxsound/ryx_stream.h), by number:
// the plan and tuning of both ends.
#pragma once

#include "modes/frequency_plan.h"
#include "modes/tuning.h"

namespace RYX {

struct StreamPreset {
    Plan plan;
    Tuning tuning;
};

// The audible plan takes the rate's own window (1024 points at 22050 Hz, hops of 517 Hz); the
// phone band keeps the 2048-point hops it has at 44100 Hz (64.6 Hz), its tones on the 16000 Hz
// grid of that window, which keeps it inside 0.6 .. 2.3 kHz.
constexpr StreamPreset kStreamPresets[] = {
    {Plan::Audible, {22050.0f, 1024, CustomBand{}}},
    {Plan::Custom, {16000.0f, 2048, kPhoneBand}},
};
constexpr int kStreamPresetCount =
    static_cast<int>(sizeof kStreamPresets / sizeof kStreamPresets[0]);

// Preset `number`, or null for an unknown number.
inline const StreamPreset* streamPreset(int number) {
    return number >= 0 && number < kStreamPresetCount ? &kStreamPresets[number] : nullptr;
}

}  // namespace RYX
