// ryxsound::Decoder: both receivers hear what ryxsound::encode sends in every mode, at every rate
// the modes fit, and a decoder that could not hear is never built: it is refused with the reason.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "ryxsound/ryxsound.hpp"

namespace {

using ryxsound::Mode;
using ryxsound::Plan;
using ryxsound::Receiver;

const Mode kModes[] = {Mode::Audible, Mode::NonAudible, Mode::Compression, Mode::All, Mode::Custom};

// The mode that sends `plan`.
Mode sender(Plan plan) {
    switch (plan) {
        case Plan::Audible:
            return Mode::Audible;
        case Plan::NonAudible:
            return Mode::NonAudible;
        case Plan::Compression:
            return Mode::Compression;
        case Plan::Custom:
            return Mode::Custom;
    }
    return Mode::Audible;
}

// `text` sent in `plan` with `lead` seconds of silence before and 0.3 s after.
std::vector<float> transmission(const std::string& text, Plan plan, float rate, double lead = 0.3,
                                ryxsound::CustomBand custom = {}) {
    std::vector<float> audio(static_cast<size_t>(lead * rate), 0.0f);
    const std::vector<float> sent = ryxsound::encode(text, sender(plan), rate, {}, custom);
    audio.insert(audio.end(), sent.begin(), sent.end());
    audio.resize(audio.size() + static_cast<size_t>(0.3 * rate), 0.0f);
    return audio;
}

std::vector<ryxsound::Message> hear(ryxsound::Decoder& decoder, const std::vector<float>& audio) {
    std::vector<ryxsound::Message> out;
    for (size_t at = 0; at < audio.size(); at += 4096) {
        decoder.feed(audio.data() + at, std::min<size_t>(4096, audio.size() - at), out);
    }
    decoder.flush(out);
    return out;
}

// Samples per symbol at `rate` (the same for every plan).
double symbolSamples(float rate) {
    return ryxsound::planInfo(Plan::Audible, rate).symbolSamples;
}

bool fits(Mode mode, float rate, ryxsound::CustomBand custom = {}) {
    try {
        ryxsound::checkModeFits(mode, rate, custom);
        return true;
    } catch (const std::invalid_argument&) {
        return false;
    }
}

TEST(PublicDecoder, BothReceiversHearEveryPlanOfEveryMode) {
    for (float rate : {44100.0f, 48000.0f, 22050.0f}) {
        const ryxsound::CustomBand custom =
            rate == 22050.0f ? ryxsound::CustomBand{4000.0f, 1} : ryxsound::CustomBand{};
        for (Mode mode : kModes) {
            if (!fits(mode, rate, custom)) continue;
            for (Plan plan : ryxsound::plansOf(mode)) {
                const std::vector<float> audio =
                    transmission("hello0123", plan, rate, 0.37, custom);
                for (Receiver receiver : {Receiver::Standard, Receiver::Robust}) {
                    ryxsound::Decoder decoder(mode, rate, receiver, custom);
                    const auto got = hear(decoder, audio);
                    const std::string what = std::string(ryxsound::receiverName(receiver)) + " " +
                                             ryxsound::modeName(mode) + " " +
                                             ryxsound::planName(plan) + " at " +
                                             std::to_string(rate);
                    ASSERT_EQ(got.size(), 1u) << what;
                    EXPECT_EQ(got[0].text, "hello0123") << what;
                    EXPECT_TRUE(got[0].ok) << what;
                    EXPECT_EQ(got[0].plan, plan) << what;
                    EXPECT_TRUE(got[0].corrected.empty()) << what;
                    EXPECT_NEAR(static_cast<double>(got[0].start), 0.37 * rate,
                                symbolSamples(rate) / 10.0)
                        << what;
                }
            }
        }
    }
}

TEST(PublicDecoder, BothReceiversReportNothingFromNoiseAlone) {
    const float rate = 44100.0f;
    std::mt19937 rng(17);
    std::normal_distribution<float> gauss(0.0f, 0.1f);
    std::vector<float> noise(static_cast<size_t>(5 * rate));
    for (float& x : noise) x = gauss(rng);
    for (Mode mode : kModes) {
        for (Receiver receiver : {Receiver::Standard, Receiver::Robust}) {
            ryxsound::Decoder decoder(mode, rate, receiver);
            for (const auto& m : hear(decoder, noise)) {
                EXPECT_FALSE(m.ok) << ryxsound::receiverName(receiver) << " "
                                   << ryxsound::modeName(mode) << " heard " << m.text;
            }
        }
    }
}

// The robust receiver hears every mode at every rate the mode fits, far beyond the usual rates:
// up to the top of the range, where the plans' tones still stand apart.
TEST(PublicDecoder, RobustReceiverHearsEveryRateTheModesFit) {
    std::vector<float> rates = {390000.0f, 1000000.0f, 384000.0f, 32000.0f, 88200.0f,
                                96000.0f,  192000.0f,  24000.0f,  50000.0f, 999999.0f};
    for (int i = 0; i < 16; ++i)
        rates.push_back(std::round(1000.0f * std::pow(1000.0f, i / 15.0f)));
    int heard = 0;
    for (float rate : rates) {
        for (Mode mode : kModes) {
            if (mode == Mode::All || !fits(mode, rate)) continue;
            const Plan plan = ryxsound::plansOf(mode)[0];
            ryxsound::Decoder decoder(mode, rate, Receiver::Robust);
            const auto got = hear(decoder, transmission("r0bust987", plan, rate));
            const std::string what =
                std::string(ryxsound::modeName(mode)) + " at " + std::to_string(rate) + " Hz";
            ASSERT_EQ(got.size(), 1u) << what;
            EXPECT_EQ(got[0].text, "r0bust987") << what;
            EXPECT_TRUE(got[0].ok) << what;
            EXPECT_NEAR(static_cast<double>(got[0].start), 0.3 * rate, symbolSamples(rate) / 10.0)
                << what;
            ++heard;
        }
    }
    EXPECT_GE(heard, 40);  // the rates above hold that many mode and rate pairs
    // The top of the range in particular.
    EXPECT_TRUE(fits(Mode::NonAudible, 1000000.0f));
    EXPECT_TRUE(fits(Mode::NonAudible, 390000.0f));
    EXPECT_TRUE(fits(Mode::Compression, 390000.0f));
}

// Above 384000 Hz the audible plan's 750 Hz spacing snaps to zero whole bins of the analysis
// window (one bin is 1523 Hz at 390000 Hz): its nine tones are one. No receiver, and no encoder,
// is built for it.
TEST(PublicDecoder, RefusesAPlanWhoseTonesMerge) {
    EXPECT_FALSE(ryxsound::planInfo(Plan::Audible, 390000.0f).fits);
    EXPECT_TRUE(ryxsound::planInfo(Plan::Audible, 384000.0f).fits);
    for (Receiver receiver : {Receiver::Standard, Receiver::Robust}) {
        try {
            ryxsound::Decoder decoder(Mode::Audible, 390000.0f, receiver);
            ADD_FAILURE() << ryxsound::receiverName(receiver) << " built";
        } catch (const std::invalid_argument& e) {
            EXPECT_EQ(std::string(e.what()),
                      "the audible plan's tones 3046.88 Hz..3046.88 Hz merge at 390000 Hz, whose "
                      "analysis bins are 1523.44 Hz wide: use 44100 or 48000 Hz");
        }
    }
    EXPECT_THROW(ryxsound::Encoder(Mode::Audible, 390000.0f), std::invalid_argument);
    EXPECT_THROW(ryxsound::Decoder(Mode::All, 1000000.0f), std::invalid_argument);
    EXPECT_THROW(ryxsound::Decoder(Mode::Compression, 1000000.0f), std::invalid_argument);
}

TEST(PublicDecoder, RefusesValuesOutsideTheEnumerations) {
    try {
        ryxsound::Decoder decoder(static_cast<Mode>(9), 44100.0f);
        ADD_FAILURE() << "mode 9 built";
    } catch (const std::invalid_argument& e) {
        EXPECT_EQ(std::string(e.what()),
                  "unknown mode 9: the modes are 2 audible, 3 nonaudible, 4 compression, 5 all, "
                  "6 custom");
    }
    try {
        ryxsound::Decoder decoder(Mode::Audible, 44100.0f, static_cast<Receiver>(5));
        ADD_FAILURE() << "receiver 5 built";
    } catch (const std::invalid_argument& e) {
        EXPECT_EQ(std::string(e.what()), "unknown receiver 5: use robust or standard");
    }
    EXPECT_THROW(ryxsound::Decoder(Mode::Audible, 999.0f), std::invalid_argument);
    EXPECT_THROW(ryxsound::Decoder(Mode::Audible, std::nanf("")), std::invalid_argument);
}

}  // namespace

