"""Encoding and decoding through the extension module ``ryxsound._core``.

The core does the work on arrays with the GIL released: encoders and decoders on different
threads run at the same time and share nothing.
"""

from __future__ import annotations

import dataclasses
import os
import sys
import warnings
from collections.abc import Callable, Iterable, Sequence
from concurrent.futures import ThreadPoolExecutor
from dataclasses import dataclass
from typing import Any, Generic, Optional, TypeVar

import numpy as np
import numpy.typing as npt

from . import _core
from ._modes import (
    PLAN_NAMES,
    ModeLike,
    check_rate,
    default_receive_mode,
    plan_rate,
    receiver_name,
    resolve_band,
)
from ._resample import StreamResampler, convert

#: Array types the core reads directly (anything else is converted to float32 first).
_CORE_TYPES = frozenset(np.dtype(t) for t in (
    np.float32, np.float64, np.int8, np.int16, np.int32, np.int64,
    np.uint8, np.uint16, np.uint32, np.uint64))

_T = TypeVar("_T")
_R = TypeVar("_R")

#: A two-dimensional array with more columns than rows and more than this many columns is taken
#: for (channels, frames): no recording has that many channels.
_MAX_CHANNELS = 16


def _as_array(samples: npt.ArrayLike, what: str = "samples",
              channels_first: bool = False) -> np.ndarray:
    """The samples as an array the core reads: float32, float64 and integer arrays as they are
    (any strides), byte-swapped ones in native order, other numbers (float16, lists) converted to
    float32; a scalar becomes one sample; (channels, frames) arrays with ``channels_first`` are
    viewed as (frames, channels).

    Raises TypeError for None, text, booleans and anything that is not numbers; ValueError for a
    two-dimensional array that looks like (channels, frames) without ``channels_first``.
    """
    if samples is None or isinstance(samples, (str, bytes)):
        raise TypeError(f"{what} must be an array of numbers, not {type(samples).__name__}")
    if isinstance(samples, np.ndarray) and samples.dtype in _CORE_TYPES:
        arr = samples
    else:
        try:
            arr = np.asarray(samples)
        except (TypeError, ValueError) as exc:
            raise TypeError(f"{what} must be an array of numbers, not "
                            f"{type(samples).__name__} ({exc})") from None
        if arr.dtype not in _CORE_TYPES:
            if arr.dtype.kind not in "iuf":
                raise TypeError(f"{what} must be numbers, not an array of {arr.dtype}")
            native = arr.dtype.newbyteorder("=")  # byte-swapped types keep their scale
            arr = arr.astype(native if native in _CORE_TYPES else np.float32)
    if arr.ndim == 0:
        arr = arr.reshape(1)
    if arr.ndim == 2:
        if channels_first:
            arr = arr.T
        elif arr.shape[1] > max(arr.shape[0], _MAX_CHANNELS):
            raise ValueError(f"{what} of shape {arr.shape} look like (channels, frames); pass "
                             f"(frames, channels), e.g. samples.T, or channels_first=True")
    return arr


def _band_args(mode: Optional[ModeLike], default_mode: str, preset: Optional[str],
               custom_base_hz: Optional[float],
               custom_step: Optional[int]) -> tuple[str, int, float, int]:
    name, base, step = resolve_band(mode, default_mode, preset, custom_base_hz, custom_step)
    return name, int(_core.mode_from_name(name)), base, step


# ---- encoding ----

def mix_signature(audio: npt.NDArray[np.float32], signature: npt.ArrayLike,
                  sample_rate: float) -> npt.NDArray[np.float32]:
    """Mix an audio signature into the start of a transmission, in place, and return it.

    The first ``n = min(len(signature), 20 symbol durations, len(audio))`` samples become
    ``clip(audio + signature, -1, 1)``; the rest of the audio is untouched.

    Parameters
    ----------
    audio : numpy.ndarray
        One-dimensional C-contiguous float32 samples of one transmission, modified in place.
    signature : array_like
        Mono (or frames x channels) samples at the same rate: float32, float64, or integers
        scaled to -1..1 by their type's full scale.
    sample_rate : float
        Sample rate in Hz (fixes the twenty symbol durations: 92160 samples at 44100 Hz).
    """
    if not (isinstance(audio, np.ndarray) and audio.dtype == np.float32 and audio.ndim == 1
            and audio.flags.c_contiguous and audio.flags.writeable):
        raise ValueError("audio must be a writable one-dimensional C-contiguous float32 array")
    _core.mix_signature(audio, _as_array(signature, "signature"), check_rate(sample_rate))
    return audio


