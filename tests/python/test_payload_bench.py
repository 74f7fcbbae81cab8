"""The payload table's machinery (bench/payload_bench.py): how a cell counts what comes back,
RyxSound's profiles and ggwave through the clean channel, and the Wilson bound it quotes.

The ggwave cell runs only where the bench's peer environment exists (tools/peer_env.sh).
"""

import os
import sys

import numpy as np
import pytest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "bench"))
import channel  # noqa: E402
import payload_bench  # noqa: E402

RATE = 44100
SEED = 3


def scripted_system(replies):
    """A system whose decoder answers slot i with replies[i](the payload sent in slot i)."""
    def encode(payloads, rate):
        return [np.full(2000, 0.1, dtype=np.float32) for _ in payloads]

    def decode(slots, rate):
        sent = payload_bench.random_payloads(len(slots), SEED, rate)
        return [reply(p) for reply, p in zip(replies, sent)]

    return payload_bench.System("scripted", encode, decode)


def test_a_cell_counts_deliveries_wrong_payloads_and_what_misses_heard():
    Report = payload_bench.Report
    replies = [
        lambda p: [Report(p, True)],
        lambda p: [Report(b"", False, "2 of 4 frames heard (3 needed)"), Report(p, True)],
        lambda p: [Report(p[:-1] + b"?", True)],
        lambda p: [Report(b"", False, "1 of 4 frames heard (3 needed)")],
        lambda p: [],
    ]
    cell = payload_bench.run_payload_cell(scripted_system(replies),
                                          channel.find_channel("clean"), len(replies), SEED,
                                          RATE)
    assert (cell.sent, cell.delivered, cell.wrong) == (5, 2, 1)
    assert cell.misses == ["a wrong payload", "1 of 4 frames heard (3 needed)",
                           "nothing reported"]
    assert str(cell) == "2/5 (1 wrong)"
    assert cell.seconds == pytest.approx(2000 / RATE)


@pytest.mark.parametrize("profile", ["fast", "robust"])
def test_ryxsound_payloads_come_back_whole_on_the_clean_channel(profile):
    system = payload_bench.ryxsound_system(profile, "audible")
    cell = payload_bench.run_payload_cell(system, channel.find_channel("clean"), 2, SEED, RATE)
    assert (cell.delivered, cell.wrong, cell.misses) == (2, 0, [])
    shape = payload_bench.ryxsound.payload_shape(payload_bench.PAYLOAD_BYTES, profile=profile,
                                                 mode="audible", sample_rate=RATE)
    assert cell.seconds == pytest.approx(shape.seconds, abs=1e-3)


def test_ggwave_payloads_pass_the_pipe_to_its_environment_and_back():
    try:
        payload_bench.peer_python()
    except channel.Unavailable as exc:
        pytest.skip(str(exc))
    system = payload_bench.ggwave_system("fastest")
    cell = payload_bench.run_payload_cell(system, channel.find_channel("clean"), 2, SEED, RATE)
    assert (cell.delivered, cell.wrong) == (2, 0)


def test_wilson_lower_bound():
    assert payload_bench.wilson_lower(20, 20) == pytest.approx(0.8389, abs=1e-4)
    assert payload_bench.wilson_lower(0, 20) == 0.0
    assert payload_bench.wilson_lower(10, 20) == pytest.approx(0.2993, abs=1e-4)
