// Message assembly: the symbols of the messages being received and of those completed but not yet
// fetched, their error correction and checking, and the quality measures of a message.
//
// A message is the two start symbols, nine characters, a checksum (the sum of the nine character
// symbols modulo 32) and eight Reed-Solomon parity symbols: 20 symbols, of which the decoder
// decides the 18 after the start symbols.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "fec/reed_solomon_codec.h"
#include "modes/message_frame.h"

namespace RYX {

// What fetching a message gives, numbered as the flat API's RYX_GetDecodedData returns it.
enum FetchResult : int {
    kFetchedIntact = 9,    // a codeword framed by the start symbols, checksum matching
    kFetchedDamaged = -9,  // a message was there, but its text is not to be trusted
    kNothingToFetch = -1,  // no complete message waits (or no room to write it)
};

class MessageAssembly {
  public:
    static constexpr int kMessageSymbols = RYX::kMessageSymbols;  // start, text, checksum
    static constexpr int kFrameSymbols = kTransmissionSymbols;    // plus 8 parity symbols
    static constexpr int kSymbolsAfterStart = RYX::kSymbolsAfterStart;

    MessageAssembly();

    // A message starts: stores the start symbols, clears the running measures; state 1.
    void begin();
    // Adds one symbol period's measures (PlanReceiver::decide) to the running sums.
    void addPeriod(float meanSnr, float level);
    // Stores a decided symbol; the state advances by one.
    void accept(int symbol);
    // The 18th symbol is in: the measures become means over the 18 periods, the message joins
    // the completed ones; state 0.
    void complete();

    // Corrects the oldest complete message, writes its nine characters and a NUL to out
    // (10 bytes) and returns kFetchedIntact when the message is intact (error correction gave a
    // codeword that starts with the start symbols, and the checksum matches), kFetchedDamaged
    // when not. Messages completed behind an unfetched one wait for the following calls. With no
    // complete message queued it returns kNothingToFetch, writes an empty text and changes
    // nothing; a null out returns kNothingToFetch and consumes nothing.
    int fetch(char* out);

    // 0 listening, 1..18 the next symbol awaited, 19 complete (reported on the next frame).
    int state() const { return state_; }
    // Symbols received and not yet fetched, oldest first.
    const std::vector<int>& receivedSymbols() const { return receivedSymbols_; }

    // Mean tone level over the band of the message's symbol periods, dB (running sum while one is
    // received).
    float meanToneSnr() const { return meanToneSnr_; }
    // Mean received level of its periods (SymbolPeriod::level).
    float receivedLevel() const { return receivedLevel_; }
    // Share of the 12 message symbols of the last fetched message that correction left unchanged.
    float unchangedRatio() const { return unchangedRatio_; }
    // Bit i set when error correction changed message symbol i (0..11: start symbols, nine
    // characters, checksum) of the message last fetched.
    uint32_t correctedMask() const { return correctedMask_; }

  private:
    ReedSolomonCodec codec_;
    int state_ = 0;
    std::vector<int> receivedSymbols_;
    int completedMessages_ = 0;  // complete 20-symbol frames at the front of receivedSymbols_
    float meanToneSnr_ = 0.0f;
    float receivedLevel_ = 0.0f;
    float unchangedRatio_ = 0.0f;
    uint32_t correctedMask_ = 0;
};

}  // namespace RYX
