// The small storage (RYX_SMALL_STORAGE, the Cortex-M4 build's) against the desktop's, on the
// desktop: the small robust receiver hears exactly the texts the default one hears in recordings of
// both presets (clean, white noise, a crowd of talkers, clock drift, two transmissions in a row),
// and the small synthesiser's and payload encoder's samples lie within 1e-6 of the desktop's and
// are heard (the payloads by the desktop's payload receiver).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "payload/payload_receiver.h"
#include "preset_ends.h"
#include "ryxsound/ryx_stream.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

enum class Channel { kClean, kWhite, kTalkers, kDrift };

struct Recording {
    const char* name;
    int preset;
    std::vector<const char*> texts;  // sent one after another, 0.3 s apart
    Channel channel;
    float value;  // signal-to-noise ratio in dB (white, talkers) or clock drift in ppm
};

float power(const std::vector<float>& x) {
    double sum = 0.0;
    for (float v : x) sum += static_cast<double>(v) * v;
    return static_cast<float>(sum / static_cast<double>(std::max<size_t>(x.size(), 1)));
}

// Four talkers: voiced buzzes (a fundamental of 100 .. 220 Hz with vibrato and 20 harmonics)
// in syllables of about a quarter second.
std::vector<float> talkers(size_t length, float rate, std::mt19937& random) {
    std::uniform_real_distribution<float> uniform(0.0f, 1.0f);
    std::vector<float> out(length, 0.0f);
    for (int t = 0; t < 4; ++t) {
        const double f0 = 100.0 + 120.0 * uniform(random);
        const double syllable = 3.0 + 2.0 * uniform(random);
        const double offset = uniform(random);
        double phase = 0.0;
        for (size_t n = 0; n < length; ++n) {
            const double time = static_cast<double>(n) / rate;
            phase += 2.0 * kPi * f0 * (1.0 + 0.08 * std::sin(2.0 * kPi * 5.0 * time)) / rate;
            const double envelope = std::fabs(std::sin(kPi * (syllable * time + offset)));
            double v = 0.0;
            for (int k = 1; k <= 20 && k * f0 < rate / 2; ++k) v += std::sin(k * phase) / k;
            out[n] += static_cast<float>(envelope * v);
        }
    }
    return out;
}

std::vector<float> record(const Recording& r) {
    const float rate = default_build::sampleRate(r.preset);
    const size_t gap = static_cast<size_t>(0.3f * rate);
    std::vector<float> signal(gap, 0.0f);
    for (const char* text : r.texts) {
        const std::vector<float> sent = default_build::encode(r.preset, text);
        signal.insert(signal.end(), sent.begin(), sent.end());
        signal.insert(signal.end(), gap, 0.0f);
    }
    std::mt19937 random(11);
    if (r.channel == Channel::kDrift) {
        // Played by a clock (1 + ppm 1e-6) times too fast: linear interpolation.
        const double step = 1.0 + static_cast<double>(r.value) * 1e-6;
        std::vector<float> drifted;
        for (double at = 0.0; at + 1.0 < static_cast<double>(signal.size()); at += step) {
            const size_t i = static_cast<size_t>(at);
            const double f = at - static_cast<double>(i);
            drifted.push_back(static_cast<float>((1.0 - f) * signal[i] + f * signal[i + 1]));
        }
        return drifted;
    }
    if (r.channel == Channel::kClean) return signal;
    std::vector<float> noise;
    if (r.channel == Channel::kWhite) {
        std::normal_distribution<float> gauss(0.0f, 1.0f);
        for (size_t n = 0; n < signal.size(); ++n) noise.push_back(gauss(random));
    } else {
        noise = talkers(signal.size(), rate, random);
    }
    const float scale = std::sqrt(power(signal) / power(noise) / std::pow(10.0f, r.value / 10.0f));
    for (size_t n = 0; n < signal.size(); ++n) signal[n] += scale * noise[n];
    return signal;
}

class SmallStorage : public ::testing::TestWithParam<Recording> {};

TEST_P(SmallStorage, HearsWhatTheDefaultReceiverHears) {
    const Recording& r = GetParam();
    const std::vector<float> audio = record(r);
    const std::vector<std::string> desktop = default_build::hear(r.preset, audio);
    EXPECT_EQ(small_build::hear(r.preset, audio), desktop);
    // The recordings are within reach: the desktop hears what was sent.
    EXPECT_EQ(desktop, std::vector<std::string>(r.texts.begin(), r.texts.end()));
}

