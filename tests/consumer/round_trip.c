/* A C user of the flat API: sends a text in every plan at 44100 and 48000 Hz, receives it with a
 * second Context (mode all for the three fixed plans, custom for the custom one) and checks the
 * text and the plan heard. Prints one line per case and exits 0 only when all passed. */
#include <ryxsound/ryx_api.h>
#include <stdio.h>
#include <string.h>

#define BUFFER 1024

/* Feeds count samples and drains every event they queue; copies an intact message into text. */
static void feed(Context* rx, const float* samples, int count, char* text, int* intact) {
    int status = RYX_DecodeAudioBuffer(samples, count, rx);
    while (status != -1) {
        if (status == -3 && RYX_GetDecodedData(text, rx) == 9) ++*intact;
        status = RYX_DecodeAudioBuffer(samples, 0, rx);
    }
}

/* 1 when `message` sent in `mode` comes back intact from a receiver of `listenMode`, which for
 * mode all also names the plan (`plan`). */
static int roundTrip(int mode, int listenMode, int plan, float rate, const char* message) {
    static float silence[BUFFER];
    float chunk[BUFFER];
    char text[10] = "";
    int intact = 0, i, n;
    Context* tx = RYX_Create();
    Context* rx = RYX_Create();
    int ok = tx && rx && RYX_Configure(mode, rate, BUFFER, tx) == 0 &&
             RYX_Configure(listenMode, rate, BUFFER, rx) == 0 &&
             RYX_EncodeDataToAudioBuffer(message, 9, 0, NULL, 0, tx) > 0;
    if (ok) {
        for (i = 0; i < 24; ++i) feed(rx, silence, BUFFER, text, &intact);
        while ((n = RYX_GetEncodedAudioBuffer(chunk, tx)) > 0) feed(rx, chunk, n, text, &intact);
        for (i = 0; i < 24; ++i) feed(rx, silence, BUFFER, text, &intact);
        ok = intact == 1 && strcmp(text, message) == 0 &&
             (listenMode != RYX_MODE_ALL || RYX_GetDecodedMode(rx) == plan);
    }
    printf("c: mode %d at %.0f Hz: sent %s, heard %s (%d intact, plan %d): %s\n", mode, rate,
           message, text, intact, rx ? RYX_GetDecodedMode(rx) : -1, ok ? "ok" : "FAILED");
    RYX_Destroy(tx);
    RYX_Destroy(rx);
    return ok;
}

int main(void) {
    static const struct {
        int mode, listenMode, plan;
        const char* text;
    } cases[] = {
        {RYX_MODE_AUDIBLE, RYX_MODE_ALL, 0, "hello0123"},
        {RYX_MODE_NONAUDIBLE, RYX_MODE_ALL, 1, "vvvv00001"},
        {RYX_MODE_COMPRESSION, RYX_MODE_ALL, 2, "abcdefghi"},
        {RYX_MODE_CUSTOM, RYX_MODE_CUSTOM, 3, "custom987"},
    };
    const float rates[] = {44100.0f, 48000.0f};
    char info[20];
    int failures = 0;
    size_t c, r;
    if (strstr(RYX_GetVersion(), RYX_VERSION_STRING) == NULL || RYX_GetVersionInfo(info) != 19) {
        printf("c: version %s does not match the header's %s\n", RYX_GetVersion(),
               RYX_VERSION_STRING);
        ++failures;
    }
    for (c = 0; c < sizeof cases / sizeof cases[0]; ++c) {
        for (r = 0; r < sizeof rates / sizeof rates[0]; ++r) {
            failures += !roundTrip(cases[c].mode, cases[c].listenMode, cases[c].plan, rates[r],
                                   cases[c].text);
        }
    }
    printf("c: %s\n", failures ? "FAILED" : "all round trips intact");
    return failures ? 1 : 0;
}
