"""Payloads through the channels: how many 140-byte payloads arrive whole, for RyxSound's two
profiles and for ggwave's audible protocols, each through exactly the same channel code.

Random payloads of 140 bytes (the most ggwave carries in one message) are laid into one stream
per cell, each in a slot of its own with random audio around it (channel.slot_stream); the
stream goes through a channel of bench/channel.py, and each slot is decoded by a fresh decoder
fed 1024-sample buffers: RyxSound's PayloadDecoder (flushed at the slot's end), ggwave's decoder
through bench/ggwave_peer.py in the bench's peer environment (tools/peer_env.sh).

A cell counts payloads delivered whole (reported intact and equal to what was sent) of those
sent, and wrong payloads (reported intact but not what was sent: there must be none). Each
RyxSound payload that was not delivered is listed with the frames its decoder heard.

    python bench/channel.py --payloads                     # 20 payloads per cell
    python bench/channel.py --payloads --messages 50 --channels 'opus|drift'
"""
from __future__ import annotations

import collections
import dataclasses
import io
import math
import os
import re
import subprocess
import time
from collections.abc import Callable

import numpy as np

import channel
import noise_units
import ryxsound

PAYLOAD_BYTES = 140
# The rows: channels of channel.channel_table() by name.
PAYLOAD_CHANNELS = ("clean", "white -10 dB", "babble -10 dB", "mp3 32k", "aac 32k", "opus 16k",
                    "reverb small room", "reverb living room", "reverb hall", "drift +2000 ppm",
                    "drift -2000 ppm")
# The smaller table of the narrow plans: RyxSound only (ggwave's audible protocols stay in the
# audible band), fewer channels (the lossy codecs remove these bands) and a quarter of the
# payloads.
NARROW_PLANS = ("nonaudible", "compression")
NARROW_CHANNELS = ("clean", "white -10 dB", "babble -10 dB", "reverb living room",
                   "drift -2000 ppm")
# ggwave's protocol ids by the names the tables give them; the payload table has the audible ones.
GGWAVE_PROTOCOLS = {"normal": 0, "fastest": 2, "ultrasound normal": 3}
GGWAVE_AUDIBLE = ("normal", "fastest")
PEER_PROGRAM = os.path.join(channel.ROOT, "bench", "ggwave_peer.py")


@dataclasses.dataclass(frozen=True)
class Report:
    """One payload a decoder reported: data (empty unless ok) and, for RyxSound, its frames."""

    data: bytes
    ok: bool
    frames: str = ""


@dataclasses.dataclass(frozen=True)
class System:
    """A sender and its receiver: encode turns payloads into audio at a rate, decode turns each
    slot's samples into the reports of a fresh decoder."""

    name: str
    encode: Callable[[list[bytes], int], list[np.ndarray]]
    decode: Callable[[list[np.ndarray], int], list[list[Report]]]


def ryxsound_system(profile: str, mode: str) -> System:
    def encode(payloads: list[bytes], rate: int) -> list[np.ndarray]:
        return [ryxsound.encode_payload(p, profile=profile, mode=mode, sample_rate=rate)
                for p in payloads]

    def decode_slot(samples: np.ndarray, rate: int) -> list[Report]:
        found = []
        with ryxsound.PayloadDecoder(rate, mode=mode) as rx:
            for begin in range(0, len(samples), channel.BUFFER):
                found += rx.feed(samples[begin:begin + channel.BUFFER])
            found += rx.flush()
        return [Report(p.data, p.ok, f"{p.frames_heard} of {p.frames_total} frames heard "
                                     f"({p.frames_needed} needed)") for p in found]

    def decode(slots: list[np.ndarray], rate: int) -> list[list[Report]]:
        return [decode_slot(s, rate) for s in slots]

    plan = "" if mode == "audible" else f", {mode}"
    return System(f"RyxSound {profile}{plan}", encode, decode)


def peer_python() -> str:
    """The Python of ggwave's environment ($RYX_PEER_PYTHON, else build/peer-venv)."""
    return channel.bench_python("peer-venv", "RYX_PEER_PYTHON", "tools/peer_env.sh")


