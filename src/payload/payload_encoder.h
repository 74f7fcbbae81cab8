// The payload encoder: cuts a payload into frames (payload_frame.h), adds the parity frames of the
// outer code, protects each frame with its four Reed-Solomon words and sounds the frames as the
// layout lays them out, block by block, every channel phase-continuous from symbol to symbol and
// frame to frame (repeats included), the whole transmission faded in and out over kFadeSamples.
//
// The object holds the frames' bodies for the largest payload (92 rows of 50 bytes) and one
// frame's code symbols, made as the frame begins: about 11 KiB (11,264 bytes on a 64-bit desktop),
// whatever the payload's size; encoding allocates nothing. 140 bytes robust in the audible plan at
// 44100 Hz: 4 frames of 135168 samples, 12.26 s; 100 bytes robust at 22050 Hz: 4 frames of 67584
// samples. Cost per sample: a sine for the pilot and one per channel (SineFloat,
// dsp/sine_precision.h).
#pragma once

#include <array>
#include <cstdint>

#include "payload/frame_erasure_code.h"
#include "payload/payload_layout.h"

namespace RYX {

class PayloadEncoder {
  public:
    static constexpr int kMaxRepeat = 16;
    static constexpr int kFadeSamples = 64;  // start and end of a transmission, against clicks

    // layout().fits tells whether the profile can be sent in that plan at that rate.
    PayloadEncoder(PayloadProfile profile, Plan plan, const CustomBand& custom, float sampleRate);

    const PayloadLayout& layout() const { return layout_; }

    // Frames `size` bytes (1..kMaxPayloadBytes) to be sounded `repeat` times (1..kMaxRepeat) one
    // after another, and starts the transmission at its first sample with the phases at 0; returns
    // the frame count (4 for 100 bytes). Returns 0 and leaves nothing to send for a null `data`,
    // counts out of range or a layout that does not fit.
    int prepare(const uint8_t* data, int size, int repeat = 1);
    int frameCount() const { return frameCount_; }
    // Samples of the whole transmission: repeat x frameCount x layout().frameSamples (270336
    // for 100 bytes robust at 22050 Hz).
    int64_t totalSamples() const { return total_; }
    int64_t remaining() const { return total_ - written_; }
    // Writes the next min(room, remaining()) samples into out and returns that count (0 at the
    // end, for room <= 0 and for a null out). The samples are the same however the blocks are cut.
    int render(float* out, int room);

  private:
    // The code symbols of frame frame_ into code_.
    void enterFrame();
    // The phase steps of slot slot_.
    void enterSlot();

    PayloadLayout layout_;
    ReedSolomonCodec codec_;
    FrameErasureCode outer_;
    std::array<FrameErasureCode::Row, kMaxFrames> rows_{};  // data frames, then parity frames
    FrameHeader header_;                                    // index: the frame in code_
    std::array<int, kFrameCodeSymbols> code_{};
    int frameCount_ = 0;
    int64_t total_ = 0;
    int64_t written_ = 0;
    int frame_ = 0;    // frame being sounded (within its repeat)
    int slot_ = 0;     // its slot
    int inFrame_ = 0;  // the next sample, from the frame start
    int slotEnd_ = 0;  // the slot's end, from the frame start
    int fade_ = 0;     // min(kFadeSamples, total / 2)
    std::array<double, PayloadLayout::kMaxChannels> phase_{};
    std::array<double, PayloadLayout::kMaxChannels> step_{};
    double pilotPhase_ = 0.0;
};

}  // namespace RYX
