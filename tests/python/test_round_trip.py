"""Whole transmissions through the module: encode, read out with RYX_PyGetEncodedAudioBuffer,
pad with silence, decode with RYX_PyDecodeAudioBuffer, fetch with RYX_PyGetDecodedData."""

import pytest

import _RyxSDK as ryx
from conftest import decode, padded, read_out

MODES = {
    "audible": ryx.RYX_MODE_AUDIBLE,
    "nonaudible": ryx.RYX_MODE_NONAUDIBLE,
    "compression": ryx.RYX_MODE_COMPRESSION,
    "all": ryx.RYX_MODE_ALL,
    "custom": ryx.RYX_MODE_CUSTOM,
}
TEXTS = ["a1b2c3d4e", "000000000", "vvvvvvvvv", "012345678", "q7rs8tu9v"]


def transmit(make_context, send_mode, receive_mode, rate, text):
    sender = make_context(send_mode, rate, 1024)
    assert ryx.RYX_EncodeDataToAudioBuffer(text, 9, 0, b"", 0, sender) > 0
    signal = padded(read_out(sender), rate)
    receiver = make_context(receive_mode, rate, 1024)
    events, decoded = decode(receiver, signal)
    return receiver, events, decoded


@pytest.mark.parametrize("rate", [44100, 48000])
@pytest.mark.parametrize("mode", MODES.values(), ids=MODES.keys())
def test_every_mode_round_trips(make_context, capfd, mode, rate):
    text = TEXTS[mode % len(TEXTS)]
    receiver, events, decoded = transmit(make_context, mode, mode, rate, text)
    capfd.readouterr()
    assert decoded == (9, text)
    assert events[0] == -2 and events[-1] == -3
    assert 0.0 < ryx.RYX_GetConfidence(receiver) <= 1.0


@pytest.mark.parametrize("rate", [44100, 48000])
@pytest.mark.parametrize("send_mode, plan", [
    (ryx.RYX_MODE_AUDIBLE, 0), (ryx.RYX_MODE_NONAUDIBLE, 1), (ryx.RYX_MODE_COMPRESSION, 2),
])
def test_all_modes_decoder_tells_the_plans_apart(make_context, capfd, send_mode, plan, rate):
    receiver, _, decoded = transmit(make_context, send_mode, ryx.RYX_MODE_ALL, rate, "k3m4n5p6q")
    capfd.readouterr()
    assert decoded == (9, "k3m4n5p6q")
    assert ryx.RYX_GetDecodedMode(receiver) == plan


def test_uppercase_text_arrives_in_lowercase(make_context, capfd):
    _, _, decoded = transmit(make_context, ryx.RYX_MODE_AUDIBLE, ryx.RYX_MODE_AUDIBLE, 44100,
                             "A1B2C3D4E")
    capfd.readouterr()
    assert decoded == (9, "a1b2c3d4e")


@pytest.mark.parametrize("other_rate", [22050, 48000, 11025])
def test_a_context_at_another_rate_leaves_the_first_ones_audio_intact(make_context, capfd,
                                                                      other_rate):
    sender = make_context(ryx.RYX_MODE_AUDIBLE, 44100, 1024)
    make_context(ryx.RYX_MODE_AUDIBLE, other_rate, 1024)  # built after the sender
    assert ryx.RYX_EncodeDataToAudioBuffer("hello0123", 9, 0, b"", 0, sender) > 0
    signal = padded(read_out(sender), 44100)
    _, decoded = decode(make_context(ryx.RYX_MODE_AUDIBLE, 44100, 1024), signal)
    capfd.readouterr()
    assert decoded == (9, "hello0123")
