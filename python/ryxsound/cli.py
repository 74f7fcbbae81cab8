"""The ``ryxsound`` command-line tool.

Exit status: 0 success (for ``decode`` and ``listen``: at least one message whose checksum
matched; for ``receive``: an intact payload; ``listen`` counts payloads too), 1 nothing found,
2 bad input, bad usage or a missing optional package or device, 3 an unexpected failure (run
with ``--debug`` for the traceback), 130 interrupted.
"""

from __future__ import annotations

import argparse
import base64
import json
import math
import os
import sys
from collections.abc import Sequence
from typing import Any, NoReturn, Optional, TextIO

import numpy as np
import numpy.typing as npt

from . import __version__
from ._codec import FileProgress, Message, decode_blocks, encode, map_in_order
from ._io import (
    STDIO,
    SUBTYPES,
    AudioFileError,
    check_writable,
    is_stream,
    open_audio,
    read_audio,
    write_audio,
)
from ._live import LiveAudioUnavailable, StreamFactory, list_devices, listen, play
from ._modes import (
    DEFAULT_CUSTOM_BASE_HZ,
    DEFAULT_CUSTOM_STEP,
    MODE_IDS,
    PLAN_NAMES,
    PRESETS,
    RECEIVERS,
    Preset,
    check_rate,
    default_receive_mode,
    mode_name,
    plan,
    plan_rate,
)
from ._payload import (
    MAX_PAYLOAD_BYTES,
    PROFILES,
    Payload,
    PayloadProgress,
    decode_payload_blocks,
    encode_payload,
    payload_rate,
    payload_shape,
)
from ._plot import IMAGE_FORMATS, PlotUnavailable, plot_spectrogram

PROG = "ryxsound"
#: Silence written before and after the transmissions of ``encode``, seconds.
LEAD_SILENCE = 0.25
#: Recordings at least this long get a progress bar on a terminal, seconds.
PROGRESS_MIN_SECONDS = 10.0
#: Peak that encoded files are scaled down to when tones would exceed full scale.
SAFE_PEAK = 0.99

EXIT_OK, EXIT_NOTHING, EXIT_BAD_INPUT, EXIT_FAILURE, EXIT_INTERRUPTED = 0, 1, 2, 3, 130


class CliError(Exception):
    """A failure reported as one line on stderr, with an exit status."""

    def __init__(self, message: str, code: int = EXIT_BAD_INPUT):
        super().__init__(message)
        self.code = code


class _Parser(argparse.ArgumentParser):
    """An ArgumentParser whose usage errors are one line on stderr."""

    def error(self, message: str) -> NoReturn:
        sys.stderr.write(f"{self.prog}: error: {message} (see {self.prog} --help)\n")
        sys.exit(EXIT_BAD_INPUT)


# ---- argument helpers ----

def _mode_arg(text: str) -> str:
    try:
        return mode_name(int(text) if text.strip().isdigit() else text)
    except ValueError as exc:
        raise argparse.ArgumentTypeError(str(exc)) from None


def _positive_float(text: str) -> float:
    try:
        value = float(text)
    except ValueError:
        raise argparse.ArgumentTypeError(f"not a number: {text!r}") from None
    if not math.isfinite(value) or value < 0:
        raise argparse.ArgumentTypeError(f"must be a non-negative number: {text!r}")
    return value


def _count(text: str) -> int:
    try:
        value = int(text)
    except ValueError:
        raise argparse.ArgumentTypeError(f"not a whole number: {text!r}") from None
    if value < 1:
        raise argparse.ArgumentTypeError(f"must be at least 1: {text!r}")
    return value


def _rate_arg(text: str) -> int:
    try:
        value = float(text)
    except ValueError:
        raise argparse.ArgumentTypeError(f"not a sample rate: {text!r}") from None
    if not value.is_integer():
        raise argparse.ArgumentTypeError(f"sample rate must be a whole number of Hz: {text!r}")
    try:
        check_rate(value)
    except ValueError as exc:
        raise argparse.ArgumentTypeError(str(exc)) from None
    return int(value)


def _device_arg(text: str) -> Any:
    return int(text) if text.strip().isdigit() else text


def _mode_for(args: argparse.Namespace, default: str) -> str:
    """The mode of the command: ``custom`` for a preset, else --mode or ``default``."""
    if args.preset is None:
        return str(args.mode or default)
    if args.mode not in (None, "custom"):
        raise CliError(f"--preset {args.preset} is a custom plan; leave out --mode {args.mode}")
    if args.custom_base is not None or args.custom_step is not None:
        raise CliError(f"--preset {args.preset} fixes the custom plan; leave out --custom-base "
                       f"and --custom-step")
    return "custom"


def _plan_params(args: argparse.Namespace) -> tuple[float, int, Optional[Preset]]:
    """Base frequency and step of the custom plan, and the preset when one was chosen."""
    if args.preset is not None:
        chosen = PRESETS[args.preset]
        return chosen.custom_base_hz, chosen.custom_step, chosen
    base = args.custom_base if args.custom_base is not None else DEFAULT_CUSTOM_BASE_HZ
    step = args.custom_step if args.custom_step is not None else DEFAULT_CUSTOM_STEP
    return base, step, None


def _custom_kwargs(args: argparse.Namespace, mode: str) -> dict[str, Any]:
    """The plan arguments of encode and the receivers: the preset, or the custom plan."""
    if args.preset is not None:
        return {"preset": args.preset}
    if mode != "custom":
        if args.custom_base is not None or args.custom_step is not None:
            raise CliError(f"--custom-base and --custom-step apply to --mode custom only, "
                           f"not to mode {mode!r}")
        return {}
    return {"custom_base_hz": args.custom_base, "custom_step": args.custom_step}


def _receiver_rate(rate: float, mode: str, args: argparse.Namespace, where: str = "",
                   payloads: bool = False) -> float:
    """The rate the receiver of texts (or of ``payloads``) runs at for audio at ``rate``: the
    plan rate (said on stderr with --verbose when the audio is resampled); with --no-resample
    the file's rate must be it."""
    prefix = f"{where}: " if where else ""
    base, step, _ = _plan_params(args)
    rule = payload_rate if payloads else plan_rate
    try:
        run_at = rule(mode, rate, base, step, args.preset)
    except ValueError as exc:
        raise CliError(f"{prefix}{exc}") from None
    if args.no_resample and run_at != rate:
        band = f"preset {args.preset}" if args.preset else f"mode {mode}"
        raise CliError(f"{prefix}sample rate {rate:g} Hz is read at {run_at:g} Hz for {band}: "
                       f"leave out --no-resample")
    if run_at != rate:
        _say(args, f"{prefix}resampling {rate:g} Hz to {run_at:g} Hz for mode {mode}")
    return run_at


