// The command line of ryxsound-cli, parsed but not yet checked against the core.
#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "ryxsound/ryxsound.hpp"

namespace ryxcli {

// A command line that cannot be run as written; what() says why.
class UsageError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

struct CommandLine {
    std::string command;  // "encode", "decode", "send", "receive", "help" or "version"
    std::vector<std::string> operands;   // encode: the one text; send: the one PATH (or none with
                                         // --text); decode, receive: the files
    std::string output;                  // encode, send: -o / --output; receive: -o DIR
    std::optional<ryxsound::Mode> mode;  // --mode
    std::optional<int> sampleRate;       // encode: --rate, whole Hz within the core's range
    std::optional<std::string> preset;   // --preset
    std::optional<float> customBaseHz;   // --custom-base, Hz
    std::optional<int> customStep;       // --custom-step
    ryxsound::Receiver receiver = ryxsound::Receiver::Robust;  // decode: --receiver
    bool json = false;     // decode, receive: --json, one JSON object per line
    bool resample = true;  // decode, receive: false with --no-resample (only the plan rates
                           // are read)
    std::optional<std::string> text;                        // send: --text, sent as UTF-8
    ryxsound::Profile profile = ryxsound::Profile::Robust;  // send: --profile
    int repeat = 1;  // send: --repeat, at least 1 (the core names its upper limit)
};

// Parses argv (options as "--name value" or "--name=value", anywhere after the command);
// throws UsageError for an unknown command or option, a missing or malformed value, an option
// the command does not take or a wrong number of operands. --rate is checked against the core's
// range here: "--rate 0" -> "--rate: sample rate 0 Hz is outside 1000..1000000 Hz".
CommandLine parseCommandLine(int argc, const char* const* argv);

// The help text: commands, options and exit codes.
const char* usageText();

}  // namespace ryxcli
