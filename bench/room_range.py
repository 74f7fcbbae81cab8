#!/usr/bin/env python3
"""Range in rooms: how far from a loudspeaker a microphone still receives nine-character texts,
RyxSound's two receivers beside ggwave at the same loudness.

Three simulated shoebox rooms (pyroomacoustics, image sources with air absorption, walls from
Sabine's formula for the room's reverberation time): an office, a living room and a hall. A
loudspeaker 0.5 m from one end wall sends each transmission at a fixed level; a microphone on
the room's long axis hears it at distances from 0.5 m to 12 m (as far as the room allows, 0.5 m
short of the far wall), together with background noise at fixed levels: four talkers of
babble, pink HVAC noise and the microphone's own white noise. Levels are dB SPL at the
microphone, full band; a digital RMS of 1 is MIC_FULL_SCALE_DB.

Every transmission, RyxSound's and ggwave's, is scaled to the same RMS at the speaker, the
level whose direct sound 1 m away in free field is SOURCE_DB (--source-db). The room's response
includes the speaker's band limit (Butterworth high-pass and low-pass). Each transmission gets a slot of its
own (background before, the message, background after), decoded whole by a fresh decoder:
RyxSound's robust and standard receivers through the ryxsound package, ggwave's through
bench/ggwave_peer.py in the peer environment (tools/peer_env.sh). The responses come from
bench/room_impulses.py in the room environment (tools/room_env.sh) and are cached on disk.

For each room and plan the table gives, per receiver, the farthest distance at which at least
95% of the texts came back, and RyxSound's distance over ggwave's.

    python bench/room_range.py --quick                  # 10 texts, fewer distances
    python bench/room_range.py --texts 40 --out room.md
"""
from __future__ import annotations

import argparse
import dataclasses
import hashlib
import json
import os
import subprocess
import sys
import time

import numpy as np

import channel
import payload_bench
import ryxsound

RATE = 48000
DISTANCES_M = (0.5, 1.0, 2.0, 3.0, 4.0, 6.0, 8.0, 10.0, 12.0)
QUICK_DISTANCES_M = (1.0, 3.0, 6.0, 12.0)
WALL_CLEARANCE_M = 0.5  # the speaker from its wall, the farthest microphone from the far wall
HEIGHT_M = 1.2  # speaker and microphone above the floor
SPEAKER = {"high_pass_hz": 250.0, "low_pass_hz": 20000.0, "order": 2}

# Levels in dB SPL at the microphone (RMS over the whole band).
MIC_FULL_SCALE_DB = 120.0  # a digital RMS of 1 (a phone's MEMS microphone: -26 dBFS at 94 dB)
# The transmission's direct sound 1 m from the speaker, in free field: 5 dB under the babble. At
# 70 dB every receiver reaches the end of every room; at 55 dB only the hall tells them apart
# (ggwave's audible protocol 1 m, the standard receiver 6 m, the robust one the hall's 12 m); at
# 45 dB the office too (ggwave's audible protocol 2 m) and the hall's ultrasound (10 m).
SOURCE_DB = 45.0
BABBLE_DB = 50.0  # four talkers across the room
HVAC_DB = 40.0  # ventilation: pink noise
MIC_NOISE_DB = 30.0  # the microphone's own noise: white

SHARE_NEEDED = 0.95
LEAD_S = (0.3, 0.8)  # background before each transmission, seconds (uniform)
TAIL_S = 0.5  # background and reverberation after it
ROOM_PROGRAM = os.path.join(channel.ROOT, "bench", "room_impulses.py")


@dataclasses.dataclass(frozen=True)
class Room:
    name: str
    size_m: tuple[float, float, float]
    rt60_s: float

    def distances(self, grid: tuple[float, ...]) -> tuple[float, ...]:
        """The grid's distances that fit along the room's length, and the farthest that fits."""
        farthest = self.size_m[0] - 2 * WALL_CLEARANCE_M
        inside = tuple(d for d in grid if d <= farthest)
        return inside if farthest > grid[-1] or farthest in inside else inside + (farthest,)

    def source(self) -> list[float]:
        return [WALL_CLEARANCE_M, 0.4 * self.size_m[1], HEIGHT_M]

    def microphone(self, distance: float) -> list[float]:
        """The microphone `distance` from the source along the room's length."""
        x, y, z = self.source()
        return [x + distance, y, z]


