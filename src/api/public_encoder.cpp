// ryxsound::Encoder: argument checks in front of the multi-tone encoder.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <string>

#include "api/refusals.h"
#include "encoder/multi_tone_encoder.h"
#include "modes/frequency_plan.h"
#include "modes/phrase.h"
#include "modes/symbol_alphabet.h"
#include "ryxsound/ryxsound.hpp"

namespace ryxsound {
namespace {

using RYX::phrase;

RYX::Plan sendingPlan(Mode mode) {
    switch (mode) {
        case Mode::Audible:
            return RYX::Plan::Audible;
        case Mode::Compression:
            return RYX::Plan::Compression;
        case Mode::Custom:
            return RYX::Plan::Custom;
        default:
            return RYX::Plan::NonAudible;  // non-audible, and what the all-modes sender uses
    }
}

// Length in bytes of the UTF-8 character at the start of `text`: 1 for ASCII and for a byte that
// does not begin a well-formed sequence, 2..4 for a whole multi-byte character ("é" is 2).
size_t characterBytes(std::string_view text) {
    const unsigned char lead = static_cast<unsigned char>(text[0]);
    const size_t length = lead >= 0xf0 && lead < 0xf5   ? 4
                          : lead >= 0xe0 && lead < 0xf0 ? 3
                          : lead >= 0xc2 && lead < 0xe0 ? 2
                                                        : 1;
    if (length > text.size()) return 1;
    for (size_t k = 1; k < length; ++k) {
        if ((static_cast<unsigned char>(text[k]) & 0xc0) != 0x80) return 1;
    }
    return length;
}

// Characters of `text` as a reader counts them: "héllo0123" has 9.
size_t characterCount(std::string_view text) {
    size_t count = 0;
    for (size_t i = 0; i < text.size(); i += characterBytes(text.substr(i))) ++count;
    return count;
}

// `text` in quotes: printable ASCII and whole UTF-8 characters as they are, other bytes as \xNN.
std::string quoted(std::string_view text) {
    std::string out = "'";
    for (size_t i = 0; i < text.size();) {
        const size_t n = characterBytes(text.substr(i));
        const unsigned char u = static_cast<unsigned char>(text[i]);
        if (n > 1 || (u >= 0x20 && u < 0x7f)) {
            out.append(text.substr(i, n));
        } else {
            const char* digits = "0123456789abcdef";
            out.append("\\x").append(1, digits[u >> 4]).append(1, digits[u & 15]);
        }
        i += n;
    }
    return out + "'";
}

// Unless every character is in the base-32 alphabet, names the first that is not and its
// position in characters: "text 'héllo0123' has 'é' at position 2, ...".
std::string alphabetRefusal(std::string_view text, const char* what) {
    size_t position = 1;
    for (size_t i = 0; i < text.size(); ++position) {
        const size_t n = characterBytes(text.substr(i));
        if (n > 1 || RYX::charToSymbol(static_cast<unsigned char>(text[i])) < 0) {
            return phrase(
                "%s %s has %s at position %zu, which is not a base-32 character (use "
                "0-9 and a-v)",
                what, quoted(text).c_str(), quoted(text.substr(i, n)).c_str(), position);
        }
        i += n;
    }
    return {};
}

}  // namespace

std::string textRefusal(std::string_view text) {
    if (characterCount(text) != static_cast<size_t>(kTextLength)) {
        return phrase("text must be exactly 9 characters long, got %zu: %s", characterCount(text),
                      quoted(text).c_str());
    }
    return alphabetRefusal(text, "text");
}

std::string encodeRefusal(float sampleRate, std::string_view text, const EncodeOptions& options) {
    if (std::string refusal = textRefusal(text); !refusal.empty()) return refusal;
    const int symbol = RYX::symbolDuration(sampleRate);
    const size_t maxNotes =
        symbol > 0 ? static_cast<size_t>(RYX::Encoder::capacityFor(sampleRate) / symbol) : 0;
    if (!options.melody.empty()) {
        if (options.randomTones) return "choose either a melody or random tones, not both";
        if (options.melody.size() > maxNotes) {
            return phrase("a melody has at most %zu notes at this sample rate, got %zu", maxNotes,
                          options.melody.size());
        }
        if (std::string refusal = alphabetRefusal(options.melody, "melody"); !refusal.empty()) {
            return refusal;
        }
    }
    if (!std::isfinite(options.randomToneGainDb)) {
        return "the random tones' gain must be a finite number of dB";
    }
    return {};
}

struct Encoder::Impl {
    Impl(Mode m, float rate, CustomBand band)
        : mode(m), custom(band), core(sendingPlan(m), rate, 0, RYX::windowSizeFor(rate)) {}
    Mode mode;
    CustomBand custom;
    RYX::MultiToneEncoder core;
};

Encoder::Encoder(Mode mode, float sampleRate, CustomBand custom) {
    checkModeFits(mode, sampleRate, custom);
    impl_ = std::make_unique<Impl>(mode, sampleRate, custom);
}

Encoder::~Encoder() = default;
Encoder::Encoder(Encoder&&) noexcept = default;
Encoder& Encoder::operator=(Encoder&&) noexcept = default;

size_t Encoder::encode(std::string_view text, const EncodeOptions& options) {
    RYX::MultiToneEncoder& core = impl_->core;
    refuseIf(encodeRefusal(core.sampleRate(), text, options));
    const int32_t synthMode = options.randomTones ? 1 : options.melody.empty() ? 0 : 2;
    const RYX::SynthesisSettings settings{{impl_->custom.baseHz, impl_->custom.step},
                                          options.randomToneGainDb};
    core.setAudioSignature(static_cast<int32_t>(std::min<size_t>(options.signature.size(),
                                                                 static_cast<size_t>(INT32_MAX))),
                           options.signature.empty() ? nullptr : options.signature.data());
    const int32_t count = core.encode(text.data(), synthMode, kTextLength, options.melody.data(),
                                      static_cast<int32_t>(options.melody.size()), settings);
    if (count <= 0) {
        refuse(phrase("the %s plan cannot hold a transmission at this sample rate",
                      modeName(impl_->mode)));
    }
    return static_cast<size_t>(count);
}

const float* Encoder::samples() const {
    return impl_->core.samples();
}
size_t Encoder::sampleCount() const {
    return static_cast<size_t>(impl_->core.sampleCount());
}
Mode Encoder::mode() const {
    return impl_->mode;
}
float Encoder::sampleRate() const {
    return impl_->core.sampleRate();
}

std::vector<float> encode(std::string_view text, Mode mode, float sampleRate,
                          const EncodeOptions& options, CustomBand custom) {
    Encoder encoder(mode, sampleRate, custom);
    const size_t count = encoder.encode(text, options);
    return std::vector<float>(encoder.samples(), encoder.samples() + count);
}

std::array<TonePair, kTransmissionSymbols> messageTones(std::string_view text, Plan plan,
                                                        float sampleRate, CustomBand custom) {
    const PlanInfo info = planInfo(plan, sampleRate, custom);
    refuseIf(textRefusal(text));
    const RYX::Plan corePlan = static_cast<RYX::Plan>(plan);
    const RYX::Tuning tuning = RYX::makeTuning(sampleRate, {custom.baseHz, custom.step});
    RYX::MultiToneEncoder framer(corePlan, sampleRate, info.transmissionSamples, tuning.windowSize);
    RYX::SynthesisSettings settings;
    settings.custom = tuning.custom;
    if (framer.encode(text.data(), 0, kTextLength, nullptr, 0, settings) == 0 ||
        framer.frameLength() != kTransmissionSymbols) {
        refuse(
            phrase("the %s plan cannot hold a transmission at this sample rate", planName(plan)));
    }
    std::array<TonePair, kTransmissionSymbols> tones{};
    for (int position = 0; position < kTransmissionSymbols; ++position) {
        TonePair& pair = tones[static_cast<size_t>(position)];
        RYX::symbolFrequencies(corePlan, framer.frame()[position], position, tuning, pair.data());
        if (position < 2) pair[1] = pair[0];  // the start symbols sound their lower tone
    }
    return tones;
}

void mixSignature(float* audio, size_t audioCount, const float* signature, size_t signatureCount,
                  float sampleRate) {
    if (audio == nullptr || signature == nullptr) return;
    const float limit = sampleRate * RYX::kSymbolSeconds * 20.0f;
    const size_t most = limit > 0.0f && limit < 2147483648.0f ? static_cast<size_t>(limit) : 0;
    const size_t n = std::min({signatureCount, most, audioCount});
    for (size_t i = 0; i < n; ++i) audio[i] = std::clamp(audio[i] + signature[i], -1.0f, 1.0f);
}

}  // namespace ryxsound
