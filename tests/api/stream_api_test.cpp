// The streaming C interface: the encoders' blocks, however cut, are the desktop encoders' samples,
// and the payload receiver decodes the payload encoder's;
// the receiver hears texts fed in blocks of any size, holds RYX_STREAM_QUEUE of them and counts
// those a full queue pushes out; every call takes null objects, null buffers, negative counts and
// unknown presets without harm.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "encoder/multi_tone_encoder.h"
#include "payload/payload_encoder.h"
#include "payload/payload_receiver.h"
#include "ryxsound/ryx_stream.h"

namespace {

struct PresetShape {
    int preset;
    RYX::Plan plan;
    int windowSize;
    RYX::CustomBand band;
};
const PresetShape kShapes[] = {
    {RYX_STREAM_AUDIBLE_22050, RYX::Plan::Audible, 1024, {}},
    {RYX_STREAM_PHONE_16000, RYX::Plan::Custom, 2048, RYX::kPhoneBand},
};

std::vector<float> streamed(int preset, const char* text, int block) {
    RYX_StreamEncoder* encoder = RYX_StreamEncoder_Create(preset);
    std::vector<float> out(static_cast<size_t>(RYX_StreamEncoder_Start(encoder, text)));
    size_t at = 0;
    for (int n;
         at < out.size() && (n = RYX_StreamEncoder_Execute(encoder, out.data() + at, block)) > 0;) {
        at += static_cast<size_t>(n);
    }
    EXPECT_EQ(RYX_StreamEncoder_Execute(encoder, out.data(), block), 0);  // nothing after the end
    RYX_StreamEncoder_Destroy(encoder);
    out.resize(at);
    return out;
}

class StreamEncoderBlocks : public ::testing::TestWithParam<std::tuple<int, int>> {};

TEST_P(StreamEncoderBlocks, SameSamplesAsTheDesktopEncoder) {
    const PresetShape& shape = kShapes[std::get<0>(GetParam())];
    const float rate = static_cast<float>(RYX_StreamSampleRate(shape.preset));
    RYX::MultiToneEncoder desktop(shape.plan, rate, 1 << 20, shape.windowSize);
    RYX::SynthesisSettings settings;
    settings.custom = shape.band;
    const int n = desktop.encode("hello0123", 0, 9, nullptr, 0, settings);
    const std::vector<float> samples = streamed(shape.preset, "HELLO0123", std::get<1>(GetParam()));
    ASSERT_EQ(samples.size(), static_cast<size_t>(n));
    EXPECT_EQ(samples, std::vector<float>(desktop.samples(), desktop.samples() + n));
}

INSTANTIATE_TEST_SUITE_P(PresetsAndBlocks, StreamEncoderBlocks,
                         ::testing::Combine(::testing::Values(0, 1),
                                            ::testing::Values(1, 255, 2304, 1 << 20)));

// The payload encoder of `preset` and `profile` (created in caller memory at `offset` bytes into a
// block of exactly its size) sending `data` in blocks of `block`.
std::vector<float> streamedPayload(int preset, int profile, const std::vector<uint8_t>& data,
                                   int block, size_t offset) {
    const size_t bytes = RYX_StreamPayloadEncoder_Size(preset, profile);
    std::vector<unsigned char> memory(offset + bytes);
    EXPECT_EQ(RYX_StreamPayloadEncoder_CreateIn(preset, profile, memory.data() + offset, bytes - 1),
              nullptr);
    RYX_StreamPayloadEncoder* encoder =
        RYX_StreamPayloadEncoder_CreateIn(preset, profile, memory.data() + offset, bytes);
    EXPECT_NE(encoder, nullptr);
    const int64_t total =
        RYX_StreamPayloadEncoder_Start(encoder, data.data(), static_cast<int>(data.size()));
    std::vector<float> out(static_cast<size_t>(total) + 1);
    size_t at = 0;
    for (int n; (n = RYX_StreamPayloadEncoder_Execute(
                     encoder, out.data() + at,
                     static_cast<int>(std::min<size_t>(block, out.size() - at)))) > 0;) {
        at += static_cast<size_t>(n);
    }
    RYX_StreamPayloadEncoder_Destroy(encoder);
    EXPECT_EQ(at, static_cast<size_t>(total));
    out.resize(at);
    return out;
}

struct PayloadCase {
    int preset;
    int profile;
    int size;
    int block;
    size_t offset;
};

class StreamPayloadEncoder : public ::testing::TestWithParam<PayloadCase> {};

// However cut, wherever built: the core encoder's samples, and the payload receiver decodes them.
TEST_P(StreamPayloadEncoder, SameSamplesAsTheDesktopEncoderAndDecoded) {
    const PayloadCase& c = GetParam();
    const PresetShape& shape = kShapes[c.preset];
    const float rate = static_cast<float>(RYX_StreamSampleRate(c.preset));
    std::vector<uint8_t> data(static_cast<size_t>(c.size));
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 131 + 7);
    const std::vector<float> samples =
        streamedPayload(c.preset, c.profile, data, c.block, c.offset);

