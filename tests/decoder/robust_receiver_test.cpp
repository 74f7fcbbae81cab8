// The robust receiver: round trips in every plan and rate, messages that follow each other
// closely, weak signals in noise and in speech-like sound, audio without any message, and input
// that is not audio at all.
#include "decoder/robust_receiver.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <ostream>
#include <random>
#include <string>
#include <utility>
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

const std::vector<Plan> kAudible{Plan::Audible};
const std::vector<Plan> kNonAudible{Plan::NonAudible};
const std::vector<Plan> kCompression{Plan::Compression};
const std::vector<Plan> kCustom{Plan::Custom};
const std::vector<Plan> kAll{Plan::Audible, Plan::NonAudible, Plan::Compression};

std::vector<ReceivedMessage> receive(const std::vector<Plan>& plans, float rate, const Audio& audio,
                                     const CustomBand& custom = {}) {
    RobustReceiver rx(plans, makeTuning(rate, custom));
    return receive(rx, audio, 1000);
}

std::string randomText(std::mt19937& rng) {
    std::string text;
    for (int i = 0; i < 9; ++i) text += symbolToChar(static_cast<int>(rng() % 32));
    return text;
}

struct Case {
    std::vector<Plan> plans;  // the plans the receiver listens for
    Plan plan;                // the plan the sender uses
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
    const auto got = receive(c.plans, c.rate, audio, c.custom);
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
    ::testing::Values(
        Case{kAudible, Plan::Audible, 44100.0f, {}}, Case{kAudible, Plan::Audible, 48000.0f, {}},
        Case{kAudible, Plan::Audible, 22050.0f, {}},
        Case{kNonAudible, Plan::NonAudible, 44100.0f, {}},
        Case{kNonAudible, Plan::NonAudible, 48000.0f, {}},
        Case{kCompression, Plan::Compression, 44100.0f, {}},
        Case{kCompression, Plan::Compression, 48000.0f, {}},
        Case{kAll, Plan::Audible, 48000.0f, {}}, Case{kAll, Plan::NonAudible, 44100.0f, {}},
        Case{kAll, Plan::Compression, 48000.0f, {}},
        // A plan listened for after one that is not sent.
        Case{{Plan::Compression, Plan::Audible}, Plan::Audible, 44100.0f, {}},
        Case{kCustom, Plan::Custom, 44100.0f, {}},
        Case{kCustom, Plan::Custom, 48000.0f, {8000.0f, 3}},
        Case{kCustom, Plan::Custom, 22050.0f, {4000.0f, 1}},
        // Rates the plans fit at, far from the usual ones.
        Case{kAudible, Plan::Audible, 32000.0f, {}}, Case{kAudible, Plan::Audible, 384000.0f, {}},
        Case{kNonAudible, Plan::NonAudible, 390000.0f, {}},
        Case{kNonAudible, Plan::NonAudible, 1000000.0f, {}},
        Case{kCustom, Plan::Custom, 192000.0f, {}},
        Case{kCustom, Plan::Custom, 24000.0f, {600.0f, 0}}));

// Only ratios decide: a transmission far below full scale (a quiet loudspeaker metres away, a
// recording never normalised) is decided as at full scale, down to 100 dB below it.
class RobustQuiet : public ::testing::TestWithParam<float> {};

TEST_P(RobustQuiet, DecidesAQuietTransmissionAsALoudOne) {
    const float rate = 48000.0f;
    const Audio loud = test::padded(test::encode(Plan::Audible, rate, "fgou14qu7"), rate, 0.5, 0.5);
    Audio quiet = loud;
    for (float& x : quiet) x *= GetParam();
    const auto reference = receive(kAudible, rate, loud);
    const auto got = receive(kAudible, rate, quiet);
    ASSERT_EQ(reference.size(), 1u);
    ASSERT_EQ(got.size(), 1u) << "gain " << GetParam();
    EXPECT_EQ(std::string(got[0].text.data()), "fgou14qu7");
    EXPECT_EQ(got[0].start, reference[0].start);
    EXPECT_NEAR(got[0].confidence, reference[0].confidence, 1e-3f);
}

INSTANTIATE_TEST_SUITE_P(Gains, RobustQuiet, ::testing::Values(1e-2f, 6e-4f, 1e-4f, 1e-5f));

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
    const auto got = receive(kAudible, rate, audio);
    ASSERT_EQ(got.size(), texts.size());
    for (size_t i = 0; i < texts.size(); ++i) {
        EXPECT_EQ(std::string(got[i].text.data()), texts[i]);
        if (i > 0) {
            EXPECT_GT(got[i].start, got[i - 1].start);
        }
    }
}

