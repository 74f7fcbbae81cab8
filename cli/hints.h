// What ryxsound-cli says when a file holds nothing of the kind asked for, worded as the Python
// tool words it: another plan or preset under which it holds that kind, or the other kind and the
// command that hears it.
#pragma once

#include <string>

#include "audio_file.h"
#include "command_line.h"
#include "tool_support.h"

namespace ryxcli {

enum class Kind { Text, Payload };

// The first of: another plan under which the first kHintSeconds of `reader` deliver `kind`
// (" (try --preset phone: it holds hello0123 there)", " (try --mode all: it holds a payload of
// 13 bytes there)"), tried in turn: each preset, mode all, mode custom (its default band), leaving
// out the one asked for and those the rate cannot hold; else the other kind under the plan asked
// for or one of those (" (it holds a payload: try ryxsound-cli receive)", " (it holds a text: try
// ryxsound-cli decode --preset phone)"). "" when none does or the input cannot be read again.
std::string hintFor(AudioReader& reader, const CommandLine& line, const Band& asked, Kind kind);

}  // namespace ryxcli
