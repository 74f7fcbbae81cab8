"""Payloads: 1 to 4096 bytes of anything as frames of tones, and back.

A payload is cut into frames of 50 bytes with a CRC-32 over the whole and one parity frame for
every nine data frames: any frames up to the parity count may be lost and the payload is still
delivered whole. It is delivered whole (``ok``) or reported failed, never changed. Payloads and
the nine-character texts share the air without being taken for each other: :func:`decode` finds
texts only, :func:`decode_payloads` payloads only.
"""

from __future__ import annotations

from collections.abc import Iterable
from dataclasses import dataclass
from typing import Any, Callable, Optional, Union

import numpy as np
import numpy.typing as npt

from . import _core
from ._codec import _band_args, _Receiver, run_blocks
from ._modes import (DEFAULT_CUSTOM_BASE_HZ, DEFAULT_CUSTOM_STEP, ModeLike, PLAN_NAMES,
                     check_rate, mode_id)
from ._resample import convert

#: Profiles by name: "fast" (short symbols, for a quiet room or a cable) and "robust" (longer
#: symbols hopping between tone sets, for speech, codecs, rooms and clock drift).
PROFILES: tuple[str, ...] = tuple(_core.PROFILES)
#: The largest payload, bytes.
MAX_PAYLOAD_BYTES: int = int(_core.MAX_PAYLOAD_BYTES)

#: Counts beyond this are refused before they reach the core's 32-bit integers.
_COUNT_LIMIT = 1 << 31

PayloadData = Union[bytes, bytearray, memoryview, str]


def profile_name(profile: object) -> str:
    """Check a profile name (``"fast"`` or ``"robust"``, any case) and return it in lower
    case; ValueError naming both otherwise."""
    if not isinstance(profile, str):
        raise ValueError(f"unknown profile {profile!r}: use one of {', '.join(PROFILES)}")
    return str(_core.profile_name(profile))


def payload_bytes(data: object) -> bytes:
    """The bytes of a payload: bytes-like objects as they are, text as UTF-8. TypeError for
    anything else; the size is checked where the payload is encoded."""
    if isinstance(data, str):
        return data.encode("utf-8")
    if isinstance(data, (bytes, bytearray)):
        return bytes(data)
    if isinstance(data, memoryview):
        return data.tobytes()
    raise TypeError(f"data must be bytes, bytearray, memoryview or str, not "
                    f"{type(data).__name__}")


def payload_rate(mode: ModeLike, sample_rate: float,
                 custom_base_hz: float = DEFAULT_CUSTOM_BASE_HZ,
                 custom_step: int = DEFAULT_CUSTOM_STEP, preset: Optional[str] = None,
                 profile: Optional[str] = None) -> float:
    """The rate payloads are made (with a ``profile``) or heard (without: a decoder hears both)
    at for audio at ``sample_rate``: :func:`ryxsound.plan_rate`'s rule, asking how high the
    payloads' own tones reach rather than the text plan's band. Audible payloads (1.2..5.9 kHz)
    at 16000 Hz and the phone preset's at 8000 Hz are made and heard at 44100 Hz and converted.
    ``"all"`` sends the non-audible plan.

    Raises
    ------
    ValueError
        When audio at ``sample_rate`` cannot hold the payloads, naming their band and the rate.
    """
    rate = check_rate(sample_rate)
    chosen = "" if profile is None else profile_name(profile)
    return float(_core.payload_rate(mode_id(mode), rate, float(custom_base_hz), int(custom_step),
                                    preset or "", chosen))


def _sending_band(mode: Optional[ModeLike], preset: Optional[str],
                  custom_base_hz: Optional[float], custom_step: Optional[int],
                  sample_rate: float, profile: str) -> tuple[int, float, int, float, float]:
    """Mode number, custom band, the caller's rate and the plan rate a payload in ``profile`` is
    synthesised at."""
    name, mid, base, step = _band_args(mode, "audible", preset, custom_base_hz, custom_step)
    rate = check_rate(sample_rate)
    return mid, base, step, rate, payload_rate(name, rate, base, step, preset, profile)


