"""Encoding and decoding through the extension module ``_RyxSDK``.

Everything here goes through the module's functions; the module's Context handles are created and
destroyed here and never leave this file.
"""

from __future__ import annotations

import contextlib
import ctypes
import dataclasses
import os
import sys
import threading
import weakref
from collections.abc import Callable, Iterable, Iterator
from dataclasses import dataclass
from typing import Any, Optional

import numpy as np
import numpy.typing as npt

import _RyxSDK as _sdk

from ._modes import (
    ALPHABET,
    DECODED_MODE_NAMES,
    DEFAULT_CUSTOM_BASE_HZ,
    DEFAULT_CUSTOM_STEP,
    TEXT_LENGTH,
    TRANSMISSION_SYMBOLS,
    ModeLike,
    Preset,
    check_plan_fits,
    check_rate,
    check_rate_holds_plan,
    mode_id,
    mode_name,
    preset_settings,
    supported_rates,
    symbol_duration,
    window_size,
)
from ._resample import StreamResampler, plan_rate

#: Samples handed to the decoder per call. Small chunks keep the stream position at which an
#: event is reported within one chunk of the frame that caused it (256 samples = 5.8 ms at 44.1
#: kHz), and stay far below what the decoder's sample ring can take (4 windows).
_FEED_CHUNK = 256
#: Statuses of RYX_PyDecodeAudioBuffer.
_NOTHING, _START, _COMPLETE = -1, -2, -3
#: Result of RYX_PyGetDecodedData when the checksum matched.
_CHECKSUM_OK = 9
#: Safety bound on events drained after one call; a healthy decoder yields at most a few.
_MAX_EVENTS_PER_CALL = 100000

_VALID_CHARS = frozenset(ALPHABET + ALPHABET.upper())

# Process-wide state of the core that several Contexts share: the custom plan, the hop steps
# (recomputed from the window length by every construction) and the gain of the random tones.
# Guarded by one lock so that a configuration and the encode or decode that relies on it are not
# interleaved with another thread's.
_core_lock = threading.RLock()
# (base, step) of the custom plan as last stored by this package, None when unknown.
_custom_params: Optional[tuple[float, int]] = None
# Window length of the last construction made by this package, None when unknown.
_last_window: Optional[int] = None


# ---- C standard output ----

def _flush_c_stdout() -> None:
    """Flush the C runtime's buffered streams, so that text the module printed leaves its buffer
    while file descriptor 1 still points where it should."""
    try:
        ctypes.CDLL(None).fflush(None)
    except (OSError, AttributeError, TypeError):  # no C runtime reachable this way: nothing to do
        pass


@contextlib.contextmanager
def _c_stdout_silenced() -> Iterator[None]:
    """Point file descriptor 1 at the null device for the duration of the block.

    RYX_PyGetEncodedAudioBuffer prints a diagnostic line through the C runtime on every call;
    redirecting the descriptor (not ``sys.stdout``) is the only way to keep it off the caller's
    output. ``sys.stdout`` and the C buffers are flushed on both sides of the redirection so that
    nothing of the caller's is lost and nothing of the module's leaks out later. Output written to
    descriptor 1 by other threads during the block is discarded too.
    """
    try:
        sys.stdout.flush()
    except (AttributeError, ValueError, OSError):
        pass
    _flush_c_stdout()
    try:
        saved = os.dup(1)
    except OSError:  # descriptor 1 is closed: the diagnostics go nowhere anyway
        yield
        return
    try:
        devnull = os.open(os.devnull, os.O_WRONLY)
        try:
            os.dup2(devnull, 1)
            try:
                yield
            finally:
                _flush_c_stdout()
                os.dup2(saved, 1)
        finally:
            os.close(devnull)
    finally:
        os.close(saved)


# ---- shared helpers ----

