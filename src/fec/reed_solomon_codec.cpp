#include "fec/reed_solomon_codec.h"

#include <algorithm>

namespace RYX {
namespace {

constexpr int kSymbolMask = (1 << ReedSolomonCodec::kSymbolBits) - 1;  // 31
// x^5 + x^2 + 1 without its x^5 term: alpha^4 = 16 shifted gives 32, which folds to 4 ^ 1 = 5.
constexpr int kPrimitiveLow = 0x05;

int clampLength(int count) {
    return std::clamp(count, 0, ReedSolomonCodec::kDataLength);
}

}  // namespace

ReedSolomonCodec::ReedSolomonCodec() {
    // Antilog and log tables: alpha^0 = 1, each step multiplies by alpha = x.
    int element = 1;
    for (int i = 0; i < kCodeLength; ++i) {
        antilog_[i] = element;
        log_[element] = i;
        element <<= 1;
        if (element & (1 << kSymbolBits)) element = (element & kSymbolMask) ^ kPrimitiveLow;
    }
    antilog_[kCodeLength] = 0;
    log_[0] = -1;
    // Every product, so that decoding (a few thousand multiplications a word) looks each up once.
    for (int a = 0; a <= kSymbolMask; ++a) {
        for (int b = 0; b <= kSymbolMask; ++b) {
            product_[static_cast<size_t>(a << kSymbolBits | b)] = static_cast<uint8_t>(
                a == 0 || b == 0 ? 0 : antilog_[(log_[a] + log_[b]) % kCodeLength]);
        }
    }

    // g(x) = (x + alpha)(x + alpha^2) ... (x + alpha^8), built one factor at a time.
    generator_.fill(0);
    generator_[0] = antilog_[1];
    generator_[1] = 1;
    for (int i = 2; i <= kParityLength; ++i) {
        const int root = antilog_[i];
        generator_[i] = generator_[i - 1];
        for (int j = i - 1; j >= 1; --j) {
            generator_[j] = generator_[j - 1] ^ mul(generator_[j], root);
        }
        generator_[0] = mul(generator_[0], root);
    }
}

int ReedSolomonCodec::mul(int a, int b) const {
    return product_[static_cast<size_t>((a & kSymbolMask) << kSymbolBits | (b & kSymbolMask))];
}

int ReedSolomonCodec::div(int a, int b) const {
    if (a == 0 || b == 0) return 0;
    return antilog_[(log_[a] - log_[b] + kCodeLength) % kCodeLength];
}

int ReedSolomonCodec::evaluate(const int* poly, int degree, int x) const {
    int sum = 0;
    for (int i = degree; i >= 0; --i) sum = mul(sum, x) ^ poly[i];
    return sum;
}

void ReedSolomonCodec::setMessageLength(int length) {
    messageLength_ = clampLength(length);
}

void ReedSolomonCodec::setMessage(const int* symbols, int count) {
    const int length = symbols ? clampLength(count) : 0;
    messageLength_ = length;
    data_.fill(0);
    for (int i = 0; i < length; ++i) data_[i] = symbols[i] & kSymbolMask;
}

void ReedSolomonCodec::computeParity() {
    // Shift register over the parity cells: each data symbol, highest position first, feeds back
    // (symbol + top cell) times g(x) into the cells shifted up by one.
    parity_.fill(0);
    for (int i = kDataLength - 1; i >= 0; --i) {
        const int feedback = data_[i] ^ parity_[kParityLength - 1];
        for (int j = kParityLength - 1; j >= 1; --j) {
            parity_[j] = parity_[j - 1] ^ mul(generator_[j], feedback);
        }
        parity_[0] = mul(generator_[0], feedback);
    }
}

int ReedSolomonCodec::getCodeword(int* out) const {
    const int count = messageLength_ + kParityLength;
    if (!out) return count;
    for (int i = 0; i < messageLength_; ++i) out[i] = data_[i];
    for (int j = 0; j < kParityLength; ++j) out[messageLength_ + j] = parity_[j];
    return count;
}

void ReedSolomonCodec::setReceived(const int* symbols, int count) {
    const int available = symbols ? std::max(count, 0) : 0;
    received_.fill(0);
    for (int j = 0; j < kParityLength; ++j) {
        const int index = messageLength_ + j;
        if (index < available) received_[j] = symbols[index] & kSymbolMask;
    }
    for (int i = 0; i < messageLength_; ++i) {
        if (i < available) received_[kParityLength + i] = symbols[i] & kSymbolMask;
    }
}

bool ReedSolomonCodec::decode() {
    // 1. Syndromes S_j = r(alpha^j), j = 1..8.
    bool clean = true;
    syndrome_[0] = 0;
    for (int j = 1; j <= kParityLength; ++j) {
        syndrome_[j] = evaluate(received_.data(), kCodeLength - 1, antilog_[j]);
        if (syndrome_[j] != 0) clean = false;
    }
    if (clean) return true;

    // 2. Berlekamp's table. Row u holds sigma^(u), its discrepancy d_u, degree l_u and u - l_u.
    auto& sigma = locator_;
    auto& d = discrepancy_;
    auto& l = degree_;
    auto& ul = stepMinusDegree_;
    for (auto& row : sigma) row.fill(0);
    sigma[0][0] = 1;
    d[0] = 1;
    l[0] = 0;
    ul[0] = -1;
    sigma[1][0] = 1;
    d[1] = syndrome_[1];
    l[1] = 0;
    ul[1] = 0;

    int u = 0;
    do {
        ++u;
        sigma[u + 1] = sigma[u];
        if (d[u] == 0) {
            l[u + 1] = l[u];
        } else {
            // Latest earlier row with a non-zero discrepancy, then any earlier one whose u - l is
            // strictly larger (ties keep the later row).
            int q = u - 1;
            while (q > 0 && d[q] == 0) --q;
            for (int j = q - 1; j >= 0; --j) {
                if (d[j] != 0 && ul[j] > ul[q]) q = j;
            }
            l[u + 1] = std::max(l[u], l[q] + u - q);
            // sigma^(u+1) = sigma^(u) + (d_u / d_q) x^(u-q) sigma^(q). Every kept row has degree
            // <= 4 and u - q <= 8, so the shifted terms stay below kLocatorWidth.
            const int factor = div(d[u], d[q]);
            for (int i = 0; i <= l[q]; ++i) sigma[u + 1][i + u - q] ^= mul(factor, sigma[q][i]);
        }
        ul[u + 1] = u - l[u + 1];
        if (u < kParityLength && l[u + 1] <= kCorrectable) {
            int next = syndrome_[u + 1];
            for (int i = 1; i <= l[u + 1] && i <= u; ++i) {
                next ^= mul(syndrome_[u + 1 - i], sigma[u + 1][i]);
            }
            d[u + 1] = next;
        }
    } while (u < kParityLength && l[u + 1] <= kCorrectable);
    ++u;
    const int degree = l[u];

    // 3. More than four errors: leave the word as received.
    if (degree > kCorrectable) return false;
    const int* locator = sigma[u].data();

    // 4. Chien search: a root alpha^i marks an error at code position 31 - i.
    int rootCount = 0;
    for (int i = 1; i <= kCodeLength; ++i) {
        if (evaluate(locator, degree, power(i)) == 0) {
            if (rootCount < kCorrectable) roots_[rootCount] = i;
            ++rootCount;
        }
    }

    // 5. A locator whose roots do not all lie in the field: uncorrectable.
    if (rootCount != degree) return false;

    // 6. Forney: z_i = S_i + sigma_i + sum_{j=1..i-1} S_j sigma_(i-j).
    for (int i = 1; i <= degree; ++i) {
        int z = syndrome_[i] ^ locator[i];
        for (int j = 1; j < i; ++j) z ^= mul(syndrome_[j], locator[i - j]);
        evaluator_[i] = z;
    }
    bool inTransmission = true;
    for (int k = 0; k < rootCount; ++k) {
        const int root = roots_[k];
        int numerator = 1;
        for (int j = 1; j <= degree; ++j) numerator ^= mul(evaluator_[j], power(j * root));
        if (numerator == 0) continue;
        int denominator = 1;
        for (int m = 0; m < rootCount; ++m) {
            if (m == k) continue;
            denominator = mul(denominator, 1 ^ power(kCodeLength - roots_[m] + root));
        }
        if (denominator == 0) continue;  // distinct roots never give 0; kept for safety
        received_[kCodeLength - root] ^= div(numerator, denominator);
        if (kCodeLength - root >= kParityLength + messageLength_) inTransmission = false;
    }
    return inTransmission;
}

int ReedSolomonCodec::getMessage(int* out) const {
    if (!out) return messageLength_;
    for (int i = 0; i < messageLength_; ++i) out[i] = received_[kParityLength + i];
    return messageLength_;
}

bool ReedSolomonCodec::decodeWithErasures(const int* erased, int count) {
    // Polynomials here have at most 2 x 8 + 1 coefficients: products of degree-8 factors.
    constexpr int kWidth = 2 * kParityLength + 2;
    using Poly = std::array<int, kWidth>;
    correctedMask_ = 0;
    const int span = messageLength_ + kParityLength;
    auto codePosition = [this](int index) {
        return index < messageLength_ ? kParityLength + index : index - messageLength_;
    };

    // 1. Erasure positions (code positions), without repeats.
    std::array<int, kParityLength> erasures{};
    int f = 0;
    for (int i = 0; erased && i < count && f < kParityLength; ++i) {
        if (erased[i] < 0 || erased[i] >= span) continue;
        const int position = codePosition(erased[i]);
        if (std::find(erasures.begin(), erasures.begin() + f, position) != erasures.begin() + f) {
            continue;
        }
        erasures[f++] = position;
    }

    // 2. Syndromes S_j = r(alpha^j), j = 1..8.
    std::array<int, kParityLength + 1> s{};
    bool clean = true;
    for (int j = 1; j <= kParityLength; ++j) {
        s[j] = evaluate(received_.data(), kCodeLength - 1, antilog_[j]);
        if (s[j] != 0) clean = false;
    }
    if (clean) return true;

    // 3. Berlekamp-Massey started from the erasure locator prod (1 + X_k x), X_k = alpha^pos.
    Poly lambda{};
    lambda[0] = 1;
    for (int k = 0; k < f; ++k) {
        const int x = power(erasures[k]);
        for (int i = k + 1; i >= 1; --i) lambda[i] ^= mul(x, lambda[i - 1]);
    }
    Poly previous = lambda;
    int errors = 0;
    for (int r = f + 1; r <= kParityLength; ++r) {
        int delta = 0;
        for (int i = 0; i < r; ++i) delta ^= mul(lambda[i], s[r - i]);
        Poly shifted{};  // x times previous
        for (int i = kWidth - 1; i >= 1; --i) shifted[i] = previous[i - 1];
        if (delta == 0) {
            previous = shifted;
            continue;
        }
        Poly next = lambda;
        for (int i = 0; i < kWidth; ++i) next[i] ^= mul(delta, shifted[i]);
        if (2 * errors <= r - 1 - f) {
            for (int i = 0; i < kWidth; ++i) previous[i] = div(lambda[i], delta);
            errors = r - f - errors;
        } else {
            previous = shifted;
        }
        lambda = next;
    }
    int degree = kWidth - 1;
    while (degree > 0 && lambda[degree] == 0) --degree;
    if (degree != errors + f || 2 * errors + f > kParityLength) return false;

    // 4. Chien search over the transmitted positions; every root must lie there.
    std::array<int, kParityLength> positions{};
    int found = 0;
    for (int position = 0; position < kCodeLength; ++position) {
        if (evaluate(lambda.data(), degree, power(kCodeLength - position)) != 0) continue;
        if (position >= span || found == kParityLength) return false;
        positions[found++] = position;
    }
    if (found != degree) return false;

    // 5. Forney: e = Omega(X^-1) / Lambda'(X^-1), Omega = S(x) Lambda(x) mod x^8.
    Poly omega{};
    for (int i = 0; i < kParityLength; ++i) {
        for (int j = 0; j <= i && j <= degree; ++j) omega[i] ^= mul(s[i - j + 1], lambda[j]);
    }
    std::array<int, kCodeLength> corrected = received_;
    for (int k = 0; k < found; ++k) {
        const int inverse = power(kCodeLength - positions[k]);
        int derivative = 0;  // odd terms only: the formal derivative in characteristic 2
        int term = 1;        // inverse^(i - 1)
        for (int i = 1; i <= degree; ++i) {
            if (i % 2 == 1) derivative ^= mul(lambda[i], term);
            term = mul(term, inverse);
        }
        if (derivative == 0) return false;
        const int value = evaluate(omega.data(), kParityLength - 1, inverse);
        corrected[positions[k]] ^= div(value, derivative);
    }

    // 6. Accept only a codeword.
    for (int j = 1; j <= kParityLength; ++j) {
        if (evaluate(corrected.data(), kCodeLength - 1, antilog_[j]) != 0) return false;
    }
    for (int index = 0; index < span; ++index) {
        const int position = codePosition(index);
        if (corrected[position] != received_[position]) correctedMask_ |= 1u << index;
    }
    received_ = corrected;
    return true;
}

}  // namespace RYX
