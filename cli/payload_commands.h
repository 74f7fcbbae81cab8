// The payload commands of ryxsound-cli: send writes 1..4096 bytes as a payload to an audio file,
// receive finds payloads in audio files and prints one line for each, as the Python tool does.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "command_line.h"

namespace ryxcli {

// Both throw BadInput, UsageError or AudioFileError for what they refuse; return the exit code.
int sendCommand(const CommandLine& line);
int receiveCommand(const CommandLine& line);

// The payload as a JSON string ("say \"hi\"\\n", UTF-8 kept) when its bytes are valid UTF-8
// without control characters (below 0x20, 0x7F, U+0080..U+009F) other than tab, line feed and
// carriage return, which the string escapes; else "-".
std::string shownPayload(const std::vector<uint8_t>& data);

}  // namespace ryxcli
