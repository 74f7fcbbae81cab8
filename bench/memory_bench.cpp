// Heap taken by one configured Context in each mode and rate: every allocation is counted by a
// replaced global operator new, so the figures are the library's own bytes (the encoder's ten
// seconds of audio, the decoder's sample store, spectrum ring and records), without allocator
// overhead. Also reports the peak while the Context decodes one transmission.
// Then the bytes one robust receiver holds, single plan and all modes: its object and the heap
// its construction allocates, and the allocations made while it decodes a transmission in quiet
// noise and one 20 dB under white noise (there should be none), beside ggwave's decoder (its
// object and the heap it reports, calloc'ed and so not counted here) when it is built.
#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <random>
#include <vector>

#include "api/core_plans.h"
#include "decoder/robust_receiver.h"
#include "encoder/multi_tone_encoder.h"
#include "ggwave_peer.h"
#include "modes/tuning.h"
#include "ryxsound/ryx_api.h"

namespace {

std::atomic<long long> liveBytes{0};
std::atomic<long long> peakBytes{0};
std::atomic<long long> allocations{0};

void* countedAlloc(std::size_t size) {
    // A header in front of every block remembers its size for the matching delete.
    void* block = std::malloc(size + 16);
    if (!block) throw std::bad_alloc();
    *static_cast<std::size_t*>(block) = size;
    ++allocations;
    const long long now = liveBytes += static_cast<long long>(size);
    long long peak = peakBytes.load();
    while (now > peak && !peakBytes.compare_exchange_weak(peak, now)) {
    }
    return static_cast<char*>(block) + 16;
}

void countedFree(void* p) {
    if (!p) return;
    void* block = static_cast<char*>(p) - 16;
    liveBytes -= static_cast<long long>(*static_cast<std::size_t*>(block));
    std::free(block);
}

}  // namespace

