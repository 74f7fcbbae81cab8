"""What both command-line tools say, side by side: the Python tool (python -m ryxsound) and
ryxsound-cli must print the same lines, hints and JSON for the same files.

ryxsound-cli is taken from $RYXSOUND_CLI, else from the test build (build/test, which make test
builds first), else from the newest build under build/, else from PATH; without one, its cases
are skipped.
"""

from __future__ import annotations

import glob
import json
import os
import shutil
import subprocess
import sys

import numpy as np
import pytest

sf = pytest.importorskip("soundfile")
import ryxsound  # noqa: E402

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))


def _find_cli() -> str | None:
    if os.environ.get("RYXSOUND_CLI"):
        return os.environ["RYXSOUND_CLI"]
    test_build = os.path.join(ROOT, "build", "test", "cli", "ryxsound-cli")
    if os.path.exists(test_build):
        return test_build
    built = sorted(glob.glob(os.path.join(ROOT, "build", "*", "cli", "ryxsound-cli")),
                   key=os.path.getmtime)
    return built[-1] if built else shutil.which("ryxsound-cli")


CLI = _find_cli()
TOOLS = ["ryxsound", pytest.param("ryxsound-cli", marks=pytest.mark.skipif(
    CLI is None, reason="ryxsound-cli is not built"))]


def run(tool: str, *args: str, cwd) -> subprocess.CompletedProcess:
    program = [sys.executable, "-m", "ryxsound"] if tool == "ryxsound" else [str(CLI)]
    return subprocess.run(program + list(args), cwd=cwd, capture_output=True, text=True,
                          timeout=300)


def json_lines(stdout: str) -> list[dict]:
    return [json.loads(line) for line in stdout.splitlines()]


