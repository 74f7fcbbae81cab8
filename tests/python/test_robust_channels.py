"""The robust receiver through the hard channels of bench/channel.py, on small fixed-seed sets.

Each cell sends random texts through a channel and decodes each slot with the decode_stream
program (robust receiver; built under build/bench-plain, brought up to date once per run).
Thresholds are what the receiver reaches on these seeds, and no wrong text may come back intact:

- audible plan, a crowd of five espeak-ng talkers at different speeds, begun before each message:
  -10 dB and -15 dB, 8 of 8;
- audible plan through MP3 32 kbit/s, AAC 32 kbit/s and Opus 16 kbit/s: 8 of 8;
- white noise at -20 dB: 8 of 8 in the audible, compression and custom plans.

Cells whose tool (espeak-ng, ffmpeg) is missing are skipped.
"""

import os
import shutil
import sys

import pytest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "bench"))
import channel  # noqa: E402

MESSAGES = 8
SEED = 14

# (mode, rate, channel row, tool it needs, least successes)
CELLS = [
    (2, 44100, "crowd of 5 talkers -10 dB", "espeak-ng", 8),
    (2, 48000, "crowd of 5 talkers -15 dB", "espeak-ng", 8),
    (2, 44100, "mp3 32k", "ffmpeg", 8),
    (2, 48000, "aac 32k", "ffmpeg", 8),
    (2, 48000, "opus 16k", "ffmpeg", 8),
    (2, 44100, "white -20 dB", None, 8),
    (4, 48000, "white -20 dB", None, 8),
    (6, 44100, "white -20 dB", None, 8),
]


@pytest.mark.parametrize("mode,rate,row,tool,least", CELLS,
                         ids=[f"{c[2]}-{c[0]}-{c[1]}" for c in CELLS])
def test_robust_receiver_meets_its_threshold(mode, rate, row, tool, least):
    if tool and shutil.which(tool) is None:
        pytest.skip(f"{tool} is not installed")
    result = channel.run_cell(mode, rate, row, MESSAGES, SEED, receiver="robust")
    assert result.wrong == 0, result.wrong_examples
    assert result.successes >= least, f"{result.successes} of {MESSAGES}"
