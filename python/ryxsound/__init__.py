"""RyxSound: nine base-32 characters as a short burst of tones, and back; and payloads of 1 to
4096 bytes as frames of tones.

Encode a text to audio with :func:`encode`, find messages in a recording with :func:`decode`,
feed captured audio chunk by chunk to a :class:`Decoder`, or decode many files in parallel with
:func:`decode_files`. Payloads have functions of their own: :func:`encode_payload`,
:func:`decode_payloads` and :class:`PayloadDecoder`. Everything runs in the C++ core through
the private extension module ``ryxsound._core``, with the GIL released.

Examples
--------
>>> import ryxsound
>>> audio = ryxsound.encode("hello0123", "audible", 44100)       # doctest: +SKIP
>>> [m.text for m in ryxsound.decode(audio, 44100)]               # doctest: +SKIP
['hello0123']
"""

from __future__ import annotations

from ._codec import (
    Decoder,
    Message,
    decode,
    decode_blocks,
    decode_files,
    encode,
    mix_signature,
)
from ._modes import (
    ALPHABET,
    MODE_IDS,
    RECEIVERS,
    PRESETS,
    TEXT_LENGTH,
    USEFUL_SAMPLE_RATES,
    Plan,
    Preset,
    mode_name,
    plan,
    plan_rate,
    preset,
    presets,
    supported_rates,
    symbol_duration,
    transmission_length,
)

from ._payload import (
    MAX_PAYLOAD_BYTES,
    PROFILES,
    Payload,
    PayloadDecoder,
    PayloadProgress,
    PayloadShape,
    decode_payloads,
    encode_payload,
    payload_rate,
    payload_shape,
)

try:
    from importlib.metadata import PackageNotFoundError, version as _version

    __version__: str = _version("ryxsound")
except (ImportError, PackageNotFoundError):  # pragma: no cover - not installed as a package
    __version__ = "1.0.0"

#: Mode names, in the order of their identifiers 2..6.
MODES: tuple[str, ...] = tuple(MODE_IDS)

__all__ = [
    "ALPHABET",
    "Decoder",
    "MAX_PAYLOAD_BYTES",
    "MODES",
    "MODE_IDS",
    "Message",
    "PRESETS",
    "PROFILES",
    "Payload",
    "PayloadDecoder",
    "PayloadProgress",
    "PayloadShape",
    "Plan",
    "Preset",
    "RECEIVERS",
    "TEXT_LENGTH",
    "USEFUL_SAMPLE_RATES",
    "decode",
    "decode_blocks",
    "decode_files",
    "decode_payloads",
    "encode",
    "encode_payload",
    "mix_signature",
    "mode_name",
    "payload_rate",
    "payload_shape",
    "plan",
    "plan_rate",
    "preset",
    "presets",
    "supported_rates",
    "symbol_duration",
    "transmission_length",
    "__version__",
]
