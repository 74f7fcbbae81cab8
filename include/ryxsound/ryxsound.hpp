// RyxSound's C++ interface: nine base-32 characters as a two-second burst of tone pairs, and back.
//
//   std::vector<float> audio = ryxsound::encode("hello0123", ryxsound::Mode::Audible, 44100.0f);
//   ryxsound::Decoder decoder(ryxsound::Mode::All, 44100.0f);
//   std::vector<ryxsound::Message> messages;
//   decoder.feed(audio.data(), audio.size(), messages);   // any chunk size, any number of calls
//   decoder.flush(messages);                              // finish what is still in progress
//
// Link with RyxSound::ryxsound (CMake) or `pkg-config --libs ryxsound`; C++17.
//
// Every object owns all of its state: encoders and decoders built on different threads share
// nothing mutable, and one object may be used by one thread at a time. Invalid arguments throw
// std::invalid_argument with a message naming the value and what is allowed; nothing a caller
// passes (NaN, infinities, huge values, any length) reads or writes out of bounds.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "ryxsound/export.h"

namespace ryxsound {

// "1.0.0", as RYX_VERSION_STRING of ryxsound/ryx_api.h.
RYX_EXPORT const char* version();

// Modes as the flat C API numbers them. All sends like NonAudible and listens for the audible,
// non-audible and compression plans at once.
enum class Mode : int { Audible = 2, NonAudible = 3, Compression = 4, All = 5, Custom = 6 };
// Frequency plans, as a message reports the one it was sent in.
enum class Plan : int { Audible = 0, NonAudible = 1, Compression = 2, Custom = 3 };
// Standard: the symbol-clock receiver of the flat API. Robust: holds in speech, codecs and weak
// signals (several candidate messages at once, erasure decoding).
enum class Receiver : int { Standard = 0, Robust = 1 };

constexpr int kTextLength = 9;             // characters of one message
constexpr int kToneCount = 9;              // tones of every plan
constexpr int kTransmissionSymbols = 20;   // 2 start, 9 data, checksum, 8 parity
constexpr float kMinSampleRate = 1000.0f;  // Hz, accepted range of sample rates
constexpr float kMaxSampleRate = 1000000.0f;

// Mode and plan names: "audible", "nonaudible", "compression", "all", "custom".
RYX_EXPORT const char* modeName(Mode mode);
RYX_EXPORT const char* planName(Plan plan);
// The mode of a name (case-insensitive; "non-audible" and "non_audible" too); throws for others.
RYX_EXPORT Mode modeFromName(std::string_view name);
// The mode of a number 2..6 (2 audible .. 6 custom); throws naming the numbers for others.
RYX_EXPORT Mode modeFromNumber(int number);
// The plan of a number 0..3 (0 audible .. 3 custom); throws naming the numbers for others.
RYX_EXPORT Plan planFromNumber(int number);
// "robust" or "standard" (case-insensitive) and back; throws naming both for others.
RYX_EXPORT Receiver receiverFromName(std::string_view name);
RYX_EXPORT const char* receiverName(Receiver receiver);

// The custom plan: tone 0 near baseHz, hop of step + 2 analysis bins (tones 3 hops apart).
struct CustomBand {
    float baseHz = 12000.0f;
    int step = 1;  // 0..64
};

// A named preset: a mode with a custom band chosen for a path.
struct Preset {
    const char* name;         // "phone"
    Mode mode;                // Mode::Custom
    CustomBand custom;        // base 600 Hz, step 1: tones 600..about 2800 Hz
    const char* description;  // one line for help texts
};
// The presets, in a fixed order; the table is immutable.
RYX_EXPORT const std::vector<Preset>& presets();
// The preset of that name (case-insensitive); throws std::invalid_argument naming the known ones.
RYX_EXPORT const Preset& presetByName(std::string_view name);

// Where one plan's tones lie at one sample rate.
struct PlanInfo {
    Plan plan;
    float sampleRate;             // Hz
    int windowSize;               // analysis length: 2048 at 44100/48000 Hz, 1024 at 22050
    int symbolSamples;            // 4608 at 44100 Hz, 5015 at 48000 Hz
    int transmissionSamples;      // 20 symbols: 92160 at 44100 Hz
    std::array<float, 9> toneHz;  // tone 0..8 before the hop; audible at 44100: 3294.6..9323.9
    std::array<int, 9> toneBins;  // their analysis bins; audible at 44100: 153..433
    float hopHz;                  // hop step; the symbols at positions 2, 3, 4 hop 1, 2, 0 steps
    int hopBins;                  // receiving hop in bins (12 for audible at 44100)
    float bandLowHz;              // tone 0
    float bandHighHz;             // tone 8 raised by two hops: the highest frequency sent
    bool fits;                    // both receivers hear it: nine distinct tones, each with its
                                  // hops below the Nyquist frequency (not so for the audible plan
                                  // above 384000 Hz, whose tones merge into one)
};
// The one check of a sample rate: throws std::invalid_argument ("sample rate 0 Hz is outside
// 1000..1000000 Hz") unless the rate is finite and within kMinSampleRate..kMaxSampleRate.
RYX_EXPORT void checkSampleRate(float sampleRate);

// Throws for a rate outside kMinSampleRate..kMaxSampleRate or not finite.
RYX_EXPORT PlanInfo planInfo(Plan plan, float sampleRate, CustomBand custom = {});
// The plans a mode sends (one) or listens for (All: audible, non-audible, compression).
RYX_EXPORT std::vector<Plan> plansOf(Mode mode);
// Rates a mode works at, best first: 44100 and 48000 Hz, and 22050 Hz where its plans fit.
RYX_EXPORT std::vector<float> supportedRates(Mode mode, CustomBand custom = {});
// Throws std::invalid_argument unless every plan of `mode` fits (PlanInfo::fits) at sampleRate
// (and the rate is within range), naming the plan, its highest frequency and the rate, or its
// tones and the bin width that merges them.
RYX_EXPORT void checkModeFits(Mode mode, float sampleRate, CustomBand custom = {});

// The rule that keeps the sound in the air the same at every file rate. Audio at fileRate is
// synthesised and analysed at the returned plan rate and converted between the two:
//  - fileRate itself when it is one of supportedRates(mode) (44100, 48000, 22050 Hz);
//  - else the nearer by ratio of 44100 and 48000 Hz at which the mode fits: 44100 up to 46009 Hz
//    (8000, 16000, 32000 -> 44100), 48000 above it (88200, 96000, 192000 -> 48000).
// Throws std::invalid_argument, naming the band and the rate, when audio at fileRate cannot hold
// the mode: the highest tone of its plan at the plan rate must lie below 0.45 fileRate (for mode
// All, of at least one of its three plans: the others cannot be in such audio; All sends the
// non-audible plan, so an encoder for All asks with Mode::NonAudible). For example the audible
// plan at 8000 Hz: "audio at 8000 Hz holds up to 3600 Hz, the audible plan reaches 9840.67 Hz:
// use a higher rate". Rate range errors as checkSampleRate.
RYX_EXPORT float planRate(Mode mode, float fileRate, CustomBand custom = {});
// The same for a preset, whose band holds only at 44100 and 48000 Hz: 22050 Hz and every other
// rate go to the nearer of the two (phone at 8000 or 22050 Hz -> 44100 Hz).
RYX_EXPORT float planRate(const Preset& preset, float fileRate);

struct EncodeOptions {
    std::string melody;             // base-32 notes, one per symbol ('0' = 440 Hz, + semitones)
    bool randomTones = false;       // one random gliding note per symbol instead of a melody
    float randomToneGainDb = 0.0f;  // their gain
    std::vector<float> signature;   // mixed into the first samples, sums limited to -1..1
};

class RYX_EXPORT Encoder {
  public:
    // Throws for a rate out of range or a plan that does not fit below half the rate.
    Encoder(Mode mode, float sampleRate, CustomBand custom = {});
    ~Encoder();
    Encoder(Encoder&&) noexcept;
    Encoder& operator=(Encoder&&) noexcept;

