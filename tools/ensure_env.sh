#!/usr/bin/env bash
# Prepares a fresh machine: system packages through apt-get when they are missing, the project's
# .venv with the Python packages, and the package itself installed into it. Safe to run again:
# every step is skipped when already done.
#   RYX_PROFILE=demo (default)  only what `make demo` runs: the build tools and the packages the
#                               demo imports (numpy 1.x, soundfile, soxr, matplotlib)
#   RYX_PROFILE=test            also the C++ test and benchmark libraries and every test tool
#   RYX_EXTRA_APT="pkg ..."     more system packages; RYX_WEB=1 what the browser build and tests
#                               need; RYX_MCU=1 what the Cortex-M4 build and its emulator need;
#                               RYX_APT_ONLY=1 stops after apt-get
set -euo pipefail
cd "$(dirname "$0")/.."

profile=${RYX_PROFILE:-demo}
case "$profile" in demo | test) ;; *) echo "RYX_PROFILE must be demo or test" >&2; exit 2 ;; esac

need_apt=()
command -v ninja >/dev/null 2>&1 || need_apt+=(ninja-build)
if [ "$profile" = test ]; then
    [ -f /usr/include/gtest/gtest.h ] || need_apt+=(libgtest-dev)
    [ -f /usr/include/fftw3.h ] || need_apt+=(libfftw3-dev)
    # ryxsound-cli reads and writes audio files with libsndfile and converts rates with libsoxr,
    # both found through pkg-config.
    [ -f /usr/include/sndfile.h ] || need_apt+=(libsndfile1-dev)
    [ -f /usr/include/soxr.h ] || need_apt+=(libsoxr-dev)
    command -v pkg-config >/dev/null 2>&1 || need_apt+=(pkg-config)
fi
for extra in ${RYX_EXTRA_APT:-}; do
    dpkg -s "$extra" >/dev/null 2>&1 || need_apt+=("$extra")
done
# The browser build and its tests (RYX_WEB=1): Emscripten, Chromium with its WebDriver, and Node
# (any node on the PATH will do). WebKitGTK's driver runs the page in Safari's engine: it has no
# headless mode (a virtual display, xvfb-run) and captures through GStreamer from a private
# PulseAudio server that plays the test's microphone file.
if [ "${RYX_WEB:-0}" = 1 ]; then
    for web in emscripten chromium chromium-driver webkit2gtk-driver xvfb xauth \
        gstreamer1.0-pulseaudio pulseaudio pulseaudio-utils; do
        dpkg -s "$web" >/dev/null 2>&1 || need_apt+=("$web")
    done
    command -v node >/dev/null 2>&1 || need_apt+=(nodejs)
fi
# The Cortex-M4 build (RYX_MCU=1): the cross compiler and its C library, QEMU for the board, and
# espeak-ng for the babble of the test recordings.
if [ "${RYX_MCU:-0}" = 1 ]; then
    for mcu in gcc-arm-none-eabi libnewlib-arm-none-eabi qemu-system-arm espeak-ng; do
        dpkg -s "$mcu" >/dev/null 2>&1 || need_apt+=("$mcu")
    done
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
demo_modules="numpy soundfile matplotlib scikit_build_core soxr nanobind"
demo_packages=('numpy>=1.22,<2' 'scikit-build-core>=0.10' 'nanobind>=2.4' soundfile matplotlib soxr)
test_modules="pytest hypothesis av sounddevice mypy distributed clang_format"
test_packages=(pytest hypothesis av sounddevice mypy 'dask[distributed]>=2023.1' clang-format==23.1.5)
modules=$demo_modules
packages=("${demo_packages[@]}")
if [ "$profile" = test ]; then
    modules="$modules $test_modules"
    packages+=("${test_packages[@]}")
fi
# find_spec, not import: sounddevice fails to import where PortAudio is missing.
if ! .venv/bin/python -c "import importlib.util as u, sys; sys.exit(any(u.find_spec(m) is None for m in sys.argv[1:]))" $modules 2>/dev/null; then
    echo "== installing Python packages into .venv ($profile)"
    .venv/bin/python -m pip install -q --upgrade pip
    .venv/bin/python -m pip install -q "${packages[@]}"
fi
if [ "${RYX_WEB:-0}" = 1 ] && ! .venv/bin/python -c "import selenium" 2>/dev/null; then
    .venv/bin/python -m pip install -q selenium
fi

echo "== building and installing the package into .venv"
.venv/bin/python -m pip install -q --no-build-isolation --no-deps -C build-dir=build/wheel .
