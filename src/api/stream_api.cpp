// The streaming C interface (include/ryxsound/ryx_stream.h): the core's frame synthesiser, payload
// encoder and robust receiver behind create/execute/destroy objects built in one block of memory,
// the caller's (CreateIn) or one taken from the heap (Create), nothing taken afterwards.
#include <cstddef>
#include <cstring>
#include <new>

#include "api/stream_presets.h"
#include "decoder/robust_receiver.h"
#include "dsp/arena.h"
#include "encoder/frame_synthesiser.h"
#include "payload/payload_encoder.h"
#include "ryxsound/ryx_stream.h"

namespace {

using RYX::StreamPreset;

// Bytes of caller memory an object of type T takes, `more` bytes of arena after it included, at
// any address: the object on whole lines, then the rest.
template <typename T>
struct Slot {
    alignas(T) unsigned char bytes[sizeof(T)];
};
template <typename T>
size_t blockBytes(size_t more) {
    RYX::Arena measuring;
    measuring.take<Slot<T>>(1);
    return measuring.needed() + more + RYX::Arena::kLineBytes - 1;
}

// Builds a T in memory[0 .. bytes) (at least blockBytes<T>(...)), the rest of it as its arena.
template <typename T, typename... Arguments>
T* buildIn(void* memory, size_t bytes, const Arguments&... arguments) {
    RYX::Arena arena(memory, bytes);
    Slot<T>* slot = arena.take<Slot<T>>(1);
    return slot != nullptr ? new (slot->bytes) T(arena, arguments...) : nullptr;
}

// The heap block of an object Create made (freed by Destroy), or null for CreateIn's.
template <typename T, typename... Arguments>
T* buildOnHeap(size_t bytes, const Arguments&... arguments) {
    if (bytes == 0) return nullptr;
    auto* block = new (std::nothrow) unsigned char[bytes];
    T* made = block != nullptr ? buildIn<T>(block, bytes, arguments...) : nullptr;
    if (made == nullptr) {
        delete[] block;
        return nullptr;
    }
    made->heapBlock = block;
    return made;
}

template <typename T>
void destroy(T* object) {
    if (object == nullptr) return;
    unsigned char* block = object->heapBlock;
    object->~T();
    delete[] block;
}

}  // namespace

struct RYX_StreamEncoder {
    RYX_StreamEncoder(RYX::Arena&, const StreamPreset& p) : preset(p) {}
    StreamPreset preset;
    RYX::ReedSolomonCodec codec;
    RYX::FrameSynthesiser synthesiser;
    unsigned char* heapBlock = nullptr;
};

struct RYX_StreamPayloadEncoder {
    RYX_StreamPayloadEncoder(RYX::Arena&, const StreamPreset& p, RYX::PayloadProfile profile)
        : encoder(profile, p.plan, p.tuning.custom, p.tuning.sampleRate) {}
    RYX::PayloadEncoder encoder;
    unsigned char* heapBlock = nullptr;
};

// The receiver hands each message into the queue.
struct RYX_StreamReceiver final : RYX::MessageSink {
    RYX_StreamReceiver(RYX::Arena& arena, const StreamPreset& preset)
        : receiver(&preset.plan, 1, preset.tuning, arena) {}
    void take(const RYX::ReceivedMessage& m) override {
        if (waiting == RYX_STREAM_QUEUE) {
            first = (first + 1) % RYX_STREAM_QUEUE;
            --waiting;
            ++lost;
        }
        RYX_StreamMessage& to = queue[(first + waiting++) % RYX_STREAM_QUEUE];
        std::memcpy(to.text, m.text.data(), sizeof to.text);
        to.start = m.start;
        to.confidence = m.confidence;
        to.levelDbfs = m.levelDbfs;
    }
    RYX::RobustReceiver receiver;
    RYX_StreamMessage queue[RYX_STREAM_QUEUE] = {};
    int first = 0;  // oldest waiting
    int waiting = 0;
    int lost = 0;
    unsigned char* heapBlock = nullptr;
};