// An echo of a transmission is reported with it, once; the same text sent again right after it
// is a message of its own.
TEST(RobustReceiver, ReportsTheSameTextSentTwiceBackToBackTwice) {
    for (float rate : {44100.0f, 48000.0f}) {
        const Audio once = test::encode(Plan::Audible, rate, "hello0123");
        Audio audio(static_cast<size_t>(0.2 * rate), 0.0f);
        for (int i = 0; i < 2; ++i) audio.insert(audio.end(), once.begin(), once.end());
        const auto got = receive(kAudible, rate, test::padded(audio, rate, 0.0, 0.3));
        ASSERT_EQ(got.size(), 2u) << rate;
        EXPECT_NEAR(static_cast<double>(got[1].start - got[0].start),
                    static_cast<double>(once.size()), symbolDuration(rate) / 10.0);
    }
}

TEST(RobustReceiver, HearsAMessageThatBeginsAtTheFirstSample) {
    const float rate = 44100.0f;
    const auto got = receive(kAll, rate, test::encode(Plan::NonAudible, rate, "first0000"));
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(std::string(got[0].text.data()), "first0000");
    EXPECT_LT(got[0].start, 300);
}

TEST(RobustReceiver, FlushFinishesAMessageCutShortAndKeepsPositions) {
    const float rate = 48000.0f;
    Audio a = test::padded(test::encode(Plan::Compression, rate, "abcdefghi"), rate, 0.3, 0.0);
    a.resize(a.size() - static_cast<size_t>(symbolDuration(rate)));  // the last symbol is lost
    RobustReceiver rx(kCompression, makeTuning(rate));
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

// A transmission of `text` with 0.3 s of silence either side, in white noise `snrDb` (full band)
// under its mean power.
Audio inWhiteNoise(Plan plan, float rate, const std::string& text, double snrDb, unsigned seed) {
    const Audio clean = test::encode(plan, rate, text);
    Audio audio = test::padded(clean, rate, 0.3, 0.3);
    test::addNoise(audio, std::sqrt(test::meanPower(clean) / std::pow(10.0, snrDb / 10.0)), seed);
    return audio;
}

// How often `text` comes back from `audio`; any other text fails the test.
int timesHeard(const std::vector<Plan>& plans, float rate, const Audio& audio,
               const std::string& text) {
    int heard = 0;
    for (const auto& m : receive(plans, rate, audio)) {
        EXPECT_EQ(std::string(m.text.data()), text);
        heard += std::string(m.text.data()) == text ? 1 : 0;
    }
    return heard;
}

// Texts at a fixed noise level: at least `least` of them heard (decoded, or given a candidate).
struct Weak {
    std::vector<Plan> plans;
    Plan plan;
    float rate;
    double snrDb;  // full band, against the mean power of the transmission
    int least;
};

// Of eight texts, at least `least` come back, none wrong.
class RobustInNoise : public ::testing::TestWithParam<Weak> {};

TEST_P(RobustInNoise, DecodesWeakTransmissionsAndNothingWrong) {
    const Weak w = GetParam();
    std::mt19937 rng(11);
    const int count = 8;
    int heard = 0;
    for (int i = 0; i < count; ++i) {
        const std::string text = randomText(rng);
        heard +=
            timesHeard(w.plans, w.rate, inWhiteNoise(w.plan, w.rate, text, w.snrDb, 100 + i), text);
    }
    EXPECT_GE(heard, w.least);
}

INSTANTIATE_TEST_SUITE_P(WhiteNoise, RobustInNoise,
                         ::testing::Values(Weak{kAudible, Plan::Audible, 44100.0f, -15.0, 8},
                                           Weak{kNonAudible, Plan::NonAudible, 48000.0f, -18.0, 8},
                                           Weak{kAll, Plan::Compression, 44100.0f, -15.0, 8},
                                           Weak{kAudible, Plan::Audible, 44100.0f, -20.0, 8},
                                           Weak{kCompression, Plan::Compression, 48000.0f, -20.0,
                                                8},
                                           Weak{kCustom, Plan::Custom, 44100.0f, -20.0, 8},
                                           Weak{kAudible, Plan::Audible, 48000.0f, -22.0, 6}));

// Transmissions so weak that one noisy echo or one faded start tone fails the start test alone:
// weighing the two start tones together, it still opens a candidate for nearly every one of
// `count`. (Alone it opens 14 and 11 of the 20 of the first two rows, 12 of the others.)
class RobustFaintStart : public ::testing::TestWithParam<Weak> {};

TEST_P(RobustFaintStart, OpensACandidateForNearlyEveryTransmission) {
    const Weak f = GetParam();
    std::mt19937 rng(31);
    const int count = 20;
    int opened = 0;
    for (int i = 0; i < count; ++i) {
        const Audio audio = inWhiteNoise(f.plan, f.rate, randomText(rng), f.snrDb, 200 + i);
        RobustReceiver rx(f.plans, makeTuning(f.rate));
        receive(rx, audio, 1000);
        opened += rx.stats().preambles > 0 ? 1 : 0;
    }
    EXPECT_GE(opened, f.least);
}

INSTANTIATE_TEST_SUITE_P(WhiteNoise, RobustFaintStart,
                         ::testing::Values(Weak{kAudible, Plan::Audible, 44100.0f, -25.0, 18},
                                           Weak{kCompression, Plan::Compression, 44100.0f, -25.0,
                                                14},
                                           Weak{kAudible, Plan::Audible, 44100.0f, -26.0, 16},
                                           Weak{kAudible, Plan::Audible, 48000.0f, -26.0, 13}));

// Transmissions whose data symbols come `lateSlices` sixteenths of a symbol later than their
// start symbols say, in white noise `snrDb` under them, as when noise moves the peak of a weak
// start: the timing the data symbols give finds them. Of 20 texts at least `least` are heard,
// none wrong.
struct LateData {
    Plan plan;
    float rate;
    int lateSlices;
    double snrDb;
    int least;
};

class RobustLateData : public ::testing::TestWithParam<LateData> {};

TEST_P(RobustLateData, IsHeardWhereItsDataSymbolsAre) {
    const LateData f = GetParam();
    std::mt19937 rng(41);
    const int count = 20;
    int heard = 0;
    for (int i = 0; i < count; ++i) {
        const std::string text = randomText(rng);
        Audio clean = test::encode(f.plan, f.rate, text);
        const double power = test::meanPower(clean);
        const auto dataStart = static_cast<size_t>(kStartSymbols * symbolDuration(f.rate));
        const auto at = clean.begin() + static_cast<std::ptrdiff_t>(dataStart);
        const int gap = f.lateSlices * symbolDuration(f.rate) / 16;  // < 0: the data come early
        if (gap >= 0) clean.insert(at, static_cast<size_t>(gap), 0.0f);
        if (gap < 0) clean.erase(at + gap, at);
        Audio audio = test::padded(clean, f.rate, 0.3, 0.3);
        test::addNoise(audio, std::sqrt(power / std::pow(10.0, f.snrDb / 10.0)), 300 + i);
        heard += timesHeard({f.plan}, f.rate, audio, text);
    }
    EXPECT_GE(heard, f.least);
}

// Tried only at the start the start tones give and a slice either side, the first four rows hear
// 16, 18, 18 and 16. In the last three the pair check, taken where the start tones put the
// candidate, drops many: placed again by their first data symbols there, they hear 13, 10 and 9
// (at the likelihood bound a word in noise must reach; 19, 17 and 17 at the looser bound
// before, 15, 10 and 8 of those where the pair check did not move them).
INSTANTIATE_TEST_SUITE_P(WhiteNoise, RobustLateData,
                         ::testing::Values(LateData{Plan::Audible, 44100.0f, 5, -21.0, 20},
                                           LateData{Plan::NonAudible, 48000.0f, -5, -21.0, 20},
                                           LateData{Plan::Compression, 44100.0f, 5, -21.0, 20},
                                           LateData{Plan::Custom, 48000.0f, 5, -21.0, 20},
                                           LateData{Plan::Audible, 44100.0f, 5, -23.0, 12},
                                           LateData{Plan::Audible, 48000.0f, -5, -23.0, 9},
                                           LateData{Plan::Custom, 44100.0f, 5, -23.5, 8}));

// What comes before a weak transmission must not change how it is heard: a full-scale
// transmission just before it (whose start tones the start test has followed slice by slice), or
// minutes of noise (a stream position far from the first slice). Cut into the same slices, the
// weak one is decided as when it comes alone.
struct Before {
    const char* name;
    double loudSeconds;   // a full-scale transmission this long before the weak one, or none
    double noiseSeconds;  // quiet noise before everything
};

class RobustAfter : public ::testing::TestWithParam<Before> {};

TEST_P(RobustAfter, HearsAWeakTransmissionAsWhenItComesAlone) {
    const Before b = GetParam();
    for (float rate : {44100.0f, 48000.0f}) {
        const Audio clean = test::encode(Plan::Audible, rate, "s0ft0ne9a");
        Audio weak = test::padded(clean, rate, 0.3, 0.3);
        test::addNoise(weak, std::sqrt(test::meanPower(clean) / std::pow(10.0, -18.0 / 10.0)), 7);
        const auto alone = receive(kAudible, rate, weak);
        ASSERT_EQ(alone.size(), 1u) << rate;

        Audio audio(static_cast<size_t>(b.noiseSeconds * rate), 0.0f);
        test::addNoise(audio, 0.001, 8);
        if (b.loudSeconds > 0.0) {
            Audio loud = test::encode(Plan::Audible, rate, "l0ud0ne12");
            const float peak = *std::max_element(loud.begin(), loud.end(), [](float x, float y) {
                return std::fabs(x) < std::fabs(y);
            });
            for (float& x : loud) x /= std::fabs(peak);
            loud.resize(static_cast<size_t>(b.loudSeconds * rate), 0.0f);
            audio.insert(audio.end(), loud.begin(), loud.end());
        }
        // Whole slices before it, so that it is cut into the same slices as alone.
        const auto slice =
            static_cast<size_t>(makeRobustPlan(Plan::Audible, makeTuning(rate)).sliceSamples);
        audio.resize((audio.size() + slice - 1) / slice * slice, 0.0f);
        const int64_t offset = static_cast<int64_t>(audio.size());
        audio.insert(audio.end(), weak.begin(), weak.end());
        const auto got = receive(kAudible, rate, audio);
        ASSERT_FALSE(got.empty()) << rate;
        const ReceivedMessage& last = got.back();
        EXPECT_EQ(std::string(last.text.data()), "s0ft0ne9a") << rate;
        EXPECT_EQ(last.start - offset, alone[0].start) << rate;
        EXPECT_NEAR(last.confidence, alone[0].confidence, 1e-4) << rate;
    }
}

INSTANTIATE_TEST_SUITE_P(Streams, RobustAfter,
                         ::testing::Values(Before{"right_after_a_full_scale_one", 2.2, 0.0},
                                           Before{"after_minutes_of_noise", 0.0, 240.0},
                                           Before{"after_both", 2.5, 60.0}),
                         [](const auto& info) { return std::string(info.param.name); });

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
        for (const auto& m : receive(kAudible, rate, lowPassed(audio, rate, 8200.0))) {
            EXPECT_EQ(std::string(m.text.data()), text);
            heard += std::string(m.text.data()) == text ? 1 : 0;
        }
    }
    EXPECT_GE(heard, count - 1);
}

