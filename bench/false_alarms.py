#!/usr/bin/env python3
"""False alarms: what the decoders report while hearing anything but a transmission.

Five sources are generated on the fly and streamed in buffers (never stored): white noise, pink
noise, tone sweeps, synthetic speech (espeak-ng sentences, synthesised once into memory and
replayed at random levels and gaps) and music-like chords. Every buffer goes through one decoder
per mode. Reported per source and mode, as counts and per hour of audio: starts recognised (-2),
messages completed (-3) and completed messages whose checksum matched (status 9, the false
alarms a caller would act on), with how many of those had their start symbols changed by error
correction (a real transmission always carries 1 and 19 there, so a receiver that checked them
after correction would refuse such a message).

    python bench/false_alarms.py                    # 0.05 h per source (3 minutes of audio)
    python bench/false_alarms.py --hours 10 --out false_alarms.md   # the long run
    python bench/false_alarms.py --receiver both --hours 2      # standard and robust side by side
    python bench/false_alarms.py --receiver payload --hours 2   # the payload decoder
    python bench/false_alarms.py --mixed                        # texts and payloads in one recording

--receiver payload counts the payloads the payload decoder of each mode reports, intact and
failed. --mixed lays texts and payloads of both profiles into one recording and counts what each
receiver takes from the other kind's audio: texts reported as payloads, payloads as texts.

The report states the audio duration and the processing speed (audio seconds per wall second).
"""
from __future__ import annotations

import argparse
import json
import os
import subprocess
import sys
import time
from collections.abc import Iterator

import numpy as np

import ryxsound

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import channel  # noqa: E402  (the harness: module import, C stdout handling, espeak-ng clips)

BLOCK_SECONDS = 8.0  # generation block; decoding buffers are cut from it
FEED = 4096  # samples per decoder call: below 3 x 2048, so the sample ring never overruns


def white_source(rate: int, rng: np.random.Generator) -> Iterator[np.ndarray]:
    """White Gaussian noise; the level changes every block (-40 .. -6 dB full scale)."""
    n = int(BLOCK_SECONDS * rate)
    while True:
        level = 10 ** (rng.uniform(-40, -6) / 20)
        yield (rng.standard_normal(n) * level).astype(np.float32)


def pink_source(rate: int, rng: np.random.Generator) -> Iterator[np.ndarray]:
    """Pink noise, FFT shaped per block and cross-faded (sine and cosine halves keep the power
    steady across block joins)."""
    n = int(BLOCK_SECONDS * rate)
    half = n // 2
    fade_in = np.sin(np.linspace(0, np.pi / 2, half, endpoint=False))
    fade_out = np.cos(np.linspace(0, np.pi / 2, half, endpoint=False))
    tail = np.zeros(half)
    while True:
        x = channel.pink(n, rng, rate) * 10 ** (rng.uniform(-40, -10) / 20)
        head = tail + x[:half] * fade_in
        tail = x[half:] * fade_out
        yield head.astype(np.float32)


def sweep_source(rate: int, rng: np.random.Generator) -> Iterator[np.ndarray]:
    """Sine sweeps, linear or exponential, up or down, anywhere from 50 Hz to 0.95 x Nyquist, each
    0.2 .. 12 s long, phase continuous, sometimes two at once."""
    phase = np.zeros(2)
    nyquist = rate / 2
    while True:
        seconds = rng.uniform(0.2, 12.0)
        n = int(seconds * rate)
        out = np.zeros(n)
        for voice in range(1 + int(rng.random() < 0.3)):
            f0, f1 = rng.uniform(50, 0.95 * nyquist, size=2)
            t = np.arange(n) / n
            if rng.random() < 0.5:
                f = f0 + (f1 - f0) * t
            else:
                f = f0 * (f1 / f0) ** t
            ph = phase[voice] + 2 * np.pi * np.cumsum(f) / rate
            phase[voice] = ph[-1] % (2 * np.pi)
            out += np.sin(ph) * 10 ** (rng.uniform(-30, -3) / 20)
        yield out.astype(np.float32)


