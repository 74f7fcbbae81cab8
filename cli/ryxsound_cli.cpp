// ryxsound-cli: encode a text to an audio file, find messages in audio files.
//
// Exit status as the Python tool's: 0 success (decode: at least one message whose checksum
// matched), 1 nothing found, 2 unreadable input or bad usage, 3 an unexpected failure.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <stdexcept>
#include <string>
#include <vector>

#include "audio_file.h"
#include "command_line.h"
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
        return {preset->mode, preset->custom};
    }
    Band band{line.mode.value_or(fallback), {}};
    if (customGiven && band.mode != ryxsound::Mode::Custom) {
        throw UsageError(std::string("--custom-base and --custom-step apply to --mode custom "
                                     "only, not to mode ") +
                         ryxsound::modeName(band.mode));
    }
    band.custom.baseHz = line.customBaseHz.value_or(band.custom.baseHz);
    band.custom.step = line.customStep.value_or(band.custom.step);
    return band;
}

// Refuses plans that do not fit below half the rate and rates the mode does not support (those
// without a full-size analysis window); `where` prefixes the message.
void checkToolRate(int rate, const Band& band, const std::string& where) {
    try {
        ryxsound::checkModeFits(band.mode, static_cast<float>(rate), band.custom);
    } catch (const std::invalid_argument& e) {
        throw BadInput(where + e.what());
    }
    std::string rates;
    for (float r : ryxsound::supportedRates(band.mode, band.custom)) {
        if (static_cast<float>(rate) == r) return;
        rates += (rates.empty() ? "" : ", ") + std::to_string(static_cast<int>(r));
    }
    throw BadInput(where + "sample rate " + std::to_string(rate) + " Hz is not supported by mode " +
                   ryxsound::modeName(band.mode) + " (use " + rates + " Hz)");
}

int encodeCommand(const CommandLine& line) {
    const Band band = bandOf(line, ryxsound::Mode::Audible);
    const int rate = line.sampleRate.value_or(44100);
    checkToolRate(rate, band, "");
    std::vector<float> one;
    try {
        one = ryxsound::encode(line.operands[0], band.mode, static_cast<float>(rate), {},
                               band.custom);
    } catch (const std::invalid_argument& e) {
        throw BadInput(e.what());
    }
    const size_t lead = static_cast<size_t>(kLeadSeconds * rate + 0.5);
    std::vector<float> audio(lead, 0.0f);
    audio.insert(audio.end(), one.begin(), one.end());
    audio.resize(audio.size() + lead, 0.0f);
    writeAudio(line.output, audio, rate);
    std::printf("wrote %s: 1 message, %.2f s at %d Hz, mode %s, 16-bit PCM\n", line.output.c_str(),
                static_cast<double>(audio.size()) / rate, rate, ryxsound::modeName(band.mode));
    return kExitOk;
}

// Every message in one file, with offsets into the file's samples.
std::vector<ryxsound::Message> decodeFile(const std::string& path, const CommandLine& line,
                                          int& rate) {
    AudioReader reader(path);
    rate = reader.sampleRate();
    const Band band = bandOf(line, rate == 22050 ? ryxsound::Mode::Audible : ryxsound::Mode::All);
    checkToolRate(rate, band, path + ": ");
    ryxsound::Decoder decoder(band.mode, static_cast<float>(rate), line.receiver, band.custom);

    // Silence around the file lets the receiver see a message at its very first or last sample.
    const std::vector<float> pad(static_cast<size_t>(kPadSeconds * rate + 0.5), 0.0f);
    std::vector<ryxsound::Message> messages;
    decoder.feed(pad.data(), pad.size(), messages);
    std::vector<float> block;
    int64_t total = 0;
    while (size_t n = reader.read(kBlockFrames, block)) {
        decoder.feed(block.data(), n, messages);
        total += static_cast<int64_t>(n);
    }
    decoder.feed(pad.data(), pad.size(), messages);
    decoder.flush(messages);

    const int64_t shift = static_cast<int64_t>(pad.size());
    for (ryxsound::Message& m : messages) {
        m.start = std::min(std::max<int64_t>(m.start - shift, 0), total);
        m.end = std::min(std::max<int64_t>(m.end - shift, m.start), total);
    }
    return messages;
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
            std::printf(
                "%s%8.3f s  %-11s %s  %s  confidence %4.2f  noise %5.1f dB  volume %6.1f dB\n",
                several ? (path + ": ").c_str() : "", static_cast<double>(m.start) / rate,
                ryxsound::planName(m.plan), m.text.c_str(), m.ok ? "ok " : "BAD",
                static_cast<double>(m.confidence), static_cast<double>(m.toneToBandDb),
                static_cast<double>(m.levelDbfs));
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
