// Arbitrary sequences of API calls with arbitrary arguments on two Contexts.
//
// Each operation byte picks a call; its arguments come from the following bytes: any mode and
// any sample rate (NaN, infinities, negatives, huge), any buffer size, texts and melodies of any
// bytes and lengths, signatures, decodes of arbitrary samples, every getter, custom plans with any
// base and step (NaN, huge, negative), synthesis settings, destroy-and-create. Contexts are used
// empty, configured and reconfigured, and null where the API accepts null. Buffers are sized
// exactly as the API documents, so AddressSanitizer sees any access beyond them; the fuzzer keeps
// the caller's side of each contract (a text holds textLength characters, and so on).
#include <fuzzer/FuzzedDataProvider.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "ryxsound/ryx_api.h"

namespace {

struct Slot {
    Context* ctx = nullptr;
    bool configured = false;
    float rate = 0.0f;
    int32_t bufferSize = 0;
};

float anyFloat(FuzzedDataProvider& in) {
    switch (in.ConsumeIntegralInRange(0, 3)) {
        case 0: {
            const uint32_t bits = in.ConsumeIntegral<uint32_t>();
            float v;
            std::memcpy(&v, &bits, sizeof v);
            return v;
        }
        case 1:
            return in.ConsumeFloatingPoint<float>();
        case 2: {
            static const float kSpecial[] = {NAN,    INFINITY, -INFINITY, 0.0f, -0.0f, 1e30f,
                                             -1e30f, 3.4e38f,  1e-40f,    1.0f, -1.0f};
            return kSpecial[in.ConsumeIntegral<uint8_t>() % (sizeof kSpecial / sizeof *kSpecial)];
        }
        default: {
            static const float kRates[] = {44100.0f, 48000.0f, 22050.0f, 11050.0f, 11025.0f,
                                           8000.0f,  1000.0f,  999.0f,   96000.0f, 1000000.0f,
                                           12000.0f, 15000.0f, 17000.0f, 3000.0f,  20000.0f};
            return kRates[in.ConsumeIntegral<uint8_t>() % (sizeof kRates / sizeof *kRates)];
        }
    }
}

int anyInt(FuzzedDataProvider& in) {
    switch (in.ConsumeIntegralInRange(0, 2)) {
        case 0:
            return in.ConsumeIntegral<int>();
        case 1: {
            static const int kSpecial[] = {
                0, 1, -1, 2, 3, 4, 5, 6, 7, 9, 20, 21, 1024, 2147483647, -2147483647 - 1};
            return kSpecial[in.ConsumeIntegral<uint8_t>() % (sizeof kSpecial / sizeof *kSpecial)];
        }
        default:
            return in.ConsumeIntegralInRange(-8, 40);
    }
}

int windowFor(float rate) {
    if (rate == 48000.0f || rate == 44100.0f) return 2048;
    if (rate == 22050.0f) return 1024;
    if (rate == 11050.0f) return 512;
    return 256;
}

std::vector<float> samples(FuzzedDataProvider& in, size_t count) {
    std::vector<float> out(count);
    const bool raw = in.ConsumeBool();
    const float level = in.ConsumeFloatingPointInRange(0.0f, 1.0f);
    uint32_t noise = in.ConsumeIntegral<uint32_t>() | 1u;
    for (float& x : out) {
        if (raw && in.remaining_bytes() >= 4) {
            const uint32_t bits = in.ConsumeIntegral<uint32_t>();
            std::memcpy(&x, &bits, sizeof x);
        } else {  // cheap pseudo-random audio once the input is used up
            noise ^= noise << 13;
            noise ^= noise >> 17;
            noise ^= noise << 5;
            x = level * (static_cast<float>(noise) / 2147483648.0f - 1.0f);
        }
    }
    return out;
}

void run(FuzzedDataProvider& in, Slot (&slots)[2]) {
    Slot& s = slots[in.ConsumeIntegral<uint8_t>() % 2];
    // Now and then the null Context, which every operation must turn away.
    Context* ctx = in.ConsumeIntegralInRange(0, 31) == 0 ? nullptr : s.ctx;
    switch (in.ConsumeIntegralInRange(0, 17)) {
        case 0: {  // Configure
            const int mode = in.ConsumeBool() ? in.ConsumeIntegralInRange(1, 7) : anyInt(in);
            const float rate = anyFloat(in);
            const int32_t size =
                in.ConsumeBool() ? in.ConsumeIntegralInRange(-2, 5000) : anyInt(in);
            const int result = RYX_Configure(mode, rate, size, ctx);
            if (ctx) {
                s.configured = result == 0;
                s.rate = rate;
                s.bufferSize = size;
            }
            break;
        }
        case 1: {  // Encode
            std::string text = in.ConsumeRandomLengthString(32);
            if (in.ConsumeBool()) {  // a valid text most of the time, so audio gets made
                static const char kAlphabet[] =
                    "0123456789abcdefghijklmnopqrstuvABCDEFGHIJKLMNOPQRSTUV";
                for (char& c : text) c = kAlphabet[static_cast<uint8_t>(c) % 54];
            }
            const int32_t length =
                in.ConsumeIntegralInRange<int32_t>(-3, static_cast<int32_t>(text.size()));
            std::string melody = in.ConsumeRandomLengthString(64);
            const int32_t melodyLength =
                in.ConsumeIntegralInRange<int32_t>(-3, static_cast<int32_t>(melody.size()));
            const int32_t synth = in.ConsumeBool() ? in.ConsumeIntegralInRange(0, 3) : anyInt(in);
            // Exactly the promised bytes, on the heap, so a read past them is caught.
            std::vector<char> t(text.begin(), text.begin() + (length > 0 ? length : 0));
            std::vector<char> m(melody.begin(),
                                melody.begin() + (melodyLength > 0 ? melodyLength : 0));
            (void)RYX_EncodeDataToAudioBuffer(in.ConsumeBool() && !t.empty() ? t.data() : nullptr,
                                              length, synth, m.empty() ? nullptr : m.data(),
                                              melodyLength, ctx);
            break;
        }
        case 2: {  // read-out with a buffer of exactly bufferSize floats
            if (s.bufferSize > 1 << 20) break;
            std::vector<float> out(static_cast<size_t>(s.bufferSize > 0 ? s.bufferSize : 1));
            const int reads = in.ConsumeIntegralInRange(1, 200);
            for (int i = 0; i < reads; ++i) {
                if (RYX_GetEncodedAudioBuffer(out.data(), ctx) <= 0) break;
            }
            break;
        }
        case 3: {  // read-out by slices of any room
            const int32_t room = in.ConsumeIntegralInRange<int32_t>(-2, 70000);
            std::vector<float> out(static_cast<size_t>(room > 0 ? room : 1));
            (void)RYX_GetEncodedAudioSlice(out.data(), room, ctx);
            break;
        }
        case 4:
            (void)RYX_ResetEncodedAudioBuffer(ctx);
            break;
        case 5: {  // signature
            const size_t n = in.ConsumeIntegralInRange<size_t>(0, 120000);
            std::vector<float> source = samples(in, n);
            const int32_t length =
                in.ConsumeBool() ? static_cast<int32_t>(n)
                                 : in.ConsumeIntegralInRange<int32_t>(-5, static_cast<int32_t>(n));
            (void)RYX_SetAudioSignature(length, n > 0 && in.ConsumeBool() ? source.data() : nullptr,
                                        ctx);
            break;
        }
        case 6: {  // decode arbitrary audio in arbitrary pieces, draining as a caller does
            const size_t n = in.ConsumeIntegralInRange<size_t>(0, 70000);
            std::vector<float> buffer = samples(in, n);
            const int count = in.ConsumeBool() ? static_cast<int>(n) : -static_cast<int>(n);
            int status = RYX_DecodeAudioBuffer(n ? buffer.data() : nullptr, count, ctx);
            for (int i = 0; status != -1 && i < 100000; ++i) {
                status = RYX_DecodeAudioBuffer(buffer.data(), 0, ctx);
            }
            break;
        }
        case 7: {
            char text[10];
            (void)RYX_GetDecodedData(in.ConsumeBool() ? text : nullptr, ctx);
            break;
        }
        case 8: {
            volatile float sink = RYX_GetConfidence(ctx) + RYX_GetConfidenceError(ctx) +
                                  RYX_GetConfidenceNoise(ctx) + RYX_GetReceivedRyxsVolume(ctx);
            (void)sink;
            (void)RYX_GetDecodedMode(ctx);
            break;
        }
        case 9: {
            volatile float sink = RYX_GetDecodingBeginFreq(ctx) + RYX_GetDecodingEndFreq(ctx);
            (void)sink;
            break;
        }
        case 10: {  // spectrum into exactly windowSize / 2 floats
            std::vector<float> out(static_cast<size_t>(windowFor(s.rate) / 2));
            (void)RYX_GetSpectrum(in.ConsumeBool() ? out.data() : nullptr, ctx);
            break;
        }
        case 11:
            (void)RYX_SetCustomBaseFreq(anyFloat(in), anyInt(in), ctx);
            break;
        case 12:
            (void)RYX_SetSynthMode(anyInt(in), ctx);
            break;
        case 13:
            (void)RYX_SetSynthVolume(anyFloat(in), ctx);
            break;
        case 14: {  // destroy and create again (an empty Context)
            RYX_Destroy(s.ctx);
            s = Slot{};
            s.ctx = RYX_Create();
            break;
        }
        case 15: {
            char info[20];
            (void)RYX_GetVersionInfo(in.ConsumeBool() ? info : nullptr);
            volatile size_t n = std::strlen(RYX_GetVersion());
            (void)n;
            break;
        }
        case 16: {  // a valid transmission through the other Context's decoder
            Slot& other = slots[0].ctx == s.ctx ? slots[1] : slots[0];
            if (RYX_EncodeDataToAudioBuffer("hello0123", 9, in.ConsumeIntegralInRange(0, 2), "0123",
                                            4, s.ctx) <= 0) {
                break;
            }
            std::vector<float> slice(1024);
            int n;
            while ((n = RYX_GetEncodedAudioSlice(slice.data(), 1024, s.ctx)) > 0) {
                int status = RYX_DecodeAudioBuffer(slice.data(), n, other.ctx);
                for (int i = 0; status != -1 && i < 100000; ++i) {
                    if (status == -3) {
                        char text[10];
                        (void)RYX_GetDecodedData(text, other.ctx);
                    }
                    status = RYX_DecodeAudioBuffer(slice.data(), 0, other.ctx);
                }
            }
            break;
        }
        default:
            RYX_Destroy(nullptr);
            break;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    Slot slots[2];
    for (Slot& s : slots) s.ctx = RYX_Create();
    // Process-wide settings persist between inputs; start each input from the defaults.
    RYX_SetCustomBaseFreq(12000.0f, 1, nullptr);
    RYX_SetSynthVolume(0.0f, nullptr);
    for (int op = 0; op < 64 && in.remaining_bytes() > 0; ++op) run(in, slots);
    for (Slot& s : slots) RYX_Destroy(s.ctx);
    return 0;
}
