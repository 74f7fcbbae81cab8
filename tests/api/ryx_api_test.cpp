// The flat API, exercised through its public header: lifecycle, encoding and read-out, decoding
// and the measures, and the refusals that keep bad calls harmless.
#include "ryxsound/ryx_api.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "api/quality_measures.h"
#include "api/shared_settings.h"

namespace {

// Owns one Context for a test; restores the settings the API shares between Contexts.
class ApiTest : public ::testing::Test {
  protected:
    void SetUp() override {
        saved_ = RYX::sharedSettings();
        ctx_ = RYX_Create();
        ASSERT_NE(ctx_, nullptr);
    }
    void TearDown() override {
        RYX_Destroy(ctx_);
        RYX::sharedSettings() = saved_;
    }

    // Every encoded sample, read out through RYX_GetEncodedAudioBuffer.
    std::vector<float> readAll(int bufferSize) {
        std::vector<float> audio, chunk(static_cast<size_t>(bufferSize));
        for (int n; (n = RYX_GetEncodedAudioBuffer(chunk.data(), ctx_)) > 0;) {
            audio.insert(audio.end(), chunk.begin(), chunk.begin() + n);
        }
        return audio;
    }

    // Feeds audio with half a second of silence on both sides in 1024-sample calls, draining
    // queued frames with count-0 calls, and returns every event other than -1.
    std::vector<int> receive(const std::vector<float>& audio, float rate) {
        std::vector<float> stream(static_cast<size_t>(rate / 2), 0.0f);
        stream.insert(stream.end(), audio.begin(), audio.end());
        stream.resize(stream.size() + static_cast<size_t>(rate / 2), 0.0f);
        std::vector<int> events;
        for (size_t at = 0; at < stream.size(); at += 1024) {
            const int count = static_cast<int>(std::min<size_t>(1024, stream.size() - at));
            int status = RYX_DecodeAudioBuffer(stream.data() + at, count, ctx_);
            while (status != -1) {
                events.push_back(status);
                status = RYX_DecodeAudioBuffer(nullptr, 0, ctx_);
            }
        }
        return events;
    }