def encode(text: str, mode: Optional[ModeLike] = None, sample_rate: float = 44100, *,
           melody: Optional[str] = None, random_tones: bool = False,
           signature: Optional[npt.ArrayLike] = None, synth_volume_db: Optional[float] = None,
           custom_base_hz: Optional[float] = None, custom_step: Optional[int] = None,
           preset: Optional[str] = None) -> npt.NDArray[np.float32]:
    """Encode a nine-character text as one transmission of tones.

    Parameters
    ----------
    text : str
        Nine characters of the base-32 alphabet ``0-9``, ``a-v`` (either case).
    mode : str or int, optional
        ``"audible"`` (default; tones from about 3.3 kHz), ``"nonaudible"`` (about 17.8 kHz),
        ``"compression"`` (about 14 kHz), ``"custom"`` (from ``custom_base_hz``) or ``"all"``
        (sends like ``"nonaudible"``); or one of the ``RYX_MODE_*`` integers 2..6.
    sample_rate : float
        Sample rate in Hz, 1000..1000000; the plan's tones must lie below half of it.
    melody : str, optional
        Notes as base-32 characters ('0' = 440 Hz, each next one a semitone higher), one per
        symbol duration, under the data. A melody longer than the twenty symbols lengthens the
        audio (at most ten seconds in all).
    random_tones : bool
        One random gliding note per symbol under the data instead of a melody.
    signature : array_like, optional
        Samples mixed into the start (see :func:`mix_signature`); float32, float64, or integers
        scaled to -1..1 by their type's full scale.
    synth_volume_db : float, optional
        Gain of the random tones in dB (default 0). Only with ``random_tones``.
    custom_base_hz, custom_step : float, int, optional
        The custom plan (mode ``"custom"`` only): tone 0 near ``custom_base_hz`` (default 12000
        Hz), a hop of ``custom_step + 2`` analysis bins (default step 1). A receiver must use the
        same values.
    preset : str, optional
        A named mode and band instead (see :func:`ryxsound.presets`): ``"phone"``, a custom
        plan from 600 Hz inside the 300-3400 Hz telephone band, at 44100 or 48000 Hz.

    Returns
    -------
    numpy.ndarray
        float32 mono samples: 20 symbol durations (92160 at 44100 Hz), longer only when the
        melody is.

    Raises
    ------
    ValueError
        For a text of the wrong length or with a character outside the alphabet (naming the
        character and its position, counted from 1), an unknown mode or preset, a rate outside
        the supported range or below twice the plan's highest tone, an invalid melody or
        signature, or options that do not go together.
    """
    name, mid, base, step = _band_args(mode, "audible", preset, custom_base_hz, custom_step)
    rate = check_rate(sample_rate)
    if not isinstance(text, str):
        raise TypeError(f"text must be a str of 9 base-32 characters, not "
                        f"{type(text).__name__}")
    if melody is not None and not isinstance(melody, str):
        raise TypeError(f"melody must be a str of base-32 notes, not {type(melody).__name__}")
    if synth_volume_db is not None and not random_tones:
        raise ValueError("synth_volume_db sets the level of the random tones: it needs "
                         "random_tones=True")
    # "all" sends the non-audible plan: that is the band the rate must hold.
    run_at = plan_rate("nonaudible" if name == "all" else name, rate, base, step, preset)
    gain = 0.0 if synth_volume_db is None else float(synth_volume_db)
    sig = None if signature is None else convert(
        _core.to_mono(_as_array(signature, "signature")), rate, run_at)
    audio = _core.encode(text, mid, run_at, melody=melody or "",
                         random_tones=bool(random_tones), random_tone_gain_db=gain,
                         signature=sig, custom_base_hz=base, custom_step=step)
    return convert(audio, run_at, rate)


