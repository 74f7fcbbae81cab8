// ryxsound::Decoder and the spectrum: the chosen receiver behind argument checks, its messages
// turned into the public record.
#include <memory>
#include <string>
#include <vector>

#include "api/core_plans.h"
#include "api/refusals.h"
#include "decoder/message_receiver.h"
#include "decoder/robust_receiver.h"
#include "decoder/standard_receiver.h"
#include "dsp/spectrum_analyzer.h"
#include "modes/message_frame.h"
#include "modes/phrase.h"
#include "modes/tuning.h"
#include "ryxsound/ryxsound.hpp"

namespace ryxsound {
namespace {

using RYX::phrase;

// The receiver listening for the plans of `mode` (checked to fit beforehand).
std::unique_ptr<RYX::MessageReceiver> makeReceiver(Receiver receiver, Mode mode,
                                                   const RYX::Tuning& tuning) {
    const std::vector<RYX::Plan> plans = corePlans(mode);
    switch (receiver) {
        case Receiver::Standard:
            return std::make_unique<RYX::StandardReceiver>(plans, tuning);
        case Receiver::Robust:
            return std::make_unique<RYX::RobustReceiver>(plans, tuning);
    }
    refuse(phrase("unknown receiver %d: use %s or %s", static_cast<int>(receiver),
                  receiverName(Receiver::Robust), receiverName(Receiver::Standard)));
}

Message toMessage(const RYX::ReceivedMessage& m) {
    Message out;
    out.text.assign(m.text.data(), kTextLength);
    out.ok = m.ok;
    out.plan = planFromNumber(m.plan);  // a receiver reports only the plans it was given
    out.start = m.start;
    out.end = m.end;
    out.confidence = m.confidence;
    out.toneToBandDb = m.toneToBandDb;
    out.levelDbfs = m.levelDbfs;
    // A failed word has no trustworthy account of its symbols: none counts as received clean and
    // none as corrected. Only the message symbols are reported (the parity symbols carry no text).
    out.cleanShare = m.ok ? m.cleanShare : 0.0f;
    for (int i = 0; m.ok && i < RYX::kMessageSymbols; ++i) {
        if (m.correctedMask & (1u << i)) out.corrected.push_back(i);
    }
    return out;
}

}  // namespace

struct Decoder::Impl {
    Mode mode;
    Receiver receiver;
    float sampleRate;
    std::unique_ptr<RYX::MessageReceiver> core;
    std::vector<RYX::ReceivedMessage> received;

    size_t deliver(std::vector<Message>& out) {
        for (const RYX::ReceivedMessage& m : received) out.push_back(toMessage(m));
        const size_t n = received.size();
        received.clear();
        return n;
    }
};

Decoder::Decoder(Mode mode, float sampleRate, Receiver receiver, CustomBand custom) {
    refuseIf(listenerRefusal(mode, sampleRate, custom));
    const RYX::Tuning tuning = RYX::makeTuning(sampleRate, {custom.baseHz, custom.step});
    impl_ = std::make_unique<Impl>(
        Impl{mode, receiver, sampleRate, makeReceiver(receiver, mode, tuning), {}});
    impl_->received.reserve(8);
}

Decoder::~Decoder() = default;
Decoder::Decoder(Decoder&&) noexcept = default;
Decoder& Decoder::operator=(Decoder&&) noexcept = default;

size_t Decoder::feed(const float* samples, size_t count, std::vector<Message>& out) {
    if (samples == nullptr && count > 0) {
        refuse(phrase("no samples given for a count of %zu", count));
    }
    impl_->core->feed(samples, count, impl_->received);
    return impl_->deliver(out);
}

size_t Decoder::flush(std::vector<Message>& out) {
    impl_->core->flush(impl_->received);
    return impl_->deliver(out);
}

int64_t Decoder::position() const {
    return impl_->core->position();
}
bool Decoder::inMessage() const {
    return impl_->core->inMessage();
}
Mode Decoder::mode() const {
    return impl_->mode;
}
float Decoder::sampleRate() const {
    return impl_->sampleRate;
}
Receiver Decoder::receiver() const {
    return impl_->receiver;
}

std::string windowSizeRefusal(int windowSize) {
    if (windowSize >= 4 && windowSize <= 8192 && (windowSize & (windowSize - 1)) == 0) return {};
    return phrase("the window size must be a power of two 4..8192, not %d", windowSize);
}

void powerSpectrum(const float* frame, int windowSize, float* out) {
    refuseIf(windowSizeRefusal(windowSize));
    if (frame == nullptr || out == nullptr) refuse("no frame given");
    RYX::SpectrumAnalyzer analyzer(windowSize, windowSize);
    analyzer.analyze(frame);
    const float* power = analyzer.powerSpectrum();
    for (int k = 0; k < analyzer.binCount(); ++k) out[k] = power[k];
}

}  // namespace ryxsound
