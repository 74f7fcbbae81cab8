# make demo   - a round trip through the library, from a fresh machine
# make test   - every C++ test (plain and sanitizer builds) and every Python test
# make bench  - the benchmarks, printed as Markdown tables
PY := .venv/bin/python
JOBS ?= 2

.PHONY: demo test env cpp-test asan-test py-test bench clean

env:
	bash tools/ensure_env.sh

demo: env
	$(PY) examples/demo.py

test: env cpp-test asan-test py-test

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

bench: env
	cmake -S . -B build/bench -G Ninja -DRYX_BUILD_BENCH=ON -DCMAKE_BUILD_TYPE=Release
	cmake --build build/bench -j $(JOBS)
	for b in build/bench/bench/*_bench; do $$b; done

clean:
	rm -rf build
