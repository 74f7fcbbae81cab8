"""Spectrogram pictures with the decoded messages and the frequency plans marked (matplotlib)."""

from __future__ import annotations

import os
from collections.abc import Sequence
from typing import Any

import numpy as np
import numpy.typing as npt

from . import _core
from ._codec import Message, _as_array
from ._modes import DEFAULT_CUSTOM_BASE_HZ, DEFAULT_CUSTOM_STEP, Plan, listened_plans, plan

#: Most time columns drawn; longer recordings use a longer hop between analysis frames.
_MAX_COLUMNS = 3000
_FLOOR_DB = -120.0


class PlotUnavailable(Exception):
    """matplotlib is not installed."""


def _matplotlib() -> tuple[Any, Any]:
    try:
        from matplotlib.backends.backend_agg import FigureCanvasAgg
        from matplotlib.figure import Figure
    except ImportError as exc:
        raise PlotUnavailable(f"the spectrogram needs matplotlib: pip install 'ryxsound[plot]' "
                              f"({exc})") from None
    return Figure, FigureCanvasAgg


def spectrogram(samples: npt.ArrayLike, sample_rate: float,
                window: int = 2048) -> tuple[npt.NDArray[np.float64], float, float]:
    """Level of each frequency over time.

    Parameters
    ----------
    samples : array_like
        Mono (or frames x channels) samples: float32, float64, or integers scaled to -1..1 by
        their type's full scale.
    sample_rate : float
        Hz.
    window : int
        Analysis length in samples, a power of two (the receivers' window).

    Returns
    -------
    levels : numpy.ndarray
        (window // 2 + 1, columns) levels in dB relative to a full-scale sine, floored at -120.
    hop_seconds : float
        Time between columns.
    bin_hz : float
        Frequency between rows.
    """
    x = _as_array(samples)
    frames = len(x)
    hop = max(window // 4, int(np.ceil((frames - window) / _MAX_COLUMNS)))
    # The receivers' windowed power spectrum: a full-scale sine shows about 1.0 (0 dB).
    power = _core.power_spectra(x, window, hop)
    levels = 10 * np.log10(np.maximum(power.T.astype(np.float64), 1e-12))
    np.maximum(levels, _FLOOR_DB, out=levels)
    return levels, hop / sample_rate, sample_rate / window


def plot_spectrogram(samples: npt.ArrayLike, sample_rate: float, messages: Sequence[Message],
                     out_path: str, *, mode: str = "all", title: str = "",
                     custom_base_hz: float = DEFAULT_CUSTOM_BASE_HZ,
                     custom_step: int = DEFAULT_CUSTOM_STEP) -> str:
    """Draw a labelled spectrogram to a PNG file.

    Time runs along the x axis (seconds), frequency up the y axis (kHz), the level in dB is the
    colour (with a colour bar). Each message is a shaded time span labelled with its text, mode
    and checksum result; the band of the active plan (for mode ``"all"``: the plans of the
    messages heard, or all three when none was) is drawn between dashed lines.

    Parameters
    ----------
    samples : array_like
        Mono samples.
    sample_rate : float
        Hz.
    messages : sequence of Message
        Decoded messages (offsets in samples of ``samples``).
    out_path : str
        PNG file to write.
    mode : str
        Mode the receiver listened for.
    title : str
        Picture title.
    custom_base_hz, custom_step
        The custom plan, for mode ``"custom"``.

    Returns
    -------
    str
        ``out_path``.

    Raises
    ------
    PlotUnavailable
        When matplotlib is not installed.
    """
    Figure, FigureCanvasAgg = _matplotlib()
    levels, hop_s, bin_hz = spectrogram(samples, sample_rate)
    duration = max(len(np.asarray(samples).ravel()) / sample_rate, hop_s)

    fig = Figure(figsize=(11, 5.5), dpi=100)
    FigureCanvasAgg(fig)
    ax = fig.add_subplot(1, 1, 1)
    top = levels.max()
    image = ax.imshow(levels, origin="lower", aspect="auto", cmap="magma",
                      extent=(0.0, max(hop_s * levels.shape[1], duration), 0.0,
                              bin_hz * (levels.shape[0] - 1) / 1000.0),
                      vmin=max(_FLOOR_DB, top - 100.0), vmax=max(top, _FLOOR_DB + 1.0),
                      interpolation="nearest")
    colorbar = fig.colorbar(image, ax=ax, pad=0.02)
    colorbar.set_label("level (dB re full-scale sine)")
    ax.set_xlabel("time (s)")
    ax.set_ylabel("frequency (kHz)")
    ax.set_xlim(0.0, duration)
    ax.set_title(title or f"{os.path.basename(out_path)}  ({sample_rate:g} Hz)")

    if mode == "all":
        names = sorted({m.mode for m in messages}) or list(listened_plans("all"))
    else:
        names = [mode]
    plans: list[Plan] = [plan(n, sample_rate, custom_base_hz, custom_step) for n in names]
    for p in plans:
        for f in (p.low_hz, p.high_hz):
            ax.axhline(f / 1000.0, color="cyan", linestyle="--", linewidth=0.9, alpha=0.9)
        ax.text(0.005, p.high_hz / 1000.0, f"{p.name} band", color="cyan", fontsize=8,
                va="bottom", ha="left", transform=ax.get_yaxis_transform())

    for m in messages:
        t0, t1 = m.start / sample_rate, max(m.end, m.start + 1) / sample_rate
        colour = "lime" if m.ok else "red"
        for t in (t0, t1):
            ax.axvline(t, color=colour, linewidth=0.9, linestyle=":")
        ax.hlines(0.95, t0, t1, colors=colour, linewidth=3, transform=ax.get_xaxis_transform())
        label = f"{m.text} ({m.mode}{'' if m.ok else ', checksum failed'})"
        ax.text(t0, 0.93, " " + label, transform=ax.get_xaxis_transform(), color=colour,
                fontsize=9, va="top", ha="left", clip_on=True)
    fig.tight_layout()
    fig.savefig(out_path, format="png")
    return out_path