# ---- decoding ----

_DEPRECATED = {"noise_db": "tone_to_band_db", "volume_db": "level_dbfs", "error": "clean_share"}


@dataclass(frozen=True)
class Message:
    """One decoded message.

    Attributes
    ----------
    text : str
        The nine characters, lower case (trust them only when ``ok``).
    ok : bool
        Error correction succeeded and the start symbols and checksum matched.
    mode : str
        The plan it was sent in: ``"audible"``, ``"nonaudible"``, ``"compression"`` or
        ``"custom"``.
    start, end : int
        Sample offsets where the message began and ended (within a fraction of a symbol).
    confidence : float
        0..1, how sure the receiver is of the text.
    tone_to_band_db : float
        Mean level of the decided tones over the mean of their band, dB.
    level_dbfs : float
        Received tone level in dB relative to a full-scale sine (-120 at the lowest).
    clean_share : float
        Share 0..1 of the 12 message symbols received without correction.
    corrected : tuple of int
        The message symbols error correction changed (0 and 1 the start symbols, 2..10 the
        text, 11 the checksum); empty for a clean reception.

    All figures are finite numbers. ``noise_db``, ``volume_db`` and ``error`` are deprecated
    names of ``tone_to_band_db``, ``level_dbfs`` and ``clean_share``.
    """

    text: str
    ok: bool
    mode: str
    start: int
    end: int
    confidence: float
    tone_to_band_db: float
    level_dbfs: float
    clean_share: float
    corrected: tuple[int, ...] = ()

    def __getattr__(self, name: str) -> Any:
        new = _DEPRECATED.get(name)
        if new is None:
            raise AttributeError(f"'Message' object has no attribute {name!r}")
        warnings.warn(f"Message.{name} is deprecated: use Message.{new}", DeprecationWarning,
                      stacklevel=2)
        return getattr(self, new)


def _message(m: Any, offset: int = 0) -> Message:
    return Message(text=m.text, ok=m.ok, mode=PLAN_NAMES.get(m.plan, "audible"),
                   start=int(m.start) - offset, end=int(m.end) - offset,
                   confidence=float(m.confidence), tone_to_band_db=float(m.tone_to_band_db),
                   level_dbfs=float(m.level_dbfs), clean_share=float(m.clean_share),
                   corrected=tuple(m.corrected))


_Record = TypeVar("_Record", bound=Any)


class _Receiver(Generic[_Record]):
    """What the text and payload decoders share: the caller's rate and the plan rate the core
    runs at, the converter between the two, the offsets taken back to the caller's samples, and
    closing. A subclass names its core receiver (:meth:`_start`) and its records
    (:meth:`_record`)."""

    def __init__(self, mode: Optional[ModeLike], sample_rate: float, default_mode: str,
                 custom_base_hz: Optional[float], custom_step: Optional[int],
                 preset: Optional[str], resample: bool, channels_first: bool):
        self._in_rate = check_rate(sample_rate)
        self._name, mid, base, step = _band_args(mode, default_mode, preset, custom_base_hz,
                                                 custom_step)
        self._channels_first = bool(channels_first)
        self._rate = (self._plan_rate(self._in_rate, base, step, preset) if resample
                      else self._in_rate)
        self._resampler = (None if self._rate == self._in_rate
                           else StreamResampler(self._in_rate, self._rate))
        self._core: Optional[Any] = self._start(mid, self._rate, base, step)
        self._position = 0

    def _plan_rate(self, rate: float, base: float, step: int, preset: Optional[str]) -> float:
        """The rate the core runs at for audio at ``rate`` (:func:`ryxsound.plan_rate`)."""
        return plan_rate(self._name, rate, base, step, preset)

    def _start(self, mode_id: int, rate: float, base: float, step: int) -> Any:
        raise NotImplementedError

    def _record(self, found: Any) -> _Record:
        raise NotImplementedError

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
        return self._position if self._core is None else self._to_input(self._core.position)

    @property
    def closed(self) -> bool:
        """True once :meth:`close` was called."""
        return self._core is None

    def feed(self, samples: npt.ArrayLike) -> list[_Record]:
        rx = self._live()
        arr = _as_array(samples, channels_first=self._channels_first)
        if self._resampler is not None:
            arr = self._resampler.process(_core.to_mono(arr))
        return [self._placed(r) for r in rx.feed(arr)]

    def flush(self) -> list[_Record]:
        rx = self._live()
        found = []
        if self._resampler is not None:  # what the converter holds back, then a fresh one
            found += rx.feed(self._resampler.finish())
            self._resampler = StreamResampler(self._in_rate, self._rate)
        found += rx.flush()
        return [self._placed(r) for r in found]

    def close(self) -> None:
        """Release the receiver; further feeding raises ValueError. Safe to call twice."""
        if self._core is not None:
            self._position = self._to_input(self._core.position)
            self._core = None

    def _to_input(self, offset: int) -> int:
        """An offset at the receiver's rate counted in the caller's samples."""
        return int(offset) if self._resampler is None else self._resampler.to_input(int(offset))

    def _placed(self, found: Any) -> _Record:
        record = self._record(found)
        if self._resampler is None:
            return record
        return dataclasses.replace(record, start=self._to_input(record.start),
                                   end=self._to_input(record.end))

    def _live(self) -> Any:
        if self._core is None:
            raise ValueError("the decoder is closed")
        return self._core


