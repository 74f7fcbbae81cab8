"""Payloads through the ryxsound package: round trips in every plan and profile, frames lost on
purpose, payloads beside texts, and what bad input gets."""

from __future__ import annotations

import re

import numpy as np
import pytest
from hypothesis import HealthCheck, given, settings, strategies as st

import ryxsound

#: The plans a payload can be sent in, as (encode_payload keywords, decoder keywords).
PLANS = {
    "audible": ({"mode": "audible"}, {}),
    "nonaudible": ({"mode": "nonaudible"}, {}),
    "compression": ({"mode": "compression"}, {}),
    "custom": ({"mode": "custom", "custom_base_hz": 9000, "custom_step": 2},
               {"mode": "custom", "custom_base_hz": 9000, "custom_step": 2}),
    "phone": ({"preset": "phone"}, {"preset": "phone"}),
}
SENT_AS = {"phone": "custom"}


def payload_of(size: int, seed: int = 0) -> bytes:
    return np.random.default_rng(seed + size).integers(0, 256, size, dtype=np.uint8).tobytes()


def padded(audio: np.ndarray, rate: float, seconds: float = 0.3) -> np.ndarray:
    pad = np.zeros(int(rate * seconds), dtype=np.float32)
    return np.concatenate([pad, audio, pad])


@pytest.mark.parametrize("rate", [44100, 48000])
@pytest.mark.parametrize("profile", ryxsound.PROFILES)
@pytest.mark.parametrize("plan", PLANS)
@pytest.mark.parametrize("size", [1, 9, 140])
def test_round_trip_in_every_plan_profile_and_rate(plan, profile, rate, size):
    send, listen = PLANS[plan]
    data = payload_of(size)
    audio = ryxsound.encode_payload(data, profile=profile, sample_rate=rate, **send)
    shape = ryxsound.payload_shape(size, profile=profile, sample_rate=rate, **send)
    assert audio.dtype == np.float32 and len(audio) == shape.total_samples
    assert np.max(np.abs(audio)) <= 1.0
    lead = int(0.3 * rate)
    (found,) = ryxsound.decode_payloads(padded(audio, rate), rate, **listen)
    assert (found.ok, found.data, found.size, found.profile) == (True, data, size, profile)
    assert found.mode == SENT_AS.get(plan, plan)
    assert found.frames_total == shape.data_frames + shape.parity_frames
    assert found.frames_needed == shape.data_frames <= found.frames_heard
    # Offsets are the caller's samples: the first frame begins after the lead silence.
    assert abs(found.start - lead) < shape.frame_samples // 20
    assert found.end <= lead + len(audio) + shape.frame_samples // 20


@pytest.mark.parametrize("profile,size", [("fast", 1000), ("robust", 1000), ("fast", 4096),
                                          ("robust", 4096)])
def test_long_payloads_round_trip(profile, size):
    data = payload_of(size)
    audio = ryxsound.encode_payload(data, profile=profile)
    assert [(p.ok, p.data) for p in ryxsound.decode_payloads(audio, 44100)] == [(True, data)]


def test_text_payloads_and_odd_rates_go_through_the_converter():
    """str is sent as UTF-8; a rate the plan is not made at is converted both ways."""
    audio = ryxsound.encode_payload("grüße, 世界", profile="fast", sample_rate=32000)
    shape = ryxsound.payload_shape(len("grüße, 世界".encode()), profile="fast",
                                   sample_rate=32000)
    assert abs(len(audio) - shape.total_samples) <= 2
    (found,) = ryxsound.decode_payloads(padded(audio, 32000), 32000)
    assert found.text == "grüße, 世界" and found.ok
    assert abs(found.start - int(0.3 * 32000)) < shape.frame_samples // 20


def _lose_frames(audio: np.ndarray, frame_samples: int, frames: list[int], how: str,
                 rng: np.random.Generator) -> np.ndarray:
    out = audio.copy()
    for f in frames:
        part = out[f * frame_samples:(f + 1) * frame_samples]
        part[:] = 0.0 if how == "silence" else rng.uniform(-0.5, 0.5, len(part))
    return out


