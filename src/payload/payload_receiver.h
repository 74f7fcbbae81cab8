// The payload receiver: hears the frames of both profiles in the plans it is given, gathers the
// frames of each payload and reports the payload once: whole as soon as enough frames are heard
// (any data-frame count of them, the outer code fills in the rest), or failed when its frames
// stop coming before that.
//
// How it hears a frame:
//  - Scanning: every quarter symbol (a slice) one FFT of the last symbol's samples, zero-padded
//    to twice its length, gives each tone's energy, taken as the strongest bin within +-2500 ppm
//    of it. The sync test at slice s: over the four sync slots (slices s, s+4, s+8, s+12) and
//    every channel, the sync tone's energy over the mean of its set's 32, capped at
//    kSyncRatioCap, averaged; a test that clears kSyncThreshold and is the strongest (summed log
//    ratios) within +-3 slices is a candidate; candidates never block one another (a full list
//    drops its weakest), but one that opens inside a frame already heard is not decoded.
//  - Decoding a candidate, once its whole frame is in the sample ring: the sync test again at
//    nine timings (-1 .. +1 slice) and nine clock-drift hypotheses (-2000 .. 2000 ppm),
//    each tone read at its drifted frequency; then, for the kTriedTimings best until a frame
//    checks, every data slot's FFT gives each channel's symbol (its strongest tone) and how
//    reliable it is (strongest over second). Each of the four words is decoded with 0, 2, 4, 6 or 8
//    of its least reliable symbols erased and the kChaseSymbols next at their best or second best
//    tone, and the word whose tones are loudest kept; a frame counts when all four words decode,
//    the corrections are few and plausible (kMaxCorrections, kMaxRankSum) and the frame check
//    matches.
//
// Memory: a sample ring of the longest frame plus two symbols (5.9 s of robust audible frames at
// 44100 Hz take 1 MiB), per profile and plan a ring of 32 slices of tone energies, and
// kMaxAssemblies payloads of up to 92 frames. Nothing is allocated after construction.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "payload/frame_erasure_code.h"
#include "payload/payload_layout.h"

namespace RYX {

struct ReceivedPayload {
    std::vector<uint8_t> data;  // empty unless ok
    bool ok = false;
    PayloadProfile profile = PayloadProfile::Robust;
    Plan plan = Plan::Audible;
    int64_t start = 0;
    int64_t end = 0;
    int framesHeard = 0;
    int framesTotal = 0;
    int framesNeeded = 0;
    int size = 0;
    float confidence = 0.0f;
    float toneToBandDb = 0.0f;
    float levelDbfs = -120.0f;
};

class PayloadReceiver {
  public:
    // A sync slot whose tone stands out counts up to kSyncRatioCap. A weak frame's sync reaches
    // 3.0 where 5.0 (three of four slots standing out, with one channel) lost it before it was
    // decoded: with one channel (the narrow plans) payloads reach 2.5 to 3 dB further, with two
    // or three (audible) the threshold matters less than kTriedTimings. White noise alone opened
    // no candidate even at 2.5. The price is paid with one channel: two of its four slots
    // standing out give 4, which a transmission's own data symbols do in about one slice of 170;
    // such candidates inside a frame already heard are dropped, but those inside the other
    // profile's frames are decoded and fail (a strong one-channel payload takes about 0.7% of
    // its time on air to hear, where it took 0.3%).
    static constexpr float kSyncThreshold = 3.0f;
    static constexpr float kSyncRatioCap = 8.0f;
    static constexpr int kDriftHypotheses = 9;  // -2000 .. 2000 ppm in steps of 500
    static constexpr int kTimings = 9;          // -1 .. +1 slice in quarters
    // The timings and drifts (of the 81) decoded, best sync score first, until a frame checks,
    // by the layout's channels. With two or three, a weak frame's true one is often not among
    // the first few: of 30 payloads in white noise at -13 dB (audible fast), trying 3 heard 14
    // whole, 9 heard 27, 27 heard 29, all 81 no more; at -17.5 dB (audible robust) 9, 17, 23
    // and 24. With one channel 27 heard no more than 3 (18 of 20 at -17 dB, non-audible fast),
    // and its candidates from data symbols would cost nine times as much.
    static constexpr std::array<int, PayloadLayout::kMaxChannels + 1> kTriedTimings{0, 3, 27, 27};
    static constexpr int kMaxAssemblies = 6;
    // What a frame of noise cannot pass. Each word may have up to all eight of its parity
    // symbols' worth of least reliable symbols erased, which any word of noise passes; so a frame
    // counts only when error correction changed at most kMaxCorrections of its 124 symbols and
    // the decided tones sit high in their symbols: the rank sum (over the 124 code symbols, the
    // tones of the set at least as loud as the decided one) at most kMaxRankSum. Measured over
    // white noise to -20 dB, babble, crowds and codecs: frames that decode have rank sums up to
    // about 50, noise that gets through the words 138 and more (with 24 changes or fewer).
    // Then the frame's 20 check bits.
    static constexpr int kMaxCorrections = 24;
    static constexpr int kMaxRankSum = 80;
    // Symbols after the erased ones tried at their second best tone as well: each word is
    // decoded 5 x 2^3 = 40 ways (0, 2, 4, 6 or 8 erased), the loudest word that decodes kept.
    static constexpr int kChaseSymbols = 3;

