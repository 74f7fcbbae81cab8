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

// The number of bytes of the UTF-8 character starting at text[at] when it is a printable one
// (valid, shortest form, no surrogate, no control character), else 0.
size_t printableCharacter(const std::vector<uint8_t>& text, size_t at) {
    const uint8_t lead = text[at];
    if (lead < 0x80) return lead >= 0x20 && lead != 0x7F ? 1 : 0;
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

// "   1.234 s  audible      robust   140 bytes  ok   frames 4/4  confidence 0.98  \"...\"",
// the start in the file's seconds.
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
    std::snprintf(head, sizeof head,
                  "%8.3f s  %-*s  %-*s  %4zu bytes  %s  frames %d/%d  confidence %4.2f  ",
                  static_cast<double>(p.start) / rate, planWidth, ryxsound::planName(p.plan),
                  profileWidth, ryxsound::profileName(p.profile), p.size, p.ok ? "ok " : "BAD",
                  p.framesHeard, p.framesTotal, static_cast<double>(p.confidence));
    return head + (p.ok ? shownPayload(p.data) : std::string("-"));
}

struct FilePayloads {
    std::vector<ryxsound::Payload> payloads;  // offsets into the file's samples
    int rate = 0;                             // the file's, Hz
};

// Every payload in one file. Throws BadInput when the file's rate cannot hold the plan asked for.
FilePayloads receiveFile(const std::string& path, const CommandLine& line) {
    AudioReader reader(path);
    FilePayloads result;
    result.rate = reader.sampleRate();
    warnIfCutOff(reader, path);
    const Band band =
        bandOf(line, result.rate == 22050 ? ryxsound::Mode::Audible : ryxsound::Mode::All);
    const float runRate = receiveRate(band, result.rate, line.resample, path);
    ryxsound::PayloadDecoder decoder(band.mode, runRate, band.custom);
    std::vector<ryxsound::Payload>& payloads = result.payloads;
    const Resampler::Sink feed = [&decoder, &payloads](const float* samples, size_t count) {
        decoder.feed(samples, count, payloads);
    };
    const int64_t total = streamAudio(reader, runRate, std::numeric_limits<int64_t>::max(), feed);
    decoder.flush(payloads);
    for (ryxsound::Payload& p : payloads) {
        p.start = fileOffset(p.start, runRate, result.rate, total);
        p.end = std::max(fileOffset(p.end, runRate, result.rate, total), p.start);
    }
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

// Writes the intact payloads of the input `path` as FOLDER/<stem>-<n>.bin, n from 1.
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
    }
}

}  // namespace

std::string shownPayload(const std::vector<uint8_t>& data) {
    std::string shown = "\"";
    for (size_t at = 0; at < data.size();) {
        const size_t length = printableCharacter(data, at);
        if (length == 0) return "-";
        if (data[at] == '"' || data[at] == '\\') shown += '\\';
        shown.append(data.begin() + static_cast<std::ptrdiff_t>(at),
                     data.begin() + static_cast<std::ptrdiff_t>(at + length));
        at += length;
    }
    return shown + "\"";
}

int sendCommand(const CommandLine& line) {
    const Band band = bandOf(line, ryxsound::Mode::Audible);
    const int rate = line.sampleRate.value_or(44100);
    const float sendRate = planRateOf(band, rate, true, "");
    checkWritable(line.output);
    std::string where;
    const std::vector<uint8_t> data = payloadBytes(line, where);
    std::vector<float> made;
    ryxsound::PayloadShape shape{};
    try {
        made = ryxsound::encodePayload(data.data(), data.size(), line.profile, band.mode, sendRate,
                                       band.custom, line.repeat);
        shape = ryxsound::payloadShape(data.size(), line.profile, band.mode, sendRate, band.custom);
    } catch (const std::invalid_argument& e) {
        throw BadInput(where + ": " + e.what());
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
    const bool several = line.operands.size() > 1;
    bool bad = false;
    bool foundOk = false;
    for (const std::string& path : line.operands) {
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
            std::printf("%s%s\n", several ? (path + ": ").c_str() : "",
                        payloadLine(p, result.rate).c_str());
        }
        if (result.payloads.empty()) say("", path + ": no payload found");
        if (!line.output.empty()) savePayloads(line.output, path, result.payloads);
    }
    std::fflush(stdout);
    if (bad) return kExitBadInput;
    return foundOk ? kExitOk : kExitNothing;
}

}  // namespace ryxcli