ROOMS = (
    Room("office", (5.0, 4.0, 3.0), 0.4),
    Room("living room", (6.0, 5.0, 2.7), 0.6),
    Room("hall", (20.0, 15.0, 8.0), 1.5),
)


@dataclasses.dataclass(frozen=True)
class Contest:
    """A RyxSound plan and the ggwave protocol it is measured beside."""

    plan: str
    ggwave: str  # a protocol of payload_bench.GGWAVE_PROTOCOLS


CONTESTS = (Contest("audible", "normal"), Contest("nonaudible", "ultrasound normal"))
RECEIVERS = ("robust", "standard")


def level(db: float) -> float:
    """The digital RMS of a level in dB SPL."""
    return 10 ** ((db - MIC_FULL_SCALE_DB) / 20)


# ---------------------------------------------------------------------------------------------
# Rooms


def room_python() -> str:
    """The Python of the room simulator's environment ($RYX_ROOM_PYTHON, else build/room-venv)."""
    return channel.bench_python("room-venv", "RYX_ROOM_PYTHON", "tools/room_env.sh")


@dataclasses.dataclass
class SimulatedRoom:
    room: Room
    distances: tuple[float, ...]
    responses: list[np.ndarray]  # one per distance
    rt60_s: float  # measured on the simulated responses (their median)


def simulate_rooms(grid: tuple[float, ...]) -> list[SimulatedRoom]:
    """Every room's responses at the grid's distances, from the cache or bench/room_impulses.py."""
    setup = {"rate": RATE, "speaker": SPEAKER, "rooms": [
        {"size": list(room.size_m), "rt60": room.rt60_s,
         "source": room.source(),
         "microphones": [room.microphone(d) for d in room.distances(grid)]} for room in ROOMS]}
    text = json.dumps(setup, sort_keys=True)
    path = os.path.join(channel.CACHE_DIR,
                        f"room-{hashlib.sha256(text.encode()).hexdigest()[:16]}.npz")
    if not os.path.exists(path):
        done = subprocess.run([room_python(), ROOM_PROGRAM], input=text.encode(),
                              stdout=subprocess.PIPE, stderr=subprocess.PIPE, check=False)
        if done.returncode != 0:
            raise RuntimeError(f"room_impulses.py failed: {done.stderr.decode()[-600:]}")
        os.makedirs(channel.CACHE_DIR, exist_ok=True)
        partial = f"{path}.{os.getpid()}"
        with open(partial, "wb") as f:
            f.write(done.stdout)
        os.replace(partial, path)
    rooms = []
    with np.load(path) as archive:
        for r, room in enumerate(ROOMS):
            distances = room.distances(grid)
            rooms.append(SimulatedRoom(
                room, distances, [archive[f"h{r}_{m}"] for m in range(len(distances))],
                float(np.median(archive[f"rt60_{r}"]))))
    return rooms


# ---------------------------------------------------------------------------------------------
# Transmissions through a room


