// Names, presets and plan descriptions of the C++ interface.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <stdexcept>
#include <string>

#include "api/core_plans.h"
#include "decoder/plan_receiver.h"
#include "modes/frequency_plan.h"
#include "ryxsound/ryx_api.h"
#include "ryxsound/ryxsound.hpp"

namespace ryxsound {
namespace {

std::string lowerWithout(std::string_view name, const char* dropped) {
    std::string key;
    for (char c : name) {
        if (std::string(dropped).find(c) != std::string::npos) continue;
        key += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return key;
}

std::string formatHz(float hz) {
    char text[32];
    std::snprintf(text, sizeof text, "%g Hz", static_cast<double>(hz));
    return text;
}

}  // namespace

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

Mode modeFromNumber(int number) {
    if (number < static_cast<int>(Mode::Audible) || number > static_cast<int>(Mode::Custom)) {
        throw std::invalid_argument("unknown mode " + std::to_string(number) +
                                    ": the modes are 2 audible, 3 nonaudible, 4 compression, "
                                    "5 all, 6 custom");
    }
    return static_cast<Mode>(number);
}

Plan planFromNumber(int number) {
    if (number < static_cast<int>(Plan::Audible) || number > static_cast<int>(Plan::Custom)) {
        throw std::invalid_argument("unknown plan " + std::to_string(number) +
                                    ": the plans are 0 audible, 1 nonaudible, 2 compression, "
                                    "3 custom");
    }
    return static_cast<Plan>(number);
}

const char* receiverName(Receiver receiver) {
    return receiver == Receiver::Robust ? "robust" : "standard";
}

Receiver receiverFromName(std::string_view name) {
    const std::string key = lowerWithout(name, " ");
    for (Receiver r : {Receiver::Robust, Receiver::Standard}) {
        if (key == receiverName(r)) return r;
    }
    throw std::invalid_argument("unknown receiver '" + std::string(name) +
                                "': use robust or standard");
}

const char* profileName(Profile profile) {
    return profile == Profile::Fast ? "fast" : "robust";
}

Profile profileFromName(std::string_view name) {
    const std::string key = lowerWithout(name, " ");
    for (Profile p : {Profile::Fast, Profile::Robust}) {
        if (key == profileName(p)) return p;
    }
    throw std::invalid_argument("unknown profile '" + std::string(name) + "': use fast or robust");
}

Mode modeFromName(std::string_view name) {
    const std::string key = lowerWithout(name, "-_ ");
    for (Mode m : {Mode::Audible, Mode::NonAudible, Mode::Compression, Mode::All, Mode::Custom}) {
        if (key == modeName(m)) return m;
    }
    throw std::invalid_argument("unknown mode '" + std::string(name) +
                                "': use audible, nonaudible, compression, all or custom");
}

const std::vector<Preset>& presets() {
    static const std::vector<Preset> table = {
        {"phone", Mode::Custom, CustomBand{600.0f, 1},
         "telephone band 300-3400 Hz: custom plan from 600 Hz (G.711, GSM, Speex, Opus NB)"},
    };
    return table;
}

const Preset& presetByName(std::string_view name) {
    const std::string key = lowerWithout(name, "");
    std::string known;
    for (const Preset& p : presets()) {
        if (key == p.name) return p;
        known += known.empty() ? p.name : std::string(", ") + p.name;
    }
    throw std::invalid_argument("unknown preset '" + std::string(name) + "': use " + known);
}

static_assert(kMinSampleRate == RYX::kMinSampleRate && kMaxSampleRate == RYX::kMaxSampleRate,
              "the public rate range is the core's");

void checkSampleRate(float sampleRate) {
    if (!RYX::sampleRateInRange(sampleRate)) {
        throw std::invalid_argument("sample rate " + formatHz(sampleRate) + " is outside " +
                                    formatHz(kMinSampleRate) + ".." + formatHz(kMaxSampleRate));
    }
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
    throw std::invalid_argument("unknown mode " + std::to_string(static_cast<int>(mode)) +
                                ": the modes are 2..6");
}

void checkModeFits(Mode mode, float sampleRate, CustomBand custom) {
    if (mode == Mode::Custom && !(custom.step >= 0 && custom.step <= 64)) {
        throw std::invalid_argument("custom step " + std::to_string(custom.step) +
                                    " is outside 0..64 (a hop of step + 2 bins)");
    }
    if (mode == Mode::Custom && !(std::isfinite(custom.baseHz) && custom.baseHz > 0.0f)) {
        throw std::invalid_argument("custom base " + formatHz(custom.baseHz) +
                                    " must be a positive frequency");
    }
    for (Plan plan : plansOf(mode)) {
        const PlanInfo info = planInfo(plan, sampleRate, custom);
        const auto notRising = [](float a, float b) { return !(a < b); };
        if (!info.fits && std::adjacent_find(info.toneHz.begin(), info.toneHz.end(), notRising) !=
                              info.toneHz.end()) {
            // Tones that are not strictly rising: the spacing snapped to whole analysis bins
            // too wide for it (the audible plan above 384000 Hz).
            throw std::invalid_argument(std::string("the ") + planName(plan) + " plan's tones " +
                                        formatHz(info.toneHz[0]) + ".." +
                                        formatHz(info.toneHz[kToneCount - 1]) + " merge at " +
                                        formatHz(sampleRate) + ", whose analysis bins are " +
                                        formatHz(sampleRate / static_cast<float>(info.windowSize)) +
                                        " wide: use 44100 or 48000 Hz");
        }
        if (!info.fits) {
            throw std::invalid_argument(std::string("the ") + planName(plan) + " plan reaches " +
                                        formatHz(info.bandHighHz) +
                                        ", above half the sample rate of " + formatHz(sampleRate) +
                                        ": use 44100 or 48000 Hz" +
                                        (plan == Plan::Audible ? " (or 22050 Hz)" : "") +
                                        (plan == Plan::Custom ? ", or a lower custom base" : ""));
        }
    }
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

namespace {

// planRate for a mode and band; nativeHalfRate says whether 22050 Hz, where the analysis window
// is half as long and the hop twice as wide, is a plan rate of its own (not for presets, whose
// band holds only with the 2048-sample window).
float planRateOf(Mode mode, float fileRate, CustomBand custom, bool nativeHalfRate) {
    checkSampleRate(fileRate);
    std::vector<float> rates = supportedRates(mode, custom);
    if (!nativeHalfRate)
        rates.erase(std::remove(rates.begin(), rates.end(), 22050.0f), rates.end());
    if (std::find(rates.begin(), rates.end(), fileRate) != rates.end()) return fileRate;
    // The nearer by ratio of 44100 and 48000 Hz: at or below 46009 Hz (their geometric mean)
    // 44100, above it 48000.
    float best = 0.0f;
    for (float rate : {44100.0f, 48000.0f}) {
        if (std::find(rates.begin(), rates.end(), rate) == rates.end()) continue;
        if (best == 0.0f ||
            std::fabs(std::log(rate / fileRate)) < std::fabs(std::log(best / fileRate))) {
            best = rate;
        }
    }
    if (best == 0.0f) checkModeFits(mode, 44100.0f, custom);  // throws: the mode fits no rate
    // Audio at fileRate keeps what lies below 0.45 fileRate: the converter's pass band.
    const float limit = 0.45f * fileRate;
    float lowestTop = 0.0f;
    Plan lowestPlan = Plan::Audible;
    for (Plan plan : plansOf(mode)) {
        const float top = planInfo(plan, best, custom).bandHighHz;
        if (lowestTop == 0.0f || top < lowestTop) {
            lowestTop = top;
            lowestPlan = plan;
        }
    }
    if (!(lowestTop < limit)) {
        throw std::invalid_argument("audio at " + formatHz(fileRate) + " holds up to " +
                                    formatHz(limit) + ", the " + planName(lowestPlan) +
                                    " plan reaches " + formatHz(lowestTop) + ": use a higher rate" +
                                    (mode == Mode::Custom ? " or a lower custom base" : ""));
    }
    return best;
}

}  // namespace

float planRate(Mode mode, float fileRate, CustomBand custom) {
    return planRateOf(mode, fileRate, custom, true);
}

float planRate(const Preset& preset, float fileRate) {
    return planRateOf(preset.mode, fileRate, preset.custom, false);
}

}  // namespace ryxsound