def _custom_settings(mode: str, custom_base_hz: Optional[float],
                     custom_step: Optional[int]) -> tuple[float, int]:
    """Validate the custom-plan arguments; returns (base, step), the defaults when not given."""
    if mode != "custom":
        if custom_base_hz is not None or custom_step is not None:
            raise ValueError(f"custom_base_hz and custom_step apply to mode 'custom' only, "
                             f"not to mode {mode!r}")
        return DEFAULT_CUSTOM_BASE_HZ, DEFAULT_CUSTOM_STEP
    base = DEFAULT_CUSTOM_BASE_HZ if custom_base_hz is None else custom_base_hz
    step = DEFAULT_CUSTOM_STEP if custom_step is None else custom_step
    try:
        base = float(base)
    except (TypeError, ValueError):
        raise ValueError(f"custom_base_hz must be a number, not {custom_base_hz!r}") from None
    if not np.isfinite(base) or base <= 0:
        raise ValueError(f"custom_base_hz must be a positive frequency in Hz, not {base!r}")
    if isinstance(step, bool) or not isinstance(step, (int, np.integer)):
        raise ValueError(f"custom_step must be an int, not {custom_step!r}")
    if not 0 <= int(step) <= 64:
        raise ValueError(f"custom_step must be within 0..64 (hop of step + 2 bins), not {step}")
    return base, int(step)


def _with_preset(mode: Optional[ModeLike], default: str, preset: Optional[str],
                 custom_base_hz: Optional[float], custom_step: Optional[int]) -> tuple[
        ModeLike, Optional[float], Optional[int], Optional[Preset]]:
    """Resolve a preset into (mode, custom_base_hz, custom_step, preset); without one, ``mode``
    or ``default`` and the custom settings as given."""
    if preset is None:
        return (default if mode is None else mode), custom_base_hz, custom_step, None
    chosen = preset_settings(preset, mode, custom_base_hz, custom_step)
    return "custom", chosen.custom_base_hz, chosen.custom_step, chosen


def _check_preset_rate(chosen: Optional[Preset], rate: float) -> None:
    if chosen is not None and rate not in chosen.sample_rates:
        rates = " or ".join(str(r) for r in chosen.sample_rates)
        raise ValueError(f"preset {chosen.name!r} keeps to {chosen.band} at {rates} Hz only, "
                         f"not at {rate:g} Hz")


def _store_custom(base: float, step: int, handle: Any) -> None:
    """Store the custom plan in the core through an unconfigured Context ``handle``; the next
    construction makes its hop step effective (call with the lock held)."""
    global _custom_params
    _sdk.RYX_SetCustomBaseFreq(base, step, handle)
    _custom_params = (base, step)


def _configure(mid: int, rate: float, buffer_size: int, handle: Any) -> bool:
    """Configure ``handle`` and note the window length the construction set the hop steps for
    (call with the lock held)."""
    global _last_window
    if _sdk.RYX_Configure(mid, rate, buffer_size, handle) != 0:
        return False
    _last_window = window_size(rate)
    return True


def _reassert_custom(base: float, step: int, rate: float) -> None:
    """Make the core's custom plan and hop steps those of a custom receiver at ``rate`` again if
    another encode or decoder changed them since.

    The custom receiver reads its hop step from process-wide settings at every symbol; those
    follow every construction in the process (the custom plan, and away from 44100 and 48000 Hz
    the window length too). A scratch Context rebuilds them (call with the lock held)."""
    if _custom_params == (base, step) and _last_window == window_size(rate):
        return
    handle = _sdk.RYX_Create()
    try:
        _store_custom(base, step, handle)
        _configure(_sdk.RYX_MODE_CUSTOM, rate, 1024, handle)
    finally:
        _sdk.RYX_Destroy(handle)


def _check_text(text: object) -> str:
    if not isinstance(text, str):
        raise ValueError(f"text must be a str of {TEXT_LENGTH} base-32 characters, "
                         f"not {type(text).__name__}")
    if len(text) != TEXT_LENGTH:
        raise ValueError(f"text must be exactly {TEXT_LENGTH} characters long, "
                         f"got {len(text)}: {text!r}")
    for i, ch in enumerate(text):
        if ch not in _VALID_CHARS:
            raise ValueError(f"text {text!r} has {ch!r} at position {i}, which is not a base-32 "
                             f"character (use 0-9 and a-v)")
    return text