@pytest.mark.parametrize("how", ["silence", "noise"])
@pytest.mark.parametrize("profile,size,lost", [
    ("fast", 1000, [0, 11, 23]),   # 21 data and 3 parity frames: any three may go
    ("fast", 1000, [5, 6, 7]),
    ("robust", 140, [0]),          # 3 data frames and 1 parity frame
    ("robust", 140, [2]),
])
def test_lost_frames_up_to_the_parity_count_deliver_the_payload(profile, size, lost, how):
    rng = np.random.default_rng(7)
    data = payload_of(size)
    shape = ryxsound.payload_shape(size, profile=profile)
    assert len(lost) == shape.parity_frames
    audio = _lose_frames(ryxsound.encode_payload(data, profile=profile), shape.frame_samples,
                         lost, how, rng)
    (found,) = ryxsound.decode_payloads(padded(audio, 44100), 44100)
    assert (found.ok, found.data) == (True, data)


@pytest.mark.parametrize("how", ["silence", "noise"])
@pytest.mark.parametrize("profile,size,lost", [
    ("fast", 1000, [0, 11, 12, 23]),
    ("robust", 140, [1, 3]),
])
def test_one_frame_beyond_the_parity_count_is_reported_failed(profile, size, lost, how):
    rng = np.random.default_rng(8)
    data = payload_of(size)
    shape = ryxsound.payload_shape(size, profile=profile)
    assert len(lost) == shape.parity_frames + 1
    audio = _lose_frames(ryxsound.encode_payload(data, profile=profile), shape.frame_samples,
                         lost, how, rng)
    found = ryxsound.decode_payloads(padded(audio, 44100), 44100)
    assert [(p.ok, p.data, p.size, p.text) for p in found] == [(False, b"", size, None)]
    assert found[0].frames_heard == shape.data_frames + shape.parity_frames - len(lost)


