"""Importing _RyxSDK: its namespace, its constants, and the refusal of an unusable numpy."""

import ast
import pathlib

import pytest

import _RyxSDK as ryx
from conftest import run_python

API_ORDER = [
    "_pointer_tags", "RYX_Create", "RYX_Destroy", "RYX_GetVersion", "RYX_GetVersionInfo",
    "RYX_Configure", "RYX_SetAudioSignature", "RYX_EncodeDataToAudioBuffer",
    "RYX_GetEncodedAudioBuffer", "RYX_ResetEncodedAudioBuffer", "RYX_DecodeAudioBuffer",
    "RYX_GetDecodedData", "RYX_GetConfidence", "RYX_GetConfidenceError", "RYX_GetConfidenceNoise",
    "RYX_GetReceivedRyxsVolume", "RYX_GetDecodedMode", "RYX_SetCustomBaseFreq",
    "RYX_GetDecodingBeginFreq", "RYX_GetDecodingEndFreq", "RYX_SetSynthMode",
    "RYX_SetSynthVolume", "RYX_GetSpectrum", "RYX_PyDecodeAudioBuffer", "RYX_PyGetDecodedData",
    "RYX_PyGetEncodedAudioBuffer",
]


@pytest.mark.parametrize("name, value", [
    ("RYX_MODE_AUDIBLE", 2), ("RYX_MODE_NONAUDIBLE", 3), ("RYX_MODE_COMPRESSION", 4),
    ("RYX_MODE_ALL", 5), ("RYX_MODE_CUSTOM", 6),
])
def test_mode_constants(name, value):
    assert type(getattr(ryx, name)) is int
    assert getattr(ryx, name) == value


def test_functions_are_published_in_table_order_without_docstrings():
    functions = [name for name, value in vars(ryx).items() if callable(value) and
                 type(value).__name__ == "builtin_function_or_method"]
    assert functions == API_ORDER
    assert ryx.__doc__ is None
    assert all(getattr(ryx, name).__doc__ is None for name in API_ORDER)


def test_version_texts():
    assert ryx.RYX_GetVersion() == "RyxCoreLib version 1.0.0 [PyRyxSDK]"
    assert ryx.RYX_GetVersionInfo("x" * 19) == 19


def test_binding_entry_lists_pointer_tags():
    tags = ryx._pointer_tags()
    assert {"void *", "char *", "float *"} <= set(tags)


# Each case plants a fake numpy.core._multiarray_umath (numpy itself is imported first, so
# that the fake is the only thing the module's import finds) and imports _RyxSDK.
FAKE_NUMPY = r'''
import ctypes, sys, types
import numpy

fake = types.ModuleType("numpy.core._multiarray_umath")
API = ctypes.pythonapi
API.PyCapsule_New.restype = ctypes.py_object
API.PyCapsule_New.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_void_p]
Version = ctypes.CFUNCTYPE(ctypes.c_uint)
Endian = ctypes.CFUNCTYPE(ctypes.c_int)


def table(abi=0x1000009, feature=0x10, endian=1):
    """A function table whose entries 0, 211 and 210 report these values."""
    global KEEP
    entries = (ctypes.c_void_p * 300)()
    KEEP = [Version(lambda: abi), Version(lambda: feature), Endian(lambda: endian), entries]
    entries[0] = ctypes.cast(KEEP[0], ctypes.c_void_p).value
    entries[211] = ctypes.cast(KEEP[1], ctypes.c_void_p).value
    entries[210] = ctypes.cast(KEEP[2], ctypes.c_void_p).value
    return API.PyCapsule_New(ctypes.addressof(entries), None, None)


def null_capsule():
    """A capsule whose pointer is null: PyCapsule_New refuses null, so clear the field."""
    capsule = API.PyCapsule_New(ctypes.addressof(ctypes.c_int(1)), None, None)
    pointer_field = id(capsule) + ctypes.sizeof(ctypes.c_ssize_t) + ctypes.sizeof(ctypes.c_void_p)
    ctypes.c_void_p.from_address(pointer_field).value = None
    return capsule

SETUP

try:
    import _RyxSDK
except ImportError as error:
    print("ImportError:", error)
'''

NUMPY_FAILURES = [
    ("import_fails", 'sys.modules["numpy.core._multiarray_umath"] = None',
     "ModuleNotFoundError: import of numpy.core._multiarray_umath halted; None in sys.modules"),
    ("no_api", 'sys.modules[fake.__name__] = fake',
     "AttributeError: _ARRAY_API not found"),
    ("not_capsule", 'fake._ARRAY_API = object(); sys.modules[fake.__name__] = fake',
     "RuntimeError: _ARRAY_API is not PyCapsule object"),
    ("null_capsule", 'fake._ARRAY_API = null_capsule(); sys.modules[fake.__name__] = fake',
     "RuntimeError: _ARRAY_API is NULL pointer"),
    ("wrong_abi", 'fake._ARRAY_API = table(abi=0x2000000); sys.modules[fake.__name__] = fake',
     "RuntimeError: module compiled against ABI version 0x1000009 but this version of numpy "
     "is 0x2000000"),
    ("old_api", 'fake._ARRAY_API = table(feature=0xe); sys.modules[fake.__name__] = fake',
     "RuntimeError: module compiled against API version 0xf but this version of numpy is 0xe"),
    ("unknown_endian", 'fake._ARRAY_API = table(endian=0); sys.modules[fake.__name__] = fake',
     "RuntimeError: FATAL: module compiled as unknown endian"),
    ("big_endian", 'fake._ARRAY_API = table(endian=2); sys.modules[fake.__name__] = fake',
     "RuntimeError: FATAL: module compiled as little endian, but detected different "
     "endianness at runtime"),
]


@pytest.mark.parametrize("setup, cause", [case[1:] for case in NUMPY_FAILURES],
                         ids=[case[0] for case in NUMPY_FAILURES])
def test_unusable_numpy_fails_the_import(setup, cause):
    result = run_python(FAKE_NUMPY.replace("SETUP", setup))
    assert "ImportError: numpy.core.multiarray failed to import" in result.stdout
    assert result.stderr.strip().splitlines()[-1] == cause


def test_fake_table_with_good_versions_is_accepted():
    # The same fake machinery with every check passing imports (the table is never used).
    result = run_python(FAKE_NUMPY.replace(
        "SETUP", 'fake._ARRAY_API = table(); sys.modules[fake.__name__] = fake') +
        "print(_RyxSDK.RYX_MODE_CUSTOM)")
    assert result.stdout.strip() == "6"
    assert result.stderr == ""


def test_type_stub_declares_every_function_and_constant():
    stub = pathlib.Path(__file__).parents[2] / "python" / "_RyxSDK" / "_RyxSDK.pyi"
    tree = ast.parse(stub.read_text())
    functions = [node.name for node in tree.body if isinstance(node, ast.FunctionDef)]
    constants = {node.target.id for node in tree.body if isinstance(node, ast.AnnAssign)}
    assert functions == API_ORDER
    assert {name for name in vars(ryx) if name.startswith("RYX_MODE_")} <= constants
