"""The raw-buffer functions given what Python can pass: a str for a 'char *' output, None for a
'float *', and text and melody lengths that disagree with the objects passed."""

import numpy as np
import pytest

import _RyxSDK as ryx
from conftest import SAMPLES_44100, TEXT, read_out, run_python


@pytest.mark.parametrize("text", ["", "x", "x" * 19, "é" * 40])
def test_version_info_writes_into_a_private_buffer_of_any_length(text):
    # The scratch copy is large enough whatever the str's length; the caller's str is unchanged.
    result = run_python(f'''
        import _RyxSDK as ryx
        text = {text!r}
        print(ryx.RYX_GetVersionInfo(text), text == {text!r})
        ''')
    assert result.stdout.split() == ["19", "True"]


def test_char_outputs_given_none_get_the_failure_value(make_context):
    assert ryx.RYX_GetVersionInfo(None) == -1
    assert ryx.RYX_GetDecodedData(None, make_context()) == -1


def test_decoded_data_into_a_short_str_before_any_message():
    result = run_python('''
        import _RyxSDK as ryx
        h = ryx.RYX_Create()
        ryx.RYX_Configure(2, 44100, 1024, h)
        print(ryx.RYX_GetDecodedData("", h), ryx.RYX_PyGetDecodedData(h))
        ''')
    assert result.stdout.strip() == "-1 (-1, '')"


def test_float_buffers_given_none_do_nothing(make_context, capfd):
    h = make_context(buffer_size=1000)
    assert ryx.RYX_EncodeDataToAudioBuffer(TEXT, 9, 0, b"", 0, h) == SAMPLES_44100
    assert ryx.RYX_GetSpectrum(None, h) == 0
    assert ryx.RYX_DecodeAudioBuffer(None, 1024, h) == -1
    assert ryx.RYX_GetEncodedAudioBuffer(None, h) == 0
    # Nothing was read out: the first slice is still the first 1000 samples.
    first = np.empty(1000, np.float32)
    assert ryx.RYX_PyGetEncodedAudioBuffer(first, h) == 1000
    assert ryx.RYX_ResetEncodedAudioBuffer(h) == 0
    assert np.array_equal(read_out(h)[:1000], first)
    capfd.readouterr()


@pytest.mark.parametrize("text, length, expected", [
    (TEXT, 9, SAMPLES_44100),
    (TEXT + "vv", 9, SAMPLES_44100),  # the first nine characters
    (TEXT, 10, 0),                    # more than the text holds
    (TEXT, 2**31 - 1, 0),
    (TEXT, -1, 0),
    (None, 9, 0),
    (None, 0, 0),
    ("a1b2c3d4é", 10, 0),             # ten UTF-8 bytes, one outside the alphabet
])
def test_text_length_is_held_to_the_text(make_context, text, length, expected):
    h = make_context()
    assert ryx.RYX_EncodeDataToAudioBuffer(text, length, 0, b"", 0, h) == expected


def test_refused_text_leaves_no_audio(make_context, capfd):
    h = make_context()
    assert ryx.RYX_EncodeDataToAudioBuffer(TEXT, 9, 0, b"", 0, h) == SAMPLES_44100
    assert ryx.RYX_EncodeDataToAudioBuffer(TEXT, 50, 0, b"", 0, h) == 0
    assert ryx.RYX_PyGetEncodedAudioBuffer(np.zeros(1024, np.float32), h) == 0
    capfd.readouterr()


@pytest.mark.parametrize("melody_length", [1000, 2**31 - 1, -5])
def test_melody_length_is_held_to_the_bytes(melody_length):
    # Reading beyond the bytes object would be out of bounds: probe in a subprocess.
    result = run_python(f'''
        import _RyxSDK as ryx
        h = ryx.RYX_Create()
        ryx.RYX_Configure(2, 44100, 1024, h)
        print(ryx.RYX_EncodeDataToAudioBuffer("{TEXT}", 9, 2, b"a1v", {melody_length}, h))
        ''')
    assert result.stdout.strip() == str(SAMPLES_44100)


def test_melody_beyond_the_bytes_sounds_like_the_bytes_there_are(make_context, capfd):
    exact, longer = make_context(), make_context()
    ryx.RYX_EncodeDataToAudioBuffer(TEXT, 9, 2, b"a1v", 3, exact)
    ryx.RYX_EncodeDataToAudioBuffer(TEXT, 9, 2, b"a1v", 500, longer)
    assert np.array_equal(read_out(exact), read_out(longer))
    capfd.readouterr()
