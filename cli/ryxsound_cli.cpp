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
#include <stdexcept>
#include <string>
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

constexpr double kLeadSeconds = 0.25;  // silence around an encoded transmission
constexpr double kPadSeconds = 0.5;    // silence fed around a decoded file
constexpr size_t kBlockFrames = 4096;  // frames read per block

// Input the tool refuses: one line on stderr, exit 2.
class BadInput : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

void error(const std::string& message) {
    std::fprintf(stderr, "ryxsound-cli: error: %s\n", message.c_str());
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

// Every message in one file, with offsets into the file's samples. The file is resampled block
// by block to the plan rate unless it is at that rate (or refused with --no-resample).
std::vector<ryxsound::Message> decodeFile(const std::string& path, const CommandLine& line,
                                          int& rate) {
    AudioReader reader(path);
    rate = reader.sampleRate();
    const Band band = bandOf(line, rate == 22050 ? ryxsound::Mode::Audible : ryxsound::Mode::All);
    const float runRate = planRateOf(band, rate, false, path + ": ");
    if (!line.resample && runRate != static_cast<float>(rate)) {
        throw BadInput(path + ": sample rate " + std::to_string(rate) + " Hz is read at " +
                       std::to_string(static_cast<int>(runRate)) + " Hz for " + bandName(band) +
                       ": leave out --no-resample");
    }
    ryxsound::Decoder decoder(band.mode, runRate, line.receiver, band.custom);
    std::vector<ryxsound::Message> messages;
    const Resampler::Sink feed = [&decoder, &messages](const float* samples, size_t count) {
        decoder.feed(samples, count, messages);
    };

    // Silence around the file lets the receiver see a message at its very first or last sample.
    const std::vector<float> pad(static_cast<size_t>(kPadSeconds * runRate + 0.5f), 0.0f);
    feed(pad.data(), pad.size());
    Resampler toPlan(rate, runRate);
    std::vector<float> block;
    int64_t total = 0;
    while (size_t n = reader.read(kBlockFrames, block)) {
        toPlan.process(block.data(), n, feed);
        total += static_cast<int64_t>(n);
    }
    toPlan.finish(feed);
    feed(pad.data(), pad.size());
    decoder.flush(messages);

    // Offsets at the plan rate, after the pad, back to the file's samples.
    const int64_t shift = static_cast<int64_t>(pad.size());
    const double toFile = static_cast<double>(rate) / static_cast<double>(runRate);
    const auto inFile = [&](int64_t at) {
        const int64_t sample = std::llround(static_cast<double>(at - shift) * toFile);
        return std::min(std::max<int64_t>(sample, 0), total);
    };
    for (ryxsound::Message& m : messages) {
        m.start = inFile(m.start);
        m.end = std::max(inFile(m.end), m.start);
    }
    return messages;
}

// One message as the Python tool prints it: time in the file, plan, text, checksum result,
// confidence, tone-to-band and tone level, the share of clean symbols and the symbols error
// correction changed, counted from 1. A failed message claims neither: both are "-". Each one
// line, here split after "dBFS":
//    0.253 s  audible      hello0123  ok   confidence 1.00  tone/band  63.4 dB  level   -9.8 dBFS
//      clean 100%  corrected -
//    0.244 s  audible      hello0123  BAD  confidence 0.00  tone/band   0.0 dB  level  -14.4 dBFS
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
        int rate = 0;
        std::vector<ryxsound::Message> messages;
        try {
            messages = decodeFile(path, line, rate);
        } catch (const AudioFileError& e) {
            error(e.what());
            bad = true;
            continue;
        } catch (const BadInput& e) {
            error(e.what());
            bad = true;
            continue;
        }
        for (const ryxsound::Message& m : messages) {
            foundOk = foundOk || m.ok;
            std::printf("%s%s\n", several ? (path + ": ").c_str() : "",
                        messageLine(m, rate).c_str());
        }
        if (messages.empty())
            std::fprintf(stderr, "ryxsound-cli: %s: no message found\n", path.c_str());
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
