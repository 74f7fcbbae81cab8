#include "encoder/encoder.h"

#include <gtest/gtest.h>

#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "encoder/multi_tone_encoder.h"
#include "modes/frequency_plan.h"
#include "modes/tuning.h"

namespace RYX {
namespace {

// ---------------------------------------------------------------------------------------------
// Construction.

struct RateCase {
    float rate;
    int capacity;
    int signatureLimit;
};

class Construction : public ::testing::TestWithParam<RateCase> {};

TEST_P(Construction, SizesTheBuffersFromTheRate) {
    const RateCase& c = GetParam();
    Encoder encoder(c.rate, 1024, windowSizeFor(c.rate));
    EXPECT_EQ(encoder.capacity(), c.capacity);
    EXPECT_EQ(encoder.signatureLimit(), c.signatureLimit);
    EXPECT_EQ(encoder.sampleCount(), 0);
    EXPECT_EQ(encoder.readPosition(), 0);
    EXPECT_EQ(encoder.signatureLength(), 0);
    EXPECT_EQ(encoder.encode("hello0123", 0, 9, nullptr, 0), 0);  // the base encodes nothing
}

// Rates that are not a sane positive number hold no audio rather than overflowing.
INSTANTIATE_TEST_SUITE_P(
    Rates, Construction,
    ::testing::Values(RateCase{44100.0f, 441000, 92160}, RateCase{48000.0f, 480000, 100310},
                      RateCase{22050.0f, 220500, 46080}, RateCase{0.0f, 0, 0},
                      RateCase{-44100.0f, 0, 0}, RateCase{3e9f, 0, 0},
                      RateCase{std::numeric_limits<float>::infinity(), 0, 0},
                      RateCase{std::numeric_limits<float>::quiet_NaN(), 0, 0}));

TEST(Construction, DestructionThroughTheBaseReleasesEverything) {
    // Leaks would show under the address sanitizer.
    std::unique_ptr<Encoder> encoder = std::make_unique<EncoderCustomMultiTone>(44100.f, 256, 2048);
    const std::vector<float> signature(500, 0.1f);
    encoder->setAudioSignature(500, signature.data());
    EXPECT_EQ(encoder->encode("hello0123", 2, 9, "abc", 3), 92160);
}

// ---------------------------------------------------------------------------------------------
// The audio signature.

struct SignatureCase {
    const char* name;
    float rate;
    int length;
    bool present;
    int stored;
};

class Signature : public ::testing::TestWithParam<SignatureCase> {};

TEST_P(Signature, StoresAtMostTwentySymbolDurations) {
    const SignatureCase& c = GetParam();
    Encoder encoder(c.rate, 1024, 2048);
    std::vector<float> source(200000);
    for (size_t i = 0; i < source.size(); ++i) source[i] = static_cast<float>(i) * 1e-6f;
    // An earlier signature must go whatever the new call stores.
    encoder.setAudioSignature(10, source.data() + 5);
    EXPECT_EQ(encoder.setAudioSignature(c.length, c.present ? source.data() : nullptr), 0);
    ASSERT_EQ(encoder.signatureLength(), c.stored);
    for (int i = 0; i < c.stored; ++i) ASSERT_EQ(encoder.signature()[i], source[i]) << i;
    source.assign(source.size(), 7.0f);  // the caller's array is not kept
    for (int i = 0; i < c.stored; ++i) ASSERT_NE(encoder.signature()[i], 7.0f) << i;
}

INSTANTIATE_TEST_SUITE_P(
    Lengths, Signature,
    ::testing::Values(SignatureCase{"Long44100", 44100.0f, 100000, true, 92160},
                      SignatureCase{"Whole44100", 44100.0f, 50000, true, 50000},
                      SignatureCase{"Long48000", 48000.0f, 200000, true, 100310},
                      SignatureCase{"Long22050", 22050.0f, 100000, true, 46080},
                      SignatureCase{"Zero", 44100.0f, 0, true, 0},
                      SignatureCase{"Negative", 44100.0f, -5, true, 0},
                      SignatureCase{"Absent", 44100.0f, 1000, false, 0},
                      SignatureCase{"NoRoomAtOddRate", -1.0f, 1000, true, 0}),
    [](const auto& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------------------------
// Handing out the audio.

struct SliceCase {
    int bufferSize;
    int fullSlices;
    int lastSlice;  // 0 when the audio divides evenly
};

class ReadOut : public ::testing::TestWithParam<SliceCase> {};

TEST_P(ReadOut, HandsOutConsecutiveSlicesThenNothing) {
    const SliceCase& c = GetParam();
    EncoderAudibleMultiTone encoder(44100.0f, c.bufferSize, 2048);
    ASSERT_EQ(encoder.encode("hello0123", 0, 9, nullptr, 0), 92160);
    std::vector<float> out(static_cast<size_t>(c.bufferSize));
    for (int pass = 0; pass < 2; ++pass) {  // the second after rewind
        std::vector<float> all;
        for (int i = 0; i < c.fullSlices; ++i) {
            ASSERT_EQ(encoder.readEncoded(out.data()), c.bufferSize) << i;
            all.insert(all.end(), out.begin(), out.end());
        }
        if (c.lastSlice > 0) {
            ASSERT_EQ(encoder.readEncoded(out.data()), c.lastSlice);
            all.insert(all.end(), out.begin(), out.begin() + c.lastSlice);
        }
        out.assign(out.size(), 5.0f);
        EXPECT_EQ(encoder.readEncoded(out.data()), 0);
        EXPECT_EQ(encoder.readEncoded(out.data()), 0);
        EXPECT_EQ(out, std::vector<float>(out.size(), 5.0f));  // nothing written
        EXPECT_TRUE(std::equal(all.begin(), all.end(), encoder.samples(),
                               encoder.samples() + encoder.sampleCount()));
        encoder.rewind();
    }
}

INSTANTIATE_TEST_SUITE_P(BufferSizes, ReadOut,
                         ::testing::Values(SliceCase{1000, 92, 160}, SliceCase{1024, 90, 0},
                                           SliceCase{92160, 1, 0}, SliceCase{100000, 0, 92160}));

TEST(ReadOut, ShortSliceLeavesTheRestOfTheBufferUntouched) {
    EncoderAudibleMultiTone encoder(44100.0f, 1000, 2048);
    encoder.encode("hello0123", 0, 9, nullptr, 0);
    std::vector<float> out(1000, 5.0f);
    for (int i = 0; i < 92; ++i) encoder.readEncoded(out.data());
    out.assign(1000, 5.0f);
    ASSERT_EQ(encoder.readEncoded(out.data()), 160);
    EXPECT_EQ(out[159], encoder.samples()[92159]);
    EXPECT_EQ(out[160], 5.0f);
}

TEST(ReadOut, RoomSmallerThanTheBufferSize) {
    EncoderAudibleMultiTone encoder(44100.0f, 1000, 2048);
    encoder.encode("hello0123", 0, 9, nullptr, 0);
    std::vector<float> out(1000, 5.0f);
    EXPECT_EQ(encoder.readEncoded(out.data(), 100), 100);
    EXPECT_EQ(out[99], encoder.samples()[99]);
    EXPECT_EQ(out[100], 5.0f);
    EXPECT_EQ(encoder.readPosition(), 100);
    EXPECT_EQ(encoder.readEncoded(out.data(), 0), 0);
    EXPECT_EQ(encoder.readEncoded(out.data(), -3), 0);
    EXPECT_EQ(encoder.readEncoded(nullptr), 0);
    EXPECT_EQ(encoder.readPosition(), 100);
    EXPECT_EQ(encoder.readEncoded(out.data(), 5000), 1000);  // still at most bufferSize
}

TEST(ReadOut, NewEncodeRestartsTheReadOut) {
    EncoderAudibleMultiTone encoder(44100.0f, 1000, 2048);
    std::vector<float> out(1000);
    EXPECT_EQ(encoder.readEncoded(out.data()), 0);  // nothing encoded yet
    encoder.encode("hello0123", 0, 9, nullptr, 0);
    encoder.readEncoded(out.data());
    encoder.encode("vvvvvvvvv", 0, 9, nullptr, 0);
    EXPECT_EQ(encoder.readPosition(), 0);
    ASSERT_EQ(encoder.readEncoded(out.data()), 1000);
    EXPECT_EQ(out[999], encoder.samples()[999]);
}

TEST(ReadOut, NonPositiveBufferSizeHandsOutNothing) {
    for (int bufferSize : {0, -1024}) {
        EncoderAudibleMultiTone encoder(44100.0f, bufferSize, 2048);
        ASSERT_EQ(encoder.encode("hello0123", 0, 9, nullptr, 0), 92160);
        float out[4] = {5.0f, 5.0f, 5.0f, 5.0f};
        EXPECT_EQ(encoder.readEncoded(out), 0);
        EXPECT_EQ(out[0], 5.0f);
        EXPECT_EQ(encoder.readPosition(), 0);
    }
}

}  // namespace
}  // namespace RYX
