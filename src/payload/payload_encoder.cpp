#include "payload/payload_encoder.h"

#include <cmath>

namespace RYX {

PayloadEncoder::PayloadEncoder(PayloadProfile profile, Plan plan, const CustomBand& custom,
                               float sampleRate)
    : layout_(makePayloadLayout(profile, plan, custom, sampleRate)) {
    codec_.setMessageLength(kWordMessageSymbols);
}

int PayloadEncoder::prepare(const uint8_t* data, int size) {
    frameCount_ = 0;
    phase_.fill(0.0);
    pilotPhase_ = 0.0;
    if (data == nullptr || size < 1 || size > kMaxPayloadBytes) return 0;
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
    std::array<int, kFrameMessageSymbols> message{};
    std::array<int, kWordSymbols> word{};
    for (int f = 0; f < frameCount_; ++f) {
        packFrame(layout_.profile, FrameHeader{payloadIdentity(crc), size, f}, rows_[f].data(),
                  message.data());
        for (int w = 0; w < kFrameWords; ++w) {
            codec_.setMessage(message.data() + w * kWordMessageSymbols, kWordMessageSymbols);
            codec_.computeParity();
            codec_.getCodeword(word.data());
            for (int i = 0; i < kWordSymbols; ++i) code_[f][kFrameWords * i + w] = word[i];
        }
    }
    return frameCount_;
}

void PayloadEncoder::synthesiseFrame(int frame, float* out) {
    if (frame < 0 || frame >= frameCount_) return;
    const PayloadLayout& l = layout_;
    const float amplitude = 0.9f / float(l.channels);
    const float pilot = PayloadLayout::kPilotLevel * amplitude;
    const double radiansPerHz = 2.0 * M_PI / double(l.sampleRate);
    for (int slot = 0; slot < l.slots; ++slot) {
        const int begin = l.slotStart(slot);
        const int end = l.slotStart(slot + 1);
        const double pilotStep = l.pilotHz * radiansPerHz;
        for (int n = begin; n < end; ++n) {
            out[n] = pilot * float(std::sin(pilotPhase_));
            pilotPhase_ += pilotStep;
        }
        pilotPhase_ = std::fmod(pilotPhase_, 2.0 * M_PI);
        std::array<int, PayloadLayout::kMaxChannels> tones{};  // spare channels sound tone 0
        for (int c = 0; c < l.channels; ++c) {
            if (slot < PayloadLayout::kSyncSymbols) {
                tones[size_t(c)] = syncTone(slot, c);
                continue;
            }
            const int k = (slot - PayloadLayout::kSyncSymbols) * l.channels + c;
            if (k < kFrameCodeSymbols) tones[size_t(codeSymbolChannel(l, k))] = code_[frame][k];
        }
        for (int c = 0; c < l.channels; ++c) {
            const int tone = tones[size_t(c)];
            const double step = l.toneHz(l.setOf(slot), c, tone) * radiansPerHz;
            double phase = phase_[c];
            for (int n = begin; n < end; ++n) {
                out[n] += amplitude * float(std::sin(phase));
                phase += step;
            }
            phase_[c] = std::fmod(phase, 2.0 * M_PI);
        }
    }
}

}  // namespace RYX
