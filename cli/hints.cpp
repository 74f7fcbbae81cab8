#include "hints.h"

#include <cstdint>
#include <cstdio>
#include <stdexcept>
#include <utility>
#include <vector>

namespace ryxcli {
namespace {

constexpr double kHintSeconds = 120.0;  // audio a hint decodes under the other plans
constexpr int kHintTexts = 3;           // texts a hint names at most

// The plan options of the command line as the user gave them ("" for none).
std::string askedOptions(const CommandLine& line) {
    if (line.preset) return "--preset " + *line.preset;
    if (!line.mode) return "";
    std::string options = std::string("--mode ") + ryxsound::modeName(*line.mode);
    if (line.customBaseHz) {
        char base[32];
        std::snprintf(base, sizeof base, "%g", static_cast<double>(*line.customBaseHz));
        options += std::string(" --custom-base ") + base;
    }
    if (line.customStep) options += " --custom-step " + std::to_string(*line.customStep);
    return options;
}

// What the first kHintSeconds of `reader` deliver under `band`: its texts ("hello0123,
// sound0042") or its first payload ("a payload of 13 bytes"); "" for nothing or a plan the rate
// cannot hold. Throws AudioFileError when the input cannot be read again.
std::string whatItHolds(AudioReader& reader, const Band& band, Kind kind,
                        ryxsound::Receiver receiver) {
    // Payloads ask their own band of the rate, texts their plan's.
    const auto rate = static_cast<float>(reader.sampleRate());
    float runRate = 0.0f;
    try {
        if (kind == Kind::Text) {
            runRate = planRateOf(band, reader.sampleRate(), false, "");
        } else {
            runRate = band.preset != nullptr ? ryxsound::payloadRate(*band.preset, rate)
                                             : ryxsound::payloadRate(band.mode, rate, band.custom);
        }
    } catch (const BadInput&) {
        return "";
    } catch (const std::invalid_argument&) {
        return "";
    }
    if (!reader.rewind()) throw AudioFileError("the input cannot be read again");
    const auto frames = static_cast<int64_t>(kHintSeconds * reader.sampleRate());
    std::string held;
    if (kind == Kind::Text) {
        int count = 0;
        for (const ryxsound::Message& m : decodeTexts(reader, band, runRate, receiver, frames)) {
            if (!m.ok || count == kHintTexts) continue;
            held += (count++ == 0 ? "" : ", ") + m.text;
        }
        return held;
    }
    for (const ryxsound::Payload& p : decodePayloads(reader, band, runRate, frames)) {
        if (p.ok) return "a payload of " + std::to_string(p.size) + " bytes";
    }
    return "";
}

}  // namespace

std::string hintFor(AudioReader& reader, const CommandLine& line, const Band& asked, Kind kind) {
    std::vector<std::pair<std::string, Band>> others;
    for (const ryxsound::Preset& preset : ryxsound::presets()) {
        if (&preset != asked.preset) {
            others.push_back(
                {std::string("--preset ") + preset.name, {preset.mode, preset.custom, &preset}});
        }
    }
    for (ryxsound::Mode mode : {ryxsound::Mode::All, ryxsound::Mode::Custom}) {
        if (asked.preset != nullptr || mode != line.mode.value_or(ryxsound::Mode::All)) {
            others.push_back(
                {std::string("--mode ") + ryxsound::modeName(mode), {mode, {}, nullptr}});
        }
    }
    try {
        for (const auto& [options, band] : others) {
            const std::string held = whatItHolds(reader, band, kind, line.receiver);
            if (!held.empty()) return " (try " + options + ": it holds " + held + " there)";
        }
        const Kind other = kind == Kind::Text ? Kind::Payload : Kind::Text;
        const std::string what = other == Kind::Text ? "a text: try ryxsound-cli decode"
                                                     : "a payload: try ryxsound-cli receive";
        std::vector<std::pair<std::string, Band>> tries{{askedOptions(line), asked}};
        tries.insert(tries.end(), others.begin(), others.end());
        for (const auto& [options, band] : tries) {
            if (!whatItHolds(reader, band, other, line.receiver).empty()) {
                return " (it holds " + what + (options.empty() ? "" : " " + options) + ")";
            }
        }
    } catch (const AudioFileError&) {
    }
    return "";
}

}  // namespace ryxcli
