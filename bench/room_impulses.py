#!/usr/bin/env python3
"""Speaker-to-microphone impulse responses of shoebox rooms, for the room range bench.

This program runs under the room bench's own Python (build/room-venv, made by tools/room_env.sh
with pyroomacoustics); nothing of the project imports pyroomacoustics. bench/room_range.py says
what to simulate as JSON on standard input and reads an .npz archive from standard output:

    in:  {"rate": 48000,
          "speaker": {"high_pass_hz": 250, "low_pass_hz": 20000, "order": 2},
          "rooms": [{"size": [5, 4, 3], "rt60": 0.4, "source": [x, y, z],
                     "microphones": [[x, y, z], ...]}, ...]}
    out: h<room>_<microphone> (float32), the response from the speaker's input to that
         microphone; rt60_<room> (float64), the reverberation time of the simulated room,
         measured on its responses (one value per microphone)

Each room takes its wall absorption and image-source order from Sabine's formula inverted for
the asked reverberation time, with air absorption. A response is the room's impulse response
scaled so that the direct sound of a free field at 1 m has a gain of 1, through the speaker: a
Butterworth high-pass and low-pass of the given order.
"""
from __future__ import annotations

import io
import json
import sys

import numpy as np
import pyroomacoustics as pra
from scipy import signal


def direct_gain_at_1m(rate: int) -> float:
    """The gain of the direct sound 1 m from a source in free field, as the simulator gives it
    (the sum of its fractional-delay taps)."""
    free = pra.AnechoicRoom(fs=rate)
    free.add_source([0.0, 0.0, 0.0])
    free.add_microphone([1.0, 0.0, 0.0])
    free.compute_rir()
    return float(np.sum(free.rir[0][0]))


def speaker(setup: dict, rate: int) -> np.ndarray:
    """The speaker's band limit as second-order sections."""
    order = int(setup["order"])
    return np.concatenate([
        signal.butter(order, setup["high_pass_hz"], "highpass", fs=rate, output="sos"),
        signal.butter(order, setup["low_pass_hz"], "lowpass", fs=rate, output="sos"),
    ])


def simulate(setup: dict) -> dict[str, np.ndarray]:
    rate = int(setup["rate"])
    band = speaker(setup["speaker"], rate)
    scale = 1.0 / direct_gain_at_1m(rate)
    out = {}
    for r, shape in enumerate(setup["rooms"]):
        absorption, max_order = pra.inverse_sabine(shape["rt60"], shape["size"])
        room = pra.ShoeBox(shape["size"], fs=rate, materials=pra.Material(absorption),
                           max_order=max_order, air_absorption=True)
        room.add_source(shape["source"])
        for position in shape["microphones"]:
            room.add_microphone(position)
        room.compute_rir()
        for m in range(len(shape["microphones"])):
            response = signal.sosfilt(band, np.asarray(room.rir[m][0]) * scale)
            out[f"h{r}_{m}"] = response.astype(np.float32)
        out[f"rt60_{r}"] = np.asarray(room.measure_rt60(), dtype=np.float64).ravel()
    return out


def main() -> int:
    out = simulate(json.loads(sys.stdin.read()))
    buffer = io.BytesIO()
    np.savez(buffer, **out)
    sys.stdout.buffer.write(buffer.getvalue())
    return 0


if __name__ == "__main__":
    sys.exit(main())
