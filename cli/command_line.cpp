#include "command_line.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <string_view>

namespace ryxcli {
namespace {

// The options each command takes with a value.
bool takes(const std::string& command, std::string_view option) {
    const bool both = option == "--mode" || option == "--preset" || option == "--custom-base" ||
                      option == "--custom-step";
    const bool sending = both || option == "--output" || option == "--rate";
    if (command == "encode") return sending;
    if (command == "send") {
        return sending || option == "--text" || option == "--profile" || option == "--repeat";
    }
    if (command == "receive") return both || option == "--output";
    return both || option == "--receiver";
}

double number(std::string_view option, const std::string& text) {
    errno = 0;
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || errno != 0 || !std::isfinite(value)) {
        throw UsageError(std::string(option) + ": not a number: '" + text + "'");
    }
    return value;
}

// The float nearest to `value`, infinite beyond the float range (where a cast is undefined).
float toFloat(double value) {
    if (std::fabs(value) <= std::numeric_limits<float>::max()) return static_cast<float>(value);
    return std::copysign(std::numeric_limits<float>::infinity(), value);
}

int wholeNumber(std::string_view option, const std::string& text) {
    const double value = number(option, text);
    if (value != std::floor(value) || std::fabs(value) > 1e9) {
        throw UsageError(std::string(option) + ": not a whole number: '" + text + "'");
    }
    return static_cast<int>(value);
}

void store(CommandLine& line, std::string_view option, const std::string& value) {
    if (option == "--output") {
        line.output = value;
    } else if (option == "--mode") {
        // A name or, as the modes are numbered, 2..6.
        const bool numbered =
            !value.empty() && value.size() <= 2 &&
            std::all_of(value.begin(), value.end(), [](char c) { return c >= '0' && c <= '9'; });
        try {
            line.mode = numbered ? ryxsound::modeFromNumber(std::stoi(value))
                                 : ryxsound::modeFromName(value);
        } catch (const std::invalid_argument& e) {
            throw UsageError(std::string("--mode: ") + e.what());
        }
    } else if (option == "--rate") {
        const double rate = number(option, value);
        if (rate != std::floor(rate)) {
            throw UsageError("--rate: sample rate must be a whole number of Hz: '" + value + "'");
        }
        try {
            ryxsound::checkSampleRate(toFloat(rate));
        } catch (const std::invalid_argument& e) {
            throw UsageError(std::string("--rate: ") + e.what());
        }
        line.sampleRate = static_cast<int>(rate);
    } else if (option == "--preset") {
        line.preset = value;
    } else if (option == "--custom-base") {
        line.customBaseHz = toFloat(number(option, value));
    } else if (option == "--custom-step") {
        line.customStep = wholeNumber(option, value);
    } else if (option == "--text") {
        line.text = value;
    } else if (option == "--profile") {
        try {
            line.profile = ryxsound::profileFromName(value);
        } catch (const std::invalid_argument& e) {
            throw UsageError(std::string("--profile: ") + e.what());
        }
    } else if (option == "--repeat") {
        line.repeat = wholeNumber(option, value);
        if (line.repeat < 1) throw UsageError("--repeat: must be at least 1: '" + value + "'");
    } else {  // --receiver
        try {
            line.receiver = ryxsound::receiverFromName(value);
        } catch (const std::invalid_argument& e) {
            throw UsageError(std::string("--receiver: ") + e.what());
        }
    }
}

}  // namespace

CommandLine parseCommandLine(int argc, const char* const* argv) {
    CommandLine line;
    if (argc < 2) throw UsageError("no command given");
    line.command = argv[1];
    if (line.command == "-h" || line.command == "--help") line.command = "help";
    if (line.command == "--version") line.command = "version";
    if (line.command == "help" || line.command == "version") {
        if (argc > 2) throw UsageError(line.command + " takes no arguments");
        return line;
    }
    const bool reading = line.command == "decode" || line.command == "receive";
    if (!reading && line.command != "encode" && line.command != "send") {
        throw UsageError("unknown command '" + line.command +
                         "': use encode, decode, send or receive");
    }
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg.size() < 2 || arg[0] != '-') {
            line.operands.push_back(arg);
            continue;
        }
        std::string option = arg;
        std::optional<std::string> value;
        const size_t equals = arg.find('=');
        if (arg.rfind("--", 0) == 0 && equals != std::string::npos) {
            option = arg.substr(0, equals);
            value = arg.substr(equals + 1);
        }
        if (option == "-o") option = "--output";
        if (option == "--no-resample" && reading) {
            if (value) throw UsageError("--no-resample takes no value");
            line.resample = false;
            continue;
        }
        if (option == "--json" && reading) {
            if (value) throw UsageError("--json takes no value");
            line.json = true;
            continue;
        }
        if (!takes(line.command, option)) {
            throw UsageError(line.command + " takes no option '" + option + "'");
        }
        if (!value) {
            if (i + 1 >= argc) throw UsageError(option + " needs a value");
            value = argv[++i];
        }
        store(line, option, *value);
    }
    if (line.command == "encode") {
        if (line.operands.size() != 1) throw UsageError("encode takes exactly one TEXT");
        if (line.output.empty()) throw UsageError("encode needs -o OUT.wav");
    } else if (line.command == "send") {
        if (line.text && !line.operands.empty())
            throw UsageError("send takes PATH or --text, not both");
        if (!line.text && line.operands.size() != 1) {
            throw UsageError("send takes exactly one PATH (- for standard input) or --text");
        }
        if (line.output.empty()) throw UsageError("send needs -o OUT.wav");
    } else if (line.operands.empty()) {
        throw UsageError(line.command + " needs at least one FILE");
    }
    return line;
}

