// The WebAssembly face of the C++ interface: plain C functions over numbers and pointers that
// web/ryxsound.js wraps into the JavaScript API.
//
// Error rule: a function that can fail takes `err` (a buffer of errCapacity bytes owned by the
// caller) and reports failure by its return value (null, -1 or 0 as documented); the message,
// NUL-terminated and cut to fit, is then in err. No exception ever leaves this file, so nothing a
// caller passes turns into a wasm trap.
//
// Strings come as (pointer, byte count) pairs of UTF-8 and may contain any bytes.
// Modes are the interface's numbers 2..6, plans 0..3, receivers 0 (standard) and 1 (robust).
#include <cstdint>
#include <cstring>
#include <exception>
#include <new>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "dsp/spectrum_analyzer.h"
#include "encoder/multi_tone_encoder.h"
#include "modes/frequency_plan.h"
#include "ryxsound/ryxsound.hpp"

namespace {

using ryxsound::CustomBand;
using ryxsound::Mode;
using ryxsound::Plan;

// Samples the decoder's input area holds; the JavaScript side feeds longer arrays in pieces.
constexpr size_t kInputCapacity = 16384;

// One received message as JavaScript reads it from memory (64 bytes, little-endian):
// text at 0 (9 characters and a NUL), ok at 16, plan at 20, start at 24 and end at 32 (sample
// offsets as doubles, exact below 2^53), confidence at 40, toneToBandDb at 44, levelDbfs at 48,
// cleanShare at 52, corrected (bit i set: message symbol i was changed) at 56.
struct WebMessage {
    char text[16];
    int32_t ok;
    int32_t plan;
    double start;
    double end;
    float confidence;
    float toneToBandDb;
    float levelDbfs;
    float cleanShare;
    uint32_t corrected;  // followed by 4 bytes of padding
};
static_assert(sizeof(WebMessage) == 64, "the JavaScript side reads 64-byte records");

struct WebDecoder {
    explicit WebDecoder(ryxsound::Decoder&& d)
        : decoder(std::move(d)), input(kInputCapacity), record{} {
        messages.reserve(8);
    }
    ryxsound::Decoder decoder;
    std::vector<float> input;  // kInputCapacity samples
    std::vector<ryxsound::Message> messages;
    WebMessage record;
};

struct WebSpectrum {
    RYX::SpectrumAnalyzer analyzer;
    std::vector<float> frame;
};

struct WebEncoder {
    ryxsound::Encoder encoder;
};

// Runs `body`, turning any exception into `fallback` and its message into err.
template <typename Result, typename Body>
Result guarded(char* err, int errCapacity, Result fallback, Body body) {
    const char* what = "unknown failure";
    try {
        return body();
    } catch (const std::bad_alloc&) {
        what = "out of memory";
    } catch (const std::exception& e) {
        what = e.what();
    } catch (...) {
    }
    if (err != nullptr && errCapacity > 0) {
        std::strncpy(err, what, static_cast<size_t>(errCapacity) - 1);
        err[errCapacity - 1] = '\0';
    }
    return fallback;
}

Mode checkedMode(int mode) {
    if (mode < 2 || mode > 6) {
        throw std::invalid_argument("unknown mode " + std::to_string(mode) +
                                    ": the modes are 2..6");
    }
    return static_cast<Mode>(mode);
}

Plan checkedPlan(int plan) {
    if (plan < 0 || plan > 3) {
        throw std::invalid_argument("unknown plan " + std::to_string(plan) +
                                    ": the plans are 0..3");
    }
    return static_cast<Plan>(plan);
}

ryxsound::Receiver checkedReceiver(int receiver) {
    if (receiver != 0 && receiver != 1) {
        throw std::invalid_argument("unknown receiver " + std::to_string(receiver) +
                                    ": use standard or robust");
    }
    return static_cast<ryxsound::Receiver>(receiver);
}

std::string_view view(const char* text, int length) {
    if (length < 0 || (text == nullptr && length > 0)) {
        throw std::invalid_argument("no text given for a length of " + std::to_string(length));
    }
    return length == 0 ? std::string_view() : std::string_view(text, static_cast<size_t>(length));
}

}  // namespace

