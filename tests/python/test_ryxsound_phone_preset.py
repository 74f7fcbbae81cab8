"""The phone preset through telephone channels of bench/channel.py (20 messages per cell, fixed
seed): the band-pass at 8 kHz needs nothing, the codec round trips need ffmpeg and are skipped
where it is absent."""

import os
import shutil
import sys

import pytest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "bench"))
import channel  # noqa: E402

CELLS = {entry.name: entry for entry in channel.telephone_channels()}


@pytest.mark.parametrize("name,rate,least", [
    ("band-pass 300-3400 Hz at 8 kHz", 44100, 20),
    ("band-pass 300-3400 Hz at 8 kHz", 48000, 20),
    ("G.711 mu-law", 44100, 20),
    ("GSM 06.10", 44100, 19),
    ("Opus 12 kbit/s narrow-band", 48000, 19),
])
def test_phone_preset_passes_telephone_channels(name, rate, least):
    if name != "band-pass 300-3400 Hz at 8 kHz" and shutil.which("ffmpeg") is None:
        pytest.skip("ffmpeg is not installed")
    result = channel.run_phone_cell(rate, CELLS[name], 20, 20261207)
    assert result.wrong == 0, result.wrong_examples
    assert result.successes >= least, f"{result.successes} of 20"


def test_audible_plan_does_not_pass_the_telephone_band():
    result = channel.run_cell(2, 44100, CELLS["band-pass 300-3400 Hz at 8 kHz"], 5, 1)
    assert result.successes == 0 and result.wrong == 0
