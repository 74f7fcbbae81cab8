// Small pieces shared by the C++ test suites.
#pragma once

#include "modes/frequency_plan.h"
#include "ryxsound/ryxsound.hpp"

namespace RYX {
namespace test {

// A plan's name, for parameterised test names and messages: the public interface's name.
inline const char* planName(Plan plan) {
    return ryxsound::planName(static_cast<ryxsound::Plan>(plan));
}

}  // namespace test
}  // namespace RYX