def speech_source(rate: int, rng: np.random.Generator) -> Iterator[np.ndarray]:
    """Sentences of six synthetic voices, each replay sped up or slowed down by up to 15 % (which
    moves every formant and harmonic), at random levels, with pauses and occasional overlap."""
    spectra = [np.fft.rfft(clip) for clip in channel.speech_clips(rate)]

    def utterance() -> np.ndarray:
        spectrum = spectra[int(rng.integers(0, len(spectra)))]
        length = 2 * (len(spectrum) - 1)
        stretched = int(length * rng.uniform(0.85, 1.15)) // 1024 * 1024  # band-limited resampling
        clip = np.fft.irfft(spectrum, stretched) * (stretched / length)
        return clip * 10 ** (rng.uniform(-35, -8) / 20)

    while True:
        clip = utterance()
        if rng.random() < 0.3:  # a second talker over the first
            other = utterance()
            n = min(len(clip), len(other))
            clip[:n] += other[:n]
        gap = np.zeros(int(rng.uniform(0.0, 1.0) * rate))
        yield np.concatenate([clip, gap]).astype(np.float32)


def chord_source(rate: int, rng: np.random.Generator) -> Iterator[np.ndarray]:
    """Music-like chords: three or four notes of a scale, six harmonics each, with attack and
    decay, 0.15 .. 1.5 s per chord, now and then a vibrato."""
    scale = np.array([0, 2, 4, 5, 7, 9, 11])
    while True:
        seconds = rng.uniform(0.15, 1.5)
        n = int(seconds * rate)
        t = np.arange(n) / rate
        root = 40 + int(rng.integers(0, 36))
        degrees = np.sort(rng.choice(len(scale) * 2, size=int(rng.integers(3, 5)), replace=False))
        out = np.zeros(n)
        vibrato = 1 + (0.004 * np.sin(2 * np.pi * 5.5 * t) if rng.random() < 0.3 else 0)
        for d in degrees:
            midi = root + scale[d % 7] + 12 * (d // 7)
            f = 440 * 2 ** ((midi - 69) / 12)
            for k in range(1, 7):
                if k * f >= rate / 2:
                    break
                out += np.sin(2 * np.pi * k * f * t * vibrato + rng.uniform(0, 2 * np.pi)) / k
        attack = min(n, int(0.01 * rate))
        envelope = np.exp(-t * rng.uniform(0.5, 4.0))
        envelope[:attack] *= np.linspace(0, 1, attack)
        out *= envelope / len(degrees) * 10 ** (rng.uniform(-25, -6) / 20)
        yield out.astype(np.float32)


SOURCES = {
    "white noise": white_source,
    "pink noise": pink_source,
    "tone sweeps": sweep_source,
    "speech": speech_source,
    "chords": chord_source,
}


class Counter:
    """One decoder of one mode with its tallies."""

    def __init__(self, mode: int, rate: int):
        sdk = channel.require_sdk()
        self.handle = sdk.RYX_Create()
        if sdk.RYX_Configure(mode, float(rate), channel.BUFFER, self.handle) != 0:
            raise ValueError(f"mode {mode} at {rate} Hz cannot be configured")
        self.starts = self.completed = self.matched = self.start_rewritten = 0
        self.texts: list[str] = []
        self.symbols: list[int] = []  # symbols received since the last start

    def feed(self, block: np.ndarray):
        decode = channel.sdk.RYX_PyDecodeAudioBuffer
        for begin in range(0, len(block), FEED):
            piece = block[begin:begin + FEED]
            status = decode(piece, len(piece), self.handle)
            while status != -1:
                if status == -2:
                    self.starts += 1
                    self.symbols = []
                elif status >= 0:
                    self.symbols.append(status)
                elif status == -3:
                    self.completed += 1
                    code, text = channel.sdk.RYX_PyGetDecodedData(self.handle)
                    if code == 9:
                        self.matched += 1
                        rewritten = self.start_symbols_rewritten(text)
                        self.start_rewritten += rewritten
                        note = " (start symbols rewritten)" if rewritten else ""
                        self.texts.append(text + note)
                status = decode(piece, 0, self.handle)

    def start_symbols_rewritten(self, text: str) -> bool:
        """Whether error correction changed the start symbols of the message just fetched.

        The share of the twelve message symbols that correction left unchanged (confidence
        error) counts changes in the start symbols, the data and the checksum symbol; the last
        two are known from the received symbols and the corrected text, so the rest are changes
        of the start symbols -- which a real transmission always carries as 1 and 19."""
        unchanged = channel.sdk.RYX_GetConfidenceError(self.handle)
        changed = int(round(12 * (1 - unchanged)))
        received = self.symbols[:10]
        if len(received) < 10:
            return False
        corrected = [channel.ALPHABET.index(c) for c in text]
        data_changes = sum(a != b for a, b in zip(received[:9], corrected))
        checksum_change = int(received[9] != sum(corrected) % 32)
        return changed - data_changes - checksum_change > 0

    def close(self):
        channel.sdk.RYX_Destroy(self.handle)


class ProgramCounter:
    """One decode_stream program (either receiver) of one mode, fed through a pipe; the same
    tallies as Counter once closed, plus the time spent following candidates that gave
    nothing."""

    def __init__(self, mode: int, rate: int, receiver: str):
        self.mode, self.receiver = mode, receiver
        self.proc = subprocess.Popen(
            [channel.decode_stream_program(), "--mode", str(mode), "--rate", str(rate),
             "--receiver", receiver], stdin=subprocess.PIPE, stdout=subprocess.PIPE)
        self.starts = self.completed = self.matched = self.start_rewritten = 0
        self.phantom_samples = 0
        self.texts: list[str] = []

    def feed(self, block: np.ndarray):
        self.proc.stdin.write(np.ascontiguousarray(block, dtype=np.float32).tobytes())

    def close(self):
        out, _ = self.proc.communicate()
        lines = [json.loads(line) for line in out.decode().splitlines() if line.strip()]
        totals = lines[-1]
        self.starts = totals["starts"]
        self.phantom_samples = totals["phantom_samples"]
        self.completed = len(lines) - 1
        self.texts = [m["text"] for m in lines[:-1] if m["ok"]]
        self.matched = len(self.texts)


class PayloadCounter:
    """One payload decoder of one mode: the payloads it reports, intact and failed."""

    def __init__(self, mode: int, rate: int):
        self.decoder = ryxsound.PayloadDecoder(rate, mode=mode)
        self.found: list[ryxsound.Payload] = []

    def feed(self, block: np.ndarray):
        for begin in range(0, len(block), FEED):
            self.found += self.decoder.feed(block[begin:begin + FEED])

    def close(self):
        self.found += self.decoder.flush()
        self.decoder.close()
        self.intact = sum(p.ok for p in self.found)
        self.failed = len(self.found) - self.intact


def make_counter(mode: int, rate: int, receiver: str | None):
    """Counter (receiver None: _RyxSDK), PayloadCounter ("payload") or ProgramCounter (a text
    receiver of decode_stream)."""
    if receiver is None:
        return Counter(mode, rate)
    if receiver == "payload":
        return PayloadCounter(mode, rate)
    return ProgramCounter(mode, rate, receiver)


def run_source(name: str, modes: list[int], rate: int, seconds: float, seed: int,
               receiver: str | None = None):
    """Streams `seconds` of the source through one decoder per mode (through _RyxSDK, the
    payload decoder, or the decode_stream program of a text receiver, see make_counter);
    returns the counters."""
    rng = np.random.default_rng([seed, rate, list(SOURCES).index(name)])
    counters = {m: make_counter(m, rate, receiver) for m in modes}
    remaining = int(seconds * rate)
    for block in SOURCES[name](rate, rng):
        block = np.ascontiguousarray(block[:remaining])
        for c in counters.values():
            c.feed(block)
        remaining -= len(block)
        if remaining <= 0:
            break
    for c in counters.values():
        c.close()
    return counters


def compare_receivers(args, modes: list[int]) -> str:
    """Both receivers over every source: intact messages, false starts per hour (starts that gave
    no intact message) and the share of time spent following such candidates, side by side."""
    seconds = args.hours * 3600
    header = ["source", "mode", "intact (standard / robust)", "false starts/h (standard / robust)",
              "time on phantoms (standard / robust)"]
    rows, texts = [], []
    for name in args.sources.split(","):
        try:
            runs = {r: run_source(name, modes, args.rate, seconds, args.seed, r)
                    for r in channel.RECEIVERS}
        except channel.Unavailable as exc:
            rows.append([name, "all", f"n/a ({exc})", "", ""])
            continue
        for mode in modes:
            c = [runs[r][mode] for r in channel.RECEIVERS]
            rows.append([
                name, channel.MODES[mode], " / ".join(str(x.matched) for x in c),
                " / ".join(f"{(x.starts - x.matched) / args.hours:.1f}" for x in c),
                " / ".join(f"{100 * x.phantom_samples / (seconds * args.rate):.1f}%" for x in c)])
            texts += [f"{name} / {channel.MODES[mode]} / {x.receiver}: {t}" for x in c
                      for t in x.texts]
        print(f"{name}: done", flush=True)
    md = channel.markdown_table(header, rows)
    md += (f"\n\n{args.hours:g} h of each source at {args.rate} Hz through both receivers of "
           f"every mode. Time on phantoms: audio spent following starts that gave nothing, over "
           f"the audio heard (the standard receiver is deaf for that time; the robust one keeps "
           f"listening).\n")
    if texts:
        md += "\nIntact messages heard in audio without any:\n\n" + "\n".join(
            f"- {t}" for t in texts) + "\n"
    return md


def payload_false_alarms(args, modes: list[int]) -> str:
    """The payload decoder of every mode over every source: payloads reported, intact and
    failed, in all and per hour."""
    header = ["source", "mode", "intact", "failed", "intact/h", "failed/h"]
    rows = []
    for name in args.sources.split(","):
        try:
            counters = run_source(name, modes, args.rate, args.hours * 3600, args.seed,
                                  "payload")
        except channel.Unavailable as exc:
            rows.append([name, "all", f"n/a ({exc})", "", "", ""])
            continue
        for mode, c in counters.items():
            rows.append([name, channel.MODES[mode], str(c.intact), str(c.failed),
                         f"{c.intact / args.hours:.1f}", f"{c.failed / args.hours:.1f}"])
        print(f"{name}: done", flush=True)
    return (channel.markdown_table(header, rows) + f"\n\n{args.hours:g} h of each source at "
            f"{args.rate} Hz through the payload decoder of every mode.\n")


# The mixed recording: texts and payloads of both profiles in the audible plan, in random order.
MIXED_TEXTS = 20
MIXED_PAYLOADS = 20  # of each profile
MIXED_MAX_BYTES = 300  # payload sizes are random, 1 .. this


def mixed_recording(rate: int, seed: int, channel_name: str):
    """The recording as received through the channel, and what each slot holds: a text (str)
    or a payload (bytes)."""
    rng = np.random.default_rng([seed, rate, MIXED_TEXTS, MIXED_PAYLOADS])
    items: list[tuple[str, str | bytes]] = [("text", channel.random_text(rng).lower())
                                            for _ in range(MIXED_TEXTS)]
    items += [(profile, rng.bytes(int(rng.integers(1, MIXED_MAX_BYTES + 1))))
              for profile in ryxsound.PROFILES for _ in range(MIXED_PAYLOADS)]
    items = [items[i] for i in rng.permutation(len(items))]
    with channel.Transceiver(2, rate) as tr:
        audio = [tr.encode(x) if kind == "text" else
                 ryxsound.encode_payload(x, profile=kind, mode="audible", sample_rate=rate)
                 for kind, x in items]
    stream = channel.slot_stream(audio, rate, rng)
    return channel.find_channel(channel_name).apply(stream, rng), [x for _, x in items]


def slot_of(stream: channel.Stream, position: int) -> int:
    """The index of the slot holding a sample position (the last one past the end)."""
    for i, (_, end) in enumerate(stream.slots):
        if position < end:
            return i
    return len(stream.slots) - 1


def by_kind(stream: channel.Stream, sent: list, reports: list, end, kind: type):
    """Reports split by the slot each ends in: those in a slot holding `kind` (str: a text,
    bytes: a payload), and the others. end: the sample just after a report's audio (the
    standard receiver gives no start)."""
    own, other = [], []
    for report in reports:
        holder = sent[slot_of(stream, end(report) - 1)]
        (own if isinstance(holder, kind) else other).append(report)
    return own, other


def mixed_report(args) -> str:
    """Each receiver over the mixed recording: what it recovered of its own kind and what it
    reported from the other kind's audio."""
    header = ["channel", "receiver", "mode", "recovered", "wrong (intact, not sent)",
              "from the other kind's audio: intact", "failed"]
    rows = []
    for channel_name in args.mixed_channels.split(","):
        stream, sent = mixed_recording(args.rate, args.seed, channel_name)
        for mode in ("audible", "all"):
            found = ryxsound.decode_payloads(stream.samples, args.rate, mode=mode)
            own, other = by_kind(stream, sent, found, lambda p: p.end, bytes)
            rows.append([channel_name, "payload decoder", mode] + tally(
                [x for x in sent if isinstance(x, bytes)], [p.data for p in own if p.ok],
                [p.ok for p in other]))
        for receiver in channel.RECEIVERS:
            for mode in (2, 5):
                messages, _ = channel.decode_program(stream.samples, mode, args.rate, receiver)
                own, other = by_kind(stream, sent, messages, lambda m: m["end"], str)
                rows.append([channel_name, f"{receiver} text receiver", channel.MODES[mode]]
                            + tally([x for x in sent if isinstance(x, str)],
                                    [m["text"] for m in own if m["ok"]],
                                    [m["ok"] for m in other]))
        print(f"{channel_name}: done", flush=True)
    return (channel.markdown_table(header, rows) + f"\n\nOne recording at {args.rate} Hz of "
            f"{MIXED_TEXTS} texts and {MIXED_PAYLOADS} payloads of each profile (1 .. "
            f"{MIXED_MAX_BYTES} random bytes), audible plan, in random order, each in a slot "
            f"with random audio around it, through the channel; every receiver hears the whole "
            f"recording. A report belongs to the slot where its audio ends. \"failed\": payloads "
            f"reported failed, texts completed with a checksum mismatch.\n")


def tally(sent: list, intact: list, other_ok: list[bool]) -> list[str]:
    """Recovered of sent, intact reports not sent, and the reports from the other kind's
    audio: intact, failed."""
    return [f"{sum(x in intact for x in sent)}/{len(sent)}",
            str(sum(x not in sent for x in intact)), str(sum(other_ok)),
            str(len(other_ok) - sum(other_ok))]


def main(argv: list[str] | None = None) -> int:
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("--hours", type=float, default=0.05,
                    help="audio per source, heard by every mode (default 0.05 h = 3 min)")
    ap.add_argument("--rate", type=int, default=44100)
    ap.add_argument("--modes", default="2,3,4,5,6")
    ap.add_argument("--sources", default=",".join(SOURCES), help="comma-separated source names")
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--out", help="write the report as Markdown to this path")
    ap.add_argument("--receiver", choices=("sdk", "both", "payload"), default="sdk",
                    help="sdk: the standard receiver through _RyxSDK with symbol details; both: "
                         "standard and robust side by side through decode_stream; payload: "
                         "the payload decoder")
    ap.add_argument("--mixed", action="store_true",
                    help="texts and payloads in one recording, through every receiver")
    ap.add_argument("--mixed-channels", default="clean,babble -10 dB",
                    help="comma-separated channel names of bench/channel.py for --mixed")
    args = ap.parse_args(argv)
    modes = [int(m) for m in args.modes.split(",")]
    if args.mixed:
        channel.emit_report(mixed_report(args), args.out)
        return 0
    if args.receiver == "payload":
        channel.emit_report(payload_false_alarms(args, modes), args.out)
        return 0
    if args.receiver == "both":
        channel.emit_report(compare_receivers(args, modes), args.out)
        return 0
    seconds = args.hours * 3600
    header = ["source", "mode", "starts (-2)", "completed (-3)", "checksum matched",
              "of these, start symbols rewritten", "starts/h", "completed/h", "matched/h"]
    rows, matched_texts = [], []
    total_wall, total_audio = 0.0, 0.0
    for name in args.sources.split(","):
        started = time.time()
        try:
            counters = run_source(name, modes, args.rate, seconds, args.seed)
        except channel.Unavailable as exc:
            rows.append([name, "all", "n/a", "n/a", "n/a", "n/a", "", "", f"({exc})"])
            continue
        wall = time.time() - started
        total_wall += wall
        total_audio += seconds * len(modes)
        for mode, c in counters.items():
            per_hour = 1.0 / args.hours
            rows.append([name, channel.MODES[mode], str(c.starts), str(c.completed),
                         str(c.matched), str(c.start_rewritten), f"{c.starts * per_hour:.1f}",
                         f"{c.completed * per_hour:.1f}", f"{c.matched * per_hour:.2f}"])
            matched_texts += [f"{name} / {channel.MODES[mode]}: {t}" for t in c.texts]
        print(f"{name}: {seconds:.0f} s of audio through {len(modes)} decoders in {wall:.1f} s "
              f"({seconds * len(modes) / wall:.0f} decoder-seconds per second)", flush=True)
    speed = total_audio / total_wall if total_wall else 0.0
    note = (f"Duration: {args.hours:g} h ({seconds:.0f} s) of each source at {args.rate} Hz, heard "
            f"by every mode's decoder. Speed: {speed:.0f} audio seconds per wall second per "
            f"decoder ({speed / 3600:.3f} h of one decoder's audio per wall second; "
            f"{total_wall:.0f} s in all).")
    md = channel.markdown_table(header, rows) + "\n\n" + note + "\n"
    if matched_texts:
        md += "\nMessages with a matching checksum:\n\n" + "\n".join(
            f"- {t}" for t in matched_texts) + "\n"
    channel.emit_report(md, args.out)
    return 0


if __name__ == "__main__":
    sys.exit(main())
