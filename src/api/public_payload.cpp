// Payloads in the C++ interface: encodePayload, payloadShape and PayloadDecoder over the payload
// encoder and receiver, with the argument checks every binding reports.
#include <algorithm>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

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

// Why `layout` cannot be made at its rate, or "" when it can.
std::string layoutFitRefusal(const RYX::PayloadLayout& layout) {
    if (layout.fits) return {};
    const char* plan = planName(Plan(int(layout.plan)));
    const char* profile = layout.profile == RYX::PayloadProfile::Fast ? "fast" : "robust";
    if (layout.channels == 0) {
        return phrase("the %s plan cannot carry %s payloads: its band is too narrow", plan,
                      profile);
    }
    const double soundsTo = std::max(layout.topHz(), layout.pilotHz);
    if (soundsTo < 0.5 * layout.sampleRate) {
        return phrase("the %s plan cannot carry %s payloads at %g Hz: use 44100 or 48000 Hz", plan,
                      profile, layout.sampleRate);
    }
    return phrase(
        "%s payloads in the %s plan sound up to %g Hz, above half the sample rate of %g Hz: use "
        "44100 or 48000 Hz",
        profile, plan, soundsTo, layout.sampleRate);
}

std::string profileRefusal(Profile profile) {
    if (profile == Profile::Fast || profile == Profile::Robust) return {};
    return phrase("unknown profile %d: use fast or robust", int(profile));
}

// The mode number, the rate and the custom band: what every payload call checks first.
std::string bandRefusal(Mode mode, float sampleRate, CustomBand custom) {
    std::string refusal = modeNumberRefusal(int(mode));
    if (refusal.empty()) refusal = sampleRateRefusal(sampleRate);
    return refusal.empty() ? customBandRefusal(mode, custom) : refusal;
}

// The layout of `profile` in the plan `mode` sends, into *layout unless refused. The payload's
// own tones decide whether it fits the rate, not the text plan's band.
std::string layoutRefusal(Profile profile, Mode mode, float sampleRate, CustomBand custom,
                          RYX::PayloadLayout* layout) {
    std::string refusal = bandRefusal(mode, sampleRate, custom);
    if (refusal.empty()) refusal = profileRefusal(profile);
    if (!refusal.empty()) return refusal;
    *layout = RYX::makePayloadLayout(coreProfile(profile), sendingPlan(mode),
                                     {custom.baseHz, custom.step}, sampleRate);
    return layoutFitRefusal(*layout);
}

// The layouts a sender of `profile` (or, for null, a decoder) uses in the plans of `mode` at
// sampleRate, fitting or not.
std::vector<RYX::PayloadLayout> layoutsOf(const Profile* profile, Mode mode, float sampleRate,
                                          CustomBand custom) {
    std::vector<RYX::PayloadLayout> layouts;
    const std::vector<RYX::Plan> plans =
        profile != nullptr ? std::vector<RYX::Plan>{sendingPlan(mode)} : corePlans(mode);
    for (RYX::Plan plan : plans) {
        for (Profile p : {Profile::Fast, Profile::Robust}) {
            if (profile != nullptr && p != *profile) continue;
            layouts.push_back(RYX::makePayloadLayout(coreProfile(p), plan,
                                                     {custom.baseHz, custom.step}, sampleRate));
        }
    }
    return layouts;
}

// The rate rule for payloads (payloadRate). The pilot is left out of the payload's reach: audio
// that loses it has lost its plan's text band too, so no text receiver of that plan listens there.
std::string payloadRateOf(const Profile* profile, Mode mode, float fileRate, CustomBand custom,
                          bool nativeHalfRate, float* rate) {
    std::string refusal = bandRefusal(mode, fileRate, custom);
    if (refusal.empty() && profile != nullptr) refusal = profileRefusal(*profile);
    if (!refusal.empty()) return refusal;
    const auto payloadReach = [&](float planRate) {
        Reach reach;
        for (const RYX::PayloadLayout& l : layoutsOf(profile, mode, planRate, custom)) {
            if (!l.fits) {
                reach.refusal = layoutFitRefusal(l);
                continue;
            }
            if (reach.reaches.empty() || l.topHz() < reach.topHz) {
                reach.topHz = float(l.topHz());
                reach.reaches = phrase("%s payloads in the %s plan reach",
                                       l.profile == RYX::PayloadProfile::Fast ? "fast" : "robust",
                                       planName(Plan(int(l.plan))));
            }
        }
        if (!reach.reaches.empty()) reach.refusal.clear();  // a decoder hears what fits
        return reach;
    };
    const Mode sent = profile != nullptr && mode == Mode::All ? Mode::NonAudible : mode;
    return soundRateRefusal(sent, fileRate, custom, nativeHalfRate, payloadReach, rate);
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

std::string payloadRateRefusal(const Profile* profile, Mode mode, float fileRate, CustomBand custom,
                               float* rate) {
    return payloadRateOf(profile, mode, fileRate, custom, true, rate);
}

std::string payloadRateRefusal(const Profile* profile, const Preset& preset, float fileRate,
                               float* rate) {
    return payloadRateOf(profile, preset.mode, fileRate, preset.custom, false, rate);
}

float payloadRate(Profile profile, Mode mode, float fileRate, CustomBand custom) {
    float rate = 0.0f;
    refuseIf(payloadRateRefusal(&profile, mode, fileRate, custom, &rate));
    return rate;
}

float payloadRate(Mode mode, float fileRate, CustomBand custom) {
    float rate = 0.0f;
    refuseIf(payloadRateRefusal(nullptr, mode, fileRate, custom, &rate));
    return rate;
}

float payloadRate(Profile profile, const Preset& preset, float fileRate) {
    float rate = 0.0f;
    refuseIf(payloadRateRefusal(&profile, preset, fileRate, &rate));
    return rate;
}

float payloadRate(const Preset& preset, float fileRate) {
    float rate = 0.0f;
    refuseIf(payloadRateRefusal(nullptr, preset, fileRate, &rate));
    return rate;
}

std::string payloadDecoderRefusal(Mode mode, float sampleRate, CustomBand custom) {
    if (std::string refusal = bandRefusal(mode, sampleRate, custom); !refusal.empty()) {
        return refusal;
    }
    std::string refusal;
    for (const RYX::PayloadLayout& l : layoutsOf(nullptr, mode, sampleRate, custom)) {
        if (l.fits) return {};
        if (refusal.empty()) refusal = layoutFitRefusal(l);
    }
    return refusal;
}

PayloadDecoder::PayloadDecoder(Mode mode, float sampleRate, CustomBand custom) {
    refuseIf(payloadDecoderRefusal(mode, sampleRate, custom));
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
