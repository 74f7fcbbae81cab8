// Encodes a text to a raw file of 32-bit float samples (mono, 44100 Hz) and decodes the file back,
// both through the flat API.
//
//   encode_decode TEXT FILE.f32 [MODE]     MODE 2 audible (default) .. 6 custom
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "ryxsound/ryx_api.h"

namespace {

constexpr float kRate = 44100.0f;
constexpr int kBuffer = 1024;

bool writeTransmission(Context* ctx, const char* text, const char* path) {
    const int samples = RYX_EncodeDataToAudioBuffer(text, static_cast<int32_t>(std::strlen(text)),
                                                    0, nullptr, 0, ctx);
    if (samples <= 0) {
        std::fprintf(stderr, "cannot encode '%s': nine characters of 0-9, a-v expected\n", text);
        return false;
    }
    FILE* file = std::fopen(path, "wb");
    if (!file) {
        std::perror(path);
        return false;
    }
    // Half a second of silence on both sides lets the receiver settle before and finish after.
    const std::vector<float> silence(static_cast<size_t>(kRate / 2), 0.0f);
    std::fwrite(silence.data(), sizeof(float), silence.size(), file);
    std::vector<float> chunk(kBuffer);
    for (int n; (n = RYX_GetEncodedAudioBuffer(chunk.data(), ctx)) > 0;) {
        std::fwrite(chunk.data(), sizeof(float), static_cast<size_t>(n), file);
    }
    std::fwrite(silence.data(), sizeof(float), silence.size(), file);
    std::fclose(file);
    std::printf("wrote %d samples of '%s' to %s\n", samples, text, path);
    return true;
}

int readTransmissions(Context* ctx, const char* path) {
    FILE* file = std::fopen(path, "rb");
    if (!file) {
        std::perror(path);
        return 0;
    }
    std::vector<float> chunk(kBuffer);
    int found = 0;
    size_t n;
    while ((n = std::fread(chunk.data(), sizeof(float), chunk.size(), file)) > 0) {
        int status = RYX_DecodeAudioBuffer(chunk.data(), static_cast<int>(n), ctx);
        while (status != -1) {  // drain every frame the call queued
            if (status == -3) {
                char text[10];
                const int result = RYX_GetDecodedData(text, ctx);
                std::printf("decoded: %s (%s), confidence %.2f, noise %.1f dB, volume %.1f dB\n",
                            text, result == 9 ? "checksum ok" : "checksum mismatch",
                            RYX_GetConfidence(ctx), RYX_GetConfidenceNoise(ctx),
                            RYX_GetReceivedRyxsVolume(ctx));
                found += result == 9;
            }
            status = RYX_DecodeAudioBuffer(chunk.data(), 0, ctx);
        }
    }
    std::fclose(file);
    return found;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s TEXT FILE.f32 [MODE]\n", argv[0]);
        return 2;
    }
    const int mode = argc > 3 ? std::atoi(argv[3]) : RYX_MODE_AUDIBLE;
    Context* ctx = RYX_Create();
    if (!ctx || RYX_Configure(mode, kRate, kBuffer, ctx) != 0) {
        std::fprintf(stderr, "cannot configure mode %d\n", mode);
        RYX_Destroy(ctx);
        return 2;
    }
    const bool written = writeTransmission(ctx, argv[1], argv[2]);
    const int found = written ? readTransmissions(ctx, argv[2]) : 0;
    RYX_Destroy(ctx);
    return found > 0 ? 0 : 1;
}
