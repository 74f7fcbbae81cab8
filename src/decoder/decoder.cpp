#include "decoder/decoder.h"

#include <algorithm>

namespace RYX {
namespace {

std::vector<PlanReceiver> receiversFor(const Tuning& tuning, const std::vector<Plan>& plans,
                                       int ringFrames) {
    std::vector<PlanReceiver> receivers;
    receivers.reserve(plans.size());
    for (Plan plan : plans) receivers.emplace_back(plan, tuning, ringFrames);
    return receivers;
}

}  // namespace

SpectrumRing Decoder::ringFor(const Tuning& tuning, const std::vector<PlanReceiver>& receivers) {
    int low = tuning.windowSize / 2;
    int high = -1;
    for (const PlanReceiver& rx : receivers) {
        if (!rx.fits()) continue;
        low = std::min(low, rx.lowestBinRead());
        high = std::max(high, rx.highestBinRead());
    }
    const int advance = frameAdvanceFor(tuning.sampleRate);
    return SpectrumRing(tuning.sampleRate, advance, low, high);
}

Decoder::Decoder(const Tuning& tuning, const std::vector<Plan>& plans)
    : tuning_(tuning),
      framer_(tuning.windowSize, frameAdvanceFor(tuning.sampleRate)),
      analyzer_(tuning.windowSize, frameAdvanceFor(tuning.sampleRate)),
      receivers_(receiversFor(
          tuning, plans, ringFramesFor(tuning.sampleRate, frameAdvanceFor(tuning.sampleRate)))),
      ring_(ringFor(tuning, receivers_)),
      decodedMode_(plans.size() == 1 ? static_cast<int>(plans.front()) : -1) {}

int Decoder::DecodeAudioBuffer(const float* samples, int count) {
    framer_.append(samples, count);
    while (const float* frame = framer_.takeFrame()) {
        const int state = assembly_.state();
        if (state > MessageAssembly::kSymbolsAfterStart) {
            assembly_.complete();
            return kMessageComplete;
        }
        analyzer_.analyze(frame);
        ring_.store(analyzer_.powerSpectrum());
        if (state == 0) {
            const int recognised = listen();
            if (recognised >= 0) {
                active_ = static_cast<size_t>(recognised);
                decodedMode_ = static_cast<int>(receivers_[active_].plan());
                clock_.anchor(ring_.writePos());
                assembly_.begin();
                return kMessageStarted;
            }
        } else {
            ring_.advance();
            const int symbol = receive();
            if (symbol >= 0) {
                assembly_.accept(symbol);
                return symbol;
            }
        }
    }
    return kNothingNew;
}

int Decoder::listen() {
    for (size_t m = 0; m < receivers_.size(); ++m) {
        PlanReceiver& rx = receivers_[m];
        if (rx.fits()) rx.listen(analyzer_.powerSpectrum(), ring_.writePos());
        if (m == 0) ring_.advance();
        if (rx.fits() && rx.startTest(ring_)) return static_cast<int>(m);
    }
    return -1;
}

int Decoder::receive() {
    PlanReceiver& rx = receivers_[active_];
    const SymbolPeriod period = rx.decide(ring_, assembly_.state());
    if (!period.complete) return -1;
    assembly_.addPeriod(period.meanSnr, period.level);
    rx.setReadPos(clock_.next(ring_.frames()));
    return period.symbol;
}

}  // namespace RYX
