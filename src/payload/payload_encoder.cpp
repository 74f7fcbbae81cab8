#include "payload/payload_encoder.h"

#include <cmath>

#include "dsp/sine_precision.h"

namespace RYX {
namespace {

// Every phase stays within 0 .. 2 pi, so the small build's single-precision sines see arguments
// no larger than that (within 1e-6 of the desktop's samples).
constexpr double kTwoPi = 6.283185307179586476925286766559;

}  // namespace

PayloadEncoder::PayloadEncoder(PayloadProfile profile, Plan plan, const CustomBand& custom,
                               float sampleRate)
    : layout_(makePayloadLayout(profile, plan, custom, sampleRate)) {
    codec_.setMessageLength(kWordMessageSymbols);
}

int PayloadEncoder::prepare(const uint8_t* data, int size, int repeat) {
    frameCount_ = 0;
    total_ = 0;
    written_ = 0;
    phase_.fill(0.0);
    pilotPhase_ = 0.0;
    if (!layout_.fits || data == nullptr || size < 1 || size > kMaxPayloadBytes || repeat < 1 ||
        repeat > kMaxRepeat) {
        return 0;
    }
    const int dataFrames = dataFrameCount(size);
    const int parityFrames = parityFrameCount(dataFrames);
    const uint32_t crc = crc32(data, size_t(size));
    for (int f = 0; f < dataFrames; ++f) rows_[f].fill(0);
    for (int i = 0; i < size + kPayloadCheckBytes; ++i) {
        const uint8_t byte = i < size ? data[i] : uint8_t(crc >> (8 * (i - size)));
        rows_[i / kFrameBodyBytes][i % kFrameBodyBytes] = byte;
    }
    outer_.encode(rows_.data(), dataFrames, parityFrames);
    frameCount_ = dataFrames + parityFrames;
    total_ = int64_t(repeat) * frameCount_ * layout_.frameSamples;
    fade_ = total_ / 2 < kFadeSamples ? int(total_ / 2) : kFadeSamples;
    header_ = FrameHeader{payloadIdentity(crc), size, 0};
    frame_ = 0;
    enterFrame();
    return frameCount_;
}

void PayloadEncoder::enterFrame() {
    header_.index = frame_;
    std::array<int, kFrameMessageSymbols> message{};
    std::array<int, kWordSymbols> word{};
    packFrame(layout_.profile, header_, rows_[size_t(frame_)].data(), message.data());
    for (int w = 0; w < kFrameWords; ++w) {
        codec_.setMessage(message.data() + w * kWordMessageSymbols, kWordMessageSymbols);
        codec_.computeParity();
        codec_.getCodeword(word.data());
        for (int i = 0; i < kWordSymbols; ++i) code_[size_t(kFrameWords * i + w)] = word[i];
    }
    slot_ = 0;
    inFrame_ = 0;
    enterSlot();
}

void PayloadEncoder::enterSlot() {
    const PayloadLayout& l = layout_;
    slotEnd_ = l.slotStart(slot_ + 1);
    std::array<int, PayloadLayout::kMaxChannels> tones{};  // spare channels sound tone 0
    for (int c = 0; c < l.channels; ++c) {
        if (slot_ < PayloadLayout::kSyncSymbols) {
            tones[size_t(c)] = syncTone(slot_, c);
            continue;
        }
        const int k = (slot_ - PayloadLayout::kSyncSymbols) * l.channels + c;
        if (k < kFrameCodeSymbols) tones[size_t(codeSymbolChannel(l, k))] = code_[size_t(k)];
    }
    const double radiansPerHz = kTwoPi / double(l.sampleRate);
    for (int c = 0; c < l.channels; ++c) {
        step_[size_t(c)] = l.toneHz(l.setOf(slot_), c, tones[size_t(c)]) * radiansPerHz;
    }
}

int PayloadEncoder::render(float* out, int room) {
    if (out == nullptr || room <= 0) return 0;
    const PayloadLayout& l = layout_;
    const float amplitude = 0.9f / float(l.channels);
    const float pilot = PayloadLayout::kPilotLevel * amplitude;
    const double pilotStep = l.pilotHz * (kTwoPi / double(l.sampleRate));
    const int count = room < remaining() ? room : int(remaining());
    int done = 0;
    while (done < count) {
        // A run of samples within one slot: the pilot, then each channel added.
        const int run = count - done < slotEnd_ - inFrame_ ? count - done : slotEnd_ - inFrame_;
        float* to = out + done;
        for (int n = 0; n < run; ++n) {
            to[n] = pilot * float(std::sin(SineFloat(pilotPhase_)));
            pilotPhase_ += pilotStep;
            if (pilotPhase_ > kTwoPi) pilotPhase_ -= kTwoPi;
        }
        for (int c = 0; c < l.channels; ++c) {
            double phase = phase_[size_t(c)];
            const double step = step_[size_t(c)];
            for (int n = 0; n < run; ++n) {
                to[n] += amplitude * float(std::sin(SineFloat(phase)));
                phase += step;
                if (phase > kTwoPi) phase -= kTwoPi;
            }
            phase_[size_t(c)] = phase;
        }
        // The fade at the transmission's ends.
        for (int n = 0; n < run; ++n) {
            const int64_t at = written_ + done + n;
            const int64_t fromEnd = total_ - 1 - at;
            if (at < fade_) to[n] *= float(at) / float(fade_);
            if (fromEnd < fade_) to[n] *= float(fromEnd) / float(fade_);
        }
        done += run;
        inFrame_ += run;
        if (inFrame_ < slotEnd_) break;
        if (++slot_ < l.slots) {
            enterSlot();
        } else if (written_ + done < total_) {
            frame_ = (frame_ + 1) % frameCount_;  // the next frame, or the next repeat's first
            enterFrame();
        }
    }
    written_ += done;
    return done;
}

}  // namespace RYX
