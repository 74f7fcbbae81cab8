#!/usr/bin/env python3
"""Channel harness: how many transmissions survive a given channel.

Random nine-character texts are encoded through _RyxSDK, laid into one stream (each message in a
slot of its own, with random leading and trailing audio), passed through a channel (noise, gain,
clock drift, a room, a lossy codec, a telephone band ...), cut back into slots and decoded, each
slot by a freshly configured decoder fed in 1024-sample buffers.

Each cell counts successes (the sent text came back with a matching checksum), wrong texts (a
matching checksum on a different text: the failure that error detection must keep rare) and
misses (nothing, or only checksum mismatches).

Importable (tests use `run_cell` and the channel functions) and runnable:

    python bench/channel.py --messages 20 --out channel.md
    python bench/channel.py --messages 5 --channels 'white|mp3' --modes 2,4 --rates 44100
    python bench/channel.py --receiver both --channels 'crowd|32k|16k|-2[05] dB' --modes 2
    python bench/channel.py --payloads --messages 20 --out payloads.md

With --receiver robust or both, the robust receiver decodes through the decode_stream program
(bench/decode_stream.cpp; $RYX_DECODE_STREAM, else built under build/bench-plain on first use),
and each cell shows standard / robust. With --payloads it measures 140-byte payloads instead,
RyxSound's beside ggwave's (bench/payload_bench.py).

Channels that need a missing tool (sox, ffmpeg, espeak-ng) are reported as n/a. Generated audio is
cached outside the tree (babble speech in the system temp folder); nothing is written to the tree.
"""
from __future__ import annotations

import argparse
import contextlib
import ctypes
import dataclasses
import functools
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time
from collections.abc import Callable

import numpy as np

try:
    import _RyxSDK as sdk
except ImportError:  # the channel functions stay usable without the module
    sdk = None

ALPHABET = "0123456789abcdefghijklmnopqrstuv"
MODES = {2: "audible", 3: "non-audible", 4: "compression", 5: "all", 6: "custom"}
RATES = (44100, 48000)
BUFFER = 1024  # samples per encoder read-out and per decoder call
SYMBOL_SECONDS = 0.104489796
MESSAGE_SYMBOLS = 20

# Slot layout: PREROLL samples (the receiver has been listening for a moment: a message that begins
# at the very first sample a fresh decoder hears is not recognised, by design), a random lead of up
# to LEAD_MAX samples, the message, then TRAIL_SECONDS plus up to one symbol of random audio. The
# trail absorbs codec delays (about 2000 samples for MP3 and AAC) and room tails; the decoder needs
# one frame after the last symbol to report completion.
PREROLL = 2048
LEAD_MAX = 4096
TRAIL_SECONDS = 0.3
FLOOR_RMS = 1e-4  # the random leading and trailing audio: white noise 80 dB below full scale

CACHE_DIR = os.path.join(tempfile.gettempdir(), "ryxsound-bench-cache")


class Unavailable(RuntimeError):
    """A channel needs a tool that is not installed: the cell is reported as n/a."""


def bench_python(venv: str, variable: str, script: str) -> str:
    """The Python of a bench's own environment: $variable, else build/<venv>; Unavailable, naming
    the script that makes it, when it is missing."""
    path = os.environ.get(variable) or os.path.join(ROOT, "build", venv, "bin", "python")
    if not os.path.exists(path):
        raise Unavailable(f"build/{venv} is missing: run {script}")
    return path


# ---------------------------------------------------------------------------------------------
# Streams


@dataclasses.dataclass
class Stream:
    """Audio with one decoding slot per message.

    samples: float32 mono; rate: Hz; slots: (begin, end) sample ranges, one per message, that a
    fresh decoder gets; signal_power: mean square of the message audio as sent (the reference of
    every signal-to-noise ratio here, measured over the whole band).
    """

    samples: np.ndarray
    rate: int
    slots: list[tuple[int, int]]
    signal_power: float

    def with_samples(self, samples: np.ndarray, scale: float = 1.0) -> "Stream":
        """The same slots over new samples; scale stretches the slot positions (clock drift)."""
        slots = [(int(b * scale), int(e * scale)) for b, e in self.slots]
        return Stream(np.ascontiguousarray(samples, dtype=np.float32), self.rate, slots,
                      self.signal_power)


def random_text(rng: np.random.Generator) -> str:
    """Nine base-32 characters, each in random case (the encoder takes both)."""
    chars = [ALPHABET[i] for i in rng.integers(0, 32, size=9)]
    return "".join(c.upper() if rng.random() < 0.3 else c for c in chars)


@contextlib.contextmanager
def c_stdout_silenced():
    """Points file descriptor 1 at /dev/null: the module's read-out prints a line per call there."""
    sys.stdout.flush()
    libc = ctypes.CDLL(None)
    saved = os.dup(1)
    devnull = os.open(os.devnull, os.O_WRONLY)
    try:
        os.dup2(devnull, 1)
        yield
    finally:
        libc.fflush(None)  # the C runtime's buffered lines go to /dev/null, not to the terminal
        os.dup2(saved, 1)
        os.close(saved)
        os.close(devnull)


