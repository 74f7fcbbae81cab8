// Speed of the two receivers: seconds of audio decoded per second of computing (one thread), on
// 60 s of white noise carrying a transmission every three seconds, fed in 1024-sample buffers,
// and the robust receiver's speed over the standard decoder's measured in the same run (the ratio
// holds on a busy machine, where the absolute figures do not). The noise is either quiet (-40 dB
// full scale, every transmission clean) or 20 dB above the transmissions, where the robust
// receiver searches longest for each word. Printed as Markdown.
// Goal: 300 x real time single-plan at 44100 Hz, 100 x for all modes at 48000 Hz.
#include <chrono>
#include <cmath>
#include <cstdio>
#include <memory>
#include <random>
#include <vector>

#include "api/core_plans.h"
#include "decoder/decoder_all_multi_tone.h"
#include "decoder/multi_tone_decoder.h"
#include "decoder/robust_receiver.h"
#include "encoder/multi_tone_encoder.h"
#include "modes/frequency_plan.h"
#include "modes/tuning.h"

namespace {

using Clock = std::chrono::steady_clock;

// snrDb: the transmission's mean power over the noise's, or quiet noise of 0.01 rms when absent.
std::vector<float> testAudio(RYX::Plan plan, float rate, const double* snrDb) {
    RYX::MultiToneEncoder encoder(plan, rate, 1024, RYX::windowSizeFor(rate));
    const int n = encoder.encode("hello0123", 0, 9, nullptr, 0);
    double power = 0.0;
    for (int i = 0; i < n; ++i) power += encoder.samples()[i] * encoder.samples()[i];
    power /= n;
    const double rms = snrDb ? std::sqrt(power / std::pow(10.0, *snrDb / 10.0)) : 0.01;
    std::mt19937 rng(5);
    std::normal_distribution<float> noise(0.0f, static_cast<float>(rms));
    std::vector<float> audio(static_cast<size_t>(60.0f * rate));
    for (float& x : audio) x = noise(rng);
    const size_t every = 3 * static_cast<size_t>(rate);
    for (size_t at = static_cast<size_t>(rate); at + n < audio.size(); at += every) {
        for (int i = 0; i < n; ++i) audio[at + static_cast<size_t>(i)] += encoder.samples()[i];
    }
    return audio;
}

// Audio seconds per second of computing, and the intact messages, of one run.
template <typename Run>
double speedOf(const std::vector<float>& audio, float rate, int& messages, Run&& run) {
    const auto start = Clock::now();
    messages = run(audio);
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    return static_cast<double>(audio.size()) / rate / seconds;
}

int runRobust(int mode, float rate, const std::vector<float>& audio) {
    RYX::RobustReceiver receiver(ryxsound::corePlans(ryxsound::modeFromNumber(mode)),
                                 RYX::makeTuning(rate));
    std::vector<RYX::ReceivedMessage> out;
    out.reserve(64);
    for (size_t at = 0; at < audio.size(); at += 1024) {
        receiver.feed(audio.data() + at, std::min<size_t>(1024, audio.size() - at), out);
    }
    receiver.flush(out);
    int intact = 0;
    for (const auto& m : out) intact += m.ok ? 1 : 0;
    return intact;
}

int runStandard(int mode, float rate, const std::vector<float>& audio) {
    const RYX::Tuning tuning = RYX::makeTuning(rate);
    std::unique_ptr<RYX::Decoder> d;
    if (mode == 5) {
        d = std::make_unique<RYX::DecoderAllMultiTone>(tuning);
    } else {
        d = std::make_unique<RYX::MultiToneDecoder>(static_cast<RYX::Plan>(mode - 2), tuning);
    }
    char text[10];
    int intact = 0;
    for (size_t at = 0; at < audio.size(); at += 1024) {
        const int count = static_cast<int>(std::min<size_t>(1024, audio.size() - at));
        for (int r = d->DecodeAudioBuffer(audio.data() + at, count); r != -1;
             r = d->DecodeAudioBuffer(audio.data() + at, 0)) {
            if (r == -3 && d->GetDecodedData(text) == 9) ++intact;
        }
    }
    return intact;
}

}  // namespace

int main() {
    std::printf("| mode | rate | messages in | noise | robust (x real time) | ");
    std::printf("standard (x real time) | robust / standard | intact robust / standard |\n");
    std::printf("|---|---|---|---|---|---|---|---|\n");
    const double weak = -20.0;
    const struct {
        int mode;
        RYX::Plan plan;
        const char* name;
    } cases[] = {{2, RYX::Plan::Audible, "audible"},
                 {5, RYX::Plan::Audible, "audible"},
                 {5, RYX::Plan::NonAudible, "non-audible"}};
    for (const double* snr : {static_cast<const double*>(nullptr), &weak}) {
        for (float rate : {44100.0f, 48000.0f}) {
            for (const auto& c : cases) {
                const auto audio = testAudio(c.plan, rate, snr);
                int robustMessages = 0;
                int standardMessages = 0;
                const double robust = speedOf(audio, rate, robustMessages, [&](const auto& a) {
                    return runRobust(c.mode, rate, a);
                });
                const double standard = speedOf(audio, rate, standardMessages, [&](const auto& a) {
                    return runStandard(c.mode, rate, a);
                });
                std::printf("| %d | %.0f | %s | %s | %.0f | %.0f | %.2f | %d / %d |\n", c.mode,
                            static_cast<double>(rate), c.name, snr ? "-20 dB" : "quiet", robust,
                            standard, robust / standard, robustMessages, standardMessages);
            }
        }
    }
    return 0;
}
