// Names, presets and plan descriptions of the C++ interface.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <functional>
#include <string>

#include "api/core_plans.h"
#include "api/refusals.h"
#include "decoder/plan_receiver.h"
#include "modes/frequency_plan.h"
#include "modes/phrase.h"
#include "ryxsound/ryx_api.h"
#include "ryxsound/ryxsound.hpp"

namespace ryxsound {
namespace {

using RYX::lengthOf;
using RYX::phrase;

std::string lowerWithout(std::string_view name, std::string_view dropped) {
    std::string key;
    for (char c : name) {
        if (dropped.find(c) != std::string_view::npos) continue;
        key += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return key;
}

}  // namespace

void refuseIf(const std::string& refusal) {
    if (!refusal.empty()) refuse(refusal);
}

const char* version() {
    return RYX_VERSION_STRING;
}

const char* modeName(Mode mode) {
    switch (mode) {
        case Mode::Audible:
            return "audible";
        case Mode::NonAudible:
            return "nonaudible";
        case Mode::Compression:
            return "compression";
        case Mode::All:
            return "all";
        case Mode::Custom:
            return "custom";
    }
    return "unknown";
}

const char* planName(Plan plan) {
    switch (plan) {
        case Plan::Audible:
            return "audible";
        case Plan::NonAudible:
            return "nonaudible";
        case Plan::Compression:
            return "compression";
        case Plan::Custom:
            return "custom";
    }
    return "unknown";
}

std::string modeNumberRefusal(int number) {
    if (number >= static_cast<int>(Mode::Audible) && number <= static_cast<int>(Mode::Custom)) {
        return {};
    }
    return phrase(
        "unknown mode %d: the modes are 2 audible, 3 nonaudible, 4 compression, 5 all, "
        "6 custom",
        number);
}

Mode modeFromNumber(int number) {
    refuseIf(modeNumberRefusal(number));
    return static_cast<Mode>(number);
}

std::string planNumberRefusal(int number) {
    if (number >= static_cast<int>(Plan::Audible) && number <= static_cast<int>(Plan::Custom)) {
        return {};
    }
    return phrase("unknown plan %d: the plans are 0 audible, 1 nonaudible, 2 compression, 3 custom",
                  number);
}

Plan planFromNumber(int number) {
    refuseIf(planNumberRefusal(number));
    return static_cast<Plan>(number);
}

const char* receiverName(Receiver receiver) {
    return receiver == Receiver::Robust ? "robust" : "standard";
}

std::string receiverNameRefusal(std::string_view name, Receiver* out) {
    const std::string key = lowerWithout(name, " ");
    for (Receiver r : {Receiver::Robust, Receiver::Standard}) {
        if (key == receiverName(r)) {
            *out = r;
            return {};
        }
    }
    return phrase("unknown receiver '%.*s': use robust or standard", lengthOf(name), name.data());
}

Receiver receiverFromName(std::string_view name) {
    Receiver receiver{};
    refuseIf(receiverNameRefusal(name, &receiver));
    return receiver;
}

const char* profileName(Profile profile) {
    return profile == Profile::Fast ? "fast" : "robust";
}

std::string profileNameRefusal(std::string_view name, Profile* out) {
    const std::string key = lowerWithout(name, " ");
    for (Profile p : {Profile::Fast, Profile::Robust}) {
        if (key == profileName(p)) {
            *out = p;
            return {};
        }
    }
    return phrase("unknown profile '%.*s': use fast or robust", lengthOf(name), name.data());
}

Profile profileFromName(std::string_view name) {
    Profile profile{};
    refuseIf(profileNameRefusal(name, &profile));
    return profile;
}

std::string modeNameRefusal(std::string_view name, Mode* out) {
    const std::string key = lowerWithout(name, "-_ ");
    for (Mode m : {Mode::Audible, Mode::NonAudible, Mode::Compression, Mode::All, Mode::Custom}) {
        if (key == modeName(m)) {
            *out = m;
            return {};
        }
    }
    return phrase("unknown mode '%.*s': use audible, nonaudible, compression, all or custom",
                  lengthOf(name), name.data());
}

Mode modeFromName(std::string_view name) {
    Mode mode{};
    refuseIf(modeNameRefusal(name, &mode));
    return mode;
}

const std::vector<Preset>& presets() {
    static const std::vector<Preset> table = {
        {"phone", Mode::Custom, CustomBand{RYX::kPhoneBand.baseHz, RYX::kPhoneBand.stepParam},
         "telephone band 300-3400 Hz: custom plan from 600 Hz (G.711, GSM, Speex, Opus NB)"},
    };
    return table;
}

std::string presetNameRefusal(std::string_view name, const Preset** out) {
    const std::string key = lowerWithout(name, "");
    std::string known;
    for (const Preset& p : presets()) {
        if (key == p.name) {
            *out = &p;
            return {};
        }
        known.append(known.empty() ? "" : ", ").append(p.name);
    }
    return phrase("unknown preset '%.*s': use %s", lengthOf(name), name.data(), known.c_str());
}

const Preset& presetByName(std::string_view name) {
    const Preset* preset = nullptr;
    refuseIf(presetNameRefusal(name, &preset));
    return *preset;
}

static_assert(kMinSampleRate == RYX::kMinSampleRate && kMaxSampleRate == RYX::kMaxSampleRate,
              "the public rate range is the core's");

std::string sampleRateRefusal(float sampleRate) {
    if (RYX::sampleRateInRange(sampleRate)) return {};
    return RYX::rateOutsideRange(sampleRate);
}

void checkSampleRate(float sampleRate) {
    refuseIf(sampleRateRefusal(sampleRate));
}

RYX::Plan corePlan(Plan plan) {
    static_assert(static_cast<int>(Plan::Custom) == static_cast<int>(RYX::Plan::Custom),
                  "the public plans are numbered as the core's");
    return static_cast<RYX::Plan>(planFromNumber(static_cast<int>(plan)));
}

std::vector<RYX::Plan> corePlans(Mode mode) {
    std::vector<RYX::Plan> plans;
    for (Plan plan : plansOf(mode)) plans.push_back(corePlan(plan));
    return plans;
}

PlanInfo planInfo(Plan plan, float sampleRate, CustomBand custom) {
    checkSampleRate(sampleRate);
    const RYX::Plan corePlan = ryxsound::corePlan(plan);
    const RYX::Tuning tuning = RYX::makeTuning(sampleRate, {custom.baseHz, custom.step});
    const RYX::FrequencyPlan p = RYX::frequencyPlan(corePlan, tuning);
    PlanInfo info{};
    info.plan = plan;
    info.sampleRate = sampleRate;
    info.windowSize = tuning.windowSize;
    info.symbolSamples = RYX::symbolDuration(sampleRate);
    info.transmissionSamples = RYX::kTransmissionSymbols * info.symbolSamples;
    for (int j = 0; j < kToneCount; ++j) {
        info.toneHz[j] = RYX::toneFrequency(corePlan, j, tuning);
        info.toneBins[j] = RYX::toneBin(corePlan, j, tuning);
    }
    info.hopHz = p.hopStepHz;
    info.hopBins = RYX::receiveHopBins(corePlan, tuning);
    info.bandLowHz = info.toneHz[0];
    info.bandHighHz = info.toneHz[kToneCount - 1] + 2.0f * p.hopStepHz;
    // Both receivers hear the plan: the standard one's bins lie inside the spectrum, and the
    // nine tones are distinct and, with their hops, below half the rate (what the robust
    // receiver needs too).
    const RYX::PlanReceiver receiver(corePlan, tuning, 2);
    info.fits = receiver.fits() && RYX::planTonesFit(corePlan, tuning);
    return info;
}

std::vector<Plan> plansOf(Mode mode) {
    switch (mode) {
        case Mode::Audible:
            return {Plan::Audible};
        case Mode::NonAudible:
            return {Plan::NonAudible};
        case Mode::Compression:
            return {Plan::Compression};
        case Mode::All:
            return {Plan::Audible, Plan::NonAudible, Plan::Compression};
        case Mode::Custom:
            return {Plan::Custom};
    }
    refuse(phrase("unknown mode %d: the modes are 2..6", static_cast<int>(mode)));
}

std::string customBandRefusal(Mode mode, CustomBand custom) {
    if (mode == Mode::Custom && !(custom.step >= 0 && custom.step <= 64)) {
        return phrase("custom step %d is outside 0..64 (a hop of step + 2 bins)", custom.step);
    }
    if (mode == Mode::Custom && !(std::isfinite(custom.baseHz) && custom.baseHz > 0.0f)) {
        return phrase("custom base %g Hz must be a positive frequency", custom.baseHz);
    }
    return {};
}

std::string modeFitsRefusal(Mode mode, float sampleRate, CustomBand custom) {
    if (std::string refusal = customBandRefusal(mode, custom); !refusal.empty()) return refusal;
    const std::vector<Plan> plans = plansOf(mode);
    std::string refusal = sampleRateRefusal(sampleRate);  // what planInfo would throw
    for (size_t i = 0; i < plans.size() && refusal.empty(); ++i) {
        const Plan plan = plans[i];
        const PlanInfo info = planInfo(plan, sampleRate, custom);
        const auto notRising = [](float a, float b) { return !(a < b); };
        if (!info.fits && std::adjacent_find(info.toneHz.begin(), info.toneHz.end(), notRising) !=
                              info.toneHz.end()) {
            // Tones that are not strictly rising: the spacing snapped to whole analysis bins
            // too wide for it (the audible plan above 384000 Hz).
            refusal = phrase(
                "the %s plan's tones %g Hz..%g Hz merge at %g Hz, whose analysis bins are %g Hz "
                "wide: use 44100 or 48000 Hz",
                planName(plan), info.toneHz[0], info.toneHz[kToneCount - 1], sampleRate,
                sampleRate / static_cast<float>(info.windowSize));
        } else if (!info.fits) {
            refusal = phrase(
                "the %s plan reaches %g Hz, above half the sample rate of %g Hz: use 44100 or "
                "48000 Hz%s%s",
                planName(plan), info.bandHighHz, sampleRate,
                plan == Plan::Audible ? " (or 22050 Hz)" : "",
                plan == Plan::Custom ? ", or a lower custom base" : "");
        }
    }
    return refusal;
}

void checkModeFits(Mode mode, float sampleRate, CustomBand custom) {
    refuseIf(modeFitsRefusal(mode, sampleRate, custom));
}

std::string listenerRefusal(Mode mode, float sampleRate, CustomBand custom) {
    std::string refusal = modeNumberRefusal(static_cast<int>(mode));
    if (refusal.empty()) refusal = sampleRateRefusal(sampleRate);
    return refusal.empty() ? modeFitsRefusal(mode, sampleRate, custom) : refusal;
}

std::vector<float> supportedRates(Mode mode, CustomBand custom) {
    std::vector<float> rates;
    for (float rate : {44100.0f, 48000.0f, 22050.0f}) {
        bool fits = true;
        for (Plan plan : plansOf(mode)) fits &= planInfo(plan, rate, custom).fits;
        if (fits) rates.push_back(rate);
    }
    return rates;
}

std::string soundRateRefusal(Mode mode, float fileRate, CustomBand custom, bool nativeHalfRate,
                             const std::function<Reach(float planRate)>& reachAt, float* rate) {
    if (std::string refusal = sampleRateRefusal(fileRate); !refusal.empty()) return refusal;
    std::vector<float> rates = supportedRates(mode, custom);
    if (!nativeHalfRate)
        rates.erase(std::remove(rates.begin(), rates.end(), 22050.0f), rates.end());
    if (std::find(rates.begin(), rates.end(), fileRate) != rates.end() &&
        reachAt(fileRate).refusal.empty()) {
        *rate = fileRate;
        return {};
    }
    // The nearer by ratio of 44100 and 48000 Hz: at or below 46009 Hz (their geometric mean)
    // 44100, above it 48000.
    float best = 0.0f;
    for (float candidate : {44100.0f, 48000.0f}) {
        if (std::find(rates.begin(), rates.end(), candidate) == rates.end()) continue;
        if (best == 0.0f ||
            std::fabs(std::log(candidate / fileRate)) < std::fabs(std::log(best / fileRate))) {
            best = candidate;
        }
    }
    if (best == 0.0f) return modeFitsRefusal(mode, 44100.0f, custom);  // the mode fits no rate
    const Reach reach = reachAt(best);
    if (!reach.refusal.empty()) return reach.refusal;
    // Audio at fileRate keeps what lies below 0.45 fileRate: the converter's pass band.
    const float limit = 0.45f * fileRate;
    if (!(reach.topHz < limit)) {
        return phrase("audio at %g Hz holds up to %g Hz, %s %g Hz: use a higher rate%s", fileRate,
                      limit, reach.reaches.c_str(), reach.topHz,
                      mode == Mode::Custom ? " or a lower custom base" : "");
    }
    *rate = best;
    return {};
}

namespace {

// planRate for a mode and band; nativeHalfRate says whether 22050 Hz, where the analysis window
// is half as long and the hop twice as wide, is a plan rate of its own (not for presets, whose
// band holds only with the 2048-sample window).
std::string planRateOf(Mode mode, float fileRate, CustomBand custom, bool nativeHalfRate,
                       float* rate) {
    const auto textReach = [mode, custom](float planRate) {
        Reach reach;
        for (Plan plan : plansOf(mode)) {
            const float top = planInfo(plan, planRate, custom).bandHighHz;
            if (reach.topHz == 0.0f || top < reach.topHz) {
                reach.topHz = top;
                reach.reaches = phrase("the %s plan reaches", planName(plan));
            }
        }
        return reach;
    };
    return soundRateRefusal(mode, fileRate, custom, nativeHalfRate, textReach, rate);
}

}  // namespace

std::string planRateRefusal(Mode mode, float fileRate, CustomBand custom, float* rate) {
    return planRateOf(mode, fileRate, custom, true, rate);
}

std::string planRateRefusal(const Preset& preset, float fileRate, float* rate) {
    return planRateOf(preset.mode, fileRate, preset.custom, false, rate);
}

float planRate(Mode mode, float fileRate, CustomBand custom) {
    float rate = 0.0f;
    refuseIf(planRateRefusal(mode, fileRate, custom, &rate));
    return rate;
}

float planRate(const Preset& preset, float fileRate) {
    float rate = 0.0f;
    refuseIf(planRateRefusal(preset, fileRate, &rate));
    return rate;
}

}  // namespace ryxsound