def _receive_mode(args: argparse.Namespace, rate: float) -> str:
    """The mode to listen for: the preset's, --mode, or by default 'all' ('audible' at 22050 Hz,
    where only the audible plan fits)."""
    return _mode_for(args, default_receive_mode(rate))


def _say(args: argparse.Namespace, line: str) -> None:
    """A --verbose note on stderr."""
    if getattr(args, "verbose", False):
        sys.stderr.write(f"{PROG}: {line}\n")
        sys.stderr.flush()


#: Width of the mode column: the longest plan name.
_MODE_WIDTH = max(len(name) for name in PLAN_NAMES.values())


def _corrected(m: Message) -> list[int]:
    """The symbols error correction changed, counted from 1 (1 and 2 the start symbols, 3..11
    the text, 12 the checksum)."""
    return [i + 1 for i in m.corrected]


def _message_json(m: Message, rate: float) -> dict[str, Any]:
    return {
        "text": m.text,
        "ok": m.ok,
        "mode": m.mode,
        "start": m.start,
        "end": m.end,
        "start_seconds": round(m.start / rate, 4),
        "end_seconds": round(m.end / rate, 4),
        "confidence": round(m.confidence, 4),
        "tone_to_band_db": round(m.tone_to_band_db, 2),
        "level_dbfs": round(m.level_dbfs, 2),
        "clean_share": round(m.clean_share, 4),
        "corrected": _corrected(m),
    }


def _message_line(m: Message, rate: float, prefix: str = "") -> str:
    """One message as ryxsound-cli prints it too. A failed word has no trustworthy account of
    its symbols: its clean share and corrections show as '-'."""
    fixed = ",".join(str(i) for i in _corrected(m)) or "-"
    clean = f"{m.clean_share * 100:3.0f}%" if m.ok else "   -"
    return (f"{prefix}{m.start / rate:8.3f} s  {m.mode:<{_MODE_WIDTH}}  {m.text}  "
            f"{'ok ' if m.ok else 'BAD'}  confidence {m.confidence:4.2f}  "
            f"tone/band {m.tone_to_band_db:5.1f} dB  level {m.level_dbfs:6.1f} dBFS  "
            f"clean {clean}  corrected {fixed if m.ok else '-'}")


def _out(line: str, stream: Optional[TextIO] = None) -> None:
    stream = stream or sys.stdout
    stream.write(line + "\n")
    stream.flush()


