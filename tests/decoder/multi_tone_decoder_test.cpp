// The single-plan decoders against the encoder's audio: exact event sequences, the symbol grid,
// robustness to offsets, gain, noise and repeated messages, error correction through the air, and
// plans that do not fit the spectrum.
#include "decoder/multi_tone_decoder.h"

#include <gtest/gtest.h>

#include <limits>
#include <memory>
#include <string>

#include "decoder_test_util.h"

namespace RYX {
namespace {

using test::Audio;

struct RoundTrip {
    Plan plan;
    float rate;
    const char* text;
    float customBase;  // 0: keep the default
    int customStepParam;
};

std::string roundTripName(const ::testing::TestParamInfo<RoundTrip>& info) {
    return std::string(test::planName(info.param.plan)) + "_" +
           std::to_string(static_cast<int>(info.param.rate)) + "_" + std::to_string(info.index);
}

// The custom band of a case: the default when customBase is 0.
template <typename Case>
CustomBand bandOf(const Case& c) {
    return c.customBase != 0.0f ? CustomBand{c.customBase, c.customStepParam} : CustomBand{};
}

class MultiToneRoundTripTest : public ::testing::TestWithParam<RoundTrip> {};

// -2, the 18 symbols after the start in order, -3, and the text back. Each symbol period is
// H frames long and the next one starts R - H frames after the previous one was decided... so the
// decisions come H frames after the start and then alternately R - H and H frames apart.
TEST_P(MultiToneRoundTripTest, MessageComesBackExactly) {
    const RoundTrip& c = GetParam();
    const auto decoder = test::makeDecoder(c.plan, c.rate, bandOf(c));
    ASSERT_TRUE(static_cast<MultiToneDecoder&>(*decoder).planFits());
    const std::vector<int> frame = test::frameOf(c.text);
    const Audio audio =
        test::padded(test::encode(c.plan, c.rate, c.text, bandOf(c)), c.rate, 0.5, 0.3);
    const std::vector<test::Event> events = test::feed(*decoder, audio, 1024);
    ASSERT_EQ(test::values(events), test::expectedEvents(frame));

    const int r = decoder->ringFrames();
    const int h = r / 2;
    for (size_t i = 1; i < 19; ++i) {
        EXPECT_EQ(events[i].frame - events[i - 1].frame, i % 2 == 1 ? h : r - h) << i;
    }
    EXPECT_EQ(events[19].frame, events[18].frame + 1);

    EXPECT_EQ(test::fetch(*decoder), std::make_pair(9, std::string(c.text)));
    EXPECT_EQ(decoder->unchangedRatio(), 1.0f);
    // Texts of low tones keep all the energy inside the unshifted band: 14.7 dB for 000000000 in
    // the custom plan at 48000 Hz, 22.6 dB for hello0123 in the audible plan at 44100 Hz.
    EXPECT_GT(decoder->meanToneSnr(), 12.0f);
    EXPECT_EQ(decoder->decodedMode(), static_cast<int>(c.plan));
}

INSTANTIATE_TEST_SUITE_P(
    Modes, MultiToneRoundTripTest,
    ::testing::Values(RoundTrip{Plan::Audible, 44100.0f, "hello0123", 0.0f, 0},
                      RoundTrip{Plan::Audible, 48000.0f, "v0v1v2v3v", 0.0f, 0},
                      RoundTrip{Plan::Audible, 22050.0f, "abcdefghi", 0.0f, 0},
                      RoundTrip{Plan::NonAudible, 44100.0f, "jklmnopqr", 0.0f, 0},
                      RoundTrip{Plan::NonAudible, 48000.0f, "stuv01234", 0.0f, 0},
                      RoundTrip{Plan::Compression, 44100.0f, "56789abcd", 0.0f, 0},
                      RoundTrip{Plan::Compression, 48000.0f, "efghijklm", 0.0f, 0},
                      RoundTrip{Plan::Custom, 44100.0f, "nopqrstuv", 0.0f, 0},
                      RoundTrip{Plan::Custom, 48000.0f, "000000000", 0.0f, 0},
                      RoundTrip{Plan::Custom, 44100.0f, "custom15k", 15000.0f, 2},
                      RoundTrip{Plan::Custom, 48000.0f, "custom15k", 15000.0f, 2}),
    roundTripName);

class MultiToneRobustnessTest : public ::testing::Test {
  protected:
    static constexpr float kRate = 44100.0f;
};

// After half a second of silence the message may begin at any sample.
TEST_F(MultiToneRobustnessTest, AnyStartOffsetDecodes) {
    for (float rate : {44100.0f, 48000.0f}) {
        const Audio message = test::encode(Plan::Audible, rate, "offset789");
        const std::vector<int> expected = test::expectedEvents(test::frameOf("offset789"));
        const size_t lead = static_cast<size_t>(rate / 2);
        const int n = windowSizeFor(rate);
        for (int offset = 0; offset <= 2 * n; offset += 37) {
            Audio audio(lead + static_cast<size_t>(offset), 0.0f);
            audio.insert(audio.end(), message.begin(), message.end());
            audio.resize(audio.size() + 4 * static_cast<size_t>(n), 0.0f);
            const auto decoder = test::makeDecoder(Plan::Audible, rate);
            ASSERT_EQ(test::values(test::feed(*decoder, audio, 4096)), expected)
                << rate << " Hz, offset " << offset;
            ASSERT_EQ(test::fetch(*decoder).first, 9);
        }
    }
}

TEST_F(MultiToneRobustnessTest, QuietAndFullScaleGiveTheSameEvents) {
    for (Plan plan : {Plan::Audible, Plan::NonAudible, Plan::Compression, Plan::Custom}) {
        const Audio audio = test::padded(test::encode(plan, kRate, "gain01234"), kRate, 0.5, 0.3);
        std::vector<test::Event> reference;
        for (float gain : {1.0f, 0.01f}) {
            Audio scaled = audio;
            for (float& v : scaled) v *= gain;
            const auto decoder = test::makeDecoder(plan, kRate);
            const std::vector<test::Event> events = test::feed(*decoder, scaled, 2000);
            EXPECT_EQ(test::values(events), test::expectedEvents(test::frameOf("gain01234")))
                << test::planName(plan) << " gain " << gain;
            if (reference.empty()) reference = events;
            EXPECT_EQ(events, reference);
            EXPECT_EQ(test::fetch(*decoder), std::make_pair(9, std::string("gain01234")));
        }
    }
}

TEST_F(MultiToneRobustnessTest, TwoMessagesOneSecondApartBothDecode) {
    for (float rate : {44100.0f, 48000.0f}) {
        Audio audio =
            test::padded(test::encode(Plan::NonAudible, rate, "tvice0000"), rate, 0.5, 1.0);
        const Audio second = test::encode(Plan::NonAudible, rate, "tvice1111");
        audio.insert(audio.end(), second.begin(), second.end());
        audio.resize(audio.size() + static_cast<size_t>(rate / 4), 0.0f);
        std::vector<int> expected = test::expectedEvents(test::frameOf("tvice0000"));
        const std::vector<int> expected2 = test::expectedEvents(test::frameOf("tvice1111"));
        expected.insert(expected.end(), expected2.begin(), expected2.end());

        const auto decoder = test::makeDecoder(Plan::NonAudible, rate);
        EXPECT_EQ(test::values(test::feed(*decoder, audio, 777)), expected) << rate;
        EXPECT_EQ(test::fetch(*decoder), std::make_pair(9, std::string("tvice0000")));
        EXPECT_EQ(test::fetch(*decoder), std::make_pair(9, std::string("tvice1111")));
    }
}

// White noise as strong as the whole message (0 dB over the full band).
TEST_F(MultiToneRobustnessTest, WhiteNoiseAtZeroDecibelsDecodes) {
    unsigned seed = 11;
    for (Plan plan : {Plan::Audible, Plan::NonAudible, Plan::Compression}) {
        for (float rate : {44100.0f, 48000.0f}) {
            const Audio message = test::encode(plan, rate, "noisv4567");
            Audio audio = test::padded(message, rate, 0.5, 0.3);
            test::addNoise(audio, std::sqrt(test::meanPower(message)), seed++);
            const auto decoder = test::makeDecoder(plan, rate);
            const std::vector<int> events = test::values(test::feed(*decoder, audio, 1024));
            EXPECT_EQ(events, test::expectedEvents(test::frameOf("noisv4567")))
                << test::planName(plan) << " " << rate;
            EXPECT_EQ(test::fetch(*decoder), std::make_pair(9, std::string("noisv4567")));
        }
    }
}

// A minute of digital silence and a minute of white noise never start a message.
TEST_F(MultiToneRobustnessTest, SilenceAndNoiseAloneNeverStartAMessage) {
    struct Listener {
        bool all;
        Plan plan;
        float rate;
    };
    for (const Listener& l :
         {Listener{false, Plan::Audible, 44100.0f}, Listener{false, Plan::NonAudible, 44100.0f},
          Listener{true, Plan::Audible, 48000.0f}}) {
        const int n = windowSizeFor(l.rate);
        std::unique_ptr<Decoder> decoder;
        if (l.all) {
            decoder = std::make_unique<DecoderAllMultiTone>(makeTuning(l.rate));
        } else {
            decoder = test::makeDecoder(l.plan, l.rate);
        }
        Audio block(static_cast<size_t>(l.rate), 0.0f);
        for (int second = 0; second < 60; ++second) {
            ASSERT_EQ(decoder->DecodeAudioBuffer(block.data(), static_cast<int>(block.size())), -1);
        }
        for (int second = 0; second < 60; ++second) {
            std::fill(block.begin(), block.end(), 0.0f);
            test::addNoise(block, 0.2, 1000u + static_cast<unsigned>(second));
            ASSERT_EQ(decoder->DecodeAudioBuffer(block.data(), static_cast<int>(block.size())), -1)
                << test::planName(l.plan) << " " << l.rate << " second " << second;
        }
        EXPECT_EQ(decoder->decodeState(), 0);
        EXPECT_EQ(decoder->framer().framesTaken(),
                  static_cast<long long>((120 * static_cast<size_t>(l.rate) - n) /
                                             static_cast<size_t>(decoder->framer().frameAdvance()) +
                                         1));
    }
}

struct Corruption {
    std::vector<int> positions;  // frame positions 2..19 replaced by another symbol
    float unchangedRatio;
};

class MultiToneCorrectionTest : public ::testing::TestWithParam<Corruption> {};

// The wrong symbols are heard as sent and corrected by the code; only wrong message symbols
// (positions up to 11) lower the unchanged ratio.
TEST_P(MultiToneCorrectionTest, UpToFourWrongSymbolsAreCorrected) {
    const float rate = 44100.0f;
    std::vector<int> frame = test::frameOf("correct42");
    for (int p : GetParam().positions) frame[static_cast<size_t>(p)] ^= 0x15;
    const Audio audio =
        test::padded(test::synthesise(Plan::Compression, rate, frame), rate, 0.5, 0.3);
    const auto decoder = test::makeDecoder(Plan::Compression, rate);
    ASSERT_EQ(test::values(test::feed(*decoder, audio, 1024)), test::expectedEvents(frame));
    EXPECT_EQ(test::fetch(*decoder), std::make_pair(9, std::string("correct42")));
    EXPECT_FLOAT_EQ(decoder->unchangedRatio(), GetParam().unchangedRatio);
}

INSTANTIATE_TEST_SUITE_P(
    Errors, MultiToneCorrectionTest,
    ::testing::Values(Corruption{{2}, 11.0f / 12}, Corruption{{11}, 11.0f / 12},
                      Corruption{{15}, 1.0f}, Corruption{{10, 19}, 11.0f / 12},
                      Corruption{{3, 11, 12}, 10.0f / 12}, Corruption{{2, 5, 8, 10}, 8.0f / 12},
                      Corruption{{9, 10, 11, 12}, 9.0f / 12}, Corruption{{12, 14, 16, 18}, 1.0f}));

TEST(MultiToneCorrectionLimitTest, FiveOrMoreWrongSymbolsNeverCrash) {
    const float rate = 44100.0f;
    for (int errors = 5; errors <= 18; errors += 3) {
        std::vector<int> frame = test::frameOf("toomanv00");
        for (int i = 0; i < errors; ++i) frame[static_cast<size_t>(2 + i)] ^= 0x0b;
        const Audio audio =
            test::padded(test::synthesise(Plan::Audible, rate, frame), rate, 0.5, 0.3);
        const auto decoder = test::makeDecoder(Plan::Audible, rate);
        ASSERT_EQ(test::values(test::feed(*decoder, audio, 1024)), test::expectedEvents(frame));
        const auto [result, text] = test::fetch(*decoder);
        EXPECT_TRUE(result == 9 || result == -9) << errors;
        EXPECT_EQ(text.size(), 9u);
    }
}

// Words that are no transmission are refused whatever their checksum: the start symbols then
// eighteen zeros (what noise that decodes as symbol 0 gives) correct to the all-zero word, whose
// checksum matches but whose start symbols are gone.
TEST(MultiToneCorrectionLimitTest, WordsWithoutStartSymbolsAreRefused) {
    const float rate = 44100.0f;
    std::vector<int> frame(20, 0);
    frame[0] = 1;
    frame[1] = 19;
    const Audio audio = test::padded(test::synthesise(Plan::Audible, rate, frame), rate, 0.5, 0.3);
    const auto decoder = test::makeDecoder(Plan::Audible, rate);
    ASSERT_EQ(test::values(test::feed(*decoder, audio, 1024)), test::expectedEvents(frame));
    EXPECT_EQ(test::fetch(*decoder), std::make_pair(-9, std::string("000000000")));
}

struct LowRate {
    Plan plan;
    float rate;
    float customBase;  // 0: default
    int customStepParam;
    bool fits;
};

class MultiToneLowRateTest : public ::testing::TestWithParam<LowRate> {};

// A plan that fits decodes; one that does not never starts a message and reads nothing outside
// the spectrum (the sanitiser build checks the second half).
TEST_P(MultiToneLowRateTest, FittingPlansDecodeOthersStaySilent) {
    const LowRate& c = GetParam();
    MultiToneDecoder decoder(c.plan, makeTuning(c.rate, bandOf(c)));
    EXPECT_EQ(decoder.planFits(), c.fits);
    Audio audio =
        test::padded(test::encode(c.plan, c.rate, "lovrate77", bandOf(c)), c.rate, 0.5, 0.3);
    test::addNoise(audio, 0.01, 5);
    const std::vector<int> events = test::values(test::feed(decoder, audio, 333));
    if (c.fits) {
        EXPECT_EQ(events, test::expectedEvents(test::frameOf("lovrate77")));
        EXPECT_EQ(test::fetch(decoder), std::make_pair(9, std::string("lovrate77")));
    } else {
        EXPECT_TRUE(events.empty());
        EXPECT_EQ(decoder.decodeState(), 0);
    }
}

INSTANTIATE_TEST_SUITE_P(Rates, MultiToneLowRateTest,
                         ::testing::Values(LowRate{Plan::Audible, 22050.0f, 0, 0, true},
                                           LowRate{Plan::NonAudible, 22050.0f, 0, 0, false},
                                           LowRate{Plan::Compression, 22050.0f, 0, 0, false},
                                           LowRate{Plan::Custom, 22050.0f, 0, 0, false},
                                           LowRate{Plan::Custom, 22050.0f, 5000.0f, 1, true},
                                           LowRate{Plan::Audible, 16000.0f, 0, 0, false},
                                           LowRate{Plan::NonAudible, 16000.0f, 0, 0, false},
                                           LowRate{Plan::Compression, 16000.0f, 0, 0, false},
                                           LowRate{Plan::Custom, 16000.0f, 0, 0, false},
                                           LowRate{Plan::Custom, 16000.0f, 500.0f, -1, true},
                                           LowRate{Plan::Audible, 11025.0f, 0, 0, false},
                                           LowRate{Plan::NonAudible, 11025.0f, 0, 0, false},
                                           LowRate{Plan::Compression, 11025.0f, 0, 0, false},
                                           LowRate{Plan::Custom, 11025.0f, 0, 0, false},
                                           LowRate{Plan::Custom, 11025.0f, 500.0f, -1, true},
                                           LowRate{Plan::Audible, 8000.0f, 0, 0, false},
                                           LowRate{Plan::NonAudible, 8000.0f, 0, 0, false},
                                           LowRate{Plan::Compression, 8000.0f, 0, 0, false},
                                           LowRate{Plan::Custom, 8000.0f, 0, 0, false},
                                           LowRate{Plan::Custom, 8000.0f, 300.0f, -1, false},
                                           LowRate{Plan::Custom, 44100.0f, -500.0f, 1, false},
                                           LowRate{Plan::Custom, 44100.0f,
                                                   std::numeric_limits<float>::quiet_NaN(), 1,
                                                   false},
                                           LowRate{Plan::Custom, 44100.0f, 1e30f, 1, false},
                                           LowRate{Plan::Custom, 44100.0f, 21000.0f, 1, false}));

// A custom decoder keeps the band it was built with while decoders of other bands (absurd steps
// included) are built and run in between, mid-message.
TEST(MultiToneCustomStepTest, OtherBandsBuiltDuringReceptionChangeNothing) {
    const float rate = 44100.0f;
    const Audio audio = test::padded(test::encode(Plan::Custom, rate, "stepstep0"), rate, 0.5, 1.0);
    for (int param : {2, 1000000, -1000000, 2147483000}) {
        DecoderCustomMultiTone decoder(makeTuning(rate));
        size_t at = 0;
        while (decoder.decodeState() < 3) {
            ASSERT_LT(at, audio.size());
            decoder.DecodeAudioBuffer(audio.data() + at, 256);
            at += 256;
        }
        DecoderCustomMultiTone other(makeTuning(rate, CustomBand{12000.0f, param}));
        test::feed(other, audio, 4096);
        const std::vector<int> events = test::values(
            test::feed(decoder, Audio(audio.begin() + static_cast<long>(at), audio.end()), 512));
        ASSERT_FALSE(events.empty()) << param;
        EXPECT_EQ(events.back(), -3) << param;
        EXPECT_EQ(test::fetch(decoder), std::make_pair(9, std::string("stepstep0"))) << param;
    }
}

// Digital silence followed by a steady tone at the second start symbol's tone: silence names no
// strongest tone, so the first half of the start pattern is not met and no message begins.
TEST(MultiToneSilenceTest, SilenceBeforeSecondStartToneIsNoStart) {
    for (Plan plan : {Plan::Audible, Plan::NonAudible, Plan::Compression}) {
        const float rate = 44100.0f;
        const double f = toneFrequency(plan, 2, makeTuning(rate));
        Audio audio(static_cast<size_t>(rate / 2), 0.0f);
        for (int k = 0; k < static_cast<int>(rate); ++k) {
            audio.push_back(static_cast<float>(0.3 * std::sin(2.0 * test::kPi * f * k / rate)));
        }
        std::unique_ptr<Decoder> decoder = test::makeDecoder(plan, rate);
        EXPECT_TRUE(test::feed(*decoder, audio, 1024).empty()) << test::planName(plan);
        DecoderAllMultiTone all(makeTuning(rate));
        EXPECT_TRUE(test::feed(all, audio, 1024).empty()) << test::planName(plan);
    }
}

}  // namespace
}  // namespace RYX