    // Encodes nine base-32 characters ('0'-'9', 'a'-'v', either case) and returns the sample
    // count: 20 symbols, 92160 at 44100 Hz (longer only for a melody of more than 20 notes).
    // Throws for a wrong length or character (naming it and its position), a melody note
    // outside the alphabet or longer than ten seconds, or both a melody and random tones.
    size_t encode(std::string_view text, const EncodeOptions& options = {});
    // The last encode's samples, -1..1 (valid until the next encode).
    const float* samples() const;
    size_t sampleCount() const;

    Mode mode() const;         // as constructed
    float sampleRate() const;  // Hz, as constructed

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// One transmission as a new vector.
RYX_EXPORT std::vector<float> encode(std::string_view text, Mode mode, float sampleRate,
                                     const EncodeOptions& options = {}, CustomBand custom = {});

// The two frequencies (Hz, hop included) of each of the 20 symbols that send `text` in `plan`:
// what an encoder at sampleRate sounds, symbol by symbol. The start symbols 0 and 1 sound one
// tone, given twice; "hello0123" in the audible plan at 44100 Hz begins {3294.6, 3294.6}. Throws
// as planInfo for the rate and as Encoder::encode for the text.
using TonePair = std::array<float, 2>;
RYX_EXPORT std::array<TonePair, kTransmissionSymbols> messageTones(std::string_view text, Plan plan,
                                                                   float sampleRate,
                                                                   CustomBand custom = {});

// Adds `signature` to the first min(signatureCount, 20 symbols, audioCount) samples of audio in
// place, limiting those sums to -1..1.
RYX_EXPORT void mixSignature(float* audio, size_t audioCount, const float* signature,
                             size_t signatureCount, float sampleRate);

struct Message {
    std::string text;            // nine characters, lower case; trust it only when ok
    bool ok = false;             // error correction succeeded, start symbols and checksum match
    Plan plan = Plan::Audible;   // the plan it was sent in
    int64_t start = 0;           // sample offset of its first start symbol in the fed stream
    int64_t end = 0;             // sample offset just after its last symbol
    float confidence = 0.0f;     // 0..1
    float toneToBandDb = 0.0f;   // mean level of the decided tones over their band's mean, dB
    float levelDbfs = 0.0f;      // received tone level, dB relative to a full-scale sine (>= -120)
    float cleanShare = 0.0f;     // share 0..1 of the 12 message symbols received without
                                 // correction; 0 for a message that failed (ok false)
    std::vector<int> corrected;  // message symbols (0, 1 start, 2..10 text, 11 checksum) that
                                 // error correction changed; empty for a failed message
};

class RYX_EXPORT Decoder {
  public:
    // Throws for a rate out of range or a plan that does not fit below half the rate.
    Decoder(Mode mode, float sampleRate, Receiver receiver = Receiver::Robust,
            CustomBand custom = {});
    ~Decoder();
    Decoder(Decoder&&) noexcept;
    Decoder& operator=(Decoder&&) noexcept;