class Decoder(_Receiver[Message]):
    """Streaming receiver: feed captured audio in chunks of any size, collect messages.

    Parameters
    ----------
    mode : str or int, optional
        The plan to listen for (see :func:`encode`); ``"all"`` (default) listens for audible,
        non-audible and compression transmissions at once.
    sample_rate : float
        Capture rate in Hz. The receiver runs at 44100, 48000 or 22050 Hz (22050 for the
        audible plan only); audio at another rate is resampled to the nearer of 44100 and 48000
        Hz that the plan suits (see :attr:`decode_rate`), and offsets stay in the caller's
        samples. Audio too narrow to carry the plan is refused.
    receiver : str
        ``"robust"`` (default: holds in speech, codecs and weak signals) or ``"standard"``.
    custom_base_hz, custom_step : float, int, optional
        The custom plan, as given to :func:`encode` (mode ``"custom"`` only).
    preset : str, optional
        A named mode and band instead, as given to :func:`encode`.
    resample : bool
        Resample audio at other rates (default); when False the receiver runs at
        ``sample_rate`` itself, where only the plans below half of it can be heard.
    channels_first : bool
        Take two-dimensional blocks as (channels, frames) instead of (frames, channels).

    Raises
    ------
    ValueError
        For an unknown mode, receiver or preset, an unsupported rate, or a plan that does not
        fit the rate.

    Notes
    -----
    Texts only: payloads have their own receiver, :class:`ryxsound.PayloadDecoder`. Feeding
    releases the GIL: decoders on different threads work at the same time. One Decoder must not
    be fed from two threads at once (that raises RuntimeError).
    """

    def __init__(self, mode: Optional[ModeLike] = None, sample_rate: float = 44100, *,
                 receiver: str = "robust", custom_base_hz: Optional[float] = None,
                 custom_step: Optional[int] = None, preset: Optional[str] = None,
                 resample: bool = True, channels_first: bool = False):
        default_mode = default_receive_mode(sample_rate)  # the rate's error comes first
        self._receiver = receiver_name(receiver)
        super().__init__(mode, sample_rate, default_mode, custom_base_hz, custom_step, preset,
                         resample, channels_first)

    def _start(self, mode_id: int, rate: float, base: float, step: int) -> _core.Decoder:
        return _core.Decoder(mode_id, rate, self._receiver, base, step)

    def _record(self, found: Any) -> Message:
        return _message(found)

    @property
    def receiver(self) -> str:
        """``"robust"`` or ``"standard"``."""
        return self._receiver

    @property
    def in_message(self) -> bool:
        """True between the start of a message and its completion."""
        return self._core is not None and bool(self._core.in_message)

    def feed(self, samples: npt.ArrayLike) -> list[Message]:
        """Feed captured samples and return the messages completed by them.

        Parameters
        ----------
        samples : array_like
            Mono samples, or a (frames, channels) array (the channels are averaged), of any
            length: float32 or float64 as they are, integer types scaled to -1..1 by their full
            scale (int16 by 32768; unsigned types are offset binary: uint8 128 is silence).
            Values that are not finite count as silence.

        Returns
        -------
        list of Message
            Messages completed within these samples, in order; usually empty.

        Raises
        ------
        ValueError
            When the decoder is closed or the samples are not numbers.
        """
        return super().feed(samples)

    def flush(self) -> list[Message]:
        """Feed enough silence to finish a message in progress and return what completes."""
        return super().flush()

    def __enter__(self) -> "Decoder":
        return self

    def __exit__(self, *exc: object) -> None:
        self.close()

    def __repr__(self) -> str:
        state = "closed" if self.closed else f"position={self.position}"
        return (f"<ryxsound.Decoder mode={self._name!r} sample_rate={self._rate:g} "
                f"receiver={self._receiver!r} {state}>")


