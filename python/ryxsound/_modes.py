"""Mode, plan and receiver names and the checks of what users pass; every figure of a plan (tone
frequencies and bins, band, symbol length, window size, supported rates) comes from the core."""

from __future__ import annotations

from dataclasses import dataclass
from typing import Optional, Union

import numpy as np

from . import _core

#: Mode identifiers, by name.
MODE_IDS: dict[str, int] = {_core.mode_name(i): i for i in range(2, 7)}
#: Names by identifier.
MODE_NAMES: dict[int, str] = {v: k for k, v in MODE_IDS.items()}
#: Plan names by the plan number a message reports.
PLAN_NAMES: dict[int, str] = {i: _core.plan_name(i) for i in range(4)}
#: Receivers a decoder can use: "robust" holds in speech, codecs and weak signals; "standard" is
#: the plain symbol-clock receiver.
RECEIVERS: tuple[str, ...] = ("robust", "standard")

#: Limits of the sample rates the core accepts, Hz.
MIN_SAMPLE_RATE = float(_core.MIN_SAMPLE_RATE)
MAX_SAMPLE_RATE = float(_core.MAX_SAMPLE_RATE)
#: Rates with a proper analysis window, best first; the command-line tool accepts only these.
USEFUL_SAMPLE_RATES: tuple[int, ...] = tuple(int(r) for r in _core.supported_rates(2))

#: Defaults of the custom plan: base frequency in Hz and step parameter (hop of step + 2 bins).
DEFAULT_CUSTOM_BASE_HZ = 12000.0
DEFAULT_CUSTOM_STEP = 1

#: Symbols in one transmission: two start symbols, nine data, checksum, eight parity.
TRANSMISSION_SYMBOLS: int = _core.TRANSMISSION_SYMBOLS
#: Characters of one message.
TEXT_LENGTH: int = _core.TEXT_LENGTH
#: The base-32 alphabet, lower case.
ALPHABET = "0123456789abcdefghijklmnopqrstuv"

ModeLike = Union[str, int]


def mode_id(mode: ModeLike) -> int:
    """Return the mode identifier (2..6) for a mode name or identifier.

    Parameters
    ----------
    mode : str or int
        ``"audible"``, ``"nonaudible"`` (also ``"non-audible"``), ``"compression"``, ``"all"``,
        ``"custom"`` in any case, or one of the ``RYX_MODE_*`` integers 2..6.

    Raises
    ------
    ValueError
        For an unknown name or number, naming it and the valid choices.
    """
    if isinstance(mode, bool):
        raise ValueError(f"unknown mode {mode!r}: use one of {', '.join(MODE_IDS)} or 2..6")
    if isinstance(mode, (int, np.integer)):
        if int(mode) in MODE_NAMES:
            return int(mode)
        raise ValueError(f"unknown mode {int(mode)}: the mode numbers are 2..6 "
                         f"({', '.join(f'{v} {k}' for k, v in MODE_IDS.items())})")
    if isinstance(mode, str):
        try:
            return int(_core.mode_from_name(mode.strip()))
        except ValueError:
            raise ValueError(f"unknown mode {mode!r}: use one of {', '.join(MODE_IDS)}") from None
    raise ValueError(f"unknown mode {mode!r}: give a mode name or number")


def mode_name(mode: ModeLike) -> str:
    """Return the canonical name of a mode: ``"audible"``, ``"nonaudible"``, ``"compression"``,
    ``"all"`` or ``"custom"``. Raises ValueError for an unknown mode."""
    return MODE_NAMES[mode_id(mode)]


def receiver_name(receiver: object) -> str:
    """Check a receiver name (``"robust"`` or ``"standard"``, any case) and return it."""
    if isinstance(receiver, str) and receiver.strip().lower() in RECEIVERS:
        return receiver.strip().lower()
    raise ValueError(f"unknown receiver {receiver!r}: use one of {', '.join(RECEIVERS)}")


def check_rate(sample_rate: float) -> float:
    """Return ``sample_rate`` as a float after checking that the core accepts it (a finite number
    of Hz within 1000..1000000); ValueError otherwise."""
    if isinstance(sample_rate, bool):
        raise ValueError(f"sample rate must be a number of Hz, not {sample_rate!r}")
    try:
        rate = float(sample_rate)
    except (TypeError, ValueError):
        raise ValueError(f"sample rate must be a number, not {sample_rate!r}") from None
    _core.check_sample_rate(rate)
    return rate


def supported_rates(mode: ModeLike, custom_base_hz: float = DEFAULT_CUSTOM_BASE_HZ,
                    custom_step: int = DEFAULT_CUSTOM_STEP,
                    preset: Optional["Preset"] = None) -> tuple[int, ...]:
    """Rates a mode works well at, best first: 44100 and 48000 Hz, and 22050 Hz where its plans
    fit (the custom band applies to mode ``"custom"`` only); limited to the preset's rates when
    one is given."""
    rates = tuple(int(r) for r in _core.supported_rates(mode_id(mode), float(custom_base_hz),
                                                        int(custom_step)))
    return rates if preset is None else tuple(r for r in rates if r in preset.sample_rates)


