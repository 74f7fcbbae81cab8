#!/usr/bin/env python3
"""Wrong texts at the edge of hearing: many weak transmissions (every plan at 44.1 and 48 kHz,
white noise and four-talker babble at full-band SNRs from -20 to -27 dB) through both receivers,
counting the texts heard and the texts reported intact that were not sent.

Each cell is a stream of transmissions in slots of random lead (as in bench/channel.py), decoded
as one stream; a message belongs to the slot it starts in (the standard receiver, which reports
no start, to the slot it was reported in), and it is wrong when no slot next to it sent its text.
The robust receiver's totals give its word searches and candidates per transmission, from which
the likelihood bound's arithmetic follows: a word reaching a sum of natural log posteriors B is
wrong with the weight of all other words, on the average 2^45 / 32^18 = e^-31.2 together, so the
expected number of wrong words reaching B is at most e^(-31.2 - B) per search (Markov's
inequality over the posteriors), times the searches a transmission makes.

    python bench/wrong_texts.py                             # 400 per cell, 51,200 transmissions
    python bench/wrong_texts.py --count 20 --snrs -24 --noises white --out wrong.md
"""
from __future__ import annotations

import argparse
import bisect
import json
import math
import subprocess
import sys
import time
from concurrent.futures import ThreadPoolExecutor
from dataclasses import dataclass, field

import numpy as np

import channel
import noise_units

PLANS = (2, 3, 4, 6)  # audible, non-audible, compression, custom
RATES = (44100, 48000)
NOISES = {"white": channel.white_noise, "babble": channel.babble_noise}
CHUNK = 100  # transmissions per decoded stream, which bounds the memory a worker holds
# The sum of natural log posteriors every word the robust receiver takes in noise must reach
# (WordSearch::kAcceptLogPosterior), and the weight of all wrong words together, ln(2^45 / 32^18).
ACCEPT_LOG_POSTERIOR = -17.5
WRONG_WEIGHT_LOG = 45 * math.log(2) - 18 * math.log(32)


@dataclass
class Tally:
    sent: int = 0
    heard: int = 0
    wrong: int = 0
    searches: int = 0
    candidates: int = 0
    examples: list = field(default_factory=list)

    def add(self, other: "Tally") -> None:
        self.sent += other.sent
        self.heard += other.heard
        self.wrong += other.wrong
        self.searches += other.searches
        self.candidates += other.candidates
        self.examples += other.examples


def decode(samples: np.ndarray, mode: int, rate: int, receiver: str) -> tuple[list, dict]:
    done = subprocess.run([channel.decode_stream_program(), "--mode", str(mode), "--rate",
                           str(rate), "--receiver", receiver],
                          input=np.ascontiguousarray(samples, dtype=np.float32).tobytes(),
                          stdout=subprocess.PIPE, check=True)
    lines = [json.loads(line) for line in done.stdout.decode().splitlines() if line.strip()]
    return lines[:-1], lines[-1]


def run_chunk(noise: str, snr: float, rate: int, mode: int, count: int, seed: int,
              chunk: int) -> dict[str, Tally]:
    rng = np.random.default_rng([seed, mode, rate, int(round(-10 * snr)), chunk,
                                 list(NOISES).index(noise)])
    texts = [channel.random_text(rng).lower() for _ in range(count)]
    with channel.Transceiver(mode, rate) as tr:
        stream = channel.build_stream(tr, texts, rng)
    received = NOISES[noise](snr)(stream, rng)
    begins = [begin for begin, _ in received.slots]
    tallies = {}
    for receiver in ("robust", "standard"):
        messages, totals = decode(received.samples, mode, rate, receiver)
        heard = [set() for _ in texts]
        t = Tally(sent=count, searches=max(totals["searches"], 0), candidates=totals["starts"])
        for m in messages:
            if not m["ok"]:
                continue
            at = m["start"] if m["start"] >= 0 else m["end"] - channel.BUFFER
            slot = max(0, bisect.bisect_right(begins, at) - 1)
            near = range(max(0, slot - 1), min(count, slot + 2))
            if any(m["text"] == texts[k] for k in near):
                for k in near:
                    if m["text"] == texts[k]:
                        heard[k].add(m["text"])
            else:
                t.wrong += 1
                t.examples.append(f"{receiver} receiver, {noise} noise, {snr:g} dB, "
                                  f"{rate} Hz, {channel.MODES[mode]}: sent {texts[slot]}, "
                                  f"reported {m['text']}")
        t.heard = sum(1 for h in heard if h)
        tallies[receiver] = t
    return tallies


