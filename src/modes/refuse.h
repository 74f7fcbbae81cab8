// The one way the core refuses, at construction, what it cannot do: std::invalid_argument with
// the reason (worded by phrase). A build without exceptions (the web module and the Cortex-M4
// build, whose C interfaces ask the same checks before they build anything, so no refusal is
// reached) stops the program there instead.
#pragma once

#include <string>

namespace RYX {

[[noreturn]] void refuse(const std::string& reason);

}  // namespace RYX
