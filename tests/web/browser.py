"""The page served over http on localhost, and a headless Chromium or a WebKitGTK browser (Safari's
engine) driven by Selenium.

Shared by the browser tests and the in-page decoding benchmark (bench/web_speed.py).
"""
from __future__ import annotations

import contextlib
import gzip
import json
import os
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time
import urllib.request
from pathlib import Path
from typing import Iterator, Optional

ROOT = Path(__file__).resolve().parents[2]
WEB_BUILD = ROOT / "build" / "web"
CHROMIUM = shutil.which("chromium") or "/usr/bin/chromium"
CHROMEDRIVER = shutil.which("chromedriver") or "/usr/bin/chromedriver"
WEBKIT_DRIVER = shutil.which("WebKitWebDriver") or "/usr/bin/WebKitWebDriver"

#: Everything the page downloads from build/web: the page, its style and scripts, the module they
#: load and, once Listen is pressed, the capture worklet. The icon is inline, and the declarations
#: (ryxsound.d.ts) are for programmers, not the browser.
PAGE_FILES = ["index.html", "style.css", "app.js", "ryxsound.js", "ryxsound.wasm",
              "capture-worklet.js"]


def gzipped_size(path: Path) -> int:
    """Bytes of `path` as a server that compresses sends it: gzip at its best level."""
    return len(gzip.compress(path.read_bytes(), compresslevel=9, mtime=0))


def payload_microphone(path: Path, text: str, options: dict) -> Path:
    """A 16-bit WAV of a payload sent by the WebAssembly encoder under Node (options as
    encodePayload's, sampleRate among them): a second of silence, the transmission, two seconds
    of silence."""
    import numpy as np
    import soundfile

    rate = options["sampleRate"]
    script = Path(__file__).with_name("payload_audio.mjs")
    raw = subprocess.run(["node", str(script), text, json.dumps(options)], check=True,
                         capture_output=True, timeout=60).stdout
    silence = np.zeros(rate, dtype=np.float32)
    audio = np.frombuffer(raw, dtype="<f4")
    soundfile.write(path, np.concatenate([silence, audio, silence, silence]), rate,
                    subtype="PCM_16")
    return path


class BrowserUnavailable(RuntimeError):
    """Chromium or its driver is missing or would not start."""


def _free_port() -> int:
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


@contextlib.contextmanager
def served(directory: Path = WEB_BUILD, log: Optional[Path] = None) -> Iterator[str]:
    """Serves `directory` with python -m http.server on localhost; yields its base URL. The
    server's log, a line per request with its status, goes to `log` if given."""
    if not (directory / "ryxsound.wasm").exists():
        raise FileNotFoundError(f"{directory} has no ryxsound.wasm: run `make web` first")
    port = _free_port()
    log_file = open(log, "w") if log is not None else subprocess.DEVNULL
    server = subprocess.Popen(
        [sys.executable, "-m", "http.server", str(port), "--bind", "127.0.0.1",
         "--directory", str(directory)],
        stdout=subprocess.DEVNULL, stderr=log_file)
    url = f"http://localhost:{port}/"
    try:
        for _ in range(100):
            with contextlib.suppress(OSError):
                urllib.request.urlopen(url, timeout=1).close()
                break
            time.sleep(0.05)
        else:
            raise RuntimeError(f"the static server on port {port} did not answer")
        yield url
    finally:
        server.terminate()
        server.wait(timeout=10)
        if log is not None:
            log_file.close()


