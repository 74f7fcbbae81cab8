"""The page and the JavaScript API in a real headless Chromium.

The microphone is Chromium's fake capture device playing a WAV file written by the native
encoder; the page must list the file's text after Listen is clicked. The encoder compiled to
WebAssembly must give the native encoder's samples. Skipped only when Chromium cannot start.
"""
from __future__ import annotations

import json
import time
from pathlib import Path

import numpy as np
import pytest
import soundfile

import ryxsound

from browser import ROOT, BrowserUnavailable, chromium, open_page, served

SCREENSHOT = ROOT / "build" / "web-test" / "page-decoded.png"


@pytest.fixture(scope="module")
def page_url():
    with served() as url:
        yield url


def microphone_file(path: Path, text: str, rate: int, **encoder_args) -> Path:
    """A 16-bit WAV: a second of silence, the transmission, two seconds of silence."""
    audio = ryxsound.encode(text, sample_rate=rate, **encoder_args)
    silence = np.zeros(rate, dtype=np.float32)
    soundfile.write(path, np.concatenate([silence, audio, silence, silence]), rate,
                    subtype="PCM_16")
    return path


def browser(microphone=None):
    try:
        return chromium(microphone)
    except BrowserUnavailable as exc:
        pytest.skip(str(exc))


# Plan selector value, text, the encoder's arguments and the microphone file's rate.
LISTEN_CASES = [
    ("all", "hello0123", dict(mode="nonaudible"), 48000),
    ("audible", "a1b2c3d4e", dict(mode="audible"), 48000),
    ("preset:phone", "v0v1v2v3v", dict(mode="custom", custom_base_hz=600, custom_step=1), 44100),
]


@pytest.mark.parametrize("plan,text,encoder_args,rate", LISTEN_CASES,
                         ids=[case[0] for case in LISTEN_CASES])
def test_listen_lists_the_text_from_the_microphone(tmp_path, page_url, plan, text, encoder_args,
                                                   rate):
    from selenium.webdriver.support.select import Select
    from selenium.webdriver.support.ui import WebDriverWait

    wav = microphone_file(tmp_path / f"{text}.wav", text, rate, **encoder_args)
    with browser(wav) as driver:
        open_page(driver, page_url)
        box = driver.find_element("id", "text")
        box.clear()
        box.send_keys(text)
        Select(driver.find_element("id", "plan")).select_by_value(plan)
        driver.find_element("id", "listen").click()
        messages = driver.find_element("id", "messages")
        WebDriverWait(driver, 40).until(
            lambda d: any(text in item.text
                          for item in messages.find_elements("css selector", ":scope > *")),
            message=f"no '{text}' in #messages; status: "
                    f"{driver.find_element('id', 'status').text}")
        status = driver.find_element("id", "status").text
        print(f"{plan}: '{text}' from a {rate} Hz file; {status}")
        if plan == "audible":  # with the message scrolled in a little
            time.sleep(1.5)
            SCREENSHOT.parent.mkdir(parents=True, exist_ok=True)
            driver.execute_script("window.scrollTo(0, 0)")
            driver.get_screenshot_as_file(str(SCREENSHOT))


def browser_encode(driver, text, options):
    """ryxsound.js's encode in the page, as a list of floats (or the error's name and message)."""
    return driver.execute_script(
        "try { return Array.from(RyxSound.encode(arguments[0], JSON.parse(arguments[1]))); }"
        " catch (e) { return e.name + ': ' + e.message; }", text, json.dumps(options))