def require_sdk():
    if sdk is None:
        raise RuntimeError("_RyxSDK is not importable: build and install the package first")
    return sdk


class Transceiver:
    """One encoding Context and one decoding Context of a mode and rate; the encoder may send in
    another mode (`sender`, say the audible plan to the all-modes receiver)."""

    def __init__(self, mode: int, rate: int, sender: int | None = None):
        m = require_sdk()
        self.mode, self.rate = mode, rate
        self.tx = m.RYX_Create()
        self.rx = m.RYX_Create()
        if m.RYX_Configure(sender or mode, float(rate), BUFFER, self.tx) != 0:
            raise ValueError(f"mode {mode} at {rate} Hz cannot be configured")
        self.out = np.zeros(BUFFER, dtype=np.float32)

    def close(self):
        if self.tx is not None:
            sdk.RYX_Destroy(self.tx)
            sdk.RYX_Destroy(self.rx)
            self.tx = self.rx = None

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    def encode(self, text: str) -> np.ndarray:
        count = sdk.RYX_EncodeDataToAudioBuffer(text, len(text), 0, b"", 0, self.tx)
        if count <= 0:
            raise ValueError(f"cannot encode {text!r}")
        audio = np.empty(count, dtype=np.float32)
        pos = 0
        with c_stdout_silenced():
            while True:
                n = sdk.RYX_PyGetEncodedAudioBuffer(self.out, self.tx)
                if n <= 0:
                    break
                audio[pos:pos + n] = self.out[:n]
                pos += n
        if pos != count:
            raise RuntimeError(f"read-out gave {pos} of {count} samples")
        return audio

    def decode(self, samples: np.ndarray) -> list[tuple[int, str]]:
        """Every completed message of `samples`, (status, text), through a fresh decoder."""
        if sdk.RYX_Configure(self.mode, float(self.rate), BUFFER, self.rx) != 0:
            raise RuntimeError("decoder configuration failed")
        return feed(self.rx, samples)


def feed(handle, samples: np.ndarray, chunk: int = BUFFER) -> list[tuple[int, str]]:
    """Feeds samples in `chunk`-sample buffers, draining queued frames after every event; returns
    the completed messages as (status, text)."""
    samples = np.ascontiguousarray(samples, dtype=np.float32)
    messages = []
    decode = sdk.RYX_PyDecodeAudioBuffer
    for begin in range(0, len(samples), chunk):
        block = samples[begin:begin + chunk]
        status = decode(block, len(block), handle)
        while status != -1:
            if status == -3:
                messages.append(tuple(sdk.RYX_PyGetDecodedData(handle)))
            status = decode(block, 0, handle)
    return messages


def build_stream(tr: Transceiver, texts: list[str], rng: np.random.Generator,
                 leads: list[int] | None = None, floor_rms: float = FLOOR_RMS) -> Stream:
    """Lays the encoded texts into slots (see slot_stream)."""
    return slot_stream([tr.encode(text) for text in texts], tr.rate, rng, leads, floor_rms)


def slot_stream(transmissions: list[np.ndarray], rate: int, rng: np.random.Generator,
                leads: list[int] | None = None, floor_rms: float = FLOOR_RMS) -> Stream:
    """Lays transmissions (audio at `rate`) into slots: pre-roll, lead, transmission, trail;
    leads default to random (0 .. LEAD_MAX); the leading and trailing audio is white noise of
    floor_rms (0: silence)."""
    symbol = int(rate * SYMBOL_SECONDS)
    pieces, slots, power = [], [], []
    pos = 0
    for i, audio in enumerate(transmissions):
        lead = PREROLL + (int(rng.integers(0, LEAD_MAX + 1)) if leads is None else int(leads[i]))
        trail = int(TRAIL_SECONDS * rate) + int(rng.integers(0, symbol + 1))
        slot = np.zeros(lead + len(audio) + trail, dtype=np.float32)
        if floor_rms > 0:
            slot += (rng.standard_normal(len(slot)) * floor_rms).astype(np.float32)
        slot[lead:lead + len(audio)] += audio
        pieces.append(slot)
        slots.append((pos, pos + len(slot)))
        power.append(float(np.mean(audio.astype(np.float64) ** 2)))
        pos += len(slot)
    return Stream(np.concatenate(pieces), rate, slots, float(np.mean(power)))


# ---------------------------------------------------------------------------------------------
# Channels: each takes a Stream and a random generator and returns the Stream as received.

Channel = Callable[[Stream, np.random.Generator], Stream]


def clean(stream: Stream, rng: np.random.Generator) -> Stream:
    return stream


def gain(factor: float, clip: bool = False) -> Channel:
    """Scales by factor; with clip, limits to [-1, 1] as a fixed-point capture would."""

    def apply(stream: Stream, rng: np.random.Generator) -> Stream:
        x = stream.samples * np.float32(factor)
        return stream.with_samples(np.clip(x, -1.0, 1.0) if clip else x)

    return apply


