#!/usr/bin/env python3
"""Decoding speed of the WebAssembly build inside a headless Chromium, and the build's sizes.

The page builds a 60 s recording (a transmission every six seconds in quiet noise), then decodes
it with ryxsound.js as the page does, in blocks of 2048 samples, several times per mode and rate.
Prints the real-time factor (audio seconds per second of decoding; best of the runs) and checks
that every transmission was found. Needs `make web` and the Python packages of `make test-env`.

    .venv/bin/python bench/web_speed.py [--seconds 60] [--runs 3]
"""
from __future__ import annotations

import argparse
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "tests" / "web"))
from browser import WEB_BUILD, chromium, open_page, served  # noqa: E402

# Runs in the page: arguments seconds, mode, rate, runs; returns [best seconds, texts found].
DECODE_IN_PAGE = """
const [seconds, mode, rate, runs] = arguments;
const plan = mode === 'all' ? 'nonaudible' : mode;
const audio = new Float32Array(Math.round(seconds * rate));
let seed = 12345;
for (let i = 0; i < audio.length; i++) {
    seed = (seed * 1103515245 + 12345) >>> 0;
    audio[i] = 0.01 * (seed / 4294967296 - 0.5);
}
const texts = [];
for (let at = rate; at + 3 * rate < audio.length; at += 6 * rate) {
    const text = ('000000000' + (texts.length * 7919).toString(32)).slice(-9);
    const burst = RyxSound.encode(text, { mode: plan, sampleRate: rate });
    for (let i = 0; i < burst.length; i++) audio[at + i] += 0.5 * burst[i];
    texts.push(text);
}
let best = Infinity, found = 0;
for (let run = 0; run < runs; run++) {
    const begin = performance.now();
    const decoder = new RyxSound.Decoder({ mode, sampleRate: rate });
    let heard = [];
    for (let at = 0; at < audio.length; at += 2048) {
        heard.push(...decoder.feed(audio.subarray(at, at + 2048)));
    }
    heard.push(...decoder.flush());
    decoder.close();
    best = Math.min(best, (performance.now() - begin) / 1000);
    found = heard.filter((m) => m.ok && texts.includes(m.text)).length;
}
return [best, found, texts.length];
"""

CASES = [("audible", 44100), ("all", 44100), ("audible", 48000), ("all", 48000)]


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--seconds", type=float, default=60.0)
    parser.add_argument("--runs", type=int, default=3)
    args = parser.parse_args()

    wasm = (WEB_BUILD / "ryxsound.wasm").stat().st_size
    module = (WEB_BUILD / "ryxsound.js").stat().st_size
    page = sum((WEB_BUILD / f).stat().st_size for f in ("app.js", "capture-worklet.js"))
    print(f"ryxsound.wasm {wasm / 1024:.1f} KiB ({wasm} bytes), ryxsound.js "
          f"{module / 1024:.1f} KiB, page scripts app.js + capture-worklet.js {page / 1024:.1f} KiB")
    print()
    print(f"| mode | rate | decoding {args.seconds:g} s in the page | real-time factor | found |")
    print("|---|---:|---:|---:|---:|")
    with served() as url, chromium() as driver:
        open_page(driver, url)
        for mode, rate in CASES:
            seconds, found, sent = driver.execute_script(DECODE_IN_PAGE, args.seconds, mode, rate,
                                                         args.runs)
            print(f"| {mode} | {rate} | {seconds * 1000:.0f} ms | {args.seconds / seconds:.0f}x "
                  f"| {found}/{sent} |")
    return 0


if __name__ == "__main__":
    sys.exit(main())