INSTANTIATE_TEST_SUITE_P(Rates, RobustLowPassed, ::testing::Values(44100.0f, 48000.0f));

struct Echo {
    float rate;
    double delay;  // in symbols
    float gain;    // of the reflection's amplitude
};

class RobustEchoed : public ::testing::TestWithParam<Echo> {};

// A room's reflection `delay` symbols late at `gain` of the amplitude: one symbol late it fills
// the second start symbol with the first's tone, three late it lays each symbol over one of the
// same hop; the reflection may be heard as a transmission of its own, but is reported once.
TEST_P(RobustEchoed, HearsTransmissionsWithAnEcho) {
    const Echo e = GetParam();
    const auto lag = static_cast<size_t>(std::lround(e.delay * symbolDuration(e.rate)));
    for (const std::string text : {"fgou14qu7", "hello0123", "000000000", "vvvvvvvvv"}) {
        const Audio direct =
            test::padded(test::encode(Plan::Audible, e.rate, text), e.rate, 0.3, 0.5);
        Audio audio = direct;
        for (size_t n = lag; n < audio.size(); ++n) audio[n] += e.gain * direct[n - lag];
        const auto got = receive(kAudible, e.rate, audio);
        ASSERT_EQ(got.size(), 1u) << text;
        EXPECT_EQ(std::string(got[0].text.data()), text);
    }
}

