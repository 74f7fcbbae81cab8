/* RyxSound for small processors: a streaming text encoder, a streaming payload encoder and a
 * streaming robust text receiver, for C or C++, built the same on a desktop and for a Cortex-M4F
 * (the mcu/ folder).
 *
 *   #include <ryxsound/ryx_stream.h>
 *
 * Objects are created once (create), used any number of times (start, execute, poll) and ended
 * (destroy). Each lives in one block of memory: the caller's (CreateIn, with the bytes Size names:
 * a firmware hands it static memory and takes nothing from a heap) or one Create takes from the
 * heap; nothing afterwards allocates. Creation never stops the program: without the memory it
 * returns null. Sizes below are for the Cortex-M4 build; the desktop build keeps more. A null
 * object, a null buffer or a negative count is "nothing to do": the call returns 0.
 *
 * A preset fixes the plan and the sample rate of both ends:
 *   RYX_STREAM_AUDIBLE_22050  the audible plan (3.3 to 9.8 kHz) at 22050 Hz: 2304 samples per
 *                             symbol, 46080 per transmission (2.09 s)
 *   RYX_STREAM_PHONE_16000    the phone preset (0.6 to 2.3 kHz, for telephone paths) at 16000 Hz:
 *                             1671 samples per symbol, 33420 per transmission (2.09 s) */
#ifndef RYX_STREAM_H
#define RYX_STREAM_H

#include <stddef.h>
#include <stdint.h>

#include "ryxsound/export.h"

