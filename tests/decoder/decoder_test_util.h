// Helpers of the decoder tests: audio of whole transmissions (from the encoder, or synthesised
// here from an arbitrary 20-symbol frame with the same formulas), silence and noise, and a feeder
// that records every event with the frame that produced it.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "decoder/decoder.h"
#include "decoder/decoder_all_multi_tone.h"
#include "decoder/multi_tone_decoder.h"
#include "encoder/multi_tone_encoder.h"
#include "fec/reed_solomon_codec.h"
#include "modes/frequency_plan.h"
#include "modes/symbol_alphabet.h"
#include "modes/tuning.h"
#include "test_support.h"

namespace RYX {
namespace test {

using Audio = std::vector<float>;

constexpr double kPi = 3.14159265358979323846;

// One decoder result other than -1, with the number of frames taken when it came.
struct Event {
    int value;
    long long frame;
    bool operator==(const Event& o) const { return value == o.value && frame == o.frame; }
};

// Feeds `audio` in chunks of `chunk` samples (0: everything in one call); after every call it
// keeps calling with count 0 until -1 comes back, so nothing queued is left behind.
inline std::vector<Event> feed(Decoder& decoder, const Audio& audio, size_t chunk) {
    std::vector<Event> events;
    if (chunk == 0) chunk = std::max<size_t>(audio.size(), 1);
    for (size_t at = 0; at < audio.size(); at += chunk) {
        const int count = static_cast<int>(std::min(chunk, audio.size() - at));
        int r = decoder.DecodeAudioBuffer(audio.data() + at, count);
        while (r != -1) {
            events.push_back({r, decoder.framer().framesTaken()});
            r = decoder.DecodeAudioBuffer(nullptr, 0);
        }
    }
    return events;
}

inline std::vector<int> values(const std::vector<Event>& events) {
    std::vector<int> v;
    for (const Event& e : events) v.push_back(e.value);
    return v;
}

// The twenty symbols of `text` (nine characters): 1, 19, data, checksum, eight parity symbols.
inline std::vector<int> frameOf(const std::string& text) {
    int message[12] = {1, 19};
    int sum = 0;
    for (int i = 0; i < 9; ++i) {
        message[2 + i] = charToSymbol(text[static_cast<size_t>(i)]);
        if (message[2 + i] < 0) ADD_FAILURE() << "not in the alphabet: " << text;
        sum += message[2 + i];
    }
    message[11] = sum % 32;
    ReedSolomonCodec codec;
    codec.setMessage(message, 12);
    codec.computeParity();
    std::vector<int> frame(20);
    codec.getCodeword(frame.data());
    return frame;
}

// The events a clean reception of `frame` gives: -2, the 18 symbols after the start, -3.
inline std::vector<int> expectedEvents(const std::vector<int>& frame) {
    std::vector<int> v{-2};
    v.insert(v.end(), frame.begin() + 2, frame.end());
    v.push_back(-3);
    return v;
}

// The encoder's audio of `text` in `plan` (the custom plan in band `custom`).
inline Audio encode(Plan plan, float sampleRate, const std::string& text,
                    const CustomBand& custom = {}) {
    MultiToneEncoder encoder(plan, sampleRate, 1024, windowSizeFor(sampleRate));
    const int n = encoder.encode(text.data(), 0, static_cast<int>(text.size()), nullptr, 0,
                                 SynthesisSettings{custom, 0.0f});
    if (n <= 0) ADD_FAILURE() << "the encoder refused " << text;
    return Audio(encoder.samples(), encoder.samples() + n);
}

// Audio of an arbitrary 20-symbol frame with the encoder's formulas: per position D samples, a
// linear fade-in, plateau, linear fade-out and tail silence; start symbols as their lower tone
// alone, later symbols as two half-weight tones raised by the position's hop; continuous phases.
inline Audio synthesise(Plan plan, float sampleRate, const std::vector<int>& frame) {
    const Tuning tuning = makeTuning(sampleRate);
    const float df = symbolDurationExact(sampleRate);
    const int d = symbolDuration(sampleRate);
    const double twoPi = 6.2831854820251465;
    const double inverseRate = 1.0 / static_cast<double>(sampleRate);
    Audio out(frame.size() * static_cast<size_t>(d), 0.0f);
    double phase[2] = {0.0, 0.0};
    for (size_t p = 0; p < frame.size(); ++p) {
        float freq[2];
        float amp[2];
        symbolFrequencies(plan, frame[p], static_cast<int>(p), tuning, freq);
        symbolAmplitudes(plan, frame[p], amp);
        const int fadeIn = static_cast<int>(df * 0.075f);
        const int fadeOut = static_cast<int>(df * (p == 0 ? 0.05f : 0.1f));
        const int tail = p == 0 ? 0 : static_cast<int>(df * 0.05f);
        const float peak = p == 0 ? 0.7f : (p == 1 ? 0.67499995f : 0.65f);
        for (int k = 0; k < d; ++k) {
            for (int t = 0; t < 2; ++t) {
                phase[t] += freq[t] * twoPi * inverseRate;
                if (phase[t] > twoPi) phase[t] -= twoPi;
            }
            float e;
            if (k < fadeIn) {
                e = static_cast<float>(k) * peak / static_cast<float>(fadeIn);
            } else if (k >= d - tail) {
                continue;
            } else if (k <= d - tail - fadeOut) {
                e = peak;
            } else {
                e = static_cast<float>(d - k - tail) * peak / static_cast<float>(fadeOut);
            }
            double v;
            if (p < 2) {
                v = (e * amp[0]) * std::sin(phase[0]);
            } else {
                v = (0.5f * e * amp[0]) * std::sin(phase[0]) +
                    (0.5f * e * amp[1]) * std::sin(phase[1]);
            }
            out[p * static_cast<size_t>(d) + static_cast<size_t>(k)] = static_cast<float>(v);
        }
    }
    return out;
}

// `lead` seconds of silence, the audio, `tail` seconds of silence.
inline Audio padded(const Audio& audio, float sampleRate, double lead, double tail) {
    Audio out(static_cast<size_t>(lead * sampleRate), 0.0f);
    out.insert(out.end(), audio.begin(), audio.end());
    out.resize(out.size() + static_cast<size_t>(tail * sampleRate), 0.0f);
    return out;
}

inline void addNoise(Audio& audio, double sigma, unsigned seed) {
    std::mt19937 rng(seed);
    std::normal_distribution<double> gauss(0.0, sigma);
    for (float& v : audio) v = static_cast<float>(v + gauss(rng));
}

inline double meanPower(const Audio& audio) {
    double sum = 0.0;
    for (float v : audio) sum += static_cast<double>(v) * v;
    return audio.empty() ? 0.0 : sum / static_cast<double>(audio.size());
}

inline std::unique_ptr<Decoder> makeDecoder(Plan plan, float sampleRate,
                                            const CustomBand& custom = {}) {
    return std::make_unique<MultiToneDecoder>(plan, makeTuning(sampleRate, custom));
}

// Fetches the oldest message: the result and the text.
inline std::pair<int, std::string> fetch(Decoder& decoder) {
    char text[10] = {'x', 'x', 'x', 'x', 'x', 'x', 'x', 'x', 'x', 'x'};
    const int r = decoder.GetDecodedData(text);
    return {r, std::string(text, strnlen(text, 10))};
}

}  // namespace test
}  // namespace RYX
