// Contexts at different rates share nothing but the custom band and the random-tone gain: building,
// encoding and decoding on one never changes what another sends or hears, in one thread or in
// several at once.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "ryxsound/ryx_api.h"

namespace {

struct ContextDeleter {
    void operator()(Context* c) const { RYX_Destroy(c); }
};
using ContextPtr = std::unique_ptr<Context, ContextDeleter>;

ContextPtr configured(int mode, float rate) {
    ContextPtr c(RYX_Create());
    if (!c || RYX_Configure(mode, rate, 1024, c.get()) != 0) return nullptr;
    return c;
}

// Encodes `text` on c and reads out every sample in 1024-sample slices; empty when refused.
std::vector<float> transmit(Context* c, const std::string& text) {
    std::vector<float> audio;
    if (RYX_EncodeDataToAudioBuffer(text.c_str(), static_cast<int32_t>(text.size()), 0, "", 0, c) <=
        0) {
        return audio;
    }
    std::vector<float> chunk(1024);
    for (int n; (n = RYX_GetEncodedAudioBuffer(chunk.data(), c)) > 0;) {
        audio.insert(audio.end(), chunk.begin(), chunk.begin() + n);
    }
    return audio;
}

// Feeds the audio between half-second silences in 1024-sample calls and fetches the first
// message: the status of the fetch and the text.
std::pair<int, std::string> receive(Context* c, const std::vector<float>& audio, float rate) {
    std::vector<float> stream(static_cast<size_t>(rate / 2), 0.0f);
    stream.insert(stream.end(), audio.begin(), audio.end());
    stream.resize(stream.size() + static_cast<size_t>(rate / 2), 0.0f);
    for (size_t at = 0; at < stream.size(); at += 1024) {
        const int count = static_cast<int>(std::min<size_t>(1024, stream.size() - at));
        int status = RYX_DecodeAudioBuffer(stream.data() + at, count, c);
        while (status != -1) status = RYX_DecodeAudioBuffer(nullptr, 0, c);
    }
    char text[10] = {};
    const int status = RYX_GetDecodedData(text, c);
    return {status, std::string(text)};
}

const std::pair<int, std::string> kHello{9, "hello0123"};

// ---- A Context built at another rate after the sender ----

struct PairCase {
    int mode;
    float senderRate;
    float otherRate;  // of a Context configured in the same mode after the sender
};

class OtherContext : public ::testing::TestWithParam<PairCase> {};

TEST_P(OtherContext, ChangesNothingTheSenderEncodes) {
    const PairCase& c = GetParam();
    const ContextPtr sender = configured(c.mode, c.senderRate);
    const ContextPtr other = configured(c.mode, c.otherRate);
    ASSERT_TRUE(sender && other);
    const std::vector<float> audio = transmit(sender.get(), "hello0123");
    ASSERT_FALSE(audio.empty());
    const ContextPtr listener = configured(c.mode, c.senderRate);
    ASSERT_TRUE(listener);
    EXPECT_EQ(receive(listener.get(), audio, c.senderRate), kHello);
}

INSTANTIATE_TEST_SUITE_P(Rates, OtherContext,
                         ::testing::Values(PairCase{RYX_MODE_AUDIBLE, 44100.0f, 22050.0f},
                                           PairCase{RYX_MODE_AUDIBLE, 48000.0f, 22050.0f},
                                           PairCase{RYX_MODE_AUDIBLE, 22050.0f, 44100.0f},
                                           PairCase{RYX_MODE_NONAUDIBLE, 44100.0f, 22050.0f},
                                           PairCase{RYX_MODE_COMPRESSION, 48000.0f, 22050.0f},
                                           PairCase{RYX_MODE_ALL, 44100.0f, 22050.0f},
                                           PairCase{RYX_MODE_CUSTOM, 44100.0f, 22050.0f}),
                         [](const auto& info) {
                             return "Mode" + std::to_string(info.param.mode) + "At" +
                                    std::to_string(static_cast<int>(info.param.senderRate)) +
                                    "With" + std::to_string(static_cast<int>(info.param.otherRate));
                         });

// ---- Many Contexts, interleaved ----

struct Link {
    int mode;
    float rate;
    int decodedMode;
};

const Link kLinks[] = {
    {RYX_MODE_AUDIBLE, 44100.0f, 0},     {RYX_MODE_AUDIBLE, 22050.0f, 0},
    {RYX_MODE_NONAUDIBLE, 48000.0f, 1},  {RYX_MODE_COMPRESSION, 44100.0f, 2},
    {RYX_MODE_AUDIBLE, 48000.0f, 0},     {RYX_MODE_ALL, 48000.0f, 1},
    {RYX_MODE_CUSTOM, 44100.0f, 3},      {RYX_MODE_NONAUDIBLE, 44100.0f, 1},
    {RYX_MODE_COMPRESSION, 48000.0f, 2}, {RYX_MODE_CUSTOM, 48000.0f, 3},
    {RYX_MODE_ALL, 44100.0f, 1},
};

// Each Context is configured and encodes while the one before still holds its audio; that one
// then decodes its own transmission.
TEST(InterleavedContexts, EveryContextRoundTripsItsOwnText) {
    constexpr size_t kCount = sizeof kLinks / sizeof kLinks[0];
    std::vector<ContextPtr> contexts(kCount);
    std::vector<std::vector<float>> audio(kCount);
    const auto textOf = [](size_t i) {
        return "lnk" + std::string(1, static_cast<char>('a' + i)) + "56789";
    };
    const auto check = [&](size_t i) {
        SCOPED_TRACE(::testing::Message() << "link " << i << " at " << kLinks[i].rate << " Hz");
        EXPECT_EQ(receive(contexts[i].get(), audio[i], kLinks[i].rate),
                  std::make_pair(9, textOf(i)));
        EXPECT_EQ(RYX_GetDecodedMode(contexts[i].get()), kLinks[i].decodedMode);
    };
    for (size_t i = 0; i < kCount; ++i) {
        contexts[i] = configured(kLinks[i].mode, kLinks[i].rate);
        ASSERT_TRUE(contexts[i]) << i;
        audio[i] = transmit(contexts[i].get(), textOf(i));
        ASSERT_FALSE(audio[i].empty()) << i;
        if (i > 0) check(i - 1);
    }
    check(kCount - 1);
    // Every Context encodes the same audio again after all the others were built.
    for (size_t i = 0; i < kCount; ++i) {
        EXPECT_EQ(transmit(contexts[i].get(), textOf(i)), audio[i]) << i;
    }
}

// ---- Threads ----

// Each thread owns a Context at its own rate and round-trips a few texts while the other does the
// same; every result is checked afterwards on the main thread.
TEST(ThreadedContexts, RoundTripAtTheSameTime) {
    constexpr int kIterations = 3;
    const Link links[] = {{RYX_MODE_AUDIBLE, 44100.0f, 0},
                          {RYX_MODE_AUDIBLE, 22050.0f, 0},
                          {RYX_MODE_COMPRESSION, 48000.0f, 2}};
    constexpr size_t kThreads = sizeof links / sizeof links[0];
    const auto textOf = [](size_t t, int k) {
        return "th" + std::string(1, static_cast<char>('a' + t)) + std::to_string(k) + "abcde";
    };
    std::vector<std::vector<std::pair<int, std::string>>> results(kThreads);
    std::vector<std::thread> threads;
    for (size_t t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            const ContextPtr c = configured(links[t].mode, links[t].rate);
            for (int k = 0; k < kIterations; ++k) {
                if (!c) {
                    results[t].emplace_back(-100, "not configured");
                    continue;
                }
                const std::vector<float> audio = transmit(c.get(), textOf(t, k));
                results[t].push_back(receive(c.get(), audio, links[t].rate));
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    for (size_t t = 0; t < kThreads; ++t) {
        ASSERT_EQ(results[t].size(), static_cast<size_t>(kIterations)) << t;
        for (int k = 0; k < kIterations; ++k) {
            EXPECT_EQ(results[t][static_cast<size_t>(k)], std::make_pair(9, textOf(t, k)))
                << links[t].rate << " Hz, iteration " << k;
        }
    }
}

}  // namespace
