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
#include "hints.h"
#include "payload_commands.h"
#include "ryxsound/ryxsound.hpp"
#include "tool_support.h"

namespace ryxcli {
namespace {

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

struct FileResult {
    std::vector<ryxsound::Message> messages;  // offsets into the file's samples
    int rate = 0;                             // the file's, Hz
    std::string hint;  // with no message: hintFor's, for the "no message found" line
};

// Every message in one file. Warns when a WAV file holds less than its header declares; throws
// BadInput, with hintFor's hint, when the file's rate cannot hold the plan asked for.
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
        throw BadInput(e.what() + hintFor(reader, line, band, Kind::Text));
    }
    result.messages =
        decodeTexts(reader, band, runRate, line.receiver, std::numeric_limits<int64_t>::max());
    if (result.messages.empty()) result.hint = hintFor(reader, line, band, Kind::Text);
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

// One message as a line of JSON, under the Python tool's names.
std::string messageJson(const std::string& path, const ryxsound::Message& m, int rate) {
    std::string corrected;
    for (int symbol : m.corrected) {
        corrected += (corrected.empty() ? "" : ", ") + std::to_string(symbol + 1);
    }
    const double seconds = rate;
    return "{\"file\": " + jsonString(path) + ", \"text\": " + jsonString(m.text) +
           ", \"ok\": " + (m.ok ? "true" : "false") +
           ", \"mode\": " + jsonString(ryxsound::planName(m.plan)) +
           ", \"start\": " + std::to_string(m.start) + ", \"end\": " + std::to_string(m.end) +
           ", \"start_seconds\": " + jsonNumber(m.start / seconds, 4) +
           ", \"end_seconds\": " + jsonNumber(m.end / seconds, 4) +
           ", \"confidence\": " + jsonNumber(m.confidence, 4) +
           ", \"tone_to_band_db\": " + jsonNumber(m.toneToBandDb, 2) +
           ", \"level_dbfs\": " + jsonNumber(m.levelDbfs, 2) +
           ", \"clean_share\": " + jsonNumber(m.cleanShare, 4) + ", \"corrected\": [" + corrected +
           "]}";
}

int decodeCommand(const CommandLine& line) {
    const std::vector<std::string> prefixes = filePrefixes(line.operands);
    bool bad = false;
    bool foundOk = false;
    for (size_t i = 0; i < line.operands.size(); ++i) {
        const std::string& path = line.operands[i];
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
            const std::string shown = line.json ? messageJson(path, m, result.rate)
                                                : prefixes[i] + messageLine(m, result.rate);
            std::printf("%s\n", shown.c_str());
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
