// Hostile input through the API: samples that are NaN, infinite or absurdly large, buffers of any
// size, counts that make no sense. The receiver must survive all of it and decode the next clean
// message. (Channel robustness -- noise, drift, codecs -- is measured by bench/channel.py and
// asserted by tests/python/test_robustness.py.)
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>
#include <tuple>
#include <vector>

#include "ryxsound/ryx_api.h"

namespace {

struct Received {
    int status;
    std::string text;
};

// The Context pair of one test: tx encodes, rx decodes.
class Link {
  public:
    Link(int mode, float rate) : rate_(rate), tx_(RYX_Create()), rx_(RYX_Create()) {
        ok_ =
            RYX_Configure(mode, rate, 1024, tx_) == 0 && RYX_Configure(mode, rate, 1024, rx_) == 0;
    }
    ~Link() {
        RYX_Destroy(tx_);
        RYX_Destroy(rx_);
    }
    Link(const Link&) = delete;
    Link& operator=(const Link&) = delete;

    bool ok() const { return ok_; }
    Context* rx() { return rx_; }

    std::vector<float> encode(const std::string& text) {
        std::vector<float> audio;
        const int n = RYX_EncodeDataToAudioBuffer(text.c_str(), static_cast<int32_t>(text.size()),
                                                  0, nullptr, 0, tx_);
        if (n <= 0) return audio;
        std::vector<float> slice(1024);
        for (int got; (got = RYX_GetEncodedAudioBuffer(slice.data(), tx_)) > 0;) {
            audio.insert(audio.end(), slice.begin(), slice.begin() + got);
        }
        return audio;
    }

    // Seconds of a quiet noise floor (about -80 dB), as a room would give.
    std::vector<float> floor(double seconds) {
        std::vector<float> out(static_cast<size_t>(seconds * rate_));
        for (float& x : out) {
            seed_ = seed_ * 1664525u + 1013904223u;
            x = 1e-4f * (static_cast<float>(seed_ >> 8) / 8388608.0f - 1.0f);
        }
        return out;
    }

    // Feeds `samples` in buffers of `chunk`, draining queued frames; collects completed messages.
    std::vector<Received> feed(const std::vector<float>& samples, size_t chunk = 1024) {
        std::vector<Received> got;
        std::vector<float> buffer;
        for (size_t begin = 0; begin < samples.size(); begin += chunk) {
            const size_t n = std::min(chunk, samples.size() - begin);
            buffer.assign(samples.begin() + static_cast<std::ptrdiff_t>(begin),
                          samples.begin() + static_cast<std::ptrdiff_t>(begin + n));
            int status = RYX_DecodeAudioBuffer(buffer.data(), static_cast<int>(n), rx_);
            while (status != -1) {
                if (status == -3) {
                    char text[10] = {};
                    const int result = RYX_GetDecodedData(text, rx_);
                    got.push_back({result, text});
                }
                status = RYX_DecodeAudioBuffer(buffer.data(), 0, rx_);
            }
        }
        return got;
    }

