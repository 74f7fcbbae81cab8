#include "payload/payload_layout.h"

#include <algorithm>
#include <cmath>

namespace RYX {
namespace {

struct ProfileShape {
    int baseSymbolSamples;  // at 44100 Hz
    int sets;
    int maxChannels;
};

ProfileShape shapeOf(PayloadProfile profile) {
    return profile == PayloadProfile::Fast ? ProfileShape{1024, 1, 3} : ProfileShape{2048, 3, 2};
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
    // Audible payloads reach down to kAudiblePayloadLowHz, where speech codecs keep most of
    // their bits; the other plans keep their texts' band.
    l.bandLowHz = plan == Plan::Audible ? kAudiblePayloadLowHz : toneFrequency(plan, 0, reference);
    l.bandHighHz = toneFrequency(plan, kToneCount - 1, reference) +
                   2.0 * double(frequencyPlan(plan, reference).hopStepHz);
    const ProfileShape shape = shapeOf(profile);
    const double width = l.bandHighHz - l.bandLowHz;
    // The profile's symbols where a channel fits; else one set fewer (robust: two, the echo of
    // the symbol before still falls between the tones measured); else symbols twice as long.
    for (int doubling = 0; doubling < 3 && l.channels == 0; ++doubling) {
        for (int sets = shape.sets; sets >= std::max(1, shape.sets - 1) && l.channels == 0;
             --sets) {
            l.sets = sets;
            l.symbolSeconds = double(shape.baseSymbolSamples << doubling) / 44100.0;
            l.spacingHz = 1.0 / l.symbolSeconds;
            const double channelWidth = PayloadLayout::kSetTones * l.sets * l.spacingHz;
            const double fitting = std::isfinite(width) && width > 0 ? width / channelWidth : 0.0;
            l.channels = fitting >= shape.maxChannels ? shape.maxChannels : int(fitting);
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
    l.fits = l.sliceSamples > 0 && l.windowSamples <= l.fftSize &&
             l.topHz() + l.spacingHz < 0.5 * sampleRate;
    return l;
}

int syncTone(int slot, int channel) {
    static constexpr int kPattern[PayloadLayout::kSyncSymbols] = {5, 26, 13, 20};
    return (kPattern[slot] + 9 * channel) % PayloadLayout::kSetTones;
}

}  // namespace RYX
