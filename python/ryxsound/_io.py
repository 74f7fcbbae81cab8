"""Audio files: reading WAV, FLAC and OGG (and whatever else libsndfile reads) through
``soundfile``, writing WAV or FLAC; every failure becomes an :class:`AudioFileError` with a
one-line message."""

from __future__ import annotations

import os
from collections.abc import Iterator
from dataclasses import dataclass
from typing import Any, Optional

import numpy as np
import numpy.typing as npt

#: Output sample formats by the names the command-line tool accepts.
SUBTYPES = {"pcm16": "PCM_16", "pcm24": "PCM_24", "float": "FLOAT"}


class AudioFileError(Exception):
    """An audio file that cannot be read or written; the message names the file and the cause."""


def _soundfile() -> Any:
    try:
        import soundfile
    except (ImportError, OSError) as exc:  # OSError: libsndfile itself missing
        raise AudioFileError(f"reading and writing audio files needs the soundfile package "
                             f"(pip install soundfile): {exc}") from None
    return soundfile


def _describe(exc: BaseException) -> str:
    text = str(exc).strip().splitlines()[0] if str(exc).strip() else type(exc).__name__
    # libsndfile messages often repeat the file name: "Error opening 'x.wav': Format not ..."
    if ": " in text and text.startswith("Error opening"):
        text = text.split(": ", 1)[1]
    return text


@dataclass
class AudioInfo:
    """What a file holds.

    Attributes
    ----------
    path : str
    sample_rate : int
    frames : int
        Samples per channel.
    channels : int
    format : str
        Container and sample format as libsndfile names them, e.g. ``"WAV PCM_16"``.
    """

    path: str
    sample_rate: int
    frames: int
    channels: int
    format: str


def _check_path(path: str) -> None:
    if not os.path.exists(path):
        raise AudioFileError(f"{path}: no such file")
    if os.path.isdir(path):
        raise AudioFileError(f"{path}: is a directory, not an audio file")
    if not os.access(path, os.R_OK):
        raise AudioFileError(f"{path}: permission denied")
    if os.path.getsize(path) == 0:
        raise AudioFileError(f"{path}: empty file, not an audio file")


def audio_info(path: str) -> AudioInfo:
    """Describe an audio file without reading its samples.

    Raises
    ------
    AudioFileError
        When the file is missing, a directory, empty or not in a format libsndfile reads.
    """
    sf = _soundfile()
    _check_path(path)
    try:
        info = sf.info(path)
    except Exception as exc:  # soundfile raises its own error types (and RuntimeError)
        raise AudioFileError(f"{path}: not a readable audio file ({_describe(exc)})") from None
    return AudioInfo(path=path, sample_rate=int(info.samplerate), frames=int(info.frames),
                     channels=int(info.channels), format=f"{info.format} {info.subtype}")


def read_blocks(path: str, block_frames: int = 65536) -> Iterator[npt.NDArray[np.float32]]:
    """Yield the file's samples as float32 mono blocks (channels averaged).

    Raises
    ------
    AudioFileError
        When the file cannot be opened or breaks off while being read.
    """
    sf = _soundfile()
    _check_path(path)
    try:
        handle = sf.SoundFile(path)
    except Exception as exc:
        raise AudioFileError(f"{path}: not a readable audio file ({_describe(exc)})") from None
    with handle:
        while True:
            try:
                block = handle.read(block_frames, dtype="float32", always_2d=True)
            except Exception as exc:
                raise AudioFileError(f"{path}: read error ({_describe(exc)})") from None
            if len(block) == 0:
                return
            if block.shape[1] == 1:
                yield np.ascontiguousarray(block[:, 0])
            else:
                yield block.mean(axis=1, dtype=np.float32)


def read_audio(path: str) -> tuple[npt.NDArray[np.float32], int]:
    """Read a whole file as float32 mono samples.

    Returns
    -------
    samples : numpy.ndarray
    sample_rate : int
    """
    info = audio_info(path)
    blocks = list(read_blocks(path))
    samples = np.concatenate(blocks) if blocks else np.zeros(0, dtype=np.float32)
    return samples, info.sample_rate


def write_audio(path: str, samples: npt.ArrayLike, sample_rate: int,
                subtype: Optional[str] = None) -> str:
    """Write mono samples to a file whose format follows its extension (.wav, .flac, .ogg).

    Parameters
    ----------
    path : str
    samples : array_like
        Mono float samples within [-1, 1] (PCM formats clip beyond).
    sample_rate : int
    subtype : str, optional
        ``"pcm16"`` (default), ``"pcm24"`` or ``"float"`` (WAV only); ignored for OGG.

    Returns
    -------
    str
        The libsndfile subtype written, e.g. ``"PCM_16"``.

    Raises
    ------
    AudioFileError
        For an unknown extension or subtype, or when the file cannot be written.
    """
    sf = _soundfile()
    ext = os.path.splitext(path)[1].lower()
    formats = {".wav": "WAV", ".flac": "FLAC", ".ogg": "OGG"}
    if ext not in formats:
        raise AudioFileError(f"{path}: write .wav, .flac or .ogg files (unknown extension "
                             f"{ext or '(none)'!r})")
    fmt = formats[ext]
    key = subtype or "pcm16"
    if key not in SUBTYPES:
        raise AudioFileError(f"unknown sample format {key!r}: use {', '.join(SUBTYPES)}")
    real = SUBTYPES[key]
    if fmt == "OGG":
        real = "VORBIS"
    elif fmt == "FLAC" and real == "FLOAT":
        raise AudioFileError(f"{path}: FLAC stores integer samples; use pcm16 or pcm24")
    if os.path.isdir(path):
        raise AudioFileError(f"{path}: is a directory")
    parent = os.path.dirname(os.path.abspath(path))
    if not os.path.isdir(parent):
        raise AudioFileError(f"{path}: folder {parent} does not exist")
    try:
        sf.write(path, np.asarray(samples, dtype=np.float32), int(sample_rate), subtype=real,
                 format=fmt)
    except Exception as exc:
        raise AudioFileError(f"{path}: cannot write ({_describe(exc)})") from None
    return real
