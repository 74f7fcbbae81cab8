// The streaming C interface (include/ryxsound/ryx_stream.h): the core's frame synthesiser and
// robust receiver behind create/execute/destroy objects that allocate only when created.
#include <cstring>
#include <new>
#include <vector>

#include "decoder/robust_receiver.h"
#include "encoder/frame_synthesiser.h"
#include "ryxsound/ryx_stream.h"

namespace {

struct StreamPreset {
    RYX::Plan plan;
    RYX::Tuning tuning;
};

// The presets by number. The audible plan takes the rate's own window (1024 points at 22050 Hz,
// hops of 517 Hz); the phone band keeps the 2048-point hops it has at 44100 Hz (64.6 Hz), its
// tones on the 16000 Hz grid of that window, which keeps it inside 0.6 .. 2.3 kHz.
constexpr StreamPreset kPresets[] = {
    {RYX::Plan::Audible, {22050.0f, 1024, RYX::CustomBand{}}},
    {RYX::Plan::Custom, {16000.0f, 2048, RYX::kPhoneBand}},
};
constexpr int kPresetCount = static_cast<int>(sizeof kPresets / sizeof kPresets[0]);

const StreamPreset* presetOf(int preset) {
    return preset >= 0 && preset < kPresetCount ? &kPresets[preset] : nullptr;
}

}  // namespace

struct RYX_StreamEncoder {
    StreamPreset preset;
    RYX::ReedSolomonCodec codec;
    RYX::FrameSynthesiser synthesiser;
};

struct RYX_StreamReceiver {
    RYX_StreamReceiver(const StreamPreset& preset, int slice)
        : receiver({preset.plan}, preset.tuning), sliceSamples(slice) {
        // A feed of at most one slice completes at most one slice, which reports at most one
        // message per plan.
        fresh.reserve(RYX::RobustReceiver::kMaxPlans);
    }
    RYX::RobustReceiver receiver;
    int sliceSamples;
    std::vector<RYX::ReceivedMessage> fresh;
    RYX_StreamMessage queue[RYX_STREAM_QUEUE] = {};
    int first = 0;  // oldest waiting
    int waiting = 0;
    int lost = 0;
};

extern "C" {

int RYX_StreamSampleRate(int preset) {
    const StreamPreset* p = presetOf(preset);
    return p != nullptr ? static_cast<int>(p->tuning.sampleRate) : 0;
}

RYX_StreamEncoder* RYX_StreamEncoder_Create(int preset) {
    const StreamPreset* p = presetOf(preset);
    if (p == nullptr) return nullptr;
    return new (std::nothrow) RYX_StreamEncoder{*p, {}, {}};
}

int RYX_StreamEncoder_Start(RYX_StreamEncoder* encoder, const char* text) {
    if (encoder == nullptr) return 0;
    int frame[RYX::kMaxFrameLength];
    const int length = RYX::frameText(text, RYX::kTextSymbols, encoder->codec, frame);
    encoder->synthesiser.start(encoder->preset.plan, encoder->preset.tuning, frame, length);
    return encoder->synthesiser.total();
}

int RYX_StreamEncoder_Execute(RYX_StreamEncoder* encoder, float* out, int room) {
    return encoder != nullptr ? encoder->synthesiser.render(out, room) : 0;
}

void RYX_StreamEncoder_Destroy(RYX_StreamEncoder* encoder) {
    delete encoder;
}

RYX_StreamReceiver* RYX_StreamReceiver_Create(int preset) {
    const StreamPreset* p = presetOf(preset);
    if (p == nullptr) return nullptr;
    // The presets fit their rates, so the receiver refuses none of them.
    const RYX::RobustPlan plan = RYX::makeRobustPlan(p->plan, p->tuning);
    return new (std::nothrow) RYX_StreamReceiver(*p, plan.sliceSamples);
}

int RYX_StreamReceiver_Execute(RYX_StreamReceiver* r, const float* samples, int count) {
    if (r == nullptr) return 0;
    if (samples == nullptr || count < 0) count = 0;
    while (count > 0) {
        const int take = count < r->sliceSamples ? count : r->sliceSamples;
        r->receiver.feed(samples, static_cast<size_t>(take), r->fresh);
        samples += take;
        count -= take;
        for (const RYX::ReceivedMessage& m : r->fresh) {
            if (r->waiting == RYX_STREAM_QUEUE) {
                r->first = (r->first + 1) % RYX_STREAM_QUEUE;
                --r->waiting;
                ++r->lost;
            }
            RYX_StreamMessage& to = r->queue[(r->first + r->waiting++) % RYX_STREAM_QUEUE];
            std::memcpy(to.text, m.text.data(), sizeof to.text);
            to.start = m.start;
            to.confidence = m.confidence;
            to.levelDbfs = m.levelDbfs;
        }
        r->fresh.clear();
    }
    return r->waiting;
}

int RYX_StreamReceiver_Poll(RYX_StreamReceiver* r, RYX_StreamMessage* out) {
    if (r == nullptr || out == nullptr || r->waiting == 0) return 0;
    *out = r->queue[r->first];
    r->first = (r->first + 1) % RYX_STREAM_QUEUE;
    --r->waiting;
    return 1;
}

int RYX_StreamReceiver_Lost(const RYX_StreamReceiver* r) {
    return r != nullptr ? r->lost : 0;
}

void RYX_StreamReceiver_Destroy(RYX_StreamReceiver* r) {
    delete r;
}

}  // extern "C"