@contextlib.contextmanager
def chromium(microphone: Optional[Path] = None) -> Iterator["object"]:
    """A headless Chromium whose microphone plays `microphone` (a WAV file), if given."""
    try:
        from selenium import webdriver
        from selenium.common.exceptions import WebDriverException
        from selenium.webdriver.chrome.service import Service
    except ImportError as exc:
        raise BrowserUnavailable(f"selenium is not installed: {exc}") from None
    if not (Path(CHROMIUM).exists() and Path(CHROMEDRIVER).exists()):
        raise BrowserUnavailable(f"need {CHROMIUM} and {CHROMEDRIVER} (apt: chromium "
                                 "chromium-driver)")
    options = webdriver.ChromeOptions()
    options.binary_location = CHROMIUM
    for flag in ("--headless=new", "--no-sandbox", "--disable-dev-shm-usage", "--disable-gpu",
                 "--window-size=900,900", "--autoplay-policy=no-user-gesture-required",
                 "--use-fake-ui-for-media-stream", "--use-fake-device-for-media-stream"):
        options.add_argument(flag)
    if microphone is not None:
        options.add_argument(f"--use-file-for-fake-audio-capture={microphone}")
    try:
        driver = webdriver.Chrome(service=Service(CHROMEDRIVER), options=options)
    except WebDriverException as exc:
        raise BrowserUnavailable(f"chromium would not start: {exc.msg}") from None
    try:
        driver.set_script_timeout(120)
        yield driver
    finally:
        driver.quit()


def open_page(driver, url: str, timeout: float = 30) -> None:
    """Loads the page and waits until its module has loaded the decoder."""
    from selenium.webdriver.support.ui import WebDriverWait

    driver.get(url)
    WebDriverWait(driver, timeout).until(
        lambda d: d.execute_script("return !!window.RyxSound") and
        d.find_element("id", "status").text.startswith("Ready"))


def start_listening(driver, timeout: float = 30) -> None:
    """Presses Listen until the page listens. WebKitWebDriver now and then answers a click with an
    empty error (seen once in about forty runs, on a busy machine) though the page may have taken
    it: the button says which, and a second press is only made where the first was lost."""
    from selenium.common.exceptions import WebDriverException
    from selenium.webdriver.support.ui import WebDriverWait

    button = driver.find_element("id", "listen")
    for attempt in range(3):
        try:
            button.click()
        except WebDriverException:
            if attempt == 2:
                raise
        WebDriverWait(driver, timeout).until(lambda d: button.is_enabled())
        if button.get_attribute("aria-pressed") == "true":
            return
    raise AssertionError(f"the page did not listen: {driver.find_element('id', 'status').text}")


def _stop(process: subprocess.Popen) -> None:
    """Ends a process this module started in a session of its own, with its children."""
    if process.poll() is None:
        with contextlib.suppress(ProcessLookupError):
            os.killpg(process.pid, signal.SIGTERM)
        try:
            process.wait(timeout=10)
        except subprocess.TimeoutExpired:
            os.killpg(process.pid, signal.SIGKILL)
            process.wait()


def _started(command: list, env: dict, **kwargs) -> subprocess.Popen:
    return subprocess.Popen(command, env=env, start_new_session=True, **kwargs)


