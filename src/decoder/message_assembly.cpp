#include "decoder/message_assembly.h"

#include <algorithm>

#include "modes/message_frame.h"
#include "modes/symbol_alphabet.h"

namespace RYX {

MessageAssembly::MessageAssembly() {
    receivedSymbols_.reserve(4 * kFrameSymbols);
}

void MessageAssembly::begin() {
    state_ = 1;
    meanToneSnr_ = 0.0f;
    receivedLevel_ = 0.0f;
    receivedSymbols_.push_back(kStartSymbol1);
    receivedSymbols_.push_back(kStartSymbol2);
}

void MessageAssembly::addPeriod(float meanSnr, float level) {
    meanToneSnr_ += meanSnr;
    receivedLevel_ += level;
}

void MessageAssembly::accept(int symbol) {
    receivedSymbols_.push_back(symbol);
    ++state_;
}

void MessageAssembly::complete() {
    meanToneSnr_ = meanToneSnr_ / static_cast<float>(kSymbolsAfterStart);
    receivedLevel_ = receivedLevel_ / static_cast<float>(kSymbolsAfterStart);
    state_ = 0;
    ++completedMessages_;
}

int MessageAssembly::fetch(char* out) {
    if (out == nullptr) return kNothingToFetch;
    if (completedMessages_ <= 0 || receivedSymbols_.size() < kFrameSymbols) {
        out[0] = 0;
        return kNothingToFetch;
    }
    codec_.setMessageLength(kMessageSymbols);
    int frame[kFrameSymbols];
    std::copy_n(receivedSymbols_.begin(), kFrameSymbols, frame);
    codec_.setReceived(frame, kFrameSymbols);
    const bool codeword = codec_.decode();
    int corrected[kMessageSymbols];
    codec_.getMessage(corrected);

    int unchanged = 0;
    correctedMask_ = 0;
    for (int i = 0; i < kMessageSymbols; ++i) {
        if (corrected[i] == frame[i]) {
            ++unchanged;
        } else {
            correctedMask_ |= 1u << i;
        }
    }
    unchangedRatio_ = static_cast<float>(unchanged) / static_cast<float>(kMessageSymbols);

    const int checksum = textChecksum(corrected + kStartSymbols);
    for (int i = 0; i < kTextSymbols; ++i) out[i] = symbolToChar(corrected[kStartSymbols + i]);
    out[kTextSymbols] = 0;

    receivedSymbols_.erase(receivedSymbols_.begin(), receivedSymbols_.begin() + kFrameSymbols);
    --completedMessages_;
    // The checksum is five bits: it alone would pass one word in 32. A word the code could not
    // correct, or corrected into one that does not begin with the start symbols, is no
    // transmission whatever its checksum says (noise that decodes as symbol 0 in every period
    // lies two symbols from the all-zero codeword, whose checksum matches).
    const bool framed = codeword && corrected[0] == kStartSymbol1 && corrected[1] == kStartSymbol2;
    return framed && checksum == corrected[kChecksumPosition] ? kFetchedIntact : kFetchedDamaged;
}

}  // namespace RYX
