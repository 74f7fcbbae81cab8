// The Reed-Solomon decoder on arbitrary words.
//
// First byte: the kind of input.
//   even: a codeword of 12 message symbols from the input, hit by up to four symbol errors at
//         positions and with values from the input. The decoder must return the message sent.
//   odd:  twenty arbitrary ints (out-of-range and negative values included), a received length
//         and a message length from the input. Nothing may crash, and a word that the decoder
//         changes is changed in at most four message positions (the returned message lies within
//         the correction radius of what was received). The same word then goes through
//         errors-and-erasures decoding with erasure indices from the input: a success is a
//         codeword within eight symbols of what was received.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "fec/reed_solomon_codec.h"

namespace {

constexpr int kMessage = 12;
constexpr int kWord = kMessage + RYX::ReedSolomonCodec::kParityLength;  // 20

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "reed-solomon property broken: %s\n", what);
    std::abort();
}

void correctableWord(FuzzedDataProvider& in, RYX::ReedSolomonCodec& codec) {
    std::array<int, kMessage> message{};
    for (int& s : message) s = in.ConsumeIntegralInRange(0, 31);
    codec.setMessage(message.data(), kMessage);
    codec.computeParity();
    std::array<int, kWord> word{};
    if (codec.getCodeword(word.data()) != kWord) fail("codeword length");

    const int errors = in.ConsumeIntegralInRange(0, RYX::ReedSolomonCodec::kCorrectable);
    for (int e = 0; e < errors; ++e) {
        const int position = in.ConsumeIntegralInRange(0, kWord - 1);
        word[position] ^= in.ConsumeIntegralInRange(0, 31);  // may repeat a position: still <= 4
    }
    codec.setMessageLength(kMessage);
    codec.setReceived(word.data(), kWord);
    codec.decode();
    std::array<int, kMessage> decoded{};
    if (codec.getMessage(decoded.data()) != kMessage) fail("message length");
    if (decoded != message) fail("a word with at most four errors was not corrected");
}

void arbitraryWord(FuzzedDataProvider& in, RYX::ReedSolomonCodec& codec) {
    const int messageLength = in.ConsumeIntegral<int>();
    const int count = in.ConsumeIntegralInRange(-4, 2 * kWord);
    std::vector<int> received(static_cast<size_t>(count > 0 ? count : 0));
    for (int& s : received) {
        s = in.ConsumeBool() ? in.ConsumeIntegral<int>() : in.ConsumeIntegralInRange(0, 31);
    }
    const bool absent = in.ConsumeBool();  // a null word counts as zeros
    if (absent) std::fill(received.begin(), received.end(), 0);
    codec.setMessageLength(messageLength);
    codec.setReceived(absent ? nullptr : received.data(), count);
    codec.decode();
    // getMessage writes messageLength symbols (clamped to 0..23); give it exactly that room.
    std::vector<int> decoded(static_cast<size_t>(codec.messageLength()));
    if (codec.getMessage(decoded.data()) != codec.messageLength()) fail("message length");

    // For the decoders' shape (12 + 8 in-range symbols) the correction radius must hold.
    if (codec.messageLength() == kMessage && count == kWord) {
        int changed = 0;
        for (int i = 0; i < kMessage; ++i) {
            if (decoded[static_cast<size_t>(i)] != (received[static_cast<size_t>(i)] & 31)) {
                ++changed;
            }
            if (decoded[static_cast<size_t>(i)] < 0 || decoded[static_cast<size_t>(i)] > 31) {
                fail("symbol out of range");
            }
        }
        if (changed > RYX::ReedSolomonCodec::kCorrectable) fail("moved beyond the radius");
    }

    // Errors and erasures on the same word, with erasure indices from the input (any values):
    // a success changes at most eight transmitted symbols and leaves a word that decode() keeps.
    std::vector<int> erased(static_cast<size_t>(in.ConsumeIntegralInRange(0, 12)));
    for (int& e : erased) e = in.ConsumeIntegralInRange(-3, 40);
    codec.setReceived(absent ? nullptr : received.data(), count);
    if (codec.decodeWithErasures(erased.data(), static_cast<int>(erased.size()))) {
        uint32_t mask = codec.correctedMask();
        int changed = 0;
        for (; mask != 0; mask &= mask - 1) ++changed;
        if (changed > RYX::ReedSolomonCodec::kParityLength) fail("erasure decoding moved too far");
        std::vector<int> corrected(static_cast<size_t>(codec.messageLength()));
        codec.getMessage(corrected.data());
        RYX::ReedSolomonCodec check;
        check.setMessage(corrected.data(), codec.messageLength());
        check.computeParity();
        std::vector<int> word(static_cast<size_t>(codec.messageLength()) + 8);
        check.getCodeword(word.data());
        check.setReceived(word.data(), static_cast<int>(word.size()));
        if (!check.decode()) fail("erasure decoding gave a non-codeword");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    RYX::ReedSolomonCodec codec;
    if (in.ConsumeIntegral<uint8_t>() % 2 == 0) {
        correctableWord(in, codec);
    } else {
        arbitraryWord(in, codec);
    }
    return 0;
}
