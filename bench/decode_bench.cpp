// Decoding speed: the real-time factor (seconds of audio per second of computing) of every
// decoder at 44100 and 48000 Hz, listening to digital silence, listening to white noise (where
// every tone level is defined and compared) and receiving messages, and the cost of one
// analysis frame divided by the cost of one single-precision FFTW transform of the same length,
// measured in the same run. Printed as a Markdown table.
//
// Times are the fastest of repeated batches on one core (bench_util.h), so they approximate the
// CPU time of an undisturbed run.
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "bench_util.h"
#include "decoder/decoder_all_multi_tone.h"
#include "decoder/multi_tone_decoder.h"
#include "encoder/multi_tone_encoder.h"
#include "modes/frequency_plan.h"

namespace {

using RYX::Plan;

struct Kind {
    const char* name;
    bool all;   // the all-modes decoder
    Plan plan;  // its plan, or the plan of the messages the all-modes decoder hears
};

std::unique_ptr<RYX::Decoder> makeDecoder(const Kind& kind, float rate) {
    const RYX::Tuning tuning = RYX::makeTuning(rate);
    if (kind.all) return std::make_unique<RYX::DecoderAllMultiTone>(tuning);
    return std::make_unique<RYX::MultiToneDecoder>(kind.plan, tuning);
}

// 0.3 s of silence, one transmission, 0.3 s of silence.
std::vector<float> messageAudio(Plan plan, float rate) {
    RYX::MultiToneEncoder encoder(plan, rate, 1024, RYX::windowSizeFor(rate));
    const int n = encoder.encode("hello0123", 0, 9, nullptr, 0);
    std::vector<float> audio(static_cast<size_t>(0.3f * rate), 0.0f);
    audio.insert(audio.end(), encoder.samples(), encoder.samples() + n);
    audio.resize(audio.size() + static_cast<size_t>(0.3f * rate), 0.0f);
    return audio;
}

struct Speed {
    double realTime;     // audio seconds per second
    double frameVsFftw;  // seconds per frame / seconds per FFTW transform
    long long messages;  // messages completed while timing
    long long calls;
};

// Feeds `audio` in buffers of 1024 samples per timed call, fetching every completed message.
Speed measure(RYX::Decoder& decoder, const std::vector<float>& audio, float rate, double fftw) {
    Speed speed{0.0, 0.0, 0, 0};
    char text[10];
    const auto feedOnce = [&] {
        for (size_t at = 0; at < audio.size(); at += 1024) {
            const int count = static_cast<int>(std::min<size_t>(1024, audio.size() - at));
            for (int r = decoder.DecodeAudioBuffer(audio.data() + at, count); r != -1;
                 r = decoder.DecodeAudioBuffer(nullptr, 0)) {
                if (r == -3 && decoder.GetDecodedData(text) == 9) ++speed.messages;
            }
        }
        ++speed.calls;
    };
    const long long framesBefore = decoder.framer().framesTaken();
    const double seconds = RYX::bench::secondsPerCall(feedOnce, 0.5);
    const double framesPerCall =
        static_cast<double>(decoder.framer().framesTaken() - framesBefore) /
        static_cast<double>(speed.calls);
    speed.realTime = static_cast<double>(audio.size()) / rate / seconds;
    speed.frameVsFftw = seconds / framesPerCall / fftw;
    return speed;
}

}  // namespace

int main() {
    const Kind kinds[] = {{"audible", false, Plan::Audible},
                          {"non-audible", false, Plan::NonAudible},
                          {"compression", false, Plan::Compression},
                          {"custom", false, Plan::Custom},
                          {"all modes (hearing non-audible)", true, Plan::NonAudible}};
    const float rates[] = {44100.0f, 48000.0f};

    std::printf(
        "| decoder | rate (Hz) | N | FFTW us | silence x real time | silence frame / FFTW "
        "| noise x real time | noise frame / FFTW | messages x real time | "
        "messages frame / FFTW | messages ok |\n");
    std::printf("|---|---|---|---|---|---|---|---|---|---|---|\n");
    for (float rate : rates) {
        const int window = RYX::windowSizeFor(rate);
        const double fftw = RYX::bench::fftwSecondsPerTransform(window, 0.3);
        for (const Kind& kind : kinds) {
            const std::vector<float> silence(static_cast<size_t>(rate), 0.0f);
            auto listener = makeDecoder(kind, rate);
            const Speed listening = measure(*listener, silence, rate, fftw);

            std::vector<float> noise(static_cast<size_t>(rate));
            unsigned state = 12345u;  // a fixed linear congruential sequence, uniform in +-0.1
            for (float& v : noise) {
                state = state * 1664525u + 1013904223u;
                v = static_cast<float>(state >> 8) / 16777216.0f * 0.2f - 0.1f;
            }
            auto noiseListener = makeDecoder(kind, rate);
            const Speed hearingNoise = measure(*noiseListener, noise, rate, fftw);

            const std::vector<float> messages = messageAudio(kind.plan, rate);
            auto receiver = makeDecoder(kind, rate);
            const Speed receiving = measure(*receiver, messages, rate, fftw);

            std::printf(
                "| %s | %.0f | %d | %.2f | %.0f | %.2f | %.0f | %.2f | %.0f | %.2f | %lld/%lld |\n",
                kind.name, rate, window, fftw * 1e6, listening.realTime, listening.frameVsFftw,
                hearingNoise.realTime, hearingNoise.frameVsFftw, receiving.realTime,
                receiving.frameVsFftw, receiving.messages, receiving.calls);
        }
    }
    return 0;
}
