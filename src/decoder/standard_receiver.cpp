#include "decoder/standard_receiver.h"

#include <algorithm>
#include <cmath>

#include "modes/frequency_plan.h"
#include "modes/phrase.h"
#include "modes/refuse.h"

namespace RYX {
namespace {

// Bound on events drained after one chunk; a healthy decoder yields at most a few.
constexpr int kMaxEventsPerChunk = 100000;
// Power of the three bins around a unit sine in the analyser's spectrum (1 + 2 x 0.2295 when the
// sine sits on a bin, 1.437 half-way between bins).
constexpr double kUnitSineThreeBins = 1.459;
constexpr float kFloorDbfs = -120.0f;

// The decoder of `plans`, once they are known to be heard.
std::unique_ptr<Decoder> makeDecoder(const std::vector<Plan>& plans, const Tuning& tuning) {
    if (!sampleRateInRange(tuning.sampleRate)) {
        refuse("standard receiver: " + rateOutsideRange(tuning.sampleRate));
    }
    if (plans.empty()) refuse("standard receiver: no plan to listen for");
    auto decoder = std::make_unique<Decoder>(tuning, plans);
    for (int i = 0; i < decoder->receiverCount(); ++i) {
        const Plan plan = decoder->receiver(i).plan();
        if (!decoder->receiver(i).fits() || !planTonesFit(plan, tuning)) {
            refuse(
                phrase("standard receiver: plan %d cannot be heard at %g Hz: its tones must be "
                       "distinct and lie within the spectrum",
                       static_cast<int>(plan), tuning.sampleRate));
        }
    }
    return decoder;
}

float finiteOr(float value, float fallback) {
    return std::isfinite(value) ? value : fallback;
}

}  // namespace

StandardReceiver::StandardReceiver(const std::vector<Plan>& plans, const Tuning& tuning)
    : decoder_(makeDecoder(plans, tuning)),
      symbolSamples_(symbolDuration(tuning.sampleRate)),
      windowSize_(tuning.windowSize),
      startLag_(2 * static_cast<int64_t>(symbolSamples_) - tuning.windowSize / 8),
      position_(-static_cast<int64_t>(tuning.windowSize)) {
    std::vector<ReceivedMessage> none;
    const std::array<float, kChunk> silence{};
    for (int fed = 0; fed < windowSize_; fed += kChunk) {
        const int n = std::min(kChunk, windowSize_ - fed);
        position_ += n;
        run(silence.data(), n, none);
    }
}

void StandardReceiver::feed(const float* samples, size_t count, std::vector<ReceivedMessage>& out) {
    if (samples == nullptr) return;
    for (size_t i = 0; i < count; i += kChunk) {
        const int n = static_cast<int>(std::min<size_t>(kChunk, count - i));
        // Values that are not finite are silence to the receiver.
        for (int k = 0; k < n; ++k) chunk_[k] = finiteOr(samples[i + k], 0.0f);
        position_ += n;
        run(chunk_.data(), n, out);
    }
}

void StandardReceiver::flush(std::vector<ReceivedMessage>& out) {
    const std::array<float, kChunk> silence{};
    const int64_t settle = 2 * static_cast<int64_t>(symbolSamples_) + 2 * windowSize_;
    const int64_t limit = (kTransmissionSymbols + 4) * static_cast<int64_t>(symbolSamples_) +
                          4 * static_cast<int64_t>(windowSize_);
    for (int64_t fed = 0; fed < limit && (inMessage_ || fed < settle); fed += kChunk) {
        position_ += kChunk;
        run(silence.data(), kChunk, out);
    }
}

void StandardReceiver::run(const float* chunk, int count, std::vector<ReceivedMessage>& out) {
    int status = decoder_->DecodeAudioBuffer(chunk, count);
    for (int events = 0; events < kMaxEventsPerChunk; ++events) {
        if (status == kMessageStarted) {
            inMessage_ = true;
            messageStart_ = position_ - startLag_;
        } else if (status == kMessageComplete) {
            inMessage_ = false;
            collect(out);
        } else if (status < 0) {
            return;  // kNothingNew
        }
        status = decoder_->DecodeAudioBuffer(chunk, 0);
    }
}

void StandardReceiver::collect(std::vector<ReceivedMessage>& out) {
    ReceivedMessage m;
    const int status = decoder_->GetDecodedData(m.text.data());
    if (status != kFetchedIntact && status != kFetchedDamaged) return;
    m.ok = status == kFetchedIntact;
    m.plan = decoder_->decodedMode();
    m.start = std::max<int64_t>(messageStart_, 0);
    m.end = std::max({position_, messageStart_, int64_t{0}});
    const float snr = decoder_->meanToneSnr();
    m.toneToBandDb = finiteOr(snr, 0.0f);
    m.cleanShare = finiteOr(decoder_->unchangedRatio(), 0.0f);
    const float factor = snr >= 15.0f ? 1.0f : snr > 0.0f ? snr / 15.0f : 0.0f;
    m.confidence = finiteOr(factor * m.cleanShare, 0.0f);
    // receivedLevel sums both tones' three-bin powers, scaled by (N/2 + 1) / H, over the frames
    // of each period that agree with the decision; the mean power of one tone relative to a
    // full-scale sine follows by undoing that scale.
    const double perTone =
        static_cast<double>(decoder_->receivedLevel()) * (decoder_->ringFrames() / 2) /
        (static_cast<double>(decoder_->windowSize() / 2 + 1) * 2.0 * kUnitSineThreeBins);
    const float dbfs = perTone > 0.0 ? static_cast<float>(10.0 * std::log10(perTone)) : kFloorDbfs;
    m.levelDbfs = std::max(finiteOr(dbfs, kFloorDbfs), kFloorDbfs);
    m.correctedMask = decoder_->correctedMask();
    out.push_back(m);
}

}  // namespace RYX
