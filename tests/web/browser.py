"""The page served over http on localhost and a headless Chromium driven by Selenium.

Shared by the browser tests and the in-page decoding benchmark (bench/web_speed.py).
"""
from __future__ import annotations

import contextlib
import json
import shutil
import socket
import subprocess
import sys
import time
import urllib.request
from pathlib import Path
from typing import Iterator, Optional

ROOT = Path(__file__).resolve().parents[2]
WEB_BUILD = ROOT / "build" / "web"
CHROMIUM = shutil.which("chromium") or "/usr/bin/chromium"
CHROMEDRIVER = shutil.which("chromedriver") or "/usr/bin/chromedriver"


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
def served(directory: Path = WEB_BUILD) -> Iterator[str]:
    """Serves `directory` with python -m http.server on localhost; yields its base URL."""
    if not (directory / "ryxsound.wasm").exists():
        raise FileNotFoundError(f"{directory} has no ryxsound.wasm: run `make web` first")
    port = _free_port()
    server = subprocess.Popen(
        [sys.executable, "-m", "http.server", str(port), "--bind", "127.0.0.1",
         "--directory", str(directory)],
        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
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