void* operator new(std::size_t size) {
    return countedAlloc(size);
}
void* operator new[](std::size_t size) {
    return countedAlloc(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return countedAlloc(size);
    } catch (...) {
        return nullptr;
    }
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept {
    return operator new(size, tag);
}
void operator delete(void* p) noexcept {
    countedFree(p);
}
void operator delete[](void* p) noexcept {
    countedFree(p);
}
void operator delete(void* p, std::size_t) noexcept {
    countedFree(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    countedFree(p);
}

namespace {

void printContexts() {
    struct Mode {
        int id;
        const char* name;
    };
    const Mode modes[] = {{RYX_MODE_AUDIBLE, "audible"},
                          {RYX_MODE_NONAUDIBLE, "nonaudible"},
                          {RYX_MODE_COMPRESSION, "compression"},
                          {RYX_MODE_ALL, "all"},
                          {RYX_MODE_CUSTOM, "custom"}};
    std::printf("## Memory of one configured Context\n\n");
    std::printf("| mode | rate (Hz) | configured (KiB) | peak while decoding a message (KiB) |\n");
    std::printf("|---|---:|---:|---:|\n");
    for (float rate : {44100.0f, 48000.0f}) {
        for (const Mode& mode : modes) {
            const long long before = liveBytes.load();
            Context* ctx = RYX_Create();
            RYX_Configure(mode.id, rate, 1024, ctx);
            const long long configured = liveBytes.load() - before;
            peakBytes = liveBytes.load();

            std::vector<float> chunk(1024);
            std::vector<float> audio(static_cast<size_t>(rate), 0.0f);  // lead-in silence
            RYX_EncodeDataToAudioBuffer("hello0123", 9, 0, nullptr, 0, ctx);
            for (int n; (n = RYX_GetEncodedAudioBuffer(chunk.data(), ctx)) > 0;) {
                audio.insert(audio.end(), chunk.begin(), chunk.begin() + n);
            }
            audio.resize(audio.size() + static_cast<size_t>(rate), 0.0f);
            // The test audio is the benchmark's own: count only what decoding adds to it.
            const long long decodeStart = liveBytes.load();
            peakBytes = decodeStart;
            for (size_t at = 0; at < audio.size(); at += 1024) {
                int status = RYX_DecodeAudioBuffer(audio.data() + at, 1024, ctx);
                while (status != -1) {
                    if (status == -3) {
                        char text[10];
                        RYX_GetDecodedData(text, ctx);
                    }
                    status = RYX_DecodeAudioBuffer(nullptr, 0, ctx);
                }
            }
            const long long peak = configured + (peakBytes.load() - decodeStart);
            RYX_Destroy(ctx);
            std::printf("| %s | %.0f | %.1f | %.1f |\n", mode.name, static_cast<double>(rate),
                        static_cast<double>(configured) / 1024.0,
                        static_cast<double>(peak) / 1024.0);
        }
    }
}

// A transmission of "hello0123" in quiet noise (0.01 rms), then one 20 dB under white noise
// (mean powers), each with a second of noise either side.
std::vector<float> robustTestAudio(float rate) {
    RYX::MultiToneEncoder encoder(RYX::Plan::Audible, rate, 1024, RYX::windowSizeFor(rate));
    const int n = encoder.encode("hello0123", 0, 9, nullptr, 0);
    const float* tx = encoder.samples();
    double power = 0.0;
    for (int i = 0; i < n; ++i) power += static_cast<double>(tx[i]) * tx[i];
    power /= n;
    std::mt19937 rng(3);
    std::vector<float> audio;
    const size_t second = static_cast<size_t>(rate);
    for (double rms : {0.01, std::sqrt(power * 100.0)}) {
        std::normal_distribution<float> noise(0.0f, static_cast<float>(rms));
        const size_t at = audio.size() + second;
        audio.resize(at + static_cast<size_t>(n) + second);
        for (size_t i = at - second; i < audio.size(); ++i) audio[i] = noise(rng);
        for (int i = 0; i < n; ++i) audio[at + static_cast<size_t>(i)] += tx[i];
    }
    return audio;
}

void printRobustReceivers() {
    std::printf("\n## Memory of one robust receiver\n\n");
    std::printf("| receivers | rate (Hz) | object (bytes) | heap (bytes) | held (KiB) | ");
    std::printf("allocations while decoding | messages found | ggwave's decoder (KiB) |\n");
    std::printf("|---|---:|---:|---:|---:|---:|---:|---:|\n");
    const struct {
        int mode;
        const char* name;
    } cases[] = {{2, "mode 2 (audible plan)"}, {5, "mode 5 (all modes)"}};
    for (float rate : {44100.0f, 48000.0f}) {
        const auto audio = robustTestAudio(rate);
        for (const auto& c : cases) {
            const auto plans = ryxsound::corePlans(ryxsound::modeFromNumber(c.mode));
            const RYX::Tuning tuning = RYX::makeTuning(rate);
            std::vector<RYX::ReceivedMessage> out;
            out.reserve(16);
            const long long before = liveBytes.load();
            auto receiver = std::make_unique<RYX::RobustReceiver>(plans, tuning);
            const long long held = liveBytes.load() - before;  // the object is allocated too
            const long long objectBytes = sizeof(RYX::RobustReceiver);

            const long long allocationsBefore = allocations.load();
            for (size_t at = 0; at < audio.size(); at += 1024) {
                receiver->feed(audio.data() + at, std::min<size_t>(1024, audio.size() - at), out);
            }
            receiver->flush(out);
            const long long decodingAllocations = allocations.load() - allocationsBefore;
            int found = 0;
            for (const auto& m : out) found += m.ok && std::strcmp(m.text.data(), "hello0123") == 0;

            std::printf("| %s | %.0f | %lld | %lld | %.1f | %lld | %d/2 | ", c.name,
                        static_cast<double>(rate), objectBytes, held - objectBytes,
                        static_cast<double>(held) / 1024.0, decodingAllocations, found);
#ifdef RYX_GGWAVE_PEER
            const GGWave ggwave(RYX::bench::ggwaveParameters(rate, GGWAVE_OPERATING_MODE_RX));
            const double ggwaveBytes = static_cast<double>(sizeof(GGWave) + ggwave.heapSize());
            std::printf("%.1f |\n", ggwaveBytes / 1024.0);
#else
            std::printf("not built |\n");
#endif
        }
    }
#ifdef RYX_GGWAVE_PEER
    std::printf("\nggwave %s: an instance that only receives, given audio at the row's rate ",
                RYX_GGWAVE_PEER);
    std::printf("and operating at that rate; its heap is the same for one protocol and for all.\n");
#endif
}

}  // namespace

int main() {
    printContexts();
    printRobustReceivers();
    return 0;
}
