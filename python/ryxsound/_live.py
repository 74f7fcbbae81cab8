"""Live audio through ``sounddevice``: listening on a microphone and playing through a speaker.

The stream classes are injectable (``stream_factory``), so that both paths can run against a
fake stream where no audio device exists.
"""

from __future__ import annotations

from collections.abc import Callable
from typing import Any, Optional, Union

import numpy as np
import numpy.typing as npt

from ._codec import Decoder, Message
from ._modes import ModeLike
from ._payload import Payload, PayloadDecoder, PayloadProgress

Device = Union[int, str, None]
StreamFactory = Callable[..., Any]

#: Samples per read or write.
BLOCK = 1024
#: Seconds of audio a sound device is asked to queue ahead of the speaker and behind the
#: microphone. PortAudio's own choice through ALSA's PulseAudio plugin is 46 ms out and 64 ms in:
#: a player or listener kept off the processor that long by other programs leaves a gap in the
#: transmission it plays, or loses part of what it hears.
PLAY_LATENCY = 0.25
LISTEN_LATENCY = 0.5
#: Queues of silence played before the samples: a sound server under load can skip the first
#: queues of a stream while it fills them.
LEAD_IN = 4


class LiveAudioUnavailable(Exception):
    """sounddevice, the PortAudio library or the requested device is missing."""


def _sounddevice() -> Any:
    try:
        import sounddevice
    except ImportError as exc:
        raise LiveAudioUnavailable(
            f"live audio needs the sounddevice package: pip install 'ryxsound[audio]' "
            f"({str(exc).strip() or type(exc).__name__})") from None
    except OSError as exc:  # sounddevice is there, the PortAudio library is not
        raise LiveAudioUnavailable(
            f"live audio needs the PortAudio library: install the system package "
            f"libportaudio2 (Debian, Ubuntu: apt-get install libportaudio2; Fedora: portaudio; "
            f"macOS: brew install portaudio) ({str(exc).strip() or type(exc).__name__})"
        ) from None
    return sounddevice


def list_devices() -> list[dict[str, Any]]:
    """The audio devices PortAudio sees.

    Returns
    -------
    list of dict
        One per device: ``index``, ``name``, ``host_api``, ``input_channels``,
        ``output_channels``, ``default_sample_rate`` (Hz), ``default_input`` and
        ``default_output`` (bool).

    Raises
    ------
    LiveAudioUnavailable
        When sounddevice or PortAudio is missing, or PortAudio cannot list the devices.
    """
    sd = _sounddevice()
    try:
        devices = sd.query_devices()
        apis = sd.query_hostapis()
        default_in, default_out = sd.default.device
    except Exception as exc:  # PortAudioError
        raise LiveAudioUnavailable(f"cannot list the audio devices ({exc})") from None
    return [{
        "index": int(d["index"]),
        "name": str(d["name"]),
        "host_api": str(apis[d["hostapi"]]["name"]),
        "input_channels": int(d["max_input_channels"]),
        "output_channels": int(d["max_output_channels"]),
        "default_sample_rate": float(d["default_samplerate"]),
        "default_input": int(d["index"]) == default_in,
        "default_output": int(d["index"]) == default_out,
    } for d in devices]


def _open(kind: str, factory: Optional[StreamFactory], sample_rate: float,
          device: Device) -> Any:
    queue: dict[str, float] = {}  # a stream_factory is called as documented, without it
    if factory is None:
        sd = _sounddevice()
        factory = sd.InputStream if kind == "input" else sd.OutputStream
        queue["latency"] = LISTEN_LATENCY if kind == "input" else PLAY_LATENCY
    try:
        return factory(samplerate=sample_rate, channels=1, dtype="float32", device=device,
                       blocksize=BLOCK, **queue)
    except LiveAudioUnavailable:
        raise
    except Exception as exc:  # PortAudioError, ValueError for an unknown device, ...
        which = f" {device!r}" if device is not None else ""
        detail = str(exc).strip().splitlines()[0] if str(exc).strip() else type(exc).__name__
        raise LiveAudioUnavailable(f"cannot open the audio {kind} device{which} at "
                                   f"{sample_rate:g} Hz ({detail}); `ryxsound devices` lists "
                                   f"the devices there are") from None


