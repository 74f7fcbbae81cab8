#include "modes/phrase.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>
#include <string_view>

namespace RYX {
namespace {

// What the C library writes for "%g": the messages read exactly as they did with snprintf.
std::string printfG(double value) {
    char text[64];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

double fromBits(uint64_t bits) {
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

class NumberAsPrintf : public ::testing::TestWithParam<double> {};

TEST_P(NumberAsPrintf, WritesWhatPrintfWrites) {
    EXPECT_EQ(phrase("%g", GetParam()), printfG(GetParam()));
}

// Rates and frequencies of the messages, both styles and their border (exponents -5, -4, 5, 6),
// exact halves that round to the even digit, carries through nines, the extremes of double and
// float, zeros, infinities and NaNs of both signs.
INSTANTIATE_TEST_SUITE_P(
    Phrase, NumberAsPrintf,
    ::testing::Values(44100.0, 48000.0, 22050.0, 8000.0, 1000.0, 1e6, 390000.0, 3600.0,
                      9840.6708984375, 2637.0204553029, 258.3984375, 21.533203125, 0.5, 1.5, 2.5,
                      123456.5, 123457.5, 1234565.0, 1234575.0, 999999.5, 999998.5, 9999995.0,
                      0.000099999995, 0.0001, 0.00001, 0.000123456789, 100000.0, 999999.0,
                      1000000.0, 1234567.0, 1.0995116e12, 1099511627776.0, 1e300, 1e-300, DBL_MAX,
                      DBL_MIN, DBL_TRUE_MIN, FLT_MAX, FLT_MIN, FLT_TRUE_MIN, -1.0, -0.0, 0.0, -3.0,
                      -1e-7, 4096.0, static_cast<double>(LLONG_MAX),
                      std::numeric_limits<double>::infinity(),
                      -std::numeric_limits<double>::infinity(), std::nan(""), -std::nan(""),
                      fromBits(0x7ff0000000000001ull), fromBits(0xfff8000000000000ull)));

TEST(Phrase, NumbersOfEveryMagnitudeAsPrintf) {
    std::mt19937_64 random(20240611);
    for (int i = 0; i < 100000; ++i) {
        const uint64_t bits = random();
        // Any double, and any float (the messages' rates and frequencies are floats).
        const double anyDouble = fromBits(bits);
        const uint32_t high = static_cast<uint32_t>(bits >> 32);
        float anyFloat;
        std::memcpy(&anyFloat, &high, sizeof anyFloat);
        ASSERT_EQ(phrase("%g", anyDouble), printfG(anyDouble)) << bits;
        ASSERT_EQ(phrase("%g", anyFloat), printfG(anyFloat)) << bits;
    }
}

TEST(Phrase, IntegersAndTextAsPrintf) {
    char expected[200];
    std::snprintf(expected, sizeof expected, "%d %d %d %zu %zu %s%% done", INT_MIN, INT_MAX, -7,
                  size_t{0}, SIZE_MAX, "text");
    EXPECT_EQ(
        phrase("%d %d %d %zu %zu %s%% done", INT_MIN, INT_MAX, -7, size_t{0}, SIZE_MAX, "text"),
        expected);
    EXPECT_EQ(phrase("no conversion"), "no conversion");
}

TEST(Phrase, TextOfALengthKeepsEveryByte) {
    const std::string_view text("a\0b", 3);
    EXPECT_EQ(phrase("'%.*s'", lengthOf(text), text.data()), std::string("'a\0b'", 5));
}

struct RateCase {
    double rate;
    const char* shown;
};

class RateOutsideRange : public ::testing::TestWithParam<RateCase> {};

// Whole rates in full, whatever their size within int; others as %g writes them.
TEST_P(RateOutsideRange, NamesTheRangeInWholeHertz) {
    EXPECT_EQ(rateOutsideRange(GetParam().rate),
              std::string("sample rate ") + GetParam().shown + " Hz is outside 1000..1000000 Hz");
}

INSTANTIATE_TEST_SUITE_P(
    Phrase, RateOutsideRange,
    ::testing::Values(RateCase{0.0, "0"}, RateCase{-44100.0, "-44100"}, RateCase{2e6, "2000000"},
                      RateCase{1e9, "1000000000"}, RateCase{999.5, "999.5"},
                      RateCase{1e12, "1e+12"}, RateCase{std::nan(""), "nan"},
                      RateCase{-std::numeric_limits<double>::infinity(), "-inf"}));

}  // namespace
}  // namespace RYX
