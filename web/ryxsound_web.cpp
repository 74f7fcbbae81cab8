// The WebAssembly face of the C++ interface: plain C functions over numbers and pointers that
// web/ryxsound.js wraps into the JavaScript API. Every function here is exported by its
// EMSCRIPTEN_KEEPALIVE mark; it uses the public interface and the interface's argument checks
// (src/api/refusals.h).
//
// Error rule: a function that can fail takes `err` (a buffer of errCapacity bytes owned by the
// caller) and reports failure by its return value (null, -1 or 0 as documented); the message,
// NUL-terminated and cut to fit, is then in err. The module is built without exceptions: every
// argument is checked here, with the interface's own checks and messages, before the interface
// is called, so nothing a caller passes reaches a throw (which would trap).
//
// Strings come as (pointer, byte count) pairs of UTF-8 and may contain any bytes. Modes are the
// interface's numbers 2..6 and plans 0..3; a preset is an index into presets(), -1 for none.
#include <emscripten/emscripten.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "api/refusals.h"
#include "modes/phrase.h"
#include "ryxsound/ryxsound.hpp"

namespace {

using RYX::phrase;
using ryxsound::CustomBand;
using ryxsound::Mode;
using ryxsound::Plan;

// Samples the decoder's input area holds; the JavaScript side feeds longer arrays in pieces.
constexpr size_t kInputCapacity = 16384;

// One received message as ryxsound.js reads it from memory (little-endian). MESSAGE in
// ryxsound.js names these byte offsets; the asserts below keep the two in step.
struct WebMessage {
    char text[16];         // 0: nine characters and a NUL
    int32_t ok;            // 16: 1 or 0
    int32_t plan;          // 20: 0..3
    double start;          // 24: sample offsets, exact below 2^53
    double end;            // 32
    float confidence;      // 40
    float toneToBandDb;    // 44
    float levelDbfs;       // 48
    float cleanShare;      // 52
    uint32_t corrected;    // 56: bit i set when message symbol i was changed
    uint32_t padding = 0;  // 60
};
static_assert(sizeof(WebMessage) == 64 && offsetof(WebMessage, text) == 0 &&
                  offsetof(WebMessage, ok) == 16 && offsetof(WebMessage, plan) == 20 &&
                  offsetof(WebMessage, start) == 24 && offsetof(WebMessage, end) == 32 &&
                  offsetof(WebMessage, confidence) == 40 &&
                  offsetof(WebMessage, toneToBandDb) == 44 &&
                  offsetof(WebMessage, levelDbfs) == 48 && offsetof(WebMessage, cleanShare) == 52 &&
                  offsetof(WebMessage, corrected) == 56,
              "MESSAGE in ryxsound.js reads these offsets");

// One plan at one rate as ryxsound.js reads it (PLAN_RECORD there names these byte offsets).
// Audible at 44100 Hz: toneHz 3294.6..9323.9, toneBins 153..433, windowSize 2048, symbolSamples
// 4608, transmissionSamples 92160, hopBins 12.
struct WebPlanInfo {
    float toneHz[ryxsound::kToneCount];      // 0
    int32_t toneBins[ryxsound::kToneCount];  // 36
    int32_t windowSize;                      // 72
    int32_t symbolSamples;                   // 76
    int32_t transmissionSamples;             // 80
    float hopHz;                             // 84
    int32_t hopBins;                         // 88
    float bandLowHz;                         // 92
    float bandHighHz;                        // 96
    int32_t fits;                            // 100: 1 or 0
    float sampleRate;                        // 104
};
static_assert(sizeof(WebPlanInfo) == 108 && offsetof(WebPlanInfo, toneHz) == 0 &&
                  offsetof(WebPlanInfo, toneBins) == 36 &&
                  offsetof(WebPlanInfo, windowSize) == 72 &&
                  offsetof(WebPlanInfo, symbolSamples) == 76 &&
                  offsetof(WebPlanInfo, transmissionSamples) == 80 &&
                  offsetof(WebPlanInfo, hopHz) == 84 && offsetof(WebPlanInfo, hopBins) == 88 &&
                  offsetof(WebPlanInfo, bandLowHz) == 92 &&
                  offsetof(WebPlanInfo, bandHighHz) == 96 && offsetof(WebPlanInfo, fits) == 100 &&
                  offsetof(WebPlanInfo, sampleRate) == 104,
              "PLAN_RECORD in ryxsound.js reads these offsets");

// One payload as ryxsound.js reads it (PAYLOAD there names these byte offsets); also a payload
// still arriving, of which only profile, plan, size, the frame counts and end are set.
struct WebPayload {
    double start;          // 0: sample offsets, exact below 2^53
    double end;            // 8
    const uint8_t* data;   // 16: size bytes when ok, else null
    uint32_t size;         // 20: bytes, as the frames say
    int32_t ok;            // 24: 1 or 0
    int32_t profile;       // 28: 0 fast, 1 robust
    int32_t plan;          // 32: 0..3
    int32_t framesHeard;   // 36
    int32_t framesTotal;   // 40
    int32_t framesNeeded;  // 44
    float confidence;      // 48
    float toneToBandDb;    // 52
    float levelDbfs;       // 56
    uint32_t padding = 0;  // 60
};
static_assert(sizeof(WebPayload) == 64 && offsetof(WebPayload, start) == 0 &&
                  offsetof(WebPayload, end) == 8 && offsetof(WebPayload, data) == 16 &&
                  offsetof(WebPayload, size) == 20 && offsetof(WebPayload, ok) == 24 &&
                  offsetof(WebPayload, profile) == 28 && offsetof(WebPayload, plan) == 32 &&
                  offsetof(WebPayload, framesHeard) == 36 &&
                  offsetof(WebPayload, framesTotal) == 40 &&
                  offsetof(WebPayload, framesNeeded) == 44 &&
                  offsetof(WebPayload, confidence) == 48 &&
                  offsetof(WebPayload, toneToBandDb) == 52 && offsetof(WebPayload, levelDbfs) == 56,
              "PAYLOAD in ryxsound.js reads these offsets");

// How a payload is sent (PAYLOAD_SHAPE in ryxsound.js names these byte offsets).
struct WebPayloadShape {
    double seconds;        // 0
    int32_t dataFrames;    // 8
    int32_t parityFrames;  // 12
    int32_t frameSamples;  // 16
    int32_t totalSamples;  // 20
    int32_t channels;      // 24
    float symbolSeconds;   // 28
};
static_assert(sizeof(WebPayloadShape) == 32 && offsetof(WebPayloadShape, seconds) == 0 &&
                  offsetof(WebPayloadShape, dataFrames) == 8 &&
                  offsetof(WebPayloadShape, parityFrames) == 12 &&
                  offsetof(WebPayloadShape, frameSamples) == 16 &&
                  offsetof(WebPayloadShape, totalSamples) == 20 &&
                  offsetof(WebPayloadShape, channels) == 24 &&
                  offsetof(WebPayloadShape, symbolSeconds) == 28,
              "PAYLOAD_SHAPE in ryxsound.js reads these offsets");

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

struct WebPayloadDecoder {
    explicit WebPayloadDecoder(ryxsound::PayloadDecoder&& d)
        : decoder(std::move(d)), input(kInputCapacity), record{} {
        payloads.reserve(8);
    }
    ryxsound::PayloadDecoder decoder;
    std::vector<float> input;  // kInputCapacity samples
    std::vector<ryxsound::Payload> payloads;
    std::vector<ryxsound::PayloadProgress> arriving;
    WebPayload record;
};

// The samples of one payload transmission, kept until JavaScript has copied them.
struct WebAudio {
    std::vector<float> samples;
};

struct WebSpectrum {
    int windowSize;
    std::vector<float> frame;  // windowSize samples
    std::vector<float> power;  // windowSize / 2 + 1 powers
};

struct WebEncoder {
    ryxsound::Encoder encoder;
};

// The error buffer of one call.
class Reply {
  public:
    Reply(char* err, int capacity) : err_(err), capacity_(capacity) {}