def run_blocks(rx: _Receiver[_Record], blocks: Iterable[npt.ArrayLike], channels_first: bool,
               progress: Optional[Callable[[int], None]]) -> list[_Record]:
    """Feed consecutive blocks of one recording to ``rx``, flush it and close it; returns what it
    found, its offsets kept within the recording."""
    total = 0
    found: list[_Record] = []
    try:
        for block in blocks:
            arr = _as_array(block, channels_first=channels_first)
            found += rx.feed(arr)
            total += len(arr)
            if progress is not None:
                progress(total)
        found += rx.flush()
    finally:
        rx.close()

    def place(r: _Record) -> _Record:
        start = min(max(r.start, 0), total)
        return dataclasses.replace(r, start=start, end=min(max(r.end, start), total))

    return [place(r) for r in found]


def decode_blocks(blocks: Iterable[npt.ArrayLike], sample_rate: float,
                  mode: Optional[ModeLike] = None, *, receiver: str = "robust",
                  custom_base_hz: Optional[float] = None, custom_step: Optional[int] = None,
                  preset: Optional[str] = None, resample: bool = True,
                  channels_first: bool = False,
                  progress: Optional[Callable[[int], None]] = None) -> list[Message]:
    """Decode a recording given as consecutive blocks (as :func:`decode` does a whole array).

    Parameters
    ----------
    blocks : iterable of array_like
        Consecutive blocks of one recording (any type :meth:`Decoder.feed` takes).
    sample_rate : float
        Sample rate in Hz.
    mode, receiver, custom_base_hz, custom_step, preset, resample, channels_first
        As for :class:`Decoder`.
    progress : callable, optional
        Called with the number of samples decoded so far after every block.

    Returns
    -------
    list of Message
        In order of their start; offsets refer to the recording's samples.
    """
    rx = Decoder(mode, sample_rate, receiver=receiver, custom_base_hz=custom_base_hz,
                 custom_step=custom_step, preset=preset, resample=resample)
    return run_blocks(rx, blocks, channels_first, progress)


def decode(samples: npt.ArrayLike, sample_rate: float, mode: Optional[ModeLike] = None, *,
           receiver: str = "robust", custom_base_hz: Optional[float] = None,
           custom_step: Optional[int] = None, preset: Optional[str] = None,
           resample: bool = True, channels_first: bool = False) -> list[Message]:
    """Find every message in a whole recording.

    A message that begins at the first sample or ends at the last one is still found; a message
    cut off by the end of the recording is completed from silence and reported with its checksum
    result.

    Parameters
    ----------
    samples : array_like
        Mono samples or a (frames, channels) array (averaged to mono): float32 or float64 as
        they are, integer types scaled to -1..1 by their full scale (int16 by 32768, uint8 as
        offset binary around 128).
    sample_rate : float
        Sample rate in Hz; other rates than 44100, 48000 and 22050 Hz are resampled unless
        ``resample`` is False.
    mode : str or int, optional
        Mode to listen for (default ``"all"``: audible, non-audible and compression).
    receiver, custom_base_hz, custom_step, preset, resample, channels_first
        As for :class:`Decoder`.

    Returns
    -------
    list of Message
        In order; ``start`` and ``end`` are sample offsets into ``samples``.
    """
    return decode_blocks([_as_array(samples, channels_first=channels_first)], sample_rate, mode,
                         receiver=receiver, custom_base_hz=custom_base_hz,
                         custom_step=custom_step, preset=preset, resample=resample)


