"""What a new user meets first: outputs that cannot be written, files that are not what they
seem, hints when nothing is found, and the array shapes and types the library takes."""

from __future__ import annotations

import subprocess
import sys

import numpy as np
import pytest

import ryxsound

sf = pytest.importorskip("soundfile")
TEXT = "hello0123"
RATE = 44100


def run(*args: str, cwd=None) -> subprocess.CompletedProcess:
    return subprocess.run([sys.executable, "-m", "ryxsound", *args], capture_output=True,
                          text=True, timeout=300, cwd=cwd)


def _one_line_error(proc: subprocess.CompletedProcess, code: int, *fragments: str) -> None:
    assert proc.returncode == code, proc.stderr
    lines = proc.stderr.strip().splitlines()
    assert len(lines) == 1, proc.stderr
    for fragment in fragments:
        assert fragment in lines[0], lines[0]


@pytest.fixture(scope="module")
def hello_wav(tmp_path_factory) -> str:
    path = tmp_path_factory.mktemp("first_use") / "hello.wav"
    assert run("encode", TEXT, "-o", str(path)).returncode == 0
    return str(path)


@pytest.mark.parametrize("command", [
    ["encode", TEXT, "-o", "/nonexistent/x.wav"],
    ["spectrogram", "{wav}", "-o", "/nonexistent/t.png"],
    ["spectrogram", "{wav}", "-o", "{dir}/t.png"],
])
def test_unwritable_outputs_are_one_line_and_exit_2(tmp_path, hello_wav, command):
    if command[0] == "spectrogram":
        pytest.importorskip("matplotlib")
    (tmp_path / "t.png").mkdir()  # a folder where the picture should go
    proc = run(*[a.replace("{wav}", hello_wav).replace("{dir}", str(tmp_path))
                 for a in command])
    _one_line_error(proc, 2, "error:")
    assert "unexpected" not in proc.stderr


@pytest.mark.parametrize("args,fragments", [
    (["encode", "héllo0123", "-o", "x.wav"], ["'é' at position 2"]),
    (["encode", "héllo012", "-o", "x.wav"], ["got 8"]),
])
def test_texts_are_counted_and_named_in_characters(tmp_path, args, fragments):
    _one_line_error(run(*args, cwd=tmp_path), 2, *fragments)


@pytest.mark.parametrize("mode", ["2", "audible", "5", "6"])
def test_the_tool_takes_mode_numbers_as_the_library_does(tmp_path, mode):
    proc = run("encode", TEXT, "-o", str(tmp_path / "x.wav"), "--mode", mode)
    assert proc.returncode == 0, proc.stderr


@pytest.mark.parametrize("text", [None, 123456789, b"hello0123"])
def test_encode_takes_only_text(text):
    with pytest.raises(TypeError, match="text must be a str"):
        ryxsound.encode(text)


def test_a_cut_wav_says_it_is_shorter_than_its_header(tmp_path, hello_wav):
    cut = tmp_path / "cut.wav"
    cut.write_bytes(open(hello_wav, "rb").read()[:3000])
    proc = run("decode", str(cut))
    assert proc.returncode == 1
    assert "shorter than its header claims (0.03 s of 2.59 s)" in proc.stderr


@pytest.mark.parametrize("written,decode_args,hint", [
    (["--preset", "phone", "--rate", "8000"], [], "try --preset phone: it holds hello0123"),
    (["--preset", "phone"], [], "try --preset phone: it holds hello0123"),
    (["--mode", "custom"], [], "try --mode custom: it holds hello0123"),
    (["--mode", "audible"], ["--mode", "custom"], "try --mode all: it holds hello0123"),
])
def test_when_nothing_is_found_the_tool_names_the_plan_that_fits(tmp_path, written,
                                                                 decode_args, hint):
    path = str(tmp_path / "x.wav")
    assert run("encode", TEXT, "-o", path, *written).returncode == 0
    proc = run("decode", path, *decode_args)
    assert proc.returncode in (1, 2)
    assert hint in proc.stderr, proc.stderr