std::vector<Echo> echoes() {
    std::vector<Echo> all;
    for (float rate : {44100.0f, 48000.0f}) {
        for (double delay : {0.0, 0.25, 0.5, 0.75, 1.0, 1.5, 2.0, 2.5, 3.0}) {
            for (float gain : {0.3f, 0.5f, 0.7f}) {
                // Exactly three symbols late, a stronger reflection cancels a tone the two symbols
                // share where it meets it out of phase, and a symbol's pair is lost to it.
                if (delay < 3.0 || gain <= 0.5f) all.push_back({rate, delay, gain});
            }
        }
    }
    return all;
}

INSTANTIATE_TEST_SUITE_P(DelaysAndGains, RobustEchoed, ::testing::ValuesIn(echoes()),
                         [](const auto& info) {
                             const Echo& e = info.param;
                             return std::to_string(static_cast<int>(e.rate)) + "Hz_" +
                                    std::to_string(std::lround(e.delay * 100)) + "_100_symbols_" +
                                    std::to_string(std::lround(e.gain * 10)) + "_10";
                         });

struct Reverberation {
    float rate;
    double rt60;    // seconds for the tail to fall 60 dB
    double tailDb;  // the tail's energy over the direct sound's
};

class RobustReverberant : public ::testing::TestWithParam<Reverberation> {};

