// The payload encoder's pilot: a quiet tone at the plan's tone 5 all through a payload, so that a
// text receiver which takes the loudest of its nine tones for a start symbol never hears a text
// begin in a payload's tones.
#include "payload/payload_encoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "decoder/standard_receiver.h"
#include "test_support.h"

namespace RYX {
namespace {

using Audio = std::vector<float>;

constexpr double kTwoPi = 6.283185307179586;

struct PilotCase {
    Plan plan;
    PayloadProfile profile;
    float rate;
};

std::string describe(const PilotCase& c) {
    return std::string(test::planName(c.plan)) + "_" +
           (c.profile == PayloadProfile::Fast ? "fast" : "robust") + "_" +
           std::to_string(int(c.rate));
}

void PrintTo(const PilotCase& c, std::ostream* os) {
    *os << describe(c);
}

std::vector<PilotCase> pilotCases() {
    std::vector<PilotCase> cases;
    for (Plan plan : {Plan::Audible, Plan::NonAudible, Plan::Compression, Plan::Custom}) {
        for (PayloadProfile profile : {PayloadProfile::Fast, PayloadProfile::Robust}) {
            for (float rate : {44100.0f, 48000.0f}) cases.push_back({plan, profile, rate});
        }
    }
    return cases;
}

// 60 bytes: two data frames and a parity frame.
Audio render(PayloadEncoder& encoder) {
    std::vector<uint8_t> data(60);
    for (size_t i = 0; i < data.size(); ++i) data[i] = uint8_t(i * 97 + 5);
    EXPECT_GT(encoder.prepare(data.data(), int(data.size())), 0);
    Audio audio(size_t(encoder.totalSamples()));
    encoder.render(audio.data(), int(audio.size()));
    return audio;
}

// The amplitude of `freq` over samples [first, first + count).
double amplitudeAt(const Audio& audio, size_t first, size_t count, double freq, float rate) {
    std::complex<double> sum = 0.0;
    for (size_t n = 0; n < count; ++n) {
        sum += double(audio[first + n]) * std::polar(1.0, -kTwoPi * freq * double(n) / rate);
    }
    return 2.0 * std::abs(sum) / double(count);
}

class Pilot : public ::testing::TestWithParam<PilotCase> {};

// In every frame the pilot stands at about a tenth of a channel's tone (measured on channel 0's
// first sync slot).
TEST_P(Pilot, SoundsQuietlyAllThroughAPayload) {
    const PilotCase& c = GetParam();
    PayloadEncoder encoder(c.profile, c.plan, {}, c.rate);
    const PayloadLayout* l = &encoder.layout();
    ASSERT_TRUE(l->fits);
    const Audio audio = render(encoder);
    const Tuning tuning = makeTuning(44100.0f);
    EXPECT_NEAR(l->pilotHz, toneFrequency(c.plan, 5, tuning), 1e-3);
    for (int frame = 0; frame * l->frameSamples < int(audio.size()); ++frame) {
        const size_t first = size_t(frame) * size_t(l->frameSamples);
        const double tone = amplitudeAt(audio, first, size_t(l->slotStart(1)),
                                        l->toneHz(0, 0, syncTone(0, 0)), c.rate);
        const double pilot = amplitudeAt(audio, first, size_t(l->frameSamples), l->pilotHz, c.rate);
        EXPECT_GT(pilot, 0.07 * tone) << "frame " << frame;
        EXPECT_LT(pilot, 0.14 * tone) << "frame " << frame;
    }
}

// The standard receiver never hears a text begin in a payload: listening for the payload's plan
// alone, or for all three plans.
TEST_P(Pilot, KeepsTheStandardReceiverFromStarting) {
    const PilotCase& c = GetParam();
    PayloadEncoder encoder(c.profile, c.plan, {}, c.rate);
    Audio audio(size_t(0.3 * c.rate), 0.0f);
    const Audio burst = render(encoder);
    audio.insert(audio.end(), burst.begin(), burst.end());
    audio.resize(audio.size() + size_t(0.3 * c.rate), 0.0f);
    std::vector<std::vector<Plan>> listeners = {{c.plan}};
    if (c.plan != Plan::Custom)
        listeners.push_back({Plan::Audible, Plan::NonAudible, Plan::Compression});
    for (const std::vector<Plan>& plans : listeners) {
        StandardReceiver receiver(plans, makeTuning(c.rate));
        std::vector<ReceivedMessage> out;
        int64_t started = -1;
        for (size_t at = 0; at < audio.size(); at += 1024) {
            receiver.feed(audio.data() + at, std::min<size_t>(1024, audio.size() - at), out);
            if (receiver.inMessage() && started < 0) started = receiver.position();
        }
        receiver.flush(out);
        EXPECT_EQ(started, -1) << plans.size() << " plans: a text began by sample " << started;
        EXPECT_TRUE(out.empty()) << plans.size() << " plans";
    }
}

INSTANTIATE_TEST_SUITE_P(Plans, Pilot, ::testing::ValuesIn(pilotCases()),
                         [](const auto& info) { return describe(info.param); });

}  // namespace
}  // namespace RYX