@dataclass(frozen=True)
class PayloadShape:
    """How a payload is sent.

    Attributes
    ----------
    data_frames, parity_frames : int
        Frames of data (``ceil((size + 4) / 50)``) and of parity (one per nine data frames):
        any ``data_frames`` of them deliver the payload.
    frame_samples, total_samples : int
        One frame and the whole transmission (every frame once), in samples at the rate asked
        for (rounded when the audio is made at another rate and converted).
    seconds : float
        Time on air.
    channels : int
        Tones sounding at once (1..3).
    symbol_seconds : float
        One symbol.
    """

    data_frames: int
    parity_frames: int
    frame_samples: int
    total_samples: int
    seconds: float
    channels: int
    symbol_seconds: float


def payload_shape(size: int, *, profile: str = "robust", mode: Optional[ModeLike] = None,
                  sample_rate: float = 44100, preset: Optional[str] = None,
                  custom_base_hz: Optional[float] = None,
                  custom_step: Optional[int] = None) -> PayloadShape:
    """How a payload of ``size`` bytes is sent in a profile and mode (default ``"audible"``) at
    a sample rate: its frames, their length and the time on air.

    Raises
    ------
    TypeError
        For a size that is not a whole number.
    ValueError
        For a size outside 1..4096, an unknown profile, mode or preset, or a rate whose band
        cannot carry the profile.
    """
    if isinstance(size, bool) or not isinstance(size, (int, np.integer)):
        raise TypeError(f"size must be a whole number of bytes, not {type(size).__name__}")
    chosen = profile_name(profile)
    mid, base, step, rate, run_at = _sending_band(mode, preset, custom_base_hz, custom_step,
                                                  sample_rate, chosen)
    if not 0 <= size < _COUNT_LIMIT:
        raise ValueError(f"payload size {int(size)} is not a count of bytes")
    shape = _core.payload_shape(int(size), chosen, mid, run_at, base, step)
    ratio = rate / run_at
    return PayloadShape(data_frames=shape.data_frames, parity_frames=shape.parity_frames,
                        frame_samples=int(round(shape.frame_samples * ratio)),
                        total_samples=int(round(shape.total_samples * ratio)),
                        seconds=float(shape.seconds), channels=shape.channels,
                        symbol_seconds=float(shape.symbol_seconds))


def encode_payload(data: PayloadData, *, profile: str = "robust",
                   mode: Optional[ModeLike] = None, sample_rate: float = 44100, repeat: int = 1,
                   preset: Optional[str] = None, custom_base_hz: Optional[float] = None,
                   custom_step: Optional[int] = None) -> npt.NDArray[np.float32]:
    """Encode 1 to 4096 bytes as one payload transmission.

    Parameters
    ----------
    data : bytes, bytearray, memoryview or str
        The payload; text is sent as UTF-8.
    profile : str
        ``"robust"`` (default: 140 bytes in 12.3 s in the audible plan, holds in speech, codecs
        and rooms) or ``"fast"`` (140 bytes in 4.3 s, for a quiet room or a cable).
    mode : str or int, optional
        As for :func:`ryxsound.encode` (default ``"audible"``). The narrow plans (non-audible,
        compression, custom, the phone preset) carry one tone at a time and are slower.
    sample_rate : float
        Hz; the payload is made at the plan rate (see :func:`ryxsound.payload_rate`) and converted.
    repeat : int
        Send it that many times back to back (1..16).
    preset, custom_base_hz, custom_step
        As for :func:`ryxsound.encode`.

    Returns
    -------
    numpy.ndarray
        float32 mono samples, within -1..1.

    Raises
    ------
    TypeError
        For data of another type, or a repeat that is not a whole number.
    ValueError
        For an empty payload or one over 4096 bytes, an unknown profile, mode or preset, a
        repeat outside 1..16, or a rate whose band cannot carry the profile.
    """
    payload = payload_bytes(data)
    if isinstance(repeat, bool) or not isinstance(repeat, (int, np.integer)):
        raise TypeError(f"repeat must be a whole number, not {type(repeat).__name__}")
    chosen = profile_name(profile)
    mid, base, step, rate, run_at = _sending_band(mode, preset, custom_base_hz, custom_step,
                                                  sample_rate, chosen)
    if not -_COUNT_LIMIT < repeat < _COUNT_LIMIT:
        raise ValueError(f"repeat {int(repeat)} is not a count of transmissions")
    audio = _core.encode_payload(payload, chosen, mid, run_at, base, step, int(repeat))
    return convert(audio, run_at, rate)


