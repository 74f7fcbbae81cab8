#include "tool_support.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <optional>

namespace ryxcli {
namespace {

constexpr size_t kBlockFrames = 4096;  // frames read per block

}  // namespace

void say(const char* kind, const std::string& message) {
    std::fflush(stdout);
    std::fprintf(stderr, "ryxsound-cli: %s%s\n", kind, message.c_str());
}

void error(const std::string& message) {
    say("error: ", message);
}

void warning(const std::string& message) {
    say("warning: ", message);
}

Band bandOf(const CommandLine& line, ryxsound::Mode fallback) {
    const bool customGiven = line.customBaseHz || line.customStep;
    if (line.preset) {
        const ryxsound::Preset* preset = nullptr;
        try {
            preset = &ryxsound::presetByName(*line.preset);
        } catch (const std::invalid_argument& e) {
            throw UsageError(std::string("--preset: ") + e.what());
        }
        if ((line.mode && *line.mode != preset->mode) || customGiven) {
            throw UsageError("--preset " + *line.preset +
                             " sets the mode and the band: drop --mode and --custom-*");
        }
        return {preset->mode, preset->custom, preset};
    }
    Band band{line.mode.value_or(fallback), {}, nullptr};
    if (customGiven && band.mode != ryxsound::Mode::Custom) {
        throw UsageError(std::string("--custom-base and --custom-step apply to --mode custom "
                                     "only, not to mode ") +
                         ryxsound::modeName(band.mode));
    }
    band.custom.baseHz = line.customBaseHz.value_or(band.custom.baseHz);
    band.custom.step = line.customStep.value_or(band.custom.step);
    return band;
}

std::string bandName(const Band& band) {
    return band.preset != nullptr ? std::string("preset ") + band.preset->name
                                  : std::string("mode ") + ryxsound::modeName(band.mode);
}

float planRateOf(const Band& band, int fileRate, bool sending, const std::string& where) {
    const float rate = static_cast<float>(fileRate);
    try {
        if (band.preset != nullptr) return ryxsound::planRate(*band.preset, rate);
        const bool all = band.mode == ryxsound::Mode::All;
        return ryxsound::planRate(sending && all ? ryxsound::Mode::NonAudible : band.mode, rate,
                                  band.custom);
    } catch (const std::invalid_argument& e) {
        throw BadInput(where + e.what());
    }
}

float payloadRateOf(const Band& band, int fileRate, const ryxsound::Profile* profile,
                    const std::string& where) {
    const float rate = static_cast<float>(fileRate);
    try {
        if (band.preset != nullptr) {
            return profile != nullptr ? ryxsound::payloadRate(*profile, *band.preset, rate)
                                      : ryxsound::payloadRate(*band.preset, rate);
        }
        return profile != nullptr ? ryxsound::payloadRate(*profile, band.mode, rate, band.custom)
                                  : ryxsound::payloadRate(band.mode, rate, band.custom);
    } catch (const std::invalid_argument& e) {
        throw BadInput(where + e.what());
    }
}

float receiveRate(const Band& band, int fileRate, bool resample, const std::string& path,
                  bool payloads) {
    const float runRate = payloads ? payloadRateOf(band, fileRate, nullptr, path + ": ")
                                   : planRateOf(band, fileRate, false, path + ": ");
    if (!resample && runRate != static_cast<float>(fileRate)) {
        throw BadInput(path + ": sample rate " + std::to_string(fileRate) + " Hz is read at " +
                       std::to_string(static_cast<int>(runRate)) + " Hz for " + bandName(band) +
                       ": leave out --no-resample");
    }
    return runRate;
}

int64_t streamAudio(AudioReader& reader, float runRate, int64_t maxFrames,
                    const Resampler::Sink& sink) {
    Resampler toPlan(reader.sampleRate(), runRate);
    std::vector<float> block;
    int64_t total = 0;
    while (total < maxFrames) {
        const size_t want = static_cast<size_t>(std::min<int64_t>(kBlockFrames, maxFrames - total));
        const size_t n = reader.read(want, block);
        if (n == 0) break;
        toPlan.process(block.data(), n, sink);
        total += static_cast<int64_t>(n);
    }
    toPlan.finish(sink);
    return total;
}

int64_t fileOffset(int64_t at, float runRate, int fileRate, int64_t frames) {
    const double toFile = static_cast<double>(fileRate) / static_cast<double>(runRate);
    const int64_t sample = std::llround(static_cast<double>(at) * toFile);
    return std::min(std::max<int64_t>(sample, 0), frames);
}

namespace {

// Offsets at the plan rate back to the file's frames.
template <typename Found>
void toFileOffsets(std::vector<Found>& found, float runRate, int fileRate, int64_t frames) {
    for (Found& f : found) {
        f.start = fileOffset(f.start, runRate, fileRate, frames);
        f.end = std::max(fileOffset(f.end, runRate, fileRate, frames), f.start);
    }
}

// Everything `decoder` (a text or payload decoder) finds in the reader's audio, at file offsets.
template <typename Found, typename Decoder>
std::vector<Found> decodeWith(Decoder& decoder, AudioReader& reader, float runRate,
                              int64_t maxFrames) {
    std::vector<Found> found;
    const Resampler::Sink feed = [&decoder, &found](const float* samples, size_t count) {
        decoder.feed(samples, count, found);
    };
    const int64_t total = streamAudio(reader, runRate, maxFrames, feed);
    decoder.flush(found);
    toFileOffsets(found, runRate, reader.sampleRate(), total);
    return found;
}

}  // namespace

std::vector<ryxsound::Message> decodeTexts(AudioReader& reader, const Band& band, float runRate,
                                           ryxsound::Receiver receiver, int64_t maxFrames) {
    ryxsound::Decoder decoder(band.mode, runRate, receiver, band.custom);
    return decodeWith<ryxsound::Message>(decoder, reader, runRate, maxFrames);
}

std::vector<ryxsound::Payload> decodePayloads(AudioReader& reader, const Band& band, float runRate,
                                              int64_t maxFrames) {
    ryxsound::PayloadDecoder decoder(band.mode, runRate, band.custom);
    return decodeWith<ryxsound::Payload>(decoder, reader, runRate, maxFrames);
}

std::vector<std::string> filePrefixes(const std::vector<std::string>& paths) {
    // Characters, not bytes: a UTF-8 continuation byte starts none.
    const auto characters = [](const std::string& text) {
        return static_cast<size_t>(
            std::count_if(text.begin(), text.end(), [](char c) { return (c & 0xC0) != 0x80; }));
    };
    size_t width = 0;
    for (const std::string& path : paths) width = std::max(width, characters(path));
    std::vector<std::string> prefixes;
    for (const std::string& path : paths) {
        prefixes.push_back(paths.size() < 2
                               ? std::string()
                               : path + ": " + std::string(width - characters(path), ' '));
    }
    return prefixes;
}

std::string jsonString(const std::string& text) {
    std::string out = "\"";
    for (const char c : text) {
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            case '\b':
                out += "\\b";
                break;
            case '\f':
                out += "\\f";
                break;
            default:
                if (static_cast<unsigned char>(c) < 0x20) {
                    char escaped[8];
                    std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
                    out += escaped;
                } else {
                    out += c;
                }
        }
    }
    return out + "\"";
}

