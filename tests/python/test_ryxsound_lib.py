"""The ryxsound library: encode errors, streaming decoder, resource handling, live audio
through fake streams, and no output from the core."""

from __future__ import annotations

import subprocess
import sys
import textwrap

import numpy as np
import pytest

import ryxsound
from ryxsound import _live, cli

TEXT = "hello0123"
RATE = 44100


@pytest.fixture(scope="module")
def message_audio() -> np.ndarray:
    """One audible transmission with 0.4 s of silence before it and 0.3 s after it."""
    audio = ryxsound.encode(TEXT, "audible", RATE)
    return np.concatenate([np.zeros(int(0.4 * RATE), np.float32), audio,
                           np.zeros(int(0.3 * RATE), np.float32)])


@pytest.mark.parametrize("kwargs,expect", [
    (dict(text="hello012"), "exactly 9 characters long, got 8"),
    (dict(text="hello01234"), "got 10"),
    (dict(text="hello 123"), "' ' at position 6"),
    (dict(text="hellow123"), "'w' at position 6"),
    (dict(mode="loud"), "unknown mode 'loud'"),
    (dict(mode=7), "unknown mode 7"),
    (dict(mode=True), "unknown mode"),
    (dict(sample_rate=999), "999 Hz is outside"),
    (dict(sample_rate=float("nan")), "outside"),
    (dict(mode="nonaudible", sample_rate=22050), "the nonaudible plan reaches 20047.4 Hz"),
    (dict(mode="custom", custom_base_hz=30000), "lower custom base"),
    (dict(custom_base_hz=9000), "mode 'custom' only"),
    (dict(mode="custom", custom_step=-1), "custom step -1 is outside 0..64"),
    (dict(mode="custom", custom_step=1.5), "custom_step must be an int"),
    (dict(preset="car"), "unknown preset 'car'"),
    (dict(preset="phone", mode="audible"), "cannot be combined"),
    (dict(melody="0c7", random_tones=True), "either a melody or random tones"),
    (dict(melody="0cz"), "'z' at position 3"),
    (dict(melody="0" * 96), "at most 95 notes"),
    (dict(synth_volume_db=-6), "needs random_tones"),
    (dict(signature=[[1, 2, 3]] * 2 + [[1, 2, 3]]), None),  # (frames, channels) is accepted
])
def test_encode_refuses_bad_arguments(kwargs, expect):
    args = dict(text=TEXT)
    args.update(kwargs)
    text = args.pop("text")
    if expect is None:
        assert len(ryxsound.encode(text, **args)) == ryxsound.transmission_length(RATE)
        return
    with pytest.raises(ValueError, match=expect.replace("(", r"\(").replace(".", r"\.")):
        ryxsound.encode(text, **args)


@pytest.mark.parametrize("mode,same_as", [(2, "audible"), ("NON-AUDIBLE", "nonaudible"),
                                          ("all", "nonaudible"), (6, "custom")])
def test_modes_by_name_or_number_and_case(mode, same_as):
    a = ryxsound.encode(TEXT.upper(), mode, RATE)
    b = ryxsound.encode(TEXT, same_as, RATE)
    assert a.dtype == np.float32 and np.array_equal(a, b)


def test_melody_lengthens_and_signature_is_clipped_only_where_mixed():
    long = ryxsound.encode(TEXT, melody="0" * 30)
    assert len(long) == 30 * ryxsound.symbol_duration(RATE)
    plain = ryxsound.encode(TEXT)
    sig = np.full(5000, 0.9, np.float32)
    signed = ryxsound.encode(TEXT, signature=sig)
    assert np.array_equal(signed[:5000], np.clip(plain[:5000] + 0.9, -1, 1))
    assert np.array_equal(signed[5000:], plain[5000:])
    loud = ryxsound.encode(TEXT, random_tones=True)
    assert np.abs(loud).max() > 0.75  # random tones add to the data, nothing limits them