def window_size(sample_rate: float) -> int:
    """Analysis window length of the receiver at a sample rate: 2048 at 44100 and 48000 Hz, 1024
    at 22050 Hz."""
    return int(_core.plan_info(0, check_rate(sample_rate)).window_size)


def symbol_duration(sample_rate: float) -> int:
    """Samples per symbol at a sample rate: 4608 at 44100 Hz, 5015 at 48000 Hz, 2304 at 22050."""
    return int(_core.plan_info(0, check_rate(sample_rate)).symbol_samples)


def transmission_length(sample_rate: float) -> int:
    """Samples in one transmission without a longer melody: twenty symbols, 92160 at 44100 Hz."""
    return int(_core.plan_info(0, check_rate(sample_rate)).transmission_samples)


@dataclass(frozen=True)
class Plan:
    """The tones of one frequency plan at one sample rate, as the core places them.

    Attributes
    ----------
    name : str
        ``"audible"``, ``"nonaudible"``, ``"compression"`` or ``"custom"``.
    tones_hz : tuple of float
        The nine tone frequencies before the hop, lowest first.
    tone_bins : tuple of int
        Their analysis bins.
    hop_hz : float
        One hop step; symbols are raised by 0, 1 or 2 steps depending on their position.
    low_hz, high_hz : float
        The band: tone 0, and tone 8 raised by two hops (the highest frequency sent).
    window_size : int
        The receiver's analysis length in samples.
    symbol_samples : int
        Samples per symbol.
    fits : bool
        Every tone with its hops lies below the Nyquist frequency.
    """

    name: str
    tones_hz: tuple[float, ...]
    tone_bins: tuple[int, ...]
    hop_hz: float
    low_hz: float
    high_hz: float
    window_size: int
    symbol_samples: int
    fits: bool


def plan(name: ModeLike, sample_rate: float, custom_base_hz: float = DEFAULT_CUSTOM_BASE_HZ,
         custom_step: int = DEFAULT_CUSTOM_STEP) -> Plan:
    """The frequency plan of a mode (``"all"`` sends like ``"nonaudible"``) at ``sample_rate``;
    the custom band applies to ``"custom"`` only."""
    name = mode_name(name)
    if name == "all":
        name = "nonaudible"
    number = next(k for k, v in PLAN_NAMES.items() if v == name)
    info = _core.plan_info(number, check_rate(sample_rate), float(custom_base_hz),
                           int(custom_step))
    return Plan(name=name, tones_hz=tuple(info.tone_hz), tone_bins=tuple(info.tone_bins),
                hop_hz=info.hop_hz, low_hz=info.band_low_hz, high_hz=info.band_high_hz,
                window_size=info.window_size, symbol_samples=info.symbol_samples,
                fits=info.fits)


def listened_plans(mode: ModeLike) -> tuple[str, ...]:
    """The plans a mode listens for: its own, or for ``"all"`` audible, non-audible and
    compression."""
    return tuple(PLAN_NAMES[p] for p in _core.plans_of(mode_id(mode)))


def check_plan_fits(name: ModeLike, sample_rate: float,
                    custom_base_hz: float = DEFAULT_CUSTOM_BASE_HZ,
                    custom_step: int = DEFAULT_CUSTOM_STEP) -> None:
    """Raise ValueError unless every plan of the mode (for ``"all"``: audible, non-audible and
    compression) lies below half of ``sample_rate``, naming the plan, its band and the rate."""
    _core.check_mode_fits(mode_id(name), check_rate(sample_rate), float(custom_base_hz),
                          int(custom_step))


@dataclass(frozen=True)
class Preset:
    """A named mode and band chosen for a path (``"phone"``: a custom plan from 600 Hz inside the
    300-3400 Hz telephone band), as the core's presets table gives it.

    Attributes
    ----------
    name, mode : str
    custom_base_hz : float
        Tone 0 of the custom plan, Hz.
    custom_step : int
        Step parameter of the custom plan (hop of step + 2 bins).
    description : str
        One line for help texts.
    band : str
        What the plan is made for ("telephone band 300-3400 Hz").
    sample_rates : tuple of int
        Rates the plan is made at: those with the analysis window of 44100 Hz (at 22050 Hz the
        bins, and so the plan, are twice as wide). Audio at other rates is converted to and
        from the nearer of them (see :func:`plan_rate`).
    """

    name: str
    mode: str
    custom_base_hz: float
    custom_step: int
    description: str
    band: str
    sample_rates: tuple[int, ...]


