"""Handles that name no live Context (None, destroyed, unknown) are refused before the library
is called; RYX_Destroy ignores them; the functions that need no Context keep working."""

import json

import pytest

import _RyxSDK as ryx
from conftest import run_python

# Function -> (position of the handle, call with harmless other arguments). The source is run
# in a subprocess, since a wrongly accepted handle would crash the interpreter.
NEEDS_CONTEXT = '''
import numpy as np
import _RyxSDK as ryx
buf = np.zeros(16, np.float32)
CALLS = {
    "RYX_Configure": (4, lambda h: ryx.RYX_Configure(2, 44100, 1024, h)),
    "RYX_SetAudioSignature": (3, lambda h: ryx.RYX_SetAudioSignature(0, None, h)),
    "RYX_EncodeDataToAudioBuffer":
        (6, lambda h: ryx.RYX_EncodeDataToAudioBuffer("a1b2c3d4e", 9, 0, b"", 0, h)),
    "RYX_GetEncodedAudioBuffer": (2, lambda h: ryx.RYX_GetEncodedAudioBuffer(None, h)),
    "RYX_ResetEncodedAudioBuffer": (1, lambda h: ryx.RYX_ResetEncodedAudioBuffer(h)),
    "RYX_DecodeAudioBuffer": (3, lambda h: ryx.RYX_DecodeAudioBuffer(None, 0, h)),
    "RYX_GetDecodedData": (2, lambda h: ryx.RYX_GetDecodedData("", h)),
    "RYX_GetConfidence": (1, lambda h: ryx.RYX_GetConfidence(h)),
    "RYX_GetConfidenceError": (1, lambda h: ryx.RYX_GetConfidenceError(h)),
    "RYX_GetConfidenceNoise": (1, lambda h: ryx.RYX_GetConfidenceNoise(h)),
    "RYX_GetReceivedRyxsVolume": (1, lambda h: ryx.RYX_GetReceivedRyxsVolume(h)),
    "RYX_GetDecodedMode": (1, lambda h: ryx.RYX_GetDecodedMode(h)),
    "RYX_GetDecodingBeginFreq": (1, lambda h: ryx.RYX_GetDecodingBeginFreq(h)),
    "RYX_GetDecodingEndFreq": (1, lambda h: ryx.RYX_GetDecodingEndFreq(h)),
    "RYX_GetSpectrum": (2, lambda h: ryx.RYX_GetSpectrum(None, h)),
    "RYX_PyDecodeAudioBuffer": (3, lambda h: ryx.RYX_PyDecodeAudioBuffer(buf, 16, h)),
    "RYX_PyGetDecodedData": (1, lambda h: ryx.RYX_PyGetDecodedData(h)),
    "RYX_PyGetEncodedAudioBuffer": (2, lambda h: ryx.RYX_PyGetEncodedAudioBuffer(buf, h)),
    "RYX_SetCustomBaseFreq": (3, lambda h: ryx.RYX_SetCustomBaseFreq(12000.0, 1, h)),
}
'''

# How each kind of dead handle is made in the subprocess.
DEAD_HANDLES = {
    "none": "dead = None",
    "destroyed": "dead = ryx.RYX_Create(); ryx.RYX_Configure(2, 44100, 1024, dead); "
                 "ryx.RYX_Destroy(dead)",
    # A pointer object whose address field is overwritten: an address no Context has.
    "unknown": "import ctypes; dead = ryx.RYX_Create(); "
               "ctypes.c_void_p.from_address(id(dead) + 16).value = 0x7f00dead0000; "
               "assert int(dead) == 0x7f00dead0000",
}

PROBE = NEEDS_CONTEXT + '''
import json
DEAD
outcome = {}
for name, (position, call) in CALLS.items():
    try:
        outcome[name] = ["returned", repr(call(dead)), position]
    except Exception as error:
        outcome[name] = [type(error).__name__, str(error), position]
print(json.dumps(outcome))
'''

