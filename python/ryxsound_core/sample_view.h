// Caller samples as the binding receives them: 1-D (frames) or 2-D (frames, channels) arrays of
// any integer or floating type and any strides, read out as mono float samples a block at a time
// so that no copy of the whole input is ever made.
#pragma once

#include <cstddef>
#include <cstdint>

namespace ryxsound_binding {

enum class SampleType {
    Float32,
    Float64,
    Int8,
    Int16,
    Int32,
    Int64,
    UInt8,
    UInt16,
    UInt32,
    UInt64
};

struct SampleView {
    const void* data = nullptr;
    SampleType type = SampleType::Float32;
    size_t frames = 0;
    size_t channels = 1;        // 1 for a 1-D array
    int64_t frameStride = 1;    // elements between consecutive frames (may be negative)
    int64_t channelStride = 1;  // elements between the channels of one frame
};

// Writes frames [first, first + count) of `view` to out[0..count) as mono: the mean of the
// channels, floats as they are, signed integers divided by 2^(bits-1) (int16 32767 -> 0.99997),
// unsigned integers taken as offset binary, (value - 2^(bits-1)) / 2^(bits-1) (uint8 128 -> 0).
// The caller keeps first + count <= view.frames.
void readMono(const SampleView& view, size_t first, size_t count, float* out);

}  // namespace ryxsound_binding