    // Whether `refusal` is empty; if not, it goes to the buffer, cut to fit.
    bool takes(const std::string& refusal) {
        if (refusal.empty()) return true;
        if (err_ != nullptr && capacity_ > 0) {
            const size_t n = std::min(refusal.size(), static_cast<size_t>(capacity_) - 1);
            std::memcpy(err_, refusal.data(), n);
            err_[n] = '\0';
        }
        return false;
    }

  private:
    char* err_;
    int capacity_;
};

// `length` bytes at `text` as *out.
std::string viewRefusal(const char* text, int length, std::string_view* out) {
    if (length < 0 || (text == nullptr && length > 0)) {
        return phrase("no text given for a length of %d", length);
    }
    *out = length == 0 ? std::string_view() : std::string_view(text, static_cast<size_t>(length));
    return {};
}

std::string outputRefusal(const void* out) {
    return out != nullptr ? std::string() : "no output given";
}

std::string openRefusal(const void* object, const char* what) {
    return object != nullptr ? std::string() : phrase("the %s is closed", what);
}

std::string feedRefusal(int count) {
    if (count >= 0 && static_cast<size_t>(count) <= kInputCapacity) return {};
    return phrase("a feed takes 0..%zu samples, not %d", kInputCapacity, count);
}

const ryxsound::Preset* presetAt(int i) {
    const std::vector<ryxsound::Preset>& all = ryxsound::presets();
    return i >= 0 && static_cast<size_t>(i) < all.size() ? &all[static_cast<size_t>(i)] : nullptr;
}

// The plans of an encoder or decoder as JavaScript names them: a preset (its mode and band), or
// with preset -1 a mode number and the custom band.
struct WebPlans {
    const ryxsound::Preset* chosen = nullptr;
    Mode mode = Mode::Audible;
    CustomBand custom;