def test_encode_keeps_the_module_diagnostics_off_stdout():
    script = textwrap.dedent("""
        import ryxsound
        print("before", flush=True)
        ryxsound.encode("hello0123")
        print("between")
        ryxsound.encode("hello0123", "custom")
        print("after")
    """)
    proc = subprocess.run([sys.executable, "-c", script], stdout=subprocess.PIPE, text=True,
                          timeout=120)
    assert proc.returncode == 0 and proc.stdout.split() == ["before", "between", "after"]


def test_encode_diagnostics_silenced_in_process(capfd):
    print("mine")
    ryxsound.encode(TEXT)
    print("still mine")
    out, _ = capfd.readouterr()
    assert out.split() == ["mine", "still", "mine"]


def test_decode_whole_recording_and_offsets(message_audio):
    (m,) = ryxsound.decode(message_audio, RATE, "audible")
    assert (m.text, m.ok, m.mode, m.clean_share, m.corrected) == (TEXT, True, "audible", 1.0, ())
    symbol = ryxsound.symbol_duration(RATE)
    assert abs(m.start - int(0.4 * RATE)) <= symbol // 2
    assert abs(m.end - (int(0.4 * RATE) + 20 * symbol)) <= symbol
    # A message at the very first and last sample is still found.
    bare = ryxsound.encode(TEXT, "audible", RATE)
    (m,) = ryxsound.decode(bare, RATE)
    assert m.text == TEXT and m.start <= 256 and m.end <= len(bare)


@pytest.mark.parametrize("sizes", [[1], [7, 1000, 3], [4097], [1023, 1025, 1], [50000]])
def test_decoder_streams_any_chunk_size(message_audio, sizes):
    rng = np.random.default_rng(sum(sizes))
    pieces, at, i = [], 0, 0
    while at < len(message_audio):
        n = sizes[i % len(sizes)] + int(rng.integers(0, 3))
        pieces.append(message_audio[at:at + n])
        at, i = at + n, i + 1
    found = []
    with ryxsound.Decoder("audible", RATE) as rx:
        for k, piece in enumerate(pieces):
            # Any array-like: every other piece as a list or as float64.
            found += rx.feed(piece.tolist() if k % 3 == 1 else piece.astype(np.float64))
        assert rx.position == len(message_audio)
        found += rx.flush()
    (whole,) = ryxsound.decode(message_audio, RATE, "audible")
    assert [m.text for m in found] == [TEXT]
    assert abs(found[0].start - whole.start) <= 300


def test_flush_completes_a_message_cut_short(message_audio):
    # The standard receiver waits for every symbol; flush supplies the missing ones.
    start = int(0.4 * RATE)
    symbol = ryxsound.symbol_duration(RATE)
    with ryxsound.Decoder("audible", RATE, receiver="standard") as rx:
        assert rx.feed(message_audio[:start + 20 * symbol - 300]) == []
        assert rx.in_message
        (m,) = rx.flush()
        assert m.text == TEXT and m.ok and not rx.in_message
        assert rx.flush() == []  # nothing in progress: a short settle only
    # Three parity symbols missing: error correction restores them from the silence's zeros.
    with ryxsound.Decoder("audible", RATE, receiver="standard") as rx:
        assert rx.feed(message_audio[:start + 17 * symbol]) == []
        (m,) = rx.flush()
        assert m.text == TEXT and m.ok


def test_decoder_releases_its_context():
    with ryxsound.Decoder() as rx:
        assert not rx.closed
    assert rx.closed
    with pytest.raises(ValueError, match="closed"):
        rx.feed(np.zeros(10))
    rx.close()  # twice is fine
    with pytest.raises(ValueError, match="above half the sample rate"):
        ryxsound.Decoder("all", 22050, resample=False)
    with pytest.raises(ValueError, match="one-dimensional"):
        ryxsound.Decoder("audible").feed(np.zeros((2, 2, 2)))