    // Feeds `count` samples (values that are not finite count as silence) and appends the
    // messages they complete to `out`; returns how many it appended. samples may be null only
    // with count 0.
    size_t feed(const float* samples, size_t count, std::vector<Message>& out);
    // Feeds silence until a message in progress completes (or start symbols heard at the very
    // end are recognised) and appends what completes; returns how many.
    size_t flush(std::vector<Message>& out);

    int64_t position() const;   // samples fed by the caller (flush's silence included)
    bool inMessage() const;     // between a recognised start and the message's completion
    Mode mode() const;          // as constructed
    float sampleRate() const;   // Hz, as constructed
    Receiver receiver() const;  // as constructed

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// ---------------------------------------------------------------------------------------------
// Payloads: 1 to 4096 bytes of anything, sent as frames of their own beside the nine-character
// texts (which they are never taken for, nor the texts for them).
//
//   std::vector<float> audio = ryxsound::encodePayload(bytes.data(), bytes.size(),
//                                                      ryxsound::Profile::Robust,
//                                                      ryxsound::Mode::Audible, 44100.0f);
//   ryxsound::PayloadDecoder decoder(ryxsound::Mode::All, 44100.0f);
//   std::vector<ryxsound::Payload> payloads;
//   decoder.feed(audio.data(), audio.size(), payloads);
//   decoder.flush(payloads);
//
// A payload is cut into frames of 50 bytes (its last frame padded), with a CRC-32 over the whole
// payload and one parity frame for every nine (at least one): any frames up to the parity count
// may be lost and the payload is still delivered whole. Each frame opens with four sync symbols
// and carries four Reed-Solomon words, interleaved over its tones, that hold the payload's
// length, identity and the frame's index. A payload is delivered whole (ok) or reported failed,
// never changed.

// Fast: short symbols and three tones at once, for a quiet room or a cable (140 bytes in 4.3 s
// in the audible plan). Robust: longer symbols hopping between three tone sets, for speech,
// codecs, rooms and clock drift (140 bytes in 12.3 s in the audible plan).
enum class Profile : int { Fast = 0, Robust = 1 };
RYX_EXPORT const char* profileName(Profile profile);  // "fast", "robust"
// The profile of a name (case-insensitive); throws naming both for others.
RYX_EXPORT Profile profileFromName(std::string_view name);

constexpr size_t kMaxPayloadBytes = 4096;

// How a payload of `size` bytes is sent in one profile and mode at one rate.
struct PayloadShape {
    int dataFrames;       // ceil((size + 4) / 50): 3 for 140 bytes
    int parityFrames;     // ceil(dataFrames / 9): 1 for 140 bytes, 10 for 4096
    int frameSamples;     // samples of one frame at the rate
    int totalSamples;     // the whole transmission (every frame once)
    double seconds;       // its time on air
    int channels;         // tones sounding at once (1..3)
    float symbolSeconds;  // one symbol: 1024 or 2048 / 44100 s (twice that in narrow bands)
};
// Throws std::invalid_argument for a size outside 1..4096, a rate out of range, or a mode whose
// band is too narrow for the profile at that rate (and for Mode::All, which sends the
// non-audible plan: ask with Mode::NonAudible).
RYX_EXPORT PayloadShape payloadShape(size_t size, Profile profile, Mode mode, float sampleRate,
                                     CustomBand custom = {});

// One payload transmission as a new vector (repeat: sent that many times back to back, 1..16).
// Throws std::invalid_argument for an empty payload or one over kMaxPayloadBytes, a null data
// pointer with a size, a repeat outside 1..16, and as payloadShape.
RYX_EXPORT std::vector<float> encodePayload(const uint8_t* data, size_t size, Profile profile,
                                            Mode mode, float sampleRate, CustomBand custom = {},
                                            int repeat = 1);

// planRate's rule for payloads, which ask how high the payload's own tones reach, not the text
// plan's band (audible payloads sound at 1200..5864 Hz): audible payloads at 16000 Hz and the
// phone preset's at 8000 Hz are made and heard at 44100 Hz and converted. With a profile, for a
// sender (Mode::All sends the non-audible plan, as encodePayload does); without, for a
// PayloadDecoder, which hears both profiles in every plan of the mode. Throws
// std::invalid_argument naming the payload's band when audio at fileRate cannot hold it: "audio
// at 8000 Hz holds up to 3600 Hz, robust payloads in the audible plan reach 5485.13 Hz: use a
// higher rate".
RYX_EXPORT float payloadRate(Profile profile, Mode mode, float fileRate, CustomBand custom = {});
RYX_EXPORT float payloadRate(Mode mode, float fileRate, CustomBand custom = {});
RYX_EXPORT float payloadRate(Profile profile, const Preset& preset, float fileRate);
RYX_EXPORT float payloadRate(const Preset& preset, float fileRate);

struct Payload {
    std::vector<uint8_t> data;  // the payload; empty unless ok
    bool ok = false;            // every byte recovered and the CRC-32 matches
    Profile profile = Profile::Robust;
    Plan plan = Plan::Audible;
    int64_t start = 0;          // sample offset where the first frame heard begins
    int64_t end = 0;            // sample offset just after the last frame heard
    int framesHeard = 0;        // distinct frames decoded
    int framesTotal = 0;        // frames of the transmission (data and parity)
    int framesNeeded = 0;       // data frames: any this many frames deliver it
    size_t size = 0;            // the payload's length in bytes, as its frames say
    float confidence = 0.0f;    // 0..1, mean over the frames heard, times the share of the
                                // needed frames heard when fewer were
    float toneToBandDb = 0.0f;  // as Message
    float levelDbfs = 0.0f;     // as Message
};

// A payload being received: what PayloadDecoder::progress() reports while frames arrive.
struct PayloadProgress {
    Profile profile;
    Plan plan;
    size_t size;       // bytes
    int framesHeard;   // distinct frames so far
    int framesNeeded;  // frames that deliver it
    int framesTotal;   // frames sent
    int64_t lastEnd;   // sample offset just after the last frame heard
};

class RYX_EXPORT PayloadDecoder {
  public:
    // Listens for both profiles in the plans of `mode` (All: audible, non-audible and
    // compression) where they can be heard at sampleRate. Throws std::invalid_argument for an
    // unknown mode, a rate out of range, a bad custom band, or a rate at which none can be.
    PayloadDecoder(Mode mode, float sampleRate, CustomBand custom = {});
    ~PayloadDecoder();
    PayloadDecoder(PayloadDecoder&&) noexcept;
    PayloadDecoder& operator=(PayloadDecoder&&) noexcept;

    // Feeds `count` samples (values that are not finite count as silence) and appends the
    // payloads they complete: each payload once, as soon as enough frames are heard (ok), or
    // failed when its frames stop before that. Returns how many it appended.
    size_t feed(const float* samples, size_t count, std::vector<Payload>& out);
    // Finishes: decodes frames still in progress and reports every payload not yet reported.
    size_t flush(std::vector<Payload>& out);
    // Payloads whose frames are arriving, not yet reported.
    std::vector<PayloadProgress> progress() const;

    int64_t position() const;  // samples fed by the caller (flush's silence included)
    Mode mode() const;
    float sampleRate() const;

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// The windowed power spectrum the receivers analyse: frame of windowSize samples in,
// windowSize / 2 + 1 raw powers out (a bin-centred sine of amplitude A shows about A^2).
// windowSize a power of two 4..8192; throws otherwise.
RYX_EXPORT void powerSpectrum(const float* frame, int windowSize, float* out);

}  // namespace ryxsound
