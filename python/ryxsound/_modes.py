"""Mode names, sample-rate rules and the frequency plans, as the Python side needs them.

The frequency arithmetic here mirrors the core library closely enough to draw a plan's band on a
spectrogram and to refuse a plan that does not fit below the Nyquist frequency; the core remains
the authority on the exact tone frequencies.
"""

from __future__ import annotations

from dataclasses import dataclass
from typing import Optional, Union

import numpy as np

#: Mode identifiers of the extension module, by name.
MODE_IDS: dict[str, int] = {
    "audible": 2,
    "nonaudible": 3,
    "compression": 4,
    "all": 5,
    "custom": 6,
}
#: Names by identifier.
MODE_NAMES: dict[int, str] = {v: k for k, v in MODE_IDS.items()}
#: Plan names by the decoder's plan index (what ``RYX_GetDecodedMode`` returns).
DECODED_MODE_NAMES: dict[int, str] = {0: "audible", 1: "nonaudible", 2: "compression", 3: "custom"}

#: Limits of the sample rates the core accepts, Hz.
MIN_SAMPLE_RATE = 1000.0
MAX_SAMPLE_RATE = 1000000.0
#: Rates with a proper analysis window; the command-line tool accepts only these.
USEFUL_SAMPLE_RATES = (44100, 48000, 22050)

#: Defaults of the process-wide custom plan: base frequency in Hz and step parameter
#: (hop step of step + 2 bins).
DEFAULT_CUSTOM_BASE_HZ = 12000.0
DEFAULT_CUSTOM_STEP = 1

#: Symbols in one transmission: two start symbols, nine data, checksum, eight parity.
TRANSMISSION_SYMBOLS = 20
#: Characters of one message.
TEXT_LENGTH = 9
#: The base-32 alphabet, lower case.
ALPHABET = "0123456789abcdefghijklmnopqrstuv"

ModeLike = Union[str, int]


