// The C++ interface's argument checks as values: each returns the message of the
// std::invalid_argument the interface throws for those arguments, or an empty string when it
// takes them. The interface throws what they return (refuseIf); the web module, built without
// exceptions, asks them before it calls the interface, which then never throws.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "modes/refuse.h"
#include "ryxsound/ryxsound.hpp"

namespace ryxsound {

using RYX::refuse;
// Throws std::invalid_argument with `refusal` unless it is empty.
void refuseIf(const std::string& refusal);

// modeFromNumber and planFromNumber.
std::string modeNumberRefusal(int number);
std::string planNumberRefusal(int number);
// modeFromName, receiverFromName, profileFromName and presetByName; what the name stands for goes
// to *out when it is known.
std::string modeNameRefusal(std::string_view name, Mode* out);
std::string receiverNameRefusal(std::string_view name, Receiver* out);
std::string profileNameRefusal(std::string_view name, Profile* out);
std::string presetNameRefusal(std::string_view name, const Preset** out);

// checkSampleRate.
std::string sampleRateRefusal(float sampleRate);
// checkModeFits, for a mode of the enumeration.
std::string modeFitsRefusal(Mode mode, float sampleRate, CustomBand custom);
// What the Decoder and PayloadDecoder constructors check: the mode number, the rate and the fit.
std::string listenerRefusal(Mode mode, float sampleRate, CustomBand custom);
// planRate for a mode of the enumeration and for a preset; the plan rate goes to *rate.
std::string planRateRefusal(Mode mode, float fileRate, CustomBand custom, float* rate);
std::string planRateRefusal(const Preset& preset, float fileRate, float* rate);

// How high a sound made at a plan rate reaches: of the sounds asked about, the one that reaches
// least (audio that cannot hold it holds none of them), said for a refusal ("the audible plan
// reaches", "robust payloads in the audible plan reach"); or why none can be made at that rate.
struct Reach {
    float topHz = 0.0f;
    std::string reaches;
    std::string refusal;
};
// planRate's rule for any sound in the plans of `mode`: the file rate itself where it is a plan
// rate of the mode (22050 Hz only with nativeHalfRate) and the sound can be made there, else the
// nearer by ratio of 44100 and 48000 Hz, if audio at fileRate holds what `reachAt` says the sound
// made there reaches.
std::string soundRateRefusal(Mode mode, float fileRate, CustomBand custom, bool nativeHalfRate,
                             const std::function<Reach(float planRate)>& reachAt, float* rate);
// payloadRate for a mode of the enumeration and for a preset: a sender's profile, or null for a
// decoder, which listens for both.
std::string payloadRateRefusal(const Profile* profile, Mode mode, float fileRate, CustomBand custom,
                               float* rate);
std::string payloadRateRefusal(const Profile* profile, const Preset& preset, float fileRate,
                               float* rate);
// What the PayloadDecoder constructor checks: the mode number, the rate, the custom band, and a
// payload of the mode's plans that can be heard at the rate.
std::string payloadDecoderRefusal(Mode mode, float sampleRate, CustomBand custom);
// The custom band of Mode::Custom (its step and base), whatever the rate; "" for other modes.
std::string customBandRefusal(Mode mode, CustomBand custom);

// The text of Encoder::encode and messageTones: nine base-32 characters.
std::string textRefusal(std::string_view text);
// Encoder::encode by an encoder at sampleRate: the text and the options.
std::string encodeRefusal(float sampleRate, std::string_view text, const EncodeOptions& options);

// payloadShape.
std::string payloadShapeRefusal(size_t size, Profile profile, Mode mode, float sampleRate,
                                CustomBand custom);
// encodePayload.
std::string encodePayloadRefusal(const uint8_t* data, size_t size, Profile profile, Mode mode,
                                 float sampleRate, CustomBand custom, int repeat);

// The window size of powerSpectrum.
std::string windowSizeRefusal(int windowSize);

}  // namespace ryxsound
