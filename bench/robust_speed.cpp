// Speed of the two receivers beside ggwave's own C++ decoder: seconds of audio decoded per second
// of computing, one thread, every decoder fed in 1024-sample buffers, on a minute of audio per
// row:
//  - quiet white noise (0.01 rms, -40 dB full scale) with a transmission every four seconds;
//  - the same noise alone;
//  - a transmission every four seconds 20 dB under white noise (the transmission's mean power
//    over the noise's), where the robust receiver searches longest for each word.
// Each decoder hears its own transmissions of the nine characters "hello0123": ours from the
// encoder, ggwave's encoded by ggwave at the same rate in its Audible Fast protocol (the default
// of its encode; Ultrasound Fast beside our non-audible plan) and scaled to the mean power of
// ours, so the noise is the same for all. Beside mode 2 ggwave decodes only that protocol, beside
// mode 5 all of its protocols. ggwave operates at the row's rate, sender and receiver alike, so
// it never resamples (see bench/ggwave_peer.h).
// Timing: each decoder is constructed afresh for every pass (not timed); the passes of all
// decoders alternate, kPasses of each, and each decoder's fastest counts (steady_clock), the one
// the rest of a busy machine disturbed least. The ratios come from the same run and hold on a busy
// machine, where the absolute figures do not. Printed as Markdown.
// Goal: the robust receiver at least as fast as ggwave single-plan (mode 2), at least half as
// fast for all modes (mode 5), on audio with messages and on audio with none.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <optional>
#include <random>
#include <vector>

#include "api/core_plans.h"
#include "decoder/decoder_all_multi_tone.h"
#include "decoder/message_assembly.h"
#include "decoder/multi_tone_decoder.h"
#include "decoder/robust_receiver.h"
#include "encoder/multi_tone_encoder.h"
#include "ggwave_peer.h"
#include "modes/frequency_plan.h"
#include "modes/tuning.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr char kText[] = "hello0123";
constexpr int kTextLength = 9;
constexpr size_t kBuffer = 1024;  // samples per decoder call
constexpr int kPasses = 9;        // per decoder and row; the fastest counts
constexpr float kAudioSeconds = 60.0f;
constexpr float kEverySeconds = 4.0f;  // between transmission starts, the first at 1 s
constexpr double kQuietRms = 0.01;
constexpr double kWeakSnrDb = -20.0;

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double meanPower(const std::vector<float>& x) {
    double sum = 0.0;
    for (float v : x) sum += static_cast<double>(v) * v;
    return sum / static_cast<double>(x.size());
}

std::vector<float> ourTransmission(RYX::Plan plan, float rate) {
    RYX::MultiToneEncoder encoder(plan, rate, static_cast<int>(kBuffer), RYX::windowSizeFor(rate));
    const int n = encoder.encode(kText, 0, kTextLength, nullptr, 0);
    return std::vector<float>(encoder.samples(), encoder.samples() + n);
}

// A minute of white noise of `noiseRms` (the same noise for every call) with `transmission`
// added every kEverySeconds (none when it is empty); `sent` counts the transmissions.
std::vector<float> testAudio(const std::vector<float>& transmission, float rate, double noiseRms,
                             int& sent) {
    std::mt19937 rng(5);
    std::normal_distribution<float> noise(0.0f, static_cast<float>(noiseRms));
    std::vector<float> audio(static_cast<size_t>(kAudioSeconds * rate));
    for (float& x : audio) x = noise(rng);
    sent = 0;
    if (transmission.empty()) return audio;
    const size_t every = static_cast<size_t>(kEverySeconds * rate);
    for (size_t at = static_cast<size_t>(rate); at + transmission.size() < audio.size();
         at += every, ++sent) {
        for (size_t i = 0; i < transmission.size(); ++i) audio[at + i] += transmission[i];
    }
    return audio;
}

// One decoder's pass over the audio: the seconds spent feeding it and the messages it found
// with the text sent.
struct Pass {
    double seconds = 0.0;
    int found = 0;
};

// The fastest of a decoder's passes.
struct Best {
    double seconds = std::numeric_limits<double>::infinity();
    int found = 0;
    void add(const Pass& pass) {
        seconds = std::min(seconds, pass.seconds);
        found = pass.found;
    }
};

