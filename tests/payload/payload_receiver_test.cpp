// The payload receiver on audio made to break it: frames of two payloads that share an identity,
// each passing its own check while the joined bytes fail the payload's CRC-32; frames whose
// decided tones are the quietest of their sets; and senders whose clocks run 1500 to 2000 ppm
// fast or slow.
#include "payload/payload_receiver.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdint>
#include <map>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "payload/payload_encoder.h"

namespace RYX {
namespace {

using Audio = std::vector<float>;
using Bytes = std::vector<uint8_t>;

constexpr float kRate = 44100.0f;
constexpr double kTwoPi = 6.283185307179586;

const char* profileName(PayloadProfile profile) {
    return profile == PayloadProfile::Fast ? "fast" : "robust";
}

Audio silence(float rate) {
    return Audio(size_t(0.4 * rate), 0.0f);
}

void append(Audio& audio, const Audio& more) {
    audio.insert(audio.end(), more.begin(), more.end());
}

// The encoder's audio of `data` in `plan`, made at `rate`.
Audio render(PayloadProfile profile, Plan plan, const Bytes& data, float rate) {
    PayloadEncoder encoder(profile, plan, {}, rate);
    EXPECT_GT(encoder.prepare(data.data(), int(data.size())), 0);
    Audio audio(size_t(encoder.totalSamples()));
    EXPECT_EQ(encoder.render(audio.data(), int(audio.size())), int(audio.size()));
    return audio;
}

// Frame `index` of an encoder's audio.
Audio frameOf(const Audio& audio, const PayloadLayout& layout, int index) {
    const auto first = audio.begin() + ptrdiff_t(index) * layout.frameSamples;
    return Audio(first, first + layout.frameSamples);
}

std::vector<ReceivedPayload> receive(const Audio& audio, Plan plan, float rate = kRate) {
    PayloadReceiver receiver({plan}, {}, rate);
    std::vector<ReceivedPayload> out;
    for (size_t at = 0; at < audio.size(); at += 4096) {
        receiver.feed(audio.data() + at, std::min<size_t>(4096, audio.size() - at), out);
    }
    receiver.flush(out);
    return out;
}

// ---- Frames that check, a payload that does not ------------------------------------------------

// Two payloads of 60 bytes (two data frames and one parity frame) whose CRC-32s share their top
// 20 bits, the identity their frames carry: a receiver cannot tell their frames apart.
struct Twins {
    Bytes first;
    Bytes second;
};

Twins twins() {
    std::map<uint32_t, uint32_t> seen;  // identity -> the counter that gave it
    auto payload = [](uint32_t n) {
        Bytes data(60);
        for (size_t i = 0; i < data.size(); ++i) data[i] = uint8_t((n >> (8 * (i % 4))) + i);
        return data;
    };
    for (uint32_t n = 0;; ++n) {
        const Bytes data = payload(n);
        const uint32_t identity = payloadIdentity(crc32(data.data(), data.size()));
        const auto [at, fresh] = seen.emplace(identity, n);
        if (!fresh) return {payload(at->second), data};
    }
}

struct MixCase {
    const char* name;
    std::vector<std::pair<int, int>> frames;  // (payload 0 or 1, frame index), in this order
    bool whole;                               // the first payload arrives whole
};

void PrintTo(const MixCase& c, std::ostream* os) {
    *os << c.name;
}

class MixedFrames : public ::testing::TestWithParam<MixCase> {};

// Each frame passes its own check, so only the CRC-32 over the joined bytes tells that they are
// not one payload: it is reported failed, without data, never as either payload.
TEST_P(MixedFrames, AreDeliveredOnlyWhenThePayloadChecks) {
    const MixCase& c = GetParam();
    const Twins t = twins();
    ASSERT_NE(t.first, t.second);
    const PayloadProfile profile = PayloadProfile::Fast;
    const PayloadLayout layout = makePayloadLayout(profile, Plan::Audible, {}, kRate);
    const Audio sent[2] = {render(profile, Plan::Audible, t.first, kRate),
                           render(profile, Plan::Audible, t.second, kRate)};
    Audio audio = silence(kRate);
    for (const auto& [payload, index] : c.frames) {
        append(audio, frameOf(sent[payload], layout, index));
    }
    append(audio, silence(kRate));

    const std::vector<ReceivedPayload> got = receive(audio, Plan::Audible);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].ok, c.whole);
    EXPECT_EQ(got[0].framesHeard, int(c.frames.size()));
    EXPECT_EQ(got[0].data, c.whole ? t.first : Bytes{});
}

