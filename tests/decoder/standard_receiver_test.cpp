// The standard receiver behind MessageReceiver: it listens for the plans it is given, in their
// order, and refuses at construction what it could not hear.
#include "decoder/standard_receiver.h"

#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>
#include <string>
#include <vector>

#include "decoder_test_util.h"

namespace RYX {
namespace {

std::vector<ReceivedMessage> receive(const std::vector<Plan>& plans, float rate,
                                     const test::Audio& audio) {
    StandardReceiver rx(plans, makeTuning(rate));
    std::vector<ReceivedMessage> out;
    rx.feed(audio.data(), audio.size(), out);
    rx.flush(out);
    return out;
}

TEST(StandardReceiver, HearsEachPlanItIsGiven) {
    const float rate = 48000.0f;
    const std::vector<Plan> plans = {Plan::Compression, Plan::Audible};
    for (Plan sent : plans) {
        const auto got = receive(
            plans, rate, test::padded(test::encode(sent, rate, "plans0123"), rate, 0.3, 0.3));
        ASSERT_EQ(got.size(), 1u) << test::planName(sent);
        EXPECT_EQ(std::string(got[0].text.data()), "plans0123");
        EXPECT_TRUE(got[0].ok);
        EXPECT_EQ(got[0].plan, static_cast<int>(sent));
    }
    // A plan it is not given is not heard.
    EXPECT_TRUE(
        receive({Plan::Audible}, rate,
                test::padded(test::encode(Plan::NonAudible, rate, "plans0123"), rate, 0.3, 0.3))
            .empty());
}

TEST(StandardReceiver, RefusesAtConstructionWhatItCannotHear) {
    const std::vector<std::pair<std::vector<Plan>, float>> cases = {
        {{}, 44100.0f},
        {{Plan::NonAudible}, 22050.0f},  // reaches beyond half the rate
        {{Plan::Audible, Plan::NonAudible, Plan::Compression}, 22050.0f},
        {{Plan::Audible}, 390000.0f},  // the nine tones merge into one
        {{Plan::Audible}, 999.0f},
        {{Plan::Audible}, std::nanf("")}};
    for (const auto& [plans, rate] : cases) {
        try {
            StandardReceiver rx(plans, makeTuning(rate));
            ADD_FAILURE() << plans.size() << " plans at " << rate << " Hz were accepted";
        } catch (const std::invalid_argument& e) {
            EXPECT_EQ(std::string(e.what()).rfind("standard receiver: ", 0), 0u) << e.what();
        }
    }
}

}  // namespace
}  // namespace RYX