extern "C" {

const char* ryxw_version() {
    return ryxsound::version();
}

// The mode number of a name ("audible", "non-audible", ...); -1 with err for others.
int ryxw_mode_from_name(const char* name, int length, char* err, int errCapacity) {
    return guarded(err, errCapacity, -1,
                   [&] { return static_cast<int>(ryxsound::modeFromName(view(name, length))); });
}

// Index into the preset table of a name; -1 with err for an unknown one.
int ryxw_preset_index(const char* name, int length, char* err, int errCapacity) {
    return guarded(err, errCapacity, -1, [&] {
        const ryxsound::Preset& wanted = ryxsound::presetByName(view(name, length));
        return static_cast<int>(&wanted - ryxsound::presets().data());
    });
}

int ryxw_preset_count() {
    return static_cast<int>(ryxsound::presets().size());
}

// The custom band of a custom plan without a preset: base 12000 Hz, step 1.
float ryxw_default_custom_base_hz() {
    return CustomBand{}.baseHz;
}
int ryxw_default_custom_step() {
    return CustomBand{}.step;
}

// Preset i (0 <= i < ryxw_preset_count(), else null / 0): its name, description, mode number
// and custom band.
const char* ryxw_preset_name(int i) {
    return i >= 0 && i < ryxw_preset_count() ? ryxsound::presets()[i].name : nullptr;
}
const char* ryxw_preset_description(int i) {
    return i >= 0 && i < ryxw_preset_count() ? ryxsound::presets()[i].description : nullptr;
}
int ryxw_preset_mode(int i) {
    return i >= 0 && i < ryxw_preset_count() ? static_cast<int>(ryxsound::presets()[i].mode) : 0;
}
float ryxw_preset_base_hz(int i) {
    return i >= 0 && i < ryxw_preset_count() ? ryxsound::presets()[i].custom.baseHz : 0.0f;
}
int ryxw_preset_step(int i) {
    return i >= 0 && i < ryxw_preset_count() ? ryxsound::presets()[i].custom.step : 0;
}

// Writes plan `plan` at `sampleRate` as 28 floats into out: toneHz[9], toneBins[9], windowSize,
// symbolSamples, transmissionSamples, hopHz, hopBins, bandLowHz, bandHighHz, fits (0 or 1),
// sampleRate, plan. Returns 1, or 0 with err.
int ryxw_plan_info(int plan, float sampleRate, float customBaseHz, int customStep, float* out,
                   char* err, int errCapacity) {
    return guarded(err, errCapacity, 0, [&] {
        if (out == nullptr) throw std::invalid_argument("no output given");
        const ryxsound::PlanInfo info =
            ryxsound::planInfo(checkedPlan(plan), sampleRate, CustomBand{customBaseHz, customStep});
        for (int j = 0; j < ryxsound::kToneCount; ++j) {
            out[j] = info.toneHz[j];
            out[9 + j] = static_cast<float>(info.toneBins[j]);
        }
        const float tail[] = {static_cast<float>(info.windowSize),
                              static_cast<float>(info.symbolSamples),
                              static_cast<float>(info.transmissionSamples),
                              info.hopHz,
                              static_cast<float>(info.hopBins),
                              info.bandLowHz,
                              info.bandHighHz,
                              info.fits ? 1.0f : 0.0f,
                              info.sampleRate,
                              static_cast<float>(plan)};
        std::memcpy(out + 18, tail, sizeof tail);
        return 1;
    });
}

// 1 when every plan of `mode` fits below half of sampleRate; 0 with err naming what does not.
int ryxw_check_mode_fits(int mode, float sampleRate, float customBaseHz, int customStep, char* err,
                         int errCapacity) {
    return guarded(err, errCapacity, 0, [&] {
        ryxsound::checkModeFits(checkedMode(mode), sampleRate,
                                CustomBand{customBaseHz, customStep});
        return 1;
    });
}

// The plans `mode` sends (one) or listens for (three for mode 5) into out[3]; returns their
// count, or -1 with err.
int ryxw_plans_of(int mode, int* out, char* err, int errCapacity) {
    return guarded(err, errCapacity, -1, [&] {
        if (out == nullptr) throw std::invalid_argument("no output given");
        const std::vector<Plan> plans = ryxsound::plansOf(checkedMode(mode));
        for (size_t i = 0; i < plans.size() && i < 3; ++i) out[i] = static_cast<int>(plans[i]);
        return static_cast<int>(plans.size());
    });
}

// The rates `mode` works at, best first (of 44100, 48000 and 22050 Hz), into out[3]; returns
// their count, or -1 with err.
int ryxw_supported_rates(int mode, float customBaseHz, int customStep, float* out, char* err,
                         int errCapacity) {
    return guarded(err, errCapacity, -1, [&] {
        if (out == nullptr) throw std::invalid_argument("no output given");
        const std::vector<float> rates =
            ryxsound::supportedRates(checkedMode(mode), CustomBand{customBaseHz, customStep});
        for (size_t i = 0; i < rates.size() && i < 3; ++i) out[i] = rates[i];
        return static_cast<int>(rates.size());
    });
}

// The two frequencies (Hz) of each of the 20 symbols that send `text` in `plan`, hop included,
// into out[40] (position p at out[2p], out[2p + 1]; both the same for the two start symbols,
// which sound one tone). Returns 1, or 0 with err.
int ryxw_message_tones(const char* text, int length, int plan, float sampleRate, float customBaseHz,
                       int customStep, float* out, char* err, int errCapacity) {
    return guarded(err, errCapacity, 0, [&] {
        const std::string_view chars = view(text, length);
        const Plan p = checkedPlan(plan);
        const ryxsound::PlanInfo info =
            ryxsound::planInfo(p, sampleRate, CustomBand{customBaseHz, customStep});
        if (out == nullptr || chars.size() != ryxsound::kTextLength) {
            throw std::invalid_argument("a message has exactly 9 characters");
        }
        const RYX::Tuning tuning = RYX::makeTuning(sampleRate, {customBaseHz, customStep});
        const RYX::Plan corePlan = static_cast<RYX::Plan>(p);
        RYX::MultiToneEncoder framer(corePlan, sampleRate, info.transmissionSamples,
                                     tuning.windowSize);
        RYX::SynthesisSettings settings;
        settings.custom = tuning.custom;
        if (framer.encode(chars.data(), 0, ryxsound::kTextLength, nullptr, 0, settings) == 0) {
            throw std::invalid_argument("'" + std::string(chars) + "' is not a base-32 text");
        }
        for (int position = 0; position < framer.frameLength(); ++position) {
            float* pair = out + 2 * position;
            RYX::symbolFrequencies(corePlan, framer.frame()[position], position, tuning, pair);
            if (position < 2) pair[1] = pair[0];  // the start symbols sound their lower tone
        }
        return 1;
    });
}

// An encoder for `mode` at sampleRate (custom band for mode 6); null with err.
WebEncoder* ryxw_encoder_new(int mode, float sampleRate, float customBaseHz, int customStep,
                             char* err, int errCapacity) {
    return guarded(err, errCapacity, static_cast<WebEncoder*>(nullptr), [&] {
        return new WebEncoder{
            ryxsound::Encoder(checkedMode(mode), sampleRate, CustomBand{customBaseHz, customStep})};
    });
}

void ryxw_encoder_free(WebEncoder* encoder) {
    delete encoder;
}

// Encodes a text (with an optional melody, or random tones at randomToneGainDb when randomTones
// is 1); returns the sample count, read from ryxw_encoder_samples, or -1 with err.
int ryxw_encoder_encode(WebEncoder* encoder, const char* text, int length, const char* melody,
                        int melodyLength, int randomTones, float randomToneGainDb, char* err,
                        int errCapacity) {
    return guarded(err, errCapacity, -1, [&] {
        if (encoder == nullptr) throw std::invalid_argument("the encoder is closed");
        ryxsound::EncodeOptions options;
        options.melody = std::string(view(melody, melodyLength));
        options.randomTones = randomTones != 0;
        options.randomToneGainDb = randomToneGainDb;
        return static_cast<int>(encoder->encoder.encode(view(text, length), options));
    });
}

const float* ryxw_encoder_samples(const WebEncoder* encoder) {
    return encoder != nullptr ? encoder->encoder.samples() : nullptr;
}

// A decoder; null with err for a bad mode, rate, receiver or custom band.
WebDecoder* ryxw_decoder_new(int mode, float sampleRate, int receiver, float customBaseHz,
                             int customStep, char* err, int errCapacity) {
    return guarded(err, errCapacity, static_cast<WebDecoder*>(nullptr), [&] {
        return new WebDecoder(ryxsound::Decoder(checkedMode(mode), sampleRate,
                                                checkedReceiver(receiver),
                                                CustomBand{customBaseHz, customStep}));
    });
}

void ryxw_decoder_free(WebDecoder* decoder) {
    delete decoder;
}

// Where the caller writes up to ryxw_decoder_capacity() samples before ryxw_decoder_feed.
float* ryxw_decoder_input(WebDecoder* decoder) {
    return decoder != nullptr ? decoder->input.data() : nullptr;
}
int ryxw_decoder_capacity() {
    return static_cast<int>(kInputCapacity);
}

// Feeds the first `count` samples of the input area; returns how many messages completed (read
// them with ryxw_decoder_message), or -1 with err.
int ryxw_decoder_feed(WebDecoder* decoder, int count, char* err, int errCapacity) {
    return guarded(err, errCapacity, -1, [&] {
        if (decoder == nullptr) throw std::invalid_argument("the decoder is closed");
        if (count < 0 || static_cast<size_t>(count) > kInputCapacity) {
            throw std::invalid_argument("a feed takes 0.." + std::to_string(kInputCapacity) +
                                        " samples, not " + std::to_string(count));
        }
        decoder->messages.clear();
        return static_cast<int>(decoder->decoder.feed(
            decoder->input.data(), static_cast<size_t>(count), decoder->messages));
    });
}

// Feeds silence until a message in progress completes; returns the messages, or -1 with err.
int ryxw_decoder_flush(WebDecoder* decoder, char* err, int errCapacity) {
    return guarded(err, errCapacity, -1, [&] {
        if (decoder == nullptr) throw std::invalid_argument("the decoder is closed");
        decoder->messages.clear();
        return static_cast<int>(decoder->decoder.flush(decoder->messages));
    });
}

// Message i of the last feed or flush as a 64-byte record (layout above); null when there is
// no such message. The record stays valid until the next call on this decoder.
const WebMessage* ryxw_decoder_message(WebDecoder* decoder, int i) {
    if (decoder == nullptr || i < 0 || static_cast<size_t>(i) >= decoder->messages.size()) {
        return nullptr;
    }
    const ryxsound::Message& m = decoder->messages[static_cast<size_t>(i)];
    WebMessage& r = decoder->record;
    r = WebMessage{};
    std::strncpy(r.text, m.text.c_str(), sizeof r.text - 1);
    r.ok = m.ok ? 1 : 0;
    r.plan = static_cast<int32_t>(m.plan);
    r.start = static_cast<double>(m.start);
    r.end = static_cast<double>(m.end);
    r.confidence = m.confidence;
    r.toneToBandDb = m.toneToBandDb;
    r.levelDbfs = m.levelDbfs;
    r.cleanShare = m.cleanShare;
    for (int symbol : m.corrected) {
        if (symbol >= 0 && symbol < 32) r.corrected |= 1u << symbol;
    }
    return &r;
}

// Samples fed so far (flush's silence included), as a double.
double ryxw_decoder_position(const WebDecoder* decoder) {
    return decoder != nullptr ? static_cast<double>(decoder->decoder.position()) : 0.0;
}

int ryxw_decoder_in_message(const WebDecoder* decoder) {
    return decoder != nullptr && decoder->decoder.inMessage() ? 1 : 0;
}

// A spectrum analyser for a live display: write windowSize samples (a power of two 4..8192) at
// ryxw_spectrum_input, call ryxw_spectrum_analyze, read windowSize / 2 + 1 powers (a bin-centred
// sine of amplitude A shows about A^2) at the pointer it returns. Null with err for a bad size.
WebSpectrum* ryxw_spectrum_new(int windowSize, char* err, int errCapacity) {
    return guarded(err, errCapacity, static_cast<WebSpectrum*>(nullptr), [&] {
        auto* web = new WebSpectrum{RYX::SpectrumAnalyzer(windowSize, windowSize), {}};
        if (web->analyzer.fftLength() == 0) {
            delete web;
            throw std::invalid_argument("the window size must be a power of two 4..8192, not " +
                                        std::to_string(windowSize));
        }
        web->frame.assign(static_cast<size_t>(windowSize), 0.0f);
        return web;
    });
}

void ryxw_spectrum_free(WebSpectrum* spectrum) {
    delete spectrum;
}

float* ryxw_spectrum_input(WebSpectrum* spectrum) {
    return spectrum != nullptr ? spectrum->frame.data() : nullptr;
}

const float* ryxw_spectrum_analyze(WebSpectrum* spectrum) {
    if (spectrum == nullptr) return nullptr;
    spectrum->analyzer.analyze(spectrum->frame.data());
    return spectrum->analyzer.powerSpectrum();
}

}  // extern "C"
