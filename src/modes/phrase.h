// The wording of every error message, formatted as printf formats it for the conversions the
// messages use: %d (int), %zu (size_t), %g (double: six significant digits, correctly rounded,
// 44100, 2637.02, 1e+06, inf, -nan), %s (a C string), %.*s (a length and its bytes, any of them
// NUL) and %%. Built without the C library's printf, whose machinery is most of what the messages
// would cost the web module; any other conversion stops the program.
//
//   phrase("unknown mode %d: use 2..6", 9)          -> "unknown mode 9: use 2..6"
//   phrase("rate %g Hz is too low", 8000.5)         -> "rate 8000.5 Hz is too low"
//   phrase("unknown name '%.*s'", lengthOf(name), name.data())
#pragma once

#include <climits>
#include <cstdarg>
#include <string>
#include <string_view>

namespace RYX {

std::string phrase(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string phraseOf(const char* format, va_list arguments);

// The one wording of a sample rate outside the range every object accepts, the rate written whole
// when it is a whole number: "sample rate 2000000 Hz is outside 1000..1000000 Hz".
std::string rateOutsideRange(double sampleRate);

// The length of `text` for %.*s (texts beyond INT_MAX bytes are cut there).
inline int lengthOf(std::string_view text) {
    return text.size() < static_cast<size_t>(INT_MAX) ? static_cast<int>(text.size()) : INT_MAX;
}

}  // namespace RYX
