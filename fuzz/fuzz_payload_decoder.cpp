// The payload decoder, through the C++ interface, in two ways chosen by the first byte's low bit:
//
//  0 - arbitrary audio: a mode byte (2..6), a rate index, then until the input runs out a buffer
//      length (0..65535) and its samples, either raw 32-bit floats (NaN, infinities, 1e30,
//      denormals) or bytes scaled to [-1, 1); after every buffer the progress and position are
//      read, and the decoder is flushed at the end. It must never read or write out of bounds.
//  1 - a genuine payload damaged: a profile bit, a plan rate, a repeat count (1..2) and the
//      payload (1..46 bytes from the input: two frames) are sent in the audible plan; then, until
//      the input runs out, damage: a span of samples silenced, overwritten by a fuzzed value,
//      scaled, or with fuzzed bytes added. A payload reported intact must be exactly the one sent,
//      and of its size: anything else aborts.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <vector>

#include "ryxsound/ryxsound.hpp"

namespace {

const float kRates[] = {44100.0f, 48000.0f, 22050.0f, 8000.0f, 96000.0f, 1000.0f, 192000.0f};
constexpr size_t kMaxBurst =
    46;  // payload bytes of a damaged transmission: 1 data + 1 parity frame

void arbitraryAudio(FuzzedDataProvider& in) {
    const int mode = in.ConsumeIntegralInRange<int>(2, 6);
    const float rate = in.PickValueInArray(kRates);
    std::vector<ryxsound::Payload> out;
    try {
        ryxsound::PayloadDecoder decoder(ryxsound::Mode(mode), rate);
        std::vector<float> samples;
        while (in.remaining_bytes() > 0) {
            const size_t length = in.ConsumeIntegral<uint16_t>();
            const bool raw = in.ConsumeBool();
            samples.clear();
            while (samples.size() < length && in.remaining_bytes() > 0) {
                if (raw) {
                    float value = 0.0f;
                    const std::vector<uint8_t> bytes = in.ConsumeBytes<uint8_t>(sizeof value);
                    std::memcpy(&value, bytes.data(), bytes.size());
                    samples.push_back(value);
                } else {
                    samples.push_back((in.ConsumeIntegral<uint8_t>() - 128) / 128.0f);
                }
            }
            decoder.feed(samples.data(), samples.size(), out);
            (void)decoder.progress();
            (void)decoder.position();
        }
        decoder.flush(out);
    } catch (const std::invalid_argument&) {
        // A mode that does not fit at the rate: refused, as documented.
    }
}

void damagedPayload(FuzzedDataProvider& in) {
    const auto profile = in.ConsumeBool() ? ryxsound::Profile::Robust : ryxsound::Profile::Fast;
    const float rate = in.ConsumeBool() ? 48000.0f : 44100.0f;
    const int repeat = in.ConsumeIntegralInRange<int>(1, 2);
    std::vector<uint8_t> sent =
        in.ConsumeBytes<uint8_t>(in.ConsumeIntegralInRange<size_t>(1, kMaxBurst));
    if (sent.empty()) sent.push_back(0);
    std::vector<float> audio(size_t(rate / 4), 0.0f);
    const std::vector<float> burst = ryxsound::encodePayload(
        sent.data(), sent.size(), profile, ryxsound::Mode::Audible, rate, {}, repeat);
    audio.insert(audio.end(), burst.begin(), burst.end());
    audio.resize(audio.size() + size_t(rate / 4), 0.0f);

    while (in.remaining_bytes() > 0) {
        const size_t first = in.ConsumeIntegralInRange<size_t>(0, audio.size() - 1);
        const size_t count =
            std::min(audio.size() - first, size_t(in.ConsumeIntegral<uint16_t>()) * 8);
        const int kind = in.ConsumeIntegralInRange<int>(0, 3);
        const float value = in.ConsumeFloatingPointInRange<float>(-2.0f, 2.0f);
        for (size_t i = first; i < first + count; ++i) {
            switch (kind) {
                case 0:
                    audio[i] = 0.0f;
                    break;
                case 1:
                    audio[i] = value;
                    break;
                case 2:
                    audio[i] *= value;
                    break;
                default:
                    audio[i] += (in.ConsumeIntegral<uint8_t>() - 128) / 256.0f;
            }
        }
    }

    ryxsound::PayloadDecoder decoder(ryxsound::Mode::Audible, rate);
    std::vector<ryxsound::Payload> got;
    decoder.feed(audio.data(), audio.size(), got);
    decoder.flush(got);
    for (const ryxsound::Payload& p : got) {
        if (p.ok && (p.data != sent || p.size != sent.size())) {
            std::fprintf(stderr, "payload of %zu bytes reported intact but changed\n", sent.size());
            std::abort();
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    if (in.ConsumeIntegral<uint8_t>() & 1) {
        damagedPayload(in);
    } else {
        arbitraryAudio(in);
    }
    return 0;
}
