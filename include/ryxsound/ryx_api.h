/* RyxSound's flat API: every operation is a free function taking the Context last.
 *
 *   #include <ryxsound/ryx_api.h>     (C or C++; link with -lryxsound, see ryxsound.pc)
 *
 * A caller creates a Context, configures it for a mode and a sample rate (which builds its
 * encoder and decoder as a matched pair), encodes and decodes through it any number of times and
 * destroys it. Failures are return values; nothing is logged. Usable from C and C++.
 *
 * Operations that need an encoder or a decoder, given a null Context or one that is not
 * configured, do nothing and return their failure value: -1 for int results (0 for
 * RYX_GetEncodedAudioBuffer, which counts samples written), 0.0 for float results. Null sample or
 * text buffers are "nothing to do". */
#ifndef RYX_API_H
#define RYX_API_H

#include <stdint.h>

#include "ryxsound/export.h"

/* The library's version; RYX_VERSION_STRING is "1.0.0". */
#define RYX_VERSION_MAJOR 1
#define RYX_VERSION_MINOR 0
#define RYX_VERSION_PATCH 0
#define RYX_VERSION_STRING "1.0.0"

#ifdef __cplusplus
extern "C" {
#endif

#define RYX_MODE_AUDIBLE 2     /* tones from about 3.3 kHz */
#define RYX_MODE_NONAUDIBLE 3  /* tones from about 17.8 kHz */
#define RYX_MODE_COMPRESSION 4 /* tones from about 14 kHz, for lossy codecs */
#define RYX_MODE_ALL 5         /* sends like non-audible, listens for the three plans above */
#define RYX_MODE_CUSTOM 6      /* tones from RYX_SetCustomBaseFreq's base */

typedef struct Context Context;

/* ---- Lifecycle ---- */

/* A new, empty Context (no encoder, no decoder); null only if memory is exhausted. */
RYX_EXPORT Context* RYX_Create(void);

/* Builds the encoder and decoder of `mode` (2..6) for `sampleRate` Hz, discarding all earlier
 * encoding and decoding state, and returns 0. Returns -1 and leaves the Context empty for an
 * unknown mode or a sample rate outside 1000..1000000 Hz (not finite, zero or negative included).
 * The analysis window is 2048 samples at 48000 and 44100 Hz, 1024 at 22050, 512 at 11050 and 256
 * at any other rate. `bufferSize` is the most samples RYX_GetEncodedAudioBuffer hands out. */
RYX_EXPORT int RYX_Configure(int mode, float sampleRate, int32_t bufferSize, Context* context);

/* Frees the Context and everything it owns; a null Context is ignored. */
RYX_EXPORT void RYX_Destroy(Context* context);

/* Sets the process-wide custom plan: base frequency in Hz and hop step of stepParam + 2 bins. A
 * Context configured for RYX_MODE_CUSTOM rebuilds its pair at once (losing audio, signature and
 * decoding state); other Contexts use the values at their next custom configuration. Returns 0. */
RYX_EXPORT int RYX_SetCustomBaseFreq(float baseFreq, int stepParam, Context* context);

/* "RyxCoreLib version 1.0.0 [PyRyxSDK]", static. */
RYX_EXPORT const char* RYX_GetVersion(void);

/* Writes "RyxSound Python SDK" and a NUL into buffer (20 bytes) and returns 19; null: -1. */
RYX_EXPORT int RYX_GetVersionInfo(char* buffer);

/* ---- Encoding ---- */

/* Stores the first min(length, 20 symbol durations) samples of source (92160 at 44100 Hz) as the
 * signature mixed into the start of every later transmission; null source or length <= 0 clears
 * it. Returns 0. */
RYX_EXPORT int RYX_SetAudioSignature(int32_t length, const float* source, Context* context);

/* Encodes textLength characters of text (nine base-32 characters '0'-'9', 'a'-'v' in either case;
 * up to 20 accepted) into audio and returns its sample count (92160 at 44100 Hz), restarting the
 * read-out. synthMode 1 adds random tones, 2 a melody of melodyLength base-32 characters, other
 * values nothing. A text that cannot be framed returns 0 and leaves no audio. */
RYX_EXPORT int RYX_EncodeDataToAudioBuffer(const char* text, int32_t textLength, int32_t synthMode,
                                           const char* melody, int32_t melodyLength,
                                           Context* context);

/* Copies the next at most bufferSize samples into out and returns how many (0 once all were
 * handed out). out holds bufferSize floats. */
RYX_EXPORT int RYX_GetEncodedAudioBuffer(float* out, Context* context);

/* As RYX_GetEncodedAudioBuffer, writing at most `room` samples into out. */
RYX_EXPORT int RYX_GetEncodedAudioSlice(float* out, int32_t room, Context* context);

/* Restarts the read-out at the first sample. Returns 0. */
RYX_EXPORT int RYX_ResetEncodedAudioBuffer(Context* context);

/* Has no effect (the synthesis choice travels with each encode); returns 0. */
RYX_EXPORT int RYX_SetSynthMode(int synthMode, Context* context);

/* Sets the process-wide gain of the random-tone overlay in dB (0 = unity); returns 0. */
RYX_EXPORT int RYX_SetSynthVolume(float volume, Context* context);

/* ---- Decoding ---- */

/* Feeds count captured samples: -1 nothing new, -2 a message starts, 0..31 a symbol was decided,
 * -3 the message is complete (fetch it with RYX_GetDecodedData). Calls returning an event leave
 * later samples queued: call again with count 0 until -1 to drain them. */
RYX_EXPORT int RYX_DecodeAudioBuffer(const float* input, int count, Context* context);

/* After -3: writes the nine characters and a NUL into out (10 bytes) and returns 9 when the
 * message is intact (error correction succeeded, the start symbols and the checksum match), -9
 * when not (the text is then untrustworthy); -1 with an empty text when no message is
 * complete. */
RYX_EXPORT int RYX_GetDecodedData(char* out, Context* context);

/* Confidence 0..1 of the last message: min(max(noise dB / 15, 0), 1) x error ratio. */
RYX_EXPORT float RYX_GetConfidence(Context* context);
/* Share 0..1 of the twelve message symbols that error correction left unchanged. */
RYX_EXPORT float RYX_GetConfidenceError(Context* context);
/* Mean tone-to-band level of the last message, dB. */
RYX_EXPORT float RYX_GetConfidenceNoise(Context* context);
/* Received level of the last message, dB (minus infinity before any message). */
RYX_EXPORT float RYX_GetReceivedRyxsVolume(Context* context);
/* 0 audible, 1 non-audible, 2 compression, 3 custom; -1 before RYX_MODE_ALL heard a message. */
RYX_EXPORT int RYX_GetDecodedMode(Context* context);
/* The custom decoder's band in Hz; 0.0 for the other modes. */
RYX_EXPORT float RYX_GetDecodingBeginFreq(Context* context);
RYX_EXPORT float RYX_GetDecodingEndFreq(Context* context);
/* Copies the first windowSize / 2 power values of the newest analysed frame into out and returns
 * that count (1024 for a window of 2048). */
RYX_EXPORT int RYX_GetSpectrum(float* out, Context* context);

#ifdef __cplusplus
}
#endif

#endif /* RYX_API_H */
