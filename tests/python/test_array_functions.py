"""The array functions: samples in from anything numpy converts, samples out into the caller's
float32 array, the decoded text as a tuple, and the diagnostic line of every read-out."""

import contextlib
import io

import numpy as np
import pytest

import _RyxSDK as ryx
from conftest import SAMPLES_44100, TEXT, padded, read_out, run_python

LINE = "RYX_GetEncodedAudioBuffer: result={}\n"


@pytest.fixture
def encoded(make_context):
    """Factory: a Context holding the encoded TEXT, at 44100 Hz with the given buffer size."""
    def make(buffer_size=1024, mode=ryx.RYX_MODE_AUDIBLE):
        h = make_context(mode, 44100, buffer_size)
        assert ryx.RYX_EncodeDataToAudioBuffer(TEXT, 9, 0, b"", 0, h) == SAMPLES_44100
        return h
    return make


def test_read_out_in_slices_of_1024(encoded, capfd):
    h = encoded(1024)
    out = np.full(1024, 7.0, np.float32)
    counts = []
    for _ in range(90):
        out[:] = 7.0
        counts.append(ryx.RYX_PyGetEncodedAudioBuffer(out, h))
        assert not np.any(out == 7.0)  # every element written
    last = out.copy()
    assert counts == [1024] * 90
    assert ryx.RYX_PyGetEncodedAudioBuffer(out, h) == 0
    assert np.array_equal(out, last)
    assert capfd.readouterr().out == LINE.format(1024) * 90 + LINE.format(0)


def test_read_out_in_slices_of_1000_leaves_the_tail(encoded, capfd):
    h = encoded(1000)
    out = np.zeros(1024, np.float32)
    counts = [ryx.RYX_PyGetEncodedAudioBuffer(out, h) for _ in range(92)]
    out[:] = 5.0
    counts.append(ryx.RYX_PyGetEncodedAudioBuffer(out, h))
    assert counts == [1000] * 92 + [160]
    assert np.all(out[160:] == 5.0) and not np.any(out[:160] == 5.0)
    assert capfd.readouterr().out == LINE.format(1000) * 92 + LINE.format(160)


def test_diagnostic_line_bypasses_sys_stdout(encoded, capfd):
    h = encoded()
    captured = io.StringIO()
    with contextlib.redirect_stdout(captured):
        ryx.RYX_PyGetEncodedAudioBuffer(np.zeros(1024, np.float32), h)
    assert captured.getvalue() == ""
    assert capfd.readouterr().out == LINE.format(1024)


def test_reset_reads_the_same_audio_again(encoded, capfd):
    h = encoded()
    first = read_out(h)
    assert len(first) == SAMPLES_44100
    assert ryx.RYX_ResetEncodedAudioBuffer(h) == 0
    assert np.array_equal(read_out(h), first)
    capfd.readouterr()


def unaligned_float32(n):
    raw = np.zeros(4 * n + 1, np.uint8)
    return raw[1:].view(np.float32)


def read_only_float32(n):
    array = np.zeros(n, np.float32)
    array.flags.writeable = False
    return array


BAD_OUTS = {
    "float64": lambda: np.zeros(1024, np.float64),
    "int16": lambda: np.zeros(1024, np.int16),
    "strided": lambda: np.zeros(2048, np.float32)[::2],
    "fortran_2d": lambda: np.zeros((32, 32), np.float32, order="F"),
    "read_only": lambda: read_only_float32(1024),
    "big_endian": lambda: np.zeros(1024, ">f4"),
    "unaligned": lambda: unaligned_float32(1024),
    "list": lambda: [0.0] * 1024,
    "none": lambda: None,
}


@pytest.mark.parametrize("make_out", BAD_OUTS.values(), ids=BAD_OUTS.keys())
def test_unusable_out_is_refused_and_reads_nothing(encoded, capfd, make_out):
    h = encoded()
    with pytest.raises(TypeError) as error:
        ryx.RYX_PyGetEncodedAudioBuffer(make_out(), h)
    assert str(error.value) == ("in method 'RYX_PyGetEncodedAudioBuffer', argument 1: out must "
                                "be a writable, C-contiguous, aligned float32 ndarray")
    assert capfd.readouterr().out == ""  # no line: the library was not asked
    assert len(read_out(h)) == SAMPLES_44100  # the read position did not move
    capfd.readouterr()


def test_c_contiguous_2d_out_is_filled_in_c_order(encoded, capfd):
    h = encoded()
    reference = read_out(h)[:1024]
    ryx.RYX_ResetEncodedAudioBuffer(h)
    out = np.zeros((32, 32), np.float32)
    assert ryx.RYX_PyGetEncodedAudioBuffer(out, h) == 1024
    assert np.array_equal(out.ravel(), reference)
    capfd.readouterr()


@pytest.mark.parametrize("room", [0, 1, 100, 1023])
def test_short_out_receives_only_its_length(encoded, capfd, room):
    h = encoded(1024)
    reference = read_out(h)
    ryx.RYX_ResetEncodedAudioBuffer(h)
    capfd.readouterr()
    short = np.zeros(room, np.float32)
    assert ryx.RYX_PyGetEncodedAudioBuffer(short, h) == room
    assert capfd.readouterr().out == LINE.format(room)
    rest = read_out(h)
    assert np.array_equal(np.concatenate([short, rest]), reference)
    capfd.readouterr()