CONTEXT_FUNCTIONS = [
    "RYX_Configure", "RYX_SetAudioSignature", "RYX_EncodeDataToAudioBuffer",
    "RYX_GetEncodedAudioBuffer", "RYX_ResetEncodedAudioBuffer", "RYX_DecodeAudioBuffer",
    "RYX_GetDecodedData", "RYX_GetConfidence", "RYX_GetConfidenceError",
    "RYX_GetConfidenceNoise", "RYX_GetReceivedRyxsVolume", "RYX_GetDecodedMode",
    "RYX_GetDecodingBeginFreq", "RYX_GetDecodingEndFreq", "RYX_GetSpectrum",
    "RYX_PyDecodeAudioBuffer", "RYX_PyGetDecodedData", "RYX_PyGetEncodedAudioBuffer",
]


@pytest.fixture(scope="module")
def dead_handle_outcomes():
    outcomes = {}
    for kind, make in DEAD_HANDLES.items():
        result = run_python(PROBE.replace("DEAD", make))
        outcomes[kind] = json.loads(result.stdout.splitlines()[-1])
        assert "RYX_GetEncodedAudioBuffer: result" not in result.stdout  # nothing was read out
    return outcomes


@pytest.mark.parametrize("kind", DEAD_HANDLES)
@pytest.mark.parametrize("name", CONTEXT_FUNCTIONS)
def test_dead_handle_raises_value_error(dead_handle_outcomes, kind, name):
    exception, message, position = dead_handle_outcomes[kind][name]
    assert exception == "ValueError"
    assert message == (f"in method '{name}', argument {position}: not a live Context (None, "
                       "already destroyed, or not made by RYX_Create)")


@pytest.mark.parametrize("kind", ["destroyed", "unknown"])
def test_set_custom_base_freq_refuses_a_dead_handle(dead_handle_outcomes, kind):
    assert dead_handle_outcomes[kind]["RYX_SetCustomBaseFreq"][0] == "ValueError"


def test_set_custom_base_freq_with_none_only_sets_the_settings(make_context):
    try:
        assert ryx.RYX_SetCustomBaseFreq(15000.0, 2, None) == 0
        custom = make_context(ryx.RYX_MODE_CUSTOM)
        bin_width = 44100 / 2048
        assert abs(ryx.RYX_GetDecodingBeginFreq(custom) - 15000.0) <= bin_width / 2
    finally:
        ryx.RYX_SetCustomBaseFreq(12000.0, 1, None)


@pytest.mark.parametrize("kind", DEAD_HANDLES)
def test_destroy_and_synth_setters_accept_dead_handles(kind):
    result = run_python('''
        import _RyxSDK as ryx
        live = ryx.RYX_Create()
        assert ryx.RYX_Configure(3, 48000, 512, live) == 0
        DEAD
        print(ryx.RYX_Destroy(dead), ryx.RYX_Destroy(dead))
        print(ryx.RYX_SetSynthMode(1, dead), ryx.RYX_SetSynthVolume(-6.0, dead))
        print(ryx.RYX_GetDecodedMode(live))
        ryx.RYX_Destroy(live)
        '''.replace("DEAD", DEAD_HANDLES[kind]))
    assert result.stdout.split() == ["None", "None", "0", "0", "1"]


def test_stale_handle_does_not_reach_a_context_at_a_reused_address():
    result = run_python('''
        import _RyxSDK as ryx
        old = ryx.RYX_Create()
        ryx.RYX_Destroy(old)
        new = ryx.RYX_Create()      # the allocator usually hands out the same address again
        print(int(new) == int(old), new == old)
        assert ryx.RYX_Configure(4, 44100, 1024, new) == 0
        try:
            ryx.RYX_Configure(2, 44100, 1024, old)
        except ValueError:
            print("refused")
        ryx.RYX_Destroy(old)        # must not free `new`
        print(ryx.RYX_GetDecodedMode(new))
        ryx.RYX_Destroy(new)
        ''')
    same_address, equal, refused, mode = result.stdout.split()
    assert same_address == equal
    assert (refused, mode) == ("refused", "2")