@dataclass(frozen=True)
class Payload:
    """One payload found in audio.

    Attributes
    ----------
    data : bytes
        The payload; empty unless ``ok``.
    ok : bool
        Every byte was recovered and the CRC-32 matched. A payload is never delivered changed:
        when ``ok`` is False, ``data`` is empty.
    profile : str
        ``"fast"`` or ``"robust"``.
    mode : str
        The plan it was sent in: ``"audible"``, ``"nonaudible"``, ``"compression"`` or
        ``"custom"``.
    start, end : int
        Sample offsets of the first frame heard and just after the last one.
    frames_heard, frames_total, frames_needed : int
        Distinct frames decoded, frames sent (data and parity), and the data frames: any this
        many frames deliver it.
    size : int
        The payload's length in bytes, as its frames say.
    confidence : float
        0..1, mean over the frames heard, times the share of the needed frames heard when fewer
        were (a payload cut short is never certain).
    tone_to_band_db, level_dbfs : float
        As for :class:`ryxsound.Message`.
    """

    data: bytes
    ok: bool
    profile: str
    mode: str
    start: int
    end: int
    frames_heard: int
    frames_total: int
    frames_needed: int
    size: int
    confidence: float
    tone_to_band_db: float
    level_dbfs: float

    @property
    def text(self) -> Optional[str]:
        """The payload as UTF-8 text, or None when it failed or is not UTF-8."""
        if not self.ok:
            return None
        try:
            return self.data.decode("utf-8")
        except UnicodeDecodeError:
            return None


@dataclass(frozen=True)
class PayloadProgress:
    """A payload whose frames are arriving (see :meth:`PayloadDecoder.progress`).

    Attributes
    ----------
    profile, mode : str
    size : int
        Bytes.
    frames_heard, frames_needed, frames_total : int
        Distinct frames so far, the frames that deliver it, the frames sent.
    last_end : int
        Sample offset just after the last frame heard.
    """

    profile: str
    mode: str
    size: int
    frames_heard: int
    frames_needed: int
    frames_total: int
    last_end: int


def _payload(p: Any) -> Payload:
    return Payload(data=bytes(p.data), ok=bool(p.ok), profile=str(p.profile),
                   mode=PLAN_NAMES[p.plan], start=int(p.start), end=int(p.end),
                   frames_heard=int(p.frames_heard), frames_total=int(p.frames_total),
                   frames_needed=int(p.frames_needed), size=int(p.size),
                   confidence=float(p.confidence), tone_to_band_db=float(p.tone_to_band_db),
                   level_dbfs=float(p.level_dbfs))


