#!/usr/bin/env bash
# The Cortex-M4 build and its test under QEMU.
#   bash tools/mcu.sh build   the recordings and the desktop's references (mcu_fixtures, a host
#                             program of the desktop build), then the firmware build/mcu/ryx_firmware.elf
#   bash tools/mcu.sh test    runs the firmware on QEMU's mps2-an386 (Cortex-M4) with one
#                             instruction per emulated nanosecond (-icount shift=0), then has the
#                             desktop payload receiver decode the payloads the emulator wrote
#                             (mcu_fixtures --heard), writes the lines to build/mcu/results.txt and
#                             fails unless both passed
#   bash tools/mcu.sh table   those results as Markdown tables (make bench's report)
# The tools come from Debian: gcc-arm-none-eabi, libnewlib-arm-none-eabi, qemu-system-arm, and
# espeak-ng for the babble (make mcu installs them through tools/ensure_env.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=${JOBS:-2}
root=$PWD

case "${1:-}" in
build)
    cmake -S . -B build/mcu-host -G Ninja -DCMAKE_BUILD_TYPE=Release -DRYX_BUILD_MCU_FIXTURES=ON \
        -DRYX_BUILD_CLI=OFF -DRYX_INSTALL=OFF >/dev/null
    cmake --build build/mcu-host -j "$jobs" --target mcu_fixtures
    mkdir -p build/mcu-fixtures
    build/mcu-host/mcu_fixtures build/mcu-fixtures
    cmake -S mcu -B build/mcu -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/arm-cortex-m4.cmake" \
        -DRYX_FIXTURES="$root/build/mcu-fixtures" >/dev/null
    cmake --build build/mcu -j "$jobs"
    # Flash of the library as linked: code and read-only data of the image, the recordings and
    # references (.fixtures) left out.
    arm-none-eabi-size -A build/mcu/ryx_firmware.elf |
        awk '$1 == ".text" || $1 == ".ARM.exidx" || $1 == ".data" { flash += $2 }
             END { print "ryx-mcu: flash " flash }' >build/mcu/flash.txt
    cat build/mcu/flash.txt
    ;;
test)
    timeout 900 qemu-system-arm -machine mps2-an386 -cpu cortex-m4 -nographic -monitor none \
        -serial none -semihosting-config enable=on,target=native -icount shift=0 \
        -kernel build/mcu/ryx_firmware.elf | tee build/mcu/run.txt
    heard=0
    build/mcu-host/mcu_fixtures --heard build/mcu | tee build/mcu/heard.txt || heard=$?
    cat build/mcu/flash.txt build/mcu/run.txt build/mcu/heard.txt >build/mcu/results.txt
    grep -qx 'ryx-mcu: pass' build/mcu/run.txt && [ "$heard" = 0 ]
    ;;
table)
    awk '
        function kib(b) { return sprintf("%.1f KiB", b / 1024) }
        function mega(n) { return sprintf("%.1f M", n / 1e6) }
        $2 == "flash" { flash = $3 }
        $2 == "receiver" { rx[$3] = $5 }
        $2 == "encoded" { tx[$3] = $14; largest[$3] = sprintf("%.1e", $12 / 1e9) }
        $2 == "payload" {
            ptx[$3] = $16; plargest[$3] = sprintf("%.1e", $14 / 1e9)
            psent[$3] = $6 " bytes " $4 ", " $8 " samples"
        }
        $2 == "payload_heard" { pheard[$3] = $NF }
        $2 == "memory" {
            fixed = $4; block["audible_22050"] = $6; block["phone_16000"] = $8; encoder = $10
            stack = $12; heap = $14; payload = $16
        }
        $2 == "allocations" { allocations = $3 }
        $2 == "decoded" {
            line = $3 " | " $4 " | " $6 " |"
            for (i = 8; $i != "emulator"; ++i) line = line " " $i
            line = line " |"
            for (++i; i < NF; ++i) line = line " " $i
            texts[++n] = "| " line " | " $NF " |"
        }
        END {
            a = "audible_22050"; p = "phone_16000"
            print "| measure | audible, 22050 Hz | phone preset, 16000 Hz | target |"
            print "|---|---|---|---|"
            print "| RAM of the robust receiver: static " kib(fixed) ", stack high-water " kib(stack) \
                  ", its block in the caller'"'"'s memory | " kib(fixed + stack + block[a]) " | " \
                  kib(fixed + stack + block[p]) " | at most 96 KiB (22050 Hz) |"
            print "| encoder'"'"'s block | " kib(encoder) " | " kib(encoder) " | |"
            print "| heap: bytes, allocations (everything in a static block) | " heap " B, " \
                  allocations " | | none |"
            print "| flash: both encoders, the payload encoder, the receivers, the C interface, start-up and test code | " \
                  kib(flash) " (one image) | | at most 128 KiB |"
            print "| robust receiver, instructions per second of audio | " mega(rx[a]) " | " \
                  mega(rx[p]) " | at most 40 M (80 MHz, margin of two) |"
            print "| encoder, instructions per second of audio | " mega(tx[a]) " | " mega(tx[p]) \
                  " | at most 40 M |"
            print "| encoder samples: largest difference from the desktop encoder'"'"'s | " \
                  largest[a] " | " largest[p] " | at most 1e-6 (a 16-bit step: 3.1e-5) |"
            print "| payload encoder'"'"'s block (payloads up to 4096 bytes) | " kib(payload) " | " \
                  kib(payload) " | |"
            print "| payload sent by the emulator | " psent[a] " | " psent[p] " | |"
            print "| payload encoder, instructions per second of audio | " mega(ptx[a]) " | " \
                  mega(ptx[p]) " | at most 40 M |"
            print "| payload samples: largest difference from the desktop payload encoder'"'"'s | " \
                  plargest[a] " | " plargest[p] " | at most 1e-6 |"
            print "| the emulator'"'"'s payload samples, desktop payload receiver | " \
                  pheard["audible"] " | " pheard["phone"] " | same (decoded) |"
            print ""
            print "| preset | recording | sent | desktop robust receiver | emulator | |"
            print "|---|---|---|---|---|---|"
            for (i = 1; i <= n; ++i) print texts[i]
        }' build/mcu/results.txt
    ;;
*)
    echo "usage: tools/mcu.sh build|test|table" >&2
    exit 2
    ;;
esac