// Each text through a room of its own: a diffuse tail of 600 reflections at random delays from
// 2 ms to the reverberation time, of random sign and falling 60 dB over it, 12 dB louder in all
// than the direct sound (a living room's far side, several times its critical distance). The
// symbol before still rings at its hop, often louder than the symbol's own pair; weighing the
// hops alone drops 4 of these 16 texts.
TEST_P(RobustReverberant, HearsTransmissionsInAReverberantRoom) {
    const Reverberation r = GetParam();
    std::mt19937 rng(17);
    std::uniform_real_distribution<double> when(0.002, r.rt60);
    std::normal_distribution<double> gaussian(0.0, 1.0);
    const int count = 16;
    int heard = 0;
    for (int i = 0; i < count; ++i) {
        std::vector<std::pair<size_t, float>> taps;
        double energy = 0.0;
        for (int k = 0; k < 600; ++k) {
            const double t = when(rng);
            const double gain = gaussian(rng) * std::pow(10.0, -3.0 * t / r.rt60);
            taps.emplace_back(static_cast<size_t>(t * r.rate), static_cast<float>(gain));
            energy += gain * gain;
        }
        const auto scale = static_cast<float>(std::sqrt(std::pow(10.0, r.tailDb / 10.0) / energy));
        const std::string text = randomText(rng);
        const Audio direct =
            test::padded(test::encode(Plan::Audible, r.rate, text), r.rate, 0.3, 0.8);
        Audio audio = direct;
        for (const auto& [lag, gain] : taps) {
            for (size_t n = lag; n < audio.size(); ++n) audio[n] += scale * gain * direct[n - lag];
        }
        test::addNoise(audio, 1e-3, static_cast<unsigned>(300 + i));
        for (const auto& m : receive(kAudible, r.rate, audio)) {
            EXPECT_EQ(std::string(m.text.data()), text);
            heard += std::string(m.text.data()) == text ? 1 : 0;
        }
    }
    EXPECT_GE(heard, count - 2);
}