    std::string refusal(int modeNumber, int preset, float customBaseHz, int customStep) {
        chosen = presetAt(preset);
        if (preset != -1 && chosen == nullptr) return phrase("unknown preset %d", preset);
        if (chosen != nullptr) {
            mode = chosen->mode;
            custom = chosen->custom;
            return {};
        }
        custom = CustomBand{customBaseHz, customStep};
        mode = static_cast<Mode>(modeNumber);
        return ryxsound::modeNumberRefusal(modeNumber);
    }

    // ryxsound::planRate for these plans into *rate: the rate they are made at for audio at
    // fileRate. `sending` asks as an encoder does (mode All sends the non-audible plan).
    std::string planRateRefusal(float fileRate, bool sending, float* rate) const {
        if (chosen != nullptr) return ryxsound::planRateRefusal(*chosen, fileRate, rate);
        const Mode asked = sending && mode == Mode::All ? Mode::NonAudible : mode;
        return ryxsound::planRateRefusal(asked, fileRate, custom, rate);
    }

    // ryxsound::payloadRate for payloads in these plans: made in `profile`, or heard (null).
    std::string payloadRateRefusal(const ryxsound::Profile* profile, float fileRate,
                                   float* rate) const {
        if (chosen != nullptr) {
            return ryxsound::payloadRateRefusal(profile, *chosen, fileRate, rate);
        }
        return ryxsound::payloadRateRefusal(profile, mode, fileRate, custom, rate);
    }

    // Unless the plans are made at sampleRate itself (this layer has no resampler), says so.
    std::string sampleRateRefusal(float sampleRate, bool sending) const {
        float rate = 0.0f;
        return madeAtRefusal(planRateRefusal(sampleRate, sending, &rate), sampleRate, rate);
    }
    // The same for payloads, which ask their own band of the rate.
    std::string payloadSampleRateRefusal(float sampleRate, const ryxsound::Profile* profile) const {
        float rate = 0.0f;
        return madeAtRefusal(payloadRateRefusal(profile, sampleRate, &rate), sampleRate, rate);
    }

  private:
    static std::string madeAtRefusal(const std::string& refusal, float sampleRate, float rate) {
        if (!refusal.empty() || rate == sampleRate) return refusal;
        return phrase(
            "sampleRate %g Hz: the plans are made at %g Hz; resample to %g Hz (an "
            "AudioContext or OfflineAudioContext at that rate does it)",
            sampleRate, rate, rate);
    }
};

// A payload size from JavaScript, where any number may arrive, into *out; the interface checks
// the range.
std::string payloadSizeRefusal(double size, size_t* out) {
    const double most = double(UINT32_MAX);
    if (!(size >= 0.0 && size <= most) || size != std::floor(size)) {
        return phrase("payload size %g: give a whole number of bytes, 1 to %zu", size,
                      ryxsound::kMaxPayloadBytes);
    }
    *out = static_cast<size_t>(size);
    return {};
}

void writeShape(const ryxsound::PayloadShape& shape, WebPayloadShape* out) {
    out->seconds = shape.seconds;
    out->dataFrames = shape.dataFrames;
    out->parityFrames = shape.parityFrames;
    out->frameSamples = shape.frameSamples;
    out->totalSamples = shape.totalSamples;
    out->channels = shape.channels;
    out->symbolSeconds = shape.symbolSeconds;
}

// The fields a payload and a payload still arriving share.
WebPayload& fillRecord(WebPayload& r, ryxsound::Profile profile, ryxsound::Plan plan, size_t size,
                       int framesHeard, int framesTotal, int framesNeeded, int64_t end) {
    r = WebPayload{};
    r.profile = static_cast<int32_t>(profile);
    r.plan = static_cast<int32_t>(plan);
    r.size = static_cast<uint32_t>(size);
    r.framesHeard = framesHeard;
    r.framesTotal = framesTotal;
    r.framesNeeded = framesNeeded;
    r.end = static_cast<double>(end);
    return r;
}

}  // namespace

