// The all-modes decoder: it hears audible, non-audible and compression transmissions, reports
// which plan each used, ignores the custom plan and skips plans that do not fit the spectrum.
#include "decoder/decoder_all_multi_tone.h"

#include <gtest/gtest.h>

#include <string>

#include "decoder_test_util.h"

namespace RYX {
namespace {

using test::Audio;

struct Heard {
    Plan plan;
    float rate;
};

class DecoderAllRoundTripTest : public ::testing::TestWithParam<Heard> {};

TEST_P(DecoderAllRoundTripTest, EachPlanIsDecodedAndReported) {
    const Heard& c = GetParam();
    DecoderAllMultiTone decoder(makeTuning(c.rate));
    EXPECT_EQ(decoder.decodedMode(), -1);
    const Audio audio = test::padded(test::encode(c.plan, c.rate, "allmodes7"), c.rate, 0.5, 0.3);
    const std::vector<test::Event> events = test::feed(decoder, audio, 1000);
    ASSERT_EQ(test::values(events), test::expectedEvents(test::frameOf("allmodes7")));
    EXPECT_EQ(decoder.decodedMode(), static_cast<int>(c.plan));
    EXPECT_EQ(test::fetch(decoder), std::make_pair(9, std::string("allmodes7")));
    EXPECT_EQ(decoder.unchangedRatio(), 1.0f);
    EXPECT_GT(decoder.meanToneSnr(), 15.0f);

    // Submode 0 keeps its listening history in the same slots as the audible decoder, so both
    // hear the same events on the same frames.
    if (c.plan == Plan::Audible) {
        MultiToneDecoder single(c.plan, makeTuning(c.rate));
        EXPECT_EQ(test::feed(single, audio, 1000), events);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Plans, DecoderAllRoundTripTest,
    ::testing::Values(Heard{Plan::Audible, 44100.0f}, Heard{Plan::NonAudible, 44100.0f},
                      Heard{Plan::Compression, 44100.0f}, Heard{Plan::Audible, 48000.0f},
                      Heard{Plan::NonAudible, 48000.0f}, Heard{Plan::Compression, 48000.0f},
                      Heard{Plan::Audible, 22050.0f}));

TEST(DecoderAllTest, SuccessiveMessagesInDifferentPlansReportTheirOwnMode) {
    const float rate = 48000.0f;
    DecoderAllMultiTone decoder(makeTuning(rate));
    Audio audio(static_cast<size_t>(rate / 2), 0.0f);
    const Plan order[] = {Plan::Compression, Plan::Audible, Plan::NonAudible};
    for (Plan plan : order) {
        const Audio message = test::encode(plan, rate, "sequence0");
        audio.insert(audio.end(), message.begin(), message.end());
        audio.resize(audio.size() + static_cast<size_t>(rate), 0.0f);
    }
    size_t at = 0;
    for (Plan plan : order) {
        int r = 0;
        while (r != -3) {
            ASSERT_LT(at, audio.size());
            r = decoder.DecodeAudioBuffer(audio.data() + at, 512);
            at += 512;
            while (r != -1 && r != -3) r = decoder.DecodeAudioBuffer(nullptr, 0);
        }
        EXPECT_EQ(decoder.decodedMode(), static_cast<int>(plan));
        EXPECT_EQ(test::fetch(decoder), std::make_pair(9, std::string("sequence0")));
    }
}

TEST(DecoderAllTest, CustomPlanAndSilenceAreNotHeard) {
    const float rate = 48000.0f;
    DecoderAllMultiTone decoder(makeTuning(rate));
    Audio audio = test::padded(
        test::encode(Plan::Custom, rate, "custom000", CustomBand{10000.0f, 1}), rate, 0.5, 0.5);
    audio.resize(audio.size() + static_cast<size_t>(10 * rate), 0.0f);
    Audio noise(static_cast<size_t>(20 * rate), 0.0f);
    test::addNoise(noise, 0.2, 99);
    audio.insert(audio.end(), noise.begin(), noise.end());
    EXPECT_TRUE(test::feed(decoder, audio, 4096).empty());
    EXPECT_EQ(decoder.decodedMode(), -1);
    EXPECT_EQ(decoder.decodeState(), 0);
}

struct Skipped {
    float rate;
    bool fits[3];
};

class DecoderAllLowRateTest : public ::testing::TestWithParam<Skipped> {};

// Submodes above the Nyquist bin are skipped; a fitting one still decodes.
TEST_P(DecoderAllLowRateTest, SubmodesThatDoNotFitAreSkipped) {
    const Skipped& c = GetParam();
    for (int m = 0; m < 3; ++m) {
        DecoderAllMultiTone decoder(makeTuning(c.rate));
        EXPECT_EQ(decoder.submodeFits(m), c.fits[m]) << m;
        const Plan plan = static_cast<Plan>(m);
        Audio audio = test::padded(test::encode(plan, c.rate, "skipped00"), c.rate, 0.5, 0.3);
        test::addNoise(audio, 0.01, 3);
        const std::vector<int> events = test::values(test::feed(decoder, audio, 500));
        if (c.fits[m]) {
            EXPECT_EQ(events, test::expectedEvents(test::frameOf("skipped00")));
            EXPECT_EQ(decoder.decodedMode(), m);
        } else {
            EXPECT_TRUE(events.empty()) << m;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Rates, DecoderAllLowRateTest,
                         ::testing::Values(Skipped{22050.0f, {true, false, false}},
                                           Skipped{16000.0f, {false, false, false}},
                                           Skipped{11025.0f, {false, false, false}},
                                           Skipped{8000.0f, {false, false, false}}));

}  // namespace
}  // namespace RYX