Pass runRobust(int mode, float rate, const std::vector<float>& audio) {
    RYX::RobustReceiver receiver(ryxsound::corePlans(ryxsound::modeFromNumber(mode)),
                                 RYX::makeTuning(rate));
    std::vector<RYX::ReceivedMessage> out;
    out.reserve(64);
    const auto start = Clock::now();
    for (size_t at = 0; at < audio.size(); at += kBuffer) {
        receiver.feed(audio.data() + at, std::min(kBuffer, audio.size() - at), out);
    }
    receiver.flush(out);
    Pass pass{secondsSince(start), 0};
    for (const auto& m : out) pass.found += m.ok && std::strcmp(m.text.data(), kText) == 0;
    return pass;
}

Pass runStandard(int mode, float rate, const std::vector<float>& audio) {
    const RYX::Tuning tuning = RYX::makeTuning(rate);
    std::unique_ptr<RYX::Decoder> d;
    if (mode == 5) {
        d = std::make_unique<RYX::DecoderAllMultiTone>(tuning);
    } else {
        d = std::make_unique<RYX::MultiToneDecoder>(static_cast<RYX::Plan>(mode - 2), tuning);
    }
    char text[10];
    Pass pass;
    const auto start = Clock::now();
    for (size_t at = 0; at < audio.size(); at += kBuffer) {
        const int count = static_cast<int>(std::min(kBuffer, audio.size() - at));
        for (int r = d->DecodeAudioBuffer(audio.data() + at, count); r != RYX::kNothingNew;
             r = d->DecodeAudioBuffer(audio.data() + at, 0)) {
            if (r == RYX::kMessageComplete && d->GetDecodedData(text) == RYX::kFetchedIntact) {
                pass.found += std::strcmp(text, kText) == 0;
            }
        }
    }
    pass.seconds = secondsSince(start);
    return pass;
}

#ifdef RYX_GGWAVE_PEER
constexpr int kGgwaveVolume = 50;  // of 0..100; the audio is then scaled to our level

std::vector<float> ggwaveTransmission(GGWave::TxProtocolId protocol, float rate, double power) {
    GGWave tx(RYX::bench::ggwaveParameters(rate, GGWAVE_OPERATING_MODE_TX));
    tx.init(kTextLength, kText, protocol, kGgwaveVolume);
    const uint32_t bytes = tx.encode();
    const float* samples = static_cast<const float*>(tx.txWaveform());
    std::vector<float> out(samples, samples + bytes / sizeof(float));
    const float gain = static_cast<float>(std::sqrt(power / meanPower(out)));
    for (float& x : out) x *= gain;
    return out;
}

// allProtocols: every protocol ggwave knows, else only `protocol`.
Pass runGgwave(GGWave::RxProtocolId protocol, bool allProtocols, float rate,
               const std::vector<float>& audio) {
    if (allProtocols) {
        GGWave::Protocols::rx().enableAll();
    } else {
        GGWave::Protocols::rx().only(protocol);
    }
    GGWave rx(RYX::bench::ggwaveParameters(rate, GGWAVE_OPERATING_MODE_RX));
    GGWave::TxRxData data;
    Pass pass;
    const auto start = Clock::now();
    for (size_t at = 0; at < audio.size(); at += kBuffer) {
        const size_t count = std::min(kBuffer, audio.size() - at);
        rx.decode(audio.data() + at, static_cast<uint32_t>(count * sizeof(float)));
        if (rx.rxTakeData(data) == kTextLength) {
            pass.found += std::memcmp(data.data(), kText, kTextLength) == 0;
        }
    }
    pass.seconds = secondsSince(start);
    return pass;
}
#endif

struct Row {
    int mode;
    RYX::Plan plan;  // of the transmissions
    const char* name;
};