def _peer(args: list[str], arrays: dict[str, np.ndarray]) -> dict[str, np.ndarray]:
    """Runs bench/ggwave_peer.py with an .npz archive in and out."""
    buffer = io.BytesIO()
    np.savez(buffer, **arrays)
    out = channel._pipe([peer_python(), PEER_PROGRAM] + args, buffer.getvalue())
    with np.load(io.BytesIO(out)) as archive:
        return {name: archive[name] for name in archive.files}


def ggwave_system(protocol: str) -> System:
    def encode(payloads: list[bytes], rate: int) -> list[np.ndarray]:
        out = _peer(["encode", "--protocol", str(GGWAVE_PROTOCOLS[protocol]), "--rate",
                     str(rate)], {f"p{i}": np.frombuffer(p, dtype=np.uint8)
                                  for i, p in enumerate(payloads)})
        return [out[f"a{i}"] for i in range(len(payloads))]

    def decode(slots: list[np.ndarray], rate: int) -> list[list[Report]]:
        out = _peer(["decode", "--rate", str(rate)],
                    {f"s{i}": np.ascontiguousarray(s, dtype=np.float32)
                     for i, s in enumerate(slots)})
        found: list[list[Report]] = [[] for _ in slots]
        for name in sorted(out, key=lambda n: tuple(int(x) for x in n[1:].split("_"))):
            slot = int(name[1:].split("_")[0])
            found[slot].append(Report(out[name].tobytes(), True))
        return found

    return System(f"ggwave {protocol}", encode, decode)


@dataclasses.dataclass
class PayloadCell:
    sent: int = 0
    delivered: int = 0
    wrong: int = 0  # reported intact, not what was sent
    seconds: float = 0.0  # time on air of one payload (mean over the payloads sent)
    misses: list[str] = dataclasses.field(default_factory=list)  # what the decoder heard

    def __str__(self) -> str:
        return f"{self.delivered}/{self.sent}" + (f" ({self.wrong} wrong)" if self.wrong else "")


def random_payloads(n: int, seed: int, rate: int) -> list[bytes]:
    """The same n payloads of PAYLOAD_BYTES random bytes for every system and channel."""
    rng = np.random.default_rng([seed, rate, PAYLOAD_BYTES])
    return [rng.bytes(PAYLOAD_BYTES) for _ in range(n)]


def run_payload_cell(system: System, entry: channel.ChannelSpec, n: int, seed: int,
                     rate: int) -> PayloadCell:
    """Sends n random payloads through the channel; raises channel.Unavailable when a tool the
    channel or the system needs is missing."""
    payloads = random_payloads(n, seed, rate)
    rng = np.random.default_rng([seed, rate, n])
    audio = system.encode(payloads, rate)
    received = entry.apply(channel.slot_stream(audio, rate, rng), rng)
    slots = [received.samples[b:min(e, len(received.samples))] for b, e in received.slots]
    cell = PayloadCell(sent=n, seconds=float(np.mean([len(a) for a in audio])) / rate)
    for sent, reports in zip(payloads, system.decode(slots, rate)):
        intact = [r.data for r in reports if r.ok]
        cell.wrong += sum(d != sent for d in intact)
        if sent in intact:
            cell.delivered += 1
        elif intact:
            cell.misses.append("a wrong payload")
        else:
            heard = " + ".join(r.frames or "reported failed" for r in reports)
            cell.misses.append(heard or "nothing reported")
    return cell


def wilson_lower(k: int, n: int, z: float = 1.96) -> float:
    """The lower end of the 95% Wilson interval of a share k of n."""
    if n == 0:
        return 0.0
    p = k / n
    centre = p + z * z / (2 * n)
    margin = z * math.sqrt(p * (1 - p) / n + z * z / (4 * n * n))
    return max(0.0, (centre - margin) / (1 + z * z / n))


