#!/usr/bin/env bash
# Prepares the bench's own environment for the peer the payload table compares with: a venv of
# its own (build/peer-venv) holding numpy and ggwave from PyPI, run by bench/ggwave_peer.py.
# ggwave never enters the project's .venv nor the package's dependencies. Safe to run again:
# skipped when the venv already imports ggwave.
set -euo pipefail
cd "$(dirname "$0")/.."

venv=build/peer-venv
if [ -x "$venv/bin/python" ] && "$venv/bin/python" -c "import ggwave, numpy" 2>/dev/null; then
    exit 0
fi
echo "== creating $venv with ggwave (the payload table's peer)"
python3 -m venv "$venv"
"$venv/bin/python" -m pip install -q --upgrade pip
"$venv/bin/python" -m pip install -q "ggwave==0.4.3" numpy