def write(path, audio, rate=44100) -> None:
    lead = np.zeros(rate // 4, np.float32)
    sf.write(str(path), np.concatenate([lead, audio, lead]), rate, subtype="FLOAT")


@pytest.fixture(scope="module")
def folder(tmp_path_factory):
    """Texts and payloads in the audible plan and the phone preset, and a payload cut short."""
    here = tmp_path_factory.mktemp("both")
    write(here / "text.wav", ryxsound.encode("hello0123"))
    write(here / "phone_text.wav", ryxsound.encode("phone0042", preset="phone"))
    write(here / "payload.wav", ryxsound.encode_payload("hello there", profile="fast"))
    write(here / "phone_payload.wav",
          ryxsound.encode_payload("phone payload", profile="fast", preset="phone"))
    whole = ryxsound.encode_payload(bytes(range(140)), profile="fast")
    frame = ryxsound.payload_shape(140, profile="fast").frame_samples
    write(here / "cut_short.wav", whole[:2 * frame + 100])  # two of four frames, three needed
    holed = whole.copy()
    holed[:2 * frame] = 0
    write(here / "two_lost.wav", holed)
    return here


@pytest.mark.parametrize("tool", TOOLS)
@pytest.mark.parametrize("command,file,options,said", [
    ("decode", "payload.wav", [], "no message found (it holds a payload: try {tool} receive)"),
    ("decode", "payload.wav", ["--mode", "compression"],
     "no message found (it holds a payload: try {tool} receive --mode all)"),
    ("decode", "phone_text.wav", [],
     "no message found (try --preset phone: it holds phone0042 there)"),
    ("receive", "text.wav", [], "no payload found (it holds a text: try {tool} decode)"),
    ("receive", "phone_text.wav", ["--preset", "phone"],
     "no payload found (it holds a text: try {tool} decode --preset phone)"),
    ("receive", "phone_payload.wav", [],
     "no payload found (try --preset phone: it holds a payload of 13 bytes there)"),
])
def test_a_file_without_what_was_asked_for_names_what_hears_it(folder, tool, command, file,
                                                               options, said):
    done = run(tool, command, file, *options, cwd=folder)
    assert done.returncode == 1 and done.stdout == ""
    assert done.stderr.splitlines() == [f"{tool}: {file}: {said.format(tool=tool)}"]


@pytest.mark.parametrize("sent,shown", [
    ("line one\n", '"line one\\n"'),
    ("a\tb\r\n", '"a\\tb\\r\\n"'),
    ('say "hi" \\ bye', '"say \\"hi\\" \\\\ bye"'),
    ("grüße", '"grüße"'),
    ("\u00a0no-break", '"\u00a0no-break"'),
    ("a\x01b", "-"),
    ("a\x7fb", "-"),
    ("\u0085next line", "-"),
    (b"\xff\x00", "-"),
])
def test_both_tools_print_a_payload_alike(tmp_path, sent, shown):
    write(tmp_path / "p.wav", ryxsound.encode_payload(sent, profile="fast"))
    lines = {tool: run(tool, "receive", "p.wav", cwd=tmp_path).stdout
             for tool in ("ryxsound", "ryxsound-cli") if tool == "ryxsound" or CLI}
    python_line = lines["ryxsound"]
    assert python_line.endswith(f"  confidence 1.00  {shown}\n")
    assert "  frames  1 heard,  1 needed,  2 sent  " in python_line
    if CLI:
        assert lines["ryxsound-cli"] == python_line


@pytest.mark.parametrize("tool", TOOLS)
@pytest.mark.parametrize("file", ["cut_short.wav", "two_lost.wav"])
def test_a_payload_short_of_its_frames_is_bad_and_unsure(folder, tool, file):
    done = run(tool, "receive", file, cwd=folder)
    assert done.returncode == 1
    assert " 140 bytes  BAD  frames  2 heard,  3 needed,  4 sent  confidence 0.67  -\n" in \
        done.stdout
    (entry,) = json_lines(run(tool, "receive", file, "--json", cwd=folder).stdout)
    assert entry["ok"] is False and entry["data_base64"] == "" and entry["confidence"] < 0.7


@pytest.mark.skipif(CLI is None, reason="ryxsound-cli is not built")
@pytest.mark.parametrize("argv", [
    ["decode", "--json", "text.wav", "phone_text.wav", "--preset", "phone"],
    ["decode", "--json", "text.wav", "--receiver", "standard"],
    ["receive", "--json", "payload.wav", "cut_short.wav", "text.wav"],
])
def test_both_tools_print_the_same_json_lines(folder, argv):
    python = run("ryxsound", *argv, cwd=folder)
    cli = run("ryxsound-cli", *argv, cwd=folder)
    assert python.returncode == cli.returncode
    assert json_lines(python.stdout) == json_lines(cli.stdout) != []
    assert all(set(entry) >= {"file", "ok", "mode", "start", "confidence"}
               for entry in json_lines(cli.stdout))


def test_decode_keeps_the_old_json_document_behind_a_flag(folder):
    done = run("ryxsound", "decode", "--json-document", "text.wav", "payload.wav", cwd=folder)
    report = json.loads(done.stdout)
    assert [entry["file"] for entry in report["files"]] == ["text.wav", "payload.wav"]
    assert [m["text"] for m in report["files"][0]["messages"]] == ["hello0123"]
    assert "--json-document is kept for this release only" in done.stderr


@pytest.mark.parametrize("tool", TOOLS)
@pytest.mark.parametrize("command,file", [("decode", "text.wav"), ("receive", "payload.wav")])
def test_lines_of_several_files_line_up(folder, tool, command, file):
    os.makedirs(folder / "a longer folder", exist_ok=True)
    shutil.copy(folder / file, folder / "a longer folder" / file)
    done = run(tool, command, file, f"a longer folder/{file}", cwd=folder)
    first, second = done.stdout.splitlines()
    assert first.startswith(f"{file}: ") and second.startswith(f"a longer folder/{file}: ")
    assert first.index(" s  ") == second.index(" s  ")


@pytest.mark.parametrize("tool", TOOLS)
def test_receive_names_each_file_it_writes(folder, tool, tmp_path):
    done = run(tool, "receive", "payload.wav", "-o", str(tmp_path / tool), cwd=folder)
    assert done.returncode == 0
    target = tmp_path / tool / "payload-1.bin"
    assert done.stderr.splitlines() == [f"{tool}: wrote {target}: 11 bytes"]
    assert target.read_bytes() == b"hello there"


@pytest.mark.parametrize("tool", TOOLS)
@pytest.mark.parametrize("argv,said", [
    (["send", "--text", "hi", "-o", "x.wav", "--repeat", "17"],
     "error: --repeat: repeat 17 is outside 1..16"),
    (["encode", "hello0123", "-o", "x.wav", "--rate", "0"],
     "sample rate 0 Hz is outside 1000..1000000 Hz"),
    (["encode", "hello0123", "-o", "x.wav", "--rate", "2000000"],
     "sample rate 2000000 Hz is outside 1000..1000000 Hz"),
])
def test_refusals_name_the_option_and_a_readable_range(tmp_path, tool, argv, said):
    done = run(tool, *argv, cwd=tmp_path)
    assert done.returncode == 2 and said in done.stderr
    assert len(done.stderr.splitlines()) == 1 and not (tmp_path / "x.wav").exists()


@pytest.mark.parametrize("make,options,said", [
    (lambda p: sf.write(p, np.zeros(100), 1000), [],
     "0 messages and 0 payloads marked (texts"),
    (lambda p: sf.write(p, np.zeros(100), 1000), [], "not decoded: audio at 1000 Hz holds up to"),
    (lambda p: sf.write(p, np.zeros(32000), 16000), [],
     "not decoded: audio at 16000 Hz holds up to 7200 Hz"),
    (lambda p: sf.write(p, np.zeros(1), 44100), [], "0 messages and 0 payloads marked"),
    (lambda p: write(p, ryxsound.encode("phone0042", preset="phone", sample_rate=8000), 8000),
     ["--preset", "phone"], "1 message and 0 payloads marked"),
    (lambda p: write(p, ryxsound.encode_payload("hi", profile="fast")), [],
     "0 messages and 1 payload marked"),
    (lambda p: write(p, ryxsound.encode("hello0123", "audible", 48000), 48000),
     ["--no-resample", "--mode", "audible"], "1 message and 0 payloads marked"),
])
def test_spectrogram_draws_any_file_and_marks_what_it_decodes(tmp_path, make, options, said):
    pytest.importorskip("matplotlib")
    make(str(tmp_path / "in.wav"))
    done = run("ryxsound", "spectrogram", "in.wav", "-o", "out.png", *options, cwd=tmp_path)
    assert done.returncode == 0, done.stderr
    assert said in done.stdout
    assert (tmp_path / "out.png").read_bytes()[:4] == b"\x89PNG"
