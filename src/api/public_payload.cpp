// Payloads in the C++ interface: encodePayload, payloadShape and PayloadDecoder over the payload
// encoder and receiver, with the argument checks every binding reports.
#include <algorithm>
#include <cmath>
#include <limits>
#include <string>

#include "api/core_plans.h"
#include "api/refusals.h"
#include "modes/phrase.h"
#include "payload/payload_encoder.h"
#include "payload/payload_receiver.h"
#include "ryxsound/ryxsound.hpp"

namespace ryxsound {
namespace {

using RYX::phrase;

constexpr int kMaxRepeat = RYX::PayloadEncoder::kMaxRepeat;

RYX::PayloadProfile coreProfile(Profile profile) {
    return profile == Profile::Fast ? RYX::PayloadProfile::Fast : RYX::PayloadProfile::Robust;
}

// The plan a payload is sent in: All sends the non-audible plan, as Encoder does.
RYX::Plan sendingPlan(Mode mode) {
    return corePlans(mode == Mode::All ? Mode::NonAudible : mode).front();
}

std::string payloadSizeRefusal(size_t size) {
    if (size >= 1 && size <= kMaxPayloadBytes) return {};
    return phrase("payload of %zu bytes: a payload holds 1 to %zu bytes", size, kMaxPayloadBytes);
}

// The layout of `profile` in the plan `mode` sends, into *layout unless refused.
std::string layoutRefusal(Profile profile, Mode mode, float sampleRate, CustomBand custom,
                          RYX::PayloadLayout* layout) {
    std::string refusal = modeNumberRefusal(int(mode));
    if (refusal.empty()) refusal = sampleRateRefusal(sampleRate);
    if (refusal.empty()) {
        refusal = modeFitsRefusal(mode == Mode::All ? Mode::NonAudible : mode, sampleRate, custom);
    }
    if (refusal.empty() && profile != Profile::Fast && profile != Profile::Robust) {
        refusal = phrase("unknown profile %d: use fast or robust", int(profile));
    }
    if (!refusal.empty()) return refusal;
    *layout = RYX::makePayloadLayout(coreProfile(profile), sendingPlan(mode),
                                     {custom.baseHz, custom.step}, sampleRate);
    if (layout->fits) return {};
    return phrase("the %s plan cannot carry %s payloads at %g Hz: %s",
                  planName(Plan(int(layout->plan))), profileName(profile), sampleRate,
                  layout->channels == 0 ? "its band is too narrow" : "use 44100 or 48000 Hz");
}

RYX::PayloadLayout checkedLayout(Profile profile, Mode mode, float sampleRate, CustomBand custom) {
    RYX::PayloadLayout layout{};
    refuseIf(layoutRefusal(profile, mode, sampleRate, custom, &layout));
    return layout;
}

}  // namespace

std::string payloadShapeRefusal(size_t size, Profile profile, Mode mode, float sampleRate,
                                CustomBand custom) {
    RYX::PayloadLayout layout{};
    const std::string refusal = payloadSizeRefusal(size);
    return refusal.empty() ? layoutRefusal(profile, mode, sampleRate, custom, &layout) : refusal;
}

std::string encodePayloadRefusal(const uint8_t* data, size_t size, Profile profile, Mode mode,
                                 float sampleRate, CustomBand custom, int repeat) {
    if (std::string refusal = payloadSizeRefusal(size); !refusal.empty()) return refusal;
    if (data == nullptr) return "payload data is null";
    if (repeat < 1 || repeat > kMaxRepeat) {
        return phrase("repeat %d is outside 1..%d", repeat, kMaxRepeat);
    }
    RYX::PayloadLayout layout{};
    return layoutRefusal(profile, mode, sampleRate, custom, &layout);
}

PayloadShape payloadShape(size_t size, Profile profile, Mode mode, float sampleRate,
                          CustomBand custom) {
    refuseIf(payloadSizeRefusal(size));
    const RYX::PayloadLayout l = checkedLayout(profile, mode, sampleRate, custom);
    PayloadShape shape;
    shape.dataFrames = RYX::dataFrameCount(int(size));
    shape.parityFrames = RYX::parityFrameCount(shape.dataFrames);
    shape.frameSamples = l.frameSamples;
    shape.totalSamples = (shape.dataFrames + shape.parityFrames) * l.frameSamples;
    shape.seconds = shape.totalSamples / double(sampleRate);
    shape.channels = l.channels;
    shape.symbolSeconds = float(l.symbolSeconds);
    return shape;
}

std::vector<float> encodePayload(const uint8_t* data, size_t size, Profile profile, Mode mode,
                                 float sampleRate, CustomBand custom, int repeat) {
    refuseIf(encodePayloadRefusal(data, size, profile, mode, sampleRate, custom, repeat));
    const RYX::PayloadLayout layout = checkedLayout(profile, mode, sampleRate, custom);
    RYX::PayloadEncoder encoder(layout.profile, layout.plan, {custom.baseHz, custom.step},
                                sampleRate);
    encoder.prepare(data, int(size), repeat);
    std::vector<float> out(size_t(encoder.totalSamples()));
    for (float* at = out.data(); encoder.remaining() > 0;) {
        at += encoder.render(
            at, int(std::min<int64_t>(encoder.remaining(), std::numeric_limits<int>::max())));
    }
    return out;
}

namespace {

Payload toPayload(const RYX::ReceivedPayload& r) {
    Payload p;
    p.data = r.data;
    p.ok = r.ok;
    p.profile = r.profile == RYX::PayloadProfile::Fast ? Profile::Fast : Profile::Robust;
    p.plan = planFromNumber(int(r.plan));
    p.start = r.start;
    p.end = r.end;
    p.framesHeard = r.framesHeard;
    p.framesTotal = r.framesTotal;
    p.framesNeeded = r.framesNeeded;
    p.size = size_t(r.size);
    p.confidence = r.confidence;
    p.toneToBandDb = r.toneToBandDb;
    p.levelDbfs = r.levelDbfs;
    return p;
}

}  // namespace

struct PayloadDecoder::Impl {
    Mode mode;
    float sampleRate;
    RYX::PayloadReceiver core;
    std::vector<RYX::ReceivedPayload> received;

