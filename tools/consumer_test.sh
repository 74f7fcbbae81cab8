#!/usr/bin/env bash
# The C and C++ package as a user meets it: configures, builds and installs the project into a
# temporary prefix (chosen only at install time), lists the install tree, checks what the shared
# library exports, then builds the programs of tests/consumer from a copy outside the tree
# through find_package, through pkg-config and through add_subdirectory, runs them against the
# installed shared library, and checks ryxsound-cli's output and exit codes (texts with encode and
# decode, payloads with send and receive).
#   JOBS=n   parallel build jobs (default 2)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
jobs=${JOBS:-2}
work=$(mktemp -d "${TMPDIR:-/tmp}/ryxsound-consumer.XXXXXX")
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix
passed=0
failed=0

check() {  # check NAME COMMAND...: runs the command, counts and reports the result
    local name=$1
    shift
    if "$@" >"$work/check.log" 2>&1; then
        passed=$((passed + 1))
        echo "  ok      $name"
    else
        failed=$((failed + 1))
        echo "  FAILED  $name"
        sed 's/^/          /' "$work/check.log"
    fi
}

echo "== building and installing into a temporary prefix"
cmake -S . -B "$work/build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_INSTALL_PREFIX=/nonexistent >/dev/null
cmake --build "$work/build" -j "$jobs" >/dev/null
cmake --install "$work/build" --prefix "$prefix" >/dev/null
echo "== install tree"
(cd "$prefix" && find . -mindepth 1 | sort | sed 's/^\.\//  /')
pc_file=$(find "$prefix" -name ryxsound.pc)
libdir=$(dirname "$(dirname "$pc_file")")

only_public_exports() {
    local others
    others=$(nm -D --defined-only "$libdir/libryxsound.so" | awk '{print $3}' | c++filt |
             grep -Ev '^(RYX_|ryxsound::)' || true)
    [ -z "$others" ] || { echo "exported beyond the public API:"; echo "$others"; return 1; }
}
# Each check reads the whole output first: a reader that stops at its first match (grep -q) would
# kill the writer with SIGPIPE, and pipefail would report that as a failure.
soname_has_major() { grep -q 'SONAME.*\[libryxsound\.so\.1\]' <<<"$(readelf -d "$libdir/libryxsound.so")"; }
no_private_headers() { [ "$(ls "$prefix/include")" = ryxsound ] && [ ! -e "$prefix/include/api" ]; }
uses_installed_library() { grep -q "=> $libdir/libryxsound\.so\.1 " <<<"$(ldd "$1")"; }

echo "== the installed package"
check "the shared library exports only RYX_* and ryxsound::" only_public_exports
check "SONAME libryxsound.so.1" soname_has_major
check "only include/ryxsound is installed" no_private_headers

cp -r tests/consumer "$work/consumer"
echo "== find_package(RyxSound 1.0 CONFIG REQUIRED)"
check "configure and build" bash -c "cmake -S '$work/consumer' -B '$work/fp' -G Ninja \
    -DCMAKE_PREFIX_PATH='$prefix' && cmake --build '$work/fp'"
for program in round_trip_c round_trip_cpp; do
    check "$program links the installed libryxsound.so.1" uses_installed_library "$work/fp/$program"
    check "$program round-trips every plan" "$work/fp/$program"
done

echo "== pkg-config --cflags --libs ryxsound"
export PKG_CONFIG_PATH=$libdir/pkgconfig
flags=$(pkg-config --cflags --libs ryxsound)
mkdir -p "$work/pc"
check "build the C program" cc -std=c99 -Wall -Wextra -Werror -pedantic \
    "$work/consumer/round_trip.c" $flags -Wl,-rpath,"$libdir" -o "$work/pc/round_trip_c"
check "build the C++ program" c++ -std=c++17 -Wall -Wextra -Werror -pedantic \
    "$work/consumer/round_trip.cpp" $flags -Wl,-rpath,"$libdir" -o "$work/pc/round_trip_cpp"
