#!/usr/bin/env bash
# Runs the Python tests of the extension module against a build with AddressSanitizer and
# UndefinedBehaviorSanitizer: every _RyxSDK test, the robustness thresholds and the argument
# fuzzing (tests/python/test_*.py except the ryxsound package's test_ryxsound_*.py, whose CLI
# tests are slow and exercise the same module through more Python).
#
#   tools/asan_python_tests.sh [extra pytest arguments]
#
# The module is built with CMake directly into build/asan-py (not installed); the interpreter is
# .venv/bin/python with the ASan runtime preloaded (the interpreter itself is not instrumented)
# and the fresh module first on PYTHONPATH, so it shadows any installed _RyxSDK. Subprocesses
# started by the tests inherit both. Leak detection is off: the interpreter keeps objects alive
# until exit on purpose.
set -euo pipefail
cd "$(dirname "$0")/.."

PY=.venv/bin/python
BUILD=build/asan-py
JOBS="${JOBS:-2}"
[ -x "$PY" ] || bash tools/ensure_env.sh

cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DRYX_SANITIZE=ON \
    -DRYX_BUILD_PYTHON=ON -DPython_EXECUTABLE="$PY" >/dev/null
cmake --build "$BUILD" -j "$JOBS" --target _RyxSDK

module="$(find "$BUILD/python/_RyxSDK" -maxdepth 1 -name '_RyxSDK*.so' | head -n1)"
[ -n "$module" ] || { echo "no _RyxSDK module in $BUILD/python/_RyxSDK" >&2; exit 1; }
runtime="$(gcc -print-file-name=libasan.so)"
[ -e "$runtime" ] || { echo "ASan runtime not found ($runtime)" >&2; exit 1; }

tests=()
for f in tests/python/test_*.py; do
    case "$(basename "$f")" in
        test_ryxsound_*) ;;
        *) tests+=("$f") ;;
    esac
done

echo "== pytest with $(basename "$module") under ASan/UBSan: ${#tests[@]} files"
export LD_PRELOAD="$runtime"
export ASAN_OPTIONS="detect_leaks=0:abort_on_error=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export PYTHONPATH="$(cd "$(dirname "$module")" && pwd)${PYTHONPATH:+:$PYTHONPATH}"
exec "$PY" -m pytest -q -p no:cacheprovider "${tests[@]}" "$@"
