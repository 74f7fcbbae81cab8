#include "payload/payload_layout.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace RYX {
namespace {

struct ProfileShape {
    int baseSymbolSamples;  // at 44100 Hz
    int sets;
    int maxChannels;
    // Where audible payloads begin: low enough that every channel stays below the 6 kHz that
    // speech codecs of 16 kbit/s keep, high enough to stay clear of most of a voice's energy.
    double audibleLowHz;
};

ProfileShape shapeOf(PayloadProfile profile) {
    return profile == PayloadProfile::Fast ? ProfileShape{1024, 1, 3, 1600.0}
                                           : ProfileShape{2048, 3, 2, 1200.0};
}

// The start tones (tones 0 and 2) of every plan at the rates plans are made at: payload tones
// keep kStartToneGuardHz away from them and from the pilot.
constexpr double kStartToneGuardHz = 36.0;  // a bin and a half at 48000 Hz
constexpr int kPlanCount = 4;
constexpr float kPlanRates[] = {22050.0f, 44100.0f, 48000.0f};
using StartTones = std::array<double, kPlanCount * 3 * 2 + 1>;

// The start tones, and the plan's pilot.
StartTones avoidedTones(const CustomBand& custom, double pilotHz) {
    StartTones tones{};
    size_t i = 0;
    tones[i++] = pilotHz;
    for (int p = 0; p < kPlanCount; ++p) {
        for (float rate : kPlanRates) {
            const Tuning tuning = makeTuning(rate, custom);
            tones[i++] = toneFrequency(Plan(p), 0, tuning);
            tones[i++] = toneFrequency(Plan(p), 2, tuning);
        }
    }
    return tones;
}

// Fills l.tones with up to `wanted` grid frequencies (bandLowHz + g spacingHz, g = 0, 1, ...)
// inside the band and clear of the start tones; returns how many it found.
int layTones(PayloadLayout& l, const StartTones& avoided, int wanted) {
    int count = 0;
    for (int g = 0; count < wanted; ++g) {
        const double f = l.bandLowHz + g * l.spacingHz;
        if (!(f <= l.bandHighHz)) break;  // NaN bands lay nothing
        const bool clear = std::none_of(avoided.begin(), avoided.end(), [f](double start) {
            return std::fabs(f - start) < kStartToneGuardHz;
        });
        if (clear) l.tones[size_t(count++)] = f;
    }
    return count;
}

}  // namespace

int PayloadLayout::slotStart(int slot) const {
    return int(std::lround(slot * symbolSamples));
}

PayloadLayout makePayloadLayout(PayloadProfile profile, Plan plan, const CustomBand& custom,
                                float sampleRate) {
    PayloadLayout l;
    l.profile = profile;
    l.plan = plan;
    l.sampleRate = sampleRate;
    const Tuning reference = makeTuning(44100.0f, custom);
    const ProfileShape shape = shapeOf(profile);
    // Audible payloads begin below the texts' band (profileShape's audibleLowHz); the other plans
    // keep their texts' band.
    l.bandLowHz = plan == Plan::Audible ? shape.audibleLowHz : toneFrequency(plan, 0, reference);
    l.bandHighHz = toneFrequency(plan, kToneCount - 1, reference) +
                   2.0 * double(frequencyPlan(plan, reference).hopStepHz);
    l.pilotHz = toneFrequency(plan, PayloadLayout::kPilotTone, reference);
    const StartTones avoided = avoidedTones(custom, l.pilotHz);
    // The profile's symbols where a channel fits; else one set fewer (robust: two, the echo of
    // the symbol before still falls between the tones measured); else symbols twice as long.
    for (int doubling = 0; doubling < 3 && l.channels == 0; ++doubling) {
        for (int sets = shape.sets; sets >= std::max(1, shape.sets - 1) && l.channels == 0;
             --sets) {
            l.sets = sets;
            l.symbolSeconds = double(shape.baseSymbolSamples << doubling) / 44100.0;
            l.spacingHz = 1.0 / l.symbolSeconds;
            const int perChannel = PayloadLayout::kSetTones * l.sets;
            const int usable = layTones(l, avoided, shape.maxChannels * perChannel);
            l.channels = std::min(shape.maxChannels, usable / perChannel);
        }
    }
    if (l.channels == 0 || !sampleRateInRange(sampleRate) || !(l.bandLowHz > 0.0)) return l;
    l.dataSlots = (kFrameCodeSymbols + l.channels - 1) / l.channels;
    l.slots = PayloadLayout::kSyncSymbols + l.dataSlots;
    l.symbolSamples = l.symbolSeconds * sampleRate;
    l.windowSamples = int(std::lround(l.symbolSamples));
    l.sliceSamples = l.windowSamples / 4;
    l.fftSize = 4;
    while (l.fftSize < 2 * l.windowSamples && l.fftSize < PayloadLayout::kMaxFftSize) {
        l.fftSize *= 2;
    }
    l.frameSamples = l.slotStart(l.slots);
    // A pilot above half the rate would fold back among the payload's tones.
    l.fits = l.sliceSamples > 0 && l.windowSamples <= l.fftSize &&
             std::max(l.topHz(), l.pilotHz) + l.spacingHz < 0.5 * sampleRate;
    return l;
}

int syncTone(int slot, int channel) {
    static constexpr int kPattern[PayloadLayout::kSyncSymbols] = {5, 26, 13, 20};
    return (kPattern[slot] + 9 * channel) % PayloadLayout::kSetTones;
}

}  // namespace RYX
