// ryxsound-cli: encode a text to an audio file, find messages in audio files; send and receive
// payloads (payload_commands.h).
//
// Exit status as the Python tool's: 0 success (decode: at least one message whose checksum
// matched; receive: at least one intact payload), 1 nothing found, 2 unreadable input or bad
// usage, 3 an unexpected failure.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <exception>
#include <limits>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "audio_file.h"
#include "command_line.h"
#include "payload_commands.h"
#include "ryxsound/ryxsound.hpp"
#include "tool_support.h"

namespace ryxcli {
namespace {

constexpr double kHintSeconds = 120.0;  // audio otherPlanHint decodes with the other plans
constexpr int kHintTexts = 3;           // texts a hint names at most

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
    const std::vector<float> audio = withLeadSilence(one, encodeRate, rate);
    writeAudio(line.output, audio, rate);
    std::printf("wrote %s: 1 message, %.2f s at %d Hz, %s, PCM_16\n", line.output.c_str(),
                static_cast<double>(audio.size()) / rate, rate, bandName(band).c_str());
    return kExitOk;
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
    const int64_t total = streamAudio(reader, runRate, maxFrames, feed);
    decoder.flush(messages);
    // Offsets at the plan rate back to the file's samples.
    const auto inFile = [&](int64_t at) {
        return fileOffset(at, runRate, reader.sampleRate(), total);
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
    warnIfCutOff(reader, path);
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
        if (line.command == "encode") return encodeCommand(line);
        if (line.command == "decode") return decodeCommand(line);
        return line.command == "send" ? sendCommand(line) : receiveCommand(line);
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
