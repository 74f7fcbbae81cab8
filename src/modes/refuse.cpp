#include "modes/refuse.h"

#include <cstdlib>
#include <stdexcept>

namespace RYX {

void refuse(const std::string& reason) {
#if defined(__cpp_exceptions)
    throw std::invalid_argument(reason);
#else
    static_cast<void>(reason);
    std::abort();
#endif
}

}  // namespace RYX
