#!/usr/bin/env python3
"""How weak a transmission the robust receiver still hears: every plan at 44.1 and 48 kHz through
white noise at full-band SNRs from -20 to -26 dB, each SNR also given in 2500 Hz and as Eb/N0
per payload bit (bench/noise_units.py). Cells: texts decoded of those sent (wrong texts with a
matching checksum in parentheses), each text in its own slot of random lead, as in the channel
table (bench/channel.py).

    python bench/weak_signal.py                         # 40 texts per cell
    python bench/weak_signal.py --texts 10 --snrs -22,-25 --out weak.md
    RYX_DECODE_STREAM=/other/build/bench/decode_stream python bench/weak_signal.py   # another build
"""
from __future__ import annotations

import argparse
import sys
import time
from concurrent.futures import ThreadPoolExecutor

import channel
import noise_units

PLANS = (2, 3, 4, 6)  # audible, non-audible, compression, custom
RATES = (44100, 48000)


def main(argv: list[str] | None = None) -> int:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--texts", type=int, default=40, help="texts per cell")
    parser.add_argument("--snrs", default="-20,-22,-23,-24,-25,-26")
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--jobs", type=int, default=2)
    parser.add_argument("--out", help="write the table as Markdown to this path")
    args = parser.parse_args(argv)
    snrs = [float(s) for s in args.snrs.split(",")]
    began = time.time()
    cells = [(snr, rate, mode) for snr in snrs for rate in RATES for mode in PLANS]

    def run(cell):
        snr, rate, mode = cell
        return channel.run_cell(mode, rate, channel.white_noise(snr), args.texts, args.seed,
                                receiver="robust")

    channel.decode_stream_program()  # built once, before the workers start
    with ThreadPoolExecutor(args.jobs) as pool:
        results = dict(zip(cells, pool.map(run, cells)))
    header = ["rate", *noise_units.HEADERS, *(channel.MODES[m] for m in PLANS)]
    rows = []
    for snr in snrs:
        for rate in RATES:
            got = [results[(snr, rate, m)] for m in PLANS]
            rows.append([f"{rate / 1000:g} kHz", *noise_units.cells(snr, rate),
                         *(f"{r.success_percent:.0f}% ({r.wrong})" for r in got)])
    wrong = sum(r.wrong for r in results.values())
    md = (channel.markdown_table(header, rows) +
          f"\nRobust receiver, {args.texts} texts per cell, seed {args.seed}; cell: texts decoded "
          f"(wrong texts with a matching checksum). Wrong texts in total: {wrong}. "
          f"{noise_units.NOTE} {time.time() - began:.0f} s.")
    channel.emit_report(md, args.out)
    return 0


if __name__ == "__main__":
    sys.exit(main())