def test_a_failed_word_does_not_claim_clean_symbols(tmp_path):
    audio = ryxsound.encode(TEXT, sample_rate=RATE)
    cut = np.concatenate([np.zeros(RATE // 4, np.float32), audio[:len(audio) * 11 // 20]])
    path = tmp_path / "cut.wav"
    sf.write(path, cut, RATE)
    proc = run("decode", str(path), "--receiver", "standard")
    assert proc.returncode == 1, proc.stdout + proc.stderr
    line = next(ln for ln in proc.stdout.splitlines() if "BAD" in ln)
    assert line.endswith("clean    -  corrected -"), line


# ---- arrays the library takes ----

@pytest.fixture(scope="module")
def transmission() -> np.ndarray:
    pad = np.zeros(RATE // 4, dtype=np.float32)
    return np.concatenate([pad, 0.5 * ryxsound.encode(TEXT, sample_rate=RATE), pad])


@pytest.mark.parametrize("left", ["silent", "noisy"])
def test_stereo_is_mixed_down(transmission, left):
    stereo = _right_only(transmission, left)
    for receiver in ryxsound.RECEIVERS:
        assert [m.text for m in ryxsound.decode(stereo, RATE, receiver=receiver)
                if m.ok] == [TEXT]


def _right_only(transmission: np.ndarray, left: str) -> np.ndarray:
    rng = np.random.default_rng(5)
    other = (np.zeros_like(transmission) if left == "silent"
             else (0.1 * rng.standard_normal(len(transmission))).astype(np.float32))
    return np.stack([other, transmission], axis=1)  # the message on the right only


@pytest.mark.parametrize("left", ["silent", "noisy"])
@pytest.mark.parametrize("reader,ext", [("tool", "wav"), ("tool", "flac"), ("stdin", "wav"),
                                        ("decode_files", "wav"), ("decode_files", "flac")])
def test_stereo_files_are_mixed_down(tmp_path, transmission, left, reader, ext):
    """Files are mixed down as arrays are: by the tool (a stream is read block by block, through
    PyAV where it is installed) and by decode_files."""
    path = tmp_path / f"right_only.{ext}"
    sf.write(str(path), _right_only(transmission, left), RATE, subtype="PCM_16")
    if reader == "decode_files":
        (messages,) = ryxsound.decode_files([str(path)], workers=1, progress=False)
        assert [m.text for m in messages if m.ok] == [TEXT]
        return
    if reader == "tool":
        proc = run("decode", str(path))
    else:
        with open(path, "rb") as stdin:
            proc = subprocess.run([sys.executable, "-m", "ryxsound", "decode", "-"], stdin=stdin,
                                  capture_output=True, text=True, timeout=300)
    assert proc.returncode == 0 and TEXT in proc.stdout, proc.stdout + proc.stderr


@pytest.mark.parametrize("block", [1000, 4096, 100_000])
def test_channels_first_holds_while_streaming(transmission, block):
    planar = np.stack([transmission, transmission])  # (channels, frames)
    found = []
    with ryxsound.Decoder(sample_rate=RATE, channels_first=True) as decoder:
        for i in range(0, planar.shape[1], block):
            found += decoder.feed(planar[:, i:i + block])
        found += decoder.flush()
    assert [(m.text, m.ok) for m in found] == [(TEXT, True)]
    with pytest.raises(ValueError, match="channels_first"):
        ryxsound.Decoder(sample_rate=RATE).feed(planar)


def test_resample_false_runs_the_receiver_at_the_given_rate():
    audio = ryxsound.encode(TEXT, sample_rate=96000)
    assert [m.text for m in ryxsound.decode(audio, 96000) if m.ok] == [TEXT]
    # Not converted, the 48000 Hz plan's tones are where a 96000 Hz receiver does not look.
    assert not [m for m in ryxsound.decode(audio, 96000, resample=False) if m.ok]
    assert ryxsound.Decoder(sample_rate=96000, resample=False).decode_rate == 96000
    assert ryxsound.Decoder(sample_rate=96000).decode_rate == 48000


def _as_type(samples: np.ndarray, dtype: str) -> np.ndarray:
    """Float samples in another type at its full scale (unsigned types around their middle)."""
    kind = np.dtype(dtype)
    if kind.kind == "f":
        return samples.astype(kind)
    info = np.iinfo(kind)
    half = (int(info.max) + 1) // (1 if kind.kind == "i" else 2)
    offset = 0 if kind.kind == "i" else half
    return np.round(samples.astype(np.float64) * half + offset).astype(kind)


@pytest.mark.parametrize("native", ["i2", "i4", "u2", "f4", "f8"])
def test_byte_swapped_arrays_report_what_native_ones_do(transmission, native):
    kind = np.dtype(native)
    arr = _as_type(transmission, native)
    want = ryxsound.decode(arr, RATE)[0]
    got = ryxsound.decode(arr.astype(kind.newbyteorder(">" if kind.byteorder != ">" else "<")),
                          RATE)[0]
    assert (got.text, got.ok, got.start) == (want.text, want.ok, want.start)
    assert (got.level_dbfs, got.tone_to_band_db) == (want.level_dbfs, want.tone_to_band_db)


@pytest.mark.parametrize("dtype", ["i2", "i4", "u1", "u2", "f8"])
def test_integer_arrays_report_the_level_of_float_input(transmission, dtype):
    reference = ryxsound.decode(transmission, RATE)[0]
    got = ryxsound.decode(_as_type(transmission, dtype), RATE)[0]
    assert got.text == reference.text and got.ok
    # Quantisation adds noise to the band (uint8 most), never to the level of the tones.
    assert got.level_dbfs == pytest.approx(reference.level_dbfs, abs=0.05)
