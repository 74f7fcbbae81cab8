"""Spectrogram pictures with the decoded messages and the frequency plans marked (matplotlib)."""

from __future__ import annotations

import os
from collections.abc import Sequence
from typing import Any, Optional

import numpy as np
import numpy.typing as npt

from . import _core
from ._codec import Message, _as_array
from ._modes import DEFAULT_CUSTOM_BASE_HZ, DEFAULT_CUSTOM_STEP, Plan, listened_plans, plan

#: Most time columns drawn; longer recordings use a longer hop between analysis frames.
_MAX_COLUMNS = 3000
_FLOOR_DB = -120.0
#: The colour scale spans at least this many dB, so that silence is dark, not a stretched scale
#: of rounding noise.
_MIN_RANGE_DB = 60.0
#: Picture formats by file extension.
IMAGE_FORMATS = ("png", "svg", "pdf", "jpg", "jpeg")


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


def colour_limits(levels: npt.NDArray[np.float64]) -> tuple[float, float]:
    """The dB range of the colour scale: the 100 dB below the loudest level, never beyond the
    floor, and at least 60 dB wide (digital silence is then dark, not a scale of a few dB)."""
    top = max(float(levels.max()), _FLOOR_DB + _MIN_RANGE_DB)
    return max(_FLOOR_DB, top - 100.0), top


def plot_spectrogram(samples: npt.ArrayLike, sample_rate: float, messages: Sequence[Message],
                     out_path: str, *, mode: str = "all", title: str = "",
                     custom_base_hz: float = DEFAULT_CUSTOM_BASE_HZ,
                     custom_step: int = DEFAULT_CUSTOM_STEP, plan_rate: Optional[float] = None,
                     time_range: Optional[tuple[float, float]] = None,
                     payloads: Sequence[Any] = ()) -> str:
    """Draw a labelled spectrogram to a picture whose format follows the extension of
    ``out_path`` (.png, .svg, .pdf, .jpg).

    Time runs along the x axis (seconds), frequency up the y axis (kHz), the level in dB is the
    colour (with a colour bar). Each message and payload is a shaded time span labelled with its
    text (or size), mode and result; the band of the active plan (for mode ``"all"``: the plans
    of the messages heard, or all three when none was) is drawn between dashed lines where it
    lies below half the sample rate. Any rate is drawn, whether a plan fits it or not.

    Parameters
    ----------
    samples : array_like
        Mono samples.
    sample_rate : float
        Hz.
    messages : sequence of Message
        Decoded messages (offsets in samples of ``samples``).
    out_path : str
        Picture to write.
    mode : str
        Mode the receiver listened for.
    title : str
        Picture title.
    custom_base_hz, custom_step
        The custom plan, for mode ``"custom"``.
    plan_rate : float, optional
        Rate the receiver ran at (the plans' tones depend on it); ``sample_rate`` when None.
    time_range : (float, float), optional
        Seconds from and to which to draw; the whole recording when None.
    payloads : sequence of Payload
        Decoded payloads (offsets in samples of ``samples``).

    Returns
    -------
    str
        ``out_path``.

    Raises
    ------
    PlotUnavailable
        When matplotlib is not installed.
    ValueError
        For an extension that is not a picture format.
    """
    ext = os.path.splitext(out_path)[1].lower().lstrip(".")
    if ext not in IMAGE_FORMATS:
        raise ValueError(f"{out_path}: use one of {', '.join('.' + e for e in IMAGE_FORMATS)}")
    Figure, FigureCanvasAgg = _matplotlib()
    x = np.asarray(samples).ravel()
    t0, t1 = time_range if time_range is not None else (0.0, len(x) / sample_rate)
    first = min(max(int(t0 * sample_rate), 0), len(x))
    levels, hop_s, bin_hz = spectrogram(x[first:int(np.ceil(t1 * sample_rate))], sample_rate)
    t0 = first / sample_rate
    t1 = max(t1, t0 + hop_s)

    fig = Figure(figsize=(11, 5.5), dpi=100)
    FigureCanvasAgg(fig)
    ax = fig.add_subplot(1, 1, 1)
    vmin, vmax = colour_limits(levels)
    image = ax.imshow(levels, origin="lower", aspect="auto", cmap="magma",
                      extent=(t0, t0 + max(hop_s * levels.shape[1], t1 - t0), 0.0,
                              bin_hz * (levels.shape[0] - 1) / 1000.0),
                      vmin=vmin, vmax=vmax, interpolation="nearest")
    colorbar = fig.colorbar(image, ax=ax, pad=0.02)
    colorbar.set_label("level (dB re full-scale sine)")
    ax.set_xlabel("time (s)")
    ax.set_ylabel("frequency (kHz)")
    ax.set_xlim(t0, t1)
    ax.set_title(title or f"{os.path.basename(out_path)}  ({sample_rate:g} Hz)", fontsize=10,
                 wrap=True)

    shown = [m for m in messages
             if m.end / sample_rate >= t0 and m.start / sample_rate <= t1]
    shown_payloads = [p for p in payloads
                      if p.end / sample_rate >= t0 and p.start / sample_rate <= t1]
    if mode == "all":
        names = (sorted({x.mode for x in [*shown, *shown_payloads]})
                 or list(listened_plans("all")))
    else:
        names = [mode]
    rate = sample_rate if plan_rate is None else plan_rate
    plans: list[Plan] = []
    for n in names:
        try:
            drawn = plan(n, rate, custom_base_hz, custom_step)
        except ValueError:  # a rate no plan is made at
            continue
        if drawn.high_hz < sample_rate / 2:
            plans.append(drawn)
    for p in plans:
        for f in (p.low_hz, p.high_hz):
            ax.axhline(f / 1000.0, color="cyan", linestyle="--", linewidth=0.9, alpha=0.9)
        # Below the band's lower edge, at the right: clear of the message labels at the top.
        ax.text(0.995, p.low_hz / 1000.0, f"{p.name} band ", color="cyan", fontsize=8,
                va="top", ha="right", transform=ax.get_yaxis_transform())

    # A label of 8-point text takes about 0.75% of the axes' width per character; a message too
    # close to the labels before it on both rows keeps its span unlabelled.
    char_width = 0.0075 * (t1 - t0)
    labelled_until = [-np.inf, -np.inf]  # per label row, where its last label ends
    spans = [(m, f"{m.text} ({m.mode}{'' if m.ok else ', checksum failed'})") for m in shown]
    spans += [(p, f"payload of {p.size} bytes ({p.mode}, {p.profile}{'' if p.ok else ', failed'})")
              for p in shown_payloads]
    spans.sort(key=lambda span: span[0].start)
    for m, label in spans:
        m0, m1 = m.start / sample_rate, max(m.end, m.start + 1) / sample_rate
        colour = "lime" if m.ok else "red"
        for t in (m0, m1):
            ax.axvline(t, color=colour, linewidth=0.9, linestyle=":")
        ax.hlines(0.97, m0, m1, colors=colour, linewidth=3, transform=ax.get_xaxis_transform())
        at = max(m0, t0)
        row = next((r for r in (0, 1) if labelled_until[r] <= at), None)
        if row is None:
            continue
        labelled_until[row] = at + (len(label) + 2) * char_width
        ax.text(at, 0.95 - 0.06 * row, " " + label, transform=ax.get_xaxis_transform(),
                color=colour, fontsize=8, va="top", ha="left", clip_on=True)
    fig.tight_layout()
    fig.savefig(out_path, format="jpeg" if ext == "jpg" else ext)
    return out_path
