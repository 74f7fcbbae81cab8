"""A round trip through _RyxSDK in every mode: encode a text, read the audio out, put half a
second of silence before and after it, decode it back and print what arrived. Then a payload
(any bytes, here a sentence) in both profiles through the ryxsound package, which the flat API
does not send.

Run with the module importable (installed, or PYTHONPATH pointing at a build's python/ folder):
    python examples/demo.py
"""

import contextlib
import os
import sys

import numpy as np

import _RyxSDK as ryx
import ryxsound

RATE = 44100
CHUNK = 1024
MODES = [
    ("audible", ryx.RYX_MODE_AUDIBLE, "hello0123"),
    ("nonaudible", ryx.RYX_MODE_NONAUDIBLE, "quiet4321"),
    ("compression", ryx.RYX_MODE_COMPRESSION, "mp3safe42"),
    ("all", ryx.RYX_MODE_ALL, "all5modes"),
    ("custom", ryx.RYX_MODE_CUSTOM, "custom6ok"),
]


@contextlib.contextmanager
def stdout_fd_silenced():
    """Sends file descriptor 1 to /dev/null: the read-out prints one line per call there."""
    sys.stdout.flush()  # what Python printed so far must reach the real stdout first
    saved = os.dup(1)
    try:
        with open(os.devnull, "w") as devnull:
            os.dup2(devnull.fileno(), 1)
        yield
    finally:
        os.dup2(saved, 1)
        os.close(saved)


def encode(mode, text):
    """The audio of `text` in `mode`, as one float32 array."""
    handle = ryx.RYX_Create()
    try:
        if ryx.RYX_Configure(mode, RATE, CHUNK, handle) != 0:
            raise RuntimeError(f"mode {mode} not configured")
        if ryx.RYX_EncodeDataToAudioBuffer(text, len(text), 0, b"", 0, handle) == 0:
            raise ValueError(f"{text!r} cannot be sent")
        parts = []
        out = np.empty(CHUNK, dtype=np.float32)
        with stdout_fd_silenced():
            while (n := ryx.RYX_PyGetEncodedAudioBuffer(out, handle)) > 0:
                parts.append(out[:n].copy())
        return np.concatenate(parts)
    finally:
        ryx.RYX_Destroy(handle)


def decode(mode, signal):
    """(status, text, confidence, tone/band dB, level dB) of the first message in `signal`."""
    handle = ryx.RYX_Create()
    try:
        ryx.RYX_Configure(mode, RATE, CHUNK, handle)
        empty = np.zeros(0, dtype=np.float32)
        for start in range(0, len(signal), CHUNK):
            piece = signal[start:start + CHUNK]
            status = ryx.RYX_PyDecodeAudioBuffer(piece, len(piece), handle)
            while status != -1:  # an event: drain the samples still queued
                if status == -3:
                    result, text = ryx.RYX_PyGetDecodedData(handle)
                    return (result, text, ryx.RYX_GetConfidence(handle),
                            ryx.RYX_GetConfidenceNoise(handle),
                            ryx.RYX_GetReceivedRyxsVolume(handle))
                status = ryx.RYX_PyDecodeAudioBuffer(empty, 0, handle)
        return (None, "", 0.0, 0.0, float("-inf"))
    finally:
        ryx.RYX_Destroy(handle)


def main():
    print(ryx.RYX_GetVersion())
    header = f"{'mode':<12} {'sent':<10} {'status':>6} {'received':<10} {'confidence':>10} " \
             f"{'tone/band dB':>12} {'level dB':>9}"
    print(header)
    print("-" * len(header))
    silence = np.zeros(RATE // 2, dtype=np.float32)
    for name, mode, text in MODES:
        signal = np.concatenate([silence, encode(mode, text), silence])
        status, received, confidence, tone_to_band, level = decode(mode, signal)
        print(f"{name:<12} {text:<10} {status!s:>6} {received:<10} {confidence:>10.3f} "
              f"{tone_to_band:>12.1f} {level:>9.1f}")
    print()
    payload_round_trip(silence)


def payload_round_trip(silence):
    """A sentence sent as a payload in each profile and received back, with its frames: a
    payload is whole once the needed frames are heard, whatever else was sent."""
    sent = "a payload: any bytes, 1 to 4096 of them"
    header = f"{'profile':<8} {'bytes':>5} {'seconds':>7} {'ok':<5} " \
             f"{'frames heard/needed/sent':<24} received"
    print(header)
    print("-" * len(header))
    for profile in ryxsound.PROFILES:
        audio = ryxsound.encode_payload(sent, profile=profile, sample_rate=RATE)
        for p in ryxsound.decode_payloads(np.concatenate([silence, audio, silence]), RATE):
            frames = f"{p.frames_heard}/{p.frames_needed}/{p.frames_total}"
            print(f"{profile:<8} {p.size:>5} {len(audio) / RATE:>7.2f} {p.ok!s:<5} {frames:<24} "
                  f"{p.text!r}")


if __name__ == "__main__":
    main()
