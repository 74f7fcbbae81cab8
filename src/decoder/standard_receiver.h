// The symbol-clock decoders (one plan, or the three of the all-modes receiver) behind the
// MessageReceiver interface: it feeds them in short chunks, turns their events into messages with
// stream positions and quality figures, and finishes a message in progress from silence.
//
// Positions. The start symbols are recognised once the frames of both have been analysed: about
// two symbol durations into the message, an eighth of a window early on average (measured
// 8580..9060 samples at 44100 Hz; 2 x 4608 - 256 = 8960 is taken). Completion is reported with the
// frame after the last symbol's period, within a tenth of a symbol of the transmission's end.
// One window of silence is fed at construction so that a message beginning at the caller's first
// sample is recognised; positions exclude it.
#pragma once

#include <array>
#include <memory>
#include <vector>

#include "decoder/decoder.h"
#include "decoder/message_receiver.h"
#include "modes/frequency_plan.h"
#include "modes/tuning.h"

namespace RYX {

class StandardReceiver : public MessageReceiver {
  public:
    // Samples handed to the decoder per call: an event is placed within one chunk (5.8 ms at
    // 44100 Hz) of the frame that caused it.
    static constexpr int kChunk = 256;

    // Listens for `plans` in this order (Decoder). Throws std::invalid_argument, naming the
    // reason, for no plans, a rate outside kMinSampleRate .. kMaxSampleRate, and a plan it cannot
    // hear at that rate: one whose tones do not fit the spectrum (PlanReceiver::fits) or merge
    // or reach half the rate (planTonesFit).
    StandardReceiver(const std::vector<Plan>& plans, const Tuning& tuning);

    void feed(const float* samples, size_t count, std::vector<ReceivedMessage>& out) override;
    void flush(std::vector<ReceivedMessage>& out) override;
    int64_t position() const override { return position_; }
    bool inMessage() const override { return inMessage_; }

  private:
    // Feeds one chunk of at most kChunk samples and drains the events it causes.
    void run(const float* chunk, int count, std::vector<ReceivedMessage>& out);
    void collect(std::vector<ReceivedMessage>& out);

    std::unique_ptr<Decoder> decoder_;
    int symbolSamples_;
    int windowSize_;
    int64_t startLag_;
    int64_t position_;
    int64_t messageStart_ = 0;
    bool inMessage_ = false;
    std::array<float, kChunk> chunk_{};
};

}  // namespace RYX
