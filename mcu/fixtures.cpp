// Writes what the firmware test holds in flash, made on the desktop with the desktop build: per
// preset of the streaming interface, three recordings of one transmission each (clean, white
// noise at -15 dB, four espeak-ng talkers at -10 dB, each signal-to-noise ratio over the whole
// band and the transmission's duration), as 16-bit samples the way a microphone delivers them;
// the texts the desktop robust receiver hears in them; the desktop encoder's samples of one text;
// and the desktop payload encoder's samples of one payload of kPayloadBytes (robust in the audible
// preset, fast in the phone preset), which the desktop payload receiver must decode. The firmware
// decodes and encodes the same and compares.
//
//   mcu_fixtures <folder>           (make mcu runs it; needs espeak-ng)
//   mcu_fixtures --heard <folder>   after the firmware test (make mcu-test): the desktop payload
//                                   receiver must decode the emulator's payload samples,
//                                   <folder>/<preset>_payload_emulator.f32, into the payload
//
// Files: <preset>_<channel>.s16 (little-endian int16), <preset>_encoded.f32, <preset>_payload.f32,
// fixtures.h (their lengths, the expected texts, the payload's bytes), fixtures.stamp. The audio is
// the same on every run: noise from std::mt19937 through a Box-Muller transform written out here.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "decoder/robust_receiver.h"
#include "encoder/multi_tone_encoder.h"
#include "payload/payload_encoder.h"
#include "payload/payload_receiver.h"
#include "ryxsound/ryx_stream.h"

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr float kLeadSeconds = 0.5f;  // noise before the transmission
constexpr float kTailSeconds = 0.6f;  // and after it: the decision comes a symbol after its end
constexpr float kPeakLevel = 0.9f;    // the recording's loudest sample, as a capture level
constexpr int kFeedBlock = 256;       // samples per feed, as the firmware feeds them
const char* const kEncodedText = "hello0123";
constexpr int kPayloadBytes = 100;

struct Channel {
    const char* name;
    const char* text;  // sent in the recording
    int kind;          // 0 clean, 1 white noise, 2 babble
    float snrDb;
};
const Channel kChannels[] = {
    {"clean", "emul8tor1", 0, 0.0f},
    {"white", "n0ise15db", 1, -15.0f},
    {"babble", "babb1e0ut", 2, -10.0f},
};

struct Preset {
    const char* name;
    int number;  // RYX_STREAM_...
    RYX::Plan plan;
    RYX::Tuning tuning;
    int payloadProfile;  // RYX_STREAM_PAYLOAD_...
};

std::vector<float> encode(const Preset& p, const char* text) {
    RYX::MultiToneEncoder encoder(p.plan, p.tuning.sampleRate, 1 << 20, p.tuning.windowSize);
    RYX::SynthesisSettings settings;
    settings.custom = p.tuning.custom;
    const int n = encoder.encode(text, 0, 9, nullptr, 0, settings);
    return std::vector<float>(encoder.samples(), encoder.samples() + n);
}

RYX::PayloadProfile profileOf(int number) {
    return number == RYX_STREAM_PAYLOAD_FAST ? RYX::PayloadProfile::Fast
                                             : RYX::PayloadProfile::Robust;
}

std::vector<float> encodePayload(const Preset& p, const std::vector<uint8_t>& data) {
    RYX::PayloadEncoder encoder(profileOf(p.payloadProfile), p.plan, p.tuning.custom,
                                p.tuning.sampleRate);
    encoder.prepare(data.data(), static_cast<int>(data.size()));
    std::vector<float> out(static_cast<size_t>(encoder.totalSamples()));
    encoder.render(out.data(), static_cast<int>(out.size()));
    return out;
}

// Whether the desktop payload receiver decodes `samples` (with half a second of silence either
// side) into `data`.
bool payloadHeard(const Preset& p, const std::vector<float>& samples,
                  const std::vector<uint8_t>& data) {
    const size_t quiet = static_cast<size_t>(p.tuning.sampleRate / 2);
    std::vector<float> audio(quiet, 0.0f);
    audio.insert(audio.end(), samples.begin(), samples.end());
    audio.resize(audio.size() + quiet, 0.0f);
    RYX::PayloadReceiver receiver({p.plan}, p.tuning.custom, p.tuning.sampleRate);
    std::vector<RYX::ReceivedPayload> heard;
    receiver.feed(audio.data(), audio.size(), heard);
    receiver.flush(heard);
    return heard.size() == 1 && heard[0].ok && heard[0].data == data;
}

