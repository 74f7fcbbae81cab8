#include "modes/message_frame.h"

#include "modes/symbol_alphabet.h"

namespace RYX {

int textChecksum(const int* text) {
    int sum = 0;
    for (int i = 0; i < kTextSymbols; ++i) sum += text[i];
    return sum % kSymbolCount;
}

}  // namespace RYX
