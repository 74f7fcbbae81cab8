#!/usr/bin/env bash
# Prepares build/room-venv, the room bench's own environment: pyroomacoustics (and the numpy and
# scipy it brings) for the impulse responses that bench/room_impulses.py computes for
# bench/room_range.py. It never enters the project's .venv nor the package's dependencies. Safe to
# run again: skipped when the venv already imports pyroomacoustics of this version.
set -euo pipefail
cd "$(dirname "$0")/.."

version=0.10.1
venv=build/room-venv

if ! "$venv/bin/python" -c "import pyroomacoustics as p, sys; sys.exit(p.__version__ != '$version')" \
        2>/dev/null; then
    echo "== creating $venv with pyroomacoustics $version (the room bench's simulator)"
    python3 -m venv "$venv"
    "$venv/bin/python" -m pip install -q --upgrade pip
    "$venv/bin/python" -m pip install -q "pyroomacoustics==$version"
fi
