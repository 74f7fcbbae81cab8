#!/usr/bin/env python3
"""Decoding speed of the WebAssembly build inside a headless Chromium, and the build's sizes.

The page builds a 60 s recording (a transmission every six seconds in quiet noise), then decodes
it with ryxsound.js as the page does, in blocks of 2048 samples, several times per mode and rate.
Prints the real-time factor (audio seconds per second of decoding; best of the runs) and checks
that every transmission was found. Before that, the sizes a browser downloads: the module and the
whole page, as they are and gzipped, beside ggwave's encoder and decoder built from its source
distribution (`make peer-env`) with the same compiler and flags as the module. Needs `make web`
and the Python packages of `make test-env`.

    .venv/bin/python bench/web_speed.py [--seconds 60] [--runs 3]
"""
from __future__ import annotations

import argparse
import re
import shutil
import subprocess
import sys
from pathlib import Path
from typing import Optional

sys.path.insert(0, str(Path(__file__).resolve().parents[1] / "tests" / "web"))
from browser import (PAGE_FILES, ROOT, WEB_BUILD, chromium, gzipped_size, open_page,  # noqa: E402
                     served)

PEER_SOURCE = ROOT / "build" / "peer-src" / "ggwave"
PEER_BUILD = ROOT / "build" / "peer-web"

# ggwave's sources built as web/CMakeLists.txt builds the module: one standalone wasm for size,
# with link-time optimisation, SIMD and the other features, without exceptions or RTTI, emmalloc,
# then wasm-opt until nothing changes. Its log lines compiled out (the module has no printf), and
# thread_local made plain static, which is the same without threads: the linker of Debian's
# Emscripten refuses thread-local storage without atomics.
PEER_FLAGS = ["-std=c++17", "-Oz", "-flto", "-fno-rtti", "-fno-exceptions", "-msimd128",
              "-mbulk-memory", "-mnontrapping-fptoint", "-msign-ext", "-DGGWAVE_DISABLE_LOG",
              "-Dthread_local="]
PEER_LINK = ["-sSTANDALONE_WASM", "--no-entry", "-sMALLOC=emmalloc", "-sALLOW_MEMORY_GROWTH=1",
             "-sSUPPORT_ERRNO=0"]
WASM_OPT_FEATURES = ["--enable-simd", "--enable-bulk-memory", "--enable-nontrapping-float-to-int",
                     "--enable-sign-ext", "--enable-mutable-globals"]

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


def peer_version() -> Optional[str]:
    """The version of ggwave's unpacked source distribution, None without it."""
    info = PEER_SOURCE / "PKG-INFO"
    found = re.search(r"^Version: (\S+)", info.read_text(), re.M) if info.exists() else None
    return found[1] if found else None


def peer_module() -> Optional[Path]:
    """ggwave's module with every function of its C interface exported (and malloc and free, for
    its callers' buffers), built once per version into build/peer-web; None without its source
    or emcc."""
    header = PEER_SOURCE / "ggwave" / "include" / "ggwave" / "ggwave.h"
    version = peer_version()
    if version is None or not header.exists() or not shutil.which("em++"):
        return None
    module = PEER_BUILD / f"ggwave-{version}.wasm"
    if not module.exists():
        functions = re.findall(r"GGWAVE_API\s+[\w\s*]*?\b(ggwave_\w+)\s*\(", header.read_text())
        exports = ",".join(f"_{name}" for name in ["malloc", "free", *functions])
        PEER_BUILD.mkdir(parents=True, exist_ok=True)
        subprocess.run(["em++", *PEER_FLAGS, f"-I{header.parents[1]}",
                        f"-I{PEER_SOURCE / 'ggwave' / 'src'}",
                        str(PEER_SOURCE / "ggwave" / "src" / "ggwave.cpp"), "-o", str(module),
                        *PEER_LINK, f"-sEXPORTED_FUNCTIONS={exports}"], check=True)
        subprocess.run(["wasm-opt", "-Oz", "--converge", *WASM_OPT_FEATURES, str(module),
                        "-o", str(module)], check=True)
    return module


def kib(size: int) -> str:
    return f"{size / 1024:.1f} KiB ({size:,} bytes)"


def print_sizes() -> None:
    """The module and the page as served, and as a server that compresses sends them."""
    print("| download | as built | gzipped |")
    print("|---|---:|---:|")
    rows = [("ryxsound.wasm", [WEB_BUILD / "ryxsound.wasm"]),
            (f"the page ({', '.join(PAGE_FILES)})", [WEB_BUILD / name for name in PAGE_FILES])]
    peer = peer_module()
    if peer is not None:
        rows.append((f"ggwave {peer_version()}: its encoder and decoder, built as ryxsound.wasm",
                     [peer]))
    for name, paths in rows:
        raw = sum(path.stat().st_size for path in paths)
        print(f"| {name} | {kib(raw)} | {kib(sum(gzipped_size(path) for path in paths))} |")


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--seconds", type=float, default=60.0)
    parser.add_argument("--runs", type=int, default=3)
    args = parser.parse_args()

    print_sizes()
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