// What a message says of its symbols: a failed word claims none clean and none corrected, and a
// word the robust receiver finishes from silence lists only message symbols (never parity).
TEST(PublicDecoder, MessagesAccountOnlyForMessageSymbolsTheyTrust) {
    const float rate = 44100.0f;
    std::vector<float> audio = transmission("hello0123", Plan::Audible, rate);
    const size_t symbol = static_cast<size_t>(symbolSamples(rate));
    const size_t lead = static_cast<size_t>(0.3 * rate);
    // The standard receiver on a transmission whose checksum and parity are replaced by silence.
    std::vector<float> cut(audio.begin(), audio.begin() + lead + 11 * symbol);
    ryxsound::Decoder standard(Mode::Audible, rate, Receiver::Standard);
    for (const ryxsound::Message& m : hear(standard, cut)) {
        if (m.ok) continue;
        EXPECT_EQ(m.cleanShare, 0.0f) << m.text;
        EXPECT_TRUE(m.corrected.empty()) << m.text;
    }
    // The robust receiver on one whose last parity symbol is silent.
    std::fill(audio.begin() + lead + 19 * symbol, audio.begin() + lead + 20 * symbol, 0.0f);
    ryxsound::Decoder robust(Mode::Audible, rate, Receiver::Robust);
    const std::vector<ryxsound::Message> heard = hear(robust, audio);
    ASSERT_EQ(heard.size(), 1u);
    EXPECT_TRUE(heard[0].ok);
    for (int position : heard[0].corrected) EXPECT_LT(position, 12);
}