def mode_id(mode: ModeLike) -> int:
    """Return the module's mode identifier (2..6) for a mode name or identifier.

    Parameters
    ----------
    mode : str or int
        ``"audible"``, ``"nonaudible"`` (also ``"non-audible"``), ``"compression"``, ``"all"``,
        ``"custom"`` in any case, or one of the ``RYX_MODE_*`` integers 2..6.

    Returns
    -------
    int
        The identifier.

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
        key = mode.strip().lower().replace("-", "").replace("_", "")
        if key in MODE_IDS:
            return MODE_IDS[key]
        raise ValueError(f"unknown mode {mode!r}: use one of {', '.join(MODE_IDS)}")
    raise ValueError(f"unknown mode {mode!r}: give a mode name or number")


def mode_name(mode: ModeLike) -> str:
    """Return the canonical name of a mode.

    Parameters
    ----------
    mode : str or int
        A mode name (any case, ``"non-audible"`` accepted) or identifier 2..6.

    Returns
    -------
    str
        One of ``"audible"``, ``"nonaudible"``, ``"compression"``, ``"all"``, ``"custom"``.

    Raises
    ------
    ValueError
        For an unknown mode.
    """
    return MODE_NAMES[mode_id(mode)]


def check_rate(sample_rate: float) -> float:
    """Return ``sample_rate`` as a float after checking that the core accepts it.

    Parameters
    ----------
    sample_rate : float
        Hz.

    Returns
    -------
    float

    Raises
    ------
    ValueError
        When the rate is not a finite number within 1000..1000000 Hz.
    """
    try:
        rate = float(sample_rate)
    except (TypeError, ValueError):
        raise ValueError(f"sample rate must be a number, not {sample_rate!r}") from None
    if not np.isfinite(rate) or not MIN_SAMPLE_RATE <= rate <= MAX_SAMPLE_RATE:
        raise ValueError(f"sample rate {sample_rate!r} Hz is outside "
                         f"{MIN_SAMPLE_RATE:.0f}..{MAX_SAMPLE_RATE:.0f} Hz")
    return rate


def window_size(sample_rate: float) -> int:
    """Analysis window length of the receiver at a sample rate.

    Parameters
    ----------
    sample_rate : float
        Hz.

    Returns
    -------
    int
        2048 at 44100 and 48000 Hz, 1024 at 22050 Hz, 512 at 11050 Hz, 256 at any other rate.
    """
    r = np.float32(sample_rate)
    if r in (np.float32(48000), np.float32(44100)):
        return 2048
    if r == np.float32(22050):
        return 1024
    if r == np.float32(11050):
        return 512
    return 256


def symbol_duration(sample_rate: float) -> int:
    """Samples per symbol at a sample rate.

    Parameters
    ----------
    sample_rate : float
        Hz.

    Returns
    -------
    int
        int(rate x 0.104489796): 4608 at 44100 Hz, 5015 at 48000 Hz, 2304 at 22050 Hz.
    """
    return int(np.float32(sample_rate) * np.float32(0.104489796))


def transmission_length(sample_rate: float) -> int:
    """Samples in one transmission of a nine-character text without a longer melody.

    Parameters
    ----------
    sample_rate : float
        Hz.

    Returns
    -------
    int
        Twenty symbol durations: 92160 at 44100 Hz.
    """
    return TRANSMISSION_SYMBOLS * symbol_duration(sample_rate)


@dataclass(frozen=True)
class Plan:
    """The tones of one frequency plan at one sample rate.

    Attributes
    ----------
    name : str
        Plan name (``"audible"``, ``"nonaudible"``, ``"compression"`` or ``"custom"``).
    tones_hz : tuple of float
        The nine unshifted tone frequencies, lowest first.
    hop_hz : float
        One hop step; symbols are raised by 0, 1 or 2 steps depending on their position.
    """

    name: str
    tones_hz: tuple[float, ...]
    hop_hz: float

    @property
    def low_hz(self) -> float:
        """Lowest frequency any symbol of the plan uses."""
        return self.tones_hz[0]

    @property
    def high_hz(self) -> float:
        """Highest frequency any symbol of the plan uses (tone 8 raised by two hops)."""
        return self.tones_hz[-1] + 2.0 * self.hop_hz


def plan(name: str, sample_rate: float, custom_base_hz: float = DEFAULT_CUSTOM_BASE_HZ,
         custom_step: int = DEFAULT_CUSTOM_STEP) -> Plan:
    """The frequency plan ``name`` at ``sample_rate``.

    Parameters
    ----------
    name : str
        A plan name; ``"all"`` sends like ``"nonaudible"`` and is mapped to it.
    sample_rate : float
        Sample rate in Hz.
    custom_base_hz, custom_step : float, int
        The custom plan's base frequency and step parameter (used for ``"custom"`` only).

    Returns
    -------
    Plan
    """
    name = mode_name(name)
    if name == "all":
        name = "nonaudible"
    n = window_size(sample_rate)
    bin_width = float(np.float32(sample_rate) / np.float32(n))
    per_bin_44k = 44100.0 / n  # steps are whole bins of a 44100 Hz analysis
    if name == "audible":
        base, spacing, step = 3300.0, 750.0, 12 * per_bin_44k
    elif name == "nonaudible":
        step = 4 * per_bin_44k
        base, spacing = 17800.0, 3 * step
    elif name == "compression":
        step = 3 * per_bin_44k
        base, spacing = 14000.0, 3 * step
    else:
        step = (int(custom_step) + 2) * per_bin_44k
        base, spacing = float(custom_base_hz), 3 * step

    def snap(f: float) -> float:
        return int(f / bin_width + 0.5) * bin_width

    tones = tuple(snap(base) + j * snap(spacing) for j in range(9))
    return Plan(name=name, tones_hz=tones, hop_hz=step)


def check_plan_fits(name: str, sample_rate: float, custom_base_hz: float = DEFAULT_CUSTOM_BASE_HZ,
                    custom_step: int = DEFAULT_CUSTOM_STEP) -> None:
    """Raise ValueError when a plan's tones do not lie strictly between 0 Hz and the Nyquist
    frequency of ``sample_rate`` (with one analysis bin to spare at either end).

    For ``"all"`` every plan it listens to (audible, non-audible, compression) must fit.
    """
    name = mode_name(name)
    names = ["audible", "nonaudible", "compression"] if name == "all" else [name]
    nyquist = sample_rate / 2.0
    bin_width = sample_rate / window_size(sample_rate)
    for each in names:
        p = plan(each, sample_rate, custom_base_hz, custom_step)
        if p.high_hz + 2 * bin_width >= nyquist or p.low_hz < 2 * bin_width:
            what = f"mode {name!r}" if each == name else f"mode {name!r} (its {each} plan)"
            raise ValueError(
                f"{what} uses {p.low_hz:.0f}..{p.high_hz:.0f} Hz, which does not fit between "
                f"0 Hz and the Nyquist frequency {nyquist:.0f} Hz of the sample rate "
                f"{sample_rate:g} Hz")


@dataclass(frozen=True)
class Preset:
    """A named custom plan for a known channel.

    Attributes
    ----------
    name : str
    custom_base_hz : float
        Tone 0 of the custom plan, Hz.
    custom_step : int
        Step parameter of the custom plan (hop step of step + 2 bins).
    sample_rates : tuple of int
        Rates at which the plan keeps to its band (at 22050 Hz the analysis bins, and so the
        plan, are twice as wide).
    band : str
        What the plan fits, for help texts.
    """

    name: str
    custom_base_hz: float
    custom_step: int
    sample_rates: tuple[int, ...]
    band: str


#: The presets by name. "phone": 600..2280 Hz at 44100 Hz, inside the 300-3400 Hz telephone band
#: (passes a telephone band-pass at 8 kHz, G.711, GSM 06.10, Speex and Opus narrow-band).
PRESETS: dict[str, Preset] = {
    "phone": Preset("phone", 600.0, DEFAULT_CUSTOM_STEP, (44100, 48000),
                    "the 300-3400 Hz telephone band"),
}


def preset_settings(preset: str, mode: object = None, custom_base_hz: object = None,
                    custom_step: object = None) -> Preset:
    """The preset named ``preset``, after checking that no conflicting plan was asked for.

    Parameters
    ----------
    preset : str
        A name from :data:`PRESETS` (any case).
    mode, custom_base_hz, custom_step
        What the caller also gave: the mode may only be None or ``"custom"``; the custom plan
        settings must be None.

    Raises
    ------
    ValueError
        For an unknown preset or settings that contradict it.
    """
    if not isinstance(preset, str) or preset.strip().lower() not in PRESETS:
        raise ValueError(f"unknown preset {preset!r}: use one of {', '.join(PRESETS)}")
    chosen = PRESETS[preset.strip().lower()]
    if mode is not None and mode_name(mode) != "custom":  # type: ignore[arg-type]
        raise ValueError(f"preset {chosen.name!r} is a custom plan; it cannot be combined with "
                         f"mode {mode_name(mode)!r}")  # type: ignore[arg-type]
    if custom_base_hz is not None or custom_step is not None:
        raise ValueError(f"preset {chosen.name!r} fixes the custom plan; leave custom_base_hz "
                         f"and custom_step out")
    return chosen


def supported_rates(name: str, custom_base_hz: float = DEFAULT_CUSTOM_BASE_HZ,
                    custom_step: int = DEFAULT_CUSTOM_STEP,
                    preset: Optional[Preset] = None) -> tuple[int, ...]:
    """The rates among :data:`USEFUL_SAMPLE_RATES` at which mode ``name`` (every plan of
    ``"all"``) fits, limited to the preset's rates when one is given; may be empty."""
    rates = preset.sample_rates if preset is not None else USEFUL_SAMPLE_RATES
    fitting = []
    for rate in rates:
        try:
            check_plan_fits(name, rate, custom_base_hz, custom_step)
        except ValueError:
            continue
        fitting.append(rate)
    return tuple(fitting)


def check_rate_holds_plan(name: str, sample_rate: float,
                          custom_base_hz: float = DEFAULT_CUSTOM_BASE_HZ,
                          custom_step: int = DEFAULT_CUSTOM_STEP) -> None:
    """Raise ValueError when audio at ``sample_rate`` cannot carry mode ``name`` (for
    ``"all"``: none of its plans) below its Nyquist frequency, so resampling cannot help."""
    name = mode_name(name)
    names = ["audible", "nonaudible", "compression"] if name == "all" else [name]
    lowest_top = min(plan(n, 44100, custom_base_hz, custom_step).high_hz for n in names)
    if lowest_top >= sample_rate / 2.0:
        raise ValueError(f"audio at {sample_rate:g} Hz holds frequencies up to "
                         f"{sample_rate / 2.0:.0f} Hz; mode {name!r} needs up to "
                         f"{lowest_top:.0f} Hz, so it cannot be in there")
