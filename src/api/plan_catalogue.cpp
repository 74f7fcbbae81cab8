// Names, presets and plan descriptions of the C++ interface.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <stdexcept>
#include <string>

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

PlanInfo planInfo(Plan plan, float sampleRate, CustomBand custom) {
    if (!(sampleRate >= kMinSampleRate && sampleRate <= kMaxSampleRate)) {
        throw std::invalid_argument("sample rate " + formatHz(sampleRate) + " is outside " +
                                    formatHz(kMinSampleRate) + ".." + formatHz(kMaxSampleRate));
    }
    const RYX::Plan corePlan = static_cast<RYX::Plan>(plan);
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
    const RYX::PlanReceiver receiver(corePlan, tuning, 2);
    info.fits = receiver.fits() && std::isfinite(info.bandHighHz) && info.bandLowHz > 0.0f &&
                info.bandHighHz < sampleRate / 2.0f;
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

}  // namespace ryxsound
