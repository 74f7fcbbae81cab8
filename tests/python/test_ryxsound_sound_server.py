"""`ryxsound play` and `ryxsound listen` through a real sound server: a private PulseAudio server
with a null sink, started and stopped here. The player plays into the sink, the listener records
the sink's monitor."""

from __future__ import annotations

import json
import os
import shutil
import subprocess
import sys
import time
from collections.abc import Iterator

import pytest

TEXT = "hello0123"
SINK = "ryxtest"


def _pactl(env: dict[str, str], *args: str) -> subprocess.CompletedProcess:
    return subprocess.run(["pactl", *args], env=env, capture_output=True, text=True, timeout=10)


def _wait_for(check, seconds: float) -> bool:
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        if check():
            return True
        time.sleep(0.1)
    return False


@pytest.fixture
def sound_server(tmp_path) -> Iterator[dict[str, str]]:
    """The environment of clients of a private server (own runtime folder and socket, no
    system-wide daemon), its default sink the null sink and default source that sink's
    monitor."""
    if not shutil.which("pulseaudio") or not shutil.which("pactl"):
        pytest.skip("no sound server can be started: pulseaudio and pactl are not installed")
    runtime = tmp_path / "run"
    runtime.mkdir()
    socket = runtime / "native"
    env = {k: v for k, v in os.environ.items() if not k.startswith("PULSE_")}
    env.update(XDG_RUNTIME_DIR=str(runtime), PULSE_RUNTIME_PATH=str(runtime / "pulse"),
               HOME=str(tmp_path), PULSE_SERVER=f"unix:{socket}")
    log = open(tmp_path / "pulseaudio.log", "w")
    server = subprocess.Popen(
        ["pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=120", "--use-pid-file=no",
         "--disable-shm=yes", "--log-target=stderr",
         f"--load=module-native-protocol-unix socket={socket} auth-anonymous=1",
         f"--load=module-null-sink sink_name={SINK} rate=44100 channels=1"],
        env=env, stdout=subprocess.DEVNULL, stderr=log)
    try:
        if not _wait_for(lambda: server.poll() is not None or
                         _pactl(env, "info").returncode == 0, 15) or server.poll() is not None:
            log.flush()
            tail = (tmp_path / "pulseaudio.log").read_text().strip().splitlines()[-3:]
            pytest.skip(f"no sound server can be started: pulseaudio did not come up "
                        f"({' | '.join(tail)})")
        assert _pactl(env, "set-default-sink", SINK).returncode == 0
        assert _pactl(env, "set-default-source", f"{SINK}.monitor").returncode == 0
        yield env
    finally:
        server.terminate()
        try:
            server.wait(timeout=10)
        except subprocess.TimeoutExpired:
            server.kill()
            server.wait()
        log.close()


@pytest.mark.parametrize("plan,listen_rate", [
    (["--mode", "audible"], "44100"),
    (["--preset", "phone"], "32000"),  # captured at a rate the plans do not use: resampled
])
def test_play_into_a_null_sink_and_listen_to_its_monitor(sound_server, plan, listen_rate):
    env = sound_server
    ryx = [sys.executable, "-m", "ryxsound"]
    listener = subprocess.Popen([*ryx, "listen", *plan, "--rate", listen_rate, "--duration",
                                 "60", "--count", "1", "--json"], env=env,
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    try:
        recording = _wait_for(lambda: listener.poll() is not None or bool(
            _pactl(env, "list", "short", "source-outputs").stdout.strip()), 15)
        assert recording and listener.poll() is None, listener.communicate()[1]
        played = subprocess.run([*ryx, "play", TEXT, *plan], env=env, capture_output=True,
                                text=True, timeout=60)
        assert played.returncode == 0, played.stderr
        out, err = listener.communicate(timeout=90)
    finally:
        if listener.poll() is None:
            listener.kill()
            listener.wait()
    assert listener.returncode == 0, err
    heard = [json.loads(line) for line in out.splitlines()]
    assert [(m["text"], m["ok"]) for m in heard] == [(TEXT, True)]
