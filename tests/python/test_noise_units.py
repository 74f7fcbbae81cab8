"""The report's three units of a white-noise SNR (bench/noise_units.py), by worked numbers: a
text is 45 bits in twenty symbols (4608 samples each at 44.1 kHz, 5015 at 48 kHz)."""

import os
import sys

import pytest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "bench"))
import noise_units  # noqa: E402


@pytest.mark.parametrize("snr_db, rate, on_air, expected", [
    (-22, 44100, {}, ["-22 dB", "-12.5 dB", "8.1 dB"]),
    (-20, 48000, {}, ["-20 dB", "-10.2 dB", "10.5 dB"]),
    (-10, 44100, {"seconds": 4.27, "bits": 1120}, ["-10 dB", "-0.5 dB", "9.2 dB"]),  # 140 bytes
])
def test_an_snr_in_three_units(snr_db, rate, on_air, expected):
    assert noise_units.cells(snr_db, rate, **on_air) == expected