#ifdef __cplusplus
extern "C" {
#endif

#define RYX_STREAM_AUDIBLE_22050 0
#define RYX_STREAM_PHONE_16000 1

/* The preset's sample rate in Hz (22050, 16000); 0 for an unknown preset. */
RYX_EXPORT int RYX_StreamSampleRate(int preset);

/* ---- Encoder: one transmission, written block by block into the caller's buffer ---- */

typedef struct RYX_StreamEncoder RYX_StreamEncoder;

/* Bytes an encoder for `preset` takes in the caller's memory (2,623 in the Cortex-M4 build,
 * mostly its Reed-Solomon tables); 0 for an unknown preset. */
RYX_EXPORT size_t RYX_StreamEncoder_Size(int preset);

/* An encoder for `preset` built in memory[0 .. bytes), at any address, which stays the encoder's
 * until it is destroyed. Null, with nothing built, for an unknown preset, a null memory or fewer
 * bytes than RYX_StreamEncoder_Size(preset). */
RYX_EXPORT RYX_StreamEncoder* RYX_StreamEncoder_CreateIn(int preset, void* memory, size_t bytes);

/* The same in RYX_StreamEncoder_Size(preset) bytes from the heap; null for an unknown preset or
 * when the heap has not that much. */
RYX_EXPORT RYX_StreamEncoder* RYX_StreamEncoder_Create(int preset);

/* Starts sending the nine characters of `text` ('0'-'9', 'a'-'v', either case; nine are read):
 * returns the transmission's length in samples (46080 at 22050 Hz), or 0 for a text it cannot
 * send (null, a character outside the alphabet), which leaves nothing to send. A transmission in
 * progress is abandoned. */
RYX_EXPORT int RYX_StreamEncoder_Start(RYX_StreamEncoder* encoder, const char* text);

/* Writes the next at most `room` samples (-0.7 .. 0.7) into `out` and returns how many; 0 once
 * the transmission is complete. The samples are the same however the blocks are cut. Cost: two
 * sines per sample, in single precision in the Cortex-M4 build (12 M instructions per second of
 * audio at 22050 Hz; its samples lie within 1e-6 of the desktop build's, which are the ones
 * ryxsound's other encoders give). */
RYX_EXPORT int RYX_StreamEncoder_Execute(RYX_StreamEncoder* encoder, float* out, int room);

/* Ends the encoder (its memory is the caller's again, or goes back to the heap); null is ignored.
 */
RYX_EXPORT void RYX_StreamEncoder_Destroy(RYX_StreamEncoder* encoder);

/* ---- Payload encoder: 1 .. 4096 bytes, written block by block into the caller's buffer ---- */

/* The payload profiles: fast (shorter symbols, up to three channels) or robust (symbols twice as
 * long, hopping between sets, for rooms with echo). Both fit both presets:
 *   RYX_STREAM_AUDIBLE_22050  fast three channels (1.6 .. 5.9 kHz), robust two (1.2 .. 5.5 kHz);
 *                             100 bytes (4 frames): fast 94208 samples (4.27 s), robust 270336
 *                             (12.26 s)
 *   RYX_STREAM_PHONE_16000    one channel of each (fast symbols of 23.2 ms, robust 46.4 ms in two
 *                             hop sets); 100 bytes: fast 190216 samples (11.9 s), robust 380436
 *                             (23.8 s)
 * The streaming interface sends payloads only: receiving them takes 526 KiB at 22050 Hz, beyond a
 * small board's RAM. */
#define RYX_STREAM_PAYLOAD_FAST 0
#define RYX_STREAM_PAYLOAD_ROBUST 1
#define RYX_STREAM_PAYLOAD_MAX_BYTES 4096

typedef struct RYX_StreamPayloadEncoder RYX_StreamPayloadEncoder;

/* Bytes a payload encoder for `preset` and `profile` takes in the caller's memory (11,391, for
 * payloads of any size up to RYX_STREAM_PAYLOAD_MAX_BYTES: the frames' bodies, the Reed-Solomon
 * tables, the tone layout); 0 for an unknown preset or profile, or a profile the preset's band
 * cannot hold (none of today's presets). */
RYX_EXPORT size_t RYX_StreamPayloadEncoder_Size(int preset, int profile);

/* A payload encoder built in memory[0 .. bytes), at any address, which stays the encoder's until
 * it is destroyed. Null, with nothing built, where RYX_StreamPayloadEncoder_Size is 0, for a null
 * memory or fewer bytes than it names. */
RYX_EXPORT RYX_StreamPayloadEncoder* RYX_StreamPayloadEncoder_CreateIn(int preset, int profile,
                                                                       void* memory, size_t bytes);

/* The same in RYX_StreamPayloadEncoder_Size(preset, profile) bytes from the heap; null where that
 * size is 0 or the heap has not that much. */
RYX_EXPORT RYX_StreamPayloadEncoder* RYX_StreamPayloadEncoder_Create(int preset, int profile);

/* Starts sending data[0 .. size) (1 .. RYX_STREAM_PAYLOAD_MAX_BYTES bytes; copied, so `data` may
 * change afterwards): returns the transmission's length in samples (270336 for 100 bytes robust at
 * 22050 Hz), or 0 for a null data or a size out of range, which leaves nothing to send. A
 * transmission in progress is abandoned. */
RYX_EXPORT int64_t RYX_StreamPayloadEncoder_Start(RYX_StreamPayloadEncoder* encoder,
                                                  const uint8_t* data, int size);

/* Writes the next at most `room` samples (-1 .. 1) into `out` and returns how many; 0 once the
 * transmission is complete. The samples are the same however the blocks are cut. Cost: a sine per
 * sample for the pilot and one per channel, in single precision in the Cortex-M4 build, within
 * 1e-6 of the desktop build's samples (17.7 M instructions per second of audio robust at 22050 Hz,
 * 8.4 M fast in the phone preset). */
RYX_EXPORT int RYX_StreamPayloadEncoder_Execute(RYX_StreamPayloadEncoder* encoder, float* out,
                                                int room);

/* Ends the encoder (its memory is the caller's again, or goes back to the heap); null is ignored.
 */
RYX_EXPORT void RYX_StreamPayloadEncoder_Destroy(RYX_StreamPayloadEncoder* encoder);

/* ---- Robust receiver: feed samples, poll for messages ---- */

typedef struct RYX_StreamMessage {
    char text[10];    /* the nine characters and a NUL */
    int64_t start;    /* sample where its first start symbol began, counting the first sample fed
                       * as 0 (within a tenth of a symbol) */
    float confidence; /* 0..1: how well the text explains the audio */
    float levelDbfs;  /* received tone level, dB relative to a full-scale sine */
} RYX_StreamMessage;

typedef struct RYX_StreamReceiver RYX_StreamReceiver;

/* Messages a receiver holds until they are polled; a ninth pushes out the oldest. */
#define RYX_STREAM_QUEUE 8

/* Bytes a receiver for `preset` takes in the caller's memory: 84,543 at 22050 Hz and
 * 81,087 for the phone preset in the Cortex-M4 build (the desktop build keeps more); 0 for
 * an unknown preset. */
RYX_EXPORT size_t RYX_StreamReceiver_Size(int preset);

/* A receiver for `preset` built in memory[0 .. bytes), at any address, which stays the receiver's
 * until it is destroyed. Null, with nothing built, for an unknown preset, a null memory or fewer
 * bytes than RYX_StreamReceiver_Size(preset). */
RYX_EXPORT RYX_StreamReceiver* RYX_StreamReceiver_CreateIn(int preset, void* memory, size_t bytes);

/* The same in RYX_StreamReceiver_Size(preset) bytes from the heap; null for an unknown preset or
 * when the heap has not that much. */
RYX_EXPORT RYX_StreamReceiver* RYX_StreamReceiver_Create(int preset);

/* Feeds `count` samples at the preset's rate (any count; nominally -1 .. 1, anything finite is
 * taken, NaN and infinities count as 0) and returns the messages now waiting. A message is ready
 * about one symbol after its transmission ends. */
RYX_EXPORT int RYX_StreamReceiver_Execute(RYX_StreamReceiver* receiver, const float* samples,
                                          int count);

/* Takes the oldest waiting message into *out: 1, or 0 when none waits (out untouched). */
RYX_EXPORT int RYX_StreamReceiver_Poll(RYX_StreamReceiver* receiver, RYX_StreamMessage* out);

/* Messages pushed out of a full queue since creation. */
RYX_EXPORT int RYX_StreamReceiver_Lost(const RYX_StreamReceiver* receiver);

/* Ends the receiver (its memory is the caller's again, or goes back to the heap); null is
 * ignored. */
RYX_EXPORT void RYX_StreamReceiver_Destroy(RYX_StreamReceiver* receiver);

#ifdef __cplusplus
}
#endif

#endif /* RYX_STREAM_H */