@contextlib.contextmanager
def _virtual_display(env: dict) -> Iterator[None]:
    """Xvfb on a free display number, set as env's DISPLAY."""
    if not shutil.which("Xvfb"):
        raise BrowserUnavailable("WebKitGTK needs a display: apt xvfb")
    read, write = os.pipe()
    server = _started(["Xvfb", "-displayfd", str(write), "-screen", "0", "1024x900x24",
                       "-nolisten", "tcp"], env, pass_fds=(write,),
                      stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(write)
    try:
        with os.fdopen(read) as numbers:
            display = numbers.readline().strip()
        if not display:
            raise BrowserUnavailable("Xvfb did not start")
        env["DISPLAY"] = f":{display}"
        yield
    finally:
        _stop(server)


def _pactl(env: dict, *args: str) -> subprocess.CompletedProcess:
    return subprocess.run(["pactl", *args], env=env, capture_output=True, text=True, timeout=10)


@contextlib.contextmanager
def _sound_server(env: dict, microphone: Path) -> Iterator[None]:
    """A private PulseAudio server whose default source plays `microphone` over and over: a null
    sink `mic` that paplay plays into, and its monitor remapped as a source (WebKit does not
    offer monitors)."""
    if not (shutil.which("pulseaudio") and shutil.which("paplay")):
        raise BrowserUnavailable("no sound server: apt pulseaudio pulseaudio-utils")
    socket_path = Path(env["XDG_RUNTIME_DIR"]) / "native"
    env["PULSE_SERVER"] = f"unix:{socket_path}"
    server = _started(
        ["pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1", "--use-pid-file=no",
         "--disable-shm=yes", f"--load=module-native-protocol-unix socket={socket_path} "
         "auth-anonymous=1", "--load=module-null-sink sink_name=mic",
         "--load=module-remap-source master=mic.monitor source_name=fakemic"],
        env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    player = None
    try:
        for _ in range(150):
            if server.poll() is not None or _pactl(env, "info").returncode == 0:
                break
            time.sleep(0.1)
        if server.poll() is not None or _pactl(env, "set-default-source", "fakemic").returncode:
            raise BrowserUnavailable("the private PulseAudio server did not start")
        player = _started(["sh", "-c", 'while paplay --device=mic "$0"; do :; done',
                           str(microphone)], env)
        yield
    finally:
        if player is not None:
            _stop(player)
        _stop(server)


#: What WebKit's driver says when the browser's own page process crashed or hung under a test.
BROWSER_CRASH = "page crash or hang"


def run_in_browser(browser, microphone: Optional[Path], test, attempts: int = 2) -> None:
    """test(driver) in a fresh browser from `browser` (chromium or webkit) whose microphone plays
    `microphone`; once more in a new browser when the browser's page process crashed or hung under
    it (WebKit's driver then drops the session, now and then on a loaded machine). A failing check
    is never tried again."""
    from selenium.common.exceptions import WebDriverException

    for attempt in range(attempts):
        try:
            with browser(microphone) as driver:
                test(driver)
            return
        except WebDriverException as exc:
            if BROWSER_CRASH not in str(exc) or attempt + 1 == attempts:
                raise


@contextlib.contextmanager
def webkit(microphone: Optional[Path] = None) -> Iterator["object"]:
    """MiniBrowser of WebKitGTK on a virtual display, its microphone a private sound server
    playing `microphone` (a WAV file) in a loop, if given."""
    try:
        from selenium import webdriver
        from selenium.common.exceptions import WebDriverException
        from selenium.webdriver.webkitgtk.service import Service
    except ImportError as exc:
        raise BrowserUnavailable(f"selenium is not installed: {exc}") from None
    if not Path(WEBKIT_DRIVER).exists():
        raise BrowserUnavailable(f"need {WEBKIT_DRIVER} (apt: webkit2gtk-driver)")
    with tempfile.TemporaryDirectory(prefix="ryx-webkit-") as home, contextlib.ExitStack() as stack:
        runtime = Path(home) / "run"
        runtime.mkdir(mode=0o700)
        env = {k: v for k, v in os.environ.items() if not k.startswith(("PULSE_", "DISPLAY"))}
        env.update(HOME=home, XDG_RUNTIME_DIR=str(runtime),
                   PULSE_RUNTIME_PATH=str(runtime / "pulse"))
        stack.enter_context(_virtual_display(env))
        if microphone is not None:
            stack.enter_context(_sound_server(env, microphone))
        options = webdriver.WebKitGTKOptions()
        # These replace the browser's default arguments, so --automation is among them.
        for flag in ("--automation", "--enable-media-stream=true", "--autoplay-policy=allow"):
            options.add_argument(flag)
        try:
            driver = webdriver.WebKitGTK(options=options,
                                         service=Service(WEBKIT_DRIVER, env=env))
        except WebDriverException as exc:
            raise BrowserUnavailable(f"WebKitGTK would not start: {exc.msg}") from None
        try:
            driver.set_script_timeout(120)
            yield driver
        finally:
            driver.quit()
