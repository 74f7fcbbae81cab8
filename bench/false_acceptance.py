#!/usr/bin/env python3
"""How often the robust receiver's word search accepts a word where no transmission is: the full
search (every erasure pattern and trial) on candidates of noise alone.

Candidates:
  - white noise: the tone energies white noise gives a symbol's coherent sum (independent,
    exponential), at any level (only ratios count, so -25 dB or any other SNR is the same);
  - babble: four talkers (espeak-ng), each candidate at a random start;
  - chords: three-note chords with harmonics changing every 0.3 to 1 s.
Babble and chords are measured as the receiver measures a candidate's symbols: each data
symbol's plateau (13 of its 16 slices) summed coherently at the nine tones of its hop, in the
audible plan at 44100 Hz. The receiver searches each candidate at three timings (and where they
give no word, three more around the start and under the drift its data symbols choose), so the
chance per candidate is about three to six times the chance per search; the false-alarm bench
gives how many candidates reach the search per hour of each kind of audio.

    python bench/false_acceptance.py                      # 100000 white, 20000 babble, 20000 chords
    python bench/false_acceptance.py --white 2000 --babble 500 --chords 500 --out fa.md
"""
from __future__ import annotations

import argparse
import json
import os
import subprocess
import sys
import time

import numpy as np

import channel
import ryxsound
from white_noise_limit import hop_of

RATE = 44100
SYMBOLS = 20
DATA = range(2, SYMBOLS)
PLATEAU = (2, 15)  # first and one past the last slice summed of a symbol's 16


def search_program() -> str:
    """word_search_noise, built under build/bench-plain like decode_stream."""
    build = os.path.dirname(os.path.dirname(channel.decode_stream_program()))
    subprocess.run(["cmake", "--build", build, "--target", "word_search_noise", "-j", "2"],
                   check=True, stdout=subprocess.DEVNULL)
    return os.path.join(build, "bench", "word_search_noise")


def search(energies: np.ndarray) -> dict:
    out = subprocess.run([search_program()], input=energies.astype(np.float32).tobytes(),
                         stdout=subprocess.PIPE, check=True).stdout
    return json.loads(out)


def chords_track(rate: int, seconds: float, rng: np.random.Generator) -> np.ndarray:
    out = np.zeros(int(seconds * rate))
    pos = 0
    while pos < len(out):
        n = min(len(out) - pos, int(rng.uniform(0.3, 1.0) * rate))
        t = np.arange(n) / rate
        root = 110.0 * 2 ** (rng.integers(0, 36) / 12)
        for step in (0, int(rng.choice([3, 4])), 7):
            f = root * 2 ** (step / 12)
            for k in range(1, 6):
                if k * f < rate / 2:
                    out[pos:pos + n] += np.sin(2 * np.pi * k * f * t + rng.uniform(0, 6.3)) / k
        out[pos:pos + n] *= np.minimum(1.0, np.arange(n) / (0.01 * rate))  # a soft attack
        pos += n
    return out / np.sqrt(np.mean(out ** 2))


def audio_energies(track: np.ndarray, count: int, rng: np.random.Generator) -> np.ndarray:
    """Tone energies (full-scale amplitude squared) of `count` candidates at random starts."""
    plan = ryxsound.plan("audible", RATE)
    d = plan.symbol_samples
    slice_ = d // 16
    length = (PLATEAU[1] - PLATEAU[0]) * slice_
    n = np.arange(len(track))
    starts = rng.integers(0, len(track) - SYMBOLS * d, count)
    energies = np.zeros((count, len(DATA), 9), dtype=np.float32)
    for hop in range(3):
        for j in range(9):
            f = plan.tones_hz[j] + hop * plan.hop_hz
            base = np.concatenate([[0], np.cumsum(track * np.exp(-2j * np.pi * f * n / RATE))])
            for i, p in enumerate(DATA):
                if hop_of(p) != hop:
                    continue
                first = starts + round(p * d) + PLATEAU[0] * slice_
                s = base[first + length] - base[first]
                energies[:, i, j] = np.abs(s) ** 2 * (2.0 / length) ** 2
    return energies


# Searches of a candidate that gives no word: three timings at its start, three where its data
# symbols place it.
SEARCHES = 6


def main(argv: list[str] | None = None) -> int:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--white", type=int, default=100000)
    parser.add_argument("--babble", type=int, default=20000)
    parser.add_argument("--chords", type=int, default=20000)
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--out", help="write the table as Markdown to this path")
    args = parser.parse_args(argv)
    began = time.time()
    rng = np.random.default_rng(args.seed)
    sources = [("white noise", lambda n: rng.exponential(1e-4, (n, len(DATA), 9)), args.white),
               ("babble (4 talkers)",
                lambda n: audio_energies(np.tile(channel.babble_track(RATE), 3), n, rng),
                args.babble),
               ("chords", lambda n: audio_energies(chords_track(RATE, 60, rng), n, rng),
                args.chords)]
    rows = []
    total = accepted = 0
    for name, make, count in sources:
        if count <= 0:
            continue
        r = search(make(count))
        hits = r["accepted"]
        total += r["candidates"]
        accepted += hits
        rows.append(f"| {name} | {r['candidates']} | {hits} | "
                    f"{r['words'] / max(r['candidates'], 1):.0f} |")
        print(rows[-1], flush=True)
    bound = 3.0 / total  # no hit in `total` searches: below 3 / total at 95% (rule of three)
    md = "\n".join(
        ["| noise | searches | words accepted | words tried per search |",
         "|---|---|---|---|"] + rows +
        ["", f"{accepted} words accepted in {total} searches of noise alone"
             + (f" (below {bound:.1e} per search and {SEARCHES * bound:.1e} per candidate, 95% "
                f"confidence)." if accepted == 0 else
                f": {accepted / total:.1e} per search, {SEARCHES * accepted / total:.1e} per "
                f"candidate."),
         f"Seed {args.seed}, {time.time() - began:.0f} s."])
    print(md)
    if args.out:
        with open(args.out, "w") as f:
            f.write(md + "\n")
    return 0


if __name__ == "__main__":
    sys.exit(main())
