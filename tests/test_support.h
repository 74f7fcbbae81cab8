// Small pieces shared by the C++ test suites.
#pragma once

#include "modes/frequency_plan.h"
#include "modes/process_settings.h"

namespace RYX {
namespace test {

// Restores the process-wide settings (custom plan, hop steps, synth volume) when it goes out of
// scope, so a test that changes them leaves no trace.
class SettingsGuard {
public:
    SettingsGuard() : saved_(processSettings()) {}
    ~SettingsGuard() { processSettings() = saved_; }

private:
    ProcessSettings saved_;
};

// A plan's name, for parameterised test names and messages.
inline const char* planName(Plan plan) {
    switch (plan) {
        case Plan::Audible:
            return "audible";
        case Plan::NonAudible:
            return "nonaudible";
        case Plan::Compression:
            return "compression";
        default:
            return "custom";
    }
}

}  // namespace test
}  // namespace RYX
