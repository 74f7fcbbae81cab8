"""Arbitrary Python values at every _RyxSDK function: only TypeError, OverflowError or ValueError
may come out, never a crash.

For each function a fresh interpreter runs hypothesis (derandomised, so every run tries the same
inputs) over argument tuples of the declared length (sometimes one more or one less), each item
either a plausible value for its declared type or anything at all: ints beyond every range,
NaN and infinities, strings of any length, bytes, arrays of every dtype, shape, byte order and
alignment, read-only and strided views, lists, live, empty, destroyed and fake handles. After
every call the live Contexts involved are put through a short encode, read-out and decode, so a
call that left a Context in a bad state shows too. A crash ends the interpreter with a signal;
the test then fails with the last call printed.
"""

import os
import subprocess
import sys
import textwrap

import pytest

import _RyxSDK as ryx

EXAMPLES = 80

# Function -> declared argument kinds, in order.
SIGNATURES = {
    "RYX_Create": [],
    "RYX_Destroy": ["handle"],
    "RYX_GetVersion": [],
    "RYX_GetVersionInfo": ["text"],
    "RYX_Configure": ["int", "float", "int", "handle"],
    "RYX_SetAudioSignature": ["int", "pointer", "handle"],
    "RYX_EncodeDataToAudioBuffer": ["text", "int", "int", "bytes", "int", "handle"],
    "RYX_GetEncodedAudioBuffer": ["pointer", "handle"],
    "RYX_ResetEncodedAudioBuffer": ["handle"],
    "RYX_DecodeAudioBuffer": ["pointer", "int", "handle"],
    "RYX_GetDecodedData": ["text", "handle"],
    "RYX_GetConfidence": ["handle"],
    "RYX_GetConfidenceError": ["handle"],
    "RYX_GetConfidenceNoise": ["handle"],
    "RYX_GetReceivedRyxsVolume": ["handle"],
    "RYX_GetDecodedMode": ["handle"],
    "RYX_SetCustomBaseFreq": ["float", "int", "handle"],
    "RYX_GetDecodingBeginFreq": ["handle"],
    "RYX_GetDecodingEndFreq": ["handle"],
    "RYX_SetSynthMode": ["int", "handle"],
    "RYX_SetSynthVolume": ["float", "handle"],
    "RYX_GetSpectrum": ["pointer", "handle"],
    "RYX_PyDecodeAudioBuffer": ["array", "int", "handle"],
    "RYX_PyGetDecodedData": ["handle"],
    "RYX_PyGetEncodedAudioBuffer": ["array", "handle"],
}

