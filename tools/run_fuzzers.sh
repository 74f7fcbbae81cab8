#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, -fsanitize=fuzzer,address,undefined) and runs each for N
# seconds, starting from the committed seeds; prints the number of runs of every target.
#
#   tools/run_fuzzers.sh [SECONDS] [TARGET...]     default 60 s each, all targets
#
# Installs clang and its runtime (Debian's clang and libclang-rt-dev) when clang is absent. The
# build replays every committed regression input first and stops if one of them fails. New
# corpus entries go to build/fuzz-corpus/<target> (outside the tree); a crash leaves its input in
# build/fuzz-artifacts/<target>/ and makes the script exit non-zero after the other targets ran.
set -euo pipefail
cd "$(dirname "$0")/.."

SECONDS_EACH="${1:-60}"
shift || true
TARGETS=("$@")
[ ${#TARGETS[@]} -gt 0 ] || TARGETS=(decoder_stream reed_solomon api_sequence payload_decoder)
JOBS="${JOBS:-2}"
BUILD=build/fuzz

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
if ! command -v clang++ >/dev/null 2>&1; then
    echo "== installing clang and its runtime libraries"
    $SUDO apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq clang libclang-rt-dev >/dev/null
fi
# libFuzzer ships with clang's runtime; check that the one matching this clang is there.
probe='extern "C" int LLVMFuzzerTestOneInput(const unsigned char*, unsigned long) { return 0; }'
if ! echo "$probe" | clang++ -x c++ -fsanitize=fuzzer - -o /tmp/ryx-fuzz-probe.$$ 2>/dev/null; then
    version="$(clang++ -dumpversion)"
    version="${version%%.*}"
    echo "== installing libclang-rt-${version}-dev (libFuzzer)"
    $SUDO apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "libclang-rt-${version}-dev" >/dev/null
fi
rm -f /tmp/ryx-fuzz-probe.$$

cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DRYX_BUILD_FUZZERS=ON >/dev/null
cmake --build "$BUILD" -j "$JOBS"

status=0
summary=()
for target in "${TARGETS[@]}"; do
    corpus="build/fuzz-corpus/$target"
    artifacts="build/fuzz-artifacts/$target/"
    mkdir -p "$corpus" "$artifacts"
    log="build/fuzz-artifacts/$target.log"
    echo "== fuzz_$target for $SECONDS_EACH s"
    set +e
    UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 ASAN_OPTIONS=detect_leaks=1 \
        "$BUILD/fuzz/fuzz_$target" -max_total_time="$SECONDS_EACH" -print_final_stats=1 \
        -max_len=65536 -rss_limit_mb=4096 -timeout=30 -artifact_prefix="$artifacts" \
        "$corpus" "fuzz/corpus/$target" >"$log" 2>&1
    rc=$?
    set -e
    runs="$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n1)"
    cov="$(grep -o 'cov: [0-9]*' "$log" | tail -n1)"
    if [ $rc -ne 0 ]; then
        status=1
        summary+=("fuzz_$target: FAILED (exit $rc) after ${runs:-?} runs; see $log and $artifacts")
        grep -m3 -E 'ERROR|runtime error|SUMMARY|property broken' "$log" || true
    else
        summary+=("fuzz_$target: ${runs:-?} runs in $SECONDS_EACH s, ${cov:-cov: ?}, no crash")
    fi
done
echo
printf '%s\n' "${summary[@]}"
exit $status
