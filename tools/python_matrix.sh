#!/usr/bin/env bash
# Runs the ryxsound tests under numpy 2 on the oldest and the newest supported Python (3.10 and
# 3.13), each in its own virtual environment that already holds numpy 2 when the package is
# installed the way a user installs it: `pip install .` (isolated build, clean build folder).
# Prints how long each install took and checks that it left numpy at 2.x. On the oldest Python the
# same build's _RyxSDK (compiled against numpy 2's headers) then runs its quick suites with numpy
# 1.x. .venv (numpy 1.x) runs every suite through `make py-test`.
#
#   tools/python_matrix.sh [extra pytest arguments]
#
# PYTHON_MATRIX="3.10 3.13" picks the versions; each is found under ~/.pyenv/versions or as a
# working pythonX.Y on PATH. A version that cannot be found fails the run.
set -euo pipefail
cd "$(dirname "$0")/.."

versions="${PYTHON_MATRIX:-3.10 3.13}"
oldest="${versions%% *}"
# The quick _RyxSDK suites (the robustness, channel and fuzzing ones run in .venv).
sdk_tests=()
for f in tests/python/test_*.py; do
    case "$(basename "$f")" in
        test_ryxsound_* | test_robustness.py | test_robust_channels.py | test_fuzz_module.py) ;;
        *) sdk_tests+=("$f") ;;
    esac
done

find_python() {
    local v="$1" candidate
    for candidate in "$HOME"/.pyenv/versions/"$v"*/bin/"python$v" \
        "$(command -v "python$v" || true)"; do
        if [ -n "$candidate" ] && [ -x "$candidate" ] && "$candidate" -c pass 2>/dev/null; then
            echo "$candidate"
            return 0
        fi
    done
    return 1
}

for v in $versions; do
    interpreter="$(find_python "$v")" || {
        echo "python$v not found (pyenv install $v)" >&2
        exit 1
    }
    venv=".venv-py$v"
    if [ ! -x "$venv/bin/python" ]; then
        echo "== creating $venv with $interpreter"
        "$interpreter" -m venv "$venv"
    fi
    probe="import numpy, pytest, hypothesis, soundfile, matplotlib, mypy, distributed, av
assert numpy.__version__ >= '2'"
    if ! "$venv/bin/python" -c "$probe" 2>/dev/null; then
        echo "== installing numpy 2 and the test packages into $venv"
        "$venv/bin/python" -m pip install -q --upgrade pip
        "$venv/bin/python" -m pip install -q 'numpy>=2' pytest hypothesis soundfile matplotlib \
            av sounddevice mypy 'dask[distributed]>=2023.1'
    fi
    build="build/matrix-py$v"
    rm -rf "$build"
    echo "== pip install . on Python $v"
    start=$(date +%s%N)
    "$venv/bin/python" -m pip install -q -C build-dir="$build" .
    end=$(date +%s%N)
    numpy_version="$("$venv/bin/python" -c 'import numpy; print(numpy.__version__)')"
    seconds=$(((end - start) / 1000000000))
    echo "pip install . on Python $v with numpy $numpy_version present: $seconds s"
    case "$numpy_version" in
        2.*) ;;
        *) echo "pip install . changed numpy to $numpy_version" >&2; exit 1 ;;
    esac
    echo "== ryxsound tests on Python $v, numpy $numpy_version"
    "$venv/bin/python" -m pytest -q -p no:cacheprovider tests/python/test_ryxsound_*.py "$@"
    if [ "$v" = "$oldest" ]; then
        # This build compiled _RyxSDK against numpy 2's headers: it must work with numpy 1.x.
        "$venv/bin/python" -m pip install -q 'numpy>=1.22,<2'
        echo "== _RyxSDK from that build with numpy $("$venv/bin/python" -c \
            'import numpy; print(numpy.__version__)') on Python $v"
        "$venv/bin/python" -m pytest -q -p no:cacheprovider "${sdk_tests[@]}" "$@"
        "$venv/bin/python" -m pip install -q 'numpy>=2'
    fi
done