class PayloadDecoder(_Receiver[Payload]):
    """Streaming payload receiver: feed captured audio in chunks of any size, collect payloads.

    Listens for both profiles. Each payload is reported once: as soon as enough of its frames
    were heard (``ok``), or failed when its frames stop before that.

    Parameters
    ----------
    sample_rate : float
        Capture rate in Hz; other rates than the plan's are resampled as for
        :class:`ryxsound.Decoder`, and offsets stay in the caller's samples.
    mode : str or int, optional
        The plans to listen for (default ``"all"``: audible, non-audible and compression).
    preset, custom_base_hz, custom_step, resample, channels_first
        As for :class:`ryxsound.Decoder`.

    Raises
    ------
    ValueError
        For an unknown mode or preset, an unsupported rate, or a plan that does not fit it.
    """

    def __init__(self, sample_rate: float = 44100, *, mode: Optional[ModeLike] = None,
                 preset: Optional[str] = None, custom_base_hz: Optional[float] = None,
                 custom_step: Optional[int] = None, resample: bool = True,
                 channels_first: bool = False):
        super().__init__(mode, sample_rate, "all", custom_base_hz, custom_step, preset,
                         resample, channels_first)

    def _plan_rate(self, rate: float, base: float, step: int, preset: Optional[str]) -> float:
        return payload_rate(self._name, rate, base, step, preset)

    def _start(self, mode_id: int, rate: float, base: float, step: int) -> _core.PayloadDecoder:
        return _core.PayloadDecoder(mode_id, rate, base, step)

    def _record(self, found: Any) -> Payload:
        return _payload(found)

    def feed(self, samples: npt.ArrayLike) -> list[Payload]:
        """Feed captured samples (any type :meth:`ryxsound.Decoder.feed` takes) and return the
        payloads they complete, in order; usually empty. ValueError when closed."""
        return super().feed(samples)

    def flush(self) -> list[Payload]:
        """Finish: decode the frames still in progress and report every payload not yet
        reported."""
        return super().flush()

    def progress(self) -> list[PayloadProgress]:
        """The payloads whose frames are arriving, not yet reported."""
        return [PayloadProgress(profile=str(p.profile), mode=PLAN_NAMES[p.plan],
                                size=int(p.size), frames_heard=int(p.frames_heard),
                                frames_needed=int(p.frames_needed),
                                frames_total=int(p.frames_total),
                                last_end=self._to_input(p.last_end))
                for p in self._live().progress()]

    def __enter__(self) -> "PayloadDecoder":
        return self

    def __exit__(self, *exc: object) -> None:
        self.close()

    def __repr__(self) -> str:
        state = "closed" if self.closed else f"position={self.position}"
        return (f"<ryxsound.PayloadDecoder mode={self._name!r} sample_rate={self._rate:g} "
                f"{state}>")


def decode_payload_blocks(blocks: Iterable[npt.ArrayLike], sample_rate: float, *,
                          mode: Optional[ModeLike] = None, preset: Optional[str] = None,
                          custom_base_hz: Optional[float] = None,
                          custom_step: Optional[int] = None, resample: bool = True,
                          channels_first: bool = False,
                          progress: Optional[Callable[[int], None]] = None) -> list[Payload]:
    """Find every payload in a recording given as consecutive blocks (as
    :func:`decode_payloads` does a whole array); ``progress`` is called with the samples
    decoded so far after every block."""
    rx = PayloadDecoder(sample_rate, mode=mode, preset=preset, custom_base_hz=custom_base_hz,
                        custom_step=custom_step, resample=resample)
    return run_blocks(rx, blocks, channels_first, progress)


def decode_payloads(samples: npt.ArrayLike, sample_rate: float, *,
                    mode: Optional[ModeLike] = None, preset: Optional[str] = None,
                    custom_base_hz: Optional[float] = None, custom_step: Optional[int] = None,
                    resample: bool = True, channels_first: bool = False) -> list[Payload]:
    """Find every payload in a whole recording.

    Parameters
    ----------
    samples : array_like
        As for :func:`ryxsound.decode`.
    sample_rate : float
        Hz.
    mode : str or int, optional
        The plans to listen for (default ``"all"``).
    preset, custom_base_hz, custom_step, resample, channels_first
        As for :class:`PayloadDecoder`.

    Returns
    -------
    list of Payload
        In stream order, intact ones (``ok``) and failed ones; offsets are sample offsets into
        ``samples``. Texts are not reported here (see :func:`ryxsound.decode`).
    """
    return decode_payload_blocks([samples], sample_rate, mode=mode, preset=preset,
                                 custom_base_hz=custom_base_hz, custom_step=custom_step,
                                 resample=resample, channels_first=channels_first)
