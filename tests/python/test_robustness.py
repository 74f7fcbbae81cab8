"""Robustness thresholds the transmission clearly meets, on 20 messages per cell.

Each cell sends 20 random texts through a channel of bench/channel.py (fixed seeds) and decodes
each with a fresh decoder in 1024-sample buffers:

- every mode at 44100 and 48000 Hz: all 20 come back through a clean channel, behind leading
  offsets of 0 .. 2 symbols, at levels from 0.01 to 1.0 and with +-100 ppm of clock drift; at
  least 19 of 20 through white noise at -10 dB full-band signal-to-noise ratio;
- the compression plan: at least 18 of 20 through an MP3 round trip at 128 kbit/s (ffmpeg; the
  test is skipped when ffmpeg is absent, nothing is installed).

Wrong texts (checksum matched, text differs) are counted, never hidden: the totals are printed at
the end of the module and each cell's count is in its failure message.
"""

import os
import shutil
import sys

import pytest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "bench"))
import channel  # noqa: E402

MESSAGES = 20
SEED = 20240601
MODES = [2, 3, 4, 5, 6]
RATES = [44100, 48000]

# name: (channel, least successes out of MESSAGES)
CELLS = {
    "clean": (channel.clean, 20),
    "offset 0..2 symbols": (channel.offsets, 20),
    "gain 0.01..1.0": (channel.slot_gains(0.01, 1.0), 20),
    "drift +100 ppm": (channel.drift(100), 20),
    "drift -100 ppm": (channel.drift(-100), 20),
    "white -10 dB": (channel.white_noise(-10), 19),
}

_wrong_texts = {}


@pytest.fixture(scope="module", autouse=True)
def report_wrong_texts(pytestconfig):
    """Prints every cell's wrong-text count once the module is done, past output capture."""
    yield
    capture = pytestconfig.pluginmanager.getplugin("capturemanager")
    lines = [f"{cell}: {count} wrong text(s) with a matching checksum"
             for cell, count in sorted(_wrong_texts.items()) if count]
    total = sum(_wrong_texts.values())
    with capture.global_and_fixture_disabled():
        print(f"\nrobustness: {len(_wrong_texts)} cells, {total} wrong text(s) with a matching "
              "checksum in total" + "".join(f"\n  {line}" for line in lines))


def run(name, mode, rate, apply, seed):
    result = channel.run_cell(mode, rate, apply, MESSAGES, seed)
    _wrong_texts[f"{name}, mode {mode}, {rate} Hz"] = result.wrong
    return result


def describe(result):
    return (f"{result.successes}/{result.total} decoded, {result.misses} missed "
            f"({result.checksum_mismatches} checksum mismatches), {result.wrong} wrong texts "
            f"{result.wrong_examples}")


@pytest.mark.parametrize("rate", RATES)
@pytest.mark.parametrize("mode", MODES)
@pytest.mark.parametrize("name", CELLS)
def test_channel_threshold(name, mode, rate):
    apply, least = CELLS[name]
    result = run(name, mode, rate, apply, SEED)
    assert result.successes >= least, describe(result)


@pytest.mark.skipif(shutil.which("ffmpeg") is None, reason="ffmpeg is not installed")
@pytest.mark.parametrize("rate", RATES)
def test_compression_plan_survives_mp3_128k(rate):
    result = run("mp3 128k", 4, rate, channel.find_channel("mp3 128k"), SEED)
    assert result.successes >= 18, describe(result)


def test_a_miss_is_counted_as_a_miss():
    """The harness itself: audio from which the tones are removed decodes to nothing."""
    result = run("silence", 2, 44100, channel.gain(0.0), SEED)
    assert (result.successes, result.misses) == (0, MESSAGES)
