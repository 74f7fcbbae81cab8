#include "payload/payload_frame.h"

#include <array>

namespace RYX {
namespace {

constexpr int kHeaderBytes = 5;  // identity, size - 1 and index: 40 bits
constexpr int kCheckedBytes = kHeaderBytes + kFrameBodyBytes;

// Writes `bits` bits of `value`, most significant first, into the 5-bit symbols from bit `at`.
void putBits(int* symbols, int& at, uint32_t value, int bits) {
    for (int b = bits - 1; b >= 0; --b, ++at) {
        const int s = at / 5;
        const int shift = 4 - at % 5;
        symbols[s] = (symbols[s] & ~(1 << shift)) | int((value >> b) & 1u) << shift;
    }
}

uint32_t getBits(const int* symbols, int& at, int bits) {
    uint32_t value = 0;
    for (int b = 0; b < bits; ++b, ++at) {
        value = value << 1 | uint32_t((symbols[at / 5] >> (4 - at % 5)) & 1);
    }
    return value;
}

void headerBytes(const FrameHeader& h, uint8_t* out) {
    const uint64_t v = uint64_t(h.identity & 0xFFFFFu) << 20 | uint64_t((h.size - 1) & 0xFFF) << 8 |
                       uint64_t(h.index & 0xFF);
    for (int i = 0; i < kHeaderBytes; ++i) out[i] = uint8_t(v >> (8 * (kHeaderBytes - 1 - i)));
}

uint32_t frameCheck(PayloadProfile profile, const FrameHeader& h, const uint8_t* body) {
    std::array<uint8_t, kCheckedBytes> bytes{};
    headerBytes(h, bytes.data());
    for (int i = 0; i < kFrameBodyBytes; ++i) bytes[kHeaderBytes + i] = body[i];
    return crc32(bytes.data(), bytes.size(), 0x5A17u + uint32_t(profile)) & 0xFFFFu;
}

}  // namespace

uint32_t crc32(const uint8_t* data, size_t size, uint32_t seed) {
    uint32_t crc = ~seed;
    for (size_t i = 0; i < size; ++i) {
        crc ^= data[i];
        for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

int dataFrameCount(int size) {
    return (size + kPayloadCheckBytes + kFrameBodyBytes - 1) / kFrameBodyBytes;
}

int parityFrameCount(int dataFrames) {
    return (dataFrames + kDataFramesPerParity - 1) / kDataFramesPerParity;
}

uint32_t payloadIdentity(uint32_t payloadCrc) {
    return payloadCrc >> 12;
}

void packFrame(PayloadProfile profile, const FrameHeader& header, const uint8_t* body,
               int* symbols) {
    for (int i = 0; i < kFrameMessageSymbols; ++i) symbols[i] = 0;
    int at = 0;
    putBits(symbols, at, header.identity, 20);
    putBits(symbols, at, uint32_t(header.size - 1), 12);
    putBits(symbols, at, uint32_t(header.index), 8);
    for (int i = 0; i < kFrameBodyBytes; ++i) putBits(symbols, at, body[i], 8);
    putBits(symbols, at, frameCheck(profile, header, body), 16);
}

bool unpackFrame(PayloadProfile profile, const int* symbols, FrameHeader& header, uint8_t* body) {
    int at = 0;
    header.identity = getBits(symbols, at, 20);
    header.size = int(getBits(symbols, at, 12)) + 1;
    header.index = int(getBits(symbols, at, 8));
    for (int i = 0; i < kFrameBodyBytes; ++i) body[i] = uint8_t(getBits(symbols, at, 8));
    const uint32_t check = getBits(symbols, at, 16);
    const uint32_t zero = getBits(symbols, at, 4);
    const int data = dataFrameCount(header.size);
    return zero == 0 && check == frameCheck(profile, header, body) &&
           header.index < data + parityFrameCount(data);
}

}  // namespace RYX
