"""Argument handling common to every function: counts, keywords and the conversion of each
declared C type."""

import math
import re

import numpy as np
import pytest
from hypothesis import given
from hypothesis import strategies as st

import _RyxSDK as ryx

POSITIONAL = {
    "RYX_Configure": 4, "RYX_SetAudioSignature": 3, "RYX_EncodeDataToAudioBuffer": 6,
    "RYX_GetEncodedAudioBuffer": 2, "RYX_DecodeAudioBuffer": 3, "RYX_GetDecodedData": 2,
    "RYX_SetCustomBaseFreq": 3, "RYX_SetSynthMode": 2, "RYX_SetSynthVolume": 2,
    "RYX_GetSpectrum": 2, "RYX_PyDecodeAudioBuffer": 3, "RYX_PyGetEncodedAudioBuffer": 2,
}
ONE_ARGUMENT = [
    "RYX_Destroy", "RYX_GetVersionInfo", "RYX_ResetEncodedAudioBuffer", "RYX_GetConfidence",
    "RYX_GetConfidenceError", "RYX_GetConfidenceNoise", "RYX_GetReceivedRyxsVolume",
    "RYX_GetDecodedMode", "RYX_GetDecodingBeginFreq", "RYX_GetDecodingEndFreq",
    "RYX_PyGetDecodedData",
]
NO_ARGUMENT = ["_pointer_tags", "RYX_Create", "RYX_GetVersion"]


def interpreter_message(error, name, text):
    """The interpreter's own wording; 3.11 qualifies the name with the module, 3.10 does not."""
    return re.fullmatch(rf"(_RyxSDK\.)?{name}\(\) {re.escape(text)}", str(error.value))


@pytest.mark.parametrize("name, expected", POSITIONAL.items())
@pytest.mark.parametrize("delta", [-1, +1, "none"])
def test_positional_count_is_checked_before_conversion(name, expected, delta):
    given = 0 if delta == "none" else expected + delta
    with pytest.raises(TypeError) as error:
        getattr(ryx, name)(*(["not converted"] * given))
    assert str(error.value) == f"{name} expected {expected} arguments, got {given}"


@pytest.mark.parametrize("name", ONE_ARGUMENT)
@pytest.mark.parametrize("given", [0, 2])
def test_one_argument_count_is_the_interpreters(name, given):
    with pytest.raises(TypeError) as error:
        getattr(ryx, name)(*([None] * given))
    assert interpreter_message(error, name, f"takes exactly one argument ({given} given)")


@pytest.mark.parametrize("name", NO_ARGUMENT)
def test_no_argument_count_is_the_interpreters(name):
    with pytest.raises(TypeError) as error:
        getattr(ryx, name)(None)
    assert interpreter_message(error, name, "takes no arguments (1 given)")


@pytest.mark.parametrize("name", list(POSITIONAL) + ONE_ARGUMENT + NO_ARGUMENT)
def test_keyword_arguments_are_refused(name):
    with pytest.raises(TypeError) as error:
        getattr(ryx, name)(handle=None)
    assert interpreter_message(error, name, "takes no keyword arguments")


class IntSub(int):
    pass


class FloatSub(float):
    pass


class StrSub(str):
    pass


class HasThis:
    def __init__(self, this):
        self.this = this


class RaisingThis:
    @property
    def this(self):
        raise RuntimeError("no pointer here")


# Declared type -> (function, argument position, call with the value in that position). Each
# call is harmless when the value converts.
PROBES = {
    "int": ("RYX_SetSynthMode", 1, lambda v, h: ryx.RYX_SetSynthMode(v, None)),
    "int32_t": ("RYX_SetAudioSignature", 1, lambda v, h: ryx.RYX_SetAudioSignature(v, None, h)),
    "float": ("RYX_SetSynthVolume", 1, lambda v, h: ryx.RYX_SetSynthVolume(v, None)),
    "char *": ("RYX_GetVersionInfo", 1, lambda v, h: ryx.RYX_GetVersionInfo(v)),
    "char const *": ("RYX_EncodeDataToAudioBuffer", 1,
                     lambda v, h: ryx.RYX_EncodeDataToAudioBuffer(v, 9, 0, b"", 0, h)),
    "float *": ("RYX_GetSpectrum", 1, lambda v, h: ryx.RYX_GetSpectrum(v, h)),
    "float const *": ("RYX_SetAudioSignature", 2,
                      lambda v, h: ryx.RYX_SetAudioSignature(0, v, h)),
    "void *": ("RYX_SetSynthMode", 2, lambda v, h: ryx.RYX_SetSynthMode(0, v)),
}

OK = "ok"
INTS = {"int": OK, "int32_t": OK, "float": OK}
WIDE_INTS = {"int": OverflowError, "int32_t": OverflowError, "float": OK}
FLOATS = {"float": OK}
TEXTS = {"char *": OK, "char const *": OK}
NULLS = {"char *": OK, "char const *": OK, "float *": OK, "float const *": OK, "void *": OK}

