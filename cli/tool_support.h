// What the commands of ryxsound-cli share: exit codes, the one-line reports on stderr, the plan a
// command line chooses and the rate it is made or heard at, and reading a file at that rate.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "audio_file.h"
#include "command_line.h"
#include "resampler.h"
#include "ryxsound/ryxsound.hpp"

namespace ryxcli {

constexpr int kExitOk = 0;
constexpr int kExitNothing = 1;
constexpr int kExitBadInput = 2;
constexpr int kExitFailure = 3;

constexpr double kLeadSeconds = 0.25;  // silence around what encode and send write

// Input the tool refuses: one line on stderr, exit 2.
class BadInput : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// One line on stderr after what stdout holds so far, so that both keep their order in one log:
// "ryxsound-cli: " + kind + message.
void say(const char* kind, const std::string& message);
void error(const std::string& message);
void warning(const std::string& message);

struct Band {
    ryxsound::Mode mode;
    ryxsound::CustomBand custom;
    const ryxsound::Preset* preset;  // the preset that set mode and band, or null
};

// The mode and custom band of the command line: a preset's, or --mode (default `fallback`)
// with --custom-base and --custom-step, which apply to the custom mode only.
Band bandOf(const CommandLine& line, ryxsound::Mode fallback);
// "preset phone" or "mode audible".
std::string bandName(const Band& band);

// The rate the band's plans are made or analysed at for audio at fileRate (ryxsound::planRate:
// 96000 -> 48000 Hz, 44100 -> 44100 Hz). `sending` asks for mode all as the non-audible plan it
// sends. Throws BadInput, prefixed by `where`, when audio at fileRate cannot hold the plan.
float planRateOf(const Band& band, int fileRate, bool sending, const std::string& where);

// The same for payloads (ryxsound::payloadRate), which ask their own band of the rate: made in
// `profile`, or heard (null) in either.
float payloadRateOf(const Band& band, int fileRate, const ryxsound::Profile* profile,
                    const std::string& where);

// The receive rate for audio at fileRate: the plan rate of the band's texts (of its payloads with
// `payloads`), or with --no-resample the file's own rate, which must then be the plan rate.
// Throws BadInput naming the file otherwise.
float receiveRate(const Band& band, int fileRate, bool resample, const std::string& path,
                  bool payloads = false);

// Feeds the next at most maxFrames frames of `reader` (from where it stands), converted block by
// block from the file's rate to runRate, to `sink`, then the converter's last samples; returns
// the frames read.
int64_t streamAudio(AudioReader& reader, float runRate, int64_t maxFrames,
                    const Resampler::Sink& sink);

// A sample offset at runRate as a frame of the file at fileRate, within 0..frames.
int64_t fileOffset(int64_t at, float runRate, int fileRate, int64_t frames);

// The messages, or the payloads, of the next at most maxFrames frames of `reader` (from where it
// stands), heard at runRate, the plan rate of `band`; offsets counted in the file's frames.
std::vector<ryxsound::Message> decodeTexts(AudioReader& reader, const Band& band, float runRate,
                                           ryxsound::Receiver receiver, int64_t maxFrames);
std::vector<ryxsound::Payload> decodePayloads(AudioReader& reader, const Band& band, float runRate,
                                              int64_t maxFrames);

// "path: " before each line when several files are read, padded so that the lines of all of
// them line up (in characters, as the Python tool pads them); "" for one file.
std::vector<std::string> filePrefixes(const std::vector<std::string>& paths);

// JSON as the Python tool writes it: a string with json.dumps's escapes (UTF-8 kept), and a
// number rounded to `decimals` places, written as Python writes the rounded float ("1.0",
// "0.2496").
std::string jsonString(const std::string& text);
std::string jsonNumber(double value, int decimals);

// Samples made at planRate, converted to fileRate, between kLeadSeconds of silence.
std::vector<float> withLeadSilence(const std::vector<float>& made, float planRate, int fileRate);

// The warning for a WAV file that holds less than its header declares.
void warnIfCutOff(const AudioReader& reader, const std::string& path);

}  // namespace ryxcli
