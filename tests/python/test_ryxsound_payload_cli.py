"""ryxsound send, receive, and listen hearing payloads, as a user runs them."""

from __future__ import annotations

import base64
import io
import json
import subprocess
import sys

import numpy as np
import pytest

sf = pytest.importorskip("soundfile")
import ryxsound  # noqa: E402
from ryxsound import cli  # noqa: E402

BLOB = bytes(range(256)) * 2  # 512 bytes, not UTF-8


def errors(capsys) -> list[str]:
    return capsys.readouterr().err.strip().splitlines()


@pytest.fixture
def sent(tmp_path):
    """A fast payload from a file and a robust text payload, as WAV files."""
    (tmp_path / "blob.bin").write_bytes(BLOB)
    blob_wav, text_wav = tmp_path / "blob.wav", tmp_path / "text.wav"
    assert cli.main(["send", str(tmp_path / "blob.bin"), "-o", str(blob_wav), "--profile",
                     "fast"]) == 0
    assert cli.main(["send", "--text", "grüße", "-o", str(text_wav), "--rate", "48000"]) == 0
    return blob_wav, text_wav


def test_send_then_receive_lines_files_and_json(sent, tmp_path, capsys):
    blob_wav, text_wav = sent
    capsys.readouterr()
    out_dir = tmp_path / "new" / "payloads"
    assert cli.main(["receive", str(blob_wav), str(text_wav), "-o", str(out_dir)]) == 0
    lines = capsys.readouterr().out.strip().splitlines()
    assert len(lines) == 2
    assert lines[0].startswith(f"{blob_wav}:    0.2") and lines[0].endswith("  -")
    assert "  audible      fast     512 bytes  ok   frames " in lines[0]
    assert lines[1].startswith(f"{text_wav}: ") and lines[1].endswith('  "grüße"')
    assert "  robust     7 bytes  ok   frames  1 heard,  1 needed,  2 sent  confidence " in lines[1]
    assert (out_dir / "blob-1.bin").read_bytes() == BLOB
    assert (out_dir / "text-1.bin").read_bytes() == "grüße".encode()

    assert cli.main(["receive", "--json", str(text_wav)]) == 0
    (entry,) = [json.loads(line) for line in capsys.readouterr().out.splitlines()]
    assert entry["text"] == "grüße" and entry["ok"] is True and entry["profile"] == "robust"
    assert base64.b64decode(entry["data_base64"]) == "grüße".encode()
    assert entry["file"] == str(text_wav) and entry["size"] == 7
    assert cli.main(["receive", "--json", str(blob_wav)]) == 0
    assert "text" not in json.loads(capsys.readouterr().out)


def test_send_reads_standard_input_and_writes_standard_output():
    sender = subprocess.run([sys.executable, "-m", "ryxsound", "send", "-", "-o", "-",
                             "--profile", "fast"], input=b"\x00\x01 piped", capture_output=True,
                            timeout=120)
    assert sender.returncode == 0, sender.stderr
    assert sender.stdout[:4] == b"RIFF" and b"wrote standard output" in sender.stderr
    receiver = subprocess.run([sys.executable, "-m", "ryxsound", "receive", "-"],
                              input=sender.stdout, capture_output=True, timeout=120)
    assert receiver.returncode == 0, receiver.stderr
    assert b" 8 bytes  ok " in receiver.stdout and receiver.stdout.endswith(b"  -\n")


@pytest.mark.parametrize("content,expect", [
    (b"", "payload of 0 bytes: a payload holds 1 to 4096 bytes"),
    (bytes(4097), "more than 4096 bytes: a payload holds 1 to 4096 bytes"),
    (bytes(100000), "more than 4096 bytes: a payload holds 1 to 4096 bytes"),
])
def test_send_refuses_what_a_payload_cannot_hold(tmp_path, capsys, content, expect):
    src = tmp_path / "in.bin"
    src.write_bytes(content)
    assert cli.main(["send", str(src), "-o", str(tmp_path / "out.wav")]) == 2
    (line,) = errors(capsys)
    assert line == f"ryxsound: error: {src}: {expect}"
    assert not (tmp_path / "out.wav").exists()