PROBE = r'''
import math, os, sys
import numpy as np
from hypothesis import HealthCheck, given, settings, strategies as st
from hypothesis.extra import numpy as hnp
import _RyxSDK as ryx

NAME, KINDS, EXAMPLES = sys.argv[1], sys.argv[2].split(",") if sys.argv[2] else [], int(sys.argv[3])
ALLOWED = (TypeError, OverflowError, ValueError)
ALPHABET = "0123456789abcdefghijklmnopqrstuvABCDEFGHIJKLMNOPQRSTUV"
DEVNULL = os.open(os.devnull, os.O_WRONLY)
os.dup2(DEVNULL, 1)  # the read-out's diagnostic lines

# One transmission, encoded once, used to bring a decoder to a complete message.
_tx = ryx.RYX_Create()
ryx.RYX_Configure(2, 44100, 1024, _tx)
ryx.RYX_EncodeDataToAudioBuffer("a1b2c3d4e", 9, 0, b"", 0, _tx)
_parts, _out = [], np.zeros(1024, np.float32)
while ryx.RYX_PyGetEncodedAudioBuffer(_out, _tx):
    _parts.append(_out.copy())
MESSAGE = np.concatenate([np.zeros(4096, np.float32)] + _parts + [np.zeros(8192, np.float32)])


class HasThis:
    def __init__(self, this):
        self.this = this


class RaisingThis:
    @property
    def this(self):
        raise RuntimeError("no pointer here")


class FloatSub(float):
    pass


class IntSub(int):
    pass


class StrSub(str):
    pass


class Weird:
    def __float__(self):
        return 1.0

    def __index__(self):
        return 1

    def __len__(self):
        return 5


def make_handle(kind, made):
    """A handle of the given kind; live Contexts are recorded in `made` for the follow-up."""
    if kind == "none":
        return None
    if kind == "junk":
        return HasThis(12345)
    if kind == "raising":
        return RaisingThis()
    h = ryx.RYX_Create()
    made.append(h)
    if kind == "empty":
        return h
    mode, rate = kind.split("@")[1:] if "@" in kind else (2, 44100)
    ryx.RYX_Configure(int(mode), float(rate), 1024, h)
    if kind.startswith("encoded"):
        ryx.RYX_EncodeDataToAudioBuffer("v0u1t2s3r", 9, 0, b"", 0, h)
    if kind.startswith("complete"):
        for i in range(0, len(MESSAGE), 1024):
            piece = MESSAGE[i:i + 1024]
            status = ryx.RYX_PyDecodeAudioBuffer(piece, len(piece), h)
            while status not in (-1, -3):
                status = ryx.RYX_PyDecodeAudioBuffer(MESSAGE, 0, h)
            if status == -3:
                break
    if kind.startswith("destroyed"):
        ryx.RYX_Destroy(h)
        made.remove(h)
    if kind.startswith("this"):
        return HasThis(h)
    return h


# Live kinds first: hypothesis leans towards the first entries.
HANDLE_KINDS = [f"{state}@{mode}@{rate}" for state in ("encoded", "live")
                for mode in (2, 3, 4, 5, 6) for rate in (44100, 48000, 8000)] + [
                "complete@2@44100", "this@4@48000", "empty", "destroyed@2@44100", "none", "junk",
                "raising"]

# Within each strategy the plausible values come first, the outlandish ones after.
ints = st.one_of(st.sampled_from([9, 0, 1, 2, 20, 1024, -1, 2**31 - 1, -2**31, 2**31, 2**63]),
                 st.integers(-2**31 - 2, 2**31 + 1), st.integers(),
                 st.builds(IntSub, st.integers(-10, 10)), st.booleans())
floats = st.one_of(st.sampled_from([44100.0, 48000.0, 12000.0, 0.0, -0.0, math.nan, math.inf,
                                    -math.inf, 1e-45, 3.4028234663852886e38, 3.5e38, 1e39, 999.0,
                                    1e6, 1e6 + 1]),
                   st.floats(width=32), st.floats(), st.builds(FloatSub, st.floats()))
texts = st.one_of(st.text(alphabet=ALPHABET, min_size=0, max_size=24), st.text(max_size=40),
                  st.builds(StrSub, st.text(alphabet=ALPHABET, max_size=12)), st.just("\ud800"))
dtypes = st.sampled_from(["<f4", ">f4", "<f8", "<f2", "<i2", "<i1", "<u1", "<i8", "<c8", "?",
                          "<U3"])
arrays = st.one_of(
    hnp.arrays("<f4", st.integers(0, 9000), elements=st.floats(width=32)),
    hnp.arrays(dtypes, hnp.array_shapes(min_dims=0, max_dims=3, max_side=40)),
    hnp.arrays("<f4", st.integers(0, 9000)).map(lambda a: a[::2]),
    hnp.arrays("<f4", st.integers(0, 3000)).map(lambda a: _readonly(a)),
    st.integers(0, 4000).map(lambda n: np.frombuffer(bytes(4 * n + 1), np.float32, n, 1)),
    st.lists(st.floats(width=32), max_size=3000),
    st.lists(st.one_of(st.floats(), st.integers(), st.none(), st.text(max_size=2)), max_size=20),
    st.lists(st.lists(st.floats(), max_size=4), max_size=4),
)


def _readonly(a):
    a.flags.writeable = False
    return a


anything = st.one_of(
    st.none(), ints, floats, texts, st.binary(max_size=40), arrays, st.complex_numbers(),
    st.builds(bytearray, st.binary(max_size=8)), st.builds(memoryview, st.binary(max_size=8)),
    st.dictionaries(st.text(max_size=3), st.integers(), max_size=3), st.tuples(st.integers()),
    st.sampled_from([object(), Weird(), RaisingThis(), HasThis(None), HasThis("x"), ryx,
                     np.float32(1.5), np.int64(7), np.float64("nan"), Ellipsis, type, len]),
    st.sampled_from(HANDLE_KINDS).map(lambda k: ("HANDLE", k)),
)

PLAUSIBLE = {
    "int": ints,
    "float": floats,
    "text": texts,
    "bytes": st.binary(max_size=40),
    "pointer": st.none(),
    "array": arrays,
    "handle": st.sampled_from(HANDLE_KINDS).map(lambda k: ("HANDLE", k)),
}


@st.composite
def argument_tuples(draw):
    kinds = list(KINDS)
    shape = draw(st.integers(0, 9))
    if shape == 0 and kinds:
        kinds.pop(draw(st.integers(0, len(kinds) - 1)))
    elif shape == 1:
        kinds.insert(draw(st.integers(0, len(kinds))), "anything")
    # Each argument: a plausible value of its declared kind, one time in eight anything at all.
    return tuple(draw(anything if draw(st.integers(0, 7)) == 0 else PLAUSIBLE.get(k, anything))
                 for k in kinds)


def exercise(h):
    """A short, correct session on a live Context: any state the call left must be usable."""
    ryx.RYX_EncodeDataToAudioBuffer("012345678", 9, 1, b"abc", 3, h)
    out = np.zeros(1024, np.float32)
    for _ in range(3):
        ryx.RYX_PyGetEncodedAudioBuffer(out, h)
    ryx.RYX_PyDecodeAudioBuffer(out, 1024, h)
    ryx.RYX_PyDecodeAudioBuffer(MESSAGE[:20000], 20000, h)
    ryx.RYX_GetSpectrum(None, h)
    for getter in (ryx.RYX_GetConfidence, ryx.RYX_GetConfidenceError, ryx.RYX_GetConfidenceNoise,
                   ryx.RYX_GetReceivedRyxsVolume, ryx.RYX_GetDecodingBeginFreq,
                   ryx.RYX_GetDecodingEndFreq):
        getter(h)


@settings(max_examples=EXAMPLES, deadline=None, database=None, derandomize=True,
          suppress_health_check=list(HealthCheck))
@given(argument_tuples())
def probe(args):
    made = []
    real = tuple(make_handle(a[1], made)
                 if isinstance(a, tuple) and len(a) == 2 and a[0] == "HANDLE" else a
                 for a in args)
    sys.stderr.write(f"CALL {NAME}{args!r}\n")
    sys.stderr.flush()
    try:
        getattr(ryx, NAME)(*real)
    except ALLOWED:
        pass
    for h in made:
        try:
            exercise(h)
        except ValueError:
            pass  # destroyed by the call itself (an empty Context just returns failure values)
        ryx.RYX_Destroy(h)
    ryx.RYX_SetSynthVolume(0.0, None)


probe()
print("done", file=sys.stderr)
'''


def run_probe(name):
    env = dict(os.environ)
    module_dir = os.path.dirname(os.path.abspath(ryx.__file__))
    env["PYTHONPATH"] = os.pathsep.join(filter(None, [module_dir, env.get("PYTHONPATH")]))
    env.setdefault("PYTHONFAULTHANDLER", "1")
    return subprocess.run(
        [sys.executable, "-c", textwrap.dedent(PROBE), name, ",".join(SIGNATURES[name]),
         str(EXAMPLES)], env=env, capture_output=True, text=True, timeout=300)


@pytest.mark.parametrize("name", SIGNATURES)
def test_arbitrary_arguments_raise_only_conversion_errors(name):
    assert callable(getattr(ryx, name))
    result = run_probe(name)
    tail = result.stderr[-4000:]
    assert result.returncode == 0, f"exit {result.returncode}\n{tail}"
    assert result.stderr.rstrip().endswith("done"), tail


def test_every_function_is_probed():
    functions = {n for n in dir(ryx) if n.startswith("RYX_") and callable(getattr(ryx, n))}
    assert functions == set(SIGNATURES)