def test_texts_and_payloads_in_one_recording_are_told_apart():
    rate = 44100
    gap = np.zeros(rate // 2, dtype=np.float32)
    data = payload_of(60)
    recording = np.concatenate([gap, ryxsound.encode("hello0123"), gap,
                                ryxsound.encode_payload(data, profile="fast"), gap,
                                ryxsound.encode("v0v0v0v0v", "nonaudible"), gap])
    assert [(m.text, m.ok) for m in ryxsound.decode(recording, rate)] == [
        ("hello0123", True), ("v0v0v0v0v", True)]
    assert [(p.data, p.ok) for p in ryxsound.decode_payloads(recording, rate)] == [(data, True)]


def test_streaming_reports_progress_and_matches_the_whole_recording():
    data = payload_of(140)
    audio = padded(ryxsound.encode_payload(data, profile="fast", mode="nonaudible",
                                           sample_rate=48000, repeat=2), 48000)
    shape = ryxsound.payload_shape(140, profile="fast", mode="nonaudible", sample_rate=48000)
    seen: list[tuple[int, int, int]] = []
    found = []
    with ryxsound.PayloadDecoder(48000) as rx:
        for at in range(0, len(audio), 7919):
            found += rx.feed(audio[at:at + 7919].astype(np.float64))
            seen += [(p.frames_heard, p.frames_needed, p.frames_total) for p in rx.progress()]
        found += rx.flush()
        assert rx.position >= len(audio)
    # Delivered once, as soon as enough frames were heard: the repetition only fills in.
    assert [(p.ok, p.data) for p in found] == [(True, data)]
    assert seen and seen[0][0] >= 1 and all(n == shape.data_frames for _, n, _ in seen)
    assert {t for _, _, t in seen} == {shape.data_frames + shape.parity_frames}
    assert [(p.start, p.end) for p in found] == [
        (p.start, p.end) for p in ryxsound.decode_payloads(audio, 48000)]


@pytest.mark.parametrize("data,ok,text", [
    (b"hi \xe2\x9c\x93", True, "hi \u2713"),
    (b"\xff\xfe", True, None),  # not UTF-8
    (b"", False, None),
])
def test_text_of_a_payload_is_its_intact_utf8(data, ok, text):
    p = ryxsound.Payload(data, ok, "fast", "audible", 0, 1, 2, 2, 1, len(data), 1.0, 10.0, -10.0)
    assert p.text == text
    with pytest.raises(AttributeError):
        p.ok = not ok  # type: ignore[misc]


@pytest.mark.parametrize("call,error,expect", [
    (lambda: ryxsound.encode_payload(b""), ValueError, "payload of 0 bytes: a payload holds "
                                                       "1 to 4096 bytes"),
    (lambda: ryxsound.encode_payload(bytes(4097)), ValueError, "payload of 4097 bytes"),
    (lambda: ryxsound.encode_payload(""), ValueError, "payload of 0 bytes"),
    (lambda: ryxsound.encode_payload(12), TypeError, "not int"),
    (lambda: ryxsound.encode_payload(None), TypeError, "not NoneType"),
    (lambda: ryxsound.encode_payload(np.zeros(4, np.uint8)), TypeError, "not ndarray"),
    (lambda: ryxsound.encode_payload([1, 2]), TypeError, "not list"),
    (lambda: ryxsound.encode_payload(b"x", profile="slow"), ValueError, "unknown profile "
                                                                        "'slow'"),
    (lambda: ryxsound.encode_payload(b"x", profile=None), ValueError, "unknown profile None"),
    (lambda: ryxsound.encode_payload(b"x", sample_rate=0), ValueError, "sample rate 0 Hz"),
    (lambda: ryxsound.encode_payload(b"x", sample_rate=float("nan")), ValueError,
     "sample rate"),
    (lambda: ryxsound.encode_payload(b"x", sample_rate="fast"), ValueError, "sample rate"),
    (lambda: ryxsound.encode_payload(b"x", sample_rate=8000), ValueError,
     "audio at 8000 Hz holds up to 3600 Hz"),
    (lambda: ryxsound.encode_payload(b"x", mode="nonaudible", sample_rate=22050), ValueError,
     "payloads in the nonaudible plan reach 19422.9 Hz"),
    (lambda: ryxsound.encode_payload(b"x", mode="loud"), ValueError, "unknown mode 'loud'"),
    (lambda: ryxsound.encode_payload(b"x", preset="radio"), ValueError, "unknown preset"),
    (lambda: ryxsound.encode_payload(b"x", preset="phone", mode="audible"), ValueError,
     "cannot be combined"),
    (lambda: ryxsound.encode_payload(b"x", custom_step=3), ValueError, "mode 'custom' only"),
    (lambda: ryxsound.encode_payload(b"x", repeat=0), ValueError, "repeat 0 is outside 1..16"),
    (lambda: ryxsound.encode_payload(b"x", repeat=17), ValueError, "outside 1..16"),
    (lambda: ryxsound.encode_payload(b"x", repeat=1 << 40), ValueError, "repeat"),
    (lambda: ryxsound.encode_payload(b"x", repeat=2.0), TypeError, "not float"),
    (lambda: ryxsound.payload_shape(0), ValueError, "payload of 0 bytes"),
    (lambda: ryxsound.payload_shape(-1), ValueError, "not a count of bytes"),
    (lambda: ryxsound.payload_shape(1 << 70), ValueError, "not a count of bytes"),
    (lambda: ryxsound.payload_shape(4097), ValueError, "1 to 4096 bytes"),
    (lambda: ryxsound.payload_shape("10"), TypeError, "not str"),
    (lambda: ryxsound.payload_shape(10, profile="FAST ", sample_rate=-1), ValueError,
     "sample rate"),
    (lambda: ryxsound.PayloadDecoder(0), ValueError, "sample rate 0 Hz"),
    (lambda: ryxsound.PayloadDecoder(44100, mode="all", resample=False, preset="phone"),
     ValueError, "cannot be combined"),
    (lambda: ryxsound.PayloadDecoder(8000, mode="audible", resample=False), ValueError,
     "above half the sample rate of 8000 Hz"),
    (lambda: ryxsound.PayloadDecoder(44100).feed("loud"), TypeError, "not str"),
    (lambda: ryxsound.PayloadDecoder(44100).feed(np.zeros((2, 2, 2))), ValueError,
     "3-dimensional"),
    (lambda: ryxsound.decode_payloads(None, 44100), TypeError, "not NoneType"),
    (lambda: ryxsound.decode_payloads(np.zeros(10), 1e9), ValueError, "sample rate"),
])
def test_bad_input_gets_a_clear_error(call, error, expect):
    with pytest.raises(error, match=re.escape(expect)):
        call()


def test_every_bytes_like_type_sends_the_same_payload():
    data = payload_of(20)
    sent = ryxsound.encode_payload(data, profile="fast")
    for same in (bytearray(data), memoryview(data), memoryview(bytearray(data))[0:20]):
        assert np.array_equal(ryxsound.encode_payload(same, profile="fast"), sent)
    assert np.array_equal(ryxsound.encode_payload("abc", profile="fast"),
                          ryxsound.encode_payload(b"abc", profile="FAST"))


def test_a_closed_decoder_refuses_more_audio():
    rx = ryxsound.PayloadDecoder(44100)
    rx.close()
    rx.close()
    with pytest.raises(ValueError, match="closed"):
        rx.feed(np.zeros(10))
    with pytest.raises(ValueError, match="closed"):
        rx.progress()


@settings(max_examples=40, deadline=None, suppress_health_check=[HealthCheck.too_slow])
@given(st.lists(st.floats(allow_nan=True, allow_infinity=True, width=32), max_size=6000),
       st.sampled_from([np.float32, np.float64, np.int16]),
       st.integers(64, 4096), st.sampled_from([44100, 48000, 22050, 96000]))
def test_arbitrary_samples_never_crash_nor_deliver_a_payload(values, dtype, chunk, rate):
    arr = np.array(values, dtype=np.float64)
    if dtype is np.int16:
        arr = np.nan_to_num(arr, posinf=1, neginf=-1).clip(-1, 1) * 32767
    samples = np.tile(arr.astype(dtype), 1 + 30000 // max(len(arr), 1))
    with ryxsound.PayloadDecoder(rate, mode="audible") as rx:
        found = []
        for at in range(0, len(samples), chunk):
            found += rx.feed(samples[at:at + chunk])
            rx.progress()
        found += rx.flush()
    assert not any(p.ok for p in found)
    assert all(p.data == b"" for p in found)


_TRANSMISSION = ryxsound.encode_payload(payload_of(140), profile="fast")


@settings(max_examples=25, deadline=None)
@given(st.lists(st.tuples(st.integers(0, len(_TRANSMISSION) - 1), st.integers(1, 40000),
                          st.sampled_from(["silence", "noise", "clip", "flip"])),
                min_size=1, max_size=4),
       st.integers(0, 2**32 - 1))
def test_damaged_transmissions_are_delivered_whole_or_failed(damage, seed):
    rng = np.random.default_rng(seed)
    audio = _TRANSMISSION.copy()
    for at, length, how in damage:
        part = audio[at:at + length]
        if how == "silence":
            part[:] = 0
        elif how == "noise":
            part += rng.normal(0, 0.3, len(part)).astype(np.float32)
        elif how == "clip":
            part[:] = np.sign(part)
        else:
            part[:] = -part[::-1]
    for p in ryxsound.decode_payloads(padded(audio, 44100), 44100):
        assert p.data == (payload_of(140) if p.ok else b"")
