# make demo   - a round trip through the library, from a fresh machine
# make test   - every C++ test (plain and sanitizer builds), every Python test (also against a
#               sanitizer build of the module) and a minute of each fuzzer
# make bench  - every benchmark, written as one Markdown report (docs/benchmarks.md)
PY := .venv/bin/python
JOBS ?= 2

.PHONY: demo test env test-env cpp-test asan-test py-test asan-py-test fuzz bench clean

env:
	bash tools/ensure_env.sh

demo: env
	$(PY) examples/demo.py
	$(PY) -m ryxsound demo

# The codec round trips of the robustness tests need ffmpeg, the crowd of talkers espeak-ng;
# those tests are skipped where the tool is absent.
test-env:
	RYX_EXTRA_APT="ffmpeg sox espeak-ng" bash tools/ensure_env.sh

test: test-env cpp-test asan-test py-test asan-py-test fuzz

cpp-test:
	cmake -S . -B build/test -G Ninja -DRYX_BUILD_TESTS=ON -DCMAKE_BUILD_TYPE=Release
	cmake --build build/test -j $(JOBS)
	ctest --test-dir build/test --output-on-failure -j $(JOBS)

asan-test:
	cmake -S . -B build/asan -G Ninja -DRYX_BUILD_TESTS=ON -DRYX_SANITIZE=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build build/asan -j $(JOBS)
	ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 ctest --test-dir build/asan --output-on-failure -j $(JOBS)

py-test:
	$(PY) -m pytest -q tests/python

asan-py-test:
	bash tools/asan_python_tests.sh

fuzz:
	bash tools/run_fuzzers.sh 60

bench: env
	bash tools/bench_report.sh

clean:
	rm -rf build
