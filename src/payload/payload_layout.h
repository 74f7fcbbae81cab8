// Where and when a payload profile sounds its symbols in one plan's band at one rate.
//
// A symbol is one tone from a set of 32 (five bits), held for T seconds with the tones 1/T apart,
// so a window of one symbol sees each tone in a bin of its own. Up to three channels sound at
// once, each in its own block of the band (tones near any plan's start tones are left out, so
// that no text receiver hears a text begin). Robust symbols hop between three interleaved sets
// (symbol s uses set s mod 3, neighbouring tones of the grid belong to different sets), so the
// echo of the previous two symbols falls between the tones now measured.
//
//   fast:   T = 1024 / 44100 s (23.2 ms, tones 43.07 Hz apart), one set, up to 3 channels;
//   robust: T = 2048 / 44100 s (46.4 ms, tones 21.53 Hz apart), three sets, up to 2 channels.
// A band too narrow for one robust channel takes two sets instead of three, and then doubles T
// (twice at most): the compression plan's 1.68 kHz takes robust symbols of 46.4 ms in two sets.
// The audible plan: fast 3 channels over 1600 .. 5864 Hz, robust 2 over 1200 .. 5485 Hz.
//
// A frame is kSyncSymbols sync slots (each channel a known tone) and then the 124 code symbols
// of its four words where codeSymbolChannel puts them, the last slot's spare
// channels at tone 0. Samples are counted from the frame start:
// slot k begins at round(k T rate).
#pragma once

#include <array>

#include "modes/frequency_plan.h"
#include "modes/symbol_alphabet.h"
#include "payload/payload_frame.h"

namespace RYX {

struct PayloadLayout {
    static constexpr int kSetTones = 32;
    static constexpr int kSyncSymbols = 4;
    static constexpr int kMaxChannels = 3;
    static constexpr int kMaxSets = 3;
    static constexpr int kMaxFftSize = 8192;

    PayloadProfile profile = PayloadProfile::Robust;
    Plan plan = Plan::Audible;
    float sampleRate = 0.0f;
    bool fits = false;  // rate in range, at least one channel, every tone and the pilot below
                        // half the rate less one spacing, a symbol window of at most
                        // kMaxFftSize samples

    double symbolSeconds = 0.0;  // T
    double spacingHz = 0.0;      // 1 / T
    double bandLowHz = 0.0;      // the plan's tone 0 at 44100 Hz (the same at every rate); audible
                                 // payloads from 1600 Hz (fast) or 1200 Hz (robust)
    double bandHighHz = 0.0;     // the plan's tone 8 raised by two hops
    int sets = 1;                // hop sets: 1 fast, 3 robust (2 in narrow bands)
    int channels = 0;            // 1 .. kMaxChannels
    int dataSlots = 0;           // ceil(124 / channels)
    int slots = 0;               // kSyncSymbols + dataSlots

    double symbolSamples = 0.0;  // T x rate: 2048 at 44100 Hz robust, 2229.1 at 48000
    int windowSamples = 0;       // round(symbolSamples)
    int sliceSamples = 0;        // a quarter symbol, truncated: the receiver's scanning step
    int fftSize = 0;             // power of two >= 2 windowSamples (kMaxFftSize at most)
    int frameSamples = 0;        // round(slots x symbolSamples)

    // A text receiver that listens for start tones only by which of its plan's nine tones is
    // loudest would take a payload tone near tone 0 for a start. So a pilot sounds all through a
    // payload at the plan's tone 5 (7044 Hz for audible payloads), kPilotLevel of a channel's
    // amplitude: louder than what any payload tone leaks into the start tones' bins, which it
    // keeps kStartToneGuardHz away from.
    static constexpr int kPilotTone = 5;
    static constexpr float kPilotLevel = 0.1f;
    double pilotHz = 0.0;

    // The grid of tones in use, rising: points bandLowHz + g spacingHz of the band that keep clear
    // of every plan's start tones and of the pilot. Channel c takes the next kSetTones x sets of
    // them, and in a channel neighbouring points belong to different sets.
    std::array<double, kMaxChannels * kSetTones * kMaxSets> tones{};

    // Tone `tone` of set `set` in channel `channel`, in Hz.
    double toneHz(int set, int channel, int tone) const {
        return tones[size_t((channel * kSetTones + tone) * sets + set)];
    }
    double topHz() const { return toneHz(sets - 1, channels - 1, kSetTones - 1); }
    int slotStart(int slot) const;  // samples from the frame start
    int setOf(int slot) const { return slot % sets; }
};

PayloadLayout makePayloadLayout(PayloadProfile profile, Plan plan, const CustomBand& custom,
                                float sampleRate);

// The tone every channel sounds in sync slot `slot` (0..3).
int syncTone(int slot, int channel);
// The channel of code symbol k (0..123) of a frame: code symbol k is symbol k / 4 of word k % 4,
// the data slots take the code symbols in order, channels at a time (slot kSyncSymbols + k /
// channels), and the channel of a word's symbol i turns with i, so every word is spread over the
// whole frame and over every channel.
inline int codeSymbolChannel(const PayloadLayout& layout, int k) {
    return (k / kFrameWords + k % kFrameWords) % layout.channels;
}

}  // namespace RYX