    const RYX::PayloadProfile profile = c.profile == RYX_STREAM_PAYLOAD_FAST
                                            ? RYX::PayloadProfile::Fast
                                            : RYX::PayloadProfile::Robust;
    RYX::PayloadEncoder desktop(profile, shape.plan, shape.band, rate);
    desktop.prepare(data.data(), c.size);
    std::vector<float> expected(static_cast<size_t>(desktop.totalSamples()));
    desktop.render(expected.data(), static_cast<int>(expected.size()));
    EXPECT_EQ(samples, expected);

    std::vector<float> audio(static_cast<size_t>(rate / 2), 0.0f);
    audio.insert(audio.end(), samples.begin(), samples.end());
    audio.resize(audio.size() + static_cast<size_t>(rate / 2), 0.0f);
    RYX::PayloadReceiver receiver({shape.plan}, shape.band, rate);
    std::vector<RYX::ReceivedPayload> heard;
    receiver.feed(audio.data(), audio.size(), heard);
    receiver.flush(heard);
    ASSERT_EQ(heard.size(), 1u);
    EXPECT_TRUE(heard[0].ok);
    EXPECT_EQ(heard[0].data, data);
}

INSTANTIATE_TEST_SUITE_P(
    PresetsProfilesAndBlocks, StreamPayloadEncoder,
    ::testing::Values(
        PayloadCase{RYX_STREAM_AUDIBLE_22050, RYX_STREAM_PAYLOAD_FAST, 1, 1, 0},
        PayloadCase{RYX_STREAM_AUDIBLE_22050, RYX_STREAM_PAYLOAD_ROBUST, 100, 257, 1},
        PayloadCase{RYX_STREAM_AUDIBLE_22050, RYX_STREAM_PAYLOAD_FAST, 4096, 1 << 20, 63},
        PayloadCase{RYX_STREAM_PHONE_16000, RYX_STREAM_PAYLOAD_FAST, 100, 1000, 5},
        PayloadCase{RYX_STREAM_PHONE_16000, RYX_STREAM_PAYLOAD_ROBUST, 451, 4096, 0}));

// A preset's transmissions of `texts`, one after another with `gap` seconds of quiet noise before
// each, fed in blocks of `block`; the texts heard (polled after every block unless `hold`).
std::vector<std::string> hear(int preset, const std::vector<std::string>& texts, float gap,
                              int block, bool hold, RYX_StreamReceiver** keep = nullptr) {
    const int rate = RYX_StreamSampleRate(preset);
    std::mt19937 random(7);
    std::normal_distribution<float> noise(0.0f, 0.001f);
    std::vector<float> audio;
    for (const std::string& t : texts) {
        for (int i = 0; i < static_cast<int>(gap * rate); ++i) audio.push_back(noise(random));
        for (float v : streamed(preset, t.c_str(), 4096)) audio.push_back(v + noise(random));
    }
    for (int i = 0; i < rate; ++i) audio.push_back(noise(random));
    RYX_StreamReceiver* receiver = RYX_StreamReceiver_Create(preset);
    std::vector<std::string> heard;
    RYX_StreamMessage m;
    for (size_t at = 0; at < audio.size(); at += static_cast<size_t>(block)) {
        const int n = static_cast<int>(std::min<size_t>(block, audio.size() - at));
        RYX_StreamReceiver_Execute(receiver, audio.data() + at, n);
        while (!hold && RYX_StreamReceiver_Poll(receiver, &m) == 1) heard.emplace_back(m.text);
    }
    while (RYX_StreamReceiver_Poll(receiver, &m) == 1) heard.emplace_back(m.text);
    if (keep != nullptr) {
        *keep = receiver;
    } else {
        RYX_StreamReceiver_Destroy(receiver);
    }
    return heard;
}

class StreamReceiverBlocks : public ::testing::TestWithParam<std::tuple<int, int>> {};

TEST_P(StreamReceiverBlocks, HearsEveryText) {
    const int preset = kShapes[std::get<0>(GetParam())].preset;
    EXPECT_EQ(hear(preset, {"emul8tor1", "stream0k2"}, 0.4f, std::get<1>(GetParam()), false),
              (std::vector<std::string>{"emul8tor1", "stream0k2"}));
}

INSTANTIATE_TEST_SUITE_P(PresetsAndBlocks, StreamReceiverBlocks,
                         ::testing::Combine(::testing::Values(0, 1),
                                            ::testing::Values(1, 100, 144, 4096, 1 << 20)));