extern "C" {

// Memory for JavaScript's strings and scratch records; null for a size below 1.
EMSCRIPTEN_KEEPALIVE void* ryxw_alloc(int bytes) {
    return bytes > 0 ? std::malloc(static_cast<size_t>(bytes)) : nullptr;
}
EMSCRIPTEN_KEEPALIVE void ryxw_release(void* memory) {
    std::free(memory);
}

EMSCRIPTEN_KEEPALIVE const char* ryxw_version() {
    return ryxsound::version();
}

// The mode number of a name ("audible", "non-audible", ...); -1 with err for others.
EMSCRIPTEN_KEEPALIVE int ryxw_mode_from_name(const char* name, int length, char* err,
                                             int errCapacity) {
    Reply reply(err, errCapacity);
    std::string_view text;
    Mode mode{};
    if (!reply.takes(viewRefusal(name, length, &text)) ||
        !reply.takes(ryxsound::modeNameRefusal(text, &mode))) {
        return -1;
    }
    return static_cast<int>(mode);
}

// Index into the preset table of a name; -1 with err for an unknown one.
EMSCRIPTEN_KEEPALIVE int ryxw_preset_index(const char* name, int length, char* err,
                                           int errCapacity) {
    Reply reply(err, errCapacity);
    std::string_view text;
    const ryxsound::Preset* wanted = nullptr;
    if (!reply.takes(viewRefusal(name, length, &text)) ||
        !reply.takes(ryxsound::presetNameRefusal(text, &wanted))) {
        return -1;
    }
    return static_cast<int>(wanted - ryxsound::presets().data());
}

EMSCRIPTEN_KEEPALIVE int ryxw_preset_count() {
    return static_cast<int>(ryxsound::presets().size());
}

// The custom band of a custom plan without a preset: base 12000 Hz, step 1.
EMSCRIPTEN_KEEPALIVE float ryxw_default_custom_base_hz() {
    return CustomBand{}.baseHz;
}
EMSCRIPTEN_KEEPALIVE int ryxw_default_custom_step() {
    return CustomBand{}.step;
}

// Preset i (0 <= i < ryxw_preset_count(), else null / 0): its name, description, mode number
// and custom band.
EMSCRIPTEN_KEEPALIVE const char* ryxw_preset_name(int i) {
    return presetAt(i) ? presetAt(i)->name : nullptr;
}
EMSCRIPTEN_KEEPALIVE const char* ryxw_preset_description(int i) {
    return presetAt(i) ? presetAt(i)->description : nullptr;
}
EMSCRIPTEN_KEEPALIVE int ryxw_preset_mode(int i) {
    return presetAt(i) ? static_cast<int>(presetAt(i)->mode) : 0;
}
EMSCRIPTEN_KEEPALIVE float ryxw_preset_base_hz(int i) {
    return presetAt(i) ? presetAt(i)->custom.baseHz : 0.0f;
}
EMSCRIPTEN_KEEPALIVE int ryxw_preset_step(int i) {
    return presetAt(i) ? presetAt(i)->custom.step : 0;
}

// Writes plan `plan` at `sampleRate` into out. Returns 1, or 0 with err.
EMSCRIPTEN_KEEPALIVE int ryxw_plan_info(int plan, float sampleRate, float customBaseHz,
                                        int customStep, WebPlanInfo* out, char* err,
                                        int errCapacity) {
    Reply reply(err, errCapacity);
    if (!reply.takes(outputRefusal(out)) || !reply.takes(ryxsound::planNumberRefusal(plan)) ||
        !reply.takes(ryxsound::sampleRateRefusal(sampleRate))) {
        return 0;
    }
    const ryxsound::PlanInfo info =
        ryxsound::planInfo(Plan(plan), sampleRate, CustomBand{customBaseHz, customStep});
    for (int j = 0; j < ryxsound::kToneCount; ++j) {
        out->toneHz[j] = info.toneHz[static_cast<size_t>(j)];
        out->toneBins[j] = info.toneBins[static_cast<size_t>(j)];
    }
    out->windowSize = info.windowSize;
    out->symbolSamples = info.symbolSamples;
    out->transmissionSamples = info.transmissionSamples;
    out->hopHz = info.hopHz;
    out->hopBins = info.hopBins;
    out->bandLowHz = info.bandLowHz;
    out->bandHighHz = info.bandHighHz;
    out->fits = info.fits ? 1 : 0;
    out->sampleRate = info.sampleRate;
    return 1;
}

// The plans `mode` sends (one) or listens for (three for mode 5) into out[3]; returns their
// count, or -1 with err.
EMSCRIPTEN_KEEPALIVE int ryxw_plans_of(int mode, int* out, char* err, int errCapacity) {
    Reply reply(err, errCapacity);
    if (!reply.takes(outputRefusal(out)) || !reply.takes(ryxsound::modeNumberRefusal(mode))) {
        return -1;
    }
    const std::vector<Plan> plans = ryxsound::plansOf(Mode(mode));
    for (size_t i = 0; i < plans.size() && i < 3; ++i) out[i] = static_cast<int>(plans[i]);
    return static_cast<int>(plans.size());
}

// The rates `mode` works at, best first (of 44100, 48000 and 22050 Hz), into out[3]; returns
// their count, or -1 with err.
EMSCRIPTEN_KEEPALIVE int ryxw_supported_rates(int mode, float customBaseHz, int customStep,
                                              float* out, char* err, int errCapacity) {
    Reply reply(err, errCapacity);
    if (!reply.takes(outputRefusal(out)) || !reply.takes(ryxsound::modeNumberRefusal(mode))) {
        return -1;
    }
    const std::vector<float> rates =
        ryxsound::supportedRates(Mode(mode), CustomBand{customBaseHz, customStep});
    for (size_t i = 0; i < rates.size() && i < 3; ++i) out[i] = rates[i];
    return static_cast<int>(rates.size());
}

// ryxsound::planRate for a decoder of these plans: 48000 for mode 5 at 96000 Hz, 44100 at 44100
// Hz. 0 with err when audio at fileRate cannot hold them (mode 2 at 8000 Hz).
EMSCRIPTEN_KEEPALIVE float ryxw_plan_rate(int mode, int preset, float fileRate, float customBaseHz,
                                          int customStep, char* err, int errCapacity) {
    Reply reply(err, errCapacity);
    WebPlans plans;
    float rate = 0.0f;
    if (!reply.takes(plans.refusal(mode, preset, customBaseHz, customStep)) ||
        !reply.takes(plans.planRateRefusal(fileRate, false, &rate))) {
        return 0.0f;
    }
    return rate;
}

// ryxsound::messageTones into out[40] (symbol p's pair at out[2p], out[2p + 1]). Returns 1, or 0
// with err.
EMSCRIPTEN_KEEPALIVE int ryxw_message_tones(const char* text, int length, int plan,
                                            float sampleRate, float customBaseHz, int customStep,
                                            float* out, char* err, int errCapacity) {
    Reply reply(err, errCapacity);
    std::string_view sent;
    if (!reply.takes(outputRefusal(out)) || !reply.takes(viewRefusal(text, length, &sent)) ||
        !reply.takes(ryxsound::planNumberRefusal(plan)) ||
        !reply.takes(ryxsound::sampleRateRefusal(sampleRate)) ||
        !reply.takes(ryxsound::textRefusal(sent))) {
        return 0;
    }
    const auto tones =
        ryxsound::messageTones(sent, Plan(plan), sampleRate, CustomBand{customBaseHz, customStep});
    for (const ryxsound::TonePair& pair : tones) {
        *out++ = pair[0];
        *out++ = pair[1];
    }
    return 1;
}

// An encoder of these plans at sampleRate, which must be their plan rate; null with err.
EMSCRIPTEN_KEEPALIVE WebEncoder* ryxw_encoder_new(int mode, int preset, float sampleRate,
                                                  float customBaseHz, int customStep, char* err,
                                                  int errCapacity) {
    Reply reply(err, errCapacity);
    WebPlans plans;
    if (!reply.takes(plans.refusal(mode, preset, customBaseHz, customStep)) ||
        !reply.takes(plans.sampleRateRefusal(sampleRate, true)) ||
        !reply.takes(ryxsound::modeFitsRefusal(plans.mode, sampleRate, plans.custom))) {
        return nullptr;
    }
    return new WebEncoder{ryxsound::Encoder(plans.mode, sampleRate, plans.custom)};
}

EMSCRIPTEN_KEEPALIVE void ryxw_encoder_free(WebEncoder* encoder) {
    delete encoder;
}

// Encodes a text (with an optional melody, or random tones at randomToneGainDb when randomTones
// is 1); returns the sample count, read from ryxw_encoder_samples, or -1 with err.
EMSCRIPTEN_KEEPALIVE int ryxw_encoder_encode(WebEncoder* encoder, const char* text, int length,
                                             const char* melody, int melodyLength, int randomTones,
                                             float randomToneGainDb, char* err, int errCapacity) {
    Reply reply(err, errCapacity);
    std::string_view sent, notes;
    if (!reply.takes(openRefusal(encoder, "encoder")) ||
        !reply.takes(viewRefusal(melody, melodyLength, &notes)) ||
        !reply.takes(viewRefusal(text, length, &sent))) {
        return -1;
    }
    ryxsound::EncodeOptions options;
    options.melody = std::string(notes);
    options.randomTones = randomTones != 0;
    options.randomToneGainDb = randomToneGainDb;
    if (!reply.takes(ryxsound::encodeRefusal(encoder->encoder.sampleRate(), sent, options))) {
        return -1;
    }
    return static_cast<int>(encoder->encoder.encode(sent, options));
}

EMSCRIPTEN_KEEPALIVE const float* ryxw_encoder_samples(const WebEncoder* encoder) {
    return encoder != nullptr ? encoder->encoder.samples() : nullptr;
}

// A decoder of these plans at sampleRate, which must be their plan rate, with the receiver of
// that name ("robust", "standard"); null with err for anything else.
EMSCRIPTEN_KEEPALIVE WebDecoder* ryxw_decoder_new(int mode, int preset, float sampleRate,
                                                  const char* receiver, int receiverLength,
                                                  float customBaseHz, int customStep, char* err,
                                                  int errCapacity) {
    Reply reply(err, errCapacity);
    WebPlans plans;
    std::string_view name;
    ryxsound::Receiver chosen{};
    if (!reply.takes(plans.refusal(mode, preset, customBaseHz, customStep)) ||
        !reply.takes(viewRefusal(receiver, receiverLength, &name)) ||
        !reply.takes(ryxsound::receiverNameRefusal(name, &chosen)) ||
        !reply.takes(plans.sampleRateRefusal(sampleRate, false)) ||
        !reply.takes(ryxsound::listenerRefusal(plans.mode, sampleRate, plans.custom))) {
        return nullptr;
    }
    return new WebDecoder(ryxsound::Decoder(plans.mode, sampleRate, chosen, plans.custom));
}

EMSCRIPTEN_KEEPALIVE void ryxw_decoder_free(WebDecoder* decoder) {
    delete decoder;
}

// "robust" or "standard"; null for no decoder.
EMSCRIPTEN_KEEPALIVE const char* ryxw_decoder_receiver(const WebDecoder* decoder) {
    return decoder != nullptr ? ryxsound::receiverName(decoder->decoder.receiver()) : nullptr;
}

// Where the caller writes up to ryxw_decoder_capacity() samples before ryxw_decoder_feed.
EMSCRIPTEN_KEEPALIVE float* ryxw_decoder_input(WebDecoder* decoder) {
    return decoder != nullptr ? decoder->input.data() : nullptr;
}
EMSCRIPTEN_KEEPALIVE int ryxw_decoder_capacity() {
    return static_cast<int>(kInputCapacity);
}

// Feeds the first `count` samples of the input area; returns how many messages completed (read
// them with ryxw_decoder_message), or -1 with err.
EMSCRIPTEN_KEEPALIVE int ryxw_decoder_feed(WebDecoder* decoder, int count, char* err,
                                           int errCapacity) {
    Reply reply(err, errCapacity);
    if (!reply.takes(openRefusal(decoder, "decoder")) || !reply.takes(feedRefusal(count))) {
        return -1;
    }
    decoder->messages.clear();
    return static_cast<int>(decoder->decoder.feed(decoder->input.data(), static_cast<size_t>(count),
                                                  decoder->messages));
}

// Feeds silence until a message in progress completes; returns the messages, or -1 with err.
EMSCRIPTEN_KEEPALIVE int ryxw_decoder_flush(WebDecoder* decoder, char* err, int errCapacity) {
    if (!Reply(err, errCapacity).takes(openRefusal(decoder, "decoder"))) return -1;
    decoder->messages.clear();
    return static_cast<int>(decoder->decoder.flush(decoder->messages));
}

// Message i of the last feed or flush as a WebMessage; null when there is no such message. The
// record stays valid until the next call on this decoder.
EMSCRIPTEN_KEEPALIVE const WebMessage* ryxw_decoder_message(WebDecoder* decoder, int i) {
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
EMSCRIPTEN_KEEPALIVE double ryxw_decoder_position(const WebDecoder* decoder) {
    return decoder != nullptr ? static_cast<double>(decoder->decoder.position()) : 0.0;
}

EMSCRIPTEN_KEEPALIVE int ryxw_decoder_in_message(const WebDecoder* decoder) {
    return decoder != nullptr && decoder->decoder.inMessage() ? 1 : 0;
}

// A spectrum for a live display: write windowSize samples (a power of two 4..8192) at
// ryxw_spectrum_input, call ryxw_spectrum_analyze, read windowSize / 2 + 1 powers (a bin-centred
// sine of amplitude A shows about A^2) at the pointer it returns. Null with err for a bad size.
EMSCRIPTEN_KEEPALIVE WebSpectrum* ryxw_spectrum_new(int windowSize, char* err, int errCapacity) {
    if (!Reply(err, errCapacity).takes(ryxsound::windowSizeRefusal(windowSize))) return nullptr;
    const size_t n = static_cast<size_t>(windowSize);
    return new WebSpectrum{windowSize, std::vector<float>(n), std::vector<float>(n / 2 + 1)};
}

EMSCRIPTEN_KEEPALIVE void ryxw_spectrum_free(WebSpectrum* spectrum) {
    delete spectrum;
}

EMSCRIPTEN_KEEPALIVE float* ryxw_spectrum_input(WebSpectrum* spectrum) {
    return spectrum != nullptr ? spectrum->frame.data() : nullptr;
}

// The powers of the frame at ryxw_spectrum_input; null with err.
EMSCRIPTEN_KEEPALIVE const float* ryxw_spectrum_analyze(WebSpectrum* spectrum, char* err,
                                                        int errCapacity) {
    if (!Reply(err, errCapacity).takes(openRefusal(spectrum, "spectrum"))) return nullptr;
    ryxsound::powerSpectrum(spectrum->frame.data(), spectrum->windowSize, spectrum->power.data());
    return spectrum->power.data();
}

// The profile number (0 fast, 1 robust) of a name; -1 with err for others.
EMSCRIPTEN_KEEPALIVE int ryxw_profile_from_name(const char* name, int length, char* err,
                                                int errCapacity) {
    Reply reply(err, errCapacity);
    std::string_view text;
    ryxsound::Profile profile{};
    if (!reply.takes(viewRefusal(name, length, &text)) ||
        !reply.takes(ryxsound::profileNameRefusal(text, &profile))) {
        return -1;
    }
    return static_cast<int>(profile);
}

EMSCRIPTEN_KEEPALIVE int ryxw_max_payload_bytes() {
    return static_cast<int>(ryxsound::kMaxPayloadBytes);
}

// ryxsound::payloadShape into out for a payload of `size` bytes sent in these plans at
// sampleRate (any rate in range). Returns 1, or 0 with err.
EMSCRIPTEN_KEEPALIVE int ryxw_payload_shape(double size, int profile, int mode, int preset,
                                            float sampleRate, float customBaseHz, int customStep,
                                            WebPayloadShape* out, char* err, int errCapacity) {
    Reply reply(err, errCapacity);
    WebPlans plans;
    size_t bytes = 0;
    const auto chosen = static_cast<ryxsound::Profile>(profile);
    if (!reply.takes(outputRefusal(out)) ||
        !reply.takes(plans.refusal(mode, preset, customBaseHz, customStep)) ||
        !reply.takes(payloadSizeRefusal(size, &bytes)) ||
        !reply.takes(
            ryxsound::payloadShapeRefusal(bytes, chosen, plans.mode, sampleRate, plans.custom))) {
        return 0;
    }
    writeShape(ryxsound::payloadShape(bytes, chosen, plans.mode, sampleRate, plans.custom), out);
    return 1;
}

// ryxsound::payloadRate for payloads in these plans, made in `profile` (0 fast, 1 robust) or, with
// -1, heard: 44100 for mode 2 at 16000 Hz. 0 with err when audio at fileRate cannot hold them.
EMSCRIPTEN_KEEPALIVE float ryxw_payload_rate(int mode, int preset, float fileRate,
                                             float customBaseHz, int customStep, int profile,
                                             char* err, int errCapacity) {
    Reply reply(err, errCapacity);
    WebPlans plans;
    const auto chosen = static_cast<ryxsound::Profile>(profile);
    float rate = 0.0f;
    if (!reply.takes(plans.refusal(mode, preset, customBaseHz, customStep)) ||
        !reply.takes(
            plans.payloadRateRefusal(profile == -1 ? nullptr : &chosen, fileRate, &rate))) {
        return 0.0f;
    }
    return rate;
}

// A payload's transmission, sent `repeat` times, at sampleRate (which must be the plans' rate):
// read ryxw_audio_samples and ryxw_audio_count, then ryxw_audio_free. Null with err.
EMSCRIPTEN_KEEPALIVE WebAudio* ryxw_payload_encode(const uint8_t* data, double size, int profile,
                                                   int mode, int preset, float sampleRate,
                                                   float customBaseHz, int customStep, int repeat,
                                                   char* err, int errCapacity) {
    Reply reply(err, errCapacity);
    WebPlans plans;
    size_t bytes = 0;
    const auto chosen = static_cast<ryxsound::Profile>(profile);
    if (!reply.takes(plans.refusal(mode, preset, customBaseHz, customStep)) ||
        !reply.takes(plans.payloadSampleRateRefusal(sampleRate, &chosen)) ||
        !reply.takes(payloadSizeRefusal(size, &bytes)) ||
        !reply.takes(ryxsound::encodePayloadRefusal(data, bytes, chosen, plans.mode, sampleRate,
                                                    plans.custom, repeat))) {
        return nullptr;
    }
    // The one allocation a caller can make too large for the browser (4096 bytes sent 16 times
    // is over 500 MB): asked for first, so that it is refused rather than trapping.
    const ryxsound::PayloadShape shape =
        ryxsound::payloadShape(bytes, chosen, plans.mode, sampleRate, plans.custom);
    void* room = std::malloc(static_cast<size_t>(repeat) * static_cast<size_t>(shape.totalSamples) *
                             sizeof(float));
    if (!reply.takes(room != nullptr ? "" : "out of memory")) return nullptr;
    std::free(room);
    return new WebAudio{
        ryxsound::encodePayload(data, bytes, chosen, plans.mode, sampleRate, plans.custom, repeat)};
}

EMSCRIPTEN_KEEPALIVE const float* ryxw_audio_samples(const WebAudio* audio) {
    return audio != nullptr ? audio->samples.data() : nullptr;
}
EMSCRIPTEN_KEEPALIVE double ryxw_audio_count(const WebAudio* audio) {
    return audio != nullptr ? static_cast<double>(audio->samples.size()) : 0.0;
}
EMSCRIPTEN_KEEPALIVE void ryxw_audio_free(WebAudio* audio) {
    delete audio;
}

// A payload decoder of these plans at sampleRate, which must be their plan rate; null with err.
EMSCRIPTEN_KEEPALIVE WebPayloadDecoder* ryxw_payload_decoder_new(int mode, int preset,
                                                                 float sampleRate,
                                                                 float customBaseHz, int customStep,
                                                                 char* err, int errCapacity) {
    Reply reply(err, errCapacity);
    WebPlans plans;
    if (!reply.takes(plans.refusal(mode, preset, customBaseHz, customStep)) ||
        !reply.takes(plans.payloadSampleRateRefusal(sampleRate, nullptr)) ||
        !reply.takes(ryxsound::payloadDecoderRefusal(plans.mode, sampleRate, plans.custom))) {
        return nullptr;
    }
    return new WebPayloadDecoder(ryxsound::PayloadDecoder(plans.mode, sampleRate, plans.custom));
}

EMSCRIPTEN_KEEPALIVE void ryxw_payload_decoder_free(WebPayloadDecoder* decoder) {
    delete decoder;
}

// Where the caller writes up to ryxw_decoder_capacity() samples before ryxw_payload_decoder_feed.
EMSCRIPTEN_KEEPALIVE float* ryxw_payload_decoder_input(WebPayloadDecoder* decoder) {
    return decoder != nullptr ? decoder->input.data() : nullptr;
}

// Feeds the first `count` samples of the input area; returns how many payloads were reported
// (read them with ryxw_payload_decoder_payload), or -1 with err.
EMSCRIPTEN_KEEPALIVE int ryxw_payload_decoder_feed(WebPayloadDecoder* decoder, int count, char* err,
                                                   int errCapacity) {
    Reply reply(err, errCapacity);
    if (!reply.takes(openRefusal(decoder, "decoder")) || !reply.takes(feedRefusal(count))) {
        return -1;
    }
    decoder->payloads.clear();
    return static_cast<int>(decoder->decoder.feed(decoder->input.data(), static_cast<size_t>(count),
                                                  decoder->payloads));
}

// Finishes the frames in progress and reports every payload not yet reported; returns their
// count, or -1 with err.
EMSCRIPTEN_KEEPALIVE int ryxw_payload_decoder_flush(WebPayloadDecoder* decoder, char* err,
                                                    int errCapacity) {
    if (!Reply(err, errCapacity).takes(openRefusal(decoder, "decoder"))) return -1;
    decoder->payloads.clear();
    return static_cast<int>(decoder->decoder.flush(decoder->payloads));
}

// Payload i of the last feed or flush; null when there is no such payload. The record and its
// data stay valid until the next call on this decoder.
EMSCRIPTEN_KEEPALIVE const WebPayload* ryxw_payload_decoder_payload(WebPayloadDecoder* decoder,
                                                                    int i) {
    if (decoder == nullptr || i < 0 || static_cast<size_t>(i) >= decoder->payloads.size()) {
        return nullptr;
    }
    const ryxsound::Payload& p = decoder->payloads[static_cast<size_t>(i)];
    WebPayload& r = fillRecord(decoder->record, p.profile, p.plan, p.size, p.framesHeard,
                               p.framesTotal, p.framesNeeded, p.end);
    r.start = static_cast<double>(p.start);
    r.data = p.ok ? p.data.data() : nullptr;
    r.ok = p.ok ? 1 : 0;
    r.confidence = p.confidence;
    r.toneToBandDb = p.toneToBandDb;
    r.levelDbfs = p.levelDbfs;
    return &r;
}

// Takes stock of the payloads whose frames are arriving; returns their count, or -1 with err.
EMSCRIPTEN_KEEPALIVE int ryxw_payload_decoder_progress(WebPayloadDecoder* decoder, char* err,
                                                       int errCapacity) {
    if (!Reply(err, errCapacity).takes(openRefusal(decoder, "decoder"))) return -1;
    decoder->arriving = decoder->decoder.progress();
    return static_cast<int>(decoder->arriving.size());
}

// Payload i of the last ryxw_payload_decoder_progress, its end the end of its last frame heard;
// null when there is no such payload. Valid until the next call on this decoder.
EMSCRIPTEN_KEEPALIVE const WebPayload* ryxw_payload_decoder_arriving(WebPayloadDecoder* decoder,
                                                                     int i) {
    if (decoder == nullptr || i < 0 || static_cast<size_t>(i) >= decoder->arriving.size()) {
        return nullptr;
    }
    const ryxsound::PayloadProgress& p = decoder->arriving[static_cast<size_t>(i)];
    return &fillRecord(decoder->record, p.profile, p.plan, p.size, p.framesHeard, p.framesTotal,
                       p.framesNeeded, p.lastEnd);
}

EMSCRIPTEN_KEEPALIVE double ryxw_payload_decoder_position(const WebPayloadDecoder* decoder) {
    return decoder != nullptr ? static_cast<double>(decoder->decoder.position()) : 0.0;
}

}  // extern "C"