  private:
    float rate_;
    Context* tx_;
    Context* rx_;
    bool ok_ = false;
    uint32_t seed_ = 12345u;
};

void append(std::vector<float>& to, const std::vector<float>& from) {
    to.insert(to.end(), from.begin(), from.end());
}

bool contains(const std::vector<Received>& got, const std::string& text) {
    for (const Received& r : got) {
        if (r.status == 9 && r.text == text) return true;
    }
    return false;
}

// ---- Poisoned samples -------------------------------------------------------------------------

enum class Where { Listening, Receiving };

using PoisonCase = std::tuple<int, float, float, Where>;  // mode, rate, poison value, when

class PoisonRecovery : public ::testing::TestWithParam<PoisonCase> {};

// A burst of poison (4096 samples) arrives while the receiver listens, or in the middle of a
// message. After a pause long enough for a disturbed message to run out (18 symbol periods) and
// the poisoned spectra to leave the ring, the next clean message must decode.
TEST_P(PoisonRecovery, NextCleanMessageDecodes) {
    const auto [mode, rate, poison, where] = GetParam();
    Link link(mode, rate);
    ASSERT_TRUE(link.ok());
    std::vector<float> stream = link.floor(0.3);
    const std::vector<float> burst(4096, poison);
    if (where == Where::Listening) {
        append(stream, burst);
    } else {
        const std::vector<float> first = link.encode("poisoned1");
        ASSERT_FALSE(first.empty());
        stream.insert(stream.end(), first.begin(), first.begin() + first.size() / 2);
        append(stream, burst);
        stream.insert(stream.end(), first.begin() + first.size() / 2, first.end());
    }
    append(stream, link.floor(2.5));
    const std::vector<float> clean = link.encode("a1b2c3d4e");
    ASSERT_FALSE(clean.empty());
    append(stream, clean);
    append(stream, link.floor(0.5));

    const std::vector<Received> got = link.feed(stream);
    EXPECT_TRUE(contains(got, "a1b2c3d4e")) << got.size() << " messages completed";
    // The measures of the clean message are numbers again.
    EXPECT_TRUE(std::isfinite(RYX_GetConfidence(link.rx())));
    EXPECT_TRUE(std::isfinite(RYX_GetConfidenceNoise(link.rx())));
}

std::string poisonName(const ::testing::TestParamInfo<PoisonCase>& info) {
    const auto [mode, rate, poison, where] = info.param;
    std::string value = std::isnan(poison)   ? "nan"
                        : std::isinf(poison) ? (poison > 0 ? "inf" : "minus_inf")
                                             : "huge";
    return "mode" + std::to_string(mode) + "_" + std::to_string(static_cast<int>(rate)) + "_" +
           value + (where == Where::Listening ? "_listening" : "_receiving");
}

INSTANTIATE_TEST_SUITE_P(
    AllModes, PoisonRecovery,
    ::testing::Combine(::testing::Values(RYX_MODE_AUDIBLE, RYX_MODE_NONAUDIBLE,
                                         RYX_MODE_COMPRESSION, RYX_MODE_ALL, RYX_MODE_CUSTOM),
                       ::testing::Values(44100.0f, 48000.0f),
                       ::testing::Values(std::numeric_limits<float>::quiet_NaN(),
                                         std::numeric_limits<float>::infinity(),
                                         -std::numeric_limits<float>::infinity(), 1e30f),
                       ::testing::Values(Where::Listening, Where::Receiving)),
    poisonName);

// ---- Buffer sizes ------------------------------------------------------------------------------

class BufferSizes : public ::testing::TestWithParam<std::tuple<float, size_t>> {};

// Whatever the caller's buffer size -- one sample, an odd size, exactly the sample store, or the
// whole transmission in one call -- the same message comes out.
TEST_P(BufferSizes, MessageDecodesWhateverTheBufferSize) {
    const auto [rate, chunk] = GetParam();
    Link link(RYX_MODE_COMPRESSION, rate);
    ASSERT_TRUE(link.ok());
    std::vector<float> stream = link.floor(0.2);
    append(stream, link.encode("0v1u2t3s4"));
    append(stream, link.floor(0.3));
    const std::vector<Received> got = link.feed(stream, chunk);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].status, 9);
    EXPECT_EQ(got[0].text, "0v1u2t3s4");
}

INSTANTIATE_TEST_SUITE_P(Chunks, BufferSizes,
                         ::testing::Combine(::testing::Values(44100.0f, 48000.0f),
                                            ::testing::Values(size_t{1}, size_t{7}, size_t{1000},
                                                              size_t{6143}, size_t{8192},
                                                              size_t{200000})));

// ---- Counts and buffers that make no sense ---------------------------------------------------

// Negative and zero counts and null buffers append nothing, and the decoder carries on as if the
// call had not been made.
TEST(RobustnessCalls, SenselessCountsAndNullBuffersChangeNothing) {
    Link link(RYX_MODE_AUDIBLE, 44100.0f);
    ASSERT_TRUE(link.ok());
    float sample = 0.5f;
    EXPECT_EQ(RYX_DecodeAudioBuffer(&sample, -1, link.rx()), -1);
    EXPECT_EQ(RYX_DecodeAudioBuffer(&sample, std::numeric_limits<int>::min(), link.rx()), -1);
    EXPECT_EQ(RYX_DecodeAudioBuffer(nullptr, 4096, link.rx()), -1);
    EXPECT_EQ(RYX_DecodeAudioBuffer(nullptr, 0, link.rx()), -1);
    char text[10] = "xxxxxxxxx";
    EXPECT_EQ(RYX_GetDecodedData(text, link.rx()), -1);  // no message is complete

    std::vector<float> stream = link.floor(0.2);
    append(stream, link.encode("hello0123"));
    append(stream, link.floor(0.3));
    EXPECT_TRUE(contains(link.feed(stream), "hello0123"));
}

// Samples far beyond full scale that are still finite (a broken capture driver) decode like any
// other level: the receiver compares tones with each other, not with a fixed scale.
TEST(RobustnessCalls, HugeButFiniteLevelsDecode) {
    Link link(RYX_MODE_NONAUDIBLE, 48000.0f);
    ASSERT_TRUE(link.ok());
    std::vector<float> stream = link.floor(0.2);
    append(stream, link.encode("v0v0v0v0v"));
    append(stream, link.floor(0.3));
    for (float& x : stream) x *= 1e12f;
    EXPECT_TRUE(contains(link.feed(stream), "v0v0v0v0v"));
}

}  // namespace
