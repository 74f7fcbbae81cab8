#include "encoder/encoder.h"

#include <algorithm>

#include "modes/frequency_plan.h"

namespace RYX {
namespace {

// A sample count from a single-precision product, truncated. Anything that is not a positive
// number below 2^31 (NaN, infinities, negative or absurd rates) gives 0 instead of undefined
// behaviour, so such an encoder simply holds no audio.
int sampleCountFrom(float product) {
    if (!(product > 0.0f) || product >= 2147483648.0f) return 0;
    return static_cast<int>(product);
}

}  // namespace

int Encoder::capacityFor(float sampleRate) {
    return sampleCountFrom(sampleRate * 10.0f);
}

Encoder::Encoder(float sampleRate, int bufferSize, int windowSize)
    : sampleRate_(sampleRate),
      capacity_(capacityFor(sampleRate)),
      bufferSize_(bufferSize),
      windowSize_(windowSize) {
    samples_.assign(static_cast<size_t>(capacity_), 0.0f);
}

Encoder::~Encoder() = default;

int Encoder::encode(const char* /*text*/, int /*synthMode*/, int /*textLength*/,
                    const char* /*melody*/, int /*melodyLength*/,
                    const SynthesisSettings& /*settings*/) {
    return 0;
}

int Encoder::signatureLimit() const {
    // Product formed in this order in single precision: 44100 x 0.104489796 x 20 = 92160.
    return sampleCountFrom(sampleRate_ * kSymbolSeconds * 20.0f);
}

int Encoder::setAudioSignature(int length, const float* samples) {
    signatureLength_ = 0;
    signature_.clear();
    signature_.shrink_to_fit();
    if (samples == nullptr || length <= 0) return 0;
    const int kept = std::min(length, signatureLimit());
    if (kept <= 0) return 0;
    signature_.assign(samples, samples + kept);
    signatureLength_ = kept;
    return 0;
}

int Encoder::readEncoded(float* dst) {
    return readEncoded(dst, bufferSize_);
}

int Encoder::readEncoded(float* dst, int room) {
    if (dst == nullptr || bufferSize_ <= 0 || room <= 0) return 0;
    const int remaining = sampleCount_ - readPosition_;
    const int n = std::min({bufferSize_, room, remaining});
    if (n <= 0) return 0;
    std::copy(samples_.begin() + readPosition_, samples_.begin() + readPosition_ + n, dst);
    readPosition_ += n;
    return n;
}

}  // namespace RYX