std::string jsonNumber(double value, int decimals) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    std::string out = text;
    // Python writes the shortest form of the rounded float: trailing zeros go, one digit stays.
    while (out.back() == '0' && out[out.size() - 2] != '.') out.pop_back();
    return out;
}

std::vector<float> withLeadSilence(const std::vector<float>& made, float planRate, int fileRate) {
    const size_t lead = static_cast<size_t>(kLeadSeconds * fileRate + 0.5);
    std::vector<float> audio(lead, 0.0f);
    Resampler toFile(planRate, fileRate);
    const Resampler::Sink append = [&audio](const float* samples, size_t count) {
        audio.insert(audio.end(), samples, samples + count);
    };
    toFile.process(made.data(), made.size(), append);
    toFile.finish(append);
    audio.resize(audio.size() + lead, 0.0f);
    return audio;
}

void warnIfCutOff(const AudioReader& reader, const std::string& path) {
    const std::optional<int64_t> declared = reader.declaredFrames();
    if (!declared) return;
    const int rate = reader.sampleRate();
    char figures[96];
    std::snprintf(figures, sizeof figures, "(%.2f s of %.2f s)",
                  static_cast<double>(reader.frames()) / rate,
                  static_cast<double>(*declared) / rate);
    warning(path + ": the file is shorter than its header claims " + figures + ": it was cut off");
}

}  // namespace ryxcli
