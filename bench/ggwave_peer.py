#!/usr/bin/env python3
"""ggwave, the open-source peer of the payload table, run in the bench's own environment.

This program runs under the peer environment's Python (build/peer-venv, made by
tools/peer_env.sh with numpy and ggwave from PyPI); ggwave is never a dependency of RyxSound and
nothing else imports it. The harness (bench/payload_bench.py) talks to it through a pipe, an
.npz archive each way:

    encode: payloads p0, p1, ... (uint8 arrays) in; audio a0, a1, ... (float32) out
    decode: slots s0, s1, ... (float32) in; for each slot the payloads its decoder reported,
            f<slot>_<k> (uint8 arrays), out

    peer-venv/bin/python bench/ggwave_peer.py encode --protocol 0 --rate 44100 < in.npz > out.npz
    peer-venv/bin/python bench/ggwave_peer.py decode --rate 44100 < in.npz > out.npz

Each slot gets a fresh decoder fed in CHUNK-sample buffers, as ggwave's own examples feed it.
"""
from __future__ import annotations

import argparse
import io
import sys

import ggwave
import numpy as np

CHUNK = 1024  # samples per decoder call (ggwave's samples per frame)
VOLUME = 50  # ggwave's volume 0..100: peaks at about 0.5 of full scale


def instance(rate: int):
    params = ggwave.getDefaultParameters()
    params["sampleRateInp"] = params["sampleRateOut"] = params["sampleRate"] = float(rate)
    return ggwave.init(params)


def encode(archive, protocol: int, rate: int) -> dict[str, np.ndarray]:
    tx = instance(rate)
    out = {}
    try:
        for i in range(len(archive.files)):
            payload = archive[f"p{i}"].tobytes()
            audio = ggwave.encode(payload, protocolId=protocol, volume=VOLUME, instance=tx)
            if not audio:
                raise ValueError(f"ggwave cannot encode a payload of {len(payload)} bytes")
            out[f"a{i}"] = np.frombuffer(audio, dtype=np.float32)
    finally:
        ggwave.free(tx)
    return out


def decode(archive, rate: int) -> dict[str, np.ndarray]:
    out = {}
    for i in range(len(archive.files)):
        samples = np.ascontiguousarray(archive[f"s{i}"], dtype=np.float32)
        rx = instance(rate)
        found = 0
        try:
            for begin in range(0, len(samples), CHUNK):
                data = ggwave.decode(rx, samples[begin:begin + CHUNK].tobytes())
                if data is not None:
                    out[f"f{i}_{found}"] = np.frombuffer(data, dtype=np.uint8)
                    found += 1
        finally:
            ggwave.free(rx)
    return out


def main() -> int:
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("action", choices=("encode", "decode"))
    ap.add_argument("--protocol", type=int, default=1, help="ggwave protocol id (encode)")
    ap.add_argument("--rate", type=int, default=44100)
    args = ap.parse_args()
    ggwave.disableLog()
    archive = np.load(io.BytesIO(sys.stdin.buffer.read()))
    if args.action == "encode":
        out = encode(archive, args.protocol, args.rate)
    else:
        out = decode(archive, args.rate)
    buffer = io.BytesIO()
    np.savez(buffer, **out)
    sys.stdout.buffer.write(buffer.getvalue())
    return 0


if __name__ == "__main__":
    sys.exit(main())
