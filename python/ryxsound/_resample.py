"""Sample-rate conversion with ``soxr``: audio is brought to and from the rate a plan is made at
(see :func:`ryxsound.plan_rate`), and message offsets are taken back to the caller's samples."""

from __future__ import annotations

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
