# make demo   - a round trip through the library, from a fresh machine
# make test   - the C and C++ layout check, every C++ test (plain and sanitizer builds), every
#               Python test (also against a sanitizer build of the module), the ryxsound tests
#               again under numpy 2 on Python 3.10 and 3.13, the installed C and C++ package as
#               its users meet it, the web build in Node, Chromium and WebKitGTK, and a minute of
#               each fuzzer
# make web    - the browser build in build/web/: ryxsound.wasm, the ES module ryxsound.js with its
#               declarations, and the page index.html (serve the folder over http to use it)
# make mcu    - the Cortex-M4F firmware (build/mcu/ryx_firmware.elf): the encoder and the robust
#               receiver built for the processor, with recordings the desktop made held in flash
# make mcu-test - runs it under QEMU (mps2-an386): the emulator must hear the desktop's texts and
#               send the desktop's samples; RAM, flash and instructions per second of audio
# make bench  - every benchmark, written as one Markdown report (docs/benchmarks.md); the peer,
#               ggwave, lives in the bench's own environment (build/peer-venv, build/peer-src), the
#               room simulator, pyroomacoustics, in another (build/room-venv)
PY := .venv/bin/python
JOBS ?= 2

.PHONY: demo test env test-env format-check cpp-test asan-test py-test py-matrix asan-py-test consumer-test \
	web web-test fuzz mcu mcu-test peer-env room-env bench clean

env:
	RYX_PROFILE=demo bash tools/ensure_env.sh

demo: env
	$(PY) examples/demo.py
	$(PY) -m ryxsound demo

# The codec round trips of the robustness tests need ffmpeg, the crowd of talkers espeak-ng;
# those tests are skipped where the tool is absent. The sound-server test starts a private
# PulseAudio server; sounddevice reaches it through PortAudio and the ALSA plugin for PulseAudio.
test-env:
	RYX_PROFILE=test RYX_EXTRA_APT="ffmpeg sox espeak-ng pulseaudio pulseaudio-utils libportaudio2 libasound2-plugins" \
		RYX_WEB=1 bash tools/ensure_env.sh

test: test-env format-check cpp-test asan-test py-test py-matrix asan-py-test consumer-test web-test fuzz \
	mcu-test

# Every C and C++ file as .clang-format lays it out.
format-check:
	bash tools/check_format.sh

cpp-test:
	cmake -S . -B build/test -G Ninja -DRYX_BUILD_TESTS=ON -DCMAKE_BUILD_TYPE=Release
	cmake --build build/test -j $(JOBS)
	ctest --test-dir build/test --output-on-failure -j $(JOBS)

asan-test:
	cmake -S . -B build/asan -G Ninja -DRYX_BUILD_TESTS=ON -DRYX_SANITIZE=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build build/asan -j $(JOBS)
	ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 ctest --test-dir build/asan --output-on-failure -j $(JOBS)

# Every Python suite with numpy 1.x (.venv), where _RyxSDK works.
py-test:
	$(PY) -m pytest -q tests/python

# The ryxsound suites with numpy 2 on the oldest and newest Python, each installed by pip install .
py-matrix:
	bash tools/python_matrix.sh

asan-py-test:
	bash tools/asan_python_tests.sh

consumer-test:
	JOBS=$(JOBS) bash tools/consumer_test.sh

web:
	RYX_WEB=1 RYX_APT_ONLY=1 bash tools/ensure_env.sh
	emcmake cmake -S web -B build/web-obj -G Ninja -DCMAKE_BUILD_TYPE=Release
	cmake --build build/web-obj -j $(JOBS)

# The ES module under Node, then the page and the module in a headless Chromium and in WebKitGTK
# (on an Xvfb display, with a private PulseAudio server as its microphone).
web-test: web
	node --test tests/web/
	$(PY) -m pytest -q tests/web

fuzz:
	bash tools/run_fuzzers.sh 60

mcu:
	RYX_MCU=1 RYX_APT_ONLY=1 bash tools/ensure_env.sh
	JOBS=$(JOBS) bash tools/mcu.sh build

mcu-test: mcu
	bash tools/mcu.sh test

# ggwave, which the payload table and robust_speed measure beside RyxSound: a venv of its own
# (never .venv) and its unpacked source, whose C++ decoder only the benchmarks build.
peer-env:
	bash tools/peer_env.sh

# pyroomacoustics, which simulates the rooms of the range table: a venv of its own (never .venv).
room-env:
	bash tools/room_env.sh

bench: test-env peer-env room-env
	bash tools/bench_report.sh

clean:
	rm -rf build
