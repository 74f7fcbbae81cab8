// The firmware test: on the emulated Cortex-M4, each preset's receiver decodes the recordings the
// desktop made (fed 256 samples at a time) and must hear exactly the texts the desktop robust
// receiver heard; each preset's encoder sends a text and its payload encoder a payload block by
// block, and their samples are compared with the desktop encoders'; the payload's samples also go
// to build/mcu/<preset>_payload_emulator.f32 on the host (semihosting), where mcu_fixtures --heard
// decodes them with the desktop payload receiver. Prints one "ryx-mcu:" line per
// result and measure (read by tools/run_mcu.sh and tools/bench_report.sh) and exits 0 only when
// everything matches.
#include <fcntl.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "board.h"
#include "fixtures.h"
#include "ryxsound/ryx_stream.h"

extern "C" const int16_t audible_clean[], audible_white[], audible_babble[];
extern "C" const int16_t phone_clean[], phone_white[], phone_babble[];
extern "C" const float audible_encoded[], phone_encoded[];
extern "C" const float audible_payload[], phone_payload[];

namespace {

constexpr int kBlock = 256;       // samples per feed and per encoder call
constexpr int kMostMessages = 4;  // texts a recording may give

struct Recording {
    const char* name;
    const int16_t* pcm;
    int length;
    const char* sent;
    const char* desktop[kMostMessages];  // null-terminated
};

struct PresetCase {
    const char* name;
    const char* emulatorPayload;  // host file of the emulator's payload samples
    int preset;
    Recording recordings[3];
    const float* encoded;
    int encodedLength;
    int payloadProfile;  // RYX_STREAM_PAYLOAD_...
    const float* payload;
    int payloadLength;
};

const uint8_t kPayload[] = payload_bytes;

const PresetCase kCases[] = {
    {"audible_22050",
     "build/mcu/audible_payload_emulator.f32",
     RYX_STREAM_AUDIBLE_22050,
     {{"clean", audible_clean, audible_clean_length, audible_clean_sent, audible_clean_desktop},
      {"white-15dB", audible_white, audible_white_length, audible_white_sent,
       audible_white_desktop},
      {"babble-10dB", audible_babble, audible_babble_length, audible_babble_sent,
       audible_babble_desktop}},
     audible_encoded,
     audible_encoded_length,
     audible_payload_profile,
     audible_payload,
     audible_payload_length},
    {"phone_16000",
     "build/mcu/phone_payload_emulator.f32",
     RYX_STREAM_PHONE_16000,
     {{"clean", phone_clean, phone_clean_length, phone_clean_sent, phone_clean_desktop},
      {"white-15dB", phone_white, phone_white_length, phone_white_sent, phone_white_desktop},
      {"babble-10dB", phone_babble, phone_babble_length, phone_babble_sent, phone_babble_desktop}},
     phone_encoded,
     phone_encoded_length,
     phone_payload_profile,
     phone_payload,
     phone_payload_length},
};

// Instructions per second of audio from clock ticks over `samples` at `rate`.
uint64_t perSecond(uint64_t ticks, int samples, int rate) {
    return ticks * RYX_INSTRUCTIONS_PER_TICK * static_cast<uint64_t>(rate) /
           static_cast<uint64_t>(samples);
}

// Decodes one recording; true when the emulator hears exactly the desktop's texts.
bool decode(const PresetCase& c, RYX_StreamReceiver* receiver, const Recording& r,
            uint64_t& ticks) {
    float block[kBlock];
    char heard[kMostMessages][10] = {};
    int count = 0;
    for (int at = 0; at < r.length; at += kBlock) {
        const int n = r.length - at < kBlock ? r.length - at : kBlock;
        for (int i = 0; i < n; ++i) block[i] = static_cast<float>(r.pcm[at + i]) / 32768.0f;
        const uint64_t before = clockTicks();
        RYX_StreamReceiver_Execute(receiver, block, n);
        RYX_StreamMessage m;
        while (RYX_StreamReceiver_Poll(receiver, &m) == 1) {
            if (count < kMostMessages) std::memcpy(heard[count], m.text, sizeof m.text);
            ++count;
        }
        ticks += clockTicks() - before;
    }
    // The silence of a gap between recordings, so no transmission runs into the next one.
    bool same = count <= kMostMessages;
    int expected = 0;
    while (expected < kMostMessages && r.desktop[expected] != nullptr) ++expected;
    same = same && count == expected;
    for (int i = 0; i < count && i < expected && same; ++i) {
        same = std::strcmp(heard[i], r.desktop[i]) == 0;
    }
    std::printf("ryx-mcu: decoded %s %s sent %s desktop", c.name, r.name, r.sent);
    for (int i = 0; i < expected; ++i) std::printf(" %s", r.desktop[i]);
    std::printf(" emulator");
    for (int i = 0; i < count && i < kMostMessages; ++i) std::printf(" %s", heard[i]);
    std::printf(" %s\n", same ? "same" : "DIFFERENT");
    return same;
}

// Sends encoded_text block by block; true when every sample is the desktop's within 1e-6.
bool encode(const PresetCase& c, RYX_StreamEncoder* encoder) {
    const uint64_t before = clockTicks();
    const int total = RYX_StreamEncoder_Start(encoder, encoded_text);
    float block[kBlock];
    int at = 0;
    int exact = 0;
    float largest = 0.0f;
    for (int n; (n = RYX_StreamEncoder_Execute(encoder, block, kBlock)) > 0; at += n) {
        for (int i = 0; i < n && at + i < c.encodedLength; ++i) {
            const float difference = std::fabs(block[i] - c.encoded[at + i]);
            exact += difference == 0.0f ? 1 : 0;
            largest = difference > largest ? difference : largest;
        }
    }
    const uint64_t ticks = clockTicks() - before;
    const bool same = total == c.encodedLength && at == total && largest <= 1e-6f;
    std::printf(
        "ryx-mcu: encoded %s %s samples %d desktop %d exact %d largest_difference_e9 %lu "
        "instructions_per_second %lu %s\n",
        c.name, encoded_text, at, c.encodedLength, exact,
        static_cast<unsigned long>(largest * 1e9f),
        static_cast<unsigned long>(
            perSecond(ticks, at > 0 ? at : 1, RYX_StreamSampleRate(c.preset))),
        same ? "same" : "DIFFERENT");
    return same;
}

// Sends kPayload block by block, its samples written to c.emulatorPayload too; true when every
// sample is the desktop's within 1e-6 and all reached the host file. The clock leaves out the
// writing.
bool sendPayload(const PresetCase& c, RYX_StreamPayloadEncoder* encoder) {
    const int file = open(c.emulatorPayload, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    bool written = file >= 0;
    uint64_t writing = 0;
    const uint64_t before = clockTicks();
    const int64_t total =
        RYX_StreamPayloadEncoder_Start(encoder, kPayload, static_cast<int>(sizeof kPayload));
    float block[kBlock];
    int at = 0;
    int exact = 0;
    float largest = 0.0f;
    for (int n; (n = RYX_StreamPayloadEncoder_Execute(encoder, block, kBlock)) > 0; at += n) {
        for (int i = 0; i < n && at + i < c.payloadLength; ++i) {
            const float difference = std::fabs(block[i] - c.payload[at + i]);
            exact += difference == 0.0f ? 1 : 0;
            largest = difference > largest ? difference : largest;
        }
        const uint64_t start = clockTicks();
        const int bytes = n * static_cast<int>(sizeof(float));
        written = written && write(file, block, static_cast<size_t>(bytes)) == bytes;
        writing += clockTicks() - start;
    }
    const uint64_t ticks = clockTicks() - before - writing;
    written = file >= 0 && close(file) == 0 && written;
    const bool same = total == c.payloadLength && at == total && largest <= 1e-6f && written;
    std::printf(
        "ryx-mcu: payload %s %s bytes %u samples %d desktop %d exact %d largest_difference_e9 "
        "%lu instructions_per_second %lu %s%s\n",
        c.name, c.payloadProfile == RYX_STREAM_PAYLOAD_FAST ? "fast" : "robust",
        static_cast<unsigned>(sizeof kPayload), at, c.payloadLength, exact,
        static_cast<unsigned long>(largest * 1e9f),
        static_cast<unsigned long>(
            perSecond(ticks, at > 0 ? at : 1, RYX_StreamSampleRate(c.preset))),
        same ? "same" : "DIFFERENT", written ? "" : " (not written to the host)");
    return same;
}

// Every object of the test lives here: no heap.
constexpr size_t kArenaBytes = 204 * 1024;
alignas(8) unsigned char arena[kArenaBytes];
// stdout's buffer, so printing takes no heap either.
char outputBuffer[256];

}  // namespace

int main() {
    std::setvbuf(stdout, outputBuffer, _IOLBF, sizeof outputBuffer);
    std::printf("ryx-mcu: start\n");
    clockStart();
    // Start-up: every object is built in the static arena now, the receiver at 22050 Hz first.
    RYX_StreamReceiver* receivers[2];
    RYX_StreamEncoder* encoders[2];
    RYX_StreamPayloadEncoder* payloadEncoders[2];
    size_t used = 0;
    size_t sizes[6];
    for (int p = 0; p < 2; ++p) {
        sizes[p] = RYX_StreamReceiver_Size(kCases[p].preset);
        receivers[p] =
            RYX_StreamReceiver_CreateIn(kCases[p].preset, arena + used, kArenaBytes - used);
        used += sizes[p];
    }
    for (int p = 0; p < 2; ++p) {
        sizes[2 + p] = RYX_StreamEncoder_Size(kCases[p].preset);
        encoders[p] =
            RYX_StreamEncoder_CreateIn(kCases[p].preset, arena + used, kArenaBytes - used);
        used += sizes[2 + p];
    }
    for (int p = 0; p < 2; ++p) {
        const PresetCase& c = kCases[p];
        sizes[4 + p] = RYX_StreamPayloadEncoder_Size(c.preset, c.payloadProfile);
        payloadEncoders[p] = RYX_StreamPayloadEncoder_CreateIn(c.preset, c.payloadProfile,
                                                               arena + used, kArenaBytes - used);
        used += sizes[4 + p];
    }
    // What is left of the arena holds no third receiver: null, and nothing is built.
    bool pass =
        used <= kArenaBytes && kArenaBytes - used < sizes[0] &&
        RYX_StreamReceiver_CreateIn(kCases[0].preset, arena + used, kArenaBytes - used) == nullptr;
    for (int p = 0; p < 2; ++p) {
        pass &= receivers[p] != nullptr && encoders[p] != nullptr && payloadEncoders[p] != nullptr;
    }

    for (int p = 0; p < 2 && pass; ++p) {
        const PresetCase& c = kCases[p];
        uint64_t ticks = 0;
        int samples = 0;
        for (const Recording& r : c.recordings) {
            pass &= decode(c, receivers[p], r, ticks);
            samples += r.length;
        }
        std::printf(
            "ryx-mcu: receiver %s instructions_per_second %lu\n", c.name,
            static_cast<unsigned long>(perSecond(ticks, samples, RYX_StreamSampleRate(c.preset))));
        pass &= encode(c, encoders[p]);
        pass &= sendPayload(c, payloadEncoders[p]);
    }
    const size_t stack = stackHighWater();
    std::printf(
        "ryx-mcu: memory static %u receiver %u phone_receiver %u encoder %u stack %u heap %u "
        "payload_encoder %u\n",
        static_cast<unsigned>(staticBytes() - kArenaBytes), static_cast<unsigned>(sizes[0]),
        static_cast<unsigned>(sizes[1]), static_cast<unsigned>(sizes[2]),
        static_cast<unsigned>(stack), static_cast<unsigned>(heapBytes()),
        static_cast<unsigned>(sizes[4]));
    std::printf("ryx-mcu: allocations %d\n", heapAllocations());
    pass &= heapAllocations() == 0;
    for (int p = 0; p < 2; ++p) {
        RYX_StreamReceiver_Destroy(receivers[p]);
        RYX_StreamEncoder_Destroy(encoders[p]);
        RYX_StreamPayloadEncoder_Destroy(payloadEncoders[p]);
    }
    std::printf("ryx-mcu: %s\n", pass ? "pass" : "FAIL");
    return pass ? 0 : 1;
}
