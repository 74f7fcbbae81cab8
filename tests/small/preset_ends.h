// Both ends of a streaming preset (api/stream_presets.h) as one build makes them, behind plain
// types: preset_ends.cpp is compiled twice, in default_build with the desktop's storage and in
// small_build with the small storage (RYX_SMALL_STORAGE, the core in namespace RyxSmall), so one
// test holds both.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace default_build {
// The texts the robust receiver of `preset` hears in `audio` (at the preset's rate), fed 256
// samples at a time, then flushed.
std::vector<std::string> hear(int preset, const std::vector<float>& audio);
// The synthesiser's samples of `text` (nine characters) for `preset`.
std::vector<float> encode(int preset, const char* text);
// The payload encoder's samples of `data` for `preset` in `profile` (RYX_STREAM_PAYLOAD_...),
// rendered in blocks of 1000; empty where the profile does not fit.
std::vector<float> encodePayload(int preset, int profile, const std::vector<uint8_t>& data);
// The preset's sample rate.
float sampleRate(int preset);
}  // namespace default_build

namespace small_build {
std::vector<std::string> hear(int preset, const std::vector<float>& audio);
std::vector<float> encode(int preset, const char* text);
std::vector<float> encodePayload(int preset, int profile, const std::vector<uint8_t>& data);
float sampleRate(int preset);
}  // namespace small_build
