// The frame of a payload: the CRC-32 it is checked with, and packing a frame's header and body
// into its 92 message symbols and back, where any damage a Reed-Solomon word could miscorrect
// into (one symbol or one bit), the other profile or an index beyond the payload's frames is
// refused.
#include "payload/payload_frame.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <string>

namespace {

using RYX::FrameHeader;
using RYX::kFrameBodyBytes;
using RYX::kFrameMessageSymbols;
using RYX::PayloadProfile;

struct CrcCase {
    std::string bytes;
    uint32_t crc;
};

class Crc32 : public ::testing::TestWithParam<CrcCase> {};

TEST_P(Crc32, MatchesTheZipChecksum) {
    const std::string& s = GetParam().bytes;
    EXPECT_EQ(RYX::crc32(reinterpret_cast<const uint8_t*>(s.data()), s.size()), GetParam().crc);
}

TEST_P(Crc32, ContinuesAcrossPieces) {
    const std::string& s = GetParam().bytes;
    const auto* bytes = reinterpret_cast<const uint8_t*>(s.data());
    for (size_t cut = 0; cut <= s.size(); ++cut) {
        const uint32_t first = RYX::crc32(bytes, cut);
        EXPECT_EQ(RYX::crc32(bytes + cut, s.size() - cut, first), GetParam().crc) << "cut " << cut;
    }
}

INSTANTIATE_TEST_SUITE_P(Values, Crc32,
                         ::testing::Values(CrcCase{"", 0x00000000u}, CrcCase{"a", 0xE8B7BE43u},
                                           CrcCase{"123456789", 0xCBF43926u},
                                           CrcCase{"The quick brown fox jumps over the lazy dog",
                                                   0x414FA339u}));

struct FrameCase {
    PayloadProfile profile;
    int size;   // payload bytes
    int index;  // frame index
};

std::string frameName(const ::testing::TestParamInfo<FrameCase>& info) {
    const FrameCase& c = info.param;
    return std::string(c.profile == PayloadProfile::Fast ? "Fast" : "Robust") + "_" +
           std::to_string(c.size) + "_bytes_frame_" + std::to_string(c.index);
}

class PackedFrame : public ::testing::TestWithParam<FrameCase> {
  protected:
    void SetUp() override {
        header_ =
            FrameHeader{0xABCDEu ^ uint32_t(GetParam().size), GetParam().size, GetParam().index};
        for (int i = 0; i < kFrameBodyBytes; ++i) body_[i] = uint8_t(i * 73 + GetParam().index);
        RYX::packFrame(GetParam().profile, header_, body_.data(), symbols_.data());
    }
    bool unpacks(PayloadProfile profile, const std::array<int, kFrameMessageSymbols>& symbols) {
        FrameHeader header;
        std::array<uint8_t, kFrameBodyBytes> body{};
        return RYX::unpackFrame(profile, symbols.data(), header, body.data());
    }