@pytest.mark.parametrize("rate,base,other_step", [(44100, 9000, 5), (22050, 4000, 0)])
def test_custom_decoder_keeps_its_plan_when_another_plan_is_used(rate, base, other_step):
    sent = ryxsound.encode(TEXT, "custom", rate, custom_base_hz=base, custom_step=2)
    with ryxsound.Decoder("custom", rate, custom_base_hz=base, custom_step=2) as rx:
        half = len(sent) // 2
        found = rx.feed(sent[:half])
        # Another custom plan, and a construction at another window length, in between.
        ryxsound.encode(TEXT, "custom", 48000, custom_base_hz=6000, custom_step=other_step)
        found += rx.feed(sent[half:]) + rx.flush()
    assert [(m.text, m.ok, m.mode) for m in found] == [(TEXT, True, "custom")]


# ---- live audio through fake streams ----

class FakeInput:
    def __init__(self, audio, **opened):
        self.audio, self.at, self.opened = np.asarray(audio, np.float32), 0, opened
        self.active = False

    def __enter__(self):
        self.active = True
        return self

    def __exit__(self, *exc):
        self.active = False

    def read(self, n):
        assert self.active
        block = self.audio[self.at:self.at + n]
        self.at += n
        if len(block) < n:  # the microphone keeps delivering silence
            block = np.concatenate([block, np.zeros(n - len(block), np.float32)])
        return block.reshape(-1, 1), False


class FakeOutput:
    def __init__(self, **opened):
        self.opened, self.written = opened, []

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        pass

    def write(self, block):
        assert block.ndim == 2 and block.shape[1] == 1 and block.dtype == np.float32
        self.written.append(block[:, 0].copy())


def test_listen_and_play_with_fake_streams(message_audio, capsys):
    streams = []

    def factory(**kw):
        streams.append(FakeInput(np.concatenate([message_audio] * 2), **kw))
        return streams[-1]

    heard = _live.listen("audible", RATE, device=3, duration=6.0, stream_factory=factory)
    assert [m.text for m in heard] == [TEXT, TEXT]
    assert streams[0].opened["samplerate"] == RATE and streams[0].opened["device"] == 3
    assert _live.listen("audible", RATE, max_messages=1, stream_factory=factory)[0].text == TEXT

    assert cli.main(["listen", "--mode", "audible", "--duration", "4"],
                    stream_factory=factory) == 0
    assert TEXT in capsys.readouterr().out

    outputs = []
    assert cli.main(["play", TEXT, "--device", "speaker"],
                    stream_factory=lambda **kw: outputs.append(FakeOutput(**kw)) or outputs[-1]) == 0
    played = np.concatenate(outputs[0].written)
    assert outputs[0].opened["device"] == "speaker"
    assert [m.text for m in ryxsound.decode(played, RATE)] == [TEXT]


def test_live_audio_missing_is_one_clear_line(monkeypatch, capsys):
    monkeypatch.setitem(sys.modules, "sounddevice", None)  # import fails
    assert cli.main(["listen"]) == 2
    err = capsys.readouterr().err.strip().splitlines()
    assert len(err) == 1 and "ryxsound[audio]" in err[0]

    def no_device(**kw):
        raise ValueError("No input device matching 'usb'")

    assert cli.main(["listen", "--device", "usb"], stream_factory=no_device) == 2
    err = capsys.readouterr().err.strip().splitlines()
    assert len(err) == 1 and "cannot open the audio input device 'usb'" in err[0]


def test_spectrogram_without_matplotlib_is_one_clear_line(tmp_path, monkeypatch, capsys):
    sf = pytest.importorskip("soundfile")
    wav = tmp_path / "in.wav"
    sf.write(str(wav), ryxsound.encode(TEXT), RATE)
    for name in ("matplotlib", "matplotlib.figure", "matplotlib.backends.backend_agg"):
        monkeypatch.setitem(sys.modules, name, None)
    assert cli.main(["spectrogram", str(wav), "-o", str(tmp_path / "out.png")]) == 2
    err = capsys.readouterr().err.strip().splitlines()
    assert len(err) == 1 and "ryxsound[plot]" in err[0]
    assert not (tmp_path / "out.png").exists()