def test_short_out_probe_does_not_write_past_the_array():
    # Writing bufferSize samples into a shorter array would corrupt memory: subprocess.
    result = run_python(f'''
        import numpy as np
        import _RyxSDK as ryx
        h = ryx.RYX_Create()
        ryx.RYX_Configure(2, 44100, 100000, h)
        ryx.RYX_EncodeDataToAudioBuffer("{TEXT}", 9, 0, b"", 0, h)
        guard = np.full(64, 3.0, np.float32)
        out = guard[:8]
        n = ryx.RYX_PyGetEncodedAudioBuffer(out, h)
        print(n, bool(np.all(guard[8:] == 3.0)))
        ''')
    assert result.stdout.splitlines()[-1] == "8 True"


INPUTS = {
    "list": lambda s: s.tolist(),
    "tuple": lambda s: tuple(s.tolist()),
    "float64": lambda s: s.astype(np.float64),
    "int16": lambda s: s,
    "float32": lambda s: s.astype(np.float32),
    "float32_2d": lambda s: s.astype(np.float32).reshape(64, -1),
    "big_endian": lambda s: s.astype(">f4"),
    "strided": lambda s: np.repeat(s.astype(np.float32), 2)[::2],
}


def decode_statuses(handle, samples, total):
    """Statuses of one call on `samples` followed by count-0 drains."""
    statuses = [ryx.RYX_PyDecodeAudioBuffer(samples, total, handle)]
    while statuses[-1] != -1 and len(statuses) < 50:
        statuses.append(ryx.RYX_PyDecodeAudioBuffer([], 0, handle))
    return statuses


@pytest.mark.parametrize("convert", INPUTS.values(), ids=INPUTS.keys())
def test_inputs_of_any_numeric_type_decode_the_same(make_context, capfd, convert):
    # The encoded message, scaled to int16 range, fed once as float32 and once converted.
    sender = make_context(ryx.RYX_MODE_AUDIBLE)
    ryx.RYX_EncodeDataToAudioBuffer(TEXT, 9, 0, b"", 0, sender)
    audio = np.round(padded(read_out(sender), 44100) * 12000).astype(np.int16)
    audio = np.concatenate([audio, np.zeros(-len(audio) % 4096, np.int16)])  # whole chunks
    capfd.readouterr()
    runs = []
    for make_input in (INPUTS["float32"], convert):
        h = make_context(ryx.RYX_MODE_AUDIBLE)
        statuses = []
        for start in range(0, len(audio), 4096):
            piece = audio[start:start + 4096]
            statuses += decode_statuses(h, make_input(piece), len(piece))
        runs.append((statuses, ryx.RYX_GetReceivedRyxsVolume(h), ryx.RYX_GetConfidenceNoise(h)))
    assert -3 in runs[0][0]  # the whole message was heard
    assert runs[0] == runs[1]


def test_float32_input_is_used_without_a_copy(make_context):
    # A copy of an ndarray subclass is made through __array_finalize__; the array itself is not.
    class Tracked(np.ndarray):
        copies = 0

        def __array_finalize__(self, obj):
            if obj is not None:
                Tracked.copies += 1

    h = make_context()
    samples = np.zeros(1024, np.float32).view(Tracked)
    Tracked.copies = 0
    ryx.RYX_PyDecodeAudioBuffer(samples, 1024, h)
    assert Tracked.copies == 0
    ryx.RYX_PyDecodeAudioBuffer(samples.astype(np.float64).view(Tracked), 1024, h)
    assert Tracked.copies > 0


def test_scalar_input_is_one_sample(make_context):
    h = make_context()
    assert ryx.RYX_PyDecodeAudioBuffer(0.0, 1, h) == -1
    with pytest.raises(ValueError):
        ryx.RYX_PyDecodeAudioBuffer(0.0, 2, h)


@pytest.mark.parametrize("size, count", [(0, 1), (10, 11), (1024, 2**31 - 1)])
def test_count_beyond_the_input_is_refused(size, count):
    result = run_python(f'''
        import numpy as np
        import _RyxSDK as ryx
        h = ryx.RYX_Create()
        ryx.RYX_Configure(2, 44100, 1024, h)
        try:
            ryx.RYX_PyDecodeAudioBuffer(np.zeros({size}, np.float32), {count}, h)
        except ValueError as error:
            print(error)
        ''')
    assert result.stdout.strip() == (f"RYX_PyDecodeAudioBuffer: count {count} exceeds the "
                                     f"{size} samples of input")


@pytest.mark.parametrize("count", [-1, -2**31])
def test_negative_count_appends_nothing(make_context, count):
    h = make_context()
    assert ryx.RYX_PyDecodeAudioBuffer(np.ones(1024, np.float32), count, h) == -1


def test_count_as_float_is_refused(make_context):
    with pytest.raises(TypeError) as error:
        ryx.RYX_PyDecodeAudioBuffer(np.zeros(4, np.float32), 4.0, make_context())
    assert str(error.value) == "in method 'RYX_PyDecodeAudioBuffer', argument 2 of type 'int'"
