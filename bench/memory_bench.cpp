// Heap taken by one configured Context in each mode and rate: every allocation is counted by a
// replaced global operator new, so the figures are the library's own bytes (the encoder's ten
// seconds of audio, the decoder's sample store, spectrum ring and records), without allocator
// overhead. Also reports the peak while the Context decodes one transmission.
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <vector>

#include "ryxsound/ryx_api.h"

namespace {

std::atomic<long long> liveBytes{0};
std::atomic<long long> peakBytes{0};

void* countedAlloc(std::size_t size) {
    // A header in front of every block remembers its size for the matching delete.
    void* block = std::malloc(size + 16);
    if (!block) throw std::bad_alloc();
    *static_cast<std::size_t*>(block) = size;
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

int main() {
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
    return 0;
}
