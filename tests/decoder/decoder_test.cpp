// The decoder base: sizes, framing and the sample store, message fetching and the quality
// measures.
#include "decoder/decoder.h"

#include <gtest/gtest.h>

#include <cstring>
#include <tuple>

#include "decoder_test_util.h"
#include "dsp/spectrum_analyzer.h"

namespace RYX {
namespace {

using test::Audio;

struct Sizes {
    float rate;
    int frameAdvance;
    int ring;
    int half;
    int tolerance;
};

class DecoderSizesTest : public ::testing::TestWithParam<Sizes> {};

TEST_P(DecoderSizesTest, FramingFollowsTheRate) {
    const Sizes s = GetParam();
    DecoderAudibleMultiTone decoder(makeTuning(s.rate));
    EXPECT_EQ(decoder.framer().frameAdvance(), s.frameAdvance);
    EXPECT_EQ(decoder.ringFrames(), s.ring);
    EXPECT_EQ(decoder.ringFrames() / 2, s.half);
    EXPECT_EQ(decoder.ring().startTolerance(), s.tolerance);
    EXPECT_EQ(decoder.analyzer().hop(), s.frameAdvance);
    EXPECT_EQ(decoder.framer().capacity(), 4u * static_cast<size_t>(decoder.windowSize()));
}

INSTANTIATE_TEST_SUITE_P(
    Rates, DecoderSizesTest,
    ::testing::Values(Sizes{48000.0f, 64, 157, 78, 4}, Sizes{44100.0f, 256, 36, 18, 1},
                      Sizes{22050.0f, 128, 36, 18, 1}, Sizes{16000.0f, 64, 52, 26, 1},
                      Sizes{11025.0f, 64, 36, 18, 1}, Sizes{8000.0f, 64, 26, 13, 1}));

class DecoderFramingTest : public ::testing::TestWithParam<float> {};

// Every frame is the N samples that start frameAdvance after the previous frame's start, also
// when it wraps around the end of the store.
TEST_P(DecoderFramingTest, FramesOverlapByWindowMinusAdvance) {
    const float rate = GetParam();
    const int n = windowSizeFor(rate);
    DecoderAllMultiTone decoder(makeTuning(rate));
    const int advance = decoder.framer().frameAdvance();
    Audio noise(static_cast<size_t>(20 * n), 0.0f);
    test::addNoise(noise, 0.3, 7);
    SpectrumAnalyzer reference(n, advance);
    for (size_t at = 0; at < noise.size(); at += 1000) {
        const int count = static_cast<int>(std::min<size_t>(1000, noise.size() - at));
        ASSERT_EQ(decoder.DecodeAudioBuffer(noise.data() + at, count), -1);
        const long long frames = decoder.framer().framesTaken();
        const size_t fed = at + static_cast<size_t>(count);
        ASSERT_EQ(frames, fed < static_cast<size_t>(n) ? 0 : (fed - n) / advance + 1);
        ASSERT_EQ(decoder.framer().unconsumedSamples(),
                  fed - static_cast<size_t>(frames) * advance);
        ASSERT_LT(decoder.framer().unconsumedSamples(), static_cast<size_t>(n));
        if (frames == 0) continue;
        reference.analyze(noise.data() + static_cast<size_t>(frames - 1) * advance);
        ASSERT_EQ(0, std::memcmp(reference.powerSpectrum(), decoder.analyzer().powerSpectrum(),
                                 sizeof(float) * static_cast<size_t>(n / 2 + 1)))
            << "frame " << frames - 1;
    }
}

// Feeding a message one sample at a time, in odd buffers, in buffers larger than the store and
// in one call for the whole recording gives the same events on the same frames.
TEST_P(DecoderFramingTest, EventsDoNotDependOnBufferSizes) {
    const float rate = GetParam();
    const int n = windowSizeFor(rate);
    const std::vector<int> frame = test::frameOf("chunk0123");
    const Audio audio = test::padded(test::synthesise(Plan::Audible, rate, frame), rate, 0.4, 0.3);
    std::vector<test::Event> first;
    for (size_t chunk : {size_t{1}, size_t{255}, size_t{256}, size_t{1000}, size_t{1024},
                         static_cast<size_t>(3 * n), size_t{4096}, size_t{0}}) {
        DecoderAudibleMultiTone decoder(makeTuning(rate));
        const std::vector<test::Event> events = test::feed(decoder, audio, chunk);
        EXPECT_EQ(test::values(events), test::expectedEvents(frame)) << "chunk " << chunk;
        if (first.empty()) {
            first = events;
        } else {
            EXPECT_EQ(events, first) << "chunk " << chunk;
        }
        EXPECT_EQ(decoder.framer().framesTaken(),
                  static_cast<long long>((audio.size() - n) / decoder.framer().frameAdvance() + 1));
    }
}

INSTANTIATE_TEST_SUITE_P(Rates, DecoderFramingTest, ::testing::Values(44100.0f, 48000.0f));

TEST(DecoderStoreTest, EmptyCallsAppendNothingButProcessQueuedFrames) {
    DecoderAudibleMultiTone decoder(makeTuning(44100.0f));
    Audio samples(3000, 0.1f);
    EXPECT_EQ(decoder.DecodeAudioBuffer(samples.data(), 2047), -1);
    EXPECT_EQ(decoder.framer().unconsumedSamples(), 2047u);
    EXPECT_EQ(decoder.DecodeAudioBuffer(nullptr, 500), -1);
    EXPECT_EQ(decoder.DecodeAudioBuffer(samples.data(), -5), -1);
    EXPECT_EQ(decoder.DecodeAudioBuffer(samples.data(), 0), -1);
    EXPECT_EQ(decoder.framer().unconsumedSamples(), 2047u);
    EXPECT_EQ(decoder.framer().framesTaken(), 0);
    EXPECT_EQ(decoder.DecodeAudioBuffer(samples.data(), 1), -1);
    EXPECT_EQ(decoder.framer().framesTaken(), 1);
    EXPECT_EQ(decoder.framer().unconsumedSamples(), 2048u - 256u);
}

TEST(DecoderStoreTest, StoreGrowsToHoldAWholeRecording) {
    DecoderAudibleMultiTone decoder(makeTuning(44100.0f));
    Audio samples(100000, 0.0f);
    EXPECT_EQ(decoder.DecodeAudioBuffer(samples.data(), 100000), -1);
    EXPECT_GE(decoder.framer().capacity(), 100000u);
    EXPECT_EQ(decoder.framer().framesTaken(), (100000 - 2048) / 256 + 1);
}

class DecoderFetchTest : public ::testing::Test {
  protected:
    static constexpr float kRate = 44100.0f;
    DecoderAudibleMultiTone decoder_{makeTuning(kRate)};
};

TEST_F(DecoderFetchTest, NothingQueuedGivesMinusOneAndAnEmptyText) {
    char text[10];
    std::memset(text, 'x', sizeof text);
    EXPECT_EQ(decoder_.GetDecodedData(text), -1);
    EXPECT_EQ(text[0], 0);
    EXPECT_EQ(decoder_.GetDecodedData(nullptr), -1);
    EXPECT_EQ(decoder_.unchangedRatio(), 0.0f);
}

TEST_F(DecoderFetchTest, EveryQueuedMessageIsFetchedOnceInOrder) {
    std::vector<int> wrong = test::frameOf("first0000");
    wrong[4] = (wrong[4] + 5) % 32;  // one error, corrected: 11 of 12 unchanged
    Audio audio = test::padded(test::synthesise(Plan::Audible, kRate, wrong), kRate, 0.5, 1.0);
    const Audio second = test::synthesise(Plan::Audible, kRate, test::frameOf("second111"));
    audio.insert(audio.end(), second.begin(), second.end());
    audio.resize(audio.size() + 20000, 0.0f);

    // A fetch between the last symbol and -3 finds no complete message.
    size_t at = 0;
    int symbols = 0;
    while (symbols < 19) {
        const int r = decoder_.DecodeAudioBuffer(audio.data() + at, 64);
        at += 64;
        if (r >= 0 || r == -2) ++symbols;
    }
    EXPECT_EQ(decoder_.decodeState(), 19);
    EXPECT_EQ(test::fetch(decoder_).first, -1);

    std::vector<int> events = test::values(
        test::feed(decoder_, Audio(audio.begin() + static_cast<long>(at), audio.end()), 4096));
    ASSERT_EQ(std::count(events.begin(), events.end(), -3), 2);
    EXPECT_EQ(decoder_.GetDecodedData(nullptr), -1);  // consumes nothing
    EXPECT_EQ(test::fetch(decoder_), std::make_pair(9, std::string("first0000")));
    EXPECT_FLOAT_EQ(decoder_.unchangedRatio(), 11.0f / 12.0f);
    EXPECT_EQ(test::fetch(decoder_), std::make_pair(9, std::string("second111")));
    EXPECT_FLOAT_EQ(decoder_.unchangedRatio(), 1.0f);
    EXPECT_EQ(test::fetch(decoder_), std::make_pair(-1, std::string()));
    EXPECT_FLOAT_EQ(decoder_.unchangedRatio(), 1.0f);
    EXPECT_TRUE(decoder_.assembly().receivedSymbols().empty());
}

// Between -2 and -3 the two measures are running sums of per-period shares; -3 divides them by
// 18; the fetch then sets the unchanged ratio.
TEST_F(DecoderFetchTest, MeasuresRunDuringTheMessageAndAverageAtItsEnd) {
    const Audio audio =
        test::padded(test::encode(Plan::Audible, kRate, "measure99"), kRate, 0.5, 0.3);
    float lastSnrSum = -1.0f;
    float lastLevelSum = -1.0f;
    bool complete = false;
    for (size_t at = 0; at < audio.size() && !complete; at += 512) {
        int r = decoder_.DecodeAudioBuffer(audio.data() + at, 512);
        for (; r != -1 && !complete; r = decoder_.DecodeAudioBuffer(nullptr, 0)) {
            if (r == -2) {
                EXPECT_EQ(decoder_.meanToneSnr(), 0.0f);
                EXPECT_EQ(decoder_.receivedLevel(), 0.0f);
                EXPECT_EQ(decoder_.unchangedRatio(), 0.0f);
                lastSnrSum = lastLevelSum = 0.0f;
            } else if (r >= 0) {
                EXPECT_GT(decoder_.meanToneSnr(), lastSnrSum);
                EXPECT_GT(decoder_.receivedLevel(), lastLevelSum);
                lastSnrSum = decoder_.meanToneSnr();
                lastLevelSum = decoder_.receivedLevel();
            } else if (r == -3) {
                EXPECT_EQ(decoder_.meanToneSnr(), lastSnrSum / 18.0f);
                EXPECT_EQ(decoder_.receivedLevel(), lastLevelSum / 18.0f);
                complete = true;
            }
        }
    }
    ASSERT_TRUE(complete);
    EXPECT_EQ(test::fetch(decoder_), std::make_pair(9, std::string("measure99")));
    EXPECT_EQ(decoder_.unchangedRatio(), 1.0f);
    EXPECT_GT(decoder_.meanToneSnr(), 15.0f);
    const float confidence =
        std::min(1.0f, decoder_.meanToneSnr() / 15.0f) * decoder_.unchangedRatio();
    EXPECT_EQ(confidence, 1.0f);
    // Two tones of amplitude 0.325 carry about 2 x 0.325^2 of power, times (N/2 + 1) / H.
    EXPECT_NEAR(decoder_.receivedLevel(), 2 * 0.325 * 0.325 * 1025 / 18, 4.0);
}

TEST(DecoderBaseTest, MeasuresStartAtZero) {
    DecoderAudibleMultiTone audible(makeTuning(44100.0f));
    EXPECT_EQ(audible.decodedMode(), 0);
    EXPECT_EQ(audible.meanToneSnr(), 0.0f);
    EXPECT_EQ(audible.receivedLevel(), 0.0f);
}

}  // namespace
}  // namespace RYX