    FrameHeader header_;
    std::array<uint8_t, kFrameBodyBytes> body_{};
    std::array<int, kFrameMessageSymbols> symbols_{};
};

TEST_P(PackedFrame, UnpacksToWhatWasPacked) {
    for (int s : symbols_) ASSERT_TRUE(s >= 0 && s < 32);
    FrameHeader header;
    std::array<uint8_t, kFrameBodyBytes> body{};
    ASSERT_TRUE(RYX::unpackFrame(GetParam().profile, symbols_.data(), header, body.data()));
    EXPECT_EQ(header.identity, header_.identity);
    EXPECT_EQ(header.size, header_.size);
    EXPECT_EQ(header.index, header_.index);
    EXPECT_EQ(body, body_);
}

TEST_P(PackedFrame, RefusesEveryOtherValueOfAnySymbol) {
    for (int s = 0; s < kFrameMessageSymbols; ++s) {
        for (int value = 0; value < 32; ++value) {
            if (value == symbols_[s]) continue;
            std::array<int, kFrameMessageSymbols> damaged = symbols_;
            damaged[s] = value;
            EXPECT_FALSE(unpacks(GetParam().profile, damaged)) << "symbol " << s << " = " << value;
        }
    }
}

TEST_P(PackedFrame, RefusesAnySingleFlippedBit) {
    for (int bit = 0; bit < kFrameMessageSymbols * 5; ++bit) {
        std::array<int, kFrameMessageSymbols> damaged = symbols_;
        damaged[bit / 5] ^= 1 << (4 - bit % 5);
        EXPECT_FALSE(unpacks(GetParam().profile, damaged)) << "bit " << bit;
    }
}

TEST_P(PackedFrame, IsRefusedUnderTheOtherProfile) {
    const PayloadProfile other =
        GetParam().profile == PayloadProfile::Fast ? PayloadProfile::Robust : PayloadProfile::Fast;
    EXPECT_FALSE(unpacks(other, symbols_));
}

// Frame indices 0 .. data + parity - 1 of each size, the last of them included.
INSTANTIATE_TEST_SUITE_P(Frames, PackedFrame,
                         ::testing::Values(FrameCase{PayloadProfile::Fast, 1, 0},
                                           FrameCase{PayloadProfile::Robust, 1, 1},
                                           FrameCase{PayloadProfile::Fast, 140, 3},
                                           FrameCase{PayloadProfile::Robust, 140, 2},
                                           FrameCase{PayloadProfile::Fast, 4096, 0},
                                           FrameCase{PayloadProfile::Robust, 4096, 91}),
                         frameName);

struct IndexCase {
    int size;
    int index;
    bool accepted;
};

class FrameIndex : public ::testing::TestWithParam<IndexCase> {};

// A frame whose check matches but whose index lies beyond its payload's frames is refused.
TEST_P(FrameIndex, IsAcceptedOnlyWithinThePayloadsFrames) {
    const IndexCase& c = GetParam();
    std::array<uint8_t, kFrameBodyBytes> body{};
    std::array<int, kFrameMessageSymbols> symbols{};
    RYX::packFrame(PayloadProfile::Fast, FrameHeader{12345u, c.size, c.index}, body.data(),
                   symbols.data());
    FrameHeader header;
    EXPECT_EQ(RYX::unpackFrame(PayloadProfile::Fast, symbols.data(), header, body.data()),
              c.accepted);
}

// 1 byte: 1 + 1 frames; 140: 3 + 1; 1000: 21 + 3; 4096: 82 + 10.
INSTANTIATE_TEST_SUITE_P(Indices, FrameIndex,
                         ::testing::Values(IndexCase{1, 1, true}, IndexCase{1, 2, false},
                                           IndexCase{140, 3, true}, IndexCase{140, 4, false},
                                           IndexCase{1000, 23, true}, IndexCase{1000, 24, false},
                                           IndexCase{4096, 91, true}, IndexCase{4096, 92, false},
                                           IndexCase{4096, 255, false}));

struct CountCase {
    int size;
    int data;
    int parity;
};

class FrameCounts : public ::testing::TestWithParam<CountCase> {};

TEST_P(FrameCounts, LeaveRoomForTheCrcAndOneParityFramePerNine) {
    const int data = RYX::dataFrameCount(GetParam().size);
    EXPECT_EQ(data, GetParam().data);
    EXPECT_EQ(RYX::parityFrameCount(data), GetParam().parity);
}

// 46 bytes and the CRC fill one frame exactly; 47 need a second.
INSTANTIATE_TEST_SUITE_P(Sizes, FrameCounts,
                         ::testing::Values(CountCase{1, 1, 1}, CountCase{46, 1, 1},
                                           CountCase{47, 2, 1}, CountCase{140, 3, 1},
                                           CountCase{446, 9, 1}, CountCase{447, 10, 2},
                                           CountCase{4096, 82, 10}));

}  // namespace