    Context* ctx_ = nullptr;
    RYX::SharedSettings saved_;
};

// ---- Configure ----

struct RateCase {
    float rate;
    int spectrumCount;  // windowSize / 2
};

class ConfigureRate : public ApiTest, public ::testing::WithParamInterface<RateCase> {};

TEST_P(ConfigureRate, AcceptsRateWithItsWindow) {
    std::vector<float> spectrum(1024);
    ASSERT_EQ(RYX_Configure(RYX_MODE_AUDIBLE, GetParam().rate, 1024, ctx_), 0);
    EXPECT_EQ(RYX_GetSpectrum(spectrum.data(), ctx_), GetParam().spectrumCount);
}

INSTANTIATE_TEST_SUITE_P(Rates, ConfigureRate,
                         ::testing::Values(RateCase{48000.0f, 1024}, RateCase{44100.0f, 1024},
                                           RateCase{22050.0f, 512}, RateCase{11050.0f, 256},
                                           RateCase{11025.0f, 128}, RateCase{8000.0f, 128},
                                           RateCase{16000.0f, 128}, RateCase{48000.5f, 128},
                                           RateCase{96000.0f, 128}, RateCase{192000.0f, 128}));

class ConfigureRefusedRate : public ApiTest, public ::testing::WithParamInterface<float> {};

TEST_P(ConfigureRefusedRate, LeavesContextEmpty) {
    ASSERT_EQ(RYX_Configure(RYX_MODE_AUDIBLE, 44100.0f, 1024, ctx_), 0);
    EXPECT_EQ(RYX_Configure(RYX_MODE_AUDIBLE, GetParam(), 1024, ctx_), -1);
    EXPECT_EQ(RYX_GetDecodedMode(ctx_), -1);
    EXPECT_EQ(RYX_EncodeDataToAudioBuffer("hello0123", 9, 0, nullptr, 0, ctx_), -1);
}

INSTANTIATE_TEST_SUITE_P(Rates, ConfigureRefusedRate,
                         ::testing::Values(0.0f, -44100.0f, std::numeric_limits<float>::quiet_NaN(),
                                           std::numeric_limits<float>::infinity(),
                                           -std::numeric_limits<float>::infinity(), 1.0f, 999.0f,
                                           1e30f, std::numeric_limits<float>::max()));

struct ModeCase {
    int mode;
    int decodedMode;
};

class ConfigureMode : public ApiTest, public ::testing::WithParamInterface<ModeCase> {};

TEST_P(ConfigureMode, BuildsThePairOfTheMode) {
    EXPECT_EQ(RYX_Configure(GetParam().mode, 44100.0f, 1024, ctx_), 0);
    EXPECT_EQ(RYX_GetDecodedMode(ctx_), GetParam().decodedMode);
    EXPECT_EQ(RYX_EncodeDataToAudioBuffer("hello0123", 9, 0, nullptr, 0, ctx_), 92160);
}

INSTANTIATE_TEST_SUITE_P(Modes, ConfigureMode,
                         ::testing::Values(ModeCase{RYX_MODE_AUDIBLE, 0},
                                           ModeCase{RYX_MODE_NONAUDIBLE, 1},
                                           ModeCase{RYX_MODE_COMPRESSION, 2},
                                           ModeCase{RYX_MODE_ALL, -1},
                                           ModeCase{RYX_MODE_CUSTOM, 3}));

TEST_F(ApiTest, UnknownModeEmptiesContextAndValidModeRepairsIt) {
    for (int mode : {1, 7, 0, -1}) {
        ASSERT_EQ(RYX_Configure(RYX_MODE_AUDIBLE, 44100.0f, 1024, ctx_), 0);
        EXPECT_EQ(RYX_Configure(mode, 44100.0f, 1024, ctx_), -1);
        EXPECT_EQ(RYX_GetDecodedMode(ctx_), -1);
        EXPECT_EQ(RYX_EncodeDataToAudioBuffer("hello0123", 9, 0, nullptr, 0, ctx_), -1);
    }
    EXPECT_EQ(RYX_Configure(RYX_MODE_COMPRESSION, 48000.0f, 1024, ctx_), 0);
    EXPECT_EQ(RYX_GetDecodedMode(ctx_), 2);
    EXPECT_EQ(RYX_EncodeDataToAudioBuffer("hello0123", 9, 0, nullptr, 0, ctx_), 100300);
}

TEST_F(ApiTest, ReconfigureDiscardsAudioAndSignature) {
    ASSERT_EQ(RYX_Configure(RYX_MODE_AUDIBLE, 44100.0f, 4096, ctx_), 0);
    const std::vector<float> loud(1000, 0.5f);
    ASSERT_EQ(RYX_SetAudioSignature(1000, loud.data(), ctx_), 0);
    ASSERT_EQ(RYX_EncodeDataToAudioBuffer("hello0123", 9, 0, nullptr, 0, ctx_), 92160);
    const std::vector<float> withSignature = readAll(4096);

    ASSERT_EQ(RYX_Configure(RYX_MODE_AUDIBLE, 44100.0f, 4096, ctx_), 0);
    std::vector<float> chunk(4096);
    EXPECT_EQ(RYX_GetEncodedAudioBuffer(chunk.data(), ctx_), 0);
    ASSERT_EQ(RYX_EncodeDataToAudioBuffer("hello0123", 9, 0, nullptr, 0, ctx_), 92160);
    const std::vector<float> plain = readAll(4096);
    ASSERT_EQ(plain.size(), withSignature.size());
    EXPECT_NE(plain[500], withSignature[500]);
    EXPECT_EQ(plain[1000], withSignature[1000]);
}

// ---- Custom base frequency ----

TEST_F(ApiTest, CustomBandAtDefaultSettings) {
    ASSERT_EQ(RYX_Configure(RYX_MODE_CUSTOM, 44100.0f, 1024, ctx_), 0);
    EXPECT_FLOAT_EQ(RYX_GetDecodingBeginFreq(ctx_), 11993.994140625f);
    EXPECT_FLOAT_EQ(RYX_GetDecodingEndFreq(ctx_), 13738.18359375f);
}

TEST_F(ApiTest, SetCustomBaseFreqOnOtherModeOnlyStoresSettings) {
    ASSERT_EQ(RYX_Configure(RYX_MODE_AUDIBLE, 44100.0f, 1024, ctx_), 0);
    ASSERT_EQ(RYX_EncodeDataToAudioBuffer("hello0123", 9, 0, nullptr, 0, ctx_), 92160);
    EXPECT_EQ(RYX_SetCustomBaseFreq(15000.0f, 2, ctx_), 0);
    EXPECT_EQ(RYX_GetDecodedMode(ctx_), 0);
    EXPECT_EQ(RYX_GetDecodingBeginFreq(ctx_), 0.0f);
    std::vector<float> chunk(1024);
    EXPECT_EQ(RYX_GetEncodedAudioBuffer(chunk.data(), ctx_), 1024);  // audio kept

    // The next custom configuration uses them: base 15000 Hz, 4-bin hop, spacing 12 bins.
    ASSERT_EQ(RYX_Configure(RYX_MODE_CUSTOM, 44100.0f, 1024, ctx_), 0);
    const float bin = 44100.0f / 2048.0f;
    EXPECT_FLOAT_EQ(RYX_GetDecodingBeginFreq(ctx_), 697.0f * bin);  // 15000 / bin = 696.6
    EXPECT_FLOAT_EQ(RYX_GetDecodingEndFreq(ctx_), (697.0f + 9 * 12) * bin);
}

TEST_F(ApiTest, SetCustomBaseFreqOnCustomModeRebuildsPair) {
    ASSERT_EQ(RYX_Configure(RYX_MODE_CUSTOM, 44100.0f, 1024, ctx_), 0);
    ASSERT_EQ(RYX_EncodeDataToAudioBuffer("hello0123", 9, 0, nullptr, 0, ctx_), 92160);
    EXPECT_EQ(RYX_SetCustomBaseFreq(15000.0f, 2, ctx_), 0);
    std::vector<float> chunk(1024);
    EXPECT_EQ(RYX_GetEncodedAudioBuffer(chunk.data(), ctx_), 0);  // fresh encoder
    EXPECT_EQ(RYX_GetDecodedMode(ctx_), 3);
    EXPECT_EQ(RYX_GetSpectrum(chunk.data(), ctx_), 1024);  // same window size
    EXPECT_FLOAT_EQ(RYX_GetDecodingBeginFreq(ctx_), 697.0f * 44100.0f / 2048.0f);
}

TEST_F(ApiTest, SetCustomBaseFreqOnFreshOrNullContext) {
    EXPECT_EQ(RYX_SetCustomBaseFreq(9000.0f, 3, ctx_), 0);
    EXPECT_EQ(RYX::sharedSettings().custom.baseHz, 9000.0f);
    EXPECT_EQ(RYX::sharedSettings().custom.stepParam, 3);
    EXPECT_EQ(RYX_SetCustomBaseFreq(9500.0f, 1, nullptr), 0);
    EXPECT_EQ(RYX::sharedSettings().custom.baseHz, 9500.0f);
    EXPECT_EQ(RYX_GetDecodedMode(ctx_), -1);
}

// ---- Versions ----

TEST(ApiVersion, Texts) {
    EXPECT_STREQ(RYX_GetVersion(), "RyxCoreLib version 1.0.0 [PyRyxSDK]");
    char buffer[32];
    std::memset(buffer, 'x', sizeof buffer);
    EXPECT_EQ(RYX_GetVersionInfo(buffer), 19);
    EXPECT_STREQ(buffer, "RyxSound Python SDK");
    EXPECT_EQ(RYX_GetVersionInfo(nullptr), -1);
}

// ---- Encoding and read-out ----

struct ReadOutCase {
    int bufferSize;
    int fullSlices;
    int lastSlice;  // 0 when the audio divides evenly
};

class ReadOut : public ApiTest, public ::testing::WithParamInterface<ReadOutCase> {};

TEST_P(ReadOut, SlicesThenZeroThenRewind) {
    const ReadOutCase c = GetParam();
    ASSERT_EQ(RYX_Configure(RYX_MODE_AUDIBLE, 44100.0f, c.bufferSize, ctx_), 0);
    ASSERT_EQ(RYX_EncodeDataToAudioBuffer("hello0123", 9, 0, nullptr, 0, ctx_), 92160);
    std::vector<float> chunk(static_cast<size_t>(c.bufferSize), 7.0f);
    std::vector<float> first;
    for (int i = 0; i < c.fullSlices; ++i) {
        ASSERT_EQ(RYX_GetEncodedAudioBuffer(chunk.data(), ctx_), c.bufferSize);
        if (i == 0) first = chunk;
    }
    std::fill(chunk.begin(), chunk.end(), 7.0f);
    if (c.lastSlice > 0) {
        ASSERT_EQ(RYX_GetEncodedAudioBuffer(chunk.data(), ctx_), c.lastSlice);
        EXPECT_EQ(chunk[static_cast<size_t>(c.lastSlice)], 7.0f);  // beyond the slice untouched
    }
    EXPECT_EQ(RYX_GetEncodedAudioBuffer(chunk.data(), ctx_), 0);
    EXPECT_EQ(RYX_GetEncodedAudioBuffer(chunk.data(), ctx_), 0);
    EXPECT_EQ(RYX_ResetEncodedAudioBuffer(ctx_), 0);
    ASSERT_EQ(RYX_GetEncodedAudioBuffer(chunk.data(), ctx_), c.bufferSize);
    EXPECT_EQ(chunk, first);
}

INSTANTIATE_TEST_SUITE_P(Sizes, ReadOut,
                         ::testing::Values(ReadOutCase{1000, 92, 160}, ReadOutCase{1024, 90, 0}));

TEST_F(ApiTest, NewEncodeRestartsReadOut) {
    ASSERT_EQ(RYX_Configure(RYX_MODE_AUDIBLE, 44100.0f, 1024, ctx_), 0);
    ASSERT_EQ(RYX_EncodeDataToAudioBuffer("hello0123", 9, 0, nullptr, 0, ctx_), 92160);
    std::vector<float> chunk(1024);
    for (int i = 0; i < 10; ++i) RYX_GetEncodedAudioBuffer(chunk.data(), ctx_);
    ASSERT_EQ(RYX_EncodeDataToAudioBuffer("00000vvvv", 9, 0, nullptr, 0, ctx_), 92160);
    EXPECT_EQ(readAll(1024).size(), 92160u);
}

TEST_F(ApiTest, ArgumentOrderReachesEncoder) {
    // textLength second, synthMode third: a melody (synthMode 2) of 30 notes lengthens the audio.
    ASSERT_EQ(RYX_Configure(RYX_MODE_AUDIBLE, 44100.0f, 1024, ctx_), 0);
    const std::string melody(30, 'c');
    EXPECT_EQ(RYX_EncodeDataToAudioBuffer("hello0123", 9, 2, melody.c_str(), 30, ctx_), 138240);
    EXPECT_EQ(RYX_EncodeDataToAudioBuffer("hello0123", 9, 0, melody.c_str(), 30, ctx_), 92160);
}

TEST_F(ApiTest, SignatureLimitAndClearing) {
    ASSERT_EQ(RYX_Configure(RYX_MODE_AUDIBLE, 44100.0f, 100000, ctx_), 0);
    const std::vector<float> signature(100000, 0.25f);
    EXPECT_EQ(RYX_SetAudioSignature(100000, signature.data(), ctx_), 0);
    ASSERT_EQ(RYX_EncodeDataToAudioBuffer("hello0123", 9, 0, nullptr, 0, ctx_), 92160);
    const std::vector<float> mixed = readAll(100000);
    for (int32_t length : {0, -5}) {
        EXPECT_EQ(RYX_SetAudioSignature(length, signature.data(), ctx_), 0);
        ASSERT_EQ(RYX_EncodeDataToAudioBuffer("hello0123", 9, 0, nullptr, 0, ctx_), 92160);
        const std::vector<float> plain = readAll(100000);
        EXPECT_FLOAT_EQ(mixed[50000], std::min(1.0f, std::max(-1.0f, plain[50000] + 0.25f)));
    }
    EXPECT_EQ(RYX_SetAudioSignature(100, nullptr, ctx_), 0);
}

TEST_F(ApiTest, SynthSettingsIgnoreTheirContext) {
    EXPECT_EQ(RYX_SetSynthMode(7, nullptr), 0);
    EXPECT_EQ(RYX_SetSynthVolume(-20.0f, nullptr), 0);
    EXPECT_EQ(RYX::sharedSettings().synthVolumeDb, -20.0f);
}

// ---- Transmit and receive ----

struct RoundTripCase {
    int mode;
    float rate;
    int decodedMode;
};

class ApiRoundTrip : public ApiTest, public ::testing::WithParamInterface<RoundTripCase> {};

TEST_P(ApiRoundTrip, TextComesBack) {
    const RoundTripCase c = GetParam();
    ASSERT_EQ(RYX_Configure(c.mode, c.rate, 1024, ctx_), 0);
    ASSERT_GT(RYX_EncodeDataToAudioBuffer("Hello0123", 9, 0, nullptr, 0, ctx_), 0);
    const std::vector<int> events = receive(readAll(1024), c.rate);
    ASSERT_EQ(events.size(), 20u);
    EXPECT_EQ(events.front(), -2);
    EXPECT_EQ(events.back(), -3);
    char text[10];
    EXPECT_EQ(RYX_GetDecodedData(text, ctx_), 9);
    EXPECT_STREQ(text, "hello0123");
    EXPECT_EQ(RYX_GetDecodedMode(ctx_), c.decodedMode);
    EXPECT_FLOAT_EQ(RYX_GetConfidenceError(ctx_), 1.0f);
    EXPECT_GT(RYX_GetConfidenceNoise(ctx_), 15.0f);
    EXPECT_FLOAT_EQ(RYX_GetConfidence(ctx_), 1.0f);
    EXPECT_TRUE(std::isfinite(RYX_GetReceivedRyxsVolume(ctx_)));
    EXPECT_EQ(RYX_GetDecodedData(text, ctx_), -1);  // consumed
    EXPECT_STREQ(text, "");
}

INSTANTIATE_TEST_SUITE_P(Modes, ApiRoundTrip,
                         ::testing::Values(RoundTripCase{RYX_MODE_AUDIBLE, 44100.0f, 0},
                                           RoundTripCase{RYX_MODE_NONAUDIBLE, 44100.0f, 1},
                                           RoundTripCase{RYX_MODE_COMPRESSION, 44100.0f, 2},
                                           RoundTripCase{RYX_MODE_ALL, 44100.0f, 1},
                                           RoundTripCase{RYX_MODE_CUSTOM, 44100.0f, 3},
                                           RoundTripCase{RYX_MODE_AUDIBLE, 48000.0f, 0},
                                           RoundTripCase{RYX_MODE_NONAUDIBLE, 48000.0f, 1},
                                           RoundTripCase{RYX_MODE_COMPRESSION, 48000.0f, 2},
                                           RoundTripCase{RYX_MODE_ALL, 48000.0f, 1},
                                           RoundTripCase{RYX_MODE_CUSTOM, 48000.0f, 3},
                                           RoundTripCase{RYX_MODE_AUDIBLE, 22050.0f, 0}));

// ---- Measures ----

TEST_F(ApiTest, MeasuresOfFreshContext) {
    ASSERT_EQ(RYX_Configure(RYX_MODE_AUDIBLE, 44100.0f, 1024, ctx_), 0);
    EXPECT_EQ(RYX_GetConfidence(ctx_), 0.0f);
    EXPECT_EQ(RYX_GetConfidenceError(ctx_), 0.0f);
    EXPECT_EQ(RYX_GetConfidenceNoise(ctx_), 0.0f);
    EXPECT_EQ(RYX_GetReceivedRyxsVolume(ctx_), -std::numeric_limits<float>::infinity());
}

struct ConfidenceCase {
    float snr;
    float ratio;
    float expected;
};

class ConfidenceFormula : public ::testing::TestWithParam<ConfidenceCase> {};

TEST_P(ConfidenceFormula, ScalesErrorRatioBySnr) {
    EXPECT_FLOAT_EQ(RYX::confidence(GetParam().snr, GetParam().ratio), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Levels, ConfidenceFormula,
    ::testing::Values(ConfidenceCase{20.0f, 1.0f, 1.0f}, ConfidenceCase{15.0f, 1.0f, 1.0f},
                      ConfidenceCase{7.5f, 1.0f, 0.5f}, ConfidenceCase{7.5f, 0.5f, 0.25f},
                      ConfidenceCase{0.0f, 1.0f, 0.0f}, ConfidenceCase{-3.0f, 1.0f, 0.0f}));

TEST(VolumeFormula, DecibelsOfLevel) {
    EXPECT_FLOAT_EQ(RYX::volumeDb(1.0f), 0.0f);
    EXPECT_FLOAT_EQ(RYX::volumeDb(0.1f), -20.0f);
    EXPECT_EQ(RYX::volumeDb(0.0f), -std::numeric_limits<float>::infinity());
    EXPECT_TRUE(std::isnan(RYX::confidence(std::nanf(""), 1.0f)));
}

// ---- Harmless failures on null and empty Contexts ----

TEST_F(ApiTest, NullAndEmptyContextsFailHarmlessly) {
    float samples[2048] = {};
    char text[16] = "untouched";
    for (Context* c : {static_cast<Context*>(nullptr), ctx_}) {  // ctx_ is never configured
        EXPECT_EQ(RYX_SetAudioSignature(10, samples, c), -1);
        EXPECT_EQ(RYX_EncodeDataToAudioBuffer("hello0123", 9, 0, nullptr, 0, c), -1);
        EXPECT_EQ(RYX_GetEncodedAudioBuffer(samples, c), 0);
        EXPECT_EQ(RYX_ResetEncodedAudioBuffer(c), -1);
        EXPECT_EQ(RYX_DecodeAudioBuffer(samples, 2048, c), -1);
        EXPECT_EQ(RYX_GetDecodedData(text, c), -1);
        EXPECT_EQ(RYX_GetConfidence(c), 0.0f);
        EXPECT_EQ(RYX_GetConfidenceError(c), 0.0f);
        EXPECT_EQ(RYX_GetConfidenceNoise(c), 0.0f);
        EXPECT_EQ(RYX_GetReceivedRyxsVolume(c), 0.0f);
        EXPECT_EQ(RYX_GetDecodedMode(c), -1);
        EXPECT_EQ(RYX_GetDecodingBeginFreq(c), 0.0f);
        EXPECT_EQ(RYX_GetDecodingEndFreq(c), 0.0f);
        EXPECT_EQ(RYX_GetSpectrum(samples, c), -1);
    }
    EXPECT_STREQ(text, "untouched");
    EXPECT_EQ(RYX_Configure(RYX_MODE_AUDIBLE, 44100.0f, 1024, nullptr), -1);
    RYX_Destroy(nullptr);
}

TEST_F(ApiTest, NullBuffersAreNothingToDo) {
    ASSERT_EQ(RYX_Configure(RYX_MODE_AUDIBLE, 44100.0f, 1024, ctx_), 0);
    ASSERT_EQ(RYX_EncodeDataToAudioBuffer("hello0123", 9, 0, nullptr, 0, ctx_), 92160);
    EXPECT_EQ(RYX_GetEncodedAudioBuffer(nullptr, ctx_), 0);
    EXPECT_EQ(readAll(1024).size(), 92160u);  // the null read consumed nothing
    EXPECT_EQ(RYX_DecodeAudioBuffer(nullptr, 4096, ctx_), -1);
    EXPECT_EQ(RYX_GetDecodedData(nullptr, ctx_), -1);
    EXPECT_EQ(RYX_GetSpectrum(nullptr, ctx_), 0);
    EXPECT_EQ(RYX_EncodeDataToAudioBuffer(nullptr, 9, 0, nullptr, 0, ctx_), 0);
    EXPECT_EQ(RYX_EncodeDataToAudioBuffer("hello0123", 9, 2, nullptr, 5, ctx_), 92160);
}

}  // namespace