ENCODE_CASES = [
    ("hello0123", dict(mode="audible", sampleRate=44100), dict(mode="audible", sample_rate=44100)),
    ("a1b2c3d4e", dict(mode="nonaudible", sampleRate=48000),
     dict(mode="nonaudible", sample_rate=48000)),
    ("vvvvvvvvv", dict(mode="compression", sampleRate=44100),
     dict(mode="compression", sample_rate=44100)),
    ("00000000v", dict(mode="all", sampleRate=48000), dict(mode="all", sample_rate=48000)),
    ("hello0123", dict(mode="audible", sampleRate=22050), dict(mode="audible", sample_rate=22050)),
    ("hello0123", dict(preset="phone", sampleRate=44100),
     dict(mode="custom", sample_rate=44100, custom_base_hz=600, custom_step=1)),
    ("hello0123", dict(mode="custom", sampleRate=44100, customBaseHz=9000, customStep=3),
     dict(mode="custom", sample_rate=44100, custom_base_hz=9000, custom_step=3)),
    ("HELLO0123", dict(mode="audible", sampleRate=44100, melody="0479c0479c047"),
     dict(mode="audible", sample_rate=44100, melody="0479c0479c047")),
    ("hello0123", dict(mode="audible", sampleRate=44100, melody="0" * 40),
     dict(mode="audible", sample_rate=44100, melody="0" * 40)),
]

ERROR_CASES = [
    ("hello012", dict(), "RyxSoundError: text must be exactly 9 characters"),
    ("hellow123", dict(), "'w' at position 6"),
    ("hello0123", dict(mode="nonaudible", sampleRate=22050), "above half the sample rate"),
    ("hello0123", dict(sampleRate=1e12), "outside 1000 Hz"),
    ("hello0123", dict(preset="fax"), "unknown preset 'fax'"),
    ("hello0123", dict(melody="0", randomTones=True), "either a melody or random tones"),
    ("hello0123", dict(rate=44100), "TypeError: unknown option 'rate'"),
]


@pytest.fixture(scope="module")
def plain_browser(page_url):
    try:
        with chromium() as driver:
            open_page(driver, page_url)
            yield driver
    except BrowserUnavailable as exc:
        pytest.skip(str(exc))


@pytest.mark.parametrize("text,options,native", ENCODE_CASES)
def test_encode_in_the_browser_matches_the_native_encoder(plain_browser, text, options, native):
    expected = ryxsound.encode(text, **native)
    got = browser_encode(plain_browser, text, options)
    assert isinstance(got, list), got
    assert len(got) == len(expected)
    assert np.max(np.abs(np.asarray(got, dtype=np.float64) - expected)) <= 1e-6


@pytest.mark.parametrize("text,options,message", ERROR_CASES)
def test_bad_input_in_the_browser_raises_a_clear_error(plain_browser, text, options, message):
    got = browser_encode(plain_browser, text, options)
    assert isinstance(got, str) and message in got


def test_the_page_checks_the_text_as_it_is_typed(plain_browser):
    box = plain_browser.find_element("id", "text")
    check = plain_browser.find_element("id", "text-check")
    box.clear()
    box.send_keys("hello01w3")
    assert "'w' at position 8" in check.text and box.get_attribute("aria-invalid") == "true"
    assert not plain_browser.find_element("id", "play").is_enabled()
    box.send_keys("\b\b\b" + "023")
    assert check.text.startswith("Ready") and box.get_attribute("aria-invalid") == "false"



def test_play_sends_the_text_in_the_chosen_plan_at_the_context_rate(plain_browser):
    from selenium.webdriver.support.select import Select
    from selenium.webdriver.support.ui import WebDriverWait

    plain_browser.execute_script(
        "window.played = [];"
        "const start = AudioBufferSourceNode.prototype.start;"
        "AudioBufferSourceNode.prototype.start = function (...args) {"
        "  const b = this.buffer;"
        "  window.played.push(RyxSound.decode(b.getChannelData(0), {mode: 'all', sampleRate: b.sampleRate})"
        "    .map((m) => [m.text, m.mode, b.sampleRate === this.context.sampleRate]));"
        "  return start.apply(this, args); };")
    box = plain_browser.find_element("id", "text")
    box.clear()
    box.send_keys("K3V90QA7C")
    Select(plain_browser.find_element("id", "plan")).select_by_value("compression")
    plain_browser.find_element("id", "play").click()
    WebDriverWait(plain_browser, 10).until(lambda d: d.execute_script("return played.length"))
    assert plain_browser.execute_script("return played") == [[["k3v90qa7c", "compression", True]]]
