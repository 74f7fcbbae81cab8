#include "sample_view.h"

#include <cstring>
#include <limits>
#include <type_traits>

namespace ryxsound_binding {
namespace {

template <typename T>
float toUnit(T value) {
    if constexpr (std::is_floating_point_v<T>) {
        return static_cast<float>(value);
    } else {
        // Types up to 16 bits are exact in float, wider ones in double. The scale 1 / 2^(bits-1)
        // is a power of two, so the product is the exact quotient.
        using Wide = std::conditional_t<(sizeof(T) <= 2), float, double>;
        constexpr Wide half = std::is_signed_v<T>
                                  ? -static_cast<Wide>(std::numeric_limits<T>::min())
                                  : static_cast<Wide>(std::numeric_limits<T>::max() / 2 + 1);
        constexpr Wide offset = std::is_signed_v<T> ? Wide(0) : half;
        return static_cast<float>((static_cast<Wide>(value) - offset) * (Wide(1) / half));
    }
}

// One element; memcpy because arrays from a byte buffer need not be aligned for T.
template <typename T>
float elementAt(const unsigned char* base, int64_t index) {
    T value;
    std::memcpy(&value, base + index * static_cast<int64_t>(sizeof(T)), sizeof(T));
    return toUnit(value);
}

template <typename T>
void readTyped(const SampleView& view, size_t first, size_t count, float* out) {
    const auto* base = static_cast<const unsigned char*>(view.data);
    const float perChannel = 1.0f / static_cast<float>(view.channels);
    for (size_t i = 0; i < count; ++i) {
        const int64_t frame = static_cast<int64_t>(first + i) * view.frameStride;
        if (view.channels == 1) {
            out[i] = elementAt<T>(base, frame);
            continue;
        }
        float sum = 0.0f;
        for (size_t c = 0; c < view.channels; ++c) {
            sum += elementAt<T>(base, frame + static_cast<int64_t>(c) * view.channelStride);
        }
        out[i] = sum * perChannel;
    }
}

}  // namespace

void readMono(const SampleView& view, size_t first, size_t count, float* out) {
    switch (view.type) {
        case SampleType::Float32:
            return readTyped<float>(view, first, count, out);
        case SampleType::Float64:
            return readTyped<double>(view, first, count, out);
        case SampleType::Int8:
            return readTyped<int8_t>(view, first, count, out);
        case SampleType::Int16:
            return readTyped<int16_t>(view, first, count, out);
        case SampleType::Int32:
            return readTyped<int32_t>(view, first, count, out);
        case SampleType::Int64:
            return readTyped<int64_t>(view, first, count, out);
        case SampleType::UInt8:
            return readTyped<uint8_t>(view, first, count, out);
        case SampleType::UInt16:
            return readTyped<uint16_t>(view, first, count, out);
        case SampleType::UInt32:
            return readTyped<uint32_t>(view, first, count, out);
        case SampleType::UInt64:
            return readTyped<uint64_t>(view, first, count, out);
    }
}

}  // namespace ryxsound_binding
