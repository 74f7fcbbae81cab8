"""Shared fixtures and helpers of the _RyxSDK tests.

The module under test is the installed _RyxSDK, or the one found through PYTHONPATH (a build
tree's python/ folder). Probes that could crash the interpreter run in a subprocess that sees
the same module.
"""

import os
import subprocess
import sys
import textwrap

import numpy as np
import pytest

try:
    import _RyxSDK as ryx
except ImportError:  # numpy 2, which _RyxSDK refuses: only the ryxsound suites run there
    ryx = None

TEXT = "a1b2c3d4e"  # nine base-32 characters
SAMPLES_44100 = 92160  # 20 symbols of int(44100 x 0.104489796) = 4608 samples


@pytest.fixture
def handle():
    """A live, unconfigured Context, destroyed after the test."""
    h = ryx.RYX_Create()
    yield h
    ryx.RYX_Destroy(h)


@pytest.fixture
def make_context():
    """Factory of configured Contexts (mode, rate, buffer size), all destroyed afterwards."""
    made = []

    def make(mode=ryx.RYX_MODE_AUDIBLE, rate=44100, buffer_size=1024):
        h = ryx.RYX_Create()
        made.append(h)
        assert ryx.RYX_Configure(mode, rate, buffer_size, h) == 0
        return h

    yield make
    for h in made:
        ryx.RYX_Destroy(h)


def run_python(code, check=True):
    """Runs `code` in a fresh interpreter that imports the same _RyxSDK; returns the result."""
    env = dict(os.environ)
    module_dir = os.path.dirname(os.path.abspath(ryx.__file__))
    env["PYTHONPATH"] = os.pathsep.join(filter(None, [module_dir, env.get("PYTHONPATH")]))
    result = subprocess.run([sys.executable, "-c", textwrap.dedent(code)], env=env,
                            capture_output=True, text=True, timeout=120)
    if check:
        assert result.returncode == 0, result.stderr
    return result


def read_out(handle, chunk=1024):
    """Drains the encoded audio through RYX_PyGetEncodedAudioBuffer into one float32 array.

    Prints one diagnostic line per call on file descriptor 1 (use capfd to keep them out)."""
    parts = []
    out = np.empty(chunk, dtype=np.float32)
    while True:
        n = ryx.RYX_PyGetEncodedAudioBuffer(out, handle)
        if n == 0:
            return np.concatenate(parts) if parts else np.zeros(0, np.float32)
        parts.append(out[:n].copy())


def padded(audio, rate, seconds=0.5):
    """The audio with `seconds` of silence before and after."""
    silence = np.zeros(int(rate * seconds), dtype=np.float32)
    return np.concatenate([silence, audio.astype(np.float32), silence])


def decode(handle, signal, chunk=1024):
    """Feeds `signal` chunk by chunk, draining queued samples with count 0 after every event.

    Returns (statuses seen other than -1, RYX_PyGetDecodedData result or None)."""
    events = []
    empty = np.zeros(0, dtype=np.float32)
    for start in range(0, len(signal), chunk):
        piece = signal[start:start + chunk]
        status = ryx.RYX_PyDecodeAudioBuffer(piece, len(piece), handle)
        while status != -1:
            events.append(status)
            if status == -3:
                return events, ryx.RYX_PyGetDecodedData(handle)
            status = ryx.RYX_PyDecodeAudioBuffer(empty, 0, handle)
    return events, None