const char* usageText() {
    return "usage: ryxsound-cli encode TEXT -o OUT.wav [--mode M] [--rate R] [--preset P]\n"
           "                           [--custom-base HZ] [--custom-step N]\n"
           "       ryxsound-cli decode FILE... [--mode M] [--receiver robust|standard]\n"
           "                           [--preset P] [--custom-base HZ] [--custom-step N]\n"
           "                           [--no-resample] [--json]\n"
           "       ryxsound-cli send PATH|--text TEXT -o OUT.wav [--profile fast|robust]\n"
           "                           [--mode M] [--rate R] [--preset P] [--repeat N]\n"
           "                           [--custom-base HZ] [--custom-step N]\n"
           "       ryxsound-cli receive FILE... [-o DIR] [--mode M] [--preset P]\n"
           "                           [--custom-base HZ] [--custom-step N] [--no-resample]\n"
           "                           [--json]\n"
           "       ryxsound-cli --help | --version\n"
           "\n"
           "encode  writes TEXT (nine base-32 characters, 0-9 and a-v) as tones to a 16-bit\n"
           "        WAV (or .flac) file with a quarter second of silence before and after.\n"
           "        Mode default: audible; rate default 44100. At rates other than 44100,\n"
           "        48000 and 22050 Hz the tones are made at 44100 or 48000 Hz and resampled;\n"
           "        a rate whose audio cannot hold the plan is refused.\n"
           "decode  prints one line per message found in each file: time, plan, text, checksum\n"
           "        result, confidence, the decided tones over their band (dB), the tone level\n"
           "        (dBFS), the share of symbols received clean and the symbols error correction\n"
           "        changed (counted from 1: 1-2 start, 3-11 text, 12 checksum). Reads WAV, FLAC\n"
           "        and OGG at any sample rate whose audio holds the plan; channels are mixed\n"
           "        down, rates other than 44100, 48000 and 22050 Hz are resampled\n"
           "        (--no-resample: refuse them instead). Mode default: all (audible at\n"
           "        22050 Hz); receiver default: robust. --json: one JSON object per message\n"
           "        and line, with its file. A file without a message names the plan, or\n"
           "        the command (receive), that hears what it holds.\n"
           "send    writes the bytes of PATH (- reads standard input; --text: TEXT as UTF-8), 1\n"
           "        to 4096 bytes, as a payload to a 16-bit WAV (or .flac) file, with silence\n"
           "        as encode. Profile default: robust (speech, codecs, rooms; 140 bytes in\n"
           "        12.3 s audible); fast: a quiet room or a cable (140 bytes in 4.3 s).\n"
           "        --repeat N sends it N times back to back (1..16): a receiver combines the\n"
           "        frames of the copies. Mode default: audible; rates as encode.\n"
           "receive prints one line per payload found in each file: time, plan, profile,\n"
           "        size, result, its frames heard, needed (any this many deliver it) and\n"
           "        sent, confidence and the payload as text when it is UTF-8 text. With -o DIR\n"
           "        each intact payload is written to DIR/<input name>-<n>.bin (DIR is created\n"
           "        when missing), each file named on stderr. --json: one JSON object per\n"
           "        payload and line, the bytes under data_base64. Reads what decode reads;\n"
           "        mode default as decode. A payload is delivered whole or reported failed\n"
           "        (BAD), never changed.\n"
           "\n"
           "modes: audible, nonaudible, compression, all, custom (--custom-base HZ, default\n"
           "12000; --custom-step N, hop of N + 2 bins, default 1). Presets: phone (custom plan\n"
           "from 600 Hz for telephone paths, at 8000 Hz too).\n"
           "\n"
           "exit status: 0 success (decode: a message with a matching checksum was found;\n"
           "receive: an intact payload), 1 none found, 2 unreadable input or bad usage\n"
           "(decode and receive still read the other files), 3 unexpected failure.\n";
}

}  // namespace ryxcli