def _preset(p: _core.Preset) -> Preset:
    window = _core.plan_info(3, 44100.0, p.custom_base_hz, p.custom_step).window_size
    rates = tuple(int(r) for r in _core.supported_rates(p.mode, p.custom_base_hz, p.custom_step)
                  if _core.plan_info(3, r, p.custom_base_hz, p.custom_step).window_size == window)
    return Preset(p.name, MODE_NAMES[p.mode], p.custom_base_hz, p.custom_step, p.description,
                  p.description.split(":")[0], rates)


#: The presets by name, in the core's order.
PRESETS: dict[str, Preset] = {p.name: _preset(p) for p in _core.presets()}


def presets() -> tuple[Preset, ...]:
    """The presets the core knows, in a fixed order."""
    return tuple(PRESETS.values())


def preset(name: str) -> Preset:
    """The preset of that name (any case); ValueError naming the known ones otherwise."""
    if not isinstance(name, str) or name.strip().lower() not in PRESETS:
        raise ValueError(f"unknown preset {name!r}: use one of {', '.join(PRESETS)}")
    return PRESETS[name.strip().lower()]


def preset_settings(name: str, mode: object = None, custom_base_hz: object = None,
                    custom_step: object = None) -> Preset:
    """The preset ``name``, after checking that no conflicting plan was asked for: the mode may
    only be None or the preset's, the custom band settings must be None; ValueError otherwise."""
    chosen = preset(name)
    if mode is not None and mode_name(mode) != chosen.mode:  # type: ignore[arg-type]
        raise ValueError(f"preset {chosen.name!r} is a {chosen.mode} plan; it cannot be combined "
                         f"with mode {mode_name(mode)!r}")  # type: ignore[arg-type]
    if custom_base_hz is not None or custom_step is not None:
        raise ValueError(f"preset {chosen.name!r} fixes the custom plan; leave custom_base_hz "
                         f"and custom_step out")
    return chosen


def plan_rate(mode: ModeLike, sample_rate: float,
              custom_base_hz: float = DEFAULT_CUSTOM_BASE_HZ,
              custom_step: int = DEFAULT_CUSTOM_STEP, preset: Optional[str] = None) -> float:
    """The rate a mode's plan is synthesised and analysed at for audio at ``sample_rate``, as
    the core decides it for every tool: the rate itself at 44100, 48000 and 22050 Hz where the
    plan fits there (22050 Hz not for presets), else the nearer by ratio of 44100 and 48000 Hz
    (8000, 16000, 32000 -> 44100; 88200, 96000, 192000 -> 48000). Audio at the other rate is
    converted to and from it.

    Raises
    ------
    ValueError
        When audio at ``sample_rate`` cannot hold the plan (for ``"all"``: none of its plans),
        naming the band and the rate.
    """
    rate = check_rate(sample_rate)
    return float(_core.plan_rate(mode_id(mode), rate, float(custom_base_hz), int(custom_step),
                                 preset or ""))


def default_receive_mode(sample_rate: float) -> str:
    """The mode a receiver listens for when none is given: ``"all"``, or ``"audible"`` at a rate
    that is a plan rate of the audible plan alone (22050 Hz), so that what :func:`encode` writes
    there by default is heard."""
    rate = check_rate(sample_rate)
    audible_only = rate in supported_rates("audible") and rate not in supported_rates("all")
    return "audible" if audible_only else "all"


def resolve_band(mode: Optional[ModeLike], default_mode: str, preset_name: Optional[str],
                 custom_base_hz: Optional[float],
                 custom_step: Optional[int]) -> tuple[str, float, int]:
    """The mode name and custom band of the arguments of encode and the decoders.

    A preset gives the mode and band (and then mode must be its mode or not given, and no custom
    band may be given); otherwise the mode is ``mode`` (``default_mode`` when None), and
    custom_base_hz and custom_step apply to mode ``"custom"`` only, defaulting to 12000 Hz and 1.
    """
    if preset_name is not None:
        p = preset_settings(preset_name, mode, custom_base_hz, custom_step)
        return p.mode, p.custom_base_hz, p.custom_step
    name = mode_name(default_mode if mode is None else mode)
    if name != "custom":
        if custom_base_hz is not None or custom_step is not None:
            raise ValueError(f"custom_base_hz and custom_step apply to mode 'custom' only, "
                             f"not to mode {name!r}")
        return name, DEFAULT_CUSTOM_BASE_HZ, DEFAULT_CUSTOM_STEP
    base = DEFAULT_CUSTOM_BASE_HZ if custom_base_hz is None else custom_base_hz
    step = DEFAULT_CUSTOM_STEP if custom_step is None else custom_step
    try:
        base = float(base)
    except (TypeError, ValueError):
        raise ValueError(f"custom_base_hz must be a number, not {custom_base_hz!r}") from None
    if isinstance(step, bool) or not isinstance(step, (int, np.integer)):
        raise ValueError(f"custom_step must be an int, not {custom_step!r}")
    return name, base, int(step)