def slot_gains(low: float, high: float) -> Channel:
    """Scales each message's slot by its own factor, log-uniform in [low, high]; the first two
    slots get exactly low and high."""

    def apply(stream: Stream, rng: np.random.Generator) -> Stream:
        x = stream.samples.copy()
        for i, (begin, end) in enumerate(stream.slots):
            g = (low, high)[i] if i < 2 else float(np.exp(rng.uniform(np.log(low), np.log(high))))
            x[begin:end] *= np.float32(g)
        return stream.with_samples(x)

    return apply


def _noise_at_snr(stream: Stream, noise: np.ndarray, snr_db: float) -> Stream:
    noise = noise.astype(np.float64)
    scale = np.sqrt(stream.signal_power / 10 ** (snr_db / 10) / np.mean(noise ** 2))
    return stream.with_samples(stream.samples + (noise * scale).astype(np.float32))


def white_noise(snr_db: float) -> Channel:
    """Adds white Gaussian noise at snr_db over the whole band (0 .. rate / 2)."""

    def apply(stream: Stream, rng: np.random.Generator) -> Stream:
        return _noise_at_snr(stream, rng.standard_normal(len(stream.samples)), snr_db)

    return apply


def pink(length: int, rng: np.random.Generator, rate: int) -> np.ndarray:
    """Gaussian noise with power falling 3 dB per octave above 20 Hz (FFT shaped), unit RMS."""
    spectrum = rng.standard_normal(length // 2 + 1) + 1j * rng.standard_normal(length // 2 + 1)
    f = np.fft.rfftfreq(length, 1.0 / rate)
    spectrum /= np.sqrt(np.maximum(f, 20.0))
    spectrum[0] = 0
    x = np.fft.irfft(spectrum, length)
    return x / np.sqrt(np.mean(x ** 2))


def pink_noise(snr_db: float) -> Channel:
    """Adds pink noise at snr_db over the whole band."""

    def apply(stream: Stream, rng: np.random.Generator) -> Stream:
        return _noise_at_snr(stream, pink(len(stream.samples), rng, stream.rate), snr_db)

    return apply


def babble_noise(snr_db: float) -> Channel:
    """Adds four overlapping synthetic talkers (espeak-ng), looped, at snr_db over the whole
    band."""

    def apply(stream: Stream, rng: np.random.Generator) -> Stream:
        track = babble_track(stream.rate)
        start = int(rng.integers(0, len(track)))
        reps = -(-(start + len(stream.samples)) // len(track))
        noise = np.tile(track, reps)[start:start + len(stream.samples)]
        return _noise_at_snr(stream, noise, snr_db)

    return apply


def resample(x: np.ndarray, length: int) -> np.ndarray:
    """Band-limited resampling of the whole signal to `length` samples (FFT, periodic)."""
    spectrum = np.fft.rfft(x.astype(np.float64))
    y = np.fft.irfft(spectrum, length) * (length / len(x))
    return y.astype(np.float32)


def drift(ppm: float) -> Channel:
    """Sample-clock mismatch: the receiver's clock runs ppm parts per million faster than the
    sender's (negative: slower), so it captures more samples and hears every tone lower."""

    def apply(stream: Stream, rng: np.random.Generator) -> Stream:
        n = len(stream.samples)
        m = int(round(n * (1 + ppm * 1e-6)))
        return stream.with_samples(resample(stream.samples, m), m / n)

    return apply


def _pipe(cmd: list[str], data: bytes) -> bytes:
    done = subprocess.run(cmd, input=data, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                          check=False)
    if done.returncode != 0:
        raise RuntimeError(f"{cmd[0]} failed: {done.stderr.decode(errors='replace')[-400:]}")
    return done.stdout


def _need(tool: str):
    if shutil.which(tool) is None:
        raise Unavailable(f"{tool} is not installed")


def reverb(reverberance: int, damping: int, room_scale: int) -> Channel:
    """A room through sox's reverb effect (wet and dry), with the peak level kept."""

    def apply(stream: Stream, rng: np.random.Generator) -> Stream:
        _need("sox")
        raw = ["-t", "raw", "-r", str(stream.rate), "-e", "floating-point", "-b", "32", "-c", "1"]
        out = _pipe(["sox", "-V1", "-G"] + raw + ["-"] + raw + ["-", "reverb",
                    str(reverberance), str(damping), str(room_scale)],
                    stream.samples.tobytes())
        y = np.frombuffer(out, dtype=np.float32)[:len(stream.samples)]
        y = np.pad(y, (0, len(stream.samples) - len(y)))
        return stream.with_samples(y)

    return apply


def codec(encoder: str, bitrate: str, container: str) -> Channel:
    """A lossy round trip through ffmpeg: encode with `encoder` at `bitrate`, decode back."""

    def apply(stream: Stream, rng: np.random.Generator) -> Stream:
        _need("ffmpeg")
        base = ["ffmpeg", "-nostdin", "-hide_banner", "-loglevel", "error"]
        pcm = ["-f", "f32le", "-ar", str(stream.rate), "-ac", "1"]
        coded = _pipe(base + pcm + ["-i", "pipe:0", "-c:a", encoder, "-b:a", bitrate,
                                    "-f", container, "pipe:1"], stream.samples.tobytes())
        out = _pipe(base + ["-i", "pipe:0"] + pcm + ["pipe:1"], coded)
        y = np.frombuffer(out, dtype=np.float32)[:len(stream.samples)]
        y = np.pad(y, (0, len(stream.samples) - len(y)))
        return stream.with_samples(y)

    return apply


def telephone(stream: Stream, rng: np.random.Generator) -> Stream:
    """Down to 8000 Hz, a 300-3400 Hz band (ideal filter), and back up to the stream's rate."""
    n = len(stream.samples)
    narrow = resample(stream.samples, int(round(n * 8000 / stream.rate)))
    spectrum = np.fft.rfft(narrow.astype(np.float64))
    f = np.fft.rfftfreq(len(narrow), 1.0 / 8000)
    spectrum[(f < 300) | (f > 3400)] = 0
    narrow = np.fft.irfft(spectrum, len(narrow))
    return stream.with_samples(resample(narrow, n))


def offsets(stream: Stream, rng: np.random.Generator) -> Stream:
    """Marker channel: the stream itself, built with leads spread evenly over 0 .. 2 symbols of
    digital silence (see run_cell)."""
    return stream


# ---------------------------------------------------------------------------------------------
# Babble source

BABBLE_TALKERS = [
    ("en", 50, "The quarterly figures arrive on Thursday, so please keep the meeting short."),
    ("en-us", 35, "Would you mind passing the salt and the pepper over to this side of the table?"),
    ("de", 60, "Der Zug nach Hamburg faellt heute leider aus, bitte nehmen Sie den naechsten."),
    ("fr", 70, "Nous avons rendez-vous devant la gare a huit heures moins le quart ce soir."),
    ("en-gb", 40, "Seven hundred and twenty three people signed the petition before noon."),
    ("es", 55, "La cocina cierra a las diez, pero el bar sigue abierto hasta medianoche."),
]


def _speak(voice: str, pitch: int, text: str) -> tuple[np.ndarray, int]:
    _need("espeak-ng")
    wav = _pipe(["espeak-ng", "-v", voice, "-p", str(pitch), "-s", "165", "--stdout", text], b"")
    return parse_wav(wav)


def parse_wav(data: bytes) -> tuple[np.ndarray, int]:
    """16-bit mono PCM WAV (as espeak-ng writes it, possibly with unset sizes) to float64."""
    if data[:4] != b"RIFF" or data[8:12] != b"WAVE":
        raise RuntimeError("not a WAV stream")
    pos, rate = 12, 22050
    while pos + 8 <= len(data):
        tag, size = data[pos:pos + 4], int.from_bytes(data[pos + 4:pos + 8], "little")
        if tag == b"fmt ":
            rate = int.from_bytes(data[pos + 12:pos + 16], "little")
        if tag == b"data":
            body = data[pos + 8:]
            if 0 < size < len(body):
                body = body[:size]
            body = body[:len(body) // 2 * 2]
            return np.frombuffer(body, dtype="<i2").astype(np.float64) / 32768.0, rate
        pos += 8 + size
    raise RuntimeError("WAV stream without data")


def speech_clips(rate: int) -> list[np.ndarray]:
    """The talkers' sentences, each resampled to `rate` and scaled to unit RMS."""
    clips = []
    for voice, pitch, text in BABBLE_TALKERS:
        x, native = _speak(voice, pitch, text)
        x = resample(x, int(round(len(x) * rate / native))).astype(np.float64)
        clips.append(x / np.sqrt(np.mean(x ** 2)))
    return clips


def babble_track(rate: int, seconds: float = 20.0) -> np.ndarray:
    """Twenty seconds of four simultaneous talkers at unit RMS; generated once, cached on disk."""
    path = os.path.join(CACHE_DIR, f"babble-{rate}.f32")
    if os.path.exists(path):
        return np.fromfile(path, dtype=np.float32)
    clips = speech_clips(rate)
    rng = np.random.default_rng(1234)
    length = int(seconds * rate)
    track = np.zeros(length)
    for talker in range(4):
        pos = int(rng.integers(0, rate))
        while pos < length:
            clip = clips[int(rng.integers(0, len(clips)))]
            n = min(len(clip), length - pos)
            track[pos:pos + n] += clip[:n] * rng.uniform(0.6, 1.4)
            pos += n + int(rng.uniform(0.05, 0.4) * rate)
    track = (track / np.sqrt(np.mean(track ** 2))).astype(np.float32)
    os.makedirs(CACHE_DIR, exist_ok=True)
    tmp = f"{path}.{os.getpid()}"
    track.tofile(tmp)
    os.replace(tmp, path)
    return track


# ---------------------------------------------------------------------------------------------
# Hard channels: crowded speech, low-bitrate codecs, very weak signals

# Five talkers at clearly different speaking rates (words per minute) and pitches.
CROWD_TALKERS = [(0, 120, 30), (1, 150, 45), (2, 175, 60), (3, 205, 70), (4, 235, 40)]


def crowd_track(rate: int, seconds: float = 30.0) -> np.ndarray:
    """Thirty seconds of five espeak-ng talkers, each at its own speed and pitch, speaking without
    pauses longer than 0.15 s, mixed at unit RMS; cached on disk."""
    path = os.path.join(CACHE_DIR, f"crowd-{rate}.f32")
    if os.path.exists(path):
        return np.fromfile(path, dtype=np.float32)
    _need("espeak-ng")
    rng = np.random.default_rng(4321)
    length = int(seconds * rate)
    track = np.zeros(length)
    for sentence, speed, pitch in CROWD_TALKERS:
        clips = []
        for k in range(len(BABBLE_TALKERS)):
            voice, _, text = BABBLE_TALKERS[(sentence + k) % len(BABBLE_TALKERS)]
            wav = _pipe(["espeak-ng", "-v", voice, "-p", str(pitch), "-s", str(speed),
                         "--stdout", text], b"")
            x, native = parse_wav(wav)
            x = resample(x, int(round(len(x) * rate / native))).astype(np.float64)
            clips.append(x / np.sqrt(np.mean(x ** 2)))
        pos = int(rng.integers(0, rate // 4))
        k = 0
        while pos < length:
            clip = clips[k % len(clips)]
            n = min(len(clip), length - pos)
            track[pos:pos + n] += clip[:n] * rng.uniform(0.7, 1.3)
            pos += n + int(rng.uniform(0.0, 0.15) * rate)
            k += 1
    track = (track / np.sqrt(np.mean(track ** 2))).astype(np.float32)
    os.makedirs(CACHE_DIR, exist_ok=True)
    tmp = f"{path}.{os.getpid()}"
    track.tofile(tmp)
    os.replace(tmp, path)
    return track


def crowd_noise(snr_db: float) -> Channel:
    """Adds the five-talker crowd at snr_db over the whole band; it starts before each message
    (the slot's pre-roll and lead) and runs through it."""

    def apply(stream: Stream, rng: np.random.Generator) -> Stream:
        track = crowd_track(stream.rate)
        start = int(rng.integers(0, len(track)))
        reps = -(-(start + len(stream.samples)) // len(track))
        noise = np.tile(track, reps)[start:start + len(stream.samples)]
        return _noise_at_snr(stream, noise, snr_db)

    return apply


def hard_channel_rows() -> list[ChannelSpec]:
    rows = [ChannelSpec(f"crowd of 5 talkers {s} dB", crowd_noise(s)) for s in (-5, -10, -15)]
    rows.append(white_row(-25))
    rows += [
        ChannelSpec("mp3 32k", codec("libmp3lame", "32k", "mp3")),
        ChannelSpec("aac 32k", codec("aac", "32k", "adts")),
        ChannelSpec("opus 16k", codec("libopus", "16k", "ogg")),
    ]
    return rows


# ---------------------------------------------------------------------------------------------
# The two receivers

RECEIVERS = ("standard", "robust")
ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


@functools.cache
def decode_stream_program() -> str:
    """Path of the decode_stream program ($RYX_DECODE_STREAM, else built under build/bench-plain,
    brought up to date once per process; it needs no FFTW)."""
    path = os.environ.get("RYX_DECODE_STREAM")
    if path:
        return path
    build = os.path.join(ROOT, "build", "bench-plain")
    if not os.path.exists(os.path.join(build, "CMakeCache.txt")):
        subprocess.run(["cmake", "-S", ROOT, "-B", build, "-DRYX_BUILD_BENCH=ON",
                        "-DCMAKE_BUILD_TYPE=Release"], check=True, stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", build, "--target", "decode_stream", "-j", "2"],
                   check=True, stdout=subprocess.DEVNULL)
    return os.path.join(build, "bench", "decode_stream")


def decode_program(samples: np.ndarray, mode: int, rate: int, receiver: str,
                   custom: tuple[float, int] | None = None) -> tuple[list[dict], dict]:
    """Runs decode_stream on the samples: the message lines and the totals line, as dicts.
    custom: the custom plan's (base Hz, step) for mode 6."""
    band = [] if custom is None else ["--custom-base", str(custom[0]), "--custom-step",
                                      str(custom[1])]
    out = _pipe([decode_stream_program(), "--mode", str(mode), "--rate", str(rate),
                 "--receiver", receiver] + band,
                np.ascontiguousarray(samples, dtype=np.float32).tobytes())
    lines = [json.loads(line) for line in out.decode().splitlines() if line.strip()]
    return lines[:-1], lines[-1]


def decode_slot(tr: Transceiver, samples: np.ndarray, receiver: str) -> list[tuple[int, str]]:
    """Every completed message of one slot as (status, text), 9 for an intact one."""
    if receiver == "standard":
        return tr.decode(samples)
    messages, _ = decode_program(samples, tr.mode, tr.rate, receiver, getattr(tr, "custom", None))
    return [(9 if m["ok"] else -9, m["text"]) for m in messages]


# ---------------------------------------------------------------------------------------------
# The channel table

SNRS = (10, 0, -5, -10, -15, -20)


@dataclasses.dataclass(frozen=True)
class ChannelSpec:
    name: str
    apply: Channel
    modes: tuple[int, ...] = tuple(MODES)  # modes the row is measured for; others show a dash
    white_snr_db: float | None = None  # the full-band SNR of a white-noise row


def white_row(snr_db: float) -> ChannelSpec:
    return ChannelSpec(f"white {snr_db:g} dB", white_noise(snr_db), white_snr_db=snr_db)


def channel_table() -> list[ChannelSpec]:
    rows = [ChannelSpec("clean", clean), ChannelSpec("offset 0..2 symbols", offsets)]
    rows += [ChannelSpec(f"gain {g}", gain(g)) for g in (0.003, 0.01, 0.03, 0.1, 0.3)]
    rows.append(ChannelSpec("gain 2.0, clipped", gain(2.0, clip=True)))
    rows += [white_row(s) for s in SNRS]
    rows += [ChannelSpec(f"pink {s} dB", pink_noise(s)) for s in SNRS]
    rows += [ChannelSpec(f"babble {s} dB", babble_noise(s)) for s in SNRS]
    rows += [ChannelSpec(f"drift {p:+d} ppm", drift(p))
             for p in (100, -100, 500, -500, 2000, -2000)]
    rows += [
        ChannelSpec("reverb small room", reverb(20, 50, 30)),
        ChannelSpec("reverb living room", reverb(50, 50, 70)),
        ChannelSpec("reverb hall", reverb(90, 30, 100)),
        ChannelSpec("mp3 128k", codec("libmp3lame", "128k", "mp3")),
        ChannelSpec("mp3 64k", codec("libmp3lame", "64k", "mp3")),
        ChannelSpec("aac 64k", codec("aac", "64k", "adts")),
        ChannelSpec("opus 32k", codec("libopus", "32k", "ogg")),
        ChannelSpec("telephone 300-3400", telephone, modes=(2,)),
    ]
    return rows + hard_channel_rows()


def find_channel(name: str) -> ChannelSpec:
    for entry in channel_table():
        if entry.name == name:
            return entry
    raise KeyError(f"no channel named {name!r}")


@dataclasses.dataclass
class CellResult:
    successes: int = 0
    wrong: int = 0  # checksum matched, text differs
    misses: int = 0  # nothing decoded, or only checksum mismatches
    checksum_mismatches: int = 0  # messages completed with status -9 (a part of the misses)
    wrong_examples: list[tuple[str, str]] = dataclasses.field(default_factory=list)

    @property
    def total(self) -> int:
        return self.successes + self.misses

    @property
    def success_percent(self) -> float:
        return 100.0 * self.successes / self.total if self.total else 0.0


def run_cell(mode: int, rate: int, channel: str | ChannelSpec | Channel, n_messages: int,
             seed: int, receiver: str = "standard", sender: int | None = None) -> CellResult:
    """Sends n_messages random texts through the channel; counts successes, wrong texts, misses.

    channel: a row name of channel_table(), a ChannelSpec or a channel function. The offset row
    lays the messages behind digital silence of 0 .. 2 symbols (after the pre-roll), evenly
    spread; every other row uses random leads of 0 .. 4096 samples of a -80 dB noise floor.
    Raises Unavailable when a tool the channel needs is missing. receiver: "standard" decodes
    through _RyxSDK, "robust" through the decode_stream program (see decode_slot).
    """
    entry = find_channel(channel) if isinstance(channel, str) else channel
    apply = entry.apply if isinstance(entry, ChannelSpec) else entry
    rng = np.random.default_rng([seed, mode, rate] + ([sender] if sender else []))
    texts = [random_text(rng) for _ in range(n_messages)]
    result = CellResult()
    with Transceiver(mode, rate, sender) as tr:
        if apply is offsets:
            span = 2 * int(rate * SYMBOL_SECONDS)
            leads = [(i * span) // max(n_messages, 1) + int(rng.integers(0, 64))
                     for i in range(n_messages)]
            stream = build_stream(tr, texts, rng, leads=leads, floor_rms=0.0)
        else:
            stream = build_stream(tr, texts, rng)
        received = apply(stream, rng)
        for text, (begin, end) in zip(texts, received.slots):
            end = min(end, len(received.samples))
            messages = decode_slot(tr, received.samples[begin:end], receiver)
            sent = text.lower()
            ok = [t for s, t in messages if s == 9]
            result.checksum_mismatches += sum(1 for s, _ in messages if s != 9)
            wrong = [t for t in ok if t != sent]
            result.wrong += len(wrong)
            result.wrong_examples += [(sent, t) for t in wrong]
            if sent in ok:
                result.successes += 1
            else:
                result.misses += 1
    return result


# ---------------------------------------------------------------------------------------------
# Telephone channels and the phone preset (a custom plan from 600 Hz, default step)

PHONE_BASE_HZ, PHONE_STEP = 600.0, 1
DEFAULT_CUSTOM = (12000.0, 1)  # the custom plan the other cells use


class PhoneTransceiver(Transceiver):
    """A Transceiver of the custom mode with the phone preset's plan. The custom plan is a
    process-wide setting of the core: it is restored to the default on close."""

    def __init__(self, rate: int):
        m = require_sdk()
        self.mode, self.rate = 6, rate
        self.custom = (PHONE_BASE_HZ, PHONE_STEP)
        self.tx = m.RYX_Create()
        self.rx = m.RYX_Create()
        m.RYX_SetCustomBaseFreq(PHONE_BASE_HZ, PHONE_STEP, self.tx)
        if m.RYX_Configure(6, float(rate), BUFFER, self.tx) != 0:
            raise ValueError(f"the phone preset at {rate} Hz cannot be configured")
        self.out = np.zeros(BUFFER, dtype=np.float32)

    def close(self):
        if self.tx is not None:
            sdk.RYX_SetCustomBaseFreq(*DEFAULT_CUSTOM, self.tx)
        super().close()


def narrowband(encoder: str, options: list[str], container: str,
               raw_input: list[str] | None = None) -> Channel:
    """The telephone band-pass, then a round trip through an 8 kHz voice codec (ffmpeg):
    encode at 8000 Hz, decode back to the stream's rate. raw_input describes a headerless
    coded stream to the decoder."""

    def apply(stream: Stream, rng: np.random.Generator) -> Stream:
        _need("ffmpeg")
        band = telephone(stream, rng)
        base = ["ffmpeg", "-nostdin", "-hide_banner", "-loglevel", "error"]
        pcm = ["-f", "f32le", "-ar", str(stream.rate), "-ac", "1"]
        coded = _pipe(base + pcm + ["-i", "pipe:0", "-ar", "8000", "-c:a", encoder] + options
                      + ["-f", container, "pipe:1"], band.samples.tobytes())
        out = _pipe(base + (raw_input or []) + ["-i", "pipe:0"] + pcm + ["pipe:1"], coded)
        y = np.frombuffer(out, dtype=np.float32)[:len(stream.samples)]
        return stream.with_samples(np.pad(y, (0, len(stream.samples) - len(y))))

    return apply


def with_babble(snr_db: float, channel: Channel) -> Channel:
    """Babble added at the sender's microphone, then the channel."""
    noisy = babble_noise(snr_db)

    def apply(stream: Stream, rng: np.random.Generator) -> Stream:
        return channel(noisy(stream, rng), rng)

    return apply


def telephone_channels() -> list[ChannelSpec]:
    paths = [
        ("band-pass 300-3400 Hz at 8 kHz", telephone),
        ("G.711 mu-law", narrowband("pcm_mulaw", [], "wav")),
        ("GSM 06.10", narrowband("libgsm", [], "gsm",
                                 ["-f", "gsm", "-ar", "8000", "-ac", "1"])),
        ("Speex narrow-band", narrowband("libspeex", [], "ogg")),
        ("Opus 12 kbit/s narrow-band", narrowband("libopus", ["-b:a", "12k", "-cutoff", "4000",
                                                              "-application", "voip"], "ogg")),
    ]
    rows = [ChannelSpec(name, path) for name, path in paths]
    rows += [ChannelSpec(f"{name} + babble -5 dB", with_babble(-5, path)) for name, path in paths]
    return rows


def run_phone_cell(rate: int, entry: ChannelSpec, n_messages: int, seed: int,
                   receiver: str = "standard") -> CellResult:
    """run_cell for the phone preset's plan."""
    rng = np.random.default_rng([seed, 600, rate])
    texts = [random_text(rng) for _ in range(n_messages)]
    result = CellResult()
    with PhoneTransceiver(rate) as tr:
        received = entry.apply(build_stream(tr, texts, rng), rng)
        for text, (begin, end) in zip(texts, received.slots):
            messages = decode_slot(tr, received.samples[begin:min(end, len(received.samples))],
                                   receiver)
            ok = [t for st, t in messages if st == 9]
            wrong = [t for t in ok if t != text.lower()]
            result.wrong += len(wrong)
            result.wrong_examples += [(text.lower(), t) for t in wrong]
            if text.lower() in ok:
                result.successes += 1
            else:
                result.misses += 1
    return result


def telephone_table(n_messages: int, seed: int, rates: list[int],
                    receivers: tuple[str, ...] = ("standard",)) -> str:
    """The telephone channels for the audible plan (for comparison) and the phone preset, the
    preset once per receiver."""
    header = ["telephone channel"] + [f"audible {r / 1000:g}k" for r in rates] + [
        f"phone preset {r / 1000:g}k {rx}" for rx in receivers for r in rates]
    table = []
    for entry in telephone_channels():
        row = [entry.name]
        runs = [lambda r: run_cell(2, r, entry, n_messages, seed)]
        runs += [lambda r, rx=rx: run_phone_cell(r, entry, n_messages, seed, rx)
                 for rx in receivers]
        for run in runs:
            for rate in rates:
                try:
                    row.append(format_cell(run(rate)))
                except Unavailable:
                    row.append("n/a")
        table.append(row)
        print(" | ".join(row), flush=True)
    return markdown_table(header, table)


# ---------------------------------------------------------------------------------------------
# Command line


def format_cell(r: CellResult | str) -> str:
    if isinstance(r, str):
        return r
    return f"{r.success_percent:.0f}% ({r.wrong})"


def markdown_table(header: list[str], rows: list[list[str]]) -> str:
    lines = ["| " + " | ".join(header) + " |", "|" + "---|" * len(header)]
    lines += ["| " + " | ".join(row) + " |" for row in rows]
    return "\n".join(lines)


def emit_report(md: str, out: str | None) -> None:
    """Prints a Markdown report and writes it to `out` when a path is given."""
    print()
    print(md)
    if out:
        with open(out, "w", encoding="utf-8") as fh:
            fh.write(md)


def main(argv: list[str] | None = None) -> int:
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("--messages", type=int, default=20, help="messages per cell (default 20)")
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--modes", default="2,3,4,5,6,5/2",
                    help="comma-separated mode ids; 5/2 is the all-modes receiver hearing what "
                         "the audible mode sends")
    ap.add_argument("--rates", default="44100,48000", help="comma-separated sample rates")
    ap.add_argument("--channels", default="", help="regular expression on channel names")
    ap.add_argument("--out", help="write the table as Markdown to this path")
    ap.add_argument("--receiver", default="standard", choices=("standard", "robust", "both"),
                    help="receiver(s) to measure; both gives each column as standard / robust")
    ap.add_argument("--telephone", action="store_true",
                    help="the telephone channels for the audible plan and the phone preset")
    ap.add_argument("--payloads", action="store_true",
                    help="140-byte payloads, RyxSound's profiles beside ggwave (--messages "
                         "payloads per cell; --channels, --seed and --out as for texts)")
    args = ap.parse_args(argv)
    if args.payloads:
        import payload_bench  # imports this module: only here, where it is needed

        emit_report(payload_bench.payload_report(args.messages, args.seed, args.channels),
                    args.out)
        return 0
    receivers = RECEIVERS if args.receiver == "both" else (args.receiver,)
    if args.telephone:
        started = time.time()
        md = telephone_table(args.messages, args.seed, [int(r) for r in args.rates.split(",")],
                             receivers)
        emit_report(md + f"\n\n{args.messages} messages per cell, seed {args.seed}; cell: "
                    f"success percent (wrong texts with a matching checksum). Babble is added "
                    f"before the telephone path. {time.time() - started:.0f} s.\n", args.out)
        return 0
    # "5/2": the all-modes receiver hearing what the audible mode sends.
    modes = [tuple(int(x) for x in m.split("/")) for m in args.modes.split(",")]
    rates = [int(r) for r in args.rates.split(",")]
    rows = [c for c in channel_table() if re.search(args.channels, c.name)]
    columns = [(m[0], m[1] if len(m) > 1 else None, r) for m in modes for r in rates]
    header = ["channel"] + [
        f"{MODES[m]}{f' hearing {MODES[s]}' if s else ''} "
        f"{r // 1000 if r % 1000 == 0 else r / 1000:g}k" for m, s, r in columns]
    table, wrong_total, started = [], 0, time.time()
    for entry in rows:
        row = [entry.name]
        for mode, sender, rate in columns:
            if mode not in entry.modes:
                row.append("—")
                continue
            cells = []
            for receiver in receivers:
                try:
                    res = run_cell(mode, rate, entry, args.messages, args.seed, receiver, sender)
                except Unavailable:
                    cells.append("n/a")
                    continue
                wrong_total += res.wrong
                for sent, got in res.wrong_examples:
                    print(f"  WRONG TEXT {entry.name} mode {mode} {rate} Hz {receiver}: "
                          f"sent {sent} got {got}", file=sys.stderr)
                cells.append(format_cell(res))
            row.append(" / ".join(cells))
        table.append(row)
        print(" | ".join(row), flush=True)
    note = (f"Receivers: {' / '.join(receivers)}. "
            f"{args.messages} messages per cell, seed {args.seed}; cell: success percent "
            f"(wrong texts with a matching checksum). SNR is full-band signal to noise power. "
            f"Wrong texts in total: {wrong_total}. {time.time() - started:.0f} s.")
    md = markdown_table(header, table) + "\n\n" + note + "\n"
    white = [c.white_snr_db for c in rows if c.white_snr_db is not None]
    if white:
        import noise_units  # needs the ryxsound package: only here, where it is needed

        md += ("\nThe white-noise rows in three units:\n\n"
               + markdown_table(*noise_units.units_rows(white, rates))
               + "\n\n" + noise_units.NOTE + "\n")
    emit_report(md, args.out)
    return 0


if __name__ == "__main__":
    sys.exit(main())