    size_t deliver(std::vector<Payload>& out) {
        for (const RYX::ReceivedPayload& r : received) out.push_back(toPayload(r));
        const size_t n = received.size();
        received.clear();
        return n;
    }
};

PayloadDecoder::PayloadDecoder(Mode mode, float sampleRate, CustomBand custom) {
    refuseIf(listenerRefusal(mode, sampleRate, custom));
    impl_ = std::make_unique<Impl>(
        Impl{mode,
             sampleRate,
             RYX::PayloadReceiver(corePlans(mode), {custom.baseHz, custom.step}, sampleRate),
             {}});
    impl_->received.reserve(8);
}

PayloadDecoder::~PayloadDecoder() = default;
PayloadDecoder::PayloadDecoder(PayloadDecoder&&) noexcept = default;
PayloadDecoder& PayloadDecoder::operator=(PayloadDecoder&&) noexcept = default;

size_t PayloadDecoder::feed(const float* samples, size_t count, std::vector<Payload>& out) {
    if (samples == nullptr && count > 0) {
        refuse(phrase("samples is null with a count of %zu", count));
    }
    impl_->core.feed(samples, count, impl_->received);
    return impl_->deliver(out);
}

size_t PayloadDecoder::flush(std::vector<Payload>& out) {
    impl_->core.flush(impl_->received);
    return impl_->deliver(out);
}

std::vector<PayloadProgress> PayloadDecoder::progress() const {
    std::vector<RYX::ReceivedPayload> open;
    impl_->core.progress(open);
    std::vector<PayloadProgress> out;
    for (const RYX::ReceivedPayload& r : open) {
        const Payload p = toPayload(r);
        out.push_back(PayloadProgress{p.profile, p.plan, p.size, p.framesHeard, p.framesNeeded,
                                      p.framesTotal, p.end});
    }
    return out;
}

int64_t PayloadDecoder::position() const {
    return impl_->core.position();
}
Mode PayloadDecoder::mode() const {
    return impl_->mode;
}
float PayloadDecoder::sampleRate() const {
    return impl_->sampleRate;
}

}  // namespace ryxsound
