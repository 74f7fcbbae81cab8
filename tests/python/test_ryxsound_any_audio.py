"""Audio as users have it: any sample rate, any container, pipes, arrays of any numeric type, and
the telephone preset."""

from __future__ import annotations

import json
import os
import subprocess
import sys

import numpy as np
import pytest

import ryxsound
from ryxsound._io import AudioFileError, open_audio

sf = pytest.importorskip("soundfile")
soxr = pytest.importorskip("soxr")

TEXT = "hello0123"


def padded(audio: np.ndarray, rate: float, seconds: float = 0.5) -> np.ndarray:
    pad = np.zeros(int(rate * seconds), dtype=np.float32)
    return np.concatenate([pad, audio, pad])


def run(*args: str, stdin: bytes | None = None) -> subprocess.CompletedProcess:
    return subprocess.run([sys.executable, "-m", "ryxsound", *args], input=stdin,
                          stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=300)


# ---- any sample rate ----

@pytest.mark.parametrize("mode,sent_at,rate,kwargs", [
    ("audible", 44100, 32000, {}),                       # 'all' used to refuse 32 kHz
    ("audible", 44100, 96000, {}),                       # used to decode with confidence 0
    ("nonaudible", 48000, 96000, {}),
    ("compression", 44100, 88200, {"mode": "compression"}),
    ("audible", 48000, 11025 * 3, {"mode": "audible"}),
    ("custom", 44100, 8000, {"preset": "phone"}),
    ("custom", 44100, 16000, {"preset": "phone"}),
])
def test_other_rates_are_resampled_and_offsets_stay_in_the_callers_samples(mode, sent_at, rate,
                                                                           kwargs):
    send = {"preset": "phone"} if "preset" in kwargs else {"mode": mode}
    audio = padded(ryxsound.encode(TEXT, sample_rate=sent_at, **send), sent_at, 1.0)
    recorded = soxr.resample(audio, sent_at, rate)
    (m,) = ryxsound.decode(recorded, rate, **kwargs)
    assert (m.text, m.ok, m.mode) == (TEXT, True, mode)
    assert abs(m.start - rate) < 0.05 * rate  # the message starts one second in
    assert abs(m.end - (rate + ryxsound.transmission_length(rate))) < 0.1 * rate


def test_streaming_decoder_resamples_chunk_by_chunk():
    audio = soxr.resample(padded(ryxsound.encode(TEXT, "audible"), 44100, 1.0), 44100, 32000)
    with ryxsound.Decoder(sample_rate=32000) as rx:
        assert rx.decode_rate == 44100 and rx.sample_rate == 32000
        found = []
        for i in range(0, len(audio), 777):
            found += rx.feed(audio[i:i + 777])
        found += rx.flush()
        assert rx.position >= len(audio)  # counted in the caller's samples
    assert [(m.text, m.ok) for m in found] == [(TEXT, True)]
    assert abs(found[0].start - 32000) < 0.05 * 32000


@pytest.mark.parametrize("call,expect", [
    (lambda: ryxsound.Decoder("all", 16000), "audio at 16000 Hz holds up to 7200 Hz"),
    (lambda: ryxsound.Decoder("all", 22050, resample=False), "above half the sample rate"),
    (lambda: ryxsound.Decoder("nonaudible", 32000), "the nonaudible plan reaches"),
])
def test_rates_that_cannot_carry_the_plan_are_refused(call, expect):
    with pytest.raises(ValueError, match=expect):
        call()


def test_nothing_is_resampled_at_the_plans_own_rates():
    for rate in (44100, 48000):
        assert ryxsound.Decoder("all", rate).decode_rate == rate
    assert ryxsound.Decoder("audible", 22050).decode_rate == 22050
    assert ryxsound.Decoder("all", 22050).decode_rate == 44100  # not every plan fits 22050


# ---- arrays ----