class _Progress:
    """A one-line progress bar on stderr, drawn only when stderr is a terminal."""

    def __init__(self, label: str, total: int, enabled: bool):
        self.label, self.total, self.enabled = label, max(total, 1), enabled
        self.last = -1

    def __call__(self, done: int) -> None:
        if not self.enabled:
            return
        percent = min(100, done * 100 // self.total)
        if percent == self.last:
            return
        self.last = percent
        filled = percent * 30 // 100
        sys.stderr.write(f"\r{self.label} [{'#' * filled}{'.' * (30 - filled)}] {percent:3d}%")
        sys.stderr.flush()

    def close(self) -> None:
        if self.enabled and self.last >= 0:
            sys.stderr.write("\r\033[K")
            sys.stderr.flush()


# ---- encode and play ----

def _build_audio(args: argparse.Namespace, mode: str, rate: int) -> tuple[
        npt.NDArray[np.float32], float]:
    """The transmissions of encode/play with their gaps and lead silence at ``rate``, and the
    scale applied to keep them below full scale (1.0 when none was needed)."""
    signature = None
    if getattr(args, "signature", None):
        signature, sig_rate = read_audio(args.signature)
        if sig_rate != rate:
            raise CliError(f"{args.signature}: signature is at {sig_rate} Hz, the transmission "
                           f"at {rate} Hz; they must match")
        if len(signature) == 0:
            raise CliError(f"{args.signature}: the signature holds no samples")
    try:
        one = encode(args.text, mode, rate, melody=args.melody,
                     random_tones=args.random_tones, signature=signature,
                     synth_volume_db=args.volume_db, **_custom_kwargs(args, mode))
    except ValueError as exc:
        raise CliError(str(exc)) from None
    gap = np.zeros(int(round(args.gap * rate)), dtype=np.float32)
    lead = np.zeros(int(round(LEAD_SILENCE * rate)), dtype=np.float32)
    pieces: list[npt.NDArray[np.float32]] = [lead]
    for k in range(args.repeat):
        if k:
            pieces.append(gap)
        pieces.append(one)
    audio = np.concatenate(pieces + [lead])
    peak = float(np.max(np.abs(audio))) if len(audio) else 0.0
    scale = 1.0
    if peak > 1.0:
        scale = SAFE_PEAK / peak
        audio = (audio * scale).astype(np.float32)
    return audio, scale


def _cmd_encode(args: argparse.Namespace) -> int:
    mode = _mode_for(args, "audible")
    audio, scale = _build_audio(args, mode, args.rate)
    written = write_audio(args.output, audio, args.rate, args.format)
    note = f", scaled by {scale:.2f} to stay below full scale" if scale != 1.0 else ""
    plural = "s" if args.repeat > 1 else ""
    plan_name = f"preset {args.preset}" if args.preset else f"mode {mode}"
    where = "standard output" if args.output == STDIO else args.output
    # With the audio on standard output, the report goes to stderr.
    _out(f"wrote {where}: {args.repeat} message{plural}, {len(audio) / args.rate:.2f} s "
         f"at {args.rate} Hz, {plan_name}, {written}{note}",
         sys.stderr if args.output == STDIO else None)
    return EXIT_OK


def _cmd_play(args: argparse.Namespace, stream_factory: Optional[StreamFactory]) -> int:
    mode = _mode_for(args, "audible")
    audio, _ = _build_audio(args, mode, args.rate)
    play(audio, args.rate, args.device, stream_factory=stream_factory)
    _out(f"played {args.text} ({mode}, {args.repeat}x) at {args.rate} Hz")
    return EXIT_OK


# ---- decode and spectrogram ----

#: Audio a hint decodes with the other plans when a file held nothing, seconds.
HINT_SECONDS = 120.0


def _asked_options(args: argparse.Namespace) -> str:
    """The plan options of the command line as the user gave them ('' for none)."""
    if args.preset:
        return f"--preset {args.preset}"
    if args.mode is None:
        return ""
    custom = [f"--custom-base {args.custom_base:g}"] if args.custom_base is not None else []
    custom += [f"--custom-step {args.custom_step}"] if args.custom_step is not None else []
    return " ".join([f"--mode {args.mode}"] + custom)


def _what_it_holds(blocks: list[Any], rate: int, kind: str, options: dict[str, Any],
                   args: argparse.Namespace) -> str:
    """What the blocks deliver under ``options``: the texts ('hello0123, sound0042') or the first
    payload ('a payload of 13 bytes'); '' for nothing or a plan the rate cannot hold."""
    try:
        if kind == "text":
            heard = [m.text for m in decode_blocks(blocks, rate, receiver=getattr(
                args, "receiver", "robust"), **options) if m.ok]
            return ", ".join(heard[:3])
        sizes = [p.size for p in decode_payload_blocks(blocks, rate, **options) if p.ok]
        return f"a payload of {sizes[0]} bytes" if sizes else ""
    except ValueError:  # the rate cannot hold that plan
        return ""


def _hint(path: str, args: argparse.Namespace, kind: str) -> str:
    """When a file held no ``kind`` ('text' or 'payload') for the plan asked for: another plan
    or preset under which its first two minutes hold one (' (try --preset phone: it holds
    hello0123 there)'), else the other kind under the plan asked for or another (' (it holds a
    payload: try ryxsound receive)'); '' when neither does or the input cannot be read again.
    ryxsound-cli words its hints alike."""
    if is_stream(path):
        return ""
    asked = ("preset", args.preset) if args.preset else ("mode", args.mode or "all")
    others = [("preset", name) for name in PRESETS] + [("mode", "all"), ("mode", "custom")]
    others = [other for other in others if other != asked]
    try:
        with open_audio(path) as source:
            rate = source.info.sample_rate
            wanted, blocks = int(HINT_SECONDS * rate), []
            for block in source.blocks():
                blocks.append(block)
                wanted -= len(block)
                if wanted <= 0:
                    break
    except AudioFileError:
        return ""
    for option, name in others:
        held = _what_it_holds(blocks, rate, kind, {option: name}, args)
        if held:
            return f" (try --{option} {name}: it holds {held} there)"
    other_kind, command = ("payload", "receive") if kind == "text" else ("text", "decode")
    mode = _receive_mode(args, rate)
    asked_plan = {"preset": args.preset} if args.preset else {"mode": mode,
                                                               **_custom_kwargs(args, mode)}
    for options, plan_kwargs in [(_asked_options(args), asked_plan)] + [
            (f"--{option} {name}", {option: name}) for option, name in others]:
        if _what_it_holds(blocks, rate, other_kind, plan_kwargs, args):
            run = " ".join(filter(None, [PROG, command, options]))
            return f" (it holds a {other_kind}: try {run})"
    return ""


def _texts(blocks: Any, rate: int, mode: str, args: argparse.Namespace,
           progress: Any) -> list[Message]:
    return decode_blocks(blocks, rate, mode, progress=progress, resample=not args.no_resample,
                         receiver=args.receiver, **_custom_kwargs(args, mode))


def _payloads(blocks: Any, rate: int, mode: str, args: argparse.Namespace,
              progress: Any) -> list[Payload]:
    return decode_payload_blocks(blocks, rate, mode=mode, progress=progress,
                                 resample=not args.no_resample, **_custom_kwargs(args, mode))


def _decode_file(path: str, args: argparse.Namespace, bar: bool = True,
                 run: Any = _texts) -> tuple[list[Any], int, str]:
    """What ``run`` (:func:`_texts` or :func:`_payloads`) finds in one file, its rate and the
    mode listened for; ``bar`` draws a progress bar for long files on a terminal (off for
    --jobs, which counts files instead)."""
    with open_audio(path) as source:
        info = source.info
        mode = _receive_mode(args, info.sample_rate)
        length = f", {info.frames / info.sample_rate:.2f} s" if info.frames else ""
        _say(args, f"{path}: {info.format}, {info.sample_rate} Hz, {info.channels} "
                   f"channel{'' if info.channels == 1 else 's'}{length}")
        if info.cut_short and info.declared_frames is not None:
            held, declared = (info.frames / info.sample_rate,
                              info.declared_frames / info.sample_rate)
            _warn(f"{path}: the file is shorter than its header claims ({held:.2f} s of "
                  f"{declared:.2f} s): it was cut off")
        try:
            _receiver_rate(info.sample_rate, mode, args, where=path, payloads=run is _payloads)
        except CliError as exc:
            hint = _hint(path, args, "text" if run is _texts else "payload")
            raise CliError(f"{exc}{hint}") from None
        long_file = info.frames >= PROGRESS_MIN_SECONDS * info.sample_rate
        progress = _Progress(os.path.basename(path), info.frames,
                             bar and long_file and sys.stderr.isatty())
        try:
            found = run(source.blocks(), info.sample_rate, mode, args, progress)
        finally:
            progress.close()
    return found, info.sample_rate, mode


def _file_prefixes(paths: list[str]) -> dict[str, str]:
    """'path: ' before each line when several files are read, padded so that the lines of all
    of them line up; '' for one file."""
    if len(paths) < 2:
        return {path: "" for path in paths}
    width = max(len(path) for path in paths) + 2
    return {path: f"{path}: ".ljust(width) for path in paths}


def _cmd_decode(args: argparse.Namespace) -> int:
    if args.files.count(STDIO) > 1:
        raise CliError("standard input (-) can be read only once")
    if args.json_document:
        _warn("--json-document is kept for this release only; --json prints one object per "
              "message and line, as receive and listen do")
    prefixes = _file_prefixes(args.files)
    report: list[dict[str, Any]] = []
    bad = found_ok = False
    # With --jobs the bar counts files; one at a time, long files get a bar of their own.
    parallel = args.jobs > 1 and len(args.files) > 1
    files_bar = FileProgress(len(args.files), enabled=None if parallel else False)
    try:
        outcomes = map_in_order(lambda p: _decode_file(p, args, bar=not parallel), args.files,
                                args.jobs, files_bar)
    finally:
        files_bar.close()
    for path, (decoded, failure) in zip(args.files, outcomes):
        if decoded is None:
            if not isinstance(failure, (AudioFileError, CliError)):
                raise failure or RuntimeError(f"{path}: no result")
            bad = True
            _error(str(failure))
            report.append({"file": path, "error": str(failure)})
            continue
        messages, rate, mode = decoded
        found_ok = found_ok or any(m.ok for m in messages)
        if args.json_document:
            report.append({"file": path, "sample_rate": rate, "mode": mode,
                           "messages": [_message_json(m, rate) for m in messages]})
            continue
        for m in messages:
            if args.json:
                _out(json.dumps({"file": path, **_message_json(m, rate)}, ensure_ascii=False))
            else:
                _out(_message_line(m, rate, prefixes[path]))
        if not messages:
            sys.stderr.write(f"{PROG}: {path}: no message found{_hint(path, args, 'text')}\n")
    if args.json_document:
        _out(json.dumps({"files": report}, indent=2, allow_nan=False))
    if bad:
        return EXIT_BAD_INPUT
    return EXIT_OK if found_ok else EXIT_NOTHING


def _plural(count: int, noun: str) -> str:
    return f"{count} {noun}{'' if count == 1 else 's'}"


def _in_window(found: Sequence[Any], rate: int, window: tuple[float, float]) -> list[Any]:
    """The messages or payloads that overlap the time window (seconds)."""
    return [x for x in found if x.end / rate >= window[0] and x.start / rate <= window[1]]


def _spectrogram_title(path: str, rate: int, messages: list[Message],
                       window: tuple[float, float], payloads: Sequence[Payload] = ()) -> str:
    """The file, its rate and each message and payload of the time window with the plan it was
    sent in."""
    shown = [f"{m.text} ({m.mode}{'' if m.ok else ', checksum failed'})"
             for m in _in_window(messages, rate, window)]
    shown += [f"payload of {p.size} bytes ({p.mode}, {p.profile}{'' if p.ok else ', failed'})"
              for p in _in_window(payloads, rate, window)]
    heard = ", ".join(shown[:4])
    if len(shown) > 4:
        heard += f" and {len(shown) - 4} more"
    return f"{os.path.basename(path)}  ({rate} Hz): {heard or 'no message found'}"


def _cmd_spectrogram(args: argparse.Namespace) -> int:
    ext = os.path.splitext(args.output)[1].lower().lstrip(".")
    if ext not in IMAGE_FORMATS:
        raise CliError(f"{args.output}: the extension picks the picture format; use "
                       f"{', '.join('.' + e for e in IMAGE_FORMATS)}")
    if args.end is not None and args.end <= (args.start or 0.0):
        raise CliError(f"--end {args.end:g} must come after --start {args.start or 0.0:g}")
    check_writable(args.output)
    samples, rate = read_audio(args.file)
    mode = _receive_mode(args, rate)
    # Any readable file is drawn: what the plan's band or --no-resample keeps from being
    # decoded is left unmarked, and the line says why.
    run_at: Optional[float] = None
    messages: list[Message] = []
    payloads: list[Payload] = []
    refused: dict[str, str] = {}  # what was not decoded, and why
    try:
        run_at = _receiver_rate(rate, mode, args)
        messages = decode_blocks([samples], rate, mode, resample=not args.no_resample,
                                 receiver=args.receiver, **_custom_kwargs(args, mode))
    except (CliError, ValueError) as exc:
        refused["texts"] = str(exc)
    try:
        payloads = decode_payload_blocks([samples], rate, mode=mode,
                                         resample=not args.no_resample,
                                         **_custom_kwargs(args, mode))
    except ValueError as exc:
        refused["payloads"] = str(exc)
    base, step, _ = _plan_params(args)
    duration = len(samples) / rate
    start = min(args.start or 0.0, duration)
    end = duration if args.end is None else min(args.end, duration)
    plot_spectrogram(samples, rate, messages, args.output, mode=mode,
                     title=_spectrogram_title(args.file, rate, messages, (start, end), payloads),
                     custom_base_hz=base, custom_step=step, plan_rate=run_at,
                     time_range=(start, max(end, start)), payloads=payloads)
    marked = (f"{_plural(len(_in_window(messages, rate, (start, end))), 'message')} and "
              f"{_plural(len(_in_window(payloads, rate, (start, end))), 'payload')} marked")
    if len(refused) == 2 and len(set(refused.values())) == 1:
        refused = {"texts and payloads": refused["texts"]}
    why = "; ".join(f"{what} not decoded: {reason}" for what, reason in refused.items())
    why = f" ({why})" if why else ""
    _out(f"wrote {args.output}: {start:.2f}..{end:.2f} s of {duration:.2f} s, {marked}{why}")
    return EXIT_OK


# ---- payloads: send and receive ----

#: Width of the profile column: the longest profile name.
_PROFILE_WIDTH = max(len(name) for name in PROFILES)


def _read_payload(args: argparse.Namespace) -> tuple[bytes, str]:
    """The bytes to send and where they came from: --text as UTF-8, PATH, or standard input for
    '-'. At most one byte more than a payload holds is read, so that a large file is refused
    without reading it whole."""
    if args.text is not None:
        return args.text.encode("utf-8"), "--text"
    where = "standard input" if args.path == STDIO else args.path
    try:
        if args.path == STDIO:
            data = sys.stdin.buffer.read(MAX_PAYLOAD_BYTES + 1)
        else:
            with open(args.path, "rb") as f:
                data = f.read(MAX_PAYLOAD_BYTES + 1)
    except OSError as exc:
        raise CliError(f"{where}: cannot read ({exc.strerror or exc})") from None
    if len(data) > MAX_PAYLOAD_BYTES:
        raise CliError(f"{where}: more than {MAX_PAYLOAD_BYTES} bytes: a payload holds 1 to "
                       f"{MAX_PAYLOAD_BYTES} bytes")
    return data, where


def _cmd_send(args: argparse.Namespace, stream_factory: Optional[StreamFactory]) -> int:
    mode = _mode_for(args, "audible")
    if args.output not in (None, STDIO):
        check_writable(args.output)
    data, source = _read_payload(args)
    try:
        shape = payload_shape(len(data), profile=args.profile, mode=mode, sample_rate=args.rate,
                              **_custom_kwargs(args, mode))
    except ValueError as exc:
        raise CliError(f"{source}: {exc}") from None
    try:
        # The shape took everything encode_payload checks but the repeat count.
        one = encode_payload(data, profile=args.profile, mode=mode, sample_rate=args.rate,
                             repeat=args.repeat, **_custom_kwargs(args, mode))
    except ValueError as exc:
        raise CliError(f"--repeat: {exc}") from None
    lead = np.zeros(int(round(LEAD_SILENCE * args.rate)), dtype=np.float32)
    audio = np.concatenate([lead, one, lead])
    plan_name = f"preset {args.preset}" if args.preset else f"mode {mode}"
    frames = shape.data_frames + shape.parity_frames
    _say(args, f"{source}: {len(data)} bytes in {shape.data_frames} data and "
               f"{shape.parity_frames} parity frames of {shape.frame_samples} samples, "
               f"{shape.channels} channel{'' if shape.channels == 1 else 's'}")
    what = (f"payload of {len(data)} bytes ({args.profile}, {frames} frames"
            f"{f', {args.repeat}x' if args.repeat > 1 else ''}), {len(audio) / args.rate:.2f} s "
            f"at {args.rate} Hz, {plan_name}")
    if args.output is None:
        play(audio, args.rate, args.device, stream_factory=stream_factory)
        _out(f"played {what}")
        return EXIT_OK
    written = write_audio(args.output, audio, args.rate)
    where = "standard output" if args.output == STDIO else args.output
    _out(f"wrote {where}: {what}, {written}", sys.stderr if args.output == STDIO else None)
    return EXIT_OK


#: Characters a shown payload may hold though they do not print: its JSON string escapes them.
_SHOWN_WHITESPACE = frozenset("\t\n\r")


def _shown_text(p: Payload) -> Optional[str]:
    """The payload's text when it is intact UTF-8 without control characters other than tab,
    line feed and carriage return (which the shown JSON string escapes), else None: the rule of
    ryxsound-cli's shownPayload."""
    text = p.text
    if text is None:
        return None
    for c in text:
        code = ord(c)
        if (code < 0x20 or 0x7F <= code <= 0x9F) and c not in _SHOWN_WHITESPACE:
            return None
    return text


def _frames(heard: int, needed: int, sent: int) -> str:
    """'frames  1 heard,  1 needed,  2 sent': a payload is whole once the needed count is heard,
    however many were sent."""
    return f"frames {heard:2d} heard, {needed:2d} needed, {sent:2d} sent"


def _payload_line(p: Payload, rate: float, prefix: str = "") -> str:
    """One payload as ryxsound-cli prints it too."""
    text = _shown_text(p)
    shown = "-" if text is None else json.dumps(text, ensure_ascii=False)
    return (f"{prefix}{p.start / rate:8.3f} s  {p.mode:<{_MODE_WIDTH}}  "
            f"{p.profile:<{_PROFILE_WIDTH}}  {p.size:4d} bytes  {'ok ' if p.ok else 'BAD'}  "
            f"{_frames(p.frames_heard, p.frames_needed, p.frames_total)}  "
            f"confidence {p.confidence:4.2f}  {shown}")


def _payload_json(p: Payload, rate: float) -> dict[str, Any]:
    entry: dict[str, Any] = {
        "ok": p.ok,
        "profile": p.profile,
        "mode": p.mode,
        "size": p.size,
        "start": p.start,
        "end": p.end,
        "start_seconds": round(p.start / rate, 4),
        "end_seconds": round(p.end / rate, 4),
        "frames_heard": p.frames_heard,
        "frames_total": p.frames_total,
        "frames_needed": p.frames_needed,
        "confidence": round(p.confidence, 4),
        "tone_to_band_db": round(p.tone_to_band_db, 2),
        "level_dbfs": round(p.level_dbfs, 2),
        "data_base64": base64.b64encode(p.data).decode("ascii"),
    }
    text = _shown_text(p)
    if text is not None:
        entry["text"] = text
    return entry


def _output_folder(folder: str) -> str:
    """``folder``, created when missing; CliError when it cannot be or is not writable."""
    try:
        os.makedirs(folder, exist_ok=True)
    except OSError as exc:
        raise CliError(f"{folder}: cannot create the folder ({exc.strerror or exc})") from None
    if not os.access(folder, os.W_OK):
        raise CliError(f"{folder}: permission denied")
    return folder


def _save_payloads(folder: str, path: str, payloads: list[Payload]) -> None:
    """Write the intact payloads of one input as FOLDER/<stem>-<n>.bin, n counting from 1, each
    named on stderr ('ryxsound: wrote received/notes-1.bin: 140 bytes')."""
    stem = "stdin" if path == STDIO else os.path.splitext(os.path.basename(path))[0]
    for n, p in enumerate((p for p in payloads if p.ok), start=1):
        target = os.path.join(folder, f"{stem}-{n}.bin")
        try:
            with open(target, "wb") as f:
                f.write(p.data)
        except OSError as exc:
            raise CliError(f"{target}: cannot write ({exc.strerror or exc})") from None
        sys.stderr.write(f"{PROG}: wrote {target}: {len(p.data)} bytes\n")


def _cmd_receive(args: argparse.Namespace) -> int:
    if args.files.count(STDIO) > 1:
        raise CliError("standard input (-) can be read only once")
    folder = None if args.output is None else _output_folder(args.output)
    prefixes = _file_prefixes(args.files)
    bad = found_ok = False
    for path in args.files:
        try:
            payloads, rate, _ = _decode_file(path, args, run=_payloads)
        except (AudioFileError, CliError) as exc:
            bad = True
            _error(str(exc))
            continue
        found_ok = found_ok or any(p.ok for p in payloads)
        for p in payloads:
            if args.json:
                _out(json.dumps({"file": path, **_payload_json(p, rate)}, ensure_ascii=False))
            else:
                _out(_payload_line(p, rate, prefixes[path]))
        if not payloads:
            sys.stderr.write(f"{PROG}: {path}: no payload found{_hint(path, args, 'payload')}\n")
        if folder is not None:
            _save_payloads(folder, path, payloads)
    if bad:
        return EXIT_BAD_INPUT
    return EXIT_OK if found_ok else EXIT_NOTHING


class _PayloadProgressLine:
    """'receiving robust payload: frames  2 heard,  3 needed,  4 sent' on stderr while frames
    arrive: rewritten in place on a terminal, else written once per change."""

    def __init__(self, terminal: bool):
        self.terminal = terminal
        self.shown = ""

    def update(self, arriving: list[PayloadProgress]) -> None:
        line = "; ".join(f"receiving {p.profile} payload: "
                         f"{_frames(p.frames_heard, p.frames_needed, p.frames_total)}"
                         for p in arriving)
        if line == self.shown:
            return
        if self.terminal:
            sys.stderr.write(f"\r\033[K{line}")
        elif line:
            sys.stderr.write(line + "\n")
        sys.stderr.flush()
        self.shown = line

    def clear(self) -> None:
        """Before a result line: the terminal's progress line is wiped."""
        if self.terminal and self.shown:
            sys.stderr.write("\r\033[K")
            sys.stderr.flush()
            self.shown = ""


# ---- listen and devices ----

def _cmd_listen(args: argparse.Namespace, stream_factory: Optional[StreamFactory]) -> int:
    mode = _mode_for(args, "all")
    _receiver_rate(args.rate, mode, args)
    if sys.stderr.isatty():
        sys.stderr.write(f"listening for {mode} messages and payloads at {args.rate} Hz "
                         f"(Ctrl-C to stop)\n")
    found: list[Message] = []
    payloads: list[Payload] = []
    progress = _PayloadProgressLine(sys.stderr.isatty())

    def show(m: Message) -> None:
        found.append(m)
        progress.clear()
        if args.json:
            _out(json.dumps(_message_json(m, args.rate)))
        else:
            _out(_message_line(m, args.rate))

    def show_payload(p: Payload) -> None:
        payloads.append(p)
        progress.clear()
        if args.json:
            _out(json.dumps(_payload_json(p, args.rate), ensure_ascii=False))
        else:
            _out(_payload_line(p, args.rate))

    try:
        listen(mode, args.rate, args.device, duration=args.duration,
               max_messages=args.count, on_message=show, stream_factory=stream_factory,
               resample=not args.no_resample, receiver=args.receiver,
               on_payload=show_payload, on_payload_progress=progress.update,
               **_custom_kwargs(args, mode))
    except KeyboardInterrupt:
        pass
    finally:
        progress.clear()
    return EXIT_OK if any(m.ok for m in found) or any(p.ok for p in payloads) else EXIT_NOTHING


def _cmd_devices(args: argparse.Namespace) -> int:
    devices = list_devices()
    if args.json:
        _out(json.dumps({"devices": devices}, indent=2))
        return EXIT_OK
    if not devices:
        _out("no audio devices found")
        return EXIT_NOTHING
    for d in devices:
        marks = "".join([" <" if d["default_input"] else "", " >" if d["default_output"] else ""])
        _out(f"{d['index']:3d}  {d['name'][:40]:<40}  {d['host_api'][:10]:<10}  "
             f"in {d['input_channels']:2d}  out {d['output_channels']:2d}  "
             f"{d['default_sample_rate']:7.0f} Hz{marks}")
    _out("< default input, > default output; pass the number or name to --device")
    return EXIT_OK


# ---- demo ----

def _cmd_demo(args: argparse.Namespace) -> int:
    folder = os.path.abspath(args.out)
    try:
        os.makedirs(folder, exist_ok=True)
    except OSError as exc:
        raise CliError(f"{folder}: cannot create the folder ({exc.strerror})") from None
    rate = 44100
    lead = np.zeros(int(LEAD_SILENCE * rate), dtype=np.float32)
    all_ok = True
    _out(f"encoding {args.text!r} in every sending mode, and a payload, at {rate} Hz and "
         f"decoding them back:")
    for mode in ("audible", "nonaudible", "compression", "custom"):
        path = os.path.join(folder, f"{mode}.wav")
        audio = np.concatenate([lead, encode(args.text, mode, rate), lead])
        write_audio(path, audio, rate)
        listen_as = "custom" if mode == "custom" else "all"
        samples, _ = read_audio(path)
        messages = decode_blocks([samples], rate, listen_as)
        ok = any(m.ok and m.text == args.text.lower() for m in messages)
        all_ok = all_ok and ok
        heard = ", ".join(f"{m.text} ({m.mode}, confidence {m.confidence:.2f})"
                          for m in messages) or "nothing"
        _out(f"  {mode:<11} -> {path}: heard {heard} {'[ok]' if ok else '[FAILED]'}")
    # A payload beside the texts: any bytes, here a sentence, in the fast profile.
    path = os.path.join(folder, "payload.wav")
    sent = f"a payload beside {args.text}: any bytes, 1 to {MAX_PAYLOAD_BYTES} of them"
    write_audio(path, np.concatenate([lead, encode_payload(sent, profile="fast"), lead]), rate)
    samples, _ = read_audio(path)
    payloads = decode_payload_blocks([samples], rate)
    ok = any(p.ok and p.text == sent for p in payloads)
    all_ok = all_ok and ok
    heard = ", ".join(f"{json.dumps(p.text) if p.ok else 'a failed payload'} ({p.mode}, "
                      f"{p.profile}, {_frames(p.frames_heard, p.frames_needed, p.frames_total)})"
                      for p in payloads) or "nothing"
    _out(f"  {'payload':<11} -> {path}: heard {heard} {'[ok]' if ok else '[FAILED]'}")
    picture = os.path.join(folder, "audible.png")
    try:
        samples, _ = read_audio(os.path.join(folder, "audible.wav"))
        plot_spectrogram(samples, rate, decode_blocks([samples], rate, "audible"), picture,
                         mode="audible", title=f"audible.wav ({rate} Hz): {args.text}")
        _out(f"  spectrogram -> {picture}")
    except PlotUnavailable as exc:
        _out(f"  spectrogram skipped: {exc}")
    _out(f"files are in {folder}; ryxsound decode FILE finds texts, ryxsound receive FILE "
         f"payloads")
    return EXIT_OK if all_ok else EXIT_NOTHING


# ---- parser and entry point ----

def _parser() -> argparse.ArgumentParser:
    common = _Parser(add_help=False)
    common.add_argument("--debug", action="store_true", default=argparse.SUPPRESS,
                        help="show the traceback of an unexpected failure")
    modes = ", ".join(MODE_IDS)
    mode_opts = _Parser(add_help=False)
    mode_opts.add_argument("--mode", type=_mode_arg, default=None, metavar="M",
                           help=f"{modes} (default: see the command)")
    mode_opts.add_argument("--custom-base", type=_positive_float, default=None, metavar="HZ",
                           help=f"custom plan: tone 0 frequency (default "
                                f"{DEFAULT_CUSTOM_BASE_HZ:.0f} Hz); --mode custom only")
    mode_opts.add_argument("--custom-step", type=int, default=None, metavar="N",
                           help=f"custom plan: hop step of N + 2 bins (default "
                                f"{DEFAULT_CUSTOM_STEP}); --mode custom only")
    presets = "; ".join(f"{p.name}: a custom plan from {p.custom_base_hz:.0f} Hz for {p.band}"
                        for p in PRESETS.values())
    mode_opts.add_argument("--preset", choices=sorted(PRESETS), default=None,
                           help=f"a named plan instead of --mode ({presets})")
    mode_opts.add_argument("-v", "--verbose", action="store_true",
                           help="say on stderr what was read and whether it was resampled")
    resample_opt = _Parser(add_help=False)
    resample_opt.add_argument("--no-resample", action="store_true",
                              help="decode at the audio's own rate instead of resampling "
                                   "rates other than 44100, 48000 and 22050 Hz")
    receive_opts = _Parser(add_help=False, parents=[resample_opt])
    receive_opts.add_argument("--receiver", choices=RECEIVERS, default="robust",
                              help="robust (default: holds in speech, codecs and weak signals) "
                                   "or standard (the plain symbol-clock receiver)")
    rate_opt = _Parser(add_help=False)
    rate_opt.add_argument("--rate", type=_rate_arg, default=44100, metavar="R",
                          help="sample rate in Hz: 44100 (default), 48000, or 22050 (audible "
                               "and low custom plans only); other rates are resampled")
    send_opts = _Parser(add_help=False)
    send_opts.add_argument("text", metavar="TEXT",
                           help="nine base-32 characters (0-9, a-v, either case)")
    overlay = send_opts.add_mutually_exclusive_group()
    overlay.add_argument("--melody", metavar="NOTES", default=None,
                         help="base-32 notes played under the data, one per symbol "
                              "('0' = 440 Hz, each next character a semitone higher)")
    overlay.add_argument("--random-tones", action="store_true",
                         help="one random gliding note per symbol under the data (the file is "
                              "scaled down if the sum would exceed full scale)")
    send_opts.add_argument("--volume-db", type=float, default=None, metavar="DB",
                           help="level of the random tones in dB (default 0)")
    send_opts.add_argument("--repeat", type=_count, default=1, metavar="K",
                           help="send the message K times (default 1)")
    send_opts.add_argument("--gap", type=_positive_float, default=1.0, metavar="SECONDS",
                           help="silence between repetitions (default 1.0)")

    parser = _Parser(prog=PROG, description="Send nine base-32 characters as a burst of tones, "
                     "or payloads of up to 4096 bytes, and find them again in recordings.",
                     parents=[common],
                     epilog="Exit status: 0 success (decode/listen: a message with a matching "
                            "checksum was found; receive/listen: an intact payload), 1 none "
                            "found, 2 bad input or usage, 3 unexpected failure.")
    parser.set_defaults(debug=False)
    parser.add_argument("--version", action="version", version=f"{PROG} {__version__}")
    sub = parser.add_subparsers(dest="command", metavar="COMMAND", parser_class=_Parser)

    p = sub.add_parser("encode", parents=[common, send_opts, mode_opts, rate_opt],
                       help="write a message to an audio file",
                       description="Write TEXT as tones to a WAV (or FLAC/OGG) file, with a "
                                   "quarter second of silence before and after. Mode default: "
                                   "audible.")
    p.add_argument("-o", "--output", required=True, metavar="OUT",
                   help="file to write; the extension picks the format (.wav, .flac, .ogg); "
                        "- writes WAV to standard output")
    p.add_argument("--format", choices=sorted(SUBTYPES), default="pcm16",
                   help="sample format: pcm16 (default, 16-bit PCM), pcm24 or float "
                        "(32-bit float, WAV only)")
    p.add_argument("--signature", metavar="SIG", default=None,
                   help="a short sound of yours (a jingle or chime, same sample rate) mixed "
                        "under the start of every transmission, so that people hear who is "
                        "sending; it covers at most the transmission's length and is clipped "
                        "to full scale where it overlaps")

    p = sub.add_parser("decode", parents=[common, mode_opts, receive_opts],
                       help="find messages in audio files",
                       description="Print one line per message found: time, mode, text, "
                                   "checksum result, confidence, the decided tones over their "
                                   "band (dB), the tone level (dBFS), the share of symbols "
                                   "received clean and the symbols error correction changed "
                                   "(counted from 1: 1-2 start, 3-11 text, 12 checksum). "
                                   "A file without a message names the plan, or the command "
                                   "(receive), that hears what it holds. "
                                   "Reads WAV, "
                                   "FLAC, OGG and (with pip install 'ryxsound[media]') M4A/AAC, "
                                   "MP4, MKV, WEBM, AMR, WMA at any sample rate; stereo is mixed "
                                   "down, other rates than 44100, 48000 and 22050 Hz are "
                                   "resampled. Mode default: all "
                                   "(audible at 22050 Hz). Exit 0 when a message with a "
                                   "matching checksum was found, 1 when none, 2 for bad input "
                                   "(the other files are still decoded).")
    p.add_argument("files", nargs="+", metavar="FILE",
                   help="audio files or streams to decode; - reads standard input")
    shape = p.add_mutually_exclusive_group()
    shape.add_argument("--json", action="store_true",
                       help="one JSON object per message per line, with its file (as receive "
                            "and listen print theirs)")
    shape.add_argument("--json-document", action="store_true",
                       help="the one JSON document of earlier releases ({\"files\": [...]}), "
                            "kept for this release")
    p.add_argument("--jobs", "-j", type=_count, default=1, metavar="N",
                   help="decode N files at a time on N threads (default 1); the results keep "
                        "the order of the files")

    p = sub.add_parser("spectrogram", parents=[common, mode_opts, receive_opts],
                       help="draw a spectrogram with the messages marked (needs matplotlib)",
                       description="Draw a spectrogram (time, frequency, dB) with the decoded "
                                   "messages and the plan's band marked. Needs matplotlib: "
                                   "pip install 'ryxsound[plot]'.")
    p.add_argument("file", metavar="FILE", help="audio file to draw (any format decode reads)")
    p.add_argument("-o", "--output", required=True, metavar="OUT",
                   help=f"picture to write; the extension picks the format "
                        f"({', '.join('.' + e for e in IMAGE_FORMATS)})")
    p.add_argument("--start", type=_positive_float, default=None, metavar="SECONDS",
                   help="draw from this time on (default: the beginning)")
    p.add_argument("--end", type=_positive_float, default=None, metavar="SECONDS",
                   help="draw up to this time (default: the end)")

    p = sub.add_parser("listen", parents=[common, mode_opts, receive_opts, rate_opt],
                       help="decode from the microphone (needs sounddevice)",
                       description="Print messages heard on an input device until Ctrl-C. "
                                   "Needs sounddevice: pip install 'ryxsound[audio]'. "
                                   "Mode default: all.")
    p.add_argument("--device", type=_device_arg, default=None, metavar="D",
                   help="input device number or name (default: the system's)")
    p.add_argument("--duration", type=_positive_float, default=None, metavar="SECONDS",
                   help="stop after this much audio")
    p.add_argument("--count", type=_count, default=None, metavar="N",
                   help="stop after N messages")
    p.add_argument("--json", action="store_true", help="one JSON object per line")

    p = sub.add_parser("play", parents=[common, send_opts, mode_opts, rate_opt],
                       help="play a message on the speaker (needs sounddevice)",
                       description="Play TEXT on an output device. Needs sounddevice: "
                                   "pip install 'ryxsound[audio]'. Mode default: audible. "
                                   "A payload (bytes, a file, a long text) plays with "
                                   "ryxsound send PATH --play (or send --text ... --play).")
    p.add_argument("--device", type=_device_arg, default=None, metavar="D",
                   help="output device number or name (default: the system's)")

    p = sub.add_parser("send", parents=[common, mode_opts, rate_opt],
                       help="write a payload of 1 to 4096 bytes to an audio file",
                       description=f"Write the bytes of PATH (or --text) as a payload to a WAV "
                                   f"(or FLAC/OGG) file, or play them with --play. A payload "
                                   f"holds 1 to {MAX_PAYLOAD_BYTES} bytes; it is delivered "
                                   f"whole or reported failed, never changed. Mode default: "
                                   f"audible (the narrow plans are slower).")
    source = p.add_mutually_exclusive_group(required=True)
    source.add_argument("path", nargs="?", metavar="PATH",
                        help="file to send; - reads standard input")
    source.add_argument("--text", default=None, help="send this text (UTF-8) instead of a file")
    target = p.add_mutually_exclusive_group(required=True)
    target.add_argument("-o", "--output", default=None, metavar="OUT",
                        help="file to write; the extension picks the format (.wav, .flac, "
                             ".ogg); - writes WAV to standard output")
    target.add_argument("--play", action="store_true",
                        help="play on an output device instead (needs sounddevice)")
    p.add_argument("--device", type=_device_arg, default=None, metavar="D",
                   help="output device number or name for --play (default: the system's)")
    p.add_argument("--profile", choices=PROFILES, default="robust",
                   help="robust (default: speech, codecs, rooms; 140 bytes in 12.3 s audible) "
                        "or fast (a quiet room or a cable; 140 bytes in 4.3 s)")
    p.add_argument("--repeat", type=_count, default=1, metavar="K",
                   help="send the payload K times back to back (1..16, default 1)")

    p = sub.add_parser("receive", parents=[common, mode_opts, resample_opt],
                       help="find payloads in audio files",
                       description="Print one line per payload found: time, plan, profile, "
                                   "size, result, its frames heard, needed (any this many "
                                   "deliver it) and sent, confidence and the payload as a JSON "
                                   "string when it is UTF-8 text. A file without a payload "
                                   "names the plan, or the command (decode), that hears what "
                                   "it holds. Reads what "
                                   "decode reads. Mode default: all (audible at 22050 Hz). "
                                   "Exit 0 when an intact payload was found, 1 when none, 2 "
                                   "for bad input (the other files are still read).")
    p.add_argument("files", nargs="+", metavar="IN",
                   help="audio files or streams; - reads standard input")
    p.add_argument("-o", "--output", default=None, metavar="DIR",
                   help="write each intact payload to DIR/<input name>-<n>.bin, each named "
                        "on stderr (DIR is created when missing)")
    p.add_argument("--json", action="store_true",
                   help="one JSON object per payload per line, with its file")

    p = sub.add_parser("devices", parents=[common],
                       help="list the audio devices (needs sounddevice)",
                       description="List the audio input and output devices with their "
                                   "numbers, for --device of listen and play. Needs sounddevice "
                                   "and the PortAudio library.")
    p.add_argument("--json", action="store_true", help="print one JSON document instead")

    p = sub.add_parser("demo", parents=[common],
                       help="encode a text in every mode and a payload, decode them and "
                            "draw a spectrogram",
                       description="Encode TEXT in every sending mode to WAV files under OUT, "
                                   "and a payload beside them, "
                                   "decode them back, draw a spectrogram of the audible one "
                                   "(when matplotlib is installed) and print where the files "
                                   "are.")
    p.add_argument("--out", default=os.path.join("out", "demo"), metavar="DIR",
                   help="folder for the files (default ./out/demo)")
    p.add_argument("--text", default="hello0123", help="text to send (default hello0123)")
    return parser


def _error(message: str) -> None:
    sys.stderr.write(f"{PROG}: error: {message}\n")
    sys.stderr.flush()


def _warn(message: str) -> None:
    sys.stderr.write(f"{PROG}: warning: {message}\n")
    sys.stderr.flush()


def main(argv: Optional[Sequence[str]] = None, *,
         stream_factory: Optional[StreamFactory] = None) -> int:
    """Run the tool.

    Parameters
    ----------
    argv : sequence of str, optional
        Arguments without the program name; ``sys.argv[1:]`` when None.
    stream_factory : callable, optional
        Replaces sounddevice's stream classes for ``listen`` and ``play`` (see
        :func:`ryxsound._live.listen`).

    Returns
    -------
    int
        The exit status.
    """
    parser = _parser()
    args = parser.parse_args(argv)
    if args.command is None:
        parser.print_help(sys.stderr)
        return EXIT_BAD_INPUT
    try:
        if args.command == "encode":
            return _cmd_encode(args)
        if args.command == "decode":
            return _cmd_decode(args)
        if args.command == "spectrogram":
            return _cmd_spectrogram(args)
        if args.command == "listen":
            return _cmd_listen(args, stream_factory)
        if args.command == "play":
            return _cmd_play(args, stream_factory)
        if args.command == "devices":
            return _cmd_devices(args)
        if args.command == "send":
            return _cmd_send(args, stream_factory)
        if args.command == "receive":
            return _cmd_receive(args)
        return _cmd_demo(args)
    except (CliError, AudioFileError, PlotUnavailable, LiveAudioUnavailable) as exc:
        if args.debug:
            raise
        _error(str(exc))
        return getattr(exc, "code", EXIT_BAD_INPUT)
    except KeyboardInterrupt:
        sys.stderr.write("\n")
        return EXIT_INTERRUPTED
    except BrokenPipeError:
        # The reader of our output went away (| head); say nothing more.
        try:
            sys.stdout = open(os.devnull, "w")
        except OSError:
            pass
        return EXIT_OK
    except Exception as exc:  # an unexpected failure: one line unless --debug
        if args.debug:
            raise
        _error(f"unexpected {type(exc).__name__}: {exc} (run with --debug for details)")
        return EXIT_FAILURE


if __name__ == "__main__":  # pragma: no cover
    sys.exit(main())
