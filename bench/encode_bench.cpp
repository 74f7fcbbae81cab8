// Encoding speed: CPU time to synthesise one nine-character transmission in each frequency plan
// at 44100 and 48000 Hz, and the real-time factor (seconds of audio per CPU second). Printed as a
// Markdown table.
#include <cstdio>
#include <ctime>
#include <memory>

#include "encoder/multi_tone_encoder.h"
#include "modes/frequency_plan.h"

namespace {

double cpuSeconds() {
    return static_cast<double>(std::clock()) / CLOCKS_PER_SEC;
}

std::unique_ptr<RYX::MultiToneEncoder> makeEncoder(RYX::Plan plan, float rate) {
    const int window = RYX::windowSizeFor(rate);
    switch (plan) {
        case RYX::Plan::Audible:
            return std::make_unique<RYX::EncoderAudibleMultiTone>(rate, 1024, window);
        case RYX::Plan::NonAudible:
            return std::make_unique<RYX::EncoderNonAudibleMultiTone>(rate, 1024, window);
        case RYX::Plan::Compression:
            return std::make_unique<RYX::EncoderCompressionMultiTone>(rate, 1024, window);
        default:
            return std::make_unique<RYX::EncoderCustomMultiTone>(rate, 1024, window);
    }
}

}  // namespace

int main() {
    struct PlanName {
        RYX::Plan plan;
        const char* name;
    };
    const PlanName plans[] = {{RYX::Plan::Audible, "audible"},
                              {RYX::Plan::NonAudible, "non-audible"},
                              {RYX::Plan::Compression, "compression"},
                              {RYX::Plan::Custom, "custom"}};
    const float rates[] = {44100.0f, 48000.0f};
    const int repeats = 100;

    std::printf("| plan | rate (Hz) | samples | ms per encode (CPU) | real-time factor |\n");
    std::printf("|---|---|---|---|---|\n");
    for (const PlanName& p : plans) {
        for (float rate : rates) {
            auto encoder = makeEncoder(p.plan, rate);
            int samples = 0;
            for (int i = 0; i < 3; ++i) samples = encoder->encode("hello0123", 0, 9, nullptr, 0);
            const double start = cpuSeconds();
            for (int i = 0; i < repeats; ++i) encoder->encode("hello0123", 0, 9, nullptr, 0);
            const double perEncode = (cpuSeconds() - start) / repeats;
            const double audioSeconds = samples / static_cast<double>(rate);
            std::printf("| %s | %.0f | %d | %.3f | %.0f |\n", p.name, rate, samples,
                        perEncode * 1e3, perEncode > 0 ? audioSeconds / perEncode : 0.0);
        }
    }
    return 0;
}
