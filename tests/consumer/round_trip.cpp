// A C++ user of the C++ interface: sends a text in every plan (and the phone preset) at each rate
// the mode supports, receives it with both receivers and checks text, plan and offsets; sends a
// payload in both profiles and receives it whole; checks that a bad text and an empty payload are
// reported as std::invalid_argument across the library boundary. Prints one line per case and
// exits 0 only when all passed.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <ryxsound/ryxsound.hpp>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

struct Case {
    ryxsound::Mode send;
    ryxsound::Mode listen;
    ryxsound::Plan plan;
    ryxsound::CustomBand custom;
    const char* text;
};

bool roundTrip(const Case& c, float rate, ryxsound::Receiver receiver) {
    const std::vector<float> silence(static_cast<size_t>(rate / 2), 0.0f);
    const std::vector<float> audio = ryxsound::encode(c.text, c.send, rate, {}, c.custom);
    ryxsound::Decoder decoder(c.listen, rate, receiver, c.custom);
    std::vector<ryxsound::Message> messages;
    decoder.feed(silence.data(), silence.size(), messages);
    for (size_t at = 0; at < audio.size(); at += 1000) {  // in chunks, as a stream arrives
        decoder.feed(audio.data() + at, std::min<size_t>(1000, audio.size() - at), messages);
    }
    decoder.feed(silence.data(), silence.size(), messages);
    decoder.flush(messages);
    const int64_t expected = static_cast<int64_t>(silence.size());
    const int64_t slack = static_cast<int64_t>(rate / 20);  // 50 ms
    const bool ok = messages.size() == 1 && messages[0].ok && messages[0].text == c.text &&
                    messages[0].plan == c.plan && messages[0].start > expected - slack &&
                    messages[0].start < expected + slack;
    std::printf("c++: %-11s at %.0f Hz, %s receiver: sent %s, heard %s: %s\n",
                ryxsound::planName(c.plan), static_cast<double>(rate),
                receiver == ryxsound::Receiver::Robust ? "robust" : "standard", c.text,
                messages.empty() ? "nothing" : messages[0].text.c_str(), ok ? "ok" : "FAILED");
    return ok;
}

bool badTextRefused() {
    try {
        ryxsound::encode("hello", ryxsound::Mode::Audible, 44100.0f);
    } catch (const std::invalid_argument& e) {
        std::printf("c++: a five-character text is refused: %s: ok\n", e.what());
        return true;
    }
    std::printf("c++: a five-character text was accepted: FAILED\n");
    return false;
}

bool payloadRoundTrip(ryxsound::Profile profile, float rate) {
    std::vector<uint8_t> sent(140);
    for (size_t i = 0; i < sent.size(); ++i) sent[i] = static_cast<uint8_t>(i * 29 + 3);
    std::vector<float> audio(static_cast<size_t>(rate / 2), 0.0f);
    const std::vector<float> burst =
        ryxsound::encodePayload(sent.data(), sent.size(), profile, ryxsound::Mode::Audible, rate);
    audio.insert(audio.end(), burst.begin(), burst.end());
    ryxsound::PayloadDecoder decoder(ryxsound::Mode::All, rate);
    std::vector<ryxsound::Payload> payloads;
    for (size_t at = 0; at < audio.size(); at += 1000) {
        decoder.feed(audio.data() + at, std::min<size_t>(1000, audio.size() - at), payloads);
    }
    decoder.flush(payloads);
    const bool ok = payloads.size() == 1 && payloads[0].ok && payloads[0].data == sent &&
                    payloads[0].profile == profile && payloads[0].plan == ryxsound::Plan::Audible;
    std::printf("c++: payload of %zu bytes, %s, at %.0f Hz: %s\n", sent.size(),
                ryxsound::profileName(profile), static_cast<double>(rate), ok ? "ok" : "FAILED");
    return ok;
}

bool emptyPayloadRefused() {
    const uint8_t byte = 0;
    try {
        ryxsound::encodePayload(&byte, 0, ryxsound::Profile::Fast, ryxsound::Mode::Audible,
                                44100.0f);
    } catch (const std::invalid_argument& e) {
        std::printf("c++: an empty payload is refused: %s: ok\n", e.what());
        return true;
    }
    std::printf("c++: an empty payload was accepted: FAILED\n");
    return false;
}

}  // namespace

int main() {
    using ryxsound::Mode;
    using ryxsound::Plan;
    const ryxsound::Preset& phone = ryxsound::presetByName("phone");
    const Case cases[] = {
        {Mode::Audible, Mode::All, Plan::Audible, {}, "hello0123"},
        {Mode::NonAudible, Mode::All, Plan::NonAudible, {}, "vvvv00001"},
        {Mode::Compression, Mode::All, Plan::Compression, {}, "abcdefghi"},
        {Mode::Custom, Mode::Custom, Plan::Custom, {}, "custom987"},
        {phone.mode, phone.mode, Plan::Custom, phone.custom, "phone0042"},
    };
    int failures = (badTextRefused() ? 0 : 1) + (emptyPayloadRefused() ? 0 : 1);
    for (float rate : {44100.0f, 48000.0f}) {
        for (auto profile : {ryxsound::Profile::Fast, ryxsound::Profile::Robust}) {
            failures += payloadRoundTrip(profile, rate) ? 0 : 1;
        }
    }
    for (const Case& c : cases) {
        // The decoder listens to every plan of its mode, so the rate must suit both sides.
        for (float rate : ryxsound::supportedRates(c.listen, c.custom)) {
            for (auto receiver : {ryxsound::Receiver::Standard, ryxsound::Receiver::Robust}) {
                failures += roundTrip(c, rate, receiver) ? 0 : 1;
            }
        }
    }
    std::printf("c++: library %s: %s\n", ryxsound::version(),
                failures ? "FAILED" : "all round trips intact");
    return failures ? 1 : 0;
}