for program in round_trip_c round_trip_cpp; do
    check "$program links the installed libryxsound.so.1" uses_installed_library "$work/pc/$program"
    check "$program round-trips every plan" "$work/pc/$program"
done

echo "== add_subdirectory of the source tree"
check "configure and build" bash -c "cmake -S '$work/consumer' -B '$work/sub' -G Ninja \
    -DRYXSOUND_SOURCE_DIR='$root' && cmake --build '$work/sub' -j '$jobs'"
check "round_trip_cpp round-trips every plan" "$work/sub/round_trip_cpp"

echo "== ryxsound-cli"
cli=$prefix/bin/ryxsound-cli
cd "$work"
printf 'not audio\n' >notes.txt
exits() {  # exits CODE PATTERN ARGS...: the tool exits with CODE and its output matches PATTERN;
           # a refusal (exit 2) is one line on stderr
    local want=$1 pattern=$2 got=0
    shift 2
    "$cli" "$@" >cli.out 2>cli.err || got=$?
    cat cli.out cli.err
    [ "$got" = "$want" ] || { echo "exit $got, expected $want"; return 1; }
    grep -Eq -- "$pattern" cli.out cli.err || { echo "output does not match: $pattern"; return 1; }
    [ "$want" != 2 ] || [ "$(wc -l <cli.err)" = 1 ] || { echo "not one line on stderr"; return 1; }
}
# A recording cut off 1.5 s in: the transmission (from 0.25 s) lacks its last eight symbols, all
# parity, so the standard receiver reports it with a failed checksum, while the robust one fills
# them in from the twelve it heard clearly.
"$cli" encode hello0123 -o whole.wav >/dev/null
head -c $((44 + 2 * 44100 * 3 / 2)) whole.wav >cut.wav
mkdir folder.wav
# exit  pattern                                arguments
while IFS='|' read -r want pattern args; do
    [ -n "$want" ] || continue
    # shellcheck disable=SC2086
    check "ryxsound-cli $args -> $want" exits "$want" "$pattern" $args
