"""ryxsound over its own binding: the array types the decoders take, the plan figures and presets
the core reports, the message figures, threads, and many files at once."""

from __future__ import annotations

import pickle
import subprocess
import sys
import textwrap
import threading
from concurrent.futures import ThreadPoolExecutor

import numpy as np
import pytest

import ryxsound
from ryxsound import _core, _modes, cli

sf = pytest.importorskip("soundfile")

TEXT = "hello0123"
RATE = 44100


@pytest.fixture(scope="module")
def padded() -> np.ndarray:
    audio = ryxsound.encode(TEXT, "audible", RATE) * np.float32(0.8)
    pad = np.zeros(int(0.3 * RATE), np.float32)
    return np.concatenate([pad, audio, pad])


def _int(x: np.ndarray, dtype: type) -> np.ndarray:
    info = np.iinfo(dtype)
    half = (int(info.max) + 1) // 2 if info.min == 0 else 0
    scale = half if info.min == 0 else -int(info.min)
    return np.clip(np.round(x.astype(np.float64) * scale + half), info.min, info.max).astype(dtype)


@pytest.mark.parametrize("convert", [
    pytest.param(lambda x: x.astype(np.float64), id="float64"),
    pytest.param(lambda x: _int(x, np.int16), id="int16"),
    pytest.param(lambda x: _int(x, np.int32), id="int32"),
    pytest.param(lambda x: _int(x, np.uint8), id="uint8-offset-binary"),
    pytest.param(lambda x: _int(x, np.int8), id="int8"),
    pytest.param(lambda x: np.stack([x, 0.5 * x], axis=1), id="frames-x-channels"),
    pytest.param(lambda x: np.asfortranarray(np.stack([x, x], axis=1)), id="fortran-order"),
    pytest.param(lambda x: np.repeat(x, 2)[::2], id="strided-view"),
    pytest.param(lambda x: x.tolist(), id="list"),
    pytest.param(lambda x: _int(x, np.int16).astype(">i2"), id="big-endian-int16"),
    pytest.param(lambda x: np.frombuffer(b"\0" + x.tobytes(), np.float32, offset=1),
                 id="read-only-unaligned"),
])
def test_decoders_take_every_array_type(padded, convert):
    (reference,) = ryxsound.decode(padded, RATE, "audible")
    (m,) = ryxsound.decode(convert(padded), RATE, "audible")
    assert (m.text, m.ok) == (TEXT, True)
    assert abs(m.start - reference.start) <= 256


def test_integers_are_scaled_by_their_full_scale(padded):
    as_int = _int(padded, np.int16)
    scaled = as_int.astype(np.float32) / np.float32(32768)
    assert ryxsound.decode(as_int, RATE) == ryxsound.decode(scaled, RATE)
    silence = np.full(RATE, 128, np.uint8)  # offset binary: 128 is silence
    with ryxsound.Decoder("audible", RATE) as rx:
        assert rx.feed(silence) == [] and not rx.in_message


@pytest.mark.parametrize("samples,expect", [
    (np.zeros(8, np.complex64), "must be numbers"),
    (["a", "b"], "must be numbers"),
    (np.zeros(8, bool), "must be numbers"),
    (np.zeros((2, 2, 2), np.float32), "one-dimensional"),
    (np.zeros((4, 0), np.float32), "no channels"),
])
def test_bad_samples_are_clear_errors(samples, expect):
    error = TypeError if "numbers" in expect else ValueError
    with ryxsound.Decoder("audible", RATE) as rx, pytest.raises(error, match=expect):
        rx.feed(samples)


@pytest.mark.parametrize("mode,rate,window,symbol,first_bin,low_hz", [
    ("audible", 44100, 2048, 4608, 153, 3294.58),
    ("audible", 22050, 1024, 2304, 153, 3294.58),
    ("nonaudible", 48000, 2048, 5015, None, None),
])
def test_plan_figures_come_from_the_core(mode, rate, window, symbol, first_bin, low_hz):
    p = ryxsound.plan(mode, rate)
    assert (p.window_size, p.symbol_samples) == (window, symbol)
    assert ryxsound.symbol_duration(rate) == symbol
    assert ryxsound.transmission_length(rate) == 20 * symbol
    assert len(p.tones_hz) == len(p.tone_bins) == 9 and p.fits
    assert p.low_hz == p.tones_hz[0] and p.high_hz > p.tones_hz[-1]
    if first_bin is not None:
        assert p.tone_bins[0] == first_bin and p.low_hz == pytest.approx(low_hz, abs=0.01)
    assert rate in ryxsound.supported_rates(mode)
    assert ryxsound.supported_rates("all") == (44100, 48000)
    assert _modes.listened_plans("all") == ("audible", "nonaudible", "compression")


@pytest.mark.parametrize("receiver", ["robust", "standard"])
@pytest.mark.parametrize("rate", [44100, 48000])
def test_preset_round_trip(receiver, rate):
    (phone,) = [p for p in ryxsound.presets() if p.name == "phone"]
    assert phone.mode == "custom" and phone.custom_base_hz == 600.0
    audio = ryxsound.encode(TEXT, sample_rate=rate, preset="PHONE")
    with ryxsound.Decoder(sample_rate=rate, preset="phone", receiver=receiver) as rx:
        assert rx.receiver == receiver and rx.mode == "custom"
        found = rx.feed(audio) + rx.flush()
    assert [(m.text, m.ok, m.mode) for m in found] == [(TEXT, True, "custom")]
    with pytest.raises(ValueError, match="unknown receiver"):
        ryxsound.Decoder(receiver="fast")