def payload_table(systems: list[System], names: tuple[str, ...], n: int, seed: int,
                  rate: int) -> tuple[str, list[str], int]:
    """The table of one group of systems: Markdown, the misses of RyxSound listed, and the wrong
    payloads counted."""
    header = ["channel"] + [s.name for s in systems]
    rows, misses, wrong, white = [], [], 0, []
    seconds: dict[str, float] = {}
    for name in names:
        entry = channel.find_channel(name)
        if entry.white_snr_db is not None:
            white.append(entry.white_snr_db)
        row = [name]
        for system in systems:
            try:
                cell = run_payload_cell(system, entry, n, seed, rate)
            except channel.Unavailable as exc:
                row.append(f"n/a ({exc})")
                continue
            row.append(str(cell))
            wrong += cell.wrong
            seconds[system.name] = cell.seconds
            if cell.misses and system.name.startswith("RyxSound"):
                heard = collections.Counter(cell.misses)
                misses.append(f"{system.name}, {name}: " + "; ".join(
                    f"{k} x {m}" for m, k in heard.most_common()))
        rows.append(row)
        print(" | ".join(row), flush=True)
    rows.append(["seconds on air per payload"] +
                [f"{seconds[s.name]:.2f}" if s.name in seconds else "n/a" for s in systems])
    for snr in white:
        rows.append([f"white {snr:g} dB is {noise_units.in_band(snr, rate):.1f} dB in "
                     f"{noise_units.BAND_HZ:g} Hz; Eb/N0 per payload bit"] + [
            f"{noise_units.eb_n0(snr, rate, seconds[s.name], 8 * PAYLOAD_BYTES):.1f} dB"
            if s.name in seconds else "n/a" for s in systems])
    return channel.markdown_table(header, rows), misses, wrong


# The white-noise reach table: full-band SNRs tried, and the share a profile must deliver there.
REACH_SNRS = (-12, -13, -14, -15, -16, -17, -18, -19, -20)
REACH_SHARE = 0.9


