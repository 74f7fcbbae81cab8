#!/usr/bin/env bash
# Prepares a fresh machine for building and testing: system packages through apt-get when they are
# missing, the project's .venv with the Python packages, and the package itself installed into it.
# Safe to run again: every step is skipped when already done. RYX_EXTRA_APT="pkg ..." adds system
# packages, RYX_WEB=1 what the browser build and tests need, RYX_APT_ONLY=1 stops after apt-get.
set -euo pipefail
cd "$(dirname "$0")/.."

need_apt=()
[ -f /usr/include/gtest/gtest.h ] || need_apt+=(libgtest-dev)
[ -f /usr/include/fftw3.h ] || need_apt+=(libfftw3-dev)
command -v ninja >/dev/null 2>&1 || need_apt+=(ninja-build)
# ryxsound-cli reads and writes audio files with libsndfile, found through pkg-config.
[ -f /usr/include/sndfile.h ] || need_apt+=(libsndfile1-dev)
command -v pkg-config >/dev/null 2>&1 || need_apt+=(pkg-config)
for extra in ${RYX_EXTRA_APT:-}; do
    dpkg -s "$extra" >/dev/null 2>&1 || need_apt+=("$extra")
done
# The browser build and its tests (RYX_WEB=1): Emscripten, Chromium with its WebDriver, and Node
# (any node on the PATH will do).
if [ "${RYX_WEB:-0}" = 1 ]; then
    for web in emscripten chromium chromium-driver; do
        dpkg -s "$web" >/dev/null 2>&1 || need_apt+=("$web")
    done
    command -v node >/dev/null 2>&1 || need_apt+=(nodejs)
fi
if [ ${#need_apt[@]} -gt 0 ]; then
    echo "== installing system packages: ${need_apt[*]}"
    SUDO=""
    [ "$(id -u)" -eq 0 ] || SUDO="sudo"
    $SUDO apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${need_apt[@]}" >/dev/null
fi

[ "${RYX_APT_ONLY:-0}" = 1 ] && exit 0

if [ ! -x .venv/bin/python ]; then
    echo "== creating .venv"
    python3 -m venv .venv
fi
# .venv runs every test with numpy 1.x (the only numpy _RyxSDK accepts); tools/python_matrix.sh
# runs the ryxsound tests again with numpy 2 on the oldest and newest Python.
# find_spec, not import: sounddevice fails to import where PortAudio is missing.
if ! .venv/bin/python -c "import importlib.util as u, sys; sys.exit(any(u.find_spec(m) is None for m in ('numpy', 'pytest', 'hypothesis', 'soundfile', 'matplotlib', 'scikit_build_core', 'soxr', 'av', 'sounddevice', 'mypy', 'nanobind', 'distributed', 'clang_format')))" 2>/dev/null; then
    echo "== installing Python packages into .venv"
    .venv/bin/python -m pip install -q --upgrade pip
    .venv/bin/python -m pip install -q 'numpy>=1.22,<2' 'scikit-build-core>=0.10' 'nanobind>=2.4' \
        pytest hypothesis soundfile matplotlib soxr av sounddevice mypy 'dask[distributed]>=2023.1' \
        clang-format==23.1.5
fi
if [ "${RYX_WEB:-0}" = 1 ] && ! .venv/bin/python -c "import selenium" 2>/dev/null; then
    .venv/bin/python -m pip install -q selenium
fi

echo "== building and installing the package into .venv"
.venv/bin/python -m pip install -q --no-build-isolation --no-deps -C build-dir=build/wheel .
