"""Details of the command-line tool a new user meets: spectrogram pictures, device listing,
help texts and the messages about missing system pieces."""

from __future__ import annotations

import argparse
import subprocess
import sys

import numpy as np
import pytest

import ryxsound
from ryxsound import cli
from ryxsound._codec import Message
from ryxsound._plot import colour_limits, spectrogram

sf = pytest.importorskip("soundfile")
TEXT = "hello0123"


def run(*args: str) -> subprocess.CompletedProcess:
    return subprocess.run([sys.executable, "-m", "ryxsound", *args], capture_output=True,
                          text=True, timeout=300)


@pytest.fixture(scope="module")
def two_messages(tmp_path_factory) -> str:
    path = tmp_path_factory.mktemp("spectrogram") / "two.wav"
    assert run("encode", TEXT, "-o", str(path), "--repeat", "2", "--gap", "1").returncode == 0
    return str(path)


@pytest.mark.parametrize("ext,magic", [
    ("png", b"\x89PNG"), ("svg", b"<?xml"), ("pdf", b"%PDF"), ("jpg", b"\xff\xd8\xff"),
])
def test_spectrogram_format_follows_the_extension(tmp_path, two_messages, ext, magic):
    pytest.importorskip("matplotlib")
    out = tmp_path / f"out.{ext}"
    proc = run("spectrogram", two_messages, "-o", str(out))
    assert proc.returncode == 0, proc.stderr
    assert out.read_bytes().startswith(magic)


@pytest.mark.parametrize("args,expect,code", [
    (["--start", "0", "--end", "2.5"], "0.00..2.50 s of 5.68 s, 1 message and 0 payloads marked",
     0),
    (["--start", "3"], "3.00..5.68 s of 5.68 s, 1 message and 0 payloads marked", 0),
    ([], "0.00..5.68 s of 5.68 s, 2 messages and 0 payloads marked", 0),
    (["--start", "2", "--end", "1"], "must come after --start", 2),
])
def test_spectrogram_time_range(tmp_path, two_messages, args, expect, code):
    pytest.importorskip("matplotlib")
    proc = run("spectrogram", two_messages, "-o", str(tmp_path / "out.png"), *args)
    assert proc.returncode == code and expect in proc.stdout + proc.stderr


def test_spectrogram_refuses_an_unknown_picture_format(tmp_path, two_messages):
    proc = run("spectrogram", two_messages, "-o", str(tmp_path / "out.bmp"))
    assert proc.returncode == 2 and ".png, .svg, .pdf, .jpg" in proc.stderr


def test_spectrogram_title_names_each_messages_plan():
    heard = [Message(TEXT, True, "audible", 0, 1, 1.0, 20.0, -6.0, 1.0),
             Message("abcdefghi", False, "compression", 2, 3, 0.0, 5.0, -6.0, 0.5, (4, 7)),
             Message("later0000", True, "audible", 441000, 500000, 1.0, 20.0, -6.0, 1.0)]
    title = cli._spectrogram_title("/x/rec.wav", 44100, heard, (0.0, 5.0))
    assert title == ("rec.wav  (44100 Hz): hello0123 (audible), abcdefghi (compression, "
                     "checksum failed)")
    assert cli._spectrogram_title("rec.wav", 48000, [], (0.0, 1.0)).endswith("no message found")


@pytest.mark.parametrize("signal,least_range", [
    (np.zeros(44100), 60.0),                                     # digital silence
    (1e-6 * np.random.default_rng(0).normal(size=44100), 60.0),  # rounding noise
    (ryxsound.encode(TEXT), 100.0),
])
def test_colour_scale_is_never_a_few_db_wide(signal, least_range):
    low, high = colour_limits(spectrogram(signal, 44100)[0])
    assert high - low >= least_range


def test_missing_portaudio_names_the_system_package(tmp_path, monkeypatch, capsys):
    fake = tmp_path / "sounddevice.py"
    fake.write_text("raise OSError('PortAudio library not found')\n")
    monkeypatch.syspath_prepend(str(tmp_path))
    monkeypatch.delitem(sys.modules, "sounddevice", raising=False)
    assert cli.main(["devices"]) == 2
    err = capsys.readouterr().err.strip().splitlines()
    assert len(err) == 1 and "libportaudio2" in err[0] and "apt-get install" in err[0]


def test_devices_lists_what_portaudio_sees(monkeypatch, capsys):
    class FakeSd:
        default = type("D", (), {"device": (1, 0)})()

        @staticmethod
        def query_devices():
            return [{"index": 0, "name": "speaker", "hostapi": 0, "max_input_channels": 0,
                     "max_output_channels": 2, "default_samplerate": 48000.0},
                    {"index": 1, "name": "microphone", "hostapi": 0, "max_input_channels": 1,
                     "max_output_channels": 0, "default_samplerate": 44100.0}]

        @staticmethod
        def query_hostapis():
            return [{"name": "ALSA"}]

    monkeypatch.setitem(sys.modules, "sounddevice", FakeSd)
    assert cli.main(["devices"]) == 0
    lines = capsys.readouterr().out.splitlines()
    assert "speaker" in lines[0] and lines[0].endswith("48000 Hz >")
    assert "microphone" in lines[1] and lines[1].endswith("44100 Hz <")


def test_every_positional_argument_has_help():
    parser = cli._parser()
    commands = next(a for a in parser._actions if isinstance(a, argparse._SubParsersAction))
    for name, sub in commands.choices.items():
        for action in sub._actions:
            if not action.option_strings:
                assert action.help, f"{name} {action.dest}"
    encode = commands.choices["encode"]
    signature = next(a for a in encode._actions if "--signature" in a.option_strings)
    assert "module" not in signature.help and "hear who is sending" in signature.help