def _check_melody(melody: object, max_notes: int) -> str:
    if not isinstance(melody, str):
        raise ValueError(f"melody must be a str of base-32 notes, not {type(melody).__name__}")
    if not 1 <= len(melody) <= max_notes:
        raise ValueError(f"melody must have 1..{max_notes} notes at this sample rate, "
                         f"got {len(melody)}")
    for i, ch in enumerate(melody):
        if ch not in _VALID_CHARS:
            raise ValueError(f"melody has {ch!r} at position {i}, which is not a base-32 note "
                             f"(use 0-9 and a-v: '0' is 440 Hz, each step one semitone higher)")
    return melody


#: A two-dimensional array with more columns than rows and more than this many columns is taken
#: for (channels, frames): no recording has that many channels.
_MAX_CHANNELS = 16


def _as_samples(samples: npt.ArrayLike, what: str = "samples",
                channels_first: bool = False) -> npt.NDArray[np.float32]:
    """A C-contiguous float32 vector of the samples; (frames, channels) arrays are averaged to
    mono ((channels, frames) ones with ``channels_first``); integer arrays are scaled by the full
    scale of their type (int16 32767 -> 1.0); values that are not finite become 0.0 (silence).

    Raises TypeError for None, text, and anything that is not numbers; ValueError for a shape
    that is not audio."""
    if samples is None or isinstance(samples, (str, bytes)):
        raise TypeError(f"{what} must be an array of numbers, not {type(samples).__name__}")
    raw = np.asarray(samples) if isinstance(samples, np.ndarray) else None
    try:
        arr = np.asarray(samples, dtype=np.float32)
    except (TypeError, ValueError) as exc:
        raise TypeError(f"{what} must be an array of numbers, not {type(samples).__name__} "
                        f"({exc})") from None
    if raw is not None and raw.dtype.kind == "b":
        raise TypeError(f"{what} must be numbers, not booleans")
    if raw is not None and raw.dtype.kind in "iu":
        info = np.iinfo(raw.dtype)
        middle = (int(info.max) + int(info.min) + 1) / 2.0  # 0 for signed, 128 for uint8
        arr = ((raw.astype(np.float64) - middle) / (int(info.max) + 1 - middle)).astype(np.float32)
    if arr.ndim == 2:
        if channels_first:
            arr = arr.T
        elif arr.shape[1] > max(arr.shape[0], _MAX_CHANNELS):
            raise ValueError(f"{what} of shape {arr.shape} look like (channels, frames); pass "
                             f"(frames, channels), e.g. samples.T, or channels_first=True")
        arr = arr.mean(axis=1, dtype=np.float32) if arr.shape[1] > 1 else arr[:, 0]
    elif arr.ndim != 1:
        if arr.ndim == 0:
            arr = arr.reshape(1)
        else:
            raise ValueError(f"{what} must be one-dimensional (or frames x channels), "
                             f"got shape {arr.shape}")
    arr = np.ascontiguousarray(arr, dtype=np.float32)
    if not np.isfinite(arr).all():
        arr = np.where(np.isfinite(arr), arr, np.float32(0.0))
    return arr


# ---- encoding ----

def mix_signature(audio: npt.NDArray[np.float32], signature: npt.ArrayLike,
                  sample_rate: float) -> npt.NDArray[np.float32]:
    """Mix an audio signature into the start of a transmission, in place, and return it.

    The first ``n = min(len(signature), 20 symbol durations, len(audio))`` samples become
    ``clip(audio + signature, -1, 1)``; the rest of the audio is untouched, and the signature never
    lengthens the audio.

    Parameters
    ----------
    audio : numpy.ndarray
        float32 samples of one transmission, modified in place.
    signature : array_like
        Mono samples at the same rate.
    sample_rate : float
        Sample rate in Hz (fixes the twenty symbol durations: 92160 samples at 44100 Hz).

    Returns
    -------
    numpy.ndarray
        ``audio``.
    """
    sig = _as_samples(signature, "signature")
    n = min(len(sig), TRANSMISSION_SYMBOLS * symbol_duration(sample_rate), len(audio))
    if n > 0:
        np.clip(audio[:n] + sig[:n], -1.0, 1.0, out=audio[:n])
    return audio