const Recording kRecordings[] = {
    {"audible_clean", RYX_STREAM_AUDIBLE_22050, {"emul8tor1"}, Channel::kClean, 0.0f},
    {"audible_white", RYX_STREAM_AUDIBLE_22050, {"n0ise15db"}, Channel::kWhite, -15.0f},
    {"audible_talkers", RYX_STREAM_AUDIBLE_22050, {"babb1e0ut"}, Channel::kTalkers, -10.0f},
    {"audible_drift", RYX_STREAM_AUDIBLE_22050, {"dr1ft2000"}, Channel::kDrift, 1500.0f},
    {"audible_two", RYX_STREAM_AUDIBLE_22050, {"first0001", "second002"}, Channel::kWhite, -6.0f},
    {"phone_clean", RYX_STREAM_PHONE_16000, {"emul8tor1"}, Channel::kClean, 0.0f},
    {"phone_white", RYX_STREAM_PHONE_16000, {"n0ise15db"}, Channel::kWhite, -15.0f},
    {"phone_talkers", RYX_STREAM_PHONE_16000, {"babb1e0ut"}, Channel::kTalkers, -10.0f},
    {"phone_drift", RYX_STREAM_PHONE_16000, {"dr1ft2000"}, Channel::kDrift, -1500.0f},
    {"phone_two", RYX_STREAM_PHONE_16000, {"first0001", "second002"}, Channel::kWhite, -6.0f},
};

INSTANTIATE_TEST_SUITE_P(Recordings, SmallStorage, ::testing::ValuesIn(kRecordings),
                         [](const auto& info) { return std::string(info.param.name); });

class SmallSynthesis : public ::testing::TestWithParam<int> {};

TEST_P(SmallSynthesis, WithinAMillionthOfTheDesktopAndHeard) {
    const int preset = GetParam();
    const std::vector<float> desktop = default_build::encode(preset, "hello0123");
    const std::vector<float> small = small_build::encode(preset, "hello0123");
    ASSERT_EQ(small.size(), desktop.size());
    float largest = 0.0f;
    for (size_t n = 0; n < small.size(); ++n) {
        largest = std::max(largest, std::fabs(small[n] - desktop[n]));
    }
    EXPECT_LE(largest, 1e-6f);
    std::vector<float> audio(static_cast<size_t>(default_build::sampleRate(preset) / 2), 0.0f);
    audio.insert(audio.begin() + static_cast<long>(audio.size() / 2), small.begin(), small.end());
    EXPECT_EQ(default_build::hear(preset, audio), std::vector<std::string>{"hello0123"});
}

INSTANTIATE_TEST_SUITE_P(Presets, SmallSynthesis,
                         ::testing::Values(RYX_STREAM_AUDIBLE_22050, RYX_STREAM_PHONE_16000));

class SmallPayload : public ::testing::TestWithParam<std::tuple<int, int>> {};

TEST_P(SmallPayload, WithinAMillionthOfTheDesktopAndDecoded) {
    const int preset = std::get<0>(GetParam());
    const int profile = std::get<1>(GetParam());
    std::vector<uint8_t> data(100);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 37 + 11);
    const std::vector<float> desktop = default_build::encodePayload(preset, profile, data);
    const std::vector<float> small = small_build::encodePayload(preset, profile, data);
    ASSERT_FALSE(desktop.empty());
    ASSERT_EQ(small.size(), desktop.size());
    float largest = 0.0f;
    for (size_t n = 0; n < small.size(); ++n) {
        largest = std::max(largest, std::fabs(small[n] - desktop[n]));
    }
    EXPECT_LE(largest, 1e-6f);

    const float rate = default_build::sampleRate(preset);
    std::vector<float> audio(static_cast<size_t>(rate), 0.0f);
    audio.insert(audio.begin() + static_cast<long>(audio.size() / 2), small.begin(), small.end());
    const bool audible = preset == RYX_STREAM_AUDIBLE_22050;
    RYX::PayloadReceiver receiver({audible ? RYX::Plan::Audible : RYX::Plan::Custom},
                                  audible ? RYX::CustomBand{} : RYX::kPhoneBand, rate);
    std::vector<RYX::ReceivedPayload> heard;
    receiver.feed(audio.data(), audio.size(), heard);
    receiver.flush(heard);
    ASSERT_EQ(heard.size(), 1u);
    EXPECT_TRUE(heard[0].ok);
    EXPECT_EQ(heard[0].data, data);
}

INSTANTIATE_TEST_SUITE_P(
    PresetsAndProfiles, SmallPayload,
    ::testing::Combine(::testing::Values(RYX_STREAM_AUDIBLE_22050, RYX_STREAM_PHONE_16000),
                       ::testing::Values(RYX_STREAM_PAYLOAD_FAST, RYX_STREAM_PAYLOAD_ROBUST)));

}  // namespace
