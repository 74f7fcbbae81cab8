"""One rule for sample rates: what encode writes at a rate decodes at that rate, in every plan,
with both receivers, in the library and through the tool; rates a plan cannot use are refused
with the reason, up front."""

from __future__ import annotations

import subprocess
import sys

import numpy as np
import pytest

import ryxsound

sf = pytest.importorskip("soundfile")
TEXT = "hello0123"
RATES = (8000, 16000, 22050, 32000, 44100, 48000, 88200, 96000, 192000)
#: Plan -> encode/decode arguments, and the lowest of RATES that can carry it: its own plan rate,
#: or a rate whose audio holds its band below 0.45 of the rate (audible to 9.9 kHz, custom from 12
#: to 13.9 kHz, phone to 2.8 kHz; compression and non-audible only at 44100 Hz and up).
PLANS = {
    "audible": ({"mode": "audible"}, 22050),
    "nonaudible": ({"mode": "nonaudible"}, 44100),
    "compression": ({"mode": "compression"}, 44100),
    "custom": ({"mode": "custom"}, 32000),
    "phone": ({"preset": "phone"}, 8000),
}


def _padded(audio: np.ndarray, rate: int) -> np.ndarray:
    pad = np.zeros(rate // 4, dtype=np.float32)
    return np.concatenate([pad, audio, pad])


@pytest.mark.parametrize("rate", RATES)
@pytest.mark.parametrize("plan", PLANS)
def test_what_encode_writes_at_a_rate_decodes_at_that_rate(plan, rate):
    kwargs, lowest = PLANS[plan]
    if rate < lowest:
        with pytest.raises(ValueError, match=f"audio at {rate} Hz holds up to"):
            ryxsound.encode(TEXT, sample_rate=rate, **kwargs)
        return
    audio = _padded(ryxsound.encode(TEXT, sample_rate=rate, **kwargs), rate)
    # The sound lasts as long at every rate: twenty symbols of 0.1045 s.
    assert len(audio) / rate == pytest.approx(0.5 + 20 * 0.1045, abs=0.01)
    for receiver in ryxsound.RECEIVERS:
        found = ryxsound.decode(audio, rate, receiver=receiver, **kwargs)
        assert [(m.text, m.ok) for m in found] == [(TEXT, True)], (receiver, found)
        start = found[0].start / rate
        assert start == pytest.approx(0.25, abs=0.02), receiver


@pytest.mark.parametrize("rate", (22050, 32000, 96000))
def test_receivers_without_a_mode_hear_what_encode_writes_by_default(rate):
    audio = _padded(ryxsound.encode(TEXT, sample_rate=rate), rate)
    assert [m.text for m in ryxsound.decode(audio, rate) if m.ok] == [TEXT]


@pytest.mark.parametrize("rate,plan_rate", [
    (44100, 44100), (48000, 48000), (22050, 22050), (46000, 44100), (46100, 48000),
    (88200, 48000), (96000, 48000), (192000, 48000), (32000, 44100),
])
def test_plan_rate_is_the_nearer_by_ratio(rate, plan_rate):
    assert ryxsound.plan_rate("audible", rate) == plan_rate


@pytest.mark.parametrize("rate", [0, -44100, float("nan"), 999, 1_000_001, 1e9])
def test_rates_outside_the_range_are_refused_everywhere(rate):
    for call in (lambda: ryxsound.encode(TEXT, sample_rate=rate),
                 lambda: ryxsound.Decoder(sample_rate=rate),
                 lambda: ryxsound.plan_rate("audible", rate)):
        with pytest.raises(ValueError, match="sample rate"):
            call()


def test_a_preset_at_22050_hz_keeps_its_band():
    # 22050 Hz is a plan rate of the audible plan only: the phone plan is made at 44100 Hz and
    # converted, so its tones stay below 3 kHz.
    audio = ryxsound.encode(TEXT, sample_rate=22050, preset="phone")
    spectrum = np.abs(np.fft.rfft(audio))
    freqs = np.fft.rfftfreq(len(audio), 1 / 22050)
    assert freqs[np.argmax(spectrum)] < 3000
    assert spectrum[freqs > 3500].max() < 0.01 * spectrum.max()


def run(*args: str) -> subprocess.CompletedProcess:
    return subprocess.run([sys.executable, "-m", "ryxsound", *args], capture_output=True,
                          text=True, timeout=300)


@pytest.mark.parametrize("rate,plan", [
    (96000, "audible"), (8000, "phone"), (32000, "custom"), (88200, "nonaudible"),
])
def test_the_tool_round_trips_at_the_rate_it_wrote(tmp_path, rate, plan):
    kwargs, _ = PLANS[plan]
    option = ["--preset", "phone"] if "preset" in kwargs else ["--mode", kwargs["mode"]]
    path = str(tmp_path / "x.wav")
    written = run("encode", TEXT, "-o", path, "--rate", str(rate), *option)
    assert written.returncode == 0, written.stderr
    assert sf.info(path).samplerate == rate
    for receiver in ryxsound.RECEIVERS:
        proc = run("decode", path, "--receiver", receiver, *option)
        assert proc.returncode == 0, proc.stderr
        assert f"{TEXT}  ok" in proc.stdout


@pytest.mark.parametrize("args", [
    ["encode", TEXT, "-o", "x.wav", "--rate", "1000000000"],
    ["encode", TEXT, "-o", "x.wav", "--rate", "0"],
    ["encode", TEXT, "-o", "x.wav", "--rate", "-44100"],
    ["listen", "--rate", "0"],
    ["play", TEXT, "--rate", "0"],
])
def test_the_tool_checks_every_rate_up_front(tmp_path, args):
    proc = subprocess.run([sys.executable, "-m", "ryxsound", *args], capture_output=True,
                          text=True, timeout=60, cwd=tmp_path)
    assert proc.returncode == 2, proc.stderr
    assert "sample rate" in proc.stderr and len(proc.stderr.strip().splitlines()) == 1
    assert not (tmp_path / "x.wav").exists()