def encode(text: str, mode: Optional[ModeLike] = None, sample_rate: float = 44100, *,
           preset: Optional[str] = None,
           melody: Optional[str] = None, random_tones: bool = False,
           signature: Optional[npt.ArrayLike] = None, synth_volume_db: Optional[float] = None,
           custom_base_hz: Optional[float] = None,
           custom_step: Optional[int] = None) -> npt.NDArray[np.float32]:
    """Encode a nine-character text as one transmission of tones.

    Parameters
    ----------
    text : str
        Nine characters of the base-32 alphabet ``0-9``, ``a-v`` (either case).
    mode : str or int, optional
        ``"audible"`` (the default: tones from about 3.3 kHz), ``"nonaudible"`` (about 17.8
        kHz), ``"compression"`` (about 14 kHz), ``"custom"`` (from ``custom_base_hz``) or
        ``"all"`` (sends like ``"nonaudible"``); or one of the ``RYX_MODE_*`` integers 2..6.
    sample_rate : float
        Sample rate in Hz, 1000..1000000; the plan's tones must lie below half of it.
        44100, 48000 and 22050 (audible only) are the rates a receiver decodes well.
    preset : str, optional
        A named custom plan instead of ``mode``: ``"phone"`` (600..2280 Hz, for the 300-3400 Hz
        telephone band; 44100 or 48000 Hz).
    melody : str, optional
        Notes as base-32 characters ('0' = 440 Hz, each next one a semitone higher), one per
        symbol duration, mixed under the data at a quarter of the level. A melody longer than
        the twenty symbols lengthens the audio (at most ten seconds in all).
    random_tones : bool
        Add one random note with a random glide per symbol instead of a melody.
    signature : array_like, optional
        Mono samples mixed into the start of the transmission: added to the first
        min(len(signature), 20 symbol durations, len(audio)) samples, and only those samples
        clipped to [-1, 1]. Mixed here in Python: the module cannot take the samples from Python.
    synth_volume_db : float, optional
        Gain of the random tones in dB (0 dB when not given; the data peaks at 0.7 and the random
        tones at 0.7 times this gain, so the sum can exceed 1.0). Only with ``random_tones``.
    custom_base_hz, custom_step : float, int, optional
        The custom plan: tone 0 at ``custom_base_hz`` (default 12000 Hz) and a hop step of
        ``custom_step + 2`` analysis bins (default step 1). Only with mode ``"custom"``; they are
        process-wide settings of the core, so a receiver must use the same values.

    Returns
    -------
    numpy.ndarray
        float32 mono samples: 20 symbol durations (92160 samples, 2.09 s, at 44100 Hz), longer
        only when the melody is.

    Raises
    ------
    ValueError
        For a text of the wrong length or with a character outside the alphabet (naming the
        character and its position), an unknown mode, a rate outside the supported range or one
        whose Nyquist frequency the plan exceeds, an invalid melody or signature, or options that
        do not go together.
    """
    mode, custom_base_hz, custom_step, chosen = _with_preset(mode, "audible", preset,
                                                             custom_base_hz, custom_step)
    name = mode_name(mode)
    mid = mode_id(mode)
    rate = check_rate(sample_rate)
    _check_preset_rate(chosen, rate)
    text = _check_text(text)
    base, step = _custom_settings(name, custom_base_hz, custom_step)
    check_plan_fits(name, rate, base, step)
    symbol = symbol_duration(rate)
    capacity = int(np.float32(rate) * np.float32(10.0))
    if melody is not None and random_tones:
        raise ValueError("choose either a melody or random tones, not both")
    melody_bytes = b""
    if melody is not None:
        melody_bytes = _check_melody(melody, capacity // symbol).encode("ascii")
    if synth_volume_db is not None:
        if not random_tones:
            raise ValueError("synth_volume_db sets the level of the random tones; "
                             "it needs random_tones=True")
        synth_volume_db = float(synth_volume_db)
        if not np.isfinite(synth_volume_db):
            raise ValueError(f"synth_volume_db must be finite, not {synth_volume_db}")
    sig = None if signature is None else _as_samples(signature, "signature")
    synth_mode = 1 if random_tones else 2 if melody_bytes else 0

    expected = max(TRANSMISSION_SYMBOLS, len(melody_bytes)) * symbol
    with _core_lock:
        handle = _sdk.RYX_Create()
        try:
            if name == "custom":
                _store_custom(base, step, handle)
            if not _configure(mid, rate, expected, handle):
                raise ValueError(f"the core refused mode {name!r} at {rate:g} Hz")
            if random_tones:
                _sdk.RYX_SetSynthVolume(synth_volume_db or 0.0, None)
            count = _sdk.RYX_EncodeDataToAudioBuffer(text, TEXT_LENGTH, synth_mode, melody_bytes,
                                                     len(melody_bytes), handle)
            if count <= 0:
                raise ValueError(f"the core refused to encode {text!r}")
            audio = np.zeros(count, dtype=np.float32)
            scratch = np.zeros(max(expected, 1), dtype=np.float32)
            filled = 0
            with _c_stdout_silenced():
                while filled < count:
                    got = _sdk.RYX_PyGetEncodedAudioBuffer(scratch, handle)
                    if got <= 0:
                        break
                    got = min(got, count - filled)
                    audio[filled:filled + got] = scratch[:got]
                    filled += got
        finally:
            _sdk.RYX_Destroy(handle)
    if filled != count:
        raise RuntimeError(f"the core handed out {filled} of {count} encoded samples")
    if sig is not None:
        mix_signature(audio, sig, rate)
    return audio


# ---- decoding ----

@dataclass(frozen=True)
class Message:
    """One received message.

    Attributes
    ----------
    text : str
        The nine characters, lower case. Trust it only when ``ok`` is true.
    ok : bool
        True when the message's checksum matched after error correction.
    confidence : float
        0..1: the tone level factor (``noise_db`` / 15, limited to 0..1) times ``error``.
    error : float
        Share 0..1 of the twelve message symbols that error correction left unchanged (1.0 for
        a message received without a symbol error).
    noise_db : float
        Mean level of the decided tones against their band, dB.
    volume_db : float
        Received level of the message's tones, dB.
    mode : str
        Plan the message was sent in: ``"audible"``, ``"nonaudible"``, ``"compression"`` or
        ``"custom"`` (a receiver in mode ``"all"`` reports which of the first three it heard).
    start : int
        Sample offset where the message began (estimated from when its start symbols were
        recognised; within a fraction of a symbol duration).
    end : int
        Sample offset where the message ended (estimated from when it was completed).
    """

    text: str
    ok: bool
    confidence: float
    error: float
    noise_db: float
    volume_db: float
    mode: str
    start: int
    end: int


class Decoder:
    """Streaming receiver: feed captured audio in chunks of any size, collect messages.

    Parameters
    ----------
    mode : str or int
        The plan to listen for (see :func:`encode`); ``"all"`` listens for audible,
        non-audible and compression transmissions at once.
    sample_rate : float
        Capture rate in Hz, 1000..1000000. The receiver runs at 44100, 48000 or 22050 Hz (22050
        for the audible plan only); audio at another rate is resampled to the nearer of 44100
        and 48000 Hz that the plan suits (see :attr:`decode_rate`), and offsets stay in the
        caller's samples. Audio too narrow to carry the plan is refused.
    preset : str, optional
        A named custom plan instead of ``mode`` (see :func:`encode`).
    resample : bool
        Resample audio at other rates (default); when False the receiver runs at
        ``sample_rate`` itself, where only the plans below half of it can be heard.
    channels_first : bool
        Take two-dimensional blocks as (channels, frames) instead of (frames, channels).
    custom_base_hz, custom_step : float, int, optional
        The custom plan, as given to :func:`encode` (mode ``"custom"`` only).

    Raises
    ------
    ValueError
        For an unknown mode, an unsupported rate, or a plan that does not fit the rate.

    Notes
    -----
    The decoder holds a core Context, released by :meth:`close`, by leaving a ``with`` block,
    or when the object is garbage-collected. A Decoder must not be used from two threads at once.

    Examples
    --------
    >>> with Decoder("audible", 44100) as rx:                     # doctest: +SKIP
    ...     for block in blocks:
    ...         for message in rx.feed(block):
    ...             print(message.text, message.ok)
    ...     leftovers = rx.flush()
    """

    def __init__(self, mode: Optional[ModeLike] = None, sample_rate: float = 44100, *,
                 preset: Optional[str] = None, resample: bool = True,
                 channels_first: bool = False, custom_base_hz: Optional[float] = None,
                 custom_step: Optional[int] = None):
        mode, custom_base_hz, custom_step, chosen = _with_preset(mode, "all", preset,
                                                                 custom_base_hz, custom_step)
        self._name = mode_name(mode)
        self._mode_id = mode_id(mode)
        self._in_rate = check_rate(sample_rate)
        self._channels_first = bool(channels_first)
        self._custom = _custom_settings(self._name, custom_base_hz, custom_step)
        target = plan_rate(self._in_rate, supported_rates(self._name, *self._custom, chosen),
                           resample)
        if target is not None:
            check_rate_holds_plan(self._name, self._in_rate, *self._custom)
        self._resampler = None if target is None else StreamResampler(self._in_rate, target)
        self._rate = self._in_rate if target is None else float(target)
        _check_preset_rate(chosen, self._rate)
        check_plan_fits(self._name, self._rate, *self._custom)
        self._symbol = symbol_duration(self._rate)
        self._window = window_size(self._rate)
        # The start symbols are recognised once the frames of both have been analysed: about
        # two symbol durations into the message, an eighth of a window early on average
        # (measured: 8580..9060 samples at 44100 Hz, 2 x 4608 - 256 = 8960 taken).
        self._start_lag = 2 * self._symbol - self._window // 8
        # Completion is reported with the frame after the last symbol's period, which ends
        # within a tenth of a symbol of the transmission's last sample.
        self._end_lag = 0
        self._position = 0
        self._in_message = False
        self._message_start = 0
        self._drain = np.zeros(1, dtype=np.float32)
        with _core_lock:
            handle = _sdk.RYX_Create()
            self._finalizer = weakref.finalize(self, _sdk.RYX_Destroy, handle)
            self._handle = handle
            if self._name == "custom":
                _store_custom(*self._custom, handle)
            if not _configure(self._mode_id, self._rate, 1024, handle):
                self._finalizer()
                raise ValueError(f"the core refused mode {self._name!r} at {self._rate:g} Hz")
        # One window of silence ahead of the caller's audio lets the receiver's start test see
        # a message that begins at the caller's first sample; positions exclude it.
        self._position = -self._window
        self._feed_core(np.zeros(self._window, dtype=np.float32))

    # -- properties --

    @property
    def mode(self) -> str:
        """The mode listened for, by name."""
        return self._name

    @property
    def sample_rate(self) -> float:
        """Capture rate in Hz, the rate of the samples fed."""
        return self._in_rate

    @property
    def decode_rate(self) -> float:
        """Rate the receiver runs at, Hz: :attr:`sample_rate` unless the audio is resampled."""
        return self._rate

    @property
    def position(self) -> int:
        """Samples fed so far (including the silence that :meth:`flush` feeds), counted at
        :attr:`sample_rate`."""
        return self._to_input(self._position)

    @property
    def in_message(self) -> bool:
        """True between the start of a message and its completion."""
        return self._in_message

    @property
    def closed(self) -> bool:
        """True once the core Context has been released."""
        return not self._finalizer.alive

    # -- operation --

    def feed(self, samples: npt.ArrayLike) -> list[Message]:
        """Feed captured samples and return the messages completed by them.

        Parameters
        ----------
        samples : array_like
            Mono samples (any length, any numeric type; a (frames, channels) array is averaged
            to mono); values that are not finite are taken as silence.

        Returns
        -------
        list of Message
            Messages completed within these samples, in order; usually empty.

        Raises
        ------
        ValueError
            When the decoder is closed or the samples are not numbers.
        """
        self._check_open()
        arr = _as_samples(samples, channels_first=self._channels_first)
        if self._resampler is not None:
            arr = self._resampler.process(arr)
        return [self._placed(m) for m in self._feed_core(arr)]

    def _feed_core(self, arr: npt.NDArray[np.float32]) -> list[Message]:
        """Feed float32 samples at the receiver's rate; offsets of the messages too."""
        messages: list[Message] = []
        with _core_lock:
            if self._name == "custom":
                _reassert_custom(*self._custom, self._rate)
            for i in range(0, len(arr), _FEED_CHUNK):
                chunk = arr[i:i + _FEED_CHUNK]
                self._position += len(chunk)
                self._run(chunk, messages)
        return messages

    def flush(self) -> list[Message]:
        """Feed enough silence to finish a message in progress and return what completes.

        A message whose start was heard is completed (its missing symbols decode from silence,
        and error correction or the checksum tells whether it survived). Start symbols heard
        just before the end are given the silence they need to be recognised.

        Returns
        -------
        list of Message
        """
        self._check_open()
        messages: list[Message] = []
        if self._resampler is not None:  # what the converter holds back, then a fresh one
            messages += self._feed_core(self._resampler.finish())
            self._resampler = StreamResampler(self._in_rate, self._rate)
        silence = np.zeros(_FEED_CHUNK, dtype=np.float32)
        settle = 2 * self._symbol + 2 * self._window
        limit = (TRANSMISSION_SYMBOLS + 4) * self._symbol + 4 * self._window
        fed = 0
        while fed < limit and (self._in_message or fed < settle):
            messages += self._feed_core(silence)
            fed += len(silence)
        return [self._placed(m) for m in messages]

    def close(self) -> None:
        """Release the core Context; further feeding raises ValueError. Safe to call twice."""
        self._finalizer()

    def __enter__(self) -> "Decoder":
        return self

    def __exit__(self, *exc: object) -> None:
        self.close()

    def __repr__(self) -> str:
        state = "closed" if self.closed else f"position={self._position}"
        return f"<ryxsound.Decoder mode={self._name!r} sample_rate={self._in_rate:g} {state}>"

    # -- internals --

    def _to_input(self, offset: int) -> int:
        return offset if self._resampler is None else self._resampler.to_input(offset)

    def _placed(self, m: Message) -> Message:
        """``m`` with its offsets counted at the caller's rate."""
        if self._resampler is None:
            return m
        return dataclasses.replace(m, start=self._to_input(m.start), end=self._to_input(m.end))

    def _check_open(self) -> None:
        if self.closed:
            raise ValueError("the decoder is closed")

    def _run(self, chunk: npt.NDArray[np.float32], messages: list[Message]) -> None:
        status = _sdk.RYX_PyDecodeAudioBuffer(chunk, len(chunk), self._handle)
        for _ in range(_MAX_EVENTS_PER_CALL):
            if status == _NOTHING or (status < 0 and status not in (_START, _COMPLETE)):
                return
            if status == _START:
                self._in_message = True
                self._message_start = self._position - self._start_lag
            elif status == _COMPLETE:
                self._in_message = False
                message = self._collect()
                if message is not None:
                    messages.append(message)
            status = _sdk.RYX_PyDecodeAudioBuffer(self._drain, 0, self._handle)
        raise RuntimeError("the decoder kept reporting events without consuming audio")

    def _collect(self) -> Optional[Message]:
        h = self._handle
        status, text = _sdk.RYX_PyGetDecodedData(h)
        if status not in (_CHECKSUM_OK, -_CHECKSUM_OK):
            return None
        if self._mode_id == _sdk.RYX_MODE_ALL:
            mode = DECODED_MODE_NAMES.get(_sdk.RYX_GetDecodedMode(h), "unknown")
        else:
            mode = self._name
        end = self._position - self._end_lag
        return Message(
            text=text,
            ok=status == _CHECKSUM_OK,
            confidence=float(_sdk.RYX_GetConfidence(h)),
            error=float(_sdk.RYX_GetConfidenceError(h)),
            noise_db=float(_sdk.RYX_GetConfidenceNoise(h)),
            volume_db=float(_sdk.RYX_GetReceivedRyxsVolume(h)),
            mode=mode,
            start=max(self._message_start, 0),
            end=max(end, self._message_start, 0),
        )


def decode_blocks(blocks: Iterable[npt.ArrayLike], sample_rate: float,
                  mode: Optional[ModeLike] = None, *, preset: Optional[str] = None,
                  resample: bool = True, channels_first: bool = False,
                  custom_base_hz: Optional[float] = None, custom_step: Optional[int] = None,
                  progress: Optional[Callable[[int], None]] = None) -> list[Message]:
    """Decode a recording given as consecutive blocks (as :func:`decode` does a whole array).

    Parameters
    ----------
    blocks : iterable of array_like
        Consecutive mono blocks (or (frames, channels) blocks) of one recording.
    sample_rate : float
        Sample rate in Hz.
    mode, preset, resample, channels_first, custom_base_hz, custom_step
        As for :class:`Decoder`.
    progress : callable, optional
        Called with the number of samples decoded so far after every block.

    Returns
    -------
    list of Message
        In order of their start; offsets refer to the recording's samples.
    """
    rate = check_rate(sample_rate)
    pad = np.zeros(int(round(rate * 0.5)), dtype=np.float32)
    total = 0
    with Decoder(mode, rate, preset=preset, resample=resample, custom_base_hz=custom_base_hz,
                 custom_step=custom_step) as rx:
        messages = rx.feed(pad)
        for block in blocks:
            arr = _as_samples(block, channels_first=channels_first)
            messages += rx.feed(arr)
            total += len(arr)
            if progress is not None:
                progress(total)
        messages += rx.feed(pad)
        messages += rx.flush()

    def place(m: Message) -> Message:
        start = min(max(m.start - len(pad), 0), total)
        end = min(max(m.end - len(pad), start), total)
        return dataclasses.replace(m, start=start, end=end)

    return [place(m) for m in messages]


def decode(samples: npt.ArrayLike, sample_rate: float, mode: Optional[ModeLike] = None, *,
           preset: Optional[str] = None, resample: bool = True, channels_first: bool = False,
           custom_base_hz: Optional[float] = None,
           custom_step: Optional[int] = None) -> list[Message]:
    """Find every message in a whole recording.

    Half a second of digital silence is added before and after the audio, so a message that
    begins at the first sample or ends at the last one is still found; a message cut off by the
    end of the recording is completed from silence and reported with its checksum result.

    Parameters
    ----------
    samples : array_like
        Mono samples, or a (frames, channels) array, which is averaged to mono. Integer arrays
        are scaled by the full scale of their type (int16: 32768 -> 1.0).
    sample_rate : float
        Sample rate in Hz (1000..1000000); other rates than 44100, 48000 and 22050 Hz are
        resampled unless ``resample`` is False.
    mode : str or int
        Mode to listen for (default ``"all"``: audible, non-audible and compression).
    preset, resample, channels_first, custom_base_hz, custom_step
        As for :class:`Decoder`.

    Returns
    -------
    list of Message
        In order; ``start`` and ``end`` are sample offsets into ``samples``.

    Raises
    ------
    TypeError
        For samples that are not an array of numbers (None, text, objects).
    ValueError
        For an unknown mode, an unsupported rate or samples of a shape that is not audio.
    """
    return decode_blocks([_as_samples(samples, channels_first=channels_first)], sample_rate,
                         mode, preset=preset, resample=resample, custom_base_hz=custom_base_hz,
                         custom_step=custom_step)