INSTANTIATE_TEST_SUITE_P(Rooms, RobustReverberant,
                         ::testing::Values(Reverberation{48000.0f, 0.6, 12.0},
                                           Reverberation{48000.0f, 0.8, 12.0}));

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
        for (const auto& m : receive(kAudible, rate, audio)) {
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
        for (const auto* plans : {&kAudible, &kAll}) {
            RobustReceiver rx(*plans, makeTuning(rate));
            EXPECT_TRUE(receive(rx, *audio, 4096).empty()) << plans->size() << " plans";
            // Nothing there follows the hopping tone pairs, so nothing is decoded in full.
            EXPECT_EQ(rx.stats().starts, 0) << plans->size() << " plans";
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
    for (const auto* plans : {&kAudible, &kAll}) {
        const auto got = receive(*plans, rate, junk);
        ASSERT_EQ(got.size(), 1u);
        EXPECT_EQ(std::string(got[0].text.data()), "r0bust123");
    }
}

// At a few rates the hop is close to a multiple of the tone spacing (88200 Hz: the audible plan's
// 689 Hz spacing and 2067 Hz hop, three spacings), so tones at one hop sound where others lie at
// another. The pair check leaves those out and still tells a hopping pair from other sound.
TEST(RobustReceiver, HearsRatesWhereTonesOfDifferentHopsMeet) {
    std::mt19937 rng(41);
    for (float rate : {88200.0f, 176400.0f, 132300.0f}) {
        for (int i = 0; i < 3; ++i) {
            const std::string text = i == 0 ? "r0bust987" : randomText(rng);
            const auto got =
                receive(kAudible, rate,
                        test::padded(test::encode(Plan::Audible, rate, text), rate, 0.3, 0.3));
            ASSERT_EQ(got.size(), 1u) << text << " at " << rate;
            EXPECT_EQ(std::string(got[0].text.data()), text);
        }
    }
    // Sound that does not hop is still no hopping pair there.
    const float rate = 88200.0f;
    RobustReceiver rx(kAudible, makeTuning(rate));
    EXPECT_TRUE(receive(rx, voices(rate, 10.0, 4, 3), 4096).empty());
    EXPECT_EQ(rx.stats().starts, 0);
}

// ---- A candidate its data symbols moved ---------------------------------------------------------

// A transmission whose start is not sharp (a second tone as loud as the start tones sounds through
// both start symbols) and whose data symbols sound `ppm` higher than its start symbols, as from a
// sender whose clock changed; each data symbol has, at the hop the symbol before used, a second
// pair (another text's, at the start symbols' frequencies) `contrast` times weaker than its own.
Audio movedByData(float rate, int ppm, double contrast) {
    const int d = symbolDuration(rate);
    const Tuning tuning = makeTuning(rate);
    const std::vector<int> own = test::frameOf("m0ved1234");
    const std::vector<int> other = test::frameOf("dec0de567");
    Audio audio = test::synthesise(Plan::Audible, rate, own);
    std::fill(audio.begin() + kStartSymbols * d, audio.end(), 0.0f);
    const double w = 2.0 * test::kPi / rate;
    const double unsharp = toneFrequency(Plan::Audible, 6, tuning);
    for (size_t k = 0; k < size_t(kStartSymbols * d); ++k) {
        audio[k] += float(0.7 * std::sin(w * unsharp * double(k)));
    }
    const double gain = 1.0 / std::sqrt(contrast);
    const int plateau = d * 17 / 20;  // the encoder's fade-in, plateau and fade-out, roughly
    for (int p = kStartSymbols; p < kTransmissionSymbols; ++p) {
        float f[2];
        float g[2];
        symbolFrequencies(Plan::Audible, own[size_t(p)], p, tuning, f);
        symbolFrequencies(Plan::Audible, other[size_t(p - 1)], p - 1, tuning, g);
        for (int k = 0; k < plateau; ++k) {
            double v = 0.0;
            for (int i = 0; i < 2; ++i) {
                v += 0.33 * std::sin(w * f[i] * (1.0 + ppm * 1e-6) * k);
                if (p > kStartSymbols) v += 0.33 * gain * std::sin(w * g[i] * k);
            }
            audio[size_t(p * d + k)] = float(v);
        }
    }
    return test::padded(audio, rate, 0.3, 0.3);
}

struct Moved {
    int ppm;
    double contrast;
    bool heard;
};

void PrintTo(const Moved& m, std::ostream* os) {
    *os << m.ppm << " ppm, contrast " << m.contrast;
}

class RobustMoved : public ::testing::TestWithParam<Moved> {};

// Where the data symbols sound higher than the start symbols, the pair check at the start's drift
// finds them weak beside the other text's pair and moves the candidate to the drift they give. A
// candidate moved there is the best of many places, so it must clear the pair check by
// kMovedContrastMargin: 500 ppm up, the pairs pass there from a contrast of about 0.56 without the
// margin and from about 0.65 with it. In between the candidate is dropped before it is decoded.
TEST_P(RobustMoved, PassesThePairCheckOnlyPastTheMargin) {
    const Moved m = GetParam();
    for (float rate : {44100.0f, 48000.0f}) {
        RobustReceiver rx(kAudible, makeTuning(rate));
        const auto got = receive(rx, movedByData(rate, m.ppm, m.contrast), 1000);
        EXPECT_EQ(got.size(), m.heard ? 1u : 0u) << rate;
        EXPECT_EQ(rx.stats().starts, m.heard ? 1 : 0) << rate;
        for (const auto& message : got) EXPECT_EQ(std::string(message.text.data()), "m0ved1234");
    }
}

INSTANTIATE_TEST_SUITE_P(Pairs, RobustMoved,
                         ::testing::Values(Moved{0, 1.5, true}, Moved{500, 0.6, false},
                                           Moved{500, 0.8, true}),
                         [](const auto& info) {
                             return "up_" + std::to_string(info.param.ppm) + "_ppm_contrast_" +
                                    std::to_string(int(info.param.contrast * 100)) + "_percent";
                         });

// Every receiver that is built can hear what it listens for; what it could not hear is refused
// when it is built, with the reason.
TEST(RobustReceiver, RefusesAtConstructionWhatItCannotHear) {
    const float nan = std::nanf("");
    const std::vector<std::pair<std::vector<Plan>, float>> cases = {
        {{}, 44100.0f},  // nothing to listen for
        {{Plan::Audible, Plan::NonAudible, Plan::Compression, Plan::Custom}, 44100.0f},
        {kNonAudible, 22050.0f},  // reaches beyond half the rate
        {kAll, 22050.0f},         // two of the three do
        {kAudible, 390000.0f},    // the nine tones merge into one
        {kAudible, nan},
        {kAudible, -1.0f},
        {kAudible, 999.0f},
        {kAudible, 1000001.0f},
        {kAudible, 1e9f}};
    for (const auto& [plans, rate] : cases) {
        try {
            RobustReceiver rx(plans, makeTuning(rate));
            ADD_FAILURE() << plans.size() << " plans at " << rate << " Hz were accepted";
        } catch (const std::invalid_argument& e) {
            EXPECT_NE(std::string(e.what()).find("robust receiver: "), std::string::npos);
        }
    }
}

TEST(RobustReceiver, NamesWhyItRefuses) {
    auto reason = [](const std::vector<Plan>& plans, float rate) {
        try {
            RobustReceiver rx(plans, makeTuning(rate));
        } catch (const std::invalid_argument& e) {
            return std::string(e.what());
        }
        return std::string("accepted");
    };
    EXPECT_EQ(reason(kAudible, 2e6f),
              "robust receiver: sample rate 2000000 Hz is outside 1000..1000000 Hz");
    EXPECT_EQ(reason({}, 44100.0f), "robust receiver: 0 plans given, it listens for 1..3");
    EXPECT_EQ(reason(kAudible, 390000.0f),
              "robust receiver: plan 0 cannot be heard at 390000 Hz: its tones 3046.88 Hz..7181.25 "
              "Hz must be distinct and lie below half the rate");
}

// The word search (tryDecode's third step) on transmissions made hard on purpose. Each data
// symbol is sounded as its tone pair, and some get a third tone of the plan:
//  - a "third" symbol: the pair's tones at 1 and a third tone c at 1.06, so the two wrong pairs
//    with c score 2.06 (their order left to chance) and the right pair 2: only erasing the
//    symbol helps, and its lead of almost nothing makes it one of the least reliable;
//  - a "second" symbol: the pair's lower tone at 1, c at 0.95 and its higher tone at 0.9: the
//    right pair scores 1.9, second to a wrong one at 1.95 with a lead of 0.05, so the right
//    word needs this symbol at its second best pair.
// The third symbols rank least reliable, then the second ones, then the clean symbols (leads
// near 1). Tone 8 sounds in the first data symbol, so no tone looks low-passed away.
class RobustSearch : public ::testing::Test {
  protected:
    static constexpr float kRate = 44100.0f;
    const std::string text_ = "e6hard0k3";
    std::vector<int> frame_ = test::frameOf(text_);

    // Tones (tone, relative amplitude) sounded at each of the 20 positions.
    using Tones = std::vector<std::pair<int, float>>;

    std::vector<Tones> plainTones() const {
        std::vector<Tones> tones(kTransmissionSymbols);
        tones[0] = {{0, 0.7f / 0.325f}};  // start symbols: their lower tone alone, louder
        tones[1] = {{2, 0.675f / 0.325f}};
        for (int p = kStartSymbols; p < kTransmissionSymbols; ++p) {
            int pair[2];
            symbolToTonePair(frame_[static_cast<size_t>(p)], pair);
            tones[static_cast<size_t>(p)] = {{pair[0], 1.0f}, {pair[1], 1.0f}};
        }
        return tones;
    }
    // A tone of 0..4 that is not in the pair at p: every pair it forms carries a symbol.
    int otherTone(int p) const {
        int pair[2];
        symbolToTonePair(frame_[static_cast<size_t>(p)], pair);
        for (int c = 0;; ++c) {
            if (c != pair[0] && c != pair[1]) return c;
        }
    }
    void makeThird(std::vector<Tones>& tones, int p) const {
        tones[static_cast<size_t>(p)].push_back({otherTone(p), 1.06f});
    }
    // Where it can, c lies above the pair's tones, so the right pair comes before the wrong one
    // in symbol order and is second only once the wrong one displaces it from the top.
    void makeSecond(std::vector<Tones>& tones, int p) const {
        auto& t = tones[static_cast<size_t>(p)];
        const int a = t[0].first;
        const int b = t[1].first;
        t[1].second = 0.9f;
        t.push_back({a <= 4 && b < kToneCount - 1 ? b + 1 : otherTone(p), 0.95f});
    }

    // The audible plan's tones at each position's hop, each of amplitude 0.325 x its relative
    // amplitude under the encoder's envelope, with 0.3 s of silence either side and a little
    // noise.
    Audio sound(const std::vector<Tones>& tones) const {
        const Tuning tuning = makeTuning(kRate);
        const int d = symbolDuration(kRate);
        const float hopHz = frequencyPlan(Plan::Audible, tuning).hopStepHz;
        Audio out(static_cast<size_t>(d) * kTransmissionSymbols, 0.0f);
        const int fadeIn = static_cast<int>(d * 0.075);
        const int fadeOut = static_cast<int>(d * 0.1);
        const int tail = static_cast<int>(d * 0.05);
        for (int p = 0; p < kTransmissionSymbols; ++p) {
            for (const auto& [tone, gain] : tones[static_cast<size_t>(p)]) {
                const double f = toneFrequency(Plan::Audible, tone, tuning) +
                                 hopHz * static_cast<float>(hopSteps(p));
                for (int k = 0; k < d - tail; ++k) {
                    const double envelope = std::min({1.0, static_cast<double>(k) / fadeIn,
                                                      static_cast<double>(d - tail - k) / fadeOut});
                    out[static_cast<size_t>(p) * d + k] += static_cast<float>(
                        0.325 * gain * envelope * std::sin(2.0 * test::kPi * f * k / kRate));
                }
            }
        }
        Audio a = test::padded(out, kRate, 0.3, 0.3);
        test::addNoise(a, 1e-4, 7);
        return a;
    }

    struct Heard {
        std::vector<ReceivedMessage> messages;
        RobustStats stats;
    };
    Heard hear(const Audio& audio) const {
        RobustReceiver rx(kAudible, makeTuning(kRate));
        Heard h;
        h.messages = receive(rx, audio, 4096);
        h.stats = rx.stats();
        return h;
    }
    void expectText(const Heard& h) const {
        ASSERT_EQ(h.messages.size(), 1u);
        EXPECT_EQ(std::string(h.messages[0].text.data()), text_);
        EXPECT_TRUE(h.messages[0].ok);
        EXPECT_EQ(h.stats.starts, 1);  // one candidate decoded: the words below are its own
    }
};

// The limit of the search is the code's: as many erasures as parity symbols.
static_assert(WordSearch::kMaxErasures == ReedSolomonCodec::kParityLength);

// Eight symbols that only erasing them fixes: decodable with all eight erased, the most the code
// allows, and not with seven (the eighth would be an error on top: 2 + 7 > 8).
TEST_F(RobustSearch, UsesAsManyErasuresAsTheCodeHasParitySymbols) {
    std::vector<Tones> tones = plainTones();
    const int thirds[] = {3, 5, 7, 9, 11, 13, 15, 17};
    for (int p : thirds) makeThird(tones, p);
    const Heard h = hear(sound(tones));
    ASSERT_NO_FATAL_FAILURE(expectText(h));
    EXPECT_GT(h.messages[0].confidence, WordSearch::kAcceptThreshold);
}

// Nine such symbols are more than erasing fixes, but each leaves its three pairs about equally
// likely: the list of likeliest words (their posteriors about 3^-9) still finds the word sent,
// and no other.
TEST_F(RobustSearch, ListsTheWordWhenMoreSymbolsNeedErasingThanTheCodeAllows) {
    std::vector<Tones> tones = plainTones();
    for (int p : {3, 5, 7, 9, 11, 13, 15, 17, 19}) makeThird(tones, p);
    const Heard h = hear(sound(tones));
    ASSERT_NO_FATAL_FAILURE(expectText(h));
}

// Eight symbols to erase and seven more whose right pair is their second best: the right word
// is the last one the search tries at a timing (eight erased, every one of the seven trial
// symbols at its second best pair), so every trial must reach the symbol ranked just after the
// erased ones plus its own index.
TEST_F(RobustSearch, TriesTheSecondBestPairsOfTheSymbolsAfterTheErasedOnes) {
    std::vector<Tones> tones = plainTones();
    for (int p : {3, 5, 7, 9, 11, 13, 15, 17}) makeThird(tones, p);
    for (int p : {4, 6, 8, 10, 12, 14, 16}) makeSecond(tones, p);
    const Heard h = hear(sound(tones));
    ASSERT_NO_FATAL_FAILURE(expectText(h));
    // Not sure enough at the candidate's own timing: the full search at all three timings.
    EXPECT_LT(h.messages[0].confidence, RobustReceiver::kCertainConfidence);
    EXPECT_EQ(h.stats.words, 3 * WordSearch::kWordsPerTiming);
}

// Nine symbols whose right pair is their second best: more than correction alone fixes (eight
// erased and one error is 2 + 8 > 8), so the trials must put some of them at that pair.
TEST_F(RobustSearch, TriesTheSecondBestPairsOfTheLeastReliableSymbols) {
    std::vector<Tones> tones = plainTones();
    for (int p : {2, 4, 6, 9, 11, 12, 14, 16, 19}) makeSecond(tones, p);
    const Heard h = hear(sound(tones));
    ASSERT_NO_FATAL_FAILURE(expectText(h));
}

// Data symbols lost to a dropout (nothing but the faint noise there) pull the word's confidence
// below kAcceptThreshold however right the others are; the word's posterior still takes it, and a
// dropout too long for the code still gives nothing.
class RobustDropout : public RobustSearch,
                      public ::testing::WithParamInterface<std::pair<int, bool>> {};

TEST_P(RobustDropout, TakesTheLikeliestWordWhenTheCodeCanRecoverIt) {
    const auto [lost, heard] = GetParam();
    std::vector<Tones> tones = plainTones();
    for (int p = 8; p < 8 + lost; ++p) tones[static_cast<size_t>(p)].clear();
    const Heard h = hear(sound(tones));
    if (!heard) {
        EXPECT_TRUE(h.messages.empty());
        return;
    }
    ASSERT_NO_FATAL_FAILURE(expectText(h));
    EXPECT_LT(h.messages[0].confidence, WordSearch::kAcceptThreshold);
}

INSTANTIATE_TEST_SUITE_P(Symbols, RobustDropout,
                         ::testing::Values(std::pair{5, true}, std::pair{8, true},
                                           std::pair{9, false}));

// A word that takes every symbol at its best pair ends the search: a clean transmission costs
// one word.
TEST_F(RobustSearch, StopsAtAWordThatTakesEverySymbolAtItsBestPair) {
    const Heard h = hear(sound(plainTones()));
    ASSERT_NO_FATAL_FAILURE(expectText(h));
    EXPECT_FLOAT_EQ(h.messages[0].confidence, 1.0f);
    EXPECT_EQ(h.stats.words, 1);
}

// A word of kCertainConfidence or more at the candidate's own timing is not looked for one slice
// either side: one symbol whose right pair is not its best keeps the search going through every
// word at the candidate's timing (a word with every symbol at its best pair might still come),
// and no further.
TEST_F(RobustSearch, StopsAfterTheCandidatesTimingWhenTheWordIsSure) {
    std::vector<Tones> tones = plainTones();
    makeThird(tones, 8);
    const Heard h = hear(sound(tones));
    ASSERT_NO_FATAL_FAILURE(expectText(h));
    EXPECT_GE(h.messages[0].confidence, RobustReceiver::kCertainConfidence);
    EXPECT_LT(h.messages[0].confidence, 1.0f);
    EXPECT_EQ(h.stats.words, WordSearch::kWordsPerTiming);
}

}  // namespace
}  // namespace RYX