# (id, value made from the live handle h, outcomes that differ from TypeError)
VALUES = [
    ("zero", lambda h: 0, INTS),
    ("bool", lambda h: True, INTS),
    ("int_subclass", lambda h: IntSub(7), INTS),
    ("int32_max", lambda h: 2**31 - 1, INTS),
    ("int32_min", lambda h: -2**31, INTS),
    ("2**31", lambda h: 2**31, WIDE_INTS),
    ("-2**31-1", lambda h: -2**31 - 1, WIDE_INTS),
    ("2**40", lambda h: 2**40, WIDE_INTS),
    ("10**400", lambda h: 10**400, {"int": OverflowError, "int32_t": OverflowError}),
    ("float", lambda h: 1.5, FLOATS),
    ("float_subclass", lambda h: FloatSub(2.5), FLOATS),
    ("float_max", lambda h: 3.4028234663852886e38, FLOATS),
    ("1e39", lambda h: 1e39, {"float": OverflowError}),
    ("-1e39", lambda h: -1e39, {"float": OverflowError}),
    ("inf", lambda h: math.inf, FLOATS),
    ("-inf", lambda h: -math.inf, FLOATS),
    ("nan", lambda h: math.nan, FLOATS),
    ("str", lambda h: "abc", TEXTS),
    ("str_subclass", lambda h: StrSub("abc"), TEXTS),
    ("lone_surrogate", lambda h: "\ud800", {}),
    ("bytes", lambda h: b"abc", {}),
    ("none", lambda h: None, NULLS),
    ("object", lambda h: object(), {}),
    ("handle", lambda h: h, {"void *": OK}),
    ("has_this_handle", lambda h: HasThis(h), {"void *": OK}),
    ("has_this_int", lambda h: HasThis(5), {}),
    ("raising_this", lambda h: RaisingThis(), {}),
]


@pytest.fixture
def configured(make_context):
    yield make_context()
    ryx.RYX_SetSynthVolume(0.0, None)  # the probe of 'float' sets the process-wide volume


@pytest.mark.parametrize("declared", PROBES)
@pytest.mark.parametrize("make_value, outcomes", [v[1:] for v in VALUES],
                         ids=[v[0] for v in VALUES])
def test_conversion_table(configured, declared, make_value, outcomes):
    function, position, call = PROBES[declared]
    outcome = outcomes.get(declared, TypeError)
    value = make_value(configured)
    if outcome == OK:
        call(value, configured)
        return
    with pytest.raises(outcome) as error:
        call(value, configured)
    assert type(error.value) is outcome
    assert str(error.value) == f"in method '{function}', argument {position} of type '{declared}'"


def test_first_failing_argument_is_reported(configured):
    with pytest.raises(TypeError, match="argument 1 of type 'int'$"):
        ryx.RYX_Configure(2.0, "x", "y", "z")
    with pytest.raises(OverflowError, match="argument 3 of type 'int32_t'$"):
        ryx.RYX_Configure(2, 44100, 2**31, "z")
    with pytest.raises(TypeError, match="'RYX_Configure', argument 4 of type 'void \\*'$"):
        ryx.RYX_Configure(2, 44100, 1024, "handle")


@pytest.mark.parametrize("melody", ["a1b", bytearray(b"a1b"), memoryview(b"a1b"), None, 3])
def test_melody_must_be_bytes(configured, melody):
    with pytest.raises(TypeError) as error:
        ryx.RYX_EncodeDataToAudioBuffer("a1b2c3d4e", 9, 2, melody, 3, configured)
    assert "in method" not in str(error.value)
    assert "bytes" in str(error.value)


class BytesSub(bytes):
    pass


@pytest.mark.parametrize("melody", [b"a1b", BytesSub(b"a1b"), b"a\x00b"])
def test_melody_accepts_bytes_and_subclasses(configured, melody):
    assert ryx.RYX_EncodeDataToAudioBuffer("a1b2c3d4e", 9, 2, melody, 3, configured) > 0


def test_int_sample_rate_is_taken_as_float(configured):
    assert ryx.RYX_Configure(2, 44100, 1024, configured) == 0
    assert ryx.RYX_EncodeDataToAudioBuffer("a1b2c3d4e", 9, 0, b"", 0, configured) == 92160


def test_bool_mode_is_mode_one(configured):
    assert ryx.RYX_Configure(True, 44100, 1024, configured) == -1


def test_float_reaches_the_library_in_single_precision(configured):
    # 999.99999999 rounds to 1000.0f, the lowest rate the library configures; 999.9999 does not.
    assert ryx.RYX_Configure(2, 999.99999999, 1024, configured) == 0
    assert ryx.RYX_Configure(2, 999.9999, 1024, configured) == -1


@pytest.mark.parametrize("rate", [math.inf, -math.inf, math.nan])
def test_non_finite_sample_rates_convert_and_the_library_refuses_them(configured, rate):
    assert ryx.RYX_Configure(2, rate, 1024, configured) == -1


@given(st.integers(min_value=-2**70, max_value=2**70))
def test_int_range_boundary(value):
    if -2**31 <= value < 2**31:
        assert ryx.RYX_SetSynthMode(value, None) == 0
    else:
        with pytest.raises(OverflowError):
            ryx.RYX_SetSynthMode(value, None)


@given(st.floats(allow_nan=True, allow_infinity=True))
def test_float_range_boundary(value):
    try:
        if math.isfinite(value) and abs(value) > float(np.finfo(np.float32).max):
            with pytest.raises(OverflowError):
                ryx.RYX_SetSynthVolume(value, None)
        else:
            assert ryx.RYX_SetSynthVolume(value, None) == 0
    finally:
        ryx.RYX_SetSynthVolume(0.0, None)
