#!/usr/bin/env python3
"""What the Python layer costs, and what threads gain.

1. The speed-up of ``ryxsound.decode_files`` with 2 workers over 1 (decoding releases the GIL,
   so on two free cores it approaches 2), beside the speed-up of two processes decoding half the
   files each: what the machine allows at the time (other load on a shared machine lowers
   both alike).
2. The real-time factor (audio seconds per wall second) of ``ryxsound.decode`` on a float32
   array and of ``ryxsound.Decoder.feed`` in 4096-sample float32 and int16 blocks (a capture
   loop), against
   the C++ decoder alone: the core's Decoder fed the whole float32 array in one call, its loop in
   C++ with nothing of Python per block. The binding's overhead is the ratio minus one.

Times are the best of several rounds, the contenders interleaved within each round so that a
busy machine slows them alike. Printed as a Markdown table.

    python bench/python_binding.py [--files 8] [--seconds 30] [--rounds 3]
"""

from __future__ import annotations

import argparse
import os
import tempfile
import time
from collections.abc import Callable
from concurrent.futures import ProcessPoolExecutor

import numpy as np
import soundfile as sf

import ryxsound
from ryxsound import _core

RATE = 44100


def recording(seconds: float, seed: int) -> np.ndarray:
    """Noise at -40 dBFS with a message every 5 seconds."""
    rng = np.random.default_rng(seed)
    audio = rng.normal(0, 0.01, int(seconds * RATE)).astype(np.float32)
    message = ryxsound.encode("a1b2c3d4e", "audible", RATE) * np.float32(0.5)
    for at in range(RATE, len(audio) - len(message), 5 * RATE):
        audio[at:at + len(message)] += message
    return audio


def decode_half(paths: list[str]) -> int:
    """Runs in a worker process: the messages found in ``paths``."""
    return sum(len(found) for found in ryxsound.decode_files(paths, workers=1, progress=False))


def best(work: Callable[[], object], times: list[float]) -> None:
    start = time.perf_counter()
    work()
    times.append(time.perf_counter() - start)


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--files", type=int, default=8)
    parser.add_argument("--seconds", type=float, default=30.0)
    parser.add_argument("--rounds", type=int, default=3)
    args = parser.parse_args()

    audio = recording(args.seconds, 0)
    as_int16 = np.round(audio * 32767).astype(np.int16)
    with tempfile.TemporaryDirectory() as folder:
        paths = []
        for k in range(args.files):
            path = os.path.join(folder, f"{k}.wav")
            sf.write(path, recording(args.seconds, k), RATE, subtype="PCM_16")
            paths.append(path)

        one: list[float] = []
        two: list[float] = []
        procs: list[float] = []
        core: list[float] = []
        whole: list[float] = []
        float_blocks: list[float] = []
        int_blocks: list[float] = []
        halves = [paths[0::2], paths[1::2]]
        pool = ProcessPoolExecutor(2)
        list(pool.map(len, halves))  # the processes start before timing

        def core_alone() -> None:
            rx = _core.Decoder(5, float(RATE))
            rx.feed(audio)
            rx.flush()

        def capture_loop(samples: np.ndarray) -> None:
            with ryxsound.Decoder("all", RATE) as rx:
                for i in range(0, len(samples), 4096):
                    rx.feed(samples[i:i + 4096])
                rx.flush()

        with pool:
            for _ in range(args.rounds):
                best(lambda: ryxsound.decode_files(paths, workers=1, progress=False), one)
                best(lambda: ryxsound.decode_files(paths, workers=2, progress=False), two)
                best(lambda: list(pool.map(decode_half, halves)), procs)
                best(core_alone, core)
                best(lambda: ryxsound.decode(audio, RATE), whole)
                best(lambda: capture_loop(audio), float_blocks)
                best(lambda: capture_loop(as_int16), int_blocks)

    seconds = len(audio) / RATE
    print(f"| measure ({args.files} files of {args.seconds:g} s, mode all, {os.cpu_count()} "
          f"cores) | value |")
    print("|---|---|")
    print(f"| decode_files, 1 worker | {min(one):.2f} s |")
    print(f"| decode_files, 2 workers | {min(two):.2f} s |")
    print(f"| speed-up of 2 workers over 1 | {min(one) / min(two):.2f}x |")
    print(f"| speed-up of 2 processes over 1 worker (the machine's ceiling now) | "
          f"{min(one) / min(procs):.2f}x |")
    for name, t in [("C++ decoder alone (one feed of float32)", core),
                    ("ryxsound.decode (float32 array)", whole),
                    ("ryxsound.Decoder.feed (float32 blocks of 4096)", float_blocks),
                    ("ryxsound.Decoder.feed (int16 blocks of 4096)", int_blocks)]:
        overhead = "" if t is core else f", binding overhead {100 * (min(t) / min(core) - 1):+.1f}%"
        print(f"| {name} | real-time factor {seconds / min(t):.0f}{overhead} |")


if __name__ == "__main__":
    main()