@pytest.mark.parametrize("bad,error", [
    (None, TypeError), ("audio", TypeError), (b"\x00\x01", TypeError), ({"a": 1}, TypeError),
    ([object(), object()], TypeError), (np.zeros(100, dtype=bool), TypeError),
    (np.zeros((2, 44100)), ValueError), (np.zeros((2, 2, 2)), ValueError),
])
def test_wrong_arrays_are_refused_with_the_right_exception(bad, error):
    with pytest.raises(error):
        ryxsound.decode(bad, 44100)


def test_channels_first_arrays_are_refused_with_advice_or_taken():
    stereo = np.stack([padded(ryxsound.encode(TEXT), 44100)] * 2)  # (channels, frames)
    with pytest.raises(ValueError, match=r"samples\.T, or channels_first=True"):
        ryxsound.decode(stereo, 44100)
    assert [m.text for m in ryxsound.decode(stereo, 44100, channels_first=True)] == [TEXT]
    assert [m.text for m in ryxsound.decode(stereo.T, 44100)] == [TEXT]


@pytest.mark.parametrize("dtype,full_scale,offset", [
    (np.int16, 32768, 0), (np.int32, 2**31, 0), (np.int8, 128, 0), (np.uint8, 128, 128),
])
def test_integer_arrays_are_scaled_by_their_full_scale(dtype, full_scale, offset):
    audio = padded(ryxsound.encode(TEXT), 44100)
    as_int = (np.round(audio * (full_scale - 1)) + offset).astype(dtype)
    (want,) = ryxsound.decode(audio, 44100)
    (got,) = ryxsound.decode(as_int, 44100)
    assert got.text == TEXT and got.ok
    tolerance = 2.0 if dtype in (np.int8, np.uint8) else 0.1  # 8 bits: audible rounding noise
    assert abs(got.level_dbfs - want.level_dbfs) < tolerance


# ---- the telephone preset ----

def test_phone_preset_is_a_custom_plan_inside_the_telephone_band():
    tones = ryxsound.plan("custom", 44100, 600.0, 1)
    assert 300 < tones.low_hz and tones.high_hz < 3400
    same = ryxsound.encode(TEXT, "custom", 44100, custom_base_hz=600.0, custom_step=1)
    assert np.array_equal(ryxsound.encode(TEXT, preset="phone"), same)


@pytest.mark.parametrize("kwargs,expect", [
    ({"preset": "radio"}, "unknown preset"),
    ({"preset": "phone", "mode": "audible"}, "cannot be combined"),
    ({"preset": "phone", "custom_base_hz": 900}, "fixes the custom plan"),
])
def test_phone_preset_refuses_contradicting_settings(kwargs, expect):
    with pytest.raises(ValueError, match=expect):
        ryxsound.encode(TEXT, **kwargs)


# ---- containers and pipes ----

def _write_with_av(path: str, audio: np.ndarray, rate: int, codec: str) -> None:
    av = pytest.importorskip("av")
    with av.open(path, "w") as container:
        stream = container.add_stream(codec, rate=rate)
        stream.layout = "mono"
        stream.bit_rate = 96000
        frame = av.AudioFrame.from_ndarray(audio[None, :].astype(np.float32), format="flt",
                                           layout="mono")
        frame.rate = rate
        frames = [frame]
        if stream.codec_context.format.name != "flt":
            converter = av.AudioResampler(format=stream.codec_context.format.name,
                                          layout="mono", rate=rate)
            frames = converter.resample(frame)
        for f in frames:
            for packet in stream.encode(f):
                container.mux(packet)
        for packet in stream.encode(None):
            container.mux(packet)


@pytest.mark.parametrize("ext,codec,rate", [  # mp3: libsndfile 1.1 reads it, older ones not
    ("m4a", "aac", 44100), ("mp4", "aac", 48000), ("mkv", "aac", 32000),
    ("webm", "libopus", 48000), ("wma", "wmav2", 44100), ("mp3", "libmp3lame", 44100),
])
def test_containers_libsndfile_cannot_read_go_through_pyav(tmp_path, ext, codec, rate):
    path = str(tmp_path / f"in.{ext}")
    audio = 0.5 * padded(ryxsound.encode(TEXT), 44100)
    _write_with_av(path, soxr.resample(audio, 44100, rate), rate, codec)
    dec = run("decode", path, "--json", "-v")
    assert dec.returncode == 0, dec.stderr
    (entry,) = [json.loads(line) for line in dec.stdout.splitlines()]
    assert (entry["text"], entry["ok"]) == (TEXT, True)
    assert f"{rate} Hz, 1 channel" in dec.stderr.decode()  # --verbose says what was read


