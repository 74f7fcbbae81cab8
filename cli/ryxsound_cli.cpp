// ryxsound-cli: encode a text to an audio file, find messages in audio files.
//
// Exit status as the Python tool's: 0 success (decode: at least one message whose checksum
// matched), 1 nothing found, 2 unreadable input or bad usage, 3 an unexpected failure.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <exception>
#include <limits>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "audio_file.h"
#include "command_line.h"
#include "resampler.h"
#include "ryxsound/ryxsound.hpp"

namespace ryxcli {
namespace {

constexpr int kExitOk = 0;
constexpr int kExitNothing = 1;
constexpr int kExitBadInput = 2;
constexpr int kExitFailure = 3;

constexpr double kLeadSeconds = 0.25;   // silence around an encoded transmission
constexpr size_t kBlockFrames = 4096;   // frames read per block
constexpr double kHintSeconds = 120.0;  // audio otherPlanHint decodes with the other plans
constexpr int kHintTexts = 3;           // texts a hint names at most

// Input the tool refuses: one line on stderr, exit 2.
class BadInput : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// One line on stderr after what stdout holds so far, so that both keep their order in one log:
// "ryxsound-cli: " + kind + message.
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

struct Band {
    ryxsound::Mode mode;
    ryxsound::CustomBand custom;
    const ryxsound::Preset* preset;  // the preset that set mode and band, or null
};

// The mode and custom band of the command line: a preset's, or --mode (default `fallback`)
// with --custom-base and --custom-step, which apply to the custom mode only.
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

// The rate the band's plans are made or analysed at for audio at fileRate (ryxsound::planRate:
// 96000 -> 48000 Hz, 44100 -> 44100 Hz). `sending` asks for mode all as the non-audible plan it
// sends. Throws BadInput, prefixed by `where`, when audio at fileRate cannot hold the plan.
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

// "preset phone" or "mode audible".
std::string bandName(const Band& band) {
    return band.preset != nullptr ? std::string("preset ") + band.preset->name
                                  : std::string("mode ") + ryxsound::modeName(band.mode);
}

int encodeCommand(const CommandLine& line) {
    const Band band = bandOf(line, ryxsound::Mode::Audible);
    const int rate = line.sampleRate.value_or(44100);
    const float encodeRate = planRateOf(band, rate, true, "");
    std::vector<float> one;
    try {
        one = ryxsound::encode(line.operands[0], band.mode, encodeRate, {}, band.custom);
    } catch (const std::invalid_argument& e) {
        throw BadInput(e.what());
    }
    const size_t lead = static_cast<size_t>(kLeadSeconds * rate + 0.5);
    std::vector<float> audio(lead, 0.0f);
    Resampler toFile(encodeRate, rate);
    const Resampler::Sink append = [&audio](const float* samples, size_t count) {
        audio.insert(audio.end(), samples, samples + count);
    };
    toFile.process(one.data(), one.size(), append);
    toFile.finish(append);
    audio.resize(audio.size() + lead, 0.0f);
    writeAudio(line.output, audio, rate);
    std::printf("wrote %s: 1 message, %.2f s at %d Hz, %s, PCM_16\n", line.output.c_str(),
                static_cast<double>(audio.size()) / rate, rate, bandName(band).c_str());
    return kExitOk;
}

// The receive rate for audio at fileRate: the plan rate, or with --no-resample the file's own
// rate, which must then be the plan rate. Throws BadInput naming the file otherwise.
float receiveRate(const Band& band, int fileRate, bool resample, const std::string& path) {
    const float runRate = planRateOf(band, fileRate, false, path + ": ");
    if (!resample && runRate != static_cast<float>(fileRate)) {
        throw BadInput(path + ": sample rate " + std::to_string(fileRate) + " Hz is read at " +
                       std::to_string(static_cast<int>(runRate)) + " Hz for " + bandName(band) +
                       ": leave out --no-resample");
    }
    return runRate;
}

// The messages of the next at most maxFrames frames of `reader` (from where it stands), offsets
// counted in those frames. The audio is resampled block by block from the file's rate to
// runRate, the plan rate of `band`.
std::vector<ryxsound::Message> decodeAudio(AudioReader& reader, const Band& band, float runRate,
                                           ryxsound::Receiver receiver, int64_t maxFrames) {
    ryxsound::Decoder decoder(band.mode, runRate, receiver, band.custom);
    std::vector<ryxsound::Message> messages;
    const Resampler::Sink feed = [&decoder, &messages](const float* samples, size_t count) {
        decoder.feed(samples, count, messages);
    };
    const int rate = reader.sampleRate();
    Resampler toPlan(rate, runRate);
    std::vector<float> block;
    int64_t total = 0;
    while (total < maxFrames) {
        const size_t want = static_cast<size_t>(std::min<int64_t>(kBlockFrames, maxFrames - total));
        const size_t n = reader.read(want, block);
        if (n == 0) break;
        toPlan.process(block.data(), n, feed);
        total += static_cast<int64_t>(n);
    }
    toPlan.finish(feed);
    decoder.flush(messages);

    // Offsets at the plan rate back to the file's samples.
    const double toFile = static_cast<double>(rate) / static_cast<double>(runRate);
    const auto inFile = [&](int64_t at) {
        const int64_t sample = std::llround(static_cast<double>(at) * toFile);
        return std::min(std::max<int64_t>(sample, 0), total);
    };
    for (ryxsound::Message& m : messages) {
        m.start = inFile(m.start);
        m.end = std::max(inFile(m.end), m.start);
    }
    return messages;
}

// When a file held no message for the plan asked for, or its rate cannot hold that plan: the
// options of another plan under which its first kHintSeconds hold a message with a matching
// checksum, tried in turn: each preset, mode all, mode custom (its default band), leaving out
// the one asked for and those whose plan the rate cannot hold. " (try --preset phone: it holds
// hello0123 there)", or "" when none does or the input cannot be read again (a pipe).
std::string otherPlanHint(AudioReader& reader, const CommandLine& line, const Band& asked) {
    std::vector<std::pair<std::string, Band>> tries;
    for (const ryxsound::Preset& preset : ryxsound::presets()) {
        if (&preset != asked.preset) {
            tries.push_back(
                {std::string("--preset ") + preset.name, {preset.mode, preset.custom, &preset}});
        }
    }
    const ryxsound::Mode askedMode = line.mode.value_or(ryxsound::Mode::All);
    for (ryxsound::Mode mode : {ryxsound::Mode::All, ryxsound::Mode::Custom}) {
        if (asked.preset != nullptr || mode != askedMode) {
            tries.push_back(
                {std::string("--mode ") + ryxsound::modeName(mode), {mode, {}, nullptr}});
        }
    }
    const int rate = reader.sampleRate();
    const auto frames = static_cast<int64_t>(kHintSeconds * rate);
    try {
        for (const auto& [options, band] : tries) {
            float runRate = 0.0f;
            try {
                runRate = planRateOf(band, rate, false, "");
            } catch (const BadInput&) {
                continue;
            }
            if (!reader.rewind()) return "";
            std::string heard;
            int count = 0;
            for (const ryxsound::Message& m :
                 decodeAudio(reader, band, runRate, line.receiver, frames)) {
                if (!m.ok || count == kHintTexts) continue;
                heard += (count++ == 0 ? "" : ", ") + m.text;
            }
            if (count > 0) return " (try " + options + ": it holds " + heard + " there)";
        }
    } catch (const AudioFileError&) {
    }
    return "";
}

struct FileResult {
    std::vector<ryxsound::Message> messages;  // offsets into the file's samples
    int rate = 0;                             // the file's, Hz
    std::string hint;  // with no message: otherPlanHint's, for the "no message found" line
};

// Every message in one file. Warns when a WAV file holds less than its header declares; throws
// BadInput, with otherPlanHint's hint, when the file's rate cannot hold the plan asked for.
FileResult decodeFile(const std::string& path, const CommandLine& line) {
    AudioReader reader(path);
    FileResult result;
    result.rate = reader.sampleRate();
    if (const std::optional<int64_t> declared = reader.declaredFrames()) {
        char figures[96];
        std::snprintf(figures, sizeof figures, "(%.2f s of %.2f s)",
                      static_cast<double>(reader.frames()) / result.rate,
                      static_cast<double>(*declared) / result.rate);
        warning(path + ": the file is shorter than its header claims " + figures +
                ": it was cut off");
    }
    const Band band =
        bandOf(line, result.rate == 22050 ? ryxsound::Mode::Audible : ryxsound::Mode::All);
    float runRate = 0.0f;
    try {
        runRate = receiveRate(band, result.rate, line.resample, path);
    } catch (const BadInput& e) {
        throw BadInput(e.what() + otherPlanHint(reader, line, band));
    }
    result.messages =
        decodeAudio(reader, band, runRate, line.receiver, std::numeric_limits<int64_t>::max());
    if (result.messages.empty()) result.hint = otherPlanHint(reader, line, band);
    return result;
}

// One message as the Python tool prints it: time in the file, plan, text, checksum result,
// confidence, tone-to-band and tone level, the share of clean symbols and the symbols error
// correction changed, counted from 1. A failed message claims neither: both are "-". Each one
// line, here split after "dBFS":
//    0.250 s  audible      hello0123  ok   confidence 1.00  tone/band  64.2 dB  level   -9.8 dBFS
//      clean 100%  corrected -
//    0.244 s  audible      hello0123  BAD  confidence 0.00  tone/band   0.0 dB  level  -14.3 dBFS
//      clean    -  corrected -
std::string messageLine(const ryxsound::Message& m, int rate) {
    int width = 0;  // the mode column: the longest plan name
    for (ryxsound::Plan plan : {ryxsound::Plan::Audible, ryxsound::Plan::NonAudible,
                                ryxsound::Plan::Compression, ryxsound::Plan::Custom}) {
        width = std::max(width, static_cast<int>(std::strlen(ryxsound::planName(plan))));
    }
    char clean[8] = "   -";  // as wide as "100%"
    std::string corrected;
    if (m.ok) {
        std::snprintf(clean, sizeof clean, "%3.0f%%", static_cast<double>(m.cleanShare) * 100.0);
        for (int symbol : m.corrected) {
            corrected += (corrected.empty() ? "" : ",") + std::to_string(symbol + 1);
        }
    }
    if (corrected.empty()) corrected = "-";
    char head[256];
    std::snprintf(head, sizeof head,
                  "%8.3f s  %-*s  %s  %s  confidence %4.2f  tone/band %5.1f dB  level %6.1f dBFS  "
                  "clean %s  corrected ",
                  static_cast<double>(m.start) / rate, width, ryxsound::planName(m.plan),
                  m.text.c_str(), m.ok ? "ok " : "BAD", static_cast<double>(m.confidence),
                  static_cast<double>(m.toneToBandDb), static_cast<double>(m.levelDbfs), clean);
    return head + corrected;
}

int decodeCommand(const CommandLine& line) {
    const bool several = line.operands.size() > 1;
    bool bad = false;
    bool foundOk = false;
    for (const std::string& path : line.operands) {
        FileResult result;
        try {
            result = decodeFile(path, line);
        } catch (const AudioFileError& e) {
            error(e.what());
            bad = true;
            continue;
        } catch (const BadInput& e) {
            error(e.what());
            bad = true;
            continue;
        }
        for (const ryxsound::Message& m : result.messages) {
            foundOk = foundOk || m.ok;
            std::printf("%s%s\n", several ? (path + ": ").c_str() : "",
                        messageLine(m, result.rate).c_str());
        }
        if (result.messages.empty()) say("", path + ": no message found" + result.hint);
    }
    std::fflush(stdout);
    if (bad) return kExitBadInput;
    return foundOk ? kExitOk : kExitNothing;
}

int run(int argc, const char* const* argv) {
    CommandLine line;
    try {
        line = parseCommandLine(argc, argv);
    } catch (const UsageError& e) {
        error(std::string(e.what()) + " (see ryxsound-cli --help)");
        return kExitBadInput;
    }
    try {
        if (line.command == "help") {
            std::fputs(usageText(), stdout);
            return kExitOk;
        }
        if (line.command == "version") {
            std::printf("ryxsound-cli %s\n", ryxsound::version());
            return kExitOk;
        }
        return line.command == "encode" ? encodeCommand(line) : decodeCommand(line);
    } catch (const UsageError& e) {
        error(std::string(e.what()) + " (see ryxsound-cli --help)");
        return kExitBadInput;
    } catch (const BadInput& e) {
        error(e.what());
        return kExitBadInput;
    } catch (const AudioFileError& e) {
        error(e.what());
        return kExitBadInput;
    } catch (const std::exception& e) {
        error(std::string("unexpected failure: ") + e.what());
        return kExitFailure;
    }
}

}  // namespace
}  // namespace ryxcli

int main(int argc, char** argv) {
    return ryxcli::run(argc, argv);
}
