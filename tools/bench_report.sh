#!/usr/bin/env bash
# Runs every benchmark and writes one Markdown report (default docs/benchmarks.md):
# encode speed, FFT against FFTW, decode real-time factors and per-frame cost, the two receivers'
# speed beside ggwave's own C++ decoder, memory per Context and per robust receiver, the channel
# table, the white-noise limit, weak signals and false acceptance, payloads beside ggwave, the
# range in simulated rooms beside ggwave, the false-alarm rates, decoding in the browser and the
# Cortex-M4 build under QEMU. Prepares what it needs: the project's .venv (tools/ensure_env.sh),
# the peer environment with ggwave (tools/peer_env.sh) and the room simulator's
# (tools/room_env.sh). Options through the environment:
#   RYX_REPORT=path   where to write the report
#   RYX_MESSAGES=n    messages (and payloads) per channel cell (default 20)
#   RYX_ROOM_TEXTS=n  texts per room, plan and distance (default 40)
#   RYX_HOURS=h       hours of audio per false-alarm source and mode (default 0.05)
#   RYX_WRONG_COUNT=n weak transmissions per wrong-text cell (default 400: 51,200 in all)
set -euo pipefail
cd "$(dirname "$0")/.."
report=${RYX_REPORT:-docs/benchmarks.md}
messages=${RYX_MESSAGES:-20}
room_texts=${RYX_ROOM_TEXTS:-40}
hours=${RYX_HOURS:-0.05}
wrong_count=${RYX_WRONG_COUNT:-400}
PY=.venv/bin/python
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

RYX_PROFILE=test RYX_EXTRA_APT="ffmpeg sox espeak-ng" RYX_WEB=1 bash tools/ensure_env.sh >/dev/null
bash tools/peer_env.sh >/dev/null
bash tools/room_env.sh >/dev/null
cmake -S . -B build/bench -G Ninja -DRYX_BUILD_BENCH=ON -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/bench -j 2 >/dev/null

echo "== encode"; build/bench/bench/encode_bench | tee "$tmp/encode.md"
echo "== fft"; build/bench/bench/fft_bench | tee "$tmp/fft.md"
echo "== decode"; build/bench/bench/decode_bench | tee "$tmp/decode.md"
echo "== memory"; build/bench/bench/memory_bench | tee "$tmp/memory.md"
echo "== receivers"; build/bench/bench/robust_speed | tee "$tmp/receivers.md"
export RYX_DECODE_STREAM=build/bench/bench/decode_stream
echo "== channels"
$PY bench/channel.py --messages "$messages" --receiver both --out "$tmp/channel.md"
echo "== white noise limit"; $PY bench/white_noise_limit.py --out "$tmp/limit.md"
echo "== weak signals"; $PY bench/weak_signal.py --out "$tmp/weak.md"
echo "== wrong texts"; $PY bench/wrong_texts.py --count "$wrong_count" --out "$tmp/wrong.md"
echo "== false acceptance"; $PY bench/false_acceptance.py --out "$tmp/false_acceptance.md"
echo "== telephone"
$PY bench/channel.py --telephone --receiver both --messages "$messages" --out "$tmp/telephone.md"
echo "== payloads"
$PY bench/channel.py --payloads --messages "$messages" --out "$tmp/payloads.md"
echo "== rooms"; $PY bench/room_range.py --texts "$room_texts" --out "$tmp/rooms.md"
echo "== false alarms"; $PY bench/false_alarms.py --hours "$hours" --out "$tmp/false_alarms.md"
$PY bench/false_alarms.py --hours "$hours" --receiver both --out "$tmp/false_receivers.md"
$PY bench/false_alarms.py --hours "$hours" --receiver payload --out "$tmp/false_payloads.md"
$PY bench/false_alarms.py --mixed --out "$tmp/mixed.md"
echo "== python binding"; $PY bench/python_binding.py | tee "$tmp/python_binding.md"
echo "== web"; make -s web >/dev/null; $PY bench/web_speed.py | tee "$tmp/web.md"
echo "== mcu"; make -s mcu-test >/dev/null; bash tools/mcu.sh table | tee "$tmp/mcu.md"