# ---- many files ----

class FileProgress:
    """``done/total files`` on one line of stderr, redrawn as files finish (terminal only)."""

    def __init__(self, total: int, enabled: Optional[bool] = None, label: str = "decoding"):
        self.total, self.done, self.label = total, 0, label
        self.enabled = sys.stderr.isatty() if enabled is None else enabled

    def step(self) -> None:
        self.done += 1
        if self.enabled:
            filled = self.done * 30 // max(self.total, 1)
            sys.stderr.write(f"\r{self.label} [{'#' * filled}{'.' * (30 - filled)}] "
                             f"{self.done}/{self.total} files")
            sys.stderr.flush()

    def close(self) -> None:
        if self.enabled and self.done:
            sys.stderr.write("\r\033[K")
            sys.stderr.flush()


def map_in_order(work: Callable[[_T], _R], items: Sequence[_T], workers: Optional[int] = None,
                 progress: Optional[FileProgress] = None) -> list[tuple[Optional[_R],
                                                                        Optional[Exception]]]:
    """Run ``work`` on every item with a pool of ``workers`` threads (default: one per CPU, at
    most one per item); returns (result, None) or (None, exception) per item, in input order."""
    if workers is None:
        workers = os.cpu_count() or 1
    if isinstance(workers, bool) or not isinstance(workers, int) or workers < 1:
        raise ValueError(f"workers must be a whole number of at least 1, not {workers!r}")

    def guarded(item: _T) -> tuple[Optional[_R], Optional[Exception]]:
        try:
            return work(item), None
        except Exception as exc:  # handed to the caller with its item
            return None, exc
        finally:
            if progress is not None:
                progress.step()

    if workers == 1 or len(items) <= 1:
        return [guarded(item) for item in items]
    with ThreadPoolExecutor(max_workers=min(workers, len(items))) as pool:
        return list(pool.map(guarded, items))


def decode_files(paths: Sequence[str | os.PathLike[str]], *, mode: Optional[ModeLike] = None,
                 workers: Optional[int] = None, receiver: str = "robust",
                 custom_base_hz: Optional[float] = None, custom_step: Optional[int] = None,
                 preset: Optional[str] = None, resample: bool = True,
                 progress: Optional[bool] = None) -> list[list[Message]]:
    """Decode many audio files in parallel, one file per thread at a time.

    Parameters
    ----------
    paths : sequence of str or path
        Audio files (WAV, FLAC, OGG, and with PyAV other containers), each at its own sample
        rate.
    mode, receiver, custom_base_hz, custom_step, preset, resample
        As for :class:`Decoder` (the same for every file).
    workers : int, optional
        Threads (default: one per CPU). Decoding releases the GIL, so two workers on two cores
        take about half the time of one.
    progress : bool, optional
        Show ``done/total files`` on stderr (default: when stderr is a terminal).

    Returns
    -------
    list of list of Message
        One list per file, in the order of ``paths``.

    Raises
    ------
    ryxsound.AudioFileError, ValueError
        The first failure, in input order, after every file was tried.
    """
    from ._io import open_audio

    def one(path: str) -> list[Message]:
        with open_audio(path) as source:
            return decode_blocks(source.blocks(), source.info.sample_rate, mode,
                                 receiver=receiver, custom_base_hz=custom_base_hz,
                                 custom_step=custom_step, preset=preset, resample=resample)

    names = [os.fspath(p) for p in paths]
    bar = FileProgress(len(names), progress)
    try:
        outcomes = map_in_order(one, names, workers, bar)
    finally:
        bar.close()
    results: list[list[Message]] = []
    for result, error in outcomes:
        if error is not None:
            raise error
        results.append(result if result is not None else [])
    return results
