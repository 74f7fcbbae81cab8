#!/usr/bin/env python3
"""A white-noise signal-to-noise ratio in the three units the benchmark report gives it.

- full band: signal power over the noise power from 0 to rate / 2, as the benches add it;
- in 2500 Hz: the same signal over the noise that falls in a 2500 Hz band,
  SNR + 10 log10((rate / 2) / 2500);
- Eb/N0: the energy per payload bit over the noise density N0 = noise power / (rate / 2), the
  energy being the signal power times the seconds on air; a text carries nine base-32
  characters, 45 bits, in one transmission.

    python bench/noise_units.py -22 44100      # a text at -22 dB full band at 44.1 kHz
"""
from __future__ import annotations

import argparse
import math
import sys

import ryxsound

BAND_HZ = 2500.0
TEXT_BITS = ryxsound.TEXT_LENGTH * int(math.log2(len(ryxsound.ALPHABET)))
HEADERS = ("SNR full band", f"in {BAND_HZ:g} Hz", "Eb/N0")
NOTE = (f"SNR full band: signal to noise power over 0 .. rate / 2; in {BAND_HZ:g} Hz: the same "
        f"signal over the noise in {BAND_HZ:g} Hz; Eb/N0: the signal's energy per payload bit "
        f"({TEXT_BITS} for a text) over the noise power per Hz.")


def in_band(snr_db: float, rate: float) -> float:
    """The SNR with the noise counted in BAND_HZ instead of the full band."""
    return snr_db + 10 * math.log10(rate / 2 / BAND_HZ)


def eb_n0(snr_db: float, rate: float, seconds: float, bits: int) -> float:
    """Eb/N0 in dB of `bits` sent in `seconds` at a full-band SNR."""
    return snr_db + 10 * math.log10(seconds * rate / 2 / bits)


def text_seconds(rate: float) -> float:
    """Seconds on air of one text transmission."""
    return ryxsound.transmission_length(rate) / rate


def cells(snr_db: float, rate: float, seconds: float | None = None,
          bits: int = TEXT_BITS) -> list[str]:
    """The SNR in the units of HEADERS; seconds and bits of a text unless given."""
    seconds = text_seconds(rate) if seconds is None else seconds
    return [f"{snr_db:g} dB", f"{in_band(snr_db, rate):.1f} dB",
            f"{eb_n0(snr_db, rate, seconds, bits):.1f} dB"]


def units_rows(snrs: list[float], rates: list[int]) -> tuple[list[str], list[list[str]]]:
    """A table's header and rows: each full-band SNR of a text in the three units, a row per
    SNR and rate."""
    return ["rate", *HEADERS], [[f"{r / 1000:g} kHz", *cells(s, r)] for s in snrs for r in rates]


def main(argv: list[str] | None = None) -> int:
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("snr_db", type=float, help="full-band SNR in dB")
    ap.add_argument("rate", type=float, help="sample rate in Hz")
    args = ap.parse_args(argv)
    print(", ".join(f"{unit} {value}" for unit, value in zip(HEADERS, cells(args.snr_db,
                                                                           args.rate))))
    return 0


if __name__ == "__main__":
    sys.exit(main())
