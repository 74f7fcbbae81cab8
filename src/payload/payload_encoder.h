// The payload encoder: cuts a payload into frames (payload_frame.h), adds the parity frames of the
// outer code, protects each frame with its four Reed-Solomon words and sounds the frames as the
// layout lays them out, every channel phase-continuous from symbol to symbol and frame to frame.
//
// Storage for the largest payload (92 frames of 124 code symbols) is part of the object; encoding
// allocates nothing. 140 bytes robust in the audible plan at 44100 Hz: 4 frames of 135168
// samples, 12.26 s.
#pragma once

#include <array>
#include <cstdint>

#include "payload/frame_erasure_code.h"
#include "payload/payload_layout.h"

namespace RYX {

class PayloadEncoder {
  public:
    // layout().fits tells whether the profile can be sent in that plan at that rate.
    PayloadEncoder(PayloadProfile profile, Plan plan, const CustomBand& custom, float sampleRate);

    const PayloadLayout& layout() const { return layout_; }

    // Frames `size` bytes (1..kMaxPayloadBytes, else nothing: returns 0) and restarts the
    // phases; returns the frame count.
    int prepare(const uint8_t* data, int size);
    int frameCount() const { return frameCount_; }
    // Writes frame `frame` (0 .. frameCount - 1) as layout().frameSamples samples into `out`,
    // continuing the phases of the frame sounded before it.
    void synthesiseFrame(int frame, float* out);

  private:
    PayloadLayout layout_;
    ReedSolomonCodec codec_;
    FrameErasureCode outer_;
    std::array<FrameErasureCode::Row, kMaxFrames> rows_{};
    std::array<std::array<int, kFrameCodeSymbols>, kMaxFrames> code_{};
    int frameCount_ = 0;
    std::array<double, PayloadLayout::kMaxChannels> phase_{};
    double pilotPhase_ = 0.0;
};

}  // namespace RYX
