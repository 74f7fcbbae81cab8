#!/usr/bin/env bash
# Prepares the bench's own environment for ggwave, the open-source peer the benchmarks compare
# with, in two forms:
#  - build/peer-venv: a venv of its own holding numpy and ggwave from PyPI, run by
#    bench/ggwave_peer.py for the payload table;
#  - build/peer-src/ggwave: ggwave's source distribution unpacked, whose C++ decoder
#    bench/CMakeLists.txt builds into robust_speed and memory_bench.
# ggwave never enters the project's .venv, the package's dependencies nor the library. Safe to run
# again: each part is skipped when already in place (the venv imports ggwave; the unpacked source
# is of this version).
set -euo pipefail
cd "$(dirname "$0")/.."

version=0.4.3
venv=build/peer-venv
src=build/peer-src/ggwave

if ! { [ -x "$venv/bin/python" ] && "$venv/bin/python" -c "import ggwave, numpy" 2>/dev/null; }; then
    echo "== creating $venv with ggwave (the payload table's peer)"
    python3 -m venv "$venv"
    "$venv/bin/python" -m pip install -q --upgrade pip
    "$venv/bin/python" -m pip install -q "ggwave==$version" numpy
fi

if ! grep -qx "Version: $version" "$src/PKG-INFO" 2>/dev/null; then
    echo "== unpacking ggwave $version's source distribution into $src"
    download=$(mktemp -d)
    trap 'rm -rf "$download"' EXIT
    "$venv/bin/python" -m pip download -q --no-binary :all: --no-deps "ggwave==$version" \
        -d "$download"
    tar -xzf "$download/ggwave-$version.tar.gz" -C "$download"
    rm -rf "$src"
    mkdir -p "$(dirname "$src")"
    mv "$download/ggwave-$version" "$src"
fi
