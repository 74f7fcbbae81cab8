// The receivers' decisions, printed: both receivers of ryxsound::Decoder and the flat API's
// decoder, every mode at 44100, 48000 and 22050 Hz, over a fixed set of generated audio (clean
// transmissions, white noise at several levels, transmissions cut short, cut at the start or
// silenced for some symbols, low-passed, back to back, noise alone). Every field of every message
// is printed exactly (%.9g for floats), so the output of two builds of the same compiler shows
// whether a change altered a single decision:
//
//   build/test/receiver_trace > before.txt   ... change ...   receiver_trace > after.txt
//   diff before.txt after.txt
//
// Only the public interfaces are used, so the program builds unchanged across core refactorings.
// Noise comes from std::mt19937 through a Box-Muller transform written out here, not from a
// standard-library distribution, so the audio is the same with every library.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <random>
#include <string>
#include <vector>

#include "ryxsound/ryx_api.h"
#include "ryxsound/ryxsound.hpp"

namespace {

using Audio = std::vector<float>;
constexpr double kPi = 3.14159265358979323846;

// Gaussian noise of standard deviation sigma, reproducible everywhere.
void addNoise(Audio& audio, double sigma, uint32_t seed) {
    std::mt19937 rng(seed);
    auto uniform = [&rng] { return (static_cast<double>(rng()) + 0.5) / 4294967296.0; };
    for (size_t i = 0; i < audio.size(); i += 2) {
        const double r = std::sqrt(-2.0 * std::log(uniform()));
        const double a = 2.0 * kPi * uniform();
        audio[i] = static_cast<float>(audio[i] + sigma * r * std::cos(a));
        if (i + 1 < audio.size()) {
            audio[i + 1] = static_cast<float>(audio[i + 1] + sigma * r * std::sin(a));
        }
    }
}

double meanPower(const Audio& audio) {
    double sum = 0.0;
    for (float v : audio) sum += static_cast<double>(v) * v;
    return audio.empty() ? 0.0 : sum / static_cast<double>(audio.size());
}

Audio padded(const Audio& audio, float rate, double lead, double tail) {
    Audio out(static_cast<size_t>(lead * rate), 0.0f);
    out.insert(out.end(), audio.begin(), audio.end());
    out.resize(out.size() + static_cast<size_t>(tail * rate), 0.0f);
    return out;
}

// Windowed-sinc low-pass (201 taps, Blackman), as a lossy codec's band limit.
Audio lowPassed(const Audio& in, float rate, double cutoffHz) {
    const int half = 100;
    std::vector<double> taps(2 * half + 1);
    const double fc = cutoffHz / rate;
    for (int k = -half; k <= half; ++k) {
        const double sinc = k == 0 ? 2.0 * fc : std::sin(2.0 * kPi * fc * k) / (kPi * k);
        const double x = static_cast<double>(k + half) / (2.0 * half);
        taps[static_cast<size_t>(k + half)] =
            sinc * (0.42 - 0.5 * std::cos(2.0 * kPi * x) + 0.08 * std::cos(4.0 * kPi * x));
    }
    Audio out(in.size(), 0.0f);
    for (size_t n = 0; n < in.size(); ++n) {
        double sum = 0.0;
        for (int k = -half; k <= half; ++k) {
            const auto at = static_cast<int64_t>(n) - k;
            if (at >= 0 && at < static_cast<int64_t>(in.size())) {
                sum += taps[static_cast<size_t>(k + half)] * in[static_cast<size_t>(at)];
            }
        }
        out[n] = static_cast<float>(sum);
    }
    return out;
}

std::string randomText(std::mt19937& rng) {
    const char* alphabet = "0123456789abcdefghijklmnopqrstuv";
    std::string text;
    for (int i = 0; i < 9; ++i) text += alphabet[rng() % 32];
    return text;
}

struct Scenario {
    std::string name;
    Audio audio;
};

ryxsound::Mode sendingMode(ryxsound::Plan plan) {
    switch (plan) {
        case ryxsound::Plan::Audible:
            return ryxsound::Mode::Audible;
        case ryxsound::Plan::NonAudible:
            return ryxsound::Mode::NonAudible;
        case ryxsound::Plan::Compression:
            return ryxsound::Mode::Compression;
        case ryxsound::Plan::Custom:
            return ryxsound::Mode::Custom;
    }
    return ryxsound::Mode::Audible;
}

// The audio sent in `plan` at `rate`: every scenario of one plan.
std::vector<Scenario> scenarios(ryxsound::Plan plan, float rate, ryxsound::CustomBand custom) {
    std::vector<Scenario> out;
    const ryxsound::Mode mode = sendingMode(plan);
    const std::string tag = std::string(ryxsound::planName(plan)) + " ";
    const size_t d = static_cast<size_t>(ryxsound::planInfo(plan, rate, custom).symbolSamples);
    std::mt19937 texts(static_cast<uint32_t>(rate) + static_cast<uint32_t>(plan));
    auto encode = [&](const std::string& text) {
        return ryxsound::encode(text, mode, rate, {}, custom);
    };

    const Audio hello = encode("hello0123");
    out.push_back({tag + "clean hello0123", padded(hello, rate, 0.37, 0.3)});
    // White noise over the whole audio, its power against the transmission's mean power.
    const double snrs[] = {-5.0, -12.0, -16.0, -19.0, -21.0, -23.0, -26.0};
    uint32_t seed = 1000;
    for (double snr : snrs) {
        for (int k = 0; k < 2; ++k) {
            const std::string text = randomText(texts);
            const Audio clean = encode(text);
            Audio a = padded(clean, rate, 0.3, 0.3);
            addNoise(a, std::sqrt(meanPower(clean) / std::pow(10.0, snr / 10.0)), ++seed);
            char name[64];
            std::snprintf(name, sizeof name, "noise %g dB %s", snr, text.c_str());
            out.push_back({tag + name, a});
        }
    }
    // Cut short: the first n symbols only, nothing after (flush finishes).
    for (size_t n : {19u, 15u, 10u}) {
        Audio a = padded(hello, rate, 0.25, 0.0);
        a.resize(a.size() - (20 - n) * d);
        out.push_back({tag + "first " + std::to_string(n) + " symbols", a});
    }
    // Cut at the start: half a symbol, two symbols.
    for (size_t cut : {d / 2, 2 * d}) {
        Audio a(hello.begin() + static_cast<std::ptrdiff_t>(cut), hello.end());
        out.push_back({tag + "start cut by " + std::to_string(cut), padded(a, rate, 0.2, 0.3)});
    }
    // Symbols silenced in the middle (erasures), with a little noise so nothing is exact zero.
    for (size_t gap : {3u, 5u, 8u, 9u}) {
        Audio a = hello;
        std::fill(a.begin() + static_cast<std::ptrdiff_t>(8 * d),
                  a.begin() + static_cast<std::ptrdiff_t>((8 + gap) * d), 0.0f);
        a = padded(a, rate, 0.3, 0.3);
        addNoise(a, 1e-4, static_cast<uint32_t>(77 + gap));
        out.push_back({tag + "symbols 8.." + std::to_string(7 + gap) + " silent", a});
    }
    // Two transmissions back to back in noise.
    {
        const Audio second = encode("second999");
        Audio a = padded(hello, rate, 0.2, 0.0);
        a.insert(a.end(), second.begin(), second.end());
        a = padded(a, rate, 0.0, 0.3);
        addNoise(a, std::sqrt(meanPower(hello) / std::pow(10.0, -10.0 / 10.0)), 4242);
        out.push_back({tag + "back to back -10 dB", a});
    }
    // The audible plan low-passed below its two highest tones.
    if (plan == ryxsound::Plan::Audible) {
        for (uint32_t k = 0; k < 3; ++k) {
            const std::string text = randomText(texts);
            Audio a = padded(encode(text), rate, 0.3, 0.3);
            addNoise(a, 1e-4, 500 + k);
            out.push_back({tag + "low-passed 8200 Hz " + text, lowPassed(a, rate, 8200.0)});
        }
    }
    return out;
}

std::vector<Scenario> noiseOnly(float rate) {
    std::vector<Scenario> out;
    for (double sigma : {0.05, 0.3}) {
        Audio a(static_cast<size_t>(6.0 * rate), 0.0f);
        addNoise(a, sigma, static_cast<uint32_t>(sigma * 1000.0));
        out.push_back({"noise alone sigma " + std::to_string(sigma), a});
    }
    out.push_back({"silence", Audio(static_cast<size_t>(1.0 * rate), 0.0f)});
    return out;
}

void printMessage(const ryxsound::Message& m) {
    std::printf(
        "    msg text=%s ok=%d plan=%d start=%lld end=%lld conf=%.9g tone=%.9g level=%.9g "
        "clean=%.9g corrected=",
        m.text.c_str(), m.ok ? 1 : 0, static_cast<int>(m.plan), static_cast<long long>(m.start),
        static_cast<long long>(m.end), static_cast<double>(m.confidence),
        static_cast<double>(m.toneToBandDb), static_cast<double>(m.levelDbfs),
        static_cast<double>(m.cleanShare));
    for (int i : m.corrected) std::printf("%d,", i);
    std::printf("\n");
}

void runPublic(ryxsound::Mode mode, float rate, ryxsound::CustomBand custom,
               ryxsound::Receiver receiver, const Scenario& s) {
    ryxsound::Decoder decoder(mode, rate, receiver, custom);
    std::vector<ryxsound::Message> messages;
    const size_t chunk = 4096;
    for (size_t at = 0; at < s.audio.size(); at += chunk) {
        decoder.feed(s.audio.data() + at, std::min(chunk, s.audio.size() - at), messages);
    }
    const bool inMessage = decoder.inMessage();
    decoder.flush(messages);
    std::printf("  %s [%s] messages=%zu inMessageBeforeFlush=%d position=%lld\n",
                ryxsound::receiverName(receiver), s.name.c_str(), messages.size(),
                inMessage ? 1 : 0, static_cast<long long>(decoder.position()));
    for (const ryxsound::Message& m : messages) printMessage(m);
}

// The flat API: every event but -1 and symbols as they come, fetched messages with the getters.
void runFlat(int mode, float rate, ryxsound::CustomBand custom, const Scenario& s) {
    Context* ctx = RYX_Create();
    RYX_SetCustomBaseFreq(custom.baseHz, custom.step, nullptr);
    if (RYX_Configure(mode, rate, 1024, ctx) != 0) {
        std::printf("  flat refused\n");
        RYX_Destroy(ctx);
        return;
    }
    std::printf("  flat [%s]", s.name.c_str());
    const int chunk = 1024;
    for (size_t at = 0; at < s.audio.size(); at += chunk) {
        const int n = static_cast<int>(std::min<size_t>(chunk, s.audio.size() - at));
        for (int status = RYX_DecodeAudioBuffer(s.audio.data() + at, n, ctx); status != -1;
             status = RYX_DecodeAudioBuffer(nullptr, 0, ctx)) {
            if (status >= 0) {
                std::printf(" %d", status);
                continue;
            }
            std::printf(" [%d@%zu]", status, at);
            if (status == -3) {
                char text[10] = {};
                const int r = RYX_GetDecodedData(text, ctx);
                std::printf(" fetch=%d text=%s conf=%.9g err=%.9g noise=%.9g vol=%.9g mode=%d", r,
                            text, static_cast<double>(RYX_GetConfidence(ctx)),
                            static_cast<double>(RYX_GetConfidenceError(ctx)),
                            static_cast<double>(RYX_GetConfidenceNoise(ctx)),
                            static_cast<double>(RYX_GetReceivedRyxsVolume(ctx)),
                            RYX_GetDecodedMode(ctx));
            }
        }
    }
    char text[10] = {};
    std::printf(" | fetch after=%d\n", RYX_GetDecodedData(text, ctx));
    RYX_Destroy(ctx);
}

}  // namespace