mkdir -p "$(dirname "$report")"
{
    echo "# RyxSound benchmarks"
    echo
    echo "Written by \`make bench\` on $(date -u +%Y-%m-%d) ($(nproc) cores, $(uname -m)). Times are"
    echo "CPU time of one thread; the real-time factor is audio seconds handled per CPU second."
    echo
    echo "## Encoding one nine-character transmission"
    echo
    cat "$tmp/encode.md"
    echo
    echo "## Real FFT and spectrum analyser against FFTW (single precision, real to complex)"
    echo
    cat "$tmp/fft.md"
    echo
    echo "## Decoding"
    echo
    echo "Listening to silence and to white noise, and receiving messages; per-frame cost is"
    echo "divided by one FFTW transform of the same length measured in the same run."
    echo
    cat "$tmp/decode.md"
    echo
    echo "## The receivers' speed beside ggwave"
    echo
    echo "The standard and the robust receiver beside ggwave's own C++ decoder, built from its source"
    echo "distribution for the benchmarks only (bench/robust_speed.cpp): audio seconds decoded per"
    echo "second of computing, one thread, every decoder fed in 1024-sample buffers."
    echo
    cat "$tmp/receivers.md"
    echo
    echo "20 dB under white noise is, for a text: $($PY bench/noise_units.py -20 44100) at 44.1 kHz;"
    echo "$($PY bench/noise_units.py -20 48000) at 48 kHz."
    echo
    sed 's/^## /### /' "$tmp/memory.md" | sed '1s/^### /## /'
    echo
    echo "## Channels"
    echo
    echo "Random valid texts per mode, through each channel alone, decoded in 1024-sample chunks"
    echo "with random audio before and after (bench/channel.py); each cell gives the standard"
    echo "receiver / the robust receiver."
    echo
    cat "$tmp/channel.md"
    echo
    echo "### What any receiver can reach in white noise"
    echo
    echo "A genie receiver, told each transmission's exact start, clock and tone amplitudes,"
    echo "decides every data symbol by maximum likelihood (bench/white_noise_limit.py). \"Sent"
    echo "word reaches -17.5\": the share it hears when, like the robust receiver in noise, it takes"
    echo "no word whose sum of natural log posteriors falls below -17.5 (where a search takes a"
    echo "wrong word with a chance of at most 1.1e-6)."
    echo
    cat "$tmp/limit.md"
    echo
    echo "### How weak a transmission the robust receiver hears"
    echo
    echo "Every plan through white noise from -20 to -26 dB full band, 40 texts per cell"
    echo "(bench/weak_signal.py)."
    echo
    cat "$tmp/weak.md"
    echo
    echo "### Wrong texts at the edge of hearing"
    echo
    echo "Many weak transmissions through both receivers: every plan at 44.1 and 48 kHz, white"
    echo "noise and four-talker babble from -20 to -27 dB full band (bench/wrong_texts.py)."
    echo
    cat "$tmp/wrong.md"
    echo
    echo "### Words accepted where no transmission is"
    echo
    echo "The robust receiver's full word search on candidates of noise alone: white noise,"
    echo "babble and chords (bench/false_acceptance.py)."
    echo
    cat "$tmp/false_acceptance.md"
    echo
    echo "## Telephone channels"
    echo
    echo "The same, through the telephone band-pass and 8 kHz voice codecs (ffmpeg), alone and with"
    echo "babble at -5 dB added before the telephone path; the audible plan for comparison and the"
    echo "phone preset (a custom plan from 600 Hz)."
    echo
    cat "$tmp/telephone.md"
    echo
    echo "## Payloads"
    echo
    echo "Random 140-byte payloads through the channels above (bench/channel.py --payloads,"
    echo "bench/payload_bench.py): RyxSound's fast and robust profiles beside ggwave's audible"
    echo "protocols, every transmission through the same channel code, each slot decoded by a fresh"
    echo "decoder in 1024-sample chunks."
    echo
    cat "$tmp/payloads.md"
    echo
    echo "## Range in rooms"
    echo
    echo "Texts from a loudspeaker to a microphone in three simulated rooms with babble, HVAC and"
    echo "microphone noise (bench/room_range.py, rooms by pyroomacoustics): per room, plan and"
    echo "receiver the farthest distance with at least 95% of the texts received, beside ggwave's"
    echo "at the same RMS at the speaker, and RyxSound's distance over ggwave's."
    echo
    cat "$tmp/rooms.md"
    echo
    echo "## False alarms"
    echo
    echo "Audio with no message in it, generated and streamed through every mode's decoder"
    echo "(bench/false_alarms.py). \"checksum matched\" counts messages reported intact (status 9)."
    echo
    cat "$tmp/false_alarms.md"
    echo
    echo "### Standard and robust receiver side by side"
    echo
    cat "$tmp/false_receivers.md"
    echo
    echo "### The payload decoder"
    echo
    echo "The same audio through the payload decoder of every mode: payloads reported intact and"
    echo "reported failed."
    echo
    cat "$tmp/false_payloads.md"
    echo
    echo "### Texts and payloads in one recording"
    echo
    echo "What each receiver recovers of its own kind and reports from the other kind's audio"
    echo "(bench/false_alarms.py --mixed): texts taken for payloads and payload frames taken for"
    echo "texts must both be 0 intact."
    echo
    cat "$tmp/mixed.md"
    echo
    echo "## The Python layer"
    echo
    echo "decode_files with 2 threads against 1, and ryxsound's decoding against the core's"
    echo "decoder fed in one call (bench/python_binding.py); wall-clock times, best of 3 rounds."
    echo
    cat "$tmp/python_binding.md"
    echo
    echo "## In the browser"
    echo
    echo "What a browser downloads: the module, and everything the page loads, as built and as a"
    echo "server that compresses sends it (gzip -9, file by file); ggwave's encoder and decoder"
    echo "built from its source distribution with the same Emscripten and flags as the module"
    echo "(its C interface exported, its log lines compiled out). Then the WebAssembly build in a"
    echo "headless Chromium: a minute of quiet noise with a transmission every six seconds, fed to"
    echo "a Decoder of ryxsound.js in 2048-sample blocks as the page does (bench/web_speed.py; best"
    echo "of three, wall time)."
    echo
    cat "$tmp/web.md"
    echo
    echo "## On a Cortex-M4F"
    echo
    echo "The firmware of \`make mcu\` under QEMU (mps2-an386, \`-icount shift=0\`: one instruction"
    echo "per emulated nanosecond, counted by SysTick on the board's 25 MHz clock): each preset's"
    echo "robust receiver decodes three recordings made on the desktop (16-bit, fed 256 samples at a"
    echo "time), its encoder sends hello0123 and its payload encoder 100 bytes block by block, and"
    echo "the desktop payload receiver decodes the payload samples the emulator wrote (tools/mcu.sh"
    echo "table)."
    echo
    cat "$tmp/mcu.md"
} > "$report"
echo "report written to $report"
