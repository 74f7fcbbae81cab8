"""The ryxsound command-line tool, run as a user runs it: python -m ryxsound in a subprocess."""

from __future__ import annotations

import json
import os
import pty
import subprocess
import sys

import numpy as np
import pytest

sf = pytest.importorskip("soundfile")
import ryxsound  # noqa: E402

TEXT = "hello0123"


def run(*args: str, stderr=subprocess.PIPE, timeout: float = 300) -> subprocess.CompletedProcess:
    return subprocess.run([sys.executable, "-m", "ryxsound", *args], stdout=subprocess.PIPE,
                          stderr=stderr, text=True, timeout=timeout)


def one_error_line(proc: subprocess.CompletedProcess) -> str:
    lines = proc.stderr.strip().splitlines()
    assert len(lines) == 1, proc.stderr
    assert lines[0].startswith("ryxsound: error: ") and "Traceback" not in proc.stderr
    return lines[0]


def json_lines(stdout: str) -> list[dict]:
    """What --json prints: one object per line."""
    return [json.loads(line) for line in stdout.splitlines()]


def padded(audio: np.ndarray, rate: int, seconds: float = 0.3) -> np.ndarray:
    pad = np.zeros(int(rate * seconds), dtype=np.float32)
    return np.concatenate([pad, audio, pad])


@pytest.mark.parametrize("mode,rate,listen", [
    ("audible", 44100, []),
    ("nonaudible", 44100, []),
    ("compression", 44100, []),
    ("all", 44100, []),
    ("custom", 44100, ["--mode", "custom", "--custom-base", "9000", "--custom-step", "2"]),
    ("audible", 48000, []),
    ("nonaudible", 48000, []),
    ("audible", 22050, []),
])
def test_encode_then_decode_every_mode(tmp_path, mode, rate, listen):
    out = tmp_path / f"{mode}.wav"
    custom = listen[2:] if mode == "custom" else []
    enc = run("encode", "HELLO0123", "-o", str(out), "--mode", mode, "--rate", str(rate), *custom)
    assert enc.returncode == 0, enc.stderr
    assert "wrote" in enc.stdout and "RYX_" not in enc.stdout
    info = sf.info(str(out))
    assert (info.samplerate, info.subtype, info.channels) == (rate, "PCM_16", 1)
    expected = 2 * int(0.25 * rate) + ryxsound.transmission_length(rate)
    assert abs(info.frames - expected) <= 1
    dec = run("decode", str(out), *listen)
    assert dec.returncode == 0, dec.stderr
    lines = dec.stdout.strip().splitlines()
    assert len(lines) == 1 and TEXT in lines[0] and " ok " in lines[0]
    sent_as = {"all": "nonaudible"}.get(mode, mode)
    assert sent_as in lines[0]


@pytest.mark.parametrize("subtype,ext,channels", [
    ("PCM_16", "wav", 1), ("PCM_24", "wav", 1), ("PCM_32", "wav", 1), ("FLOAT", "wav", 1),
    ("PCM_16", "flac", 1), ("PCM_24", "flac", 2), ("PCM_16", "wav", 2), ("VORBIS", "ogg", 1),
])
def test_decode_reads_formats_written_by_soundfile(tmp_path, subtype, ext, channels):
    audio = padded(ryxsound.encode(TEXT, "audible", 44100), 44100) * 0.8
    if channels == 2:  # the message on the left channel only, a quieter copy on the right
        audio = np.stack([audio, 0.2 * audio], axis=1)
    path = tmp_path / f"in.{ext}"
    sf.write(str(path), audio, 44100, subtype=subtype)
    dec = run("decode", str(path), "--json")
    assert dec.returncode == 0, dec.stderr
    (entry,) = json_lines(dec.stdout)
    assert entry["text"] == TEXT and entry["ok"] is True and entry["file"] == str(path)