// snrDb: the transmissions' mean power over the noise's, or quiet noise of kQuietRms when absent.
void printRow(const char* audioName, float rate, const Row& row, bool withMessages,
              std::optional<double> snrDb) {
    const auto ours = ourTransmission(row.plan, rate);
    const double power = meanPower(ours);
    const double noiseRms = snrDb ? std::sqrt(power / std::pow(10.0, *snrDb / 10.0)) : kQuietRms;
    int sent = 0;
    const auto audio = testAudio(withMessages ? ours : std::vector<float>{}, rate, noiseRms, sent);
#ifdef RYX_GGWAVE_PEER
    const GGWave::TxProtocolId protocol = row.plan == RYX::Plan::Audible
                                              ? GGWAVE_PROTOCOL_AUDIBLE_FAST
                                              : GGWAVE_PROTOCOL_ULTRASOUND_FAST;
    int ggwaveSent = 0;
    const auto ggwaveAudio =
        testAudio(withMessages ? ggwaveTransmission(protocol, rate, power) : std::vector<float>{},
                  rate, noiseRms, ggwaveSent);
    Best ggwave;
#endif
    Best robust, standard;
    for (int pass = 0; pass < kPasses; ++pass) {
        robust.add(runRobust(row.mode, rate, audio));
        standard.add(runStandard(row.mode, rate, audio));
#ifdef RYX_GGWAVE_PEER
        ggwave.add(runGgwave(protocol, row.mode == 5, rate, ggwaveAudio));
#endif
    }
    const double seconds = static_cast<double>(audio.size()) / rate;
    const double r = seconds / robust.seconds;
    const double s = seconds / standard.seconds;
    std::printf("| %s | %.0f | %s | %.0f | %.0f | %.2f | ", audioName, static_cast<double>(rate),
                row.name, r, s, r / s);
#ifdef RYX_GGWAVE_PEER
    const double g = seconds / ggwave.seconds;
    std::printf("%.0f | %.2f | %.2f | %d/%d, %d/%d, %d/%d |\n", g, r / g, s / g, robust.found, sent,
                standard.found, sent, ggwave.found, ggwaveSent);
#else
    std::printf("not built | - | - | %d/%d, %d/%d, - |\n", robust.found, sent, standard.found,
                sent);
#endif
}

}  // namespace

int main() {
#ifdef RYX_GGWAVE_PEER
    GGWave::setLogFile(nullptr);  // it reports every reception on stderr otherwise
#endif
    std::printf("| audio | rate (Hz) | receivers | robust (x real time) | ");
    std::printf("standard (x real time) | robust / standard | ggwave (x real time) | ");
    std::printf("robust / ggwave | standard / ggwave | found: robust, standard, ggwave |\n");
    std::printf("|---|---|---|---|---|---|---|---|---|---|\n");
    const Row messageRows[] = {{2, RYX::Plan::Audible, "mode 2, audible"},
                               {5, RYX::Plan::Audible, "mode 5, audible messages"},
                               {5, RYX::Plan::NonAudible, "mode 5, non-audible messages"}};
    const Row noiseRows[] = {{2, RYX::Plan::Audible, "mode 2"}, {5, RYX::Plan::Audible, "mode 5"}};
    for (float rate : {44100.0f, 48000.0f}) {
        for (const Row& row : messageRows) printRow("messages, quiet noise", rate, row, true, {});
    }
    for (float rate : {44100.0f, 48000.0f}) {
        for (const Row& row : noiseRows) printRow("quiet noise only", rate, row, false, {});
    }
    for (float rate : {44100.0f, 48000.0f}) {
        for (const Row& row : messageRows) {
            printRow("messages 20 dB under noise", rate, row, true, kWeakSnrDb);
        }
    }
    std::printf("\nA minute of audio per row, a transmission every %.0f s; the fastest of %d ",
                static_cast<double>(kEverySeconds), kPasses);
    std::printf("alternating passes of each decoder.\n\n");
#ifdef RYX_GGWAVE_PEER
    std::printf("ggwave %s: its own C++ decoder, compiled from its source distribution with ",
                RYX_GGWAVE_PEER);
    std::printf("the same optimisation, operating at the row's rate (sender and receiver), so ");
    std::printf("it never resamples. Its transmissions: Audible ");
    std::printf("Fast (Ultrasound Fast beside our non-audible plan) at volume %d, scaled to ",
                kGgwaveVolume);
    std::printf("our mean power; beside mode 2 it decodes that protocol only, beside mode 5 ");
    std::printf("all of its protocols.\n");
#else
    std::printf("ggwave: not built (no source found when the benchmarks were configured; ");
    std::printf("run tools/peer_env.sh, then configure again).\n");
#endif
    return 0;
}
