#include "payload_commands.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <limits>
#include <memory>

#include "audio_file.h"
#include "hints.h"
#include "ryxsound/ryxsound.hpp"
#include "tool_support.h"

namespace ryxcli {
namespace {

constexpr char kStdio[] = "-";

struct CloseFile {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, CloseFile>;

std::string causeOf(int error) {
    return std::strerror(error);
}

// The bytes send sends and where they came from: --text, PATH or standard input. At most one
// byte more than a payload holds is read, so a large file is refused without reading it whole.
std::vector<uint8_t> payloadBytes(const CommandLine& line, std::string& where) {
    if (line.text) {
        where = "--text";
        return std::vector<uint8_t>(line.text->begin(), line.text->end());
    }
    const std::string& path = line.operands[0];
    const bool standardInput = path == kStdio;
    where = standardInput ? "standard input" : path;
    File opened;
    if (!standardInput) {
        opened.reset(std::fopen(path.c_str(), "rb"));
        if (!opened) throw BadInput(where + ": cannot read (" + causeOf(errno) + ")");
    }
    std::FILE* in = standardInput ? stdin : opened.get();
    std::vector<uint8_t> data(ryxsound::kMaxPayloadBytes + 1);
    const size_t got = std::fread(data.data(), 1, data.size(), in);
    if (std::ferror(in)) throw BadInput(where + ": cannot read (" + causeOf(errno) + ")");
    if (got > ryxsound::kMaxPayloadBytes) {
        throw BadInput(where + ": more than " + std::to_string(ryxsound::kMaxPayloadBytes) +
                       " bytes: a payload holds 1 to " +
                       std::to_string(ryxsound::kMaxPayloadBytes) + " bytes");
    }
    data.resize(got);
    return data;
}

// The number of bytes of the UTF-8 character starting at text[at] when it is a shown one (valid,
// shortest form, no surrogate, no control character but tab, line feed and carriage return, which
// the shown string escapes), else 0.
size_t printableCharacter(const std::vector<uint8_t>& text, size_t at) {
    const uint8_t lead = text[at];
    if (lead < 0x80) {
        const bool whitespace = lead == '\t' || lead == '\n' || lead == '\r';
        return (lead >= 0x20 && lead != 0x7F) || whitespace ? 1 : 0;
    }
    size_t length = 0;
    uint32_t code = 0;
    if ((lead & 0xE0) == 0xC0) {
        length = 2;
        code = lead & 0x1Fu;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3;
        code = lead & 0x0Fu;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4;
        code = lead & 0x07u;
    } else {
        return 0;
    }
    if (text.size() - at < length) return 0;
    for (size_t k = 1; k < length; ++k) {
        if ((text[at + k] & 0xC0) != 0x80) return 0;
        code = code << 6 | (text[at + k] & 0x3Fu);
    }
    static constexpr uint32_t kShortest[] = {0, 0, 0x80, 0x800, 0x10000};
    const bool valid =
        code >= kShortest[length] && code <= 0x10FFFF && (code < 0xD800 || code > 0xDFFF);
    const bool control = code >= 0x80 && code <= 0x9F;
    return valid && !control ? length : 0;
}

// "frames  1 heard,  1 needed,  2 sent": a payload is whole once the needed count is heard, however
// many were sent.
std::string framesHeard(int heard, int needed, int sent) {
    char text[64];
    std::snprintf(text, sizeof text, "frames %2d heard, %2d needed, %2d sent", heard, needed, sent);
    return text;
}

// The bytes in standard base 64, padded with '='.
std::string base64(const std::vector<uint8_t>& data) {
    static constexpr char kDigits[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (size_t at = 0; at < data.size(); at += 3) {
        const size_t left = data.size() - at;
        const uint32_t group = uint32_t{data[at]} << 16 |
                               (left > 1 ? uint32_t{data[at + 1]} << 8 : 0u) |
                               (left > 2 ? uint32_t{data[at + 2]} : 0u);
        out += kDigits[group >> 18 & 63];
        out += kDigits[group >> 12 & 63];
        out += left > 1 ? kDigits[group >> 6 & 63] : '=';
        out += left > 2 ? kDigits[group & 63] : '=';
    }
    return out;
}

// "   1.234 s  audible      robust   140 bytes  ok   frames  3 heard,  3 needed,  4 sent
// confidence 0.98  \"...\"" (one line), the start in the file's seconds.
std::string payloadLine(const ryxsound::Payload& p, int rate) {
    int planWidth = 0;
    for (ryxsound::Plan plan : {ryxsound::Plan::Audible, ryxsound::Plan::NonAudible,
                                ryxsound::Plan::Compression, ryxsound::Plan::Custom}) {
        planWidth = std::max(planWidth, static_cast<int>(std::strlen(ryxsound::planName(plan))));
    }
    int profileWidth = 0;
    for (ryxsound::Profile profile : {ryxsound::Profile::Fast, ryxsound::Profile::Robust}) {
        profileWidth =
            std::max(profileWidth, static_cast<int>(std::strlen(ryxsound::profileName(profile))));
    }
    char head[256];
    std::snprintf(head, sizeof head, "%8.3f s  %-*s  %-*s  %4zu bytes  %s  %s  confidence %4.2f  ",
                  static_cast<double>(p.start) / rate, planWidth, ryxsound::planName(p.plan),
                  profileWidth, ryxsound::profileName(p.profile), p.size, p.ok ? "ok " : "BAD",
                  framesHeard(p.framesHeard, p.framesNeeded, p.framesTotal).c_str(),
                  static_cast<double>(p.confidence));
    return head + (p.ok ? shownPayload(p.data) : std::string("-"));
}

// One payload as a line of JSON, under the Python tool's names; "text" only when it is shown.
std::string payloadJson(const std::string& path, const ryxsound::Payload& p, int rate) {
    const double seconds = rate;
    std::string json = "{\"file\": " + jsonString(path) + ", \"ok\": " + (p.ok ? "true" : "false") +
                       ", \"profile\": " + jsonString(ryxsound::profileName(p.profile)) +
                       ", \"mode\": " + jsonString(ryxsound::planName(p.plan)) +
                       ", \"size\": " + std::to_string(p.size) +
                       ", \"start\": " + std::to_string(p.start) +
                       ", \"end\": " + std::to_string(p.end) +
                       ", \"start_seconds\": " + jsonNumber(p.start / seconds, 4) +
                       ", \"end_seconds\": " + jsonNumber(p.end / seconds, 4) +
                       ", \"frames_heard\": " + std::to_string(p.framesHeard) +
                       ", \"frames_total\": " + std::to_string(p.framesTotal) +
                       ", \"frames_needed\": " + std::to_string(p.framesNeeded) +
                       ", \"confidence\": " + jsonNumber(p.confidence, 4) +
                       ", \"tone_to_band_db\": " + jsonNumber(p.toneToBandDb, 2) +
                       ", \"level_dbfs\": " + jsonNumber(p.levelDbfs, 2) + ", \"data_base64\": \"" +
                       base64(p.data) + "\"";
    const std::string shown = p.ok ? shownPayload(p.data) : std::string("-");
    if (shown != "-") json += ", \"text\": " + shown;
    return json + "}";
}

struct FilePayloads {
    std::vector<ryxsound::Payload> payloads;  // offsets into the file's samples
    int rate = 0;                             // the file's, Hz
    std::string hint;  // with no payload: hintFor's, for the "no payload found" line
};

// Every payload in one file. Throws BadInput, with hintFor's hint, when the file's rate cannot
// hold the plan asked for.
FilePayloads receiveFile(const std::string& path, const CommandLine& line) {
    AudioReader reader(path);
    FilePayloads result;
    result.rate = reader.sampleRate();
    warnIfCutOff(reader, path);
    const Band band =
        bandOf(line, result.rate == 22050 ? ryxsound::Mode::Audible : ryxsound::Mode::All);
    float runRate = 0.0f;
    try {
        runRate = receiveRate(band, result.rate, line.resample, path, true);
    } catch (const BadInput& e) {
        throw BadInput(e.what() + hintFor(reader, line, band, Kind::Payload));
    }
    result.payloads = decodePayloads(reader, band, runRate, std::numeric_limits<int64_t>::max());
    if (result.payloads.empty()) result.hint = hintFor(reader, line, band, Kind::Payload);
    return result;
}

// The folder -o names, created when missing; throws BadInput when it cannot be or is not
// writable.
void prepareFolder(const std::string& folder) {
    struct stat st{};
    if (stat(folder.c_str(), &st) == 0 && !S_ISDIR(st.st_mode)) {
        throw BadInput(folder + ": cannot create the folder (" + causeOf(EEXIST) + ")");
    }
    std::error_code failed;
    std::filesystem::create_directories(folder, failed);
    if (failed) throw BadInput(folder + ": cannot create the folder (" + failed.message() + ")");
    if (access(folder.c_str(), W_OK) != 0) throw BadInput(folder + ": permission denied");
}

// Writes the intact payloads of the input `path` as FOLDER/<stem>-<n>.bin, n from 1, each named
// on stderr ("ryxsound-cli: wrote received/notes-1.bin: 140 bytes").
void savePayloads(const std::string& folder, const std::string& path,
                  const std::vector<ryxsound::Payload>& payloads) {
    const std::string stem =
        path == kStdio ? std::string("stdin") : std::filesystem::path(path).stem().string();
    int n = 0;
    for (const ryxsound::Payload& p : payloads) {
        if (!p.ok) continue;
        const std::string target =
            (std::filesystem::path(folder) / (stem + "-" + std::to_string(++n) + ".bin")).string();
        File out(std::fopen(target.c_str(), "wb"));
        if (!out) throw BadInput(target + ": cannot write (" + causeOf(errno) + ")");
        const bool written =
            std::fwrite(p.data.data(), 1, p.data.size(), out.get()) == p.data.size();
        const int cause = errno;
        if (std::fclose(out.release()) != 0 || !written) {
            throw BadInput(target + ": cannot write (" + causeOf(written ? errno : cause) + ")");
        }
        say("", "wrote " + target + ": " + std::to_string(p.data.size()) + " bytes");
    }
}

}  // namespace

std::string shownPayload(const std::vector<uint8_t>& data) {
    for (size_t at = 0; at < data.size();) {
        const size_t length = printableCharacter(data, at);
        if (length == 0) return "-";
        at += length;
    }
    return jsonString(std::string(data.begin(), data.end()));
}

int sendCommand(const CommandLine& line) {
    const Band band = bandOf(line, ryxsound::Mode::Audible);
    const int rate = line.sampleRate.value_or(44100);
    const float sendRate = payloadRateOf(band, rate, &line.profile, "");
    checkWritable(line.output);
    std::string where;
    const std::vector<uint8_t> data = payloadBytes(line, where);
    std::vector<float> made;
    ryxsound::PayloadShape shape{};
    try {
        shape = ryxsound::payloadShape(data.size(), line.profile, band.mode, sendRate, band.custom);
    } catch (const std::invalid_argument& e) {
        throw BadInput(where + ": " + e.what());
    }
    try {
        // The shape took everything encodePayload checks but the repeat count.
        made = ryxsound::encodePayload(data.data(), data.size(), line.profile, band.mode, sendRate,
                                       band.custom, line.repeat);
    } catch (const std::invalid_argument& e) {
        throw BadInput(std::string("--repeat: ") + e.what());
    }
    const std::vector<float> audio = withLeadSilence(made, sendRate, rate);
    writeAudio(line.output, audio, rate);
    const std::string copies = line.repeat > 1 ? ", " + std::to_string(line.repeat) + "x" : "";
    std::printf("wrote %s: payload of %zu bytes (%s, %d frames%s), %.2f s at %d Hz, %s, PCM_16\n",
                line.output.c_str(), data.size(), ryxsound::profileName(line.profile),
                shape.dataFrames + shape.parityFrames, copies.c_str(),
                static_cast<double>(audio.size()) / rate, rate, bandName(band).c_str());
    return kExitOk;
}

int receiveCommand(const CommandLine& line) {
    if (std::count(line.operands.begin(), line.operands.end(), kStdio) > 1) {
        throw BadInput("standard input (-) can be read only once");
    }
    if (!line.output.empty()) prepareFolder(line.output);
    const std::vector<std::string> prefixes = filePrefixes(line.operands);
    bool bad = false;
    bool foundOk = false;
    for (size_t i = 0; i < line.operands.size(); ++i) {
        const std::string& path = line.operands[i];
        FilePayloads result;
        try {
            result = receiveFile(path, line);
        } catch (const AudioFileError& e) {
            error(e.what());
            bad = true;
            continue;
        } catch (const BadInput& e) {
            error(e.what());
            bad = true;
            continue;
        }
        for (const ryxsound::Payload& p : result.payloads) {
            foundOk = foundOk || p.ok;
            const std::string shown = line.json ? payloadJson(path, p, result.rate)
                                                : prefixes[i] + payloadLine(p, result.rate);
            std::printf("%s\n", shown.c_str());
        }
        if (result.payloads.empty()) say("", path + ": no payload found" + result.hint);
        if (!line.output.empty()) savePayloads(line.output, path, result.payloads);
    }
    std::fflush(stdout);
    if (bad) return kExitBadInput;
    return foundOk ? kExitOk : kExitNothing;
}

}  // namespace ryxcli