def test_message_figures_and_deprecated_names(padded):
    (m,) = ryxsound.decode(padded, RATE)
    figures = [m.confidence, m.tone_to_band_db, m.level_dbfs, m.clean_share]
    assert all(np.isfinite(figures)) and m.tone_to_band_db > 3
    assert m.level_dbfs == pytest.approx(20 * np.log10(0.8 * 0.35), abs=3.0)
    for old, new in [("noise_db", "tone_to_band_db"), ("volume_db", "level_dbfs"),
                     ("error", "clean_share")]:
        with pytest.warns(DeprecationWarning, match=f"use Message.{new}"):
            assert getattr(m, old) == getattr(m, new)
    with pytest.raises(AttributeError):
        m.volume  # noqa: B018
    assert pickle.loads(pickle.dumps(m)) == m


def test_the_core_prints_nothing_and_ryxsound_never_imports_the_sdk(capfd):
    script = textwrap.dedent("""
        import sys, ryxsound
        audio = ryxsound.encode("hello0123", "custom")
        assert [m.text for m in ryxsound.decode(audio, 44100, "custom")] == ["hello0123"]
        assert "_RyxSDK" not in sys.modules
    """)
    proc = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True,
                          timeout=120)
    assert (proc.returncode, proc.stdout, proc.stderr) == (0, "", "")


# ---- threads and many files ----

_RECORDINGS = [  # text, mode, rate, stored sample type
    ("a1b2c3d4e", "audible", 44100, "PCM_16"),
    ("vvvv00001", "nonaudible", 48000, "FLOAT"),
    ("012345678", "compression", 44100, "PCM_24"),
    ("k2j3h4g5f", "audible", 22050, "PCM_16"),
    ("qqqqqqqqq", "audible", 48000, "PCM_16"),
]


@pytest.fixture(scope="module")
def recordings(tmp_path_factory) -> list[str]:
    folder = tmp_path_factory.mktemp("recordings")
    rng = np.random.default_rng(7)
    paths = []
    for k, (text, mode, rate, subtype) in enumerate(_RECORDINGS):
        audio = ryxsound.encode(text, mode, rate) * np.float32(0.5)
        pad = np.zeros(int(0.2 * rate * (k + 1)), np.float32)
        noisy = np.concatenate([pad, audio, pad]) + rng.normal(0, 0.01, 2 * len(pad) + len(audio))
        path = str(folder / f"{k}-{mode}.wav")
        sf.write(path, noisy.astype(np.float32), rate, subtype=subtype)
        paths.append(path)
    return paths


def _decode_one(path: str) -> list[ryxsound.Message]:
    samples, rate = sf.read(path, dtype="float32")
    return ryxsound.decode(samples, rate, "audible" if rate == 22050 else "all")


def test_threads_get_exactly_the_single_threaded_results(recordings):
    alone = [_decode_one(p) for p in recordings]
    assert [[m.text for m in found] for found in alone] == [[r[0]] for r in _RECORDINGS]
    start = threading.Barrier(len(recordings))

    def together(path: str) -> list[ryxsound.Message]:
        start.wait()
        return _decode_one(path)

    with ThreadPoolExecutor(len(recordings)) as pool:
        assert list(pool.map(together, recordings * 2)) == alone * 2


def test_decode_files_keeps_input_order_and_reports_failures(recordings, tmp_path):
    order = recordings[::-1] + recordings[:2]
    expect = [ryxsound.decode_files([p], mode="audible", workers=1)[0] for p in order]
    got = ryxsound.decode_files(order, mode="audible", workers=3, progress=False)
    assert got == expect
    assert [m.text for m in got[0]] == [_RECORDINGS[-1][0]]
    with pytest.raises(ValueError, match="workers"):
        ryxsound.decode_files(recordings, workers=0)
    missing = str(tmp_path / "missing.wav")
    with pytest.raises(Exception, match="missing.wav"):
        ryxsound.decode_files([recordings[0], missing], mode="audible", workers=2)


def test_cli_jobs_prints_in_file_order(recordings, capsys):
    files = recordings[::-1]
    assert cli.main(["decode", *files]) == 0
    one_by_one = capsys.readouterr().out
    assert cli.main(["decode", "--jobs", "3", *files]) == 0
    assert capsys.readouterr().out == one_by_one
    lines = one_by_one.splitlines()
    texts = [r[0] for r in _RECORDINGS[::-1]]
    assert [line.split(": ", 1)[0] for line in lines] == files
    # The text stands in the same column whatever the file's and the plan's name.
    columns = {line.index(text) for line, text in zip(lines, texts)}
    assert len(columns) == 1


def test_one_decoder_from_two_threads_is_an_error_not_a_crash():
    rx = _core.Decoder(2, 44100.0)
    noise = np.random.default_rng(1).normal(0, 0.1, 44100 * 20).astype(np.float32)
    errors: list[str] = []
    start = threading.Barrier(2)

    def feed() -> None:
        start.wait()
        try:
            rx.feed(noise)
        except RuntimeError as exc:
            errors.append(str(exc))

    threads = [threading.Thread(target=feed) for _ in range(2)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    assert all("another thread" in e for e in errors)
    assert rx.position in (len(noise), 2 * len(noise))