def main(argv: list[str] | None = None) -> int:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--count", type=int, default=400, help="transmissions per cell")
    parser.add_argument("--snrs", default="-20,-21,-22,-23,-24,-25,-26,-27")
    parser.add_argument("--noises", default="white,babble")
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--jobs", type=int, default=2)
    parser.add_argument("--out", help="write the report as Markdown to this path")
    args = parser.parse_args(argv)
    snrs = [float(s) for s in args.snrs.split(",")]
    noises = args.noises.split(",")
    began = time.time()
    cells = [(noise, snr, rate, mode) for noise in noises for snr in snrs for rate in RATES
             for mode in PLANS]
    work = [(cell, k, min(CHUNK, args.count - k * CHUNK))
            for cell in cells for k in range(-(-args.count // CHUNK))]

    def run(item):
        cell, k, count = item
        return cell, run_chunk(*cell, count, args.seed, k)

    channel.decode_stream_program()  # built once, before the workers start
    results: dict[tuple, dict[str, Tally]] = {}
    with ThreadPoolExecutor(args.jobs) as pool:
        for cell, tallies in pool.map(run, work):
            into = results.setdefault(cell, {"robust": Tally(), "standard": Tally()})
            for receiver, t in tallies.items():
                into[receiver].add(t)

    header = ["noise", "rate", *noise_units.HEADERS, *(channel.MODES[m] for m in PLANS),
              "standard, all plans"]
    rows = []
    total = {"robust": Tally(), "standard": Tally()}
    for noise in noises:
        for snr in snrs:
            for rate in RATES:
                got = [results[(noise, snr, rate, m)] for m in PLANS]
                standard = Tally()
                for g in got:
                    standard.add(g["standard"])
                    for receiver in total:
                        total[receiver].add(g[receiver])
                rows.append([noise, f"{rate / 1000:g} kHz", *noise_units.cells(snr, rate),
                             *(f"{100 * g['robust'].heard / g['robust'].sent:.1f}% "
                               f"({g['robust'].wrong})" for g in got),
                             f"{100 * standard.heard / standard.sent:.1f}% ({standard.wrong})"])
    robust = total["robust"]
    searches = robust.searches / robust.sent
    candidates = robust.candidates / robust.sent
    worst_cell = max(cells, key=lambda c: results[c]["robust"].searches / results[c]["robust"].sent)
    worst = results[worst_cell]["robust"].searches / results[worst_cell]["robust"].sent
    per_search = math.exp(WRONG_WEIGHT_LOG - ACCEPT_LOG_POSTERIOR)
    md = (channel.markdown_table(header, rows) +
          f"\n\nRobust receiver, {args.count} transmissions per cell, seed {args.seed}; cell: "
          f"texts heard (wrong texts reported intact). Robust: {robust.heard} of {robust.sent} "
          f"heard, {robust.wrong} wrong; standard: {total['standard'].heard} heard, "
          f"{total['standard'].wrong} wrong. Per transmission the robust receiver opened "
          f"{candidates:.2f} candidates and ran {searches:.2f} word searches; at the bound of "
          f"{ACCEPT_LOG_POSTERIOR:g} the wrong words weigh at most e^({WRONG_WEIGHT_LOG:.1f} - "
          f"({ACCEPT_LOG_POSTERIOR:g})) = {per_search:.2g} a search, {per_search * searches:.2g} "
          f"a transmission on the average and {per_search * worst:.2g} in the cell of the most "
          f"searches ({worst:.2f} a transmission: {worst_cell[0]} noise, {worst_cell[1]:g} dB, "
          f"{worst_cell[2] / 1000:g} kHz, {channel.MODES[worst_cell[3]]}). "
          f"{noise_units.NOTE} {time.time() - began:.0f} s.")
    for example in total["robust"].examples + total["standard"].examples:
        md += f"\n\nWrong text: {example}."
    channel.emit_report(md, args.out)
    return 0


if __name__ == "__main__":
    sys.exit(main())
