#include "encoder/encoder.h"

#include <algorithm>

#include "modes/frequency_plan.h"

namespace RYX {
namespace {

// A sample count from a single-precision product, truncated. Anything that is not a positive
// number below 2^31 (NaN, infinities, negative or absurd rates) gives 0 instead of undefined
// behaviour, so such an encoder simply holds no audio.
int32_t sampleCountFrom(float product) {
    if (!(product > 0.0f) || product >= 2147483648.0f) return 0;
    return static_cast<int32_t>(product);
}

}  // namespace

Encoder::Encoder(float sampleRate, int32_t bufferSize, int32_t windowSize, int32_t numSymbols,
                 int32_t numTones)
    : numSymbols_(numSymbols),
      numTones_(numTones),
      sampleRate_(sampleRate),
      capacity_(sampleCountFrom(sampleRate * 10.0f)),
      bufferSize_(bufferSize),
      windowSize_(windowSize) {
    samples_.assign(static_cast<size_t>(capacity_), 0.0f);
}

Encoder::~Encoder() = default;

int32_t Encoder::encode(const char* /*text*/, int32_t /*synthMode*/, int32_t /*textLength*/,
                        const char* /*melody*/, int32_t /*melodyLength*/,
                        const SynthesisSettings& /*settings*/) {
    return 0;
}

int32_t Encoder::signatureLimit() const {
    // Product formed in this order in single precision: 44100 x 0.104489796 x 20 = 92160.
    return sampleCountFrom(sampleRate_ * kSymbolSeconds * 20.0f);
}

int32_t Encoder::setAudioSignature(int32_t length, const float* samples) {
    signatureLength_ = 0;
    signature_.clear();
    signature_.shrink_to_fit();
    if (samples == nullptr || length <= 0) return 0;
    const int32_t kept = std::min(length, signatureLimit());
    if (kept <= 0) return 0;
    signature_.assign(samples, samples + kept);
    signatureLength_ = kept;
    return 0;
}

int32_t Encoder::readEncoded(float* dst) { return readEncoded(dst, bufferSize_); }

int32_t Encoder::readEncoded(float* dst, int32_t room) {
    if (dst == nullptr || bufferSize_ <= 0 || room <= 0) return 0;
    const int32_t remaining = sampleCount_ - readPosition_;
    const int32_t n = std::min({bufferSize_, room, remaining});
    if (n <= 0) return 0;
    std::copy(samples_.begin() + readPosition_, samples_.begin() + readPosition_ + n, dst);
    readPosition_ += n;
    return n;
}

}  // namespace RYX
