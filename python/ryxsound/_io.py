"""Audio files and streams: reading WAV, FLAC and OGG (and whatever else libsndfile reads)
through ``soundfile`` and everything else through PyAV (the ``media`` extra), writing WAV, FLAC
or OGG (WAV also to standard output); every failure becomes an :class:`AudioFileError` with a
one-line message."""

from __future__ import annotations

import io
import os
import re
import stat
import sys
from collections.abc import Callable, Iterator
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
    # PyAV: "[Errno 1094995529] Invalid data found when processing input: '<stdin>'"
    text = re.sub(r"^\[Errno -?\d+\] |: '[^']*'$", "", text)
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
        Container and sample format as libsndfile names them, e.g. ``"WAV PCM_16"``, or
        container and codec as PyAV names them, e.g. ``"mov,mp4,m4a,3gp,3g2,mj2 aac"``.
    declared_frames : int, optional
        Frames a WAV file's header declares, when it declares more than the file holds.
    """

    path: str
    sample_rate: int
    frames: int
    channels: int
    format: str
    declared_frames: Optional[int] = None

    @property
    def cut_short(self) -> bool:
        """True when the file holds fewer frames than its header declares (a cut download or
        copy)."""
        return self.declared_frames is not None and self.declared_frames > self.frames


#: What stands for standard input or output in a path.
STDIO = "-"
#: How to get the media extra, in messages.
MEDIA_EXTRA = "pip install 'ryxsound[media]'"


def _av() -> Any:
    """PyAV, or None when it is not installed."""
    try:
        import av
    except ImportError:
        return None
    return av


def is_stream(path: str) -> bool:
    """True for standard input and for pipes, sockets and character devices (/dev/stdin, a
    process substitution): sources that can be read once, front to back, and have no size."""
    if path == STDIO:
        return True
    try:
        return not stat.S_ISREG(os.stat(path).st_mode)
    except OSError:
        return False


def _check_path(path: str) -> None:
    if path == STDIO:
        if sys.stdin is None or sys.stdin.isatty():
            raise AudioFileError("-: standard input is a terminal; pipe audio into it "
                                 "(ryxsound decode - < file.wav) or name a file")
        return
    if not os.path.exists(path):
        raise AudioFileError(f"{path}: no such file")
    if os.path.isdir(path):
        raise AudioFileError(f"{path}: is a directory, not an audio file")
    if not os.access(path, os.R_OK):
        raise AudioFileError(f"{path}: permission denied")
    if not is_stream(path) and os.path.getsize(path) == 0:
        raise AudioFileError(f"{path}: empty file, not an audio file")


class AudioSource:
    """An open audio file or stream, read front to back in float32 mono blocks (channels
    averaged). Close it, or use it in a ``with`` block.

    Attributes
    ----------
    info : AudioInfo
        ``frames`` is 0 when a stream does not tell its length in advance.
    """

    def __init__(self, info: AudioInfo, reader: Callable[[int], Iterator[npt.NDArray[Any]]],
                 close: Callable[[], None]):
        self.info = info
        self._reader = reader
        self._close = close

    def blocks(self, block_frames: int = 65536) -> Iterator[npt.NDArray[np.float32]]:
        """Yield the samples as float32 mono blocks of at most ``block_frames`` frames.

        Raises
        ------
        AudioFileError
            When the source breaks off while being read.
        """
        try:
            for block in self._reader(block_frames):  # (frames, channels)
                if len(block) == 0:
                    continue
                if block.shape[1] == 1:
                    yield np.ascontiguousarray(block[:, 0], dtype=np.float32)
                else:
                    yield block.mean(axis=1, dtype=np.float32)
        except AudioFileError:
            raise
        except Exception as exc:
            raise AudioFileError(f"{self.info.path}: read error ({_describe(exc)})") from None

    def close(self) -> None:
        self._close()

    def __enter__(self) -> "AudioSource":
        return self

    def __exit__(self, *exc: object) -> None:
        self.close()


def _wav_declared_frames(path: str) -> Optional[int]:
    """Frames the 'data' chunk of a RIFF WAV file declares (from its byte count and the block
    align of its 'fmt ' chunk), or None when the header cannot be read that way or leaves the
    length open (0 or 0xFFFFFFFF, as streaming writers do)."""
    try:
        with open(path, "rb") as f:
            head = f.read(12)
            if head[:4] != b"RIFF" or head[8:12] != b"WAVE":
                return None
            block_align = 0
            while True:
                head = f.read(8)
                if len(head) < 8:
                    return None
                chunk, size = head[:4], int.from_bytes(head[4:], "little")
                if chunk == b"fmt ":
                    fmt = f.read(size + (size & 1))
                    block_align = int.from_bytes(fmt[12:14], "little") if len(fmt) >= 14 else 0
                elif chunk == b"data":
                    unknown = size in (0, 0xFFFFFFFF) or block_align <= 0
                    return None if unknown else size // block_align
                else:
                    f.seek(size + (size & 1), io.SEEK_CUR)
    except OSError:
        return None


def _open_soundfile(path: str) -> AudioSource:
    sf = _soundfile()
    handle = sf.SoundFile(0 if path == STDIO else path)  # a pipe by its descriptor: WAV, raw

    def reader(block_frames: int) -> Iterator[npt.NDArray[Any]]:
        while True:
            block = handle.read(block_frames, dtype="float32", always_2d=True)
            if len(block) == 0:
                return
            yield block

    frames = 0 if is_stream(path) else int(handle.frames)
    declared = None
    if frames and handle.format == "WAV":
        declared = _wav_declared_frames(path)
    info = AudioInfo(path=path, sample_rate=int(handle.samplerate), frames=frames,
                     channels=int(handle.channels), format=f"{handle.format} {handle.subtype}",
                     declared_frames=declared if declared is not None and declared > frames
                     else None)
    return AudioSource(info, reader, handle.close)


def _open_stream(path: str) -> io.BufferedReader:
    """Standard input or a pipe, checked to hold at least one byte (the byte stays readable)."""
    handle = sys.stdin.buffer if path == STDIO else open(path, "rb")
    if not handle.peek(1):
        if path != STDIO:
            handle.close()
        raise AudioFileError(f"{path}: empty stream, no audio")
    return handle


def _open_av(av: Any, path: str) -> AudioSource:
    stream_handle = _open_stream(path) if is_stream(path) else None
    try:
        container = av.open(stream_handle if stream_handle is not None else path, mode="r")
    except BaseException:
        if stream_handle is not None and path != STDIO:
            stream_handle.close()
        raise

    def close() -> None:
        container.close()
        if stream_handle is not None and path != STDIO:
            stream_handle.close()

    try:
        if not container.streams.audio:
            raise AudioFileError(f"{path}: has no sound track")
        stream = container.streams.audio[0]
        rate = int(stream.rate or 0)
        if rate <= 0:
            raise AudioFileError(f"{path}: the sound track does not tell its sample rate")
        frames = 0
        if stream.duration is not None and stream.time_base is not None:
            frames = int(stream.duration * stream.time_base * rate)
        # float planar at the track's own rate and layout; channels are averaged like files.
        converter = av.AudioResampler(format="fltp", rate=rate)
    except BaseException:
        close()
        raise

    def reader(block_frames: int) -> Iterator[npt.NDArray[Any]]:
        del block_frames  # the codec's own frames are a few thousand samples at most
        for frame in container.decode(stream):
            for out in converter.resample(frame):
                yield out.to_ndarray().T
        for out in converter.resample(None):
            yield out.to_ndarray().T

    codec = stream.codec_context.name
    info = AudioInfo(path=path, sample_rate=rate, frames=frames,
                     channels=int(stream.codec_context.channels),
                     format=f"{container.format.name} {codec}")
    return AudioSource(info, reader, close)


def open_audio(path: str) -> AudioSource:
    """Open an audio file or stream for reading.

    WAV, FLAC, OGG and the other formats libsndfile reads go through soundfile; what it cannot
    read (AAC/M4A, the sound track of MP4, MKV or WEBM, AMR, WMA, MP3 on old libsndfile, ...)
    goes through PyAV, the optional extra ``media``. ``"-"`` is standard input; standard input,
    /dev/stdin, named pipes and process substitutions are read as streams, through PyAV when it
    is installed (any format) and through libsndfile otherwise (WAV only).

    Raises
    ------
    AudioFileError
        When the file is missing, a directory, empty or in no format either library reads, naming
        the media extra when PyAV would have been tried but is not installed.
    """
    _check_path(path)
    av = _av()
    if is_stream(path) and av is not None:
        try:
            return _open_av(av, path)
        except AudioFileError:
            raise
        except Exception as exc:
            raise AudioFileError(f"{path}: not a readable audio stream ({_describe(exc)})") \
                from None
    try:
        return _open_soundfile(path)
    except AudioFileError:
        raise
    except Exception as exc:  # soundfile raises its own error types (and RuntimeError)
        first = _describe(exc)
    if av is None:
        what = "stream" if is_stream(path) else "file"
        raise AudioFileError(f"{path}: not an audio {what} libsndfile reads ({first}); for "
                             f"AAC/M4A, MP4, MKV, WEBM, AMR, WMA and streams in any format "
                             f"install the media extra: {MEDIA_EXTRA}")
    try:
        return _open_av(av, path)
    except AudioFileError:
        raise
    except Exception as exc:
        raise AudioFileError(f"{path}: not a readable audio file ({first}; "
                             f"{_describe(exc)})") from None


def read_audio(path: str) -> tuple[npt.NDArray[np.float32], int]:
    """Read a whole file or stream as float32 mono samples.

    Returns
    -------
    samples : numpy.ndarray
    sample_rate : int
    """
    with open_audio(path) as source:
        blocks = list(source.blocks())
        rate = source.info.sample_rate
    samples = np.concatenate(blocks) if blocks else np.zeros(0, dtype=np.float32)
    return samples, rate


def check_writable(path: str) -> None:
    """Raise AudioFileError, naming the cause, when a file cannot be written at ``path``: it is
    a directory, its folder does not exist, or the folder or an existing file is read-only."""
    if os.path.isdir(path):
        raise AudioFileError(f"{path}: is a directory")
    parent = os.path.dirname(os.path.abspath(path))
    if not os.path.isdir(parent):
        raise AudioFileError(f"{path}: folder {parent} does not exist")
    target = path if os.path.exists(path) else parent
    if not os.access(target, os.W_OK):
        raise AudioFileError(f"{path}: permission denied")


def write_audio(path: str, samples: npt.ArrayLike, sample_rate: int,
                subtype: Optional[str] = None) -> str:
    """Write mono samples to a file whose format follows its extension (.wav, .flac, .ogg), or
    as WAV to standard output when ``path`` is ``"-"``.

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
    ext = ".wav" if path == STDIO else os.path.splitext(path)[1].lower()
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
    if path == STDIO:  # a WAV header holds the length: build the file, then hand it out
        buffer = io.BytesIO()
        sf.write(buffer, np.asarray(samples, dtype=np.float32), int(sample_rate), subtype=real,
                 format=fmt)
        sys.stdout.flush()
        sys.stdout.buffer.write(buffer.getvalue())
        sys.stdout.buffer.flush()
        return real
    check_writable(path)
    try:
        sf.write(path, np.asarray(samples, dtype=np.float32), int(sample_rate), subtype=real,
                 format=fmt)
    except Exception as exc:
        raise AudioFileError(f"{path}: cannot write ({_describe(exc)})") from None
    return real