TEST(StreamReceiver, AFullQueuePushesOutTheOldestAndCountsIt) {
    std::vector<std::string> texts;
    for (int i = 0; i < RYX_STREAM_QUEUE + 1; ++i) texts.push_back("queue000" + std::to_string(i));
    RYX_StreamReceiver* receiver = nullptr;
    const std::vector<std::string> heard =
        hear(RYX_STREAM_PHONE_16000, texts, 0.2f, 4096, true, &receiver);
    EXPECT_EQ(heard, std::vector<std::string>(texts.begin() + 1, texts.end()));
    EXPECT_EQ(RYX_StreamReceiver_Lost(receiver), 1);
    RYX_StreamReceiver_Destroy(receiver);
}

// Objects built in the caller's memory: exactly Size bytes at any address hold one that works as
// Create's does; a byte fewer, null memory or an unknown preset give null and touch nothing.
class StreamCreateIn : public ::testing::TestWithParam<std::tuple<int, size_t>> {};

TEST_P(StreamCreateIn, SizeBytesAtAnyAddressAndNotOneFewer) {
    const int preset = kShapes[std::get<0>(GetParam())].preset;
    const size_t offset = std::get<1>(GetParam());
    const size_t rx = RYX_StreamReceiver_Size(preset);
    const size_t tx = RYX_StreamEncoder_Size(preset);
    ASSERT_GT(rx, 0u);
    ASSERT_GT(tx, 0u);
    std::vector<unsigned char> memory(offset + rx + tx, 0x5a);
    unsigned char* at = memory.data() + offset;
    EXPECT_EQ(RYX_StreamReceiver_CreateIn(preset, at, rx - 1), nullptr);
    EXPECT_EQ(RYX_StreamEncoder_CreateIn(preset, at, tx - 1), nullptr);
    EXPECT_EQ(RYX_StreamReceiver_CreateIn(preset, nullptr, rx), nullptr);
    EXPECT_EQ(RYX_StreamReceiver_CreateIn(7, at, rx), nullptr);
    EXPECT_TRUE(
        std::all_of(memory.begin(), memory.end(), [](unsigned char b) { return b == 0x5a; }));

    RYX_StreamReceiver* receiver = RYX_StreamReceiver_CreateIn(preset, at, rx);
    RYX_StreamEncoder* encoder = RYX_StreamEncoder_CreateIn(preset, at + rx, tx);
    ASSERT_NE(receiver, nullptr);
    ASSERT_NE(encoder, nullptr);
    std::vector<float> audio(static_cast<size_t>(RYX_StreamEncoder_Start(encoder, "arena0123")));
    audio.resize(static_cast<size_t>(
        RYX_StreamEncoder_Execute(encoder, audio.data(), static_cast<int>(audio.size()))));
    EXPECT_EQ(audio, streamed(preset, "arena0123", 1 << 20));
    audio.resize(audio.size() + static_cast<size_t>(RYX_StreamSampleRate(preset)), 0.0f);
    EXPECT_EQ(RYX_StreamReceiver_Execute(receiver, audio.data(), static_cast<int>(audio.size())),
              1);
    RYX_StreamMessage m;
    ASSERT_EQ(RYX_StreamReceiver_Poll(receiver, &m), 1);
    EXPECT_STREQ(m.text, "arena0123");
    RYX_StreamReceiver_Destroy(receiver);
    RYX_StreamEncoder_Destroy(encoder);
}

INSTANTIATE_TEST_SUITE_P(PresetsAndAddresses, StreamCreateIn,
                         ::testing::Combine(::testing::Values(0, 1),
                                            ::testing::Values(size_t{0}, size_t{1}, size_t{63})));