def listen(mode: Optional[ModeLike] = None, sample_rate: float = 44100, device: Device = None,
           *, preset: Optional[str] = None, resample: bool = True,
           duration: Optional[float] = None, max_messages: Optional[int] = None,
           on_message: Optional[Callable[[Message], None]] = None,
           stream_factory: Optional[StreamFactory] = None,
           custom_base_hz: Optional[float] = None,
           custom_step: Optional[int] = None, receiver: str = "robust",
           on_payload: Optional[Callable[[Payload], None]] = None,
           on_payload_progress: Optional[Callable[[list[PayloadProgress]], None]] = None
           ) -> list[Message]:
    """Decode messages (and with ``on_payload`` payloads) from a live input stream.

    Parameters
    ----------
    mode : str or int, optional
        Mode to listen for (default ``"all"``).
    sample_rate : float
        Capture rate in Hz (rates the plans do not use are resampled).
    preset, resample
        As for :class:`ryxsound.Decoder`.
    device : int or str, optional
        Input device (sounddevice's numbering or name); the default device when None.
    duration : float, optional
        Stop after this many seconds of audio; listen until interrupted when None.
    max_messages : int, optional
        Stop after this many messages and payloads.
    on_message : callable, optional
        Called with each message as soon as it is complete.
    stream_factory : callable, optional
        Replaces ``sounddevice.InputStream``: called with ``samplerate``, ``channels``,
        ``dtype``, ``device`` and ``blocksize``; must return a context manager whose ``read(n)``
        returns ``(samples, overflowed)``.
    custom_base_hz, custom_step
        The custom plan (mode ``"custom"`` only).
    receiver : str
        ``"robust"`` (default) or ``"standard"``.
    on_payload : callable, optional
        Also listen for payloads in the same plans, and call this with each as soon as it is
        delivered or has failed.
    on_payload_progress : callable, optional
        With ``on_payload``: called after every block with the payloads whose frames are
        arriving (see :meth:`ryxsound.PayloadDecoder.progress`).

    Returns
    -------
    list of Message
        Offsets count samples from the start of listening.

    Raises
    ------
    LiveAudioUnavailable
        When sounddevice, PortAudio or the device is missing.
    """
    found: list[Message] = []
    heard_payloads = 0

    def enough() -> bool:
        return max_messages is not None and len(found) + heard_payloads >= max_messages

    def take(messages: list[Message]) -> bool:
        for m in messages:
            found.append(m)
            if on_message is not None:
                on_message(m)
            if enough():
                return True
        return False

    def take_payloads(payloads: list[Payload]) -> bool:
        nonlocal heard_payloads
        for p in payloads:
            heard_payloads += 1
            if on_payload is not None:
                on_payload(p)
            if enough():
                return True
        return False

    limit = None if duration is None else int(duration * sample_rate)
    with Decoder(mode, sample_rate, preset=preset, resample=resample, receiver=receiver,
                 custom_base_hz=custom_base_hz, custom_step=custom_step) as rx:
        payload_rx = None if on_payload is None else PayloadDecoder(
            sample_rate, mode=rx.mode, preset=preset, resample=resample,
            custom_base_hz=custom_base_hz, custom_step=custom_step)
        stream = _open("input", stream_factory, sample_rate, device)
        with stream:
            heard = 0
            while limit is None or heard < limit:
                want = BLOCK if limit is None else min(BLOCK, limit - heard)
                data, _overflowed = stream.read(want)
                block = np.asarray(data, dtype=np.float32)
                if block.size == 0:
                    break
                heard += block.shape[0]
                if take(rx.feed(block)):
                    return found
                if payload_rx is not None:
                    if take_payloads(payload_rx.feed(block)):
                        return found
                    if on_payload_progress is not None:
                        on_payload_progress(payload_rx.progress())
        take(rx.flush())
        if payload_rx is not None:
            take_payloads(payload_rx.flush())
    return found


def play(audio: npt.ArrayLike, sample_rate: float, device: Device = None, *,
         stream_factory: Optional[StreamFactory] = None) -> None:
    """Play mono samples through an output stream and return when they have been handed over;
    a sounddevice stream plays about a second of silence first and a quarter second after.

    Parameters
    ----------
    audio : array_like
        Mono float samples.
    sample_rate : float
        Hz.
    device : int or str, optional
        Output device; the default device when None.
    stream_factory : callable, optional
        Replaces ``sounddevice.OutputStream`` (same arguments as for :func:`listen`); must return
        a context manager with ``write(samples)`` taking (frames, 1) float32 arrays.

    Raises
    ------
    LiveAudioUnavailable
        When sounddevice, PortAudio or the device is missing.
    """
    samples = np.ascontiguousarray(np.asarray(audio, dtype=np.float32).reshape(-1, 1))
    stream = _open("output", stream_factory, sample_rate, device)
    with stream:
        # Silence as long as the queue (what a sounddevice stream reports; none for a stream
        # that does not) goes first and last: a device or sound server that skips the start of a
        # stream while its queue fills skips silence, and stopping a stream, which drops what it
        # still has queued, drops silence after the last samples reached the speaker.
        queued = int(np.ceil(float(getattr(stream, "latency", 0.0)) * sample_rate))
        silence = np.zeros((LEAD_IN * queued + BLOCK, 1), np.float32) if queued > 0 else None
        if silence is not None:
            stream.write(silence)
        for i in range(0, len(samples), BLOCK):
            stream.write(samples[i:i + BLOCK])
        if silence is not None:
            stream.write(silence[:queued + BLOCK])