int main() {
    const ryxsound::Mode modes[] = {ryxsound::Mode::Audible, ryxsound::Mode::NonAudible,
                                    ryxsound::Mode::Compression, ryxsound::Mode::All,
                                    ryxsound::Mode::Custom};
    int runs = 0;
    for (float rate : {44100.0f, 48000.0f, 22050.0f}) {
        // A custom band that fits at every rate: the default one above 22050 Hz.
        const ryxsound::CustomBand custom =
            rate == 22050.0f ? ryxsound::CustomBand{4000.0f, 1} : ryxsound::CustomBand{};
        for (ryxsound::Mode mode : modes) {
            std::printf("rate %g mode %s\n", static_cast<double>(rate), ryxsound::modeName(mode));
            try {
                ryxsound::checkModeFits(mode, rate, custom);
            } catch (const std::exception& e) {
                std::printf("  refused: %s\n", e.what());
                for (ryxsound::Receiver r :
                     {ryxsound::Receiver::Standard, ryxsound::Receiver::Robust}) {
                    try {
                        ryxsound::Decoder decoder(mode, rate, r, custom);
                        std::printf("  %s built\n", ryxsound::receiverName(r));
                    } catch (const std::exception& again) {
                        std::printf("  %s refused: %s\n", ryxsound::receiverName(r), again.what());
                    }
                }
                continue;
            }
            std::vector<Scenario> all;
            for (ryxsound::Plan plan : ryxsound::plansOf(mode)) {
                for (Scenario& s : scenarios(plan, rate, custom)) all.push_back(std::move(s));
            }
            for (Scenario& s : noiseOnly(rate)) all.push_back(std::move(s));
            for (const Scenario& s : all) {
                for (ryxsound::Receiver r :
                     {ryxsound::Receiver::Standard, ryxsound::Receiver::Robust}) {
                    runPublic(mode, rate, custom, r, s);
                    ++runs;
                }
                runFlat(static_cast<int>(mode), rate, custom, s);
            }
        }
    }
    std::printf("trace: %d receiver runs\n", runs);
    return 0;
}