    // Listens for both profiles in each of `plans` where the profile fits at the rate. Throws
    // std::invalid_argument for no plans, a rate out of range, or nothing that fits.
    PayloadReceiver(const std::vector<Plan>& plans, const CustomBand& custom, float sampleRate);

    void feed(const float* samples, size_t count, std::vector<ReceivedPayload>& out);
    void flush(std::vector<ReceivedPayload>& out);
    int64_t position() const { return position_; }
    // The payloads whose frames are arriving (not yet reported), written as ReceivedPayload
    // without data.
    void progress(std::vector<ReceivedPayload>& out) const;

  private:
    static constexpr int kRingSlices = 32;
    static constexpr int kMaxCandidates = 32;
    static constexpr int kPeakHalfWidth = 3;

    struct Candidate {
        int64_t start = 0;  // sample of the first sync slot
        float score = 0.0f;
    };
    struct Scanner {
        PayloadLayout layout;
        int tones = 0;            // channels x sets x 32
        std::vector<int> binLow;  // per tone: the scan's bins within +-2500 ppm
        std::vector<int> binHigh;
        std::vector<float> energy;    // kRingSlices x tones
        std::vector<float> score;     // kRingSlices: the sync test's capped score
        std::vector<float> strength;  // and its uncapped strength (syncStrength summed)
        int64_t slices = 0;           // slices analysed
        std::array<Candidate, kMaxCandidates> candidates{};
        int candidateCount = 0;
        // Candidates opening before this sample lie inside a frame already heard (its own data
        // symbols at the sync tones): they are dropped undecoded.
        int64_t heardUntil = 0;
        int64_t due() const;  // sample position by which a candidate's frame is whole
    };
    struct FrameResult {
        bool ok = false;
        FrameHeader header;
        FrameErasureCode::Row body{};
        int64_t start = 0;
        float confidence = 0.0f;
        float toneToBandDb = 0.0f;
        float level = 0.0f;  // mean decided tone amplitude
    };
    struct Assembly {
        bool used = false;
        bool reported = false;
        PayloadProfile profile = PayloadProfile::Robust;
        Plan plan = Plan::Audible;
        uint32_t identity = 0;
        int size = 0;
        int dataFrames = 0;
        int parityFrames = 0;
        int frameSamples = 0;
        std::array<FrameErasureCode::Row, kMaxFrames> rows{};
        std::array<bool, kMaxFrames> present{};
        int heard = 0;
        int64_t start = 0;
        int64_t end = 0;
        double confidence = 0.0;
        double toneToBandDb = 0.0;
        double level = 0.0;
    };

    void analyseSlice(Scanner& sc);
    struct SyncTest {
        float score = 0.0f;     // mean capped ratio: what clears kSyncThreshold
        float strength = 0.0f;  // summed log ratio: what ranks timings and candidates
    };
    SyncTest syncTest(const Scanner& sc, int64_t first) const;
    void decodeCandidate(Scanner& sc, const Candidate& c, std::vector<ReceivedPayload>& out);
    FrameResult decodeFrame(const Scanner& sc, int64_t start, double drift);
    // Power spectrum (fftSize / 2 + 1 bins) of the window of `sc` starting at sample `first`.
    void spectrumAt(const Scanner& sc, int64_t first);
    double binOf(const Scanner& sc, int set, int channel, int tone, double drift) const;
    void addFrame(const Scanner& sc, const FrameResult& frame, std::vector<ReceivedPayload>& out);
    void report(Assembly& a, bool ok, std::vector<ReceivedPayload>& out);
    ReceivedPayload describe(const Assembly& a) const;
    void expire(bool all, std::vector<ReceivedPayload>& out);

    float sampleRate_ = 0.0f;
    std::vector<Scanner> scanners_;
    std::vector<float> ring_;  // the last ring_.size() samples, sample p at p % size
    int64_t position_ = 0;
    std::vector<float> fftBuffer_;
    std::vector<float> power_;
    std::array<std::array<float, PayloadLayout::kSetTones>, kFrameCodeSymbols> codeEnergy_{};
    std::vector<float> syncPower_;  // kTimings x kSyncSymbols spectra of the candidate
    ReedSolomonCodec codec_;
    std::array<Assembly, kMaxAssemblies> assemblies_{};
    FrameErasureCode outer_;
};

}  // namespace RYX
