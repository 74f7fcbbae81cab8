// The frame of a payload transmission. A payload of 1..4096 bytes and its CRC-32 are cut into
// data frames of kFrameBodyBytes (the last padded with zeros); one parity frame for every
// kDataFramesPerParity data frames (at least one) lets any that many frames be lost. Each frame
// carries kFrameWords Reed-Solomon words of the 5-bit code: 92 message symbols = 460 bits,
// packed most significant bit first as
//   payload identity (20 bits, from the payload's CRC-32) | size - 1 (12) | frame index (8) |
//   body (400) | frame check (16) | zero (4).
// The frame check is the low half of a CRC-32 over identity, size, index and body, seeded with
// the profile, so a frame heard under the other profile's timing never passes.
//
// 140 bytes: 144 with the CRC, 3 data frames and 1 parity frame. 4096 bytes: 82 and 10.
#pragma once

#include <cstddef>
#include <cstdint>

#include "fec/reed_solomon_codec.h"

namespace RYX {

enum class PayloadProfile : int { Fast = 0, Robust = 1 };

constexpr int kMaxPayloadBytes = 4096;
constexpr int kPayloadCheckBytes = 4;  // the CRC-32 after the payload
constexpr int kFrameBodyBytes = 50;
constexpr int kDataFramesPerParity = 9;
constexpr int kMaxDataFrames =
    (kMaxPayloadBytes + kPayloadCheckBytes + kFrameBodyBytes - 1) / kFrameBodyBytes;  // 82
constexpr int kMaxParityFrames =
    (kMaxDataFrames + kDataFramesPerParity - 1) / kDataFramesPerParity;  // 10
constexpr int kMaxFrames = kMaxDataFrames + kMaxParityFrames;            // 92
constexpr int kFrameWords = 4;
constexpr int kWordMessageSymbols = ReedSolomonCodec::kDataLength;       // 23
constexpr int kWordSymbols = ReedSolomonCodec::kCodeLength;              // 31
constexpr int kFrameMessageSymbols = kFrameWords * kWordMessageSymbols;  // 92
constexpr int kFrameCodeSymbols = kFrameWords * kWordSymbols;            // 124

// CRC-32 (the reflected 0xEDB88320 polynomial of zip and PNG): "123456789" gives 0xCBF43926.
// `seed` continues a CRC of earlier bytes (0 to start).
uint32_t crc32(const uint8_t* data, size_t size, uint32_t seed = 0);

// Data frames for a payload of `size` bytes (1..kMaxPayloadBytes): 3 for 140.
int dataFrameCount(int size);
// Parity frames for that many data frames: one per nine, at least one.
int parityFrameCount(int dataFrames);

// The identity frames of one payload share: the top 20 bits of its CRC-32.
uint32_t payloadIdentity(uint32_t payloadCrc);

struct FrameHeader {
    uint32_t identity = 0;  // 0 .. 2^20 - 1
    int size = 0;           // payload bytes, 1 .. kMaxPayloadBytes
    int index = 0;          // 0 .. data + parity frames - 1 (data frames first)
};

// Packs a frame's header and body into its kFrameMessageSymbols message symbols (0..31 each).
void packFrame(PayloadProfile profile, const FrameHeader& header, const uint8_t* body,
               int* symbols);
// The header and body of kFrameMessageSymbols received symbols; false unless the frame check
// matches, the zero bits are zero, the size is in range and the index lies within its frames.
bool unpackFrame(PayloadProfile profile, const int* symbols, FrameHeader& header, uint8_t* body);

}  // namespace RYX
