#include "modes/phrase.h"

#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "modes/tuning.h"

namespace RYX {
namespace {

constexpr uint32_t kLimb = 1000000000;  // nine decimal digits
constexpr int kPrecision = 6;           // %g's significant digits

void appendUnsigned(std::string& out, unsigned long long value) {
    char text[20];
    char* at = text + sizeof text;
    do {
        *--at = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    out.append(at, static_cast<size_t>(text + sizeof text - at));
}

// The decimal digits of significand x 2^binary (not 0), most significant first, into `digits`;
// returns their count (at most 767, for 2^53 x 5^1074: 2^-1074 is 5^1074 / 10^1074) and sets
// *exponent to the power of ten of the first. Exact: the number is held in base 10^9.
int exactDigits(uint64_t significand, int binary, char* digits, int* exponent) {
    uint32_t limb[86];
    int count = 0;
    int last = 0;  // the power of ten of the last digit
    for (; significand != 0; significand /= kLimb) {
        limb[count++] = static_cast<uint32_t>(significand % kLimb);
    }
    while (binary != 0) {
        // Times 2^step, or times 5^step with the point moved step digits; either factor is below
        // 10^9, so a carry fits a limb.
        const int step = binary > 0 ? (binary < 29 ? binary : 29) : (-binary < 12 ? -binary : 12);
        uint32_t factor = 1;
        for (int k = 0; k < step; ++k) factor *= binary > 0 ? 2 : 5;
        uint64_t carry = 0;
        for (int i = 0; i < count; ++i) {
            const uint64_t x = uint64_t{limb[i]} * factor + carry;
            limb[i] = static_cast<uint32_t>(x % kLimb);
            carry = x / kLimb;
        }
        if (carry != 0) limb[count++] = static_cast<uint32_t>(carry);
        if (binary < 0) last -= step;
        binary += binary > 0 ? -step : step;
    }
    // Nine digits a limb, then the leading zeros of the highest (which is not 0) dropped.
    char* at = digits;
    for (int i = count - 1; i >= 0; --i, at += 9) {
        uint32_t v = limb[i];
        for (int k = 8; k >= 0; --k, v /= 10) at[k] = static_cast<char>('0' + v % 10);
    }
    int lead = 0;
    while (digits[lead] == '0') ++lead;
    const int n = 9 * count - lead;
    std::memmove(digits, digits + lead, static_cast<size_t>(n));
    *exponent = last + n - 1;
    return n;
}

// `value` as %g writes it.
void appendNumber(std::string& out, double value) {
    uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    if (bits >> 63) out += '-';
    const int biased = static_cast<int>(bits >> 52) & 0x7ff;
    uint64_t significand = bits & ((uint64_t{1} << 52) - 1);
    if (biased == 0x7ff) {
        out += significand != 0 ? "nan" : "inf";
        return;
    }
    if (biased == 0 && significand == 0) {
        out += '0';
        return;
    }
    if (biased != 0) significand |= uint64_t{1} << 52;
    char digits[774];
    int exponent;  // of the first digit
    int n = exactDigits(significand, (biased != 0 ? biased : 1) - 1075, digits, &exponent);

    // Six significant digits, an exact half going to the even digit as printf rounds.
    if (n > kPrecision) {
        bool beyondHalf = false;
        for (int i = kPrecision + 1; i < n; ++i) beyondHalf |= digits[i] != '0';
        const char next = digits[kPrecision];
        n = kPrecision;
        if (next > '5' || (next == '5' && (beyondHalf || (digits[n - 1] & 1)))) {
            int i = n - 1;
            for (; i >= 0 && digits[i] == '9'; --i) digits[i] = '0';
            if (i >= 0) {
                ++digits[i];
            } else {
                digits[0] = '1';
                ++exponent;
            }
        }
    }
    while (n > 1 && digits[n - 1] == '0') --n;

    if (exponent < -4 || exponent >= kPrecision) {  // d.ddddde+XX
        out += digits[0];
        if (n > 1) out.append(".").append(digits + 1, static_cast<size_t>(n - 1));
        out += exponent < 0 ? "e-" : "e+";
        if (exponent > -10 && exponent < 10) out += '0';
        appendUnsigned(out, static_cast<unsigned>(exponent < 0 ? -exponent : exponent));
        return;
    }
    // The digits with the point after the units digit, zeros where there are none.
    for (int i = exponent < 0 ? exponent : 0; i < n || i <= exponent; ++i) {
        if (i == exponent + 1) out += '.';
        out += i >= 0 && i < n ? digits[i] : '0';
    }
}

}  // namespace

std::string phraseOf(const char* format, va_list arguments) {
    std::string out;
    for (const char* f = format; *f != '\0'; ++f) {
        const char* percent = std::strchr(f, '%');
        if (percent == nullptr) return out.append(f);
        out.append(f, static_cast<size_t>(percent - f));
        f = percent + 1;
        if (*f == '%') {
            out += '%';
        } else if (*f == 'd') {
            const int v = va_arg(arguments, int);
            if (v < 0) out += '-';
            appendUnsigned(out, v < 0 ? 0ull - static_cast<unsigned long long>(v)
                                      : static_cast<unsigned long long>(v));
        } else if (f[0] == 'z' && f[1] == 'u') {
            appendUnsigned(out, va_arg(arguments, size_t));
            ++f;
        } else if (*f == 'g') {
            appendNumber(out, va_arg(arguments, double));
        } else if (*f == 's') {
            out += va_arg(arguments, const char*);
        } else if (std::strncmp(f, ".*s", 3) == 0) {
            const int length = va_arg(arguments, int);
            out.append(va_arg(arguments, const char*), static_cast<size_t>(length));
            f += 2;
        } else {
            std::abort();
        }
    }
    return out;
}

std::string rateOutsideRange(double sampleRate) {
    const bool whole =
        sampleRate >= INT_MIN && sampleRate <= INT_MAX && sampleRate == std::floor(sampleRate);
    const std::string rate =
        whole ? phrase("%d", static_cast<int>(sampleRate)) : phrase("%g", sampleRate);
    return phrase("sample rate %s Hz is outside %d..%d Hz", rate.c_str(),
                  static_cast<int>(kMinSampleRate), static_cast<int>(kMaxSampleRate));
}

std::string phrase(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    std::string out = phraseOf(format, arguments);
    va_end(arguments);
    return out;
}

}  // namespace RYX