TEST(StreamInterface, HostileArgumentsDoNothing) {
    for (int preset : {-1, 2, 1 << 30}) {
        EXPECT_EQ(RYX_StreamSampleRate(preset), 0);
        EXPECT_EQ(RYX_StreamEncoder_Create(preset), nullptr);
        EXPECT_EQ(RYX_StreamReceiver_Create(preset), nullptr);
        EXPECT_EQ(RYX_StreamEncoder_Size(preset), 0u);
        EXPECT_EQ(RYX_StreamReceiver_Size(preset), 0u);
        EXPECT_EQ(RYX_StreamPayloadEncoder_Size(preset, RYX_STREAM_PAYLOAD_ROBUST), 0u);
        EXPECT_EQ(RYX_StreamPayloadEncoder_Create(preset, RYX_STREAM_PAYLOAD_ROBUST), nullptr);
    }
    for (int profile : {-1, 2, 1 << 30}) {
        EXPECT_EQ(RYX_StreamPayloadEncoder_Size(RYX_STREAM_AUDIBLE_22050, profile), 0u);
        EXPECT_EQ(RYX_StreamPayloadEncoder_Create(RYX_STREAM_AUDIBLE_22050, profile), nullptr);
    }
    unsigned char memory[1 << 14];
    EXPECT_EQ(RYX_StreamPayloadEncoder_CreateIn(RYX_STREAM_AUDIBLE_22050, RYX_STREAM_PAYLOAD_FAST,
                                                nullptr, sizeof memory),
              nullptr);
    float buffer[16] = {};
    RYX_StreamMessage m{};
    EXPECT_EQ(RYX_StreamEncoder_Start(nullptr, "hello0123"), 0);
    EXPECT_EQ(RYX_StreamEncoder_Execute(nullptr, buffer, 16), 0);
    EXPECT_EQ(RYX_StreamReceiver_Execute(nullptr, buffer, 16), 0);
    EXPECT_EQ(RYX_StreamReceiver_Poll(nullptr, &m), 0);
    EXPECT_EQ(RYX_StreamReceiver_Lost(nullptr), 0);
    RYX_StreamEncoder_Destroy(nullptr);
    RYX_StreamReceiver_Destroy(nullptr);
    const uint8_t bytes[4] = {1, 2, 3, 4};
    EXPECT_EQ(RYX_StreamPayloadEncoder_Start(nullptr, bytes, 4), 0);
    EXPECT_EQ(RYX_StreamPayloadEncoder_Execute(nullptr, buffer, 16), 0);
    RYX_StreamPayloadEncoder_Destroy(nullptr);

    RYX_StreamPayloadEncoder* payload =
        RYX_StreamPayloadEncoder_Create(RYX_STREAM_PHONE_16000, RYX_STREAM_PAYLOAD_ROBUST);
    EXPECT_EQ(RYX_StreamPayloadEncoder_Execute(payload, buffer, 16), 0);  // nothing started
    const std::vector<uint8_t> large(RYX_STREAM_PAYLOAD_MAX_BYTES + 1, 0x33);
    for (auto [data, size] : {std::pair<const uint8_t*, int>{nullptr, 4},
                              {bytes, 0},
                              {bytes, -1},
                              {large.data(), RYX_STREAM_PAYLOAD_MAX_BYTES + 1}}) {
        EXPECT_EQ(RYX_StreamPayloadEncoder_Start(payload, data, size), 0);
        EXPECT_EQ(RYX_StreamPayloadEncoder_Execute(payload, buffer, 16), 0);
    }
    EXPECT_GT(RYX_StreamPayloadEncoder_Start(payload, large.data(), RYX_STREAM_PAYLOAD_MAX_BYTES),
              0);
    EXPECT_EQ(RYX_StreamPayloadEncoder_Execute(payload, nullptr, 16), 0);
    EXPECT_EQ(RYX_StreamPayloadEncoder_Execute(payload, buffer, -5), 0);
    EXPECT_EQ(RYX_StreamPayloadEncoder_Execute(payload, buffer, 16), 16);
    RYX_StreamPayloadEncoder_Destroy(payload);

    RYX_StreamEncoder* encoder = RYX_StreamEncoder_Create(RYX_STREAM_AUDIBLE_22050);
    EXPECT_EQ(RYX_StreamEncoder_Execute(encoder, buffer, 16), 0);  // nothing started
    for (const char* text : {static_cast<const char*>(nullptr), "hellox123", "hello 123"}) {
        EXPECT_EQ(RYX_StreamEncoder_Start(encoder, text), 0);
        EXPECT_EQ(RYX_StreamEncoder_Execute(encoder, buffer, 16), 0);
    }
    EXPECT_EQ(RYX_StreamEncoder_Start(encoder, "hello0123"), 46080);
    EXPECT_EQ(RYX_StreamEncoder_Execute(encoder, nullptr, 16), 0);
    EXPECT_EQ(RYX_StreamEncoder_Execute(encoder, buffer, -5), 0);
    EXPECT_EQ(RYX_StreamEncoder_Execute(encoder, buffer, 16), 16);
    RYX_StreamEncoder_Destroy(encoder);

    RYX_StreamReceiver* receiver = RYX_StreamReceiver_Create(RYX_STREAM_AUDIBLE_22050);
    const float hostile[4] = {NAN, INFINITY, -1e30f, 1e30f};
    EXPECT_EQ(RYX_StreamReceiver_Execute(receiver, nullptr, 100), 0);
    EXPECT_EQ(RYX_StreamReceiver_Execute(receiver, buffer, -100), 0);
    EXPECT_EQ(RYX_StreamReceiver_Execute(receiver, hostile, 4), 0);
    EXPECT_EQ(RYX_StreamReceiver_Poll(receiver, nullptr), 0);
    EXPECT_EQ(RYX_StreamReceiver_Poll(receiver, &m), 0);
    RYX_StreamReceiver_Destroy(receiver);
}

}  // namespace