INSTANTIATE_TEST_SUITE_P(
    Twins, MixedFrames,
    ::testing::Values(MixCase{"data_frames_of_both", {{0, 0}, {1, 1}}, false},
                      MixCase{"parity_of_the_other", {{0, 0}, {1, 2}}, false},
                      // The data frame that was missing still makes the first payload whole.
                      MixCase{"then_the_missing_frame", {{0, 0}, {1, 2}, {0, 1}}, true},
                      MixCase{"one_payload_with_its_parity", {{0, 0}, {0, 2}}, true}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- Frames whose tones rank low ---------------------------------------------------------------

// The complex amplitude of `freq` over samples [first, first + count) of `audio`.
std::complex<double> toneAt(const Audio& audio, size_t first, size_t count, double freq,
                            float rate) {
    std::complex<double> sum = 0.0;
    for (size_t n = 0; n < count; ++n) {
        sum += double(audio[first + n]) * std::polar(1.0, -kTwoPi * freq * double(n) / rate);
    }
    return 2.0 * sum / double(count);
}

struct RankCase {
    PayloadProfile profile;
    int buried;  // code symbols per frame whose tone is the quietest of its set
    bool heard;
};

void PrintTo(const RankCase& c, std::ostream* os) {
    *os << profileName(c.profile) << " " << c.buried << " buried";
}

class BuriedTones : public ::testing::TestWithParam<RankCase> {};

// In `buried` code symbols of every frame, the other 31 tones of the set sound louder than the
// symbol's own: those symbols are the least reliable, erased, and error correction puts each back
// at one of the quietest tones of its set. Noise that passes a frame's check by chance looks like
// that, so a frame counts only while few of its decided tones rank low: two such symbols pass,
// six do not, however well the words decode and the frame checks.
TEST_P(BuriedTones, LeaveAFrameCountedOnlyWhileTheyAreFew) {
    const RankCase& c = GetParam();
    const Bytes data(20, 0x5a);  // one data frame and one parity frame
    Audio burst = render(c.profile, Plan::Audible, data, kRate);
    const PayloadLayout l = makePayloadLayout(c.profile, Plan::Audible, {}, kRate);
    const double channelAmplitude = 0.9 / l.channels;
    for (int frame = 0; frame * l.frameSamples < int(burst.size()); ++frame) {
        for (int k = 0; k < c.buried; ++k) {
            // Spread over the words (code symbol k is in word k % 4) and over the frame.
            const int symbol = k * 29 % kFrameCodeSymbols;
            const int slot = PayloadLayout::kSyncSymbols + symbol / l.channels;
            const int channel = codeSymbolChannel(l, symbol);
            const size_t first = size_t(frame) * size_t(l.frameSamples) + size_t(l.slotStart(slot));
            const size_t count = size_t(l.slotStart(slot + 1) - l.slotStart(slot));
            int own = 0;
            double loudest = 0.0;
            for (int t = 0; t < PayloadLayout::kSetTones; ++t) {
                const double a = std::abs(
                    toneAt(burst, first, count, l.toneHz(l.setOf(slot), channel, t), kRate));
                if (a > loudest) {
                    loudest = a;
                    own = t;
                }
            }
            ASSERT_GT(loudest, 0.5 * channelAmplitude);
            for (int t = 0; t < PayloadLayout::kSetTones; ++t) {
                if (t == own) continue;
                const double step = kTwoPi * l.toneHz(l.setOf(slot), channel, t) / kRate;
                for (size_t n = 0; n < count; ++n) {
                    burst[first + n] += float(1.5 * channelAmplitude * std::sin(step * double(n)));
                }
            }
        }
    }
    Audio audio = silence(kRate);
    append(audio, burst);
    append(audio, silence(kRate));

    const std::vector<ReceivedPayload> got = receive(audio, Plan::Audible);
    if (c.heard) {
        ASSERT_EQ(got.size(), 1u);
        EXPECT_TRUE(got[0].ok);
        EXPECT_EQ(got[0].data, data);
    } else {
        EXPECT_TRUE(got.empty()) << "a payload from " << got.size() << " frames";
    }
}

INSTANTIATE_TEST_SUITE_P(Symbols, BuriedTones,
                         ::testing::Values(RankCase{PayloadProfile::Fast, 0, true},
                                           RankCase{PayloadProfile::Fast, 2, true},
                                           RankCase{PayloadProfile::Fast, 6, false},
                                           RankCase{PayloadProfile::Fast, 12, false},
                                           RankCase{PayloadProfile::Robust, 2, true},
                                           RankCase{PayloadProfile::Robust, 6, false},
                                           RankCase{PayloadProfile::Robust, 12, false}),
                         [](const auto& info) {
                             return std::string(profileName(info.param.profile)) + "_" +
                                    std::to_string(info.param.buried) + "_buried";
                         });

// ---- A sender's clock off ----------------------------------------------------------------------

struct DriftCase {
    Plan plan;
    PayloadProfile profile;
    int ppm;       // how much faster than the receiver's the sender's clock runs
    double snrDb;  // white noise: the burst's mean power over the noise's, over the whole band
};

void PrintTo(const DriftCase& c, std::ostream* os) {
    *os << int(c.plan) << " " << profileName(c.profile) << " " << c.ppm << " ppm " << c.snrDb
        << " dB";
}

class ClockDrift : public ::testing::TestWithParam<DriftCase> {};

// A sender whose clock runs fast makes each symbol too few samples long at tones too high by as
// much; the receiver reads every frame under the drift its sync slots show. With a data frame lost
// (140 bytes: three data frames and one parity frame) every other frame must be heard, in white
// noise 2 dB below a level every case still survives. At 17.8 kHz (the
// non-audible plan) 2000 ppm is 36 Hz, most of a fast tone spacing: read at the undrifted tones,
// no frame there checks.
TEST_P(ClockDrift, LeavesThePayloadWhole) {
    const DriftCase& c = GetParam();
    Bytes data(140);
    for (size_t i = 0; i < data.size(); ++i) data[i] = uint8_t(i * 37 + 11);
    const float sentAt = float(kRate * (1.0 - c.ppm * 1e-6));
    Audio burst = render(c.profile, c.plan, data, sentAt);
    const int frameSamples = makePayloadLayout(c.profile, c.plan, {}, sentAt).frameSamples;
    std::fill(burst.begin() + frameSamples, burst.begin() + 2 * frameSamples, 0.0f);
    double power = 0.0;
    for (float v : burst) power += double(v) * v;
    power /= double(burst.size());
    Audio audio = silence(kRate);
    append(audio, burst);
    append(audio, silence(kRate));
    std::mt19937 rng(unsigned(c.ppm + 5000));
    std::normal_distribution<double> noise(0.0, std::sqrt(power / std::pow(10.0, c.snrDb / 10)));
    for (float& v : audio) v = float(v + noise(rng));

    const std::vector<ReceivedPayload> got = receive(audio, c.plan);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_TRUE(got[0].ok);
    EXPECT_EQ(got[0].data, data);
    EXPECT_EQ(got[0].framesHeard, 3);
}

std::vector<DriftCase> driftCases() {
    std::vector<DriftCase> cases;
    const DriftCase noisy[] = {{Plan::Audible, PayloadProfile::Fast, 0, -7.0},
                               {Plan::Audible, PayloadProfile::Robust, 0, -11.0},
                               {Plan::NonAudible, PayloadProfile::Fast, 0, -10.0},
                               {Plan::NonAudible, PayloadProfile::Robust, 0, -12.0}};
    for (DriftCase c : noisy) {
        for (int ppm : {-2000, -1500, 1500, 2000}) {
            c.ppm = ppm;
            cases.push_back(c);
        }
    }
    return cases;
}

INSTANTIATE_TEST_SUITE_P(Senders, ClockDrift, ::testing::ValuesIn(driftCases()),
                         [](const auto& info) {
                             const DriftCase& c = info.param;
                             return std::string(c.plan == Plan::Audible ? "audible"
                                                                        : "nonaudible") +
                                    "_" + profileName(c.profile) + "_" +
                                    (c.ppm < 0 ? "slow_" : "fast_") +
                                    std::to_string(std::abs(c.ppm)) + "_ppm";
                         });

}  // namespace
}  // namespace RYX