extern "C" {

int RYX_StreamSampleRate(int preset) {
    const StreamPreset* p = RYX::streamPreset(preset);
    return p != nullptr ? static_cast<int>(p->tuning.sampleRate) : 0;
}

size_t RYX_StreamEncoder_Size(int preset) {
    return RYX::streamPreset(preset) != nullptr ? blockBytes<RYX_StreamEncoder>(0) : 0;
}

RYX_StreamEncoder* RYX_StreamEncoder_CreateIn(int preset, void* memory, size_t bytes) {
    const size_t needed = RYX_StreamEncoder_Size(preset);
    if (needed == 0 || memory == nullptr || bytes < needed) return nullptr;
    return buildIn<RYX_StreamEncoder>(memory, bytes, *RYX::streamPreset(preset));
}

RYX_StreamEncoder* RYX_StreamEncoder_Create(int preset) {
    const size_t bytes = RYX_StreamEncoder_Size(preset);
    return bytes > 0 ? buildOnHeap<RYX_StreamEncoder>(bytes, *RYX::streamPreset(preset)) : nullptr;
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
    destroy(encoder);
}

namespace {

// The profile numbered `profile` (RYX_STREAM_PAYLOAD_...) if `preset` is known and its band holds
// it; else false.
bool payloadProfile(int preset, int profile, RYX::PayloadProfile& out) {
    const StreamPreset* p = RYX::streamPreset(preset);
    if (p == nullptr ||
        (profile != RYX_STREAM_PAYLOAD_FAST && profile != RYX_STREAM_PAYLOAD_ROBUST)) {
        return false;
    }
    out = profile == RYX_STREAM_PAYLOAD_FAST ? RYX::PayloadProfile::Fast
                                             : RYX::PayloadProfile::Robust;
    return RYX::makePayloadLayout(out, p->plan, p->tuning.custom, p->tuning.sampleRate).fits;
}

}  // namespace

size_t RYX_StreamPayloadEncoder_Size(int preset, int profile) {
    RYX::PayloadProfile unused;
    return payloadProfile(preset, profile, unused) ? blockBytes<RYX_StreamPayloadEncoder>(0) : 0;
}

RYX_StreamPayloadEncoder* RYX_StreamPayloadEncoder_CreateIn(int preset, int profile, void* memory,
                                                            size_t bytes) {
    RYX::PayloadProfile chosen;
    if (!payloadProfile(preset, profile, chosen) || memory == nullptr ||
        bytes < blockBytes<RYX_StreamPayloadEncoder>(0)) {
        return nullptr;
    }
    return buildIn<RYX_StreamPayloadEncoder>(memory, bytes, *RYX::streamPreset(preset), chosen);
}

RYX_StreamPayloadEncoder* RYX_StreamPayloadEncoder_Create(int preset, int profile) {
    RYX::PayloadProfile chosen;
    if (!payloadProfile(preset, profile, chosen)) return nullptr;
    return buildOnHeap<RYX_StreamPayloadEncoder>(blockBytes<RYX_StreamPayloadEncoder>(0),
                                                 *RYX::streamPreset(preset), chosen);
}

int64_t RYX_StreamPayloadEncoder_Start(RYX_StreamPayloadEncoder* encoder, const uint8_t* data,
                                       int size) {
    if (encoder == nullptr) return 0;
    encoder->encoder.prepare(data, size);
    return encoder->encoder.totalSamples();
}

int RYX_StreamPayloadEncoder_Execute(RYX_StreamPayloadEncoder* encoder, float* out, int room) {
    return encoder != nullptr ? encoder->encoder.render(out, room) : 0;
}

void RYX_StreamPayloadEncoder_Destroy(RYX_StreamPayloadEncoder* encoder) {
    destroy(encoder);
}

size_t RYX_StreamReceiver_Size(int preset) {
    const StreamPreset* p = RYX::streamPreset(preset);
    // The presets fit their rates, so the receiver refuses none of them.
    return p != nullptr ? blockBytes<RYX_StreamReceiver>(
                              RYX::RobustReceiver::arenaBytes(&p->plan, 1, p->tuning))
                        : 0;
}

RYX_StreamReceiver* RYX_StreamReceiver_CreateIn(int preset, void* memory, size_t bytes) {
    const size_t needed = RYX_StreamReceiver_Size(preset);
    if (needed == 0 || memory == nullptr || bytes < needed) return nullptr;
    RYX_StreamReceiver* r = buildIn<RYX_StreamReceiver>(memory, bytes, *RYX::streamPreset(preset));
    if (r != nullptr && !r->receiver.ready()) {  // not reached: the size was checked
        destroy(r);
        return nullptr;
    }
    return r;
}

RYX_StreamReceiver* RYX_StreamReceiver_Create(int preset) {
    const size_t bytes = RYX_StreamReceiver_Size(preset);
    return bytes > 0 ? buildOnHeap<RYX_StreamReceiver>(bytes, *RYX::streamPreset(preset)) : nullptr;
}

int RYX_StreamReceiver_Execute(RYX_StreamReceiver* r, const float* samples, int count) {
    if (r == nullptr) return 0;
    if (samples != nullptr && count > 0) {
        r->receiver.feed(samples, static_cast<size_t>(count), *r);
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
    destroy(r);
}

}  // extern "C"
