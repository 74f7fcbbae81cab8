// The module's snprintf, in place of the C library's: every message of the core is written with
// RYX::phrase, except the frequencies of src/decoder/robust_receiver.cpp ("%g Hz"), for which the
// C library's printf would add 7.6 KB. This one is phrase, with its conversions. Once
// robust_receiver.cpp uses phrase, this file goes.
#include <cstdarg>
#include <cstddef>
#include <cstring>
#include <string>

#include "modes/phrase.h"

extern "C" int snprintf(char* out, size_t size, const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    const std::string text = RYX::phraseOf(format, arguments);
    va_end(arguments);
    if (size > 0) {
        const size_t n = text.size() < size - 1 ? text.size() : size - 1;
        std::memcpy(out, text.data(), n);
        out[n] = '\0';
    }
    return static_cast<int>(text.size());
}
