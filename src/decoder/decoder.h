// The symbol-clock decoder, assembled from small parts:
//   SampleFramer     (sample_framer.h)    stores the captured samples and cuts them into frames;
//   SpectrumAnalyzer (dsp)                turns each frame into a power spectrum;
//   SpectrumRing     (spectrum_ring.h)    keeps the band of the last two symbol periods of
//                                          spectra, runs the start test and, with SymbolClock,
//                                          places the symbol periods;
//   PlanReceiver     (plan_receiver.h)    measures the tones of one frequency plan: listening
//                                          history, start pattern, decision of a symbol period;
//   MessageAssembly  (message_assembly.h) collects the symbols, corrects and checks a message
//                                          and keeps its quality measures.
// One feed loop (DecodeAudioBuffer) drives one plan receiver (MultiToneDecoder) or three
// (DecoderAllMultiTone) over the same spectra.
//
// Listening with several receivers: per frame the spectrum is stored at the ring's write
// position; the first receiver records its two strongest tones there and the write position then
// advances, so the others record theirs one slot later. The first receiver's test window
// therefore ends with the slot about to be overwritten, the others' with the newest frame. The
// first receiver whose start test passes on a frame, in order, wins the message, which is then
// decoded in that plan alone.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "decoder/message_assembly.h"
#include "decoder/plan_receiver.h"
#include "decoder/sample_framer.h"
#include "decoder/spectrum_ring.h"
#include "dsp/spectrum_analyzer.h"
#include "modes/tuning.h"

namespace RYX {

// What DecodeAudioBuffer reports besides a decided symbol (0..31), numbered as the flat API's
// RYX_DecodeAudioBuffer returns them.
enum DecoderEvent : int {
    kNothingNew = -1,       // every queued frame analysed, nothing to report
    kMessageStarted = -2,   // a plan's start symbols were recognised
    kMessageComplete = -3,  // the 18th symbol is in: fetch the message with GetDecodedData
};

class Decoder {
  public:
    // The tuning fixes rate, window size N, hop steps and custom band for the decoder's life;
    // `plans` (one or more) are listened for in this order. decodedMode reads the plan's number
    // from construction on with one plan, -1 until the first message starts with several.
    Decoder(const Tuning& tuning, const std::vector<Plan>& plans);
    virtual ~Decoder() = default;  // owned through Decoder pointers
    Decoder(const Decoder&) = delete;
    Decoder& operator=(const Decoder&) = delete;

    // Appends `count` samples and analyses every complete frame until one yields an event:
    // kNothingNew, kMessageStarted, a decided symbol 0..31 or kMessageComplete. Samples never get
    // lost: whatever is left after an event waits for the next call (a call with count 0
    // processes it). count <= 0 or null samples append nothing but still process queued frames.
    int DecodeAudioBuffer(const float* samples, int count);
    // After kMessageComplete: fetches the oldest complete message (MessageAssembly::fetch):
    // kFetchedIntact, kFetchedDamaged or kNothingToFetch.
    int GetDecodedData(char* out) { return assembly_.fetch(out); }

    // 0 audible, 1 non-audible, 2 compression, 3 custom, -1 unknown.
    int decodedMode() const { return decodedMode_; }
    float meanToneSnr() const { return assembly_.meanToneSnr(); }
    float unchangedRatio() const { return assembly_.unchangedRatio(); }
    float receivedLevel() const { return assembly_.receivedLevel(); }
    uint32_t correctedMask() const { return assembly_.correctedMask(); }
    const SpectrumAnalyzer& analyzer() const { return analyzer_; }
    const Tuning& tuning() const { return tuning_; }
    int windowSize() const { return tuning_.windowSize; }
    float sampleRate() const { return tuning_.sampleRate; }

    const SampleFramer& framer() const { return framer_; }
    const SpectrumRing& ring() const { return ring_; }
    const MessageAssembly& assembly() const { return assembly_; }
    int receiverCount() const { return static_cast<int>(receivers_.size()); }
    const PlanReceiver& receiver(int i) const { return receivers_[static_cast<size_t>(i)]; }
    int ringFrames() const { return ring_.frames(); }
    // 0 listening, 1..18 the next symbol awaited, 19 complete (reported on the next frame).
    int decodeState() const { return assembly_.state(); }

  private:
    // The receivers' union of bins, for the ring: from the lowest to the highest bin any fitting
    // receiver reads (empty when none fits).
    static SpectrumRing ringFor(const Tuning& tuning, const std::vector<PlanReceiver>& receivers);
    // Listening step on the newest spectrum: the index of the receiver whose start test passed,
    // -1 for none.
    int listen();
    // Receiving step of the active receiver: the decided symbol once a period completes, else -1.
    int receive();

    Tuning tuning_;
    SampleFramer framer_;
    SpectrumAnalyzer analyzer_;
    std::vector<PlanReceiver> receivers_;
    SpectrumRing ring_;
    SymbolClock clock_;
    MessageAssembly assembly_;
    size_t active_ = 0;  // the receiver that recognised the current message
    int decodedMode_;
};

}  // namespace RYX