@pytest.mark.parametrize("argv,expect", [
    (["send", "--text", "hi"], "one of the arguments -o/--output --play is required"),
    (["send", "-o", "x.wav"], "one of the arguments PATH --text is required"),
    (["send", "in.bin", "--text", "hi", "-o", "x.wav"], "not allowed with argument PATH"),
    (["send", "--text", "hi", "-o", "x.wav", "--profile", "slow"], "invalid choice: 'slow'"),
    (["send", "--text", "hi", "-o", "x.wav", "--repeat", "17"],
     "ryxsound: error: --repeat: repeat 17 is outside 1..16"),
    (["send", "--text", "hi", "-o", "x.wav", "--rate", "0"], "sample rate"),
    (["send", "--text", "hi", "-o", "x.wav", "--mode", "nonaudible", "--rate", "22050"],
     "payloads in the nonaudible plan reach"),
    (["send", "--text", "hi", "-o", "no/such/folder/x.wav"], "does not exist"),
    (["send", "--text", "hi", "-o", "x.mp3"], "write .wav, .flac or .ogg files"),
    (["send", "missing.bin", "-o", "x.wav"], "missing.bin: cannot read"),
    (["receive", "missing.wav"], "missing.wav"),
    (["receive", "-", "-"], "standard input (-) can be read only once"),
])
def test_usage_and_file_errors_are_one_line_and_exit_2(tmp_path, monkeypatch, capsys, argv,
                                                        expect):
    monkeypatch.chdir(tmp_path)
    try:
        status = cli.main(argv)
    except SystemExit as exc:  # a usage error
        status = exc.code
    assert status == 2
    lines = errors(capsys)
    assert len(lines) == 1 and expect in lines[0] and "Traceback" not in lines[0]
    assert not (tmp_path / "x.wav").exists()


def test_receive_exit_codes_and_unwritable_folder(sent, tmp_path, capsys):
    blob_wav, _ = sent
    quiet = tmp_path / "quiet.wav"
    sf.write(str(quiet), np.zeros(44100, np.float32), 44100)
    assert cli.main(["receive", str(quiet)]) == 1
    assert errors(capsys)[-1] == f"ryxsound: {quiet}: no payload found"  # and no hint
    assert cli.main(["receive", str(quiet), str(tmp_path / "gone.wav"), str(blob_wav)]) == 2
    assert cli.main(["receive", str(blob_wav), "-o", str(blob_wav)]) == 2
    assert "cannot create the folder" in errors(capsys)[-1]


def test_a_failed_payload_is_reported_bad_and_not_saved(tmp_path, capsys):
    data = bytes(range(140))
    audio = ryxsound.encode_payload(data, profile="fast")
    frame = ryxsound.payload_shape(140, profile="fast").frame_samples
    audio[:2 * frame] = 0  # two of its four frames: one more than the parity frame
    path = tmp_path / "cut.wav"
    sf.write(str(path), np.concatenate([np.zeros(4410, np.float32), audio]), 44100)
    assert cli.main(["receive", str(path), "-o", str(tmp_path / "out")]) == 1
    (line,) = capsys.readouterr().out.splitlines()
    assert " 140 bytes  BAD  frames  2 heard,  3 needed,  4 sent  confidence 0.67  " in line
    assert line.endswith("  -")
    assert list((tmp_path / "out").iterdir()) == []


class FakeInput:
    def __init__(self, audio, **opened):
        self.audio, self.at = np.asarray(audio, np.float32), 0

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        pass

    def read(self, n):
        block = self.audio[self.at:self.at + n]
        self.at += n
        return np.pad(block, (0, n - len(block))).reshape(-1, 1), False


class FakeOutput:
    def __init__(self, **opened):
        self.written = []

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        pass

    def write(self, block):
        self.written.append(block[:, 0].copy())


def test_listen_hears_texts_and_payloads_and_shows_frames_arriving(capsys):
    gap = np.zeros(22050, np.float32)
    audio = np.concatenate([gap, ryxsound.encode("hello0123"), gap,
                            ryxsound.encode_payload("live", profile="fast"), gap])
    assert cli.main(["listen", "--duration", str(len(audio) / 44100 + 1)],
                    stream_factory=lambda **kw: FakeInput(audio, **kw)) == 0
    captured = capsys.readouterr()
    lines = captured.out.strip().splitlines()
    assert len(lines) == 2 and "hello0123" in lines[0] and lines[1].endswith('  "live"')
    # Not a terminal: each change of progress once, on its own line.
    arriving = "receiving fast payload: frames  1 heard,  1 needed,  2 sent"
    assert arriving not in captured.out
    progress = [line for line in captured.err.splitlines() if line.startswith("receiving")]
    assert progress == [arriving] or not progress


def test_send_play_plays_what_receive_hears(capsys):
    outputs: list[FakeOutput] = []
    assert cli.main(["send", "--text", "played", "--play", "--profile", "fast",
                     "--device", "speaker"],
                    stream_factory=lambda **kw: outputs.append(FakeOutput(**kw)) or outputs[-1]) == 0
    assert capsys.readouterr().out.startswith("played payload of 6 bytes (fast, 2 frames)")
    played = np.concatenate(outputs[0].written)
    assert [p.text for p in ryxsound.decode_payloads(played, 44100)] == ["played"]


def test_send_takes_the_bytes_of_standard_input(monkeypatch, tmp_path):
    """`send -` takes the bytes of standard input exactly, not its text."""
    monkeypatch.setattr(sys, "stdin", io.TextIOWrapper(io.BytesIO(b"\xff\x00raw")))
    out = tmp_path / "raw.wav"
    assert cli.main(["send", "-", "-o", str(out), "--profile", "fast"]) == 0
    audio, rate = sf.read(str(out), dtype="float32")
    assert [p.data for p in ryxsound.decode_payloads(audio, rate)] == [b"\xff\x00raw"]