def test_missing_media_extra_is_named(tmp_path, monkeypatch):
    path = str(tmp_path / "in.m4a")
    _write_with_av(path, padded(ryxsound.encode(TEXT), 44100), 44100, "aac")
    monkeypatch.setitem(sys.modules, "av", None)  # import av fails as if not installed
    with pytest.raises(AudioFileError, match=r"pip install 'ryxsound\[media\]'"):
        open_audio(path)


@pytest.fixture
def wav_bytes(tmp_path) -> bytes:
    path = tmp_path / "msg.flac"
    assert run("encode", TEXT, "-o", str(path)).returncode == 0
    return path.read_bytes()


@pytest.mark.parametrize("argv", [["-"], ["/dev/stdin"]])
def test_decode_reads_standard_input_as_a_stream(wav_bytes, argv):
    dec = run("decode", *argv, "--json", stdin=wav_bytes)
    assert dec.returncode == 0, dec.stderr
    assert [json.loads(line)["text"] for line in dec.stdout.splitlines()] == [TEXT]


def test_process_substitution_is_a_stream_not_an_empty_file(tmp_path):
    flac = tmp_path / "msg.flac"
    assert run("encode", TEXT, "-o", str(flac)).returncode == 0
    script = f'"{sys.executable}" -m ryxsound decode <(cat "{flac}")'
    proc = subprocess.run(["bash", "-c", script], capture_output=True, text=True, timeout=120,
                          env=dict(os.environ))
    assert proc.returncode == 0, proc.stderr
    assert TEXT in proc.stdout


def test_encode_to_standard_output_pipes_into_decode(tmp_path):
    enc = run("encode", TEXT, "--preset", "phone", "--rate", "8000", "-o", "-")
    assert enc.returncode == 0, enc.stderr
    assert enc.stdout[:4] == b"RIFF" and b"wrote standard output" in enc.stderr
    samples, rate = sf.read(__import__("io").BytesIO(enc.stdout))
    assert rate == 8000 and len(samples) > 2 * 8000
    dec = run("decode", "-", "--preset", "phone", "-v", stdin=enc.stdout)
    assert dec.returncode == 0, dec.stderr
    assert TEXT in dec.stdout.decode() and b"resampling 8000 Hz to 44100 Hz" in dec.stderr


def test_long_input_is_read_in_blocks(tmp_path):
    path = str(tmp_path / "long.wav")
    sf.write(path, padded(ryxsound.encode(TEXT), 44100, 10.0), 44100)
    with open_audio(path) as source:
        sizes = [len(b) for b in source.blocks(65536)]
    assert max(sizes) == 65536 and len(sizes) > 10


@pytest.mark.parametrize("args,code,expect", [
    (["-v"], 0, "resampling 32000 Hz to 44100 Hz for mode all"),
    (["--no-resample"], 2, "32000 Hz is read at 44100 Hz for mode all: leave out --no-resample"),
])
def test_tool_resamples_unless_told_not_to(tmp_path, args, code, expect):
    path = str(tmp_path / "32k.wav")
    sf.write(path, soxr.resample(padded(ryxsound.encode(TEXT), 44100), 44100, 32000), 32000)
    dec = run("decode", path, *args)
    assert dec.returncode == code and expect in dec.stderr.decode()


@pytest.mark.parametrize("stdin,expect", [
    (b"", "-: empty stream, no audio"),
    (b"not audio at all\n" * 10, "-: not a readable audio stream (Invalid data"),
])
def test_bad_standard_input_is_one_clear_line(stdin, expect):
    dec = run("decode", "-", stdin=stdin)
    lines = dec.stderr.decode().strip().splitlines()
    assert dec.returncode == 2 and len(lines) == 1 and expect in lines[0]
