// The decoder fed arbitrary samples in arbitrary buffer sizes, through the API, and the robust
// receiver of the same mode and rate fed the same buffers (flushed at the end).
//
// Input layout (FuzzedDataProvider):
//   mode byte (2..6), rate index, flags;
//   flags & 1: a real transmission of a text from the input is laid under the fuzzed samples, so
//              that inputs reach the receiving states and the message assembly as well;
//   then, until the input runs out: a buffer length (0..65535, or negative) and its samples,
//   either raw 32-bit floats (NaN, infinities, 1e30, denormals) or bytes scaled to [-1, 1).
// After every event the caller's usual follow-ups run: GetDecodedData after -3, the getters, the
// spectrum. The decoder must never read or write out of bounds, whatever arrives.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstring>
#include <optional>
#include <vector>

#include "api/core_plans.h"
#include "decoder/robust_plan.h"
#include "decoder/robust_receiver.h"
#include "modes/tuning.h"
#include "ryxsound/ryx_api.h"

namespace {

const float kRates[] = {44100.0f, 48000.0f, 22050.0f, 11050.0f, 11025.0f,
                        8000.0f,  16000.0f, 1000.0f,  96000.0f};

int windowFor(float rate) {
    if (rate == 48000.0f || rate == 44100.0f) return 2048;
    if (rate == 22050.0f) return 1024;
    if (rate == 11050.0f) return 512;
    return 256;
}

// The transmission of nine characters taken from the input (mapped into the alphabet).
std::vector<float> transmission(FuzzedDataProvider& in, Context* ctx) {
    static const char kAlphabet[] = "0123456789abcdefghijklmnopqrstuv";
    char text[9];
    for (char& c : text) c = kAlphabet[in.ConsumeIntegral<uint8_t>() % 32];
    std::vector<float> audio;
    if (RYX_EncodeDataToAudioBuffer(text, 9, 0, nullptr, 0, ctx) <= 0) return audio;
    std::vector<float> slice(4096);
    int n;
    while ((n = RYX_GetEncodedAudioSlice(slice.data(), 4096, ctx)) > 0) {
        audio.insert(audio.end(), slice.begin(), slice.begin() + n);
    }
    return audio;
}

void readMeasures(Context* ctx, int window) {
    volatile float sink = RYX_GetConfidence(ctx) + RYX_GetConfidenceError(ctx) +
                          RYX_GetConfidenceNoise(ctx) + RYX_GetReceivedRyxsVolume(ctx) +
                          RYX_GetDecodingBeginFreq(ctx) + RYX_GetDecodingEndFreq(ctx);
    (void)sink;
    (void)RYX_GetDecodedMode(ctx);
    std::vector<float> spectrum(static_cast<size_t>(window / 2));  // exactly the documented room
    (void)RYX_GetSpectrum(spectrum.data(), ctx);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    const int mode = 2 + in.ConsumeIntegral<uint8_t>() % 5;
    const float rate = kRates[in.ConsumeIntegral<uint8_t>() % (sizeof kRates / sizeof *kRates)];
    const uint8_t flags = in.ConsumeIntegral<uint8_t>();
    const int window = windowFor(rate);

    Context* ctx = RYX_Create();
    if (RYX_Configure(mode, rate, 1024, ctx) != 0) {
        RYX_Destroy(ctx);
        return 0;
    }
    // The robust receiver of the plans of the mode that it can hear at this rate, if any.
    const RYX::Tuning tuning = RYX::makeTuning(rate);
    std::vector<RYX::Plan> plans;
    for (RYX::Plan plan : ryxsound::corePlans(ryxsound::modeFromNumber(mode))) {
        if (RYX::makeRobustPlan(plan, tuning).fits) plans.push_back(plan);
    }
    std::optional<RYX::RobustReceiver> robust;
    if (!plans.empty()) robust.emplace(plans, tuning);
    std::vector<RYX::ReceivedMessage> heard;
    std::vector<float> base;
    if (flags & 1) base = transmission(in, ctx);
    size_t basePos = 0;

    int events = 0;
    while (in.remaining_bytes() > 0 || basePos < base.size()) {
        const bool negative = in.ConsumeIntegralInRange(0, 15) == 0;
        int count = in.ConsumeIntegral<uint16_t>();
        if (count == 0 && in.remaining_bytes() == 0) count = 4096;  // finish the transmission
        const bool rawFloats = in.ConsumeBool();
        std::vector<float> buffer(static_cast<size_t>(count));
        for (float& x : buffer) {
            float v = 0.0f;
            if (in.remaining_bytes() > 0) {
                if (rawFloats) {
                    const uint32_t bits = in.ConsumeIntegral<uint32_t>();
                    std::memcpy(&v, &bits, sizeof v);
                } else {
                    v = static_cast<float>(in.ConsumeIntegral<int8_t>()) / 128.0f;
                }
            }
            x = v + (basePos < base.size() ? base[basePos++] : 0.0f);
        }
        if (robust) robust->feed(buffer.data(), buffer.size(), heard);
        heard.clear();
        int status = RYX_DecodeAudioBuffer(buffer.data(), negative ? -count : count, ctx);
        // Drain queued frames with empty calls, as a caller must; bounded so the loop ends.
        for (int drains = 0; status != -1 && drains < 100000; ++drains) {
            ++events;
            if (status == -3) {
                char text[10];
                (void)RYX_GetDecodedData(text, ctx);
                readMeasures(ctx, window);
            }
            status = RYX_DecodeAudioBuffer(buffer.data(), 0, ctx);
        }
        if (flags & 2) {  // fetch out of order: no message is complete here
            char text[10];
            (void)RYX_GetDecodedData(text, ctx);
        }
        if (in.remaining_bytes() == 0 && basePos >= base.size()) break;
    }
    readMeasures(ctx, window);
    if (robust) robust->flush(heard);
    (void)events;
    RYX_Destroy(ctx);
    return 0;
}
