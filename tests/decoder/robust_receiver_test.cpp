// The robust receiver: round trips in every plan and rate, messages that follow each other
// closely, weak signals in noise and in speech-like sound, audio without any message, and input
// that is not audio at all.
#include "decoder/robust_receiver.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "decoder_test_util.h"

namespace RYX {
namespace {

using test::Audio;

std::vector<ReceivedMessage> receive(RobustReceiver& rx, const Audio& audio, size_t chunk) {
    std::vector<ReceivedMessage> out;
    for (size_t at = 0; at < audio.size(); at += chunk) {
        rx.feed(audio.data() + at, std::min(chunk, audio.size() - at), out);
    }
    rx.flush(out);
    return out;
}

std::vector<ReceivedMessage> receive(int mode, float rate, const Audio& audio,
                                     const CustomBand& custom = {}) {
    RobustReceiver rx(mode, makeTuning(rate, custom));
    EXPECT_TRUE(rx.valid());
    return receive(rx, audio, 1000);
}

std::string randomText(std::mt19937& rng) {
    std::string text;
    for (int i = 0; i < 9; ++i) text += symbolToChar(static_cast<int>(rng() % 32));
    return text;
}

struct Case {
    int mode;
    Plan plan;  // the plan the sender uses
    float rate;
    CustomBand custom;
};

class RobustRoundTrip : public ::testing::TestWithParam<Case> {};

TEST_P(RobustRoundTrip, ReportsTheTextOnceWithItsPlanAndPosition) {
    const Case c = GetParam();
    const int d = symbolDuration(c.rate);
    const std::string text = "hello0123";
    const Audio audio =
        test::padded(test::encode(c.plan, c.rate, text, c.custom), c.rate, 0.37, 0.2);
    const auto got = receive(c.mode, c.rate, audio, c.custom);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(std::string(got[0].text.data()), text);
    EXPECT_TRUE(got[0].ok);
    EXPECT_EQ(got[0].plan, static_cast<int>(c.plan));
    const int64_t start = static_cast<int64_t>(0.37 * c.rate);
    EXPECT_NEAR(static_cast<double>(got[0].start), static_cast<double>(start), d / 10.0);
    EXPECT_EQ(got[0].end - got[0].start, 20 * static_cast<int64_t>(d));
    EXPECT_GT(got[0].confidence, 0.95f);
    EXPECT_EQ(got[0].correctedMask, 0u);
    EXPECT_FLOAT_EQ(got[0].cleanShare, 1.0f);
    EXPECT_NEAR(got[0].levelDbfs, 20.0f * std::log10(0.65f * 0.5f), 3.0f);
}

INSTANTIATE_TEST_SUITE_P(
    EveryPlanAndRate, RobustRoundTrip,
    ::testing::Values(Case{2, Plan::Audible, 44100.0f, {}}, Case{2, Plan::Audible, 48000.0f, {}},
                      Case{2, Plan::Audible, 22050.0f, {}}, Case{3, Plan::NonAudible, 44100.0f, {}},
                      Case{3, Plan::NonAudible, 48000.0f, {}},
                      Case{4, Plan::Compression, 44100.0f, {}},
                      Case{4, Plan::Compression, 48000.0f, {}},
                      Case{5, Plan::Audible, 48000.0f, {}}, Case{5, Plan::NonAudible, 44100.0f, {}},
                      Case{5, Plan::Compression, 48000.0f, {}},
                      Case{5, Plan::Audible, 22050.0f, {}}, Case{6, Plan::Custom, 44100.0f, {}},
                      Case{6, Plan::Custom, 48000.0f, {8000.0f, 3}},
                      Case{6, Plan::Custom, 22050.0f, {4000.0f, 1}}));

TEST(RobustReceiver, HearsMessagesBackToBackAndInOrder) {
    const float rate = 44100.0f;
    std::mt19937 rng(3);
    std::vector<std::string> texts;
    Audio audio(static_cast<size_t>(0.2 * rate), 0.0f);
    for (int i = 0; i < 4; ++i) {
        texts.push_back(randomText(rng));
        const Audio a = test::encode(Plan::Audible, rate, texts.back());
        audio.insert(audio.end(), a.begin(), a.end());
    }
    const auto got = receive(2, rate, audio);
    ASSERT_EQ(got.size(), texts.size());
    for (size_t i = 0; i < texts.size(); ++i) {
        EXPECT_EQ(std::string(got[i].text.data()), texts[i]);
        if (i > 0) {
            EXPECT_GT(got[i].start, got[i - 1].start);
        }
    }
}

TEST(RobustReceiver, HearsAMessageThatBeginsAtTheFirstSample) {
    const float rate = 44100.0f;
    const auto got = receive(5, rate, test::encode(Plan::NonAudible, rate, "first0000"));
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(std::string(got[0].text.data()), "first0000");
    EXPECT_LT(got[0].start, 300);
}

TEST(RobustReceiver, FlushFinishesAMessageCutShortAndKeepsPositions) {
    const float rate = 48000.0f;
    Audio a = test::padded(test::encode(Plan::Compression, rate, "abcdefghi"), rate, 0.3, 0.0);
    a.resize(a.size() - static_cast<size_t>(symbolDuration(rate)));  // the last symbol is lost
    RobustReceiver rx(4, makeTuning(rate));
    std::vector<ReceivedMessage> out;
    rx.feed(a.data(), a.size(), out);
    EXPECT_TRUE(out.empty());
    EXPECT_TRUE(rx.inMessage());
    rx.flush(out);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(std::string(out[0].text.data()), "abcdefghi");
    EXPECT_EQ(rx.position(), static_cast<int64_t>(a.size()));
    // After the flush the stream goes on from the same position.
    out.clear();
    const auto again = receive(rx, a, 4096);
    ASSERT_EQ(again.size(), 1u);
    EXPECT_NEAR(static_cast<double>(again[0].start), a.size() + 0.3 * rate, 500.0);
    EXPECT_FALSE(rx.inMessage());
}

// Several texts at a fixed noise level: at least `least` of `count` come back, none wrong.
struct Weak {
    int mode;
    Plan plan;
    float rate;
    double snrDb;  // full band, against the mean power of the transmission
    int least;
};

class RobustInNoise : public ::testing::TestWithParam<Weak> {};

TEST_P(RobustInNoise, DecodesWeakTransmissionsAndNothingWrong) {
    const Weak w = GetParam();
    std::mt19937 rng(11);
    const int count = 8;
    int heard = 0;
    for (int i = 0; i < count; ++i) {
        const std::string text = randomText(rng);
        const Audio clean = test::encode(w.plan, w.rate, text);
        Audio audio = test::padded(clean, w.rate, 0.3, 0.3);
        test::addNoise(audio, std::sqrt(test::meanPower(clean) / std::pow(10.0, w.snrDb / 10.0)),
                       static_cast<unsigned>(100 + i));
        for (const auto& m : receive(w.mode, w.rate, audio)) {
            EXPECT_EQ(std::string(m.text.data()), text);
            heard += std::string(m.text.data()) == text ? 1 : 0;
        }
    }
    EXPECT_GE(heard, w.least);
}

INSTANTIATE_TEST_SUITE_P(WhiteNoise, RobustInNoise,
                         ::testing::Values(Weak{2, Plan::Audible, 44100.0f, -15.0, 8},
                                           Weak{3, Plan::NonAudible, 48000.0f, -18.0, 8},
                                           Weak{5, Plan::Compression, 44100.0f, -15.0, 8},
                                           Weak{2, Plan::Audible, 44100.0f, -20.0, 8},
                                           Weak{4, Plan::Compression, 48000.0f, -20.0, 8},
                                           Weak{6, Plan::Custom, 44100.0f, -20.0, 8},
                                           Weak{2, Plan::Audible, 48000.0f, -22.0, 6}));

// A steep low-pass (windowed sinc, 801 taps) at cutoffHz, as a low-bitrate codec applies.
Audio lowPassed(const Audio& in, float rate, double cutoffHz) {
    const int half = 400;
    std::vector<double> taps(2 * half + 1);
    const double fc = cutoffHz / rate;
    for (int k = -half; k <= half; ++k) {
        const double sinc =
            k == 0 ? 2.0 * fc : std::sin(2.0 * test::kPi * fc * k) / (test::kPi * k);
        const double x = static_cast<double>(k + half) / (2.0 * half);
        const double blackman =
            0.42 - 0.5 * std::cos(2.0 * test::kPi * x) + 0.08 * std::cos(4.0 * test::kPi * x);
        taps[static_cast<size_t>(k + half)] = sinc * blackman;
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

class RobustLowPassed : public ::testing::TestWithParam<float> {};

// The audible plan's two highest tones (8.6 .. 9.8 kHz) cut away: a symbol that used one of
// them still shows which pairs it may be, and error correction picks the right one.
TEST_P(RobustLowPassed, HearsTransmissionsWithoutTheirHighestTones) {
    const float rate = GetParam();
    std::mt19937 rng(31);
    const int count = 6;
    int heard = 0;
    for (int i = 0; i < count; ++i) {
        const std::string text = randomText(rng);
        Audio audio = test::padded(test::encode(Plan::Audible, rate, text), rate, 0.3, 0.3);
        test::addNoise(audio, 1e-4, static_cast<unsigned>(200 + i));
        for (const auto& m : receive(2, rate, lowPassed(audio, rate, 8200.0))) {
            EXPECT_EQ(std::string(m.text.data()), text);
            heard += std::string(m.text.data()) == text ? 1 : 0;
        }
    }
    EXPECT_GE(heard, count - 1);
}

INSTANTIATE_TEST_SUITE_P(Rates, RobustLowPassed, ::testing::Values(44100.0f, 48000.0f));

// Sound with a voice's structure: harmonics of a gliding fundamental (90..260 Hz) under slowly
// moving formant-like weights, in syllables with pauses, several talkers at once.
Audio voices(float rate, double seconds, int talkers, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> u(0.0, 1.0);
    Audio out(static_cast<size_t>(seconds * rate), 0.0f);
    for (int t = 0; t < talkers; ++t) {
        double phase = 0.0;
        size_t at = static_cast<size_t>(u(rng) * 0.3 * rate);
        while (at < out.size()) {
            const size_t n = static_cast<size_t>((0.08 + 0.25 * u(rng)) * rate);
            const double f0a = 90.0 + 170.0 * u(rng);
            const double f0b = f0a * (0.8 + 0.4 * u(rng));
            const double formant = 500.0 + 3000.0 * u(rng);
            for (size_t k = 0; k < n && at + k < out.size(); ++k) {
                const double x = static_cast<double>(k) / static_cast<double>(n);
                const double f0 = f0a + (f0b - f0a) * x;
                phase += 2.0 * test::kPi * f0 / rate;
                double v = 0.0;
                for (int h = 1; h * f0 < 0.45 * rate && h <= 40; ++h) {
                    const double f = h * f0;
                    const double w = 1.0 / (1.0 + std::pow((f - formant) / 600.0, 2.0)) + 0.05 / h;
                    v += w * std::sin(h * phase);
                }
                out[at + k] += static_cast<float>(0.05 * v * std::sin(test::kPi * x));
            }
            at += n + static_cast<size_t>(u(rng) * 0.1 * rate);
        }
    }
    return out;
}

TEST(RobustReceiver, HearsTransmissionsThroughVoicesThatBeganBefore) {
    const float rate = 44100.0f;
    std::mt19937 rng(21);
    int heard = 0;
    for (int i = 0; i < 4; ++i) {
        const std::string text = randomText(rng);
        const Audio clean = test::encode(Plan::Audible, rate, text);
        Audio audio = test::padded(clean, rate, 1.0, 0.3);
        const Audio crowd =
            voices(rate, static_cast<double>(audio.size()) / rate, 5, static_cast<unsigned>(i));
        // The crowd 10 dB above the transmission.
        const double gain = std::sqrt(test::meanPower(clean) / test::meanPower(crowd) * 10.0);
        for (size_t k = 0; k < audio.size(); ++k) audio[k] += static_cast<float>(gain * crowd[k]);
        for (const auto& m : receive(2, rate, audio)) {
            EXPECT_EQ(std::string(m.text.data()), text);
            heard += std::string(m.text.data()) == text ? 1 : 0;
        }
    }
    EXPECT_GE(heard, 4);
}

TEST(RobustReceiver, ReportsNothingFromLongNoiseOrVoices) {
    const float rate = 44100.0f;
    Audio noise(static_cast<size_t>(30 * rate), 0.0f);
    test::addNoise(noise, 0.05, 5);
    const Audio crowd = voices(rate, 20.0, 4, 9);
    for (const Audio* audio : {static_cast<const Audio*>(&noise), &crowd}) {
        for (int mode : {2, 5}) {
            RobustReceiver rx(mode, makeTuning(rate));
            EXPECT_TRUE(receive(rx, *audio, 4096).empty()) << "mode " << mode;
            // Nothing there follows the hopping tone pairs, so nothing is decoded in full.
            EXPECT_EQ(rx.stats().starts, 0) << "mode " << mode;
        }
    }
}

TEST(RobustReceiver, SurvivesValuesThatAreNotAudioAndRecovers) {
    const float rate = 44100.0f;
    const float inf = std::numeric_limits<float>::infinity();
    Audio junk;
    const float values[] = {std::numeric_limits<float>::quiet_NaN(),  inf,  -inf, 1e30f, -1e30f,
                            std::numeric_limits<float>::denorm_min(), 3e38f};
    for (int i = 0; i < 50000; ++i) junk.push_back(values[i % 7]);
    const Audio message =
        test::padded(test::encode(Plan::Audible, rate, "r0bust123"), rate, 0.3, 0.3);
    junk.insert(junk.end(), message.begin(), message.end());
    for (int mode : {2, 5}) {
        const auto got = receive(mode, rate, junk);
        ASSERT_EQ(got.size(), 1u);
        EXPECT_EQ(std::string(got[0].text.data()), "r0bust123");
    }
}

TEST(RobustReceiver, RefusesWhatItCannotHearWithoutCrashing) {
    std::vector<ReceivedMessage> out;
    const float x[4] = {0.1f, 0.2f, 0.3f, 0.4f};
    for (const auto& [mode, rate] : std::vector<std::pair<int, float>>{{1, 44100.0f},
                                                                       {7, 44100.0f},
                                                                       {3, 22050.0f},
                                                                       {2, std::nanf("")},
                                                                       {2, -1.0f},
                                                                       {2, 1e9f}}) {
        RobustReceiver rx(mode, makeTuning(rate));
        EXPECT_FALSE(rx.valid()) << mode << " " << rate;
        rx.feed(x, 4, out);
        rx.feed(nullptr, 10, out);
        rx.flush(out);
        EXPECT_EQ(rx.position(), 4);
    }
    EXPECT_TRUE(out.empty());
}

}  // namespace
}  // namespace RYX
