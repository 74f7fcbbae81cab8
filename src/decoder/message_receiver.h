// A receiver seen from outside: samples in, finished messages out. The standard receiver (the
// symbol-clock decoders of this folder) and the robust receiver both stand behind this
// interface, so the bindings, the command-line tools and the web build drive either the same way.
//
// Positions count samples from the first one fed (0-based). A message's start is where its first
// start symbol began, its end where its last parity symbol ended, each within about a tenth of a
// symbol (460 samples at 44100 Hz).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace RYX {

struct ReceivedMessage {
    std::array<char, 10> text{};  // nine characters '0'-'9', 'a'-'v' and a NUL
    bool ok = false;              // corrected word framed by the start symbols, checksum matches
    int plan = -1;                // 0 audible, 1 non-audible, 2 compression, 3 custom
    int64_t start = 0;            // sample offset of the first start symbol
    int64_t end = 0;              // sample offset just after the last symbol
    float confidence = 0.0f;      // 0..1
    float toneToBandDb = 0.0f;    // mean level of the decided tones over their band mean, dB
    float levelDbfs = 0.0f;       // received tone level, dB relative to a full-scale sine
    float cleanShare = 0.0f;      // share 0..1 of the 12 message symbols needing no correction
    uint32_t correctedMask = 0;   // bit i set: message symbol i (0..11) was corrected
};

// Where a receiver hands the messages it completes, one at a time, oldest first, without a list
// that grows (the streaming interface's queue of fixed length).
class MessageSink {
  public:
    virtual void take(const ReceivedMessage& message) = 0;

  protected:
    ~MessageSink() = default;
};

class MessageReceiver {
  public:
    virtual ~MessageReceiver() = default;
    // Feeds `count` samples (any count, 0 allowed; null with count 0 allowed) and appends the
    // messages they complete to `out`, oldest first. Never allocates per sample: buffers are
    // sized at construction (out may grow).
    virtual void feed(const float* samples, size_t count, std::vector<ReceivedMessage>& out) = 0;
    // Completes what the audio fed so far can still give (a message in progress is finished
    // from silence) and appends it to `out`. The receiver is then ready for more audio.
    virtual void flush(std::vector<ReceivedMessage>& out) = 0;
    // Samples fed since construction.
    virtual int64_t position() const = 0;
    // True between a recognised start and the message's completion.
    virtual bool inMessage() const = 0;
};

}  // namespace RYX