// espeak-ng's 16-bit mono output at 22050 Hz, as floats.
std::vector<float> speak(const std::string& voice, int pitch, int speed, const std::string& words) {
    const std::string command = "espeak-ng -v " + voice + " -p " + std::to_string(pitch) + " -s " +
                                std::to_string(speed) + " --stdout \"" + words + "\"";
    FILE* pipe = popen(command.c_str(), "r");
    std::vector<float> out;
    if (pipe == nullptr) return out;
    unsigned char header[44];
    if (std::fread(header, 1, sizeof header, pipe) == sizeof header) {
        int16_t v;
        while (std::fread(&v, sizeof v, 1, pipe) == 1) out.push_back(v / 32768.0f);
    }
    pclose(pipe);
    return out;
}

// Four talkers, each looped from its own offset, at `rate` (linear interpolation from 22050 Hz).
std::vector<float> babble(size_t length, float rate) {
    const char* const words[] = {
        "the quick brown fox jumps over the lazy dog while the radio plays in the kitchen",
        "please call me back tomorrow morning about the meeting at the station",
        "seven hundred and twelve people came to the concert in the old theatre last night",
        "would you like a cup of tea or coffee before we start the long drive home",
    };
    const int pitch[] = {30, 70, 45, 85};
    const int speed[] = {150, 175, 160, 185};
    std::vector<float> mix(length, 0.0f);
    for (int t = 0; t < 4; ++t) {
        const std::vector<float> talker = speak("en", pitch[t], speed[t], words[t]);
        if (talker.empty()) return {};
        const double step = 22050.0 / rate;
        double at = 3001.0 * t;
        for (size_t i = 0; i < length; ++i, at += step) {
            const double wrapped = std::fmod(at, static_cast<double>(talker.size() - 1));
            const size_t k = static_cast<size_t>(wrapped);
            const double f = wrapped - static_cast<double>(k);
            mix[i] += static_cast<float>((1.0 - f) * talker[k] + f * talker[k + 1]);
        }
    }
    return mix;
}

std::vector<float> whiteNoise(size_t length, uint32_t seed) {
    std::mt19937 random(seed);
    std::vector<float> out(length);
    for (size_t i = 0; i < length; ++i) {
        const double u1 = (random() + 1.0) / 4294967297.0;
        const double u2 = random() / 4294967296.0;
        out[i] = static_cast<float>(std::sqrt(-2.0 * std::log(u1)) * std::cos(2.0 * kPi * u2));
    }
    return out;
}

double meanSquare(const float* x, size_t n) {
    double sum = 0.0;
    for (size_t i = 0; i < n; ++i) sum += static_cast<double>(x[i]) * x[i];
    return n > 0 ? sum / static_cast<double>(n) : 0.0;
}

bool writeFile(const std::string& path, const void* data, size_t bytes) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) return false;
    const bool ok = std::fwrite(data, 1, bytes, f) == bytes;
    return std::fclose(f) == 0 && ok;
}

// The texts the desktop robust receiver hears in `audio`, fed as the firmware feeds it.
std::vector<std::string> hear(const Preset& p, const std::vector<float>& audio) {
    RYX::RobustReceiver receiver({p.plan}, p.tuning);
    std::vector<RYX::ReceivedMessage> messages;
    for (size_t i = 0; i < audio.size(); i += kFeedBlock) {
        const size_t n = audio.size() - i < kFeedBlock ? audio.size() - i : kFeedBlock;
        receiver.feed(audio.data() + i, n, messages);
    }
    std::vector<std::string> texts;
    for (const auto& m : messages) texts.emplace_back(m.text.data());
    return texts;
}

const Preset kPresets[] = {
    {"audible",
     RYX_STREAM_AUDIBLE_22050,
     RYX::Plan::Audible,
     {22050.0f, 1024, {}},
     RYX_STREAM_PAYLOAD_ROBUST},
    {"phone",
     RYX_STREAM_PHONE_16000,
     RYX::Plan::Custom,
     {16000.0f, 2048, RYX::kPhoneBand},
     RYX_STREAM_PAYLOAD_FAST},
};

std::vector<uint8_t> payloadBytes() {
    std::vector<uint8_t> payload(kPayloadBytes);
    for (size_t i = 0; i < payload.size(); ++i) payload[i] = static_cast<uint8_t>(i * 73 + 41);
    return payload;
}

