// One implementation of preset_ends.h, compiled in the namespace RYX_ENDS names.
#include "preset_ends.h"

#include "api/stream_presets.h"
#include "decoder/robust_receiver.h"
#include "encoder/frame_synthesiser.h"
#include "payload/payload_encoder.h"
#include "ryxsound/ryx_stream.h"

namespace RYX_ENDS {

std::vector<std::string> hear(int preset, const std::vector<float>& audio) {
    const RYX::StreamPreset& p = *RYX::streamPreset(preset);
    std::vector<unsigned char> memory(RYX::RobustReceiver::arenaBytes(&p.plan, 1, p.tuning) +
                                      RYX::Arena::kLineBytes - 1);
    RYX::Arena arena(memory.data(), memory.size());
    RYX::RobustReceiver receiver(&p.plan, 1, p.tuning, arena);
    std::vector<RYX::ReceivedMessage> messages;
    constexpr size_t kBlock = 256;
    for (size_t at = 0; at < audio.size(); at += kBlock) {
        receiver.feed(audio.data() + at, std::min(kBlock, audio.size() - at), messages);
    }
    receiver.flush(messages);
    std::vector<std::string> texts;
    for (const RYX::ReceivedMessage& m : messages) texts.emplace_back(m.text.data());
    return texts;
}

std::vector<float> encode(int preset, const char* text) {
    const RYX::StreamPreset& p = *RYX::streamPreset(preset);
    RYX::ReedSolomonCodec codec;
    int frame[RYX::kMaxFrameLength];
    const int length = RYX::frameText(text, RYX::kTextSymbols, codec, frame);
    RYX::FrameSynthesiser synthesiser;
    synthesiser.start(p.plan, p.tuning, frame, length);
    std::vector<float> samples(static_cast<size_t>(synthesiser.total()));
    synthesiser.render(samples.data(), static_cast<int>(samples.size()));
    return samples;
}

std::vector<float> encodePayload(int preset, int profile, const std::vector<uint8_t>& data) {
    const RYX::StreamPreset& p = *RYX::streamPreset(preset);
    RYX::PayloadEncoder encoder(profile == RYX_STREAM_PAYLOAD_FAST ? RYX::PayloadProfile::Fast
                                                                   : RYX::PayloadProfile::Robust,
                                p.plan, p.tuning.custom, p.tuning.sampleRate);
    encoder.prepare(data.data(), static_cast<int>(data.size()));
    std::vector<float> samples(static_cast<size_t>(encoder.totalSamples()));
    for (size_t at = 0; at < samples.size();) {
        at += static_cast<size_t>(encoder.render(samples.data() + at, 1000));
    }
    return samples;
}

float sampleRate(int preset) {
    return RYX::streamPreset(preset)->tuning.sampleRate;
}

}  // namespace RYX_ENDS
