// Decodes raw float32 mono samples from stdin with either receiver and prints one JSON line per
// completed message, then one line of totals. The channel and false-alarm harnesses drive it.
//
//   decode_stream --mode 2 --rate 44100 --receiver robust < audio.f32
//   decode_stream --mode 6 --rate 44100 --custom-base 600 --custom-step 1 < audio.f32
//
// Lines: {"text": "hello0123", "ok": true, "plan": 0, "start": 22050, "end": 114210,
// "confidence": 0.97, "corrected": 1} (corrected: symbols error correction changed, -1 when not
// known; start is -1 for the standard receiver, which does not report it; end is
// the position where the message was reported), and finally {"samples": N, "starts": S,
// "phantoms": P, "phantom_samples": Q, "preambles": R, "searches": W}: starts recognised, starts
// that gave no intact message, the time spent following candidates that gave nothing, and (robust
// receiver; -1 otherwise) start tests passed before the pair check and word searches run.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "api/core_plans.h"
#include "decoder/decoder_all_multi_tone.h"
#include "decoder/multi_tone_decoder.h"
#include "decoder/robust_plan.h"
#include "decoder/robust_receiver.h"
#include "modes/frequency_plan.h"
#include "modes/tuning.h"

namespace {

constexpr size_t kChunk = 1024;

struct Totals {
    long long samples = 0;
    long long preambles = -1;  // robust receiver only
    long long searches = -1;   // robust receiver only
    long long starts = 0;
    long long intact = 0;
    long long phantoms = 0;
    long long phantomSamples = 0;
};

void printMessage(const char* text, bool ok, int plan, long long start, long long end,
                  float confidence, int corrected) {
    std::printf(
        "{\"text\": \"%s\", \"ok\": %s, \"plan\": %d, \"start\": %lld, \"end\": %lld, "
        "\"confidence\": %.4f, \"corrected\": %d}\n",
        text, ok ? "true" : "false", plan, start, end, static_cast<double>(confidence), corrected);
}

std::unique_ptr<RYX::Decoder> makeStandard(int mode, const RYX::Tuning& tuning) {
    if (mode == 5) return std::make_unique<RYX::DecoderAllMultiTone>(tuning);
    return std::make_unique<RYX::MultiToneDecoder>(static_cast<RYX::Plan>(mode - 2), tuning);
}

Totals runStandard(int mode, const RYX::Tuning& tuning) {
    const float rate = tuning.sampleRate;
    Totals t;
    auto decoder = makeStandard(mode, tuning);
    if (!decoder) return t;
    std::vector<float> buffer(kChunk);
    char text[10];
    size_t n;
    while ((n = std::fread(buffer.data(), sizeof(float), kChunk, stdin)) > 0) {
        t.samples += static_cast<long long>(n);
        int count = static_cast<int>(n);
        for (int r = decoder->DecodeAudioBuffer(buffer.data(), count); r != -1;
             r = decoder->DecodeAudioBuffer(buffer.data(), 0)) {
            if (r == -2) ++t.starts;
            if (r != -3) continue;
            const bool ok = decoder->GetDecodedData(text) == 9;
            if (ok) ++t.intact;
            printMessage(text, ok, decoder->decodedMode(), -1, t.samples, ok ? 1.0f : 0.0f, -1);
        }
    }
    t.phantoms = t.starts - t.intact;
    t.phantomSamples = t.phantoms * 20 * RYX::symbolDuration(rate);
    return t;
}

// The plans of `mode` that fit at the tuning's rate (mode 5 at 22050 Hz: audible alone).
std::vector<RYX::Plan> robustPlans(int mode, const RYX::Tuning& tuning) {
    std::vector<RYX::Plan> plans;
    for (RYX::Plan plan : ryxsound::corePlans(ryxsound::modeFromNumber(mode))) {
        if (RYX::makeRobustPlan(plan, tuning).fits) plans.push_back(plan);
    }
    return plans;
}

Totals runRobust(int mode, const RYX::Tuning& tuning) {
    Totals t;
    RYX::RobustReceiver receiver(robustPlans(mode, tuning), tuning);
    std::vector<float> buffer(kChunk);
    std::vector<RYX::ReceivedMessage> out;
    size_t n;
    const auto print = [&out] {
        for (const auto& m : out) {
            printMessage(m.text.data(), m.ok, m.plan, static_cast<long long>(m.start),
                         static_cast<long long>(m.end), m.confidence,
                         __builtin_popcount(m.correctedMask));
        }
        out.clear();
    };
    while ((n = std::fread(buffer.data(), sizeof(float), kChunk, stdin)) > 0) {
        t.samples += static_cast<long long>(n);
        receiver.feed(buffer.data(), n, out);
        print();
    }
    receiver.flush(out);
    print();
    t.starts = receiver.stats().starts;
    t.preambles = receiver.stats().preambles;
    t.searches = receiver.stats().searches;
    t.phantoms = receiver.stats().phantoms;
    t.phantomSamples = receiver.stats().phantomSamples;
    return t;
}

}  // namespace

int main(int argc, char** argv) {
    int mode = 2;
    float rate = 44100.0f;
    std::string receiver = "robust";
    RYX::CustomBand custom;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--mode") == 0) {
            mode = std::atoi(argv[i + 1]);
        } else if (std::strcmp(argv[i], "--rate") == 0) {
            rate = static_cast<float>(std::atof(argv[i + 1]));
        } else if (std::strcmp(argv[i], "--receiver") == 0) {
            receiver = argv[i + 1];
        } else if (std::strcmp(argv[i], "--custom-base") == 0) {
            custom.baseHz = static_cast<float>(std::atof(argv[i + 1]));
        } else if (std::strcmp(argv[i], "--custom-step") == 0) {
            custom.stepParam = std::atoi(argv[i + 1]);
        } else {
            std::fprintf(stderr, "unknown option %s\n", argv[i]);
            return 2;
        }
    }
    if (mode < 2 || mode > 6 || (receiver != "robust" && receiver != "standard")) {
        std::fprintf(stderr,
                     "usage: decode_stream --mode 2..6 --rate HZ --receiver standard|robust\n");
        return 2;
    }
    const RYX::Tuning tuning = RYX::makeTuning(rate, custom);
    Totals t;
    try {
        t = receiver == "robust" ? runRobust(mode, tuning) : runStandard(mode, tuning);
    } catch (const std::invalid_argument& e) {
        std::fprintf(stderr, "decode_stream: %s\n", e.what());
        return 2;
    }
    std::printf(
        "{\"samples\": %lld, \"preambles\": %lld, \"starts\": %lld, \"phantoms\": %lld, "
        "\"phantom_samples\": %lld, \"searches\": %lld}\n",
        t.samples, t.preambles, t.starts, t.phantoms, t.phantomSamples, t.searches);
    return 0;
}