// The --heard check: one line per preset in the firmware's form; 0 when both are decoded.
int checkEmulatorPayloads(const std::string& folder) {
    const std::vector<uint8_t> payload = payloadBytes();
    bool all = true;
    for (const Preset& p : kPresets) {
        const std::string path = folder + "/" + p.name + "_payload_emulator.f32";
        std::vector<float> samples;
        if (FILE* f = std::fopen(path.c_str(), "rb")) {
            float v;
            while (std::fread(&v, sizeof v, 1, f) == 1) samples.push_back(v);
            std::fclose(f);
        }
        const bool heard = !samples.empty() && payloadHeard(p, samples, payload);
        std::printf("ryx-mcu: payload_heard %s samples %zu desktop_payload_receiver %s\n", p.name,
                    samples.size(), heard ? "same" : "DIFFERENT");
        all = all && heard;
    }
    return all ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "--heard") return checkEmulatorPayloads(argv[2]);
    if (argc != 2) {
        std::fprintf(stderr, "usage: mcu_fixtures [--heard] <folder>\n");
        return 2;
    }
    const std::string folder = argv[1];
    const std::vector<uint8_t> payload = payloadBytes();
    std::string bytes;
    for (uint8_t b : payload) bytes += std::to_string(b) + ", ";
    std::string header =
        "/* Written by mcu_fixtures: the firmware test's recordings and the desktop's results. "
        "*/\n";
    for (const Preset& p : kPresets) {
        if (RYX_StreamSampleRate(p.number) != static_cast<int>(p.tuning.sampleRate)) {
            std::fprintf(stderr, "preset %s: rate differs from the streaming interface's\n",
                         p.name);
            return 1;
        }
        const std::vector<float> encoded = encode(p, kEncodedText);
        if (!writeFile(folder + "/" + p.name + "_encoded.f32", encoded.data(),
                       encoded.size() * sizeof(float))) {
            std::fprintf(stderr, "cannot write into %s\n", folder.c_str());
            return 1;
        }
        header += "#define " + std::string(p.name) + "_encoded_length " +
                  std::to_string(encoded.size()) + "\n";
        const std::vector<float> payloadSamples = encodePayload(p, payload);
        if (!payloadHeard(p, payloadSamples, payload)) {
            std::fprintf(stderr, "preset %s: the payload receiver misses the payload\n", p.name);
            return 1;
        }
        if (!writeFile(folder + "/" + p.name + "_payload.f32", payloadSamples.data(),
                       payloadSamples.size() * sizeof(float))) {
            return 1;
        }
        header += "#define " + std::string(p.name) + "_payload_length " +
                  std::to_string(payloadSamples.size()) + "\n";
        header += "#define " + std::string(p.name) + "_payload_profile " +
                  std::to_string(p.payloadProfile) + "\n";
        int c = 0;
        for (const Channel& ch : kChannels) {
            const std::vector<float> sent = encode(p, ch.text);
            const size_t lead = static_cast<size_t>(kLeadSeconds * p.tuning.sampleRate);
            const size_t length =
                lead + sent.size() + static_cast<size_t>(kTailSeconds * p.tuning.sampleRate);
            std::vector<float> audio(length, 0.0f);
            for (size_t i = 0; i < sent.size(); ++i) audio[lead + i] = sent[i];
            if (ch.kind != 0) {
                std::vector<float> noise =
                    ch.kind == 1 ? whiteNoise(length, 20260u + static_cast<uint32_t>(c))
                                 : babble(length, p.tuning.sampleRate);
                if (noise.empty()) {
                    std::fprintf(stderr, "espeak-ng gave no speech for the babble\n");
                    return 1;
                }
                const double scale = std::sqrt(meanSquare(sent.data(), sent.size()) /
                                               std::pow(10.0, ch.snrDb / 10.0) /
                                               meanSquare(noise.data(), noise.size()));
                for (size_t i = 0; i < length; ++i)
                    audio[i] += static_cast<float>(noise[i] * scale);
            }
            float peak = 0.0f;
            for (float v : audio) peak = std::fmax(peak, std::fabs(v));
            std::vector<int16_t> pcm(length);
            std::vector<float> captured(length);
            for (size_t i = 0; i < length; ++i) {
                const long v = std::lround(audio[i] * (kPeakLevel / peak) * 32767.0f);
                pcm[i] = static_cast<int16_t>(v);
                captured[i] = pcm[i] / 32768.0f;
            }
            const std::string stem = std::string(p.name) + "_" + ch.name;
            if (!writeFile(folder + "/" + stem + ".s16", pcm.data(), pcm.size() * 2)) return 1;
            std::string texts;
            for (const std::string& t : hear(p, captured)) texts += "\"" + t + "\", ";
            header += "#define " + stem + "_length " + std::to_string(length) + "\n";
            header += "#define " + stem + "_sent \"" + ch.text + "\"\n";
            header += "#define " + stem + "_desktop {" + texts + "0}\n";
            std::printf("%-8s %-7s sent %s, desktop robust receiver hears: %s\n", p.name, ch.name,
                        ch.text, texts.empty() ? "nothing" : texts.c_str());
            ++c;
        }
    }
    header += "#define encoded_text \"" + std::string(kEncodedText) + "\"\n";
    header += "#define payload_bytes {" + bytes + "}\n";
    if (!writeFile(folder + "/fixtures.h", header.data(), header.size())) return 1;
    return writeFile(folder + "/fixtures.stamp", "", 0) ? 0 : 1;
}
