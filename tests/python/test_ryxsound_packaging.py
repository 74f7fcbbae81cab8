"""The installed package as a type checker and numpy 2 see it: both stubs are found after
`pip install .`, and _RyxSDK refuses numpy 2 while ryxsound works with it."""

from __future__ import annotations

import subprocess
import sys
import textwrap

import numpy as np
import pytest


def test_mypy_finds_the_stubs_of_both_modules(tmp_path):
    pytest.importorskip("mypy")
    snippet = tmp_path / "snippet.py"
    snippet.write_text(textwrap.dedent("""
        import _RyxSDK
        import ryxsound
        from ryxsound import _core

        version: str = _RyxSDK.RYX_GetVersion()
        audio = _core.encode("hello0123", 2, 44100.0)
        messages: list[ryxsound.Message] = ryxsound.decode(audio, 44100)
        level: float = messages[0].level_dbfs
        wrong: str = _core.TEXT_LENGTH
        also_wrong: int = _RyxSDK.RYX_GetConfidence(_RyxSDK.RYX_Create())
    """))
    # Run from tmp_path so that the installed package is checked, not the source tree.
    proc = subprocess.run([sys.executable, "-m", "mypy", "--no-incremental", "--cache-dir",
                           str(tmp_path / "cache"), "--no-error-summary", "snippet.py"],
                          cwd=tmp_path, capture_output=True, text=True, timeout=300)
    errors = [line for line in proc.stdout.splitlines() if ": error:" in line]
    # Exactly the two planted errors: both modules' types were read (a missing stub would be
    # an import error and leave the values untyped).
    assert len(errors) == 2, proc.stdout + proc.stderr
    assert "snippet.py:10:" in errors[0] and '"int"' in errors[0]
    assert "snippet.py:11:" in errors[1] and '"float"' in errors[1]


@pytest.mark.skipif(np.lib.NumpyVersion(np.__version__) < "2.0.0",
                    reason="numpy 1.x: _RyxSDK's own tests run here")
def test_sdk_refuses_numpy_2_with_its_message_and_ryxsound_works():
    proc = subprocess.run([sys.executable, "-c", "import _RyxSDK"], capture_output=True,
                          text=True, timeout=60)
    assert proc.returncode != 0
    assert proc.stderr.strip().splitlines()[-1] == (
        "ImportError: numpy.core.multiarray failed to import")
    import ryxsound

    audio = ryxsound.encode("hello0123")
    assert [m.text for m in ryxsound.decode(audio, 44100)] == ["hello0123"]