def reach_table(n: int, seed: int, rate: int) -> str:
    """Payloads delivered whole in white noise per RyxSound profile and plan (n per cell, half
    that in the narrow plans, whose payloads are longer), and the quietest SNR of the grid where
    at least REACH_SHARE of them arrive, in the three units of noise_units."""
    header = ["profile, plan"] + [f"{snr} dB" for snr in REACH_SNRS] + [
        f"{100 * REACH_SHARE:g}% down to (full band / in {noise_units.BAND_HZ:g} Hz / Eb/N0)"]
    rows = []
    for mode in ("audible",) + NARROW_PLANS:
        for profile in ("fast", "robust"):
            system = ryxsound_system(profile, mode)
            count = n if mode == "audible" else max(1, n // 2)
            row, reach, reaching, seconds = [f"{profile}, {mode}"], None, True, 0.0
            for snr in REACH_SNRS:
                cell = run_payload_cell(system, channel.white_row(snr), count, seed, rate)
                if cell.wrong:
                    raise AssertionError(f"{system.name} at {snr} dB: {cell}")
                row.append(str(cell))
                seconds = cell.seconds
                reaching = reaching and cell.delivered >= REACH_SHARE * count
                reach = snr if reaching else reach
            row.append("—" if reach is None else
                       f"{reach} / {noise_units.in_band(reach, rate):.1f} / "
                       f"{noise_units.eb_n0(reach, rate, seconds, 8 * PAYLOAD_BYTES):.1f} dB")
            rows.append(row)
            print(" | ".join(row), flush=True)
    return channel.markdown_table(header, rows)


def time_on_air_table() -> str:
    """Seconds on air of 140 and of 4096 bytes per profile and plan (the custom plan at its
    default band) at 44.1 and 48 kHz."""
    rates = (44100, 48000)
    header = ["profile", "plan"] + [f"{size} B at {r / 1000:g} kHz"
                                    for r in rates for size in (PAYLOAD_BYTES, 4096)]
    rows = []
    for profile in ryxsound.PROFILES:
        for mode in ("audible",) + NARROW_PLANS + ("custom",):
            row = [profile, mode]
            for rate in rates:
                for size in (PAYLOAD_BYTES, 4096):
                    try:
                        s = ryxsound.payload_shape(size, profile=profile, mode=mode,
                                                   sample_rate=rate).seconds
                    except ValueError:
                        row.append("—")
                        continue
                    row.append(f"{s:.2f} s ({size / s:.1f} B/s)")
            rows.append(row)
    return channel.markdown_table(header, rows)


def payload_report(n: int, seed: int, pattern: str = "", rate: int = 44100) -> str:
    """Both payload tables, the misses and the times on air, as Markdown."""
    started = time.time()
    audible = [ryxsound_system(p, "audible") for p in ("fast", "robust")]
    audible += [ggwave_system(p) for p in GGWAVE_AUDIBLE]
    narrow = [ryxsound_system(p, m) for m in NARROW_PLANS for p in ("fast", "robust")]
    main, misses, wrong = payload_table(
        audible, tuple(c for c in PAYLOAD_CHANNELS if re.search(pattern, c)), n, seed, rate)
    narrow_n = max(1, n // 4)  # their payloads are two to four times longer
    narrow_md, narrow_misses, narrow_wrong = payload_table(
        narrow, tuple(c for c in NARROW_CHANNELS if re.search(pattern, c)), narrow_n, seed,
        rate)
    try:
        limit = ggwave_limit(rate)
    except channel.Unavailable as exc:
        limit = f"n/a ({exc})"
    md = [
        f"### The audible plan at {rate / 1000:g} kHz, beside ggwave",
        "",
        main,
        "",
        f"{n} payloads of {PAYLOAD_BYTES} random bytes per cell, seed {seed}; a cell gives the "
        f"payloads delivered whole of those sent ({n}/{n} puts the delivery rate above "
        f"{100 * wilson_lower(n, n):.0f}% at 95% confidence, Wilson). ggwave {ggwave_version()}: "
        f"protocols audible normal and audible fastest, volume 50, decoded in 1024-sample "
        f"chunks. Its largest message, measured: {limit}.",
        "",
        f"### The narrow plans at {rate / 1000:g} kHz (RyxSound)",
        "",
        narrow_md,
        "",
        f"{narrow_n} payloads per cell. Wrong payloads in both tables: {wrong + narrow_wrong}.",
        "",
        "RyxSound payloads not delivered, by what the decoder of their slot reported (a + joins two reports of one slot):",
        "",
    ]
    md += [f"- {m}" for m in misses + narrow_misses] or ["- none"]
    if not pattern or re.search(pattern, "white"):
        md += ["", f"### Reach in white noise at {rate / 1000:g} kHz (RyxSound)", "",
               reach_table(n, seed, rate), "",
               f"Payloads delivered whole of those sent, {n} per cell in the audible plan and "
               f"{max(1, n // 2)} in the narrow ones, seed {seed}; a wrong payload stops the "
               f"bench. The last column gives the quietest SNR of a descending run where at "
               f"least {100 * REACH_SHARE:g}% arrive; Eb/N0 counts the {8 * PAYLOAD_BYTES} bits "
               f"of a payload over its time on air."]
    md += ["", "### Time on air", "", time_on_air_table(), "",
           f"Measured in {time.time() - started:.0f} s.", ""]
    return "\n".join(md)


def ggwave_limit(rate: int) -> str:
    """What ggwave's fastest protocol gives back for payloads of PAYLOAD_BYTES and one byte more,
    sent alone on a clean channel."""
    system = ggwave_system("fastest")
    rng = np.random.default_rng(PAYLOAD_BYTES)
    sizes = (PAYLOAD_BYTES, PAYLOAD_BYTES + 1)
    payloads = [rng.bytes(size) for size in sizes]
    stream = channel.slot_stream(system.encode(payloads, rate), rate, rng)
    found = system.decode([stream.samples[b:e] for b, e in stream.slots], rate)
    said = []
    for sent, reports in zip(payloads, found):
        got = [r.data for r in reports]
        if sent in got:
            said.append(f"{len(sent)} bytes come back whole")
        elif got and sent.startswith(got[0]):
            said.append(f"{len(sent)} bytes come back as their first {len(got[0])}")
        else:
            said.append(f"{len(sent)} bytes do not come back")
    return ", ".join(said)


def ggwave_version() -> str:
    try:
        out = subprocess.run([peer_python(), "-m", "pip", "show", "ggwave"], capture_output=True,
                             text=True, check=False).stdout
    except channel.Unavailable:
        return "(not installed)"
    found = re.search(r"^Version: (\S+)", out, re.M)
    return found.group(1) if found else "(version unknown)"