done <<'CASES'
0|wrote audible.wav: 1 message, 2.59 s at 44100 Hz, mode audible, PCM_16|encode hello0123 -o audible.wav
0|at 48000 Hz, mode nonaudible|encode HELLO0123 -o high.wav --mode nonaudible --rate 48000
0|at 96000 Hz, mode nonaudible|encode HELLO0123 -o high96.wav --mode nonaudible --rate 96000
0|at 8000 Hz, preset phone|encode phone0042 -o phone.flac --preset phone --rate 8000
0|^   0\.2[45][0-9] s  audible      hello0123  ok   confidence [01]\.[0-9]{2}  tone/band +[0-9.]+ dB  level +-[0-9.]+ dBFS  clean +[0-9]+%  corrected [-0-9,]+$|decode audible.wav
0|high.wav: .*nonaudible +hello0123  ok|decode audible.wav high.wav --receiver standard
0|^   0\.2[45][0-9] s  nonaudible +hello0123  ok|decode high96.wav
2|high96.wav: sample rate 96000 Hz is read at 48000 Hz .*leave out --no-resample|decode high96.wav --no-resample
0|custom +phone0042  ok|decode phone.flac --preset phone
2|phone.flac: audio at 8000 Hz holds up to 3600 Hz.* \(try --preset phone: it holds phone0042 there\)$|decode phone.flac
0|at 22050 Hz, mode audible|encode hello0123 -o low.wav --rate 22050
0|audible +hello0123  ok|decode low.wav
1|hello0123  BAD  confidence .*  clean    -  corrected -$|decode cut.wav --receiver standard
0|^   0\.2[45][0-9] s  audible      hello0123  ok   confidence 0\.[0-9]{2} .* clean 100%  corrected -$|decode cut.wav
1|^ryxsound-cli: audible.wav: no message found \(try --mode all: it holds hello0123 there\)$|decode audible.wav --mode compression
1|^ryxsound-cli: audible.wav: no message found \(try --mode all: it holds hello0123 there\)$|decode audible.wav --preset phone
0|at 44100 Hz, preset phone|encode phone0042 -o phone44.wav --preset phone
1|^ryxsound-cli: phone44.wav: no message found \(try --preset phone: it holds phone0042 there\)$|decode phone44.wav
2|phone.flac: .*leave out --no-resample$|decode phone.flac --preset phone --no-resample
2|audible.wav: .*hello0123  ok|decode audible.wav missing.wav
2|notes.txt: cannot read it as audio|decode notes.txt
2|exactly 9 characters|encode hello -o short.wav
2|'w'|encode hellow123 -o bad.wav
2|audio at 22050 Hz holds up to .* nonaudible plan|encode hello0123 -o high.wav --mode nonaudible --rate 22050
2|audio at 16000 Hz holds up to .* audible plan|encode hello0123 -o low.wav --rate 16000
2|sample rate 0 Hz is outside|encode hello0123 -o x.wav --rate 0
2|sample rate -44100 Hz is outside|encode hello0123 -o x.wav --rate -44100
2|sample rate 1000000000 Hz is outside 1000\.\.1000000 Hz \(see|encode hello0123 -o x.wav --rate 1000000000
2|whole number of Hz|encode hello0123 -o x.wav --rate 44100.5
2|^ryxsound-cli: error: /nonexistent/x.wav: folder /nonexistent does not exist$|encode hello0123 -o /nonexistent/x.wav
2|^ryxsound-cli: error: folder.wav: is a directory$|encode hello0123 -o folder.wav
2|unknown file type|encode hello0123 -o out.mp3
2|needs -o|encode hello0123
2|apply to --mode custom only|encode hello0123 -o x.wav --custom-base 900
2|unknown preset|decode audible.wav --preset radio
2|use robust or standard|decode audible.wav --receiver fast
2|unknown mode|decode audible.wav --mode loud
2|unknown mode 7|decode audible.wav --mode 7
0|audible +hello0123  ok|decode audible.wav --mode 2
0|^\{"file": "audible.wav", "text": "hello0123", "ok": true, "mode": "audible", "start": 110[0-9]{2}, .*"corrected": \[\]\}$|decode audible.wav --json
2|unknown command|transmit hello0123
2|no command|
0|ryxsound-cli 1.0.0|--version
CASES

# The line decode prints for a file, word for word as the Python tool prints it for the same file.
prints() {  # prints LINE ARGS...: stdout is that one line
    local want=$1
    shift
    "$cli" "$@" >cli.out 2>cli.err || true
    cat cli.out cli.err
    [ "$(cat cli.out)" = "$want" ] || { echo "expected: $want"; return 1; }
}
while IFS='|' read -r args line; do
    [ -n "$args" ] || continue
    # shellcheck disable=SC2086
    check "ryxsound-cli $args prints the Python tool's figures" prints "$line" $args
done <<'FIGURES'
decode audible.wav|   0.250 s  audible      hello0123  ok   confidence 1.00  tone/band  64.2 dB  level   -9.8 dBFS  clean 100%  corrected -
decode audible.wav --receiver standard|   0.244 s  audible      hello0123  ok   confidence 1.00  tone/band  20.8 dB  level  -11.7 dBFS  clean 100%  corrected -
decode low.wav --receiver standard|   0.250 s  audible      hello0123  ok   confidence 1.00  tone/band  22.0 dB  level  -11.7 dBFS  clean 100%  corrected -
decode high96.wav|   0.249 s  nonaudible   hello0123  ok   confidence 1.00  tone/band  46.5 dB  level  -10.7 dBFS  clean 100%  corrected -
decode phone.flac --preset phone|   0.250 s  custom       phone0042  ok   confidence 1.00  tone/band  42.3 dB  level  -11.1 dBFS  clean 100%  corrected -
decode cut.wav --receiver standard|   0.244 s  audible      hello0123  BAD  confidence 0.00  tone/band   0.0 dB  level  -14.3 dBFS  clean    -  corrected -
FIGURES

# A WAV file holding fewer frames than its header declares is decoded as far as it goes, with a
# warning; a header that leaves the length open (0 or 0xFFFFFFFF bytes of data) claims nothing.
data_size() {  # data_size FILE: the 'data' chunk size of a 44-byte WAV header from stdin
    dd of="$1" bs=1 seek=40 conv=notrunc status=none
}
head -c 3000 whole.wav >short.wav
cp cut.wav open.wav && printf '\377\377\377\377' | data_size open.wav
cp cut.wav zero.wav && printf '\0\0\0\0' | data_size zero.wav
warns() {  # warns FILE FIGURES: decode warns that FILE was cut off ("-": no warning)
    local got=0 want=-
    "$cli" decode "$1" >cli.out 2>cli.err || got=$?
    cat cli.out cli.err
    [ "$got" -le 1 ] || { echo "exit $got"; return 1; }
    [ "$2" = - ] ||
        want="ryxsound-cli: warning: $1: the file is shorter than its header claims ($2): it was cut off"
    [ "$(grep warning cli.err || echo -)" = "$want" ] || { echo "expected: $want"; return 1; }
}
# file       warning figures
while read -r file figures; do
    check "ryxsound-cli decode $file warns: $figures" warns "$file" "$figures"
done <<'CUT'
short.wav    0.03 s of 2.59 s
cut.wav      1.50 s of 2.59 s
whole.wav    -
open.wav     -
zero.wav     -
CUT

# Stereo is mixed down: the message on the right channel only, the left silent or noisy.
if command -v sox >/dev/null; then
    sox audible.wav right_silent.wav remix 0 1
    sox audible.wav noise.wav synth whitenoise vol 0.1
    sox -M noise.wav audible.wav right_noisy.wav
    for file in right_silent.wav right_noisy.wav; do
        check "ryxsound-cli decode $file (the message on the right only) -> 0" \
            exits 0 "hello0123 +ok" decode "$file"
    done
else
    echo "  skipped stereo files: no sox"
fi

# A folder the user may not write to. root writes anywhere: the tool then runs as nobody, which
# needs to pass through the work folder.
read_only() {
    mkdir -p locked && chmod 555 locked
    local as=()
    if [ "$(id -u)" = 0 ]; then
        chmod 711 "$work"
        as=(setpriv --reuid=65534 --regid=65534 --clear-groups)
    fi
    local got=0
    "${as[@]}" "$cli" encode hello0123 -o locked/x.wav >cli.out 2>cli.err || got=$?
    cat cli.out cli.err
    [ "$got" = 2 ] || { echo "exit $got, expected 2"; return 1; }
    [ "$(cat cli.err)" = "ryxsound-cli: error: locked/x.wav: permission denied" ]
}
check "ryxsound-cli encode -o into a read-only folder -> 2, permission denied" read_only

echo "== ryxsound-cli send and receive"
head -c 140 /dev/urandom >payload.bin
head -c 4096 /dev/urandom >largest.bin
head -c 4097 /dev/zero >too_long.bin
: >empty.bin
printf 'the same bytes' >piped.bin
# exit  pattern                                arguments
while IFS='|' read -r want pattern args; do
    [ -n "$want" ] || continue
    # shellcheck disable=SC2086
    check "ryxsound-cli $args -> $want" exits "$want" "$pattern" $args
done <<'CASES'
0|^wrote payload.wav: payload of 140 bytes \(robust, 4 frames\), 12\.[0-9]{2} s at 44100 Hz, mode audible, PCM_16$|send payload.bin -o payload.wav
0|^   0\.2[0-9]{2} s  audible      robust   140 bytes  ok   frames  [34] heard,  3 needed,  4 sent  confidence [01]\.[0-9]{2}  [-"]|receive payload.wav
1|^ryxsound-cli: payload.wav: no message found \(it holds a payload: try ryxsound-cli receive\)$|decode payload.wav
0|payload of 4096 bytes \(fast, 92 frames\)|send largest.bin -o largest.wav --profile fast
0|payload of 5 bytes \(fast, 2 frames, 2x\), .* at 96000 Hz, mode nonaudible|send --text hello -o high96p.wav --profile fast --mode nonaudible --rate 96000 --repeat 2
0|^   0\.2[0-9]{2} s  nonaudible   fast       5 bytes  ok   frames  [12] heard,  1 needed,  2 sent  confidence [01]\.[0-9]{2}  "hello"$|receive high96p.wav
0|^\{"file": "high96p.wav", "ok": true, "profile": "fast", "mode": "nonaudible", "size": 5, .*"data_base64": "aGVsbG8=", "text": "hello"\}$|receive high96p.wav --json
0|at 8000 Hz, preset phone|send --text phone -o phone8p.wav --profile fast --preset phone --rate 8000
0|custom +fast +5 bytes  ok .*"phone"$|receive phone8p.wav --preset phone
0|at 44100 Hz, preset phone|send --text phone -o phone44p.wav --profile fast --preset phone
1|^ryxsound-cli: phone44p.wav: no payload found \(try --preset phone: it holds a payload of 5 bytes there\)$|receive phone44p.wav
0|^high96p.wav: .*"hello"$|receive high96p.wav audible.wav
1|^ryxsound-cli: audible.wav: no payload found \(it holds a text: try ryxsound-cli decode\)$|receive audible.wav
2|high96p.wav: .*"hello"|receive high96p.wav missing.wav
2|notes.txt: cannot read it as audio|receive notes.txt
2|^ryxsound-cli: error: empty.bin: payload of 0 bytes: a payload holds 1 to 4096 bytes$|send empty.bin -o empty.wav
2|^ryxsound-cli: error: too_long.bin: more than 4096 bytes: a payload holds 1 to 4096 bytes$|send too_long.bin -o too_long.wav
2|^ryxsound-cli: error: missing.bin: cannot read \(No such file or directory\)$|send missing.bin -o missing.wav
2|^ryxsound-cli: error: --repeat: repeat 17 is outside 1\.\.16$|send payload.bin -o x.wav --repeat 17
2|--repeat: must be at least 1|send payload.bin -o x.wav --repeat 0
2|--profile: unknown profile|send payload.bin -o x.wav --profile slow
2|not both|send payload.bin --text hello -o x.wav
2|exactly one PATH|send -o x.wav
2|needs -o|send payload.bin
2|^ryxsound-cli: error: /nonexistent/x.wav: folder /nonexistent does not exist$|send payload.bin -o /nonexistent/x.wav
2|^ryxsound-cli: error: folder.wav: is a directory$|send payload.bin -o folder.wav
2|audio at 8000 Hz holds up to 3600 Hz, robust payloads in the audible plan reach|send payload.bin -o x.wav --rate 8000
2|^ryxsound-cli: error: payload.wav: cannot create the folder \(File exists\)$|receive payload.wav -o payload.wav
2|standard input \(-\) can be read only once|receive - -
2|needs at least one FILE|receive
CASES

# A refused send writes nothing.
nothing_written() { for f in empty.wav too_long.wav missing.wav x.wav; do [ ! -e "$f" ] || return 1; done; }
check "a refused send writes no file" nothing_written

# -o DIR: each intact payload of each input as DIR/<input name>-<n>.bin, equal to what was sent.
saved() {
    exits 0 "payload.wav: .*ok" receive payload.wav largest.wav -o saved/deeper || return 1
    grep -qx "ryxsound-cli: wrote saved/deeper/largest-1.bin: 4096 bytes" cli.err || return 1
    cmp payload.bin saved/deeper/payload-1.bin && cmp largest.bin saved/deeper/largest-1.bin
}
check "ryxsound-cli receive -o DIR writes the payloads as sent" saved

# Standard input both ways: the payload from a pipe, the recording from a pipe.
piped() {
    "$cli" send - -o piped.wav --profile fast <piped.bin || return 1
    "$cli" receive - -o from_stdin <piped.wav >cli.out || return 1
    cat cli.out
    grep -q '"the same bytes"' <<<"$(cat cli.out)" || { echo "no text shown"; return 1; }
    cmp piped.bin from_stdin/stdin-1.bin
}
check "ryxsound-cli send - and receive - (standard input)" piped

# A text with quotes, backslashes, tabs or line ends is shown as a JSON string; other bytes as "-".
shown() {
    "$cli" send --text "$1" -o shown.wav --profile fast >/dev/null || return 1
    "$cli" receive shown.wav >cli.out || return 1
    cat cli.out
    [ "$(sed 's/.*confidence [0-9.]*  //' cli.out)" = "$2" ]
}
check "a payload with quotes is shown as JSON" shown 'say "hi" \ bye' '"say \"hi\" \\ bye"'
check "a UTF-8 payload is shown as it is" shown 'grüße' '"grüße"'
check "a payload with a tab and a line end is shown escaped" shown $'a\tb\n' '"a\tb\n"'
check "a payload with another control character is not shown" shown $'a\001b' '-'

# The folder cannot be written: one error line, exit 2.
unwritable() {
    mkdir -p locked_out && chmod 555 locked_out
    local as=()
    if [ "$(id -u)" = 0 ]; then
        chmod 711 "$work"
        as=(setpriv --reuid=65534 --regid=65534 --clear-groups)
    fi
    local got=0
    "${as[@]}" "$cli" receive payload.wav -o locked_out >cli.out 2>cli.err || got=$?
    cat cli.out cli.err
    [ "$got" = 2 ] && [ "$(cat cli.err)" = "ryxsound-cli: error: locked_out: permission denied" ]
}
check "ryxsound-cli receive -o into a read-only folder -> 2, permission denied" unwritable

round_trip() {  # round_trip RATE PLAN: encodes at RATE, decodes with both receivers
    local rate=$1 plan=$2 heard=$2 send listen receiver
    case $plan in
        phone) send=(--preset phone) listen=(--preset phone) heard=custom ;;
        custom) send=(--mode custom) listen=(--mode custom) ;;
        *) send=(--mode "$plan") listen=() ;;
    esac
    exits 0 "at $rate Hz" encode hello0123 -o "rt.wav" --rate "$rate" "${send[@]}" || return 1
    for receiver in robust standard; do
        # Times are in the file's seconds: the transmission starts 0.25 s in.
        exits 0 "^   0\.2[45][0-9] s  $heard +hello0123  ok " \
            decode rt.wav "${listen[@]}" --receiver "$receiver" || return 1
    done
}
refused() {  # refused RATE PLAN: audio at RATE cannot hold the plan
    local send=(--mode "$2")
    [ "$2" != phone ] || send=(--preset phone)
    exits 2 "audio at $1 Hz holds up to" encode hello0123 -o rt.wav --rate "$1" "${send[@]}"
}
echo "== ryxsound-cli at every rate: encode --rate R, decode (robust and standard)"
# rate  plans whose band audio at that rate holds (the others are refused)
while read -r rate fitting; do
    for plan in audible nonaudible compression custom phone; do
        if [[ " $fitting " == *" $plan "* ]]; then
            check "$plan at $rate Hz round-trips" round_trip "$rate" "$plan"
        else
            check "$plan at $rate Hz is refused" refused "$rate" "$plan"
        fi
    done
done <<'RATES'
8000 phone
16000 phone
22050 audible phone
32000 audible custom phone
44100 audible nonaudible compression custom phone
48000 audible nonaudible compression custom phone
88200 audible nonaudible compression custom phone
96000 audible nonaudible compression custom phone
192000 audible nonaudible compression custom phone
RATES

echo "consumer: $passed passed, $failed failed"
[ "$failed" = 0 ]