def test_five_messages_with_gaps_and_noise_found_in_order(tmp_path):
    rate = 44100
    rng = np.random.default_rng(7)
    texts = ["aaaaaaaaa", "0123456789"[:9], "vvvvvvvvv", "sound0123", "hello0123"]
    pieces, starts, at = [], [], 0
    for i, text in enumerate(texts):
        gap = np.zeros(int(rate * rng.uniform(0.2, 1.5)), dtype=np.float32)
        pieces.append(gap)
        at += len(gap)
        starts.append(at)
        tone = ryxsound.encode(text, "audible" if i % 2 else "compression", rate)
        pieces.append(tone * rng.uniform(0.3, 0.9))
        at += len(tone)
    audio = np.concatenate(pieces + [np.zeros(rate // 3, dtype=np.float32)])
    audio += rng.normal(0.0, 0.03, len(audio)).astype(np.float32)
    path = tmp_path / "five.wav"
    sf.write(str(path), audio, rate, subtype="PCM_16")

    dec = run("decode", str(path), "--json")
    assert dec.returncode == 0, dec.stderr
    messages = json_lines(dec.stdout)
    assert [m["text"] for m in messages] == texts
    assert all(m["ok"] for m in messages)
    assert [m["mode"] for m in messages] == ["compression", "audible"] * 2 + ["compression"]
    symbol = ryxsound.symbol_duration(rate)
    for m, start in zip(messages, starts):
        assert abs(m["start"] - start) <= symbol, (m, start)
        assert abs(m["end"] - (start + 20 * symbol)) <= symbol, (m, start)
        assert 0 < m["confidence"] <= 1 and m["tone_to_band_db"] > 0

    plain = run("decode", str(path))
    assert [line.split()[3] for line in plain.stdout.splitlines()] == texts


def test_file_without_message_exits_1(tmp_path):
    path = tmp_path / "noise.wav"
    sf.write(str(path), np.random.default_rng(1).normal(0, 0.1, 3 * 44100), 44100)
    dec = run("decode", str(path))
    assert dec.returncode == 1 and dec.stdout == ""
    assert "no message" in dec.stderr


@pytest.mark.parametrize("make,expect", [
    (lambda p: None, "no such file"),
    (lambda p: os.mkdir(p), "is a directory"),
    (lambda p: open(p, "wb").close(), "empty file"),
    (lambda p: open(p, "w").write("this is not audio at all\n" * 20), "not a readable audio file"),
    (lambda p: sf.write(p, np.zeros(16000), 16000), "audio at 16000 Hz holds up to 7200 Hz"),
    (lambda p: sf.write(p, np.zeros(22050), 22050), None),
])
def test_bad_input_is_one_clear_line(tmp_path, make, expect):
    path = str(tmp_path / "bad.wav")
    make(path)
    dec = run("decode", path)
    if expect is None:
        assert dec.returncode == 1
        return
    assert dec.returncode == 2
    line = one_error_line(dec)
    assert path in line and expect in line


def test_bad_input_among_good_files_still_decodes_the_others(tmp_path):
    good = tmp_path / "good.wav"
    assert run("encode", TEXT, "-o", str(good)).returncode == 0
    dec = run("decode", str(tmp_path / "missing.wav"), str(good))
    assert dec.returncode == 2
    assert f"{good}:" in dec.stdout and TEXT in dec.stdout
    assert "missing.wav: no such file" in one_error_line(dec)


@pytest.mark.parametrize("args,count", [
    (["--repeat", "3", "--gap", "0.4"], 3),
    (["--melody", "0c7c0c7c"], 1),
    (["--random-tones", "--volume-db", "-12"], 1),
    (["--format", "float"], 1),
    (["--format", "pcm24", "--mode", "compression"], 1),
])
def test_encode_options_still_decode(tmp_path, args, count):
    out = tmp_path / "opt.wav"
    enc = run("encode", TEXT, "-o", str(out), *args)
    assert enc.returncode == 0, enc.stderr
    dec = run("decode", str(out), "--json")
    messages = json_lines(dec.stdout)
    assert [m["text"] for m in messages] == [TEXT] * count and all(m["ok"] for m in messages)


def test_encode_signature_is_mixed_into_the_start(tmp_path):
    sig = tmp_path / "sig.wav"
    sf.write(str(sig), np.full(1000, 0.25), 44100, subtype="FLOAT")
    plain, signed = tmp_path / "plain.wav", tmp_path / "signed.wav"
    assert run("encode", TEXT, "-o", str(plain), "--format", "float").returncode == 0
    assert run("encode", TEXT, "-o", str(signed), "--format", "float", "--signature",
               str(sig)).returncode == 0
    a, _ = sf.read(str(plain), dtype="float32")
    b, _ = sf.read(str(signed), dtype="float32")
    lead = int(0.25 * 44100)
    assert np.allclose(b[lead:lead + 1000], np.clip(a[lead:lead + 1000] + 0.25, -1, 1))
    assert np.array_equal(a[lead + 1000:], b[lead + 1000:])
    wrong = tmp_path / "sig48.wav"
    sf.write(str(wrong), np.zeros(100), 48000)
    bad = run("encode", TEXT, "-o", str(plain), "--signature", str(wrong))
    assert bad.returncode == 2 and "48000 Hz" in one_error_line(bad)


@pytest.mark.parametrize("args,expect", [
    (["encode", "hello012", "-o", "x.wav"], "exactly 9 characters"),
    (["encode", "hellow123", "-o", "x.wav"], "'w' at position 6"),
    (["encode", TEXT, "-o", "x.wav", "--rate", "16000"], "audio at 16000 Hz holds up to 7200 Hz"),
    (["encode", TEXT, "-o", "x.wav", "--rate", "22050", "--mode", "nonaudible"], "22050"),
    (["encode", TEXT, "-o", "x.wav", "--mode", "loud"], "unknown mode"),
    (["encode", TEXT, "-o", "x.mp4"], "unknown extension"),
    (["encode", TEXT, "-o", "x.wav", "--melody", "1", "--random-tones"], "not allowed"),
    (["decode"], "required"),
])
def test_usage_errors_are_one_line(tmp_path, args, expect):
    proc = subprocess.run([sys.executable, "-m", "ryxsound", *args], cwd=tmp_path, text=True,
                          stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=60)
    assert proc.returncode == 2
    lines = proc.stderr.strip().splitlines()
    assert len(lines) == 1 and expect in lines[0] and "Traceback" not in proc.stderr
    assert not (tmp_path / "x.wav").exists()


def test_spectrogram_png(tmp_path):
    pytest.importorskip("matplotlib")
    wav, png = tmp_path / "in.wav", tmp_path / "out.png"
    assert run("encode", TEXT, "-o", str(wav), "--repeat", "2").returncode == 0
    proc = run("spectrogram", str(wav), "-o", str(png))
    assert proc.returncode == 0, proc.stderr
    assert "2 messages and 0 payloads marked" in proc.stdout
    data = png.read_bytes()
    assert data[:8] == b"\x89PNG\r\n\x1a\n" and len(data) > 20000


def test_progress_bar_only_on_a_terminal(tmp_path):
    rate = 22050
    audio = np.concatenate([np.zeros(12 * rate, dtype=np.float32),
                            padded(ryxsound.encode(TEXT, "audible", rate), rate)])
    path = tmp_path / "long.wav"
    sf.write(str(path), audio, rate)
    piped = run("decode", str(path))
    assert piped.returncode == 0 and piped.stderr == ""
    master, slave = pty.openpty()
    try:
        proc = run("decode", str(path), stderr=slave)
        os.close(slave)
        shown = b""
        while True:
            try:
                chunk = os.read(master, 65536)
            except OSError:
                break
            if not chunk:
                break
            shown += chunk
    finally:
        os.close(master)
    assert proc.returncode == 0 and TEXT in proc.stdout
    assert b"100%" in shown and b"long.wav [" in shown


def test_demo_writes_and_decodes_every_mode(tmp_path):
    proc = run("demo", "--out", str(tmp_path / "demo"))
    assert proc.returncode == 0, proc.stdout + proc.stderr
    names = sorted(os.listdir(tmp_path / "demo"))
    assert {"audible.wav", "nonaudible.wav", "compression.wav", "custom.wav",
            "payload.wav"} <= set(names)
    assert "FAILED" not in proc.stdout and str(tmp_path / "demo") in proc.stdout