def background(length: int, rng: np.random.Generator) -> np.ndarray:
    """Babble, HVAC and microphone noise at their levels."""
    babble = channel.babble_track(RATE)
    start = int(rng.integers(0, len(babble)))
    babble = np.tile(babble, -(-(start + length) // len(babble)))[start:start + length]
    return (babble * level(BABBLE_DB) + channel.pink(length, rng, RATE) * level(HVAC_DB)
            + rng.standard_normal(length) * level(MIC_NOISE_DB))


def heard(transmission: np.ndarray, response: np.ndarray, source_db: float,
          rng: np.random.Generator) -> np.ndarray:
    """A slot as the microphone hears it: the transmission at the source level (dB SPL of its
    direct sound 1 m away in free field), through the room, between LEAD_S and TAIL_S of
    background."""
    x = transmission.astype(np.float64)
    x *= level(source_db) / np.sqrt(np.mean(x ** 2))
    lead = int(rng.uniform(*LEAD_S) * RATE)
    length = lead + len(x) + int(TAIL_S * RATE)
    n = 1 << (length + len(response)).bit_length()
    room = np.fft.irfft(np.fft.rfft(x, n) * np.fft.rfft(response, n), n)[:length - lead]
    out = background(length, rng)
    out[lead:] += room
    return out.astype(np.float32)


def random_texts(n: int, seed: int) -> list[str]:
    """n random texts; their random stream is apart from the slots' (which have three keys)."""
    rng = np.random.default_rng([seed])
    return ["".join(ryxsound.ALPHABET[i] for i in rng.integers(0, 32, ryxsound.TEXT_LENGTH))
            for _ in range(n)]


@dataclasses.dataclass(frozen=True)
class Run:
    """What every cell of one run shares: the texts, the source level and the seed."""

    texts: list[str]
    source_db: float
    seed: int

    def slots(self, transmissions: list[np.ndarray], response: np.ndarray,
              place: tuple[int, int]) -> list[np.ndarray]:
        """Every transmission heard at one place (room, distance); slot i gets the same lead
        and the same stretch of babble whichever system sent it."""
        return [heard(t, response, self.source_db, np.random.default_rng([self.seed, *place, i]))
                for i, t in enumerate(transmissions)]


@dataclasses.dataclass
class Cell:
    """Texts that came back, of those sent, and texts reported intact but wrong."""

    received: int = 0
    sent: int = 0
    wrong: list[tuple[str, str]] = dataclasses.field(default_factory=list)  # (sent, reported)

    @property
    def share(self) -> float:
        return self.received / self.sent if self.sent else 0.0

    def count(self, text: str, intact: list[str]) -> None:
        """One text sent and the texts its decoder reported intact."""
        self.received += text in intact
        self.wrong += [(text, t) for t in intact if t != text]

    def __str__(self) -> str:
        return f"{100 * self.share:.0f}%" + (f" ({len(self.wrong)} wrong)" if self.wrong else "")


def ryxsound_cells(plan: str, run: Run, simulated: SimulatedRoom,
                   r: int) -> list[dict[str, Cell]]:
    """Per distance, a cell per receiver."""
    sent = [ryxsound.encode(t, plan, RATE) for t in run.texts]
    cells = []
    for d, response in enumerate(simulated.responses):
        row = {rx: Cell(sent=len(run.texts)) for rx in RECEIVERS}
        for text, slot in zip(run.texts, run.slots(sent, response, (r, d))):
            for rx in RECEIVERS:
                row[rx].count(text, [m.text for m in ryxsound.decode(slot, RATE, plan,
                                                                      receiver=rx) if m.ok])
        cells.append(row)
    return cells


def ggwave_cells(protocol: str, run: Run, simulated: SimulatedRoom, r: int) -> list[Cell]:
    system = payload_bench.ggwave_system(protocol)
    sent = system.encode([t.encode() for t in run.texts], RATE)
    cells = []
    for d, response in enumerate(simulated.responses):
        cell = Cell(sent=len(run.texts))
        for text, reports in zip(run.texts,
                                 system.decode(run.slots(sent, response, (r, d)), RATE)):
            cell.count(text, [p.data.decode(errors="replace") for p in reports if p.ok])
        cells.append(cell)
    return cells


# ---------------------------------------------------------------------------------------------
# The tables


def farthest(distances: tuple[float, ...], cells: list[Cell]) -> float | None:
    """The farthest distance where at least SHARE_NEEDED of the texts came back."""
    good = [d for d, c in zip(distances, cells) if c.share >= SHARE_NEEDED]
    return max(good) if good else None


def say_distance(distance: float | None, last: float) -> str:
    """A farthest distance; ">=" when it is the last one measured."""
    if distance is None:
        return "none"
    return f"{'>= ' if distance == last else ''}{distance:g} m"


def say_ratio(ours: float | None, theirs: float | None, last: float) -> str:
    """RyxSound's distance over ggwave's; ">=" when RyxSound's is the last one measured."""
    if ours is None:
        return "0" if theirs is not None else "neither"
    if theirs is None:
        return "ggwave none"
    return f"{'>= ' if ours == last else ''}{ours / theirs:.2f}"


def measure(run: Run, grid: tuple[float, ...]) -> tuple[str, str, dict[str, int]]:
    """The summary table, the per-distance table and the wrong texts counted, RyxSound's and
    ggwave's."""
    summary, detail, wrong = [], [], {"RyxSound": 0, "ggwave": 0}
    for r, simulated in enumerate(simulate_rooms(grid)):
        room, last = simulated.room, simulated.distances[-1]
        name = (f"{room.name} ({' x '.join(f'{s:g}' for s in room.size_m)} m, RT60 "
                f"{room.rt60_s:g} s, simulated {simulated.rt60_s:.2f} s)")
        columns: dict[str, list[Cell]] = {}
        for contest in CONTESTS:
            ours = ryxsound_cells(contest.plan, run, simulated, r)
            theirs = ggwave_cells(contest.ggwave, run, simulated, r)
            reach_theirs = farthest(simulated.distances, theirs)
            row = [name, contest.plan]
            for rx in RECEIVERS:
                column = [cells[rx] for cells in ours]
                columns[f"{rx} {contest.plan}"] = column
                row.append(say_distance(farthest(simulated.distances, column), last))
            columns[f"ggwave {contest.ggwave}"] = theirs
            row.append(f"{contest.ggwave}: {say_distance(reach_theirs, last)}")
            row += [say_ratio(farthest(simulated.distances, columns[f"{rx} {contest.plan}"]),
                              reach_theirs, last) for rx in RECEIVERS]
            summary.append(row)
            print(" | ".join(row), flush=True)
        for column_name, column in columns.items():
            for d, cell in zip(simulated.distances, column):
                for sent, got in cell.wrong:
                    print(f"  WRONG TEXT {room.name} {d:g} m {column_name}: sent {sent} got "
                          f"{got!r}", file=sys.stderr)
                wrong["ggwave" if column_name.startswith("ggwave") else "RyxSound"] += len(
                    cell.wrong)
        detail.append(f"#### {name}\n\n" + channel.markdown_table(
            ["distance"] + list(columns),
            [[f"{d:g} m"] + [str(column[i]) for column in columns.values()]
             for i, d in enumerate(simulated.distances)]))
    header = ["room", "plan"] + [f"RyxSound {rx}" for rx in RECEIVERS] + [
        "ggwave (protocol: distance)"] + [f"{rx} / ggwave" for rx in RECEIVERS]
    return channel.markdown_table(header, summary), "\n\n".join(detail), wrong


def main(argv: list[str] | None = None) -> int:
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("--texts", type=int, default=10, help="texts per distance (default 10)")
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--source-db", type=float, default=SOURCE_DB,
                    help="dB SPL of each transmission's direct sound 1 m from the speaker "
                         f"(default {SOURCE_DB:g})")
    ap.add_argument("--quick", action="store_true",
                    help=f"only {', '.join(f'{d:g}' for d in QUICK_DISTANCES_M)} m")
    ap.add_argument("--out", help="write the tables as Markdown to this path")
    args = ap.parse_args(argv)
    started = time.time()
    grid = QUICK_DISTANCES_M if args.quick else DISTANCES_M
    summary, detail, wrong = measure(Run(random_texts(args.texts, args.seed), args.source_db,
                                         args.seed), grid)
    note = (
        f"{args.texts} texts per distance, seed {args.seed}, {RATE} Hz; a distance counts when at "
        f"least {100 * SHARE_NEEDED:.0f}% of its texts came back (the farthest such distance "
        f"of {', '.join(f'{d:g}' for d in grid)} m, and the farthest that fits the room). "
        f"Levels (dB SPL at the microphone, full band): each transmission {args.source_db:g} dB "
        f"as direct sound 1 m from the speaker in free field, RyxSound's and ggwave's at the "
        f"same RMS; babble {BABBLE_DB:g} dB, pink HVAC noise {HVAC_DB:g} dB, microphone "
        f"noise {MIC_NOISE_DB:g} dB (white). Speaker: Butterworth order {SPEAKER['order']}, "
        f"high-pass {SPEAKER['high_pass_hz']:g} Hz, low-pass {SPEAKER['low_pass_hz']:g} Hz. "
        f"Speaker and microphone {HEIGHT_M:g} m above the floor on the room's long axis, the "
        f"speaker {WALL_CLEARANCE_M:g} m from its wall. ggwave {payload_bench.ggwave_version()} "
        f"at its own rate, protocols as named, a fresh decoder per slot in 1024-sample chunks. "
        f"Texts reported intact but wrong: RyxSound {wrong['RyxSound']}, ggwave "
        f"{wrong['ggwave']}. {time.time() - started:.0f} s.")
    md = f"{summary}\n\n{note}\n\nTexts received per distance:\n\n{detail}\n"
    channel.emit_report(md, args.out)
    return 0


if __name__ == "__main__":
    sys.exit(main())
