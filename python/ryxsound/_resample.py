"""Sample-rate conversion with ``soxr``: audio at any rate is brought to the nearest rate a plan
is decoded well at, and message offsets are taken back to the caller's samples."""

from __future__ import annotations

import math
from typing import Any, Optional

import numpy as np
import numpy.typing as npt


def _soxr() -> Any:
    try:
        import soxr
    except ImportError as exc:
        raise ValueError(f"audio at this sample rate must be resampled, which needs the "
                                  f"soxr package (pip install soxr): {exc}") from None
    return soxr


def nearest_rate(rate: float, choices: tuple[int, ...]) -> int:
    """The rate among ``choices`` closest to ``rate`` by ratio (96000 -> 48000 among 44100 and
    48000; 8000 -> 44100).

    Raises
    ------
    ValueError
        When ``choices`` is empty.
    """
    if not choices:
        raise ValueError("no sample rate suits this plan")
    return min(choices, key=lambda c: abs(math.log(c / rate)))


class StreamResampler:
    """Converts a stream from ``in_rate`` to ``out_rate`` block by block.

    The converter compensates its own delay: input sample ``i`` comes out at output sample
    ``i * out_rate / in_rate``, which :meth:`to_input` inverts.

    Parameters
    ----------
    in_rate, out_rate : float
        Hz.
    """

    def __init__(self, in_rate: float, out_rate: float):
        self.in_rate = float(in_rate)
        self.out_rate = float(out_rate)
        self._stream = _soxr().ResampleStream(self.in_rate, self.out_rate, 1, dtype="float32",
                                              quality="HQ")

    def process(self, samples: npt.NDArray[np.float32]) -> npt.NDArray[np.float32]:
        """Convert the next block of float32 mono samples (the output may be shorter or
        longer than in proportion: the converter holds back a few samples)."""
        return np.asarray(self._stream.resample_chunk(samples, last=False), dtype=np.float32)

    def finish(self) -> npt.NDArray[np.float32]:
        """The samples still held back, at the end of the stream."""
        empty = np.zeros(0, dtype=np.float32)
        return np.asarray(self._stream.resample_chunk(empty, last=True), dtype=np.float32)

    def to_input(self, offset: int) -> int:
        """An offset in output samples as the nearest offset in input samples."""
        return int(round(offset * self.in_rate / self.out_rate))


def convert(samples: npt.ArrayLike, in_rate: float, out_rate: float) -> npt.NDArray[np.float32]:
    """Resample a whole mono signal in one go (float32 out; the same array when the rates
    match)."""
    arr = np.asarray(samples, dtype=np.float32)
    if float(in_rate) == float(out_rate):
        return arr
    out = _soxr().resample(arr, float(in_rate), float(out_rate), quality="HQ")
    return np.ascontiguousarray(out, dtype=np.float32)


#: Rates audio at other rates is brought to. The plans at 44100 and 48000 Hz share their hop
#: steps (a 2048-sample window); at 22050 Hz the window is half as long and the hop steps twice
#: as wide, so audio sent at 44100 Hz and resampled to 22050 Hz would not decode there. 22050 Hz
#: is used only for audio recorded at that rate.
TARGET_RATES = (44100, 48000)


def plan_rate(rate: float, supported: tuple[int, ...], resample: bool) -> Optional[int]:
    """The rate a receiver should run at for audio at ``rate``: None when ``rate`` can be used
    as it is (it is in ``supported``, or ``resample`` is off, or no target suits the plan), else
    the nearest of :data:`TARGET_RATES` in ``supported`` (32000 -> 44100, 96000 -> 48000)."""
    if not resample or float(rate) in supported:
        return None
    targets = tuple(r for r in TARGET_RATES if r in supported)
    return nearest_rate(rate, targets) if targets else None
