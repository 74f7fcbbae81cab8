#!/usr/bin/env bash
# Runs the Python tests of the extension modules against a build with AddressSanitizer and
# UndefinedBehaviorSanitizer: every _RyxSDK test, the robustness thresholds and the argument
# fuzzing (tests/python/test_*.py), and the ryxsound library tests over ryxsound._core
# (test_ryxsound_core.py and test_ryxsound_lib.py; the CLI, Dask and packaging suites run the
# same code through subprocesses and more Python).
#
#   tools/asan_python_tests.sh [extra pytest arguments]
#
# The modules are built with CMake directly into build/asan-py (not installed), the ryxsound
# package copied beside the fresh _core into build/asan-py/pkg; the interpreter is
# .venv/bin/python with the ASan runtime and libstdc++ preloaded (the interpreter itself is not
# instrumented)
# and both folders first on PYTHONPATH, so they shadow the installed modules. Subprocesses
# started by the tests inherit both. Leak detection is off: the interpreter keeps objects alive
# until exit on purpose.
set -euo pipefail
cd "$(dirname "$0")/.."

PY=.venv/bin/python
BUILD=build/asan-py
JOBS="${JOBS:-2}"
[ -x "$PY" ] || RYX_PROFILE=test bash tools/ensure_env.sh

cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DRYX_SANITIZE=ON \
    -DRYX_BUILD_PYTHON=ON -DPython_EXECUTABLE="$PWD/$PY" >/dev/null
cmake --build "$BUILD" -j "$JOBS" --target _RyxSDK _core

module="$(find "$BUILD/python/_RyxSDK" -maxdepth 1 -name '_RyxSDK*.so' -print -quit)"
[ -n "$module" ] || { echo "no _RyxSDK module in $BUILD/python/_RyxSDK" >&2; exit 1; }
core="$(find "$BUILD/python/ryxsound_core" -maxdepth 1 -name '_core*.so' -print -quit)"
[ -n "$core" ] || { echo "no _core module in $BUILD/python/ryxsound_core" >&2; exit 1; }
rm -rf "$BUILD/pkg"
mkdir -p "$BUILD/pkg"
cp -r python/ryxsound "$BUILD/pkg/"
cp "$core" "$BUILD/pkg/ryxsound/"
runtime="$(gcc -print-file-name=libasan.so)"
[ -e "$runtime" ] || { echo "ASan runtime not found ($runtime)" >&2; exit 1; }

tests=()
for f in tests/python/test_*.py; do
    case "$(basename "$f")" in
        test_ryxsound_core.py | test_ryxsound_lib.py) tests+=("$f") ;;
        test_ryxsound_*) ;;
        *) tests+=("$f") ;;
    esac
done

echo "== pytest with $(basename "$module") and $(basename "$core") under ASan/UBSan:" \
    "${#tests[@]} files"
# libstdc++ too: the runtime's C++-exception hook needs it loaded before the modules that throw.
export LD_PRELOAD="$runtime $(gcc -print-file-name=libstdc++.so)"
export ASAN_OPTIONS="detect_leaks=0:abort_on_error=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
package_dir="$(cd "$BUILD/pkg" && pwd)"
module_dir="$(cd "$(dirname "$module")" && pwd)"
export PYTHONPATH="$package_dir:$module_dir${PYTHONPATH:+:$PYTHONPATH}"
exec "$PY" -m pytest -q -p no:cacheprovider "${tests[@]}" "$@"
