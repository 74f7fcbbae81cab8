"""The page and the JavaScript API in a real headless Chromium.

The microphone is Chromium's fake capture device playing a WAV file written by the native
encoder; the page must list the file's text after Listen is clicked, with the level figures the
native decoder finds in the samples the page decoded. The encoder compiled to WebAssembly must
give the native encoder's samples, and its decoders the native level figures. Skipped only when
Chromium cannot start.
"""
from __future__ import annotations

import json
import re
import time
from pathlib import Path

import numpy as np
import pytest
import soundfile

import ryxsound

from browser import (PAGE_FILES, ROOT, BrowserUnavailable, chromium, open_page, run_in_browser,
                     served, start_listening, webkit)

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


# Keeps every sample the page's decoders are fed (fedSamples) and their rate (fedRate).
FEED_RECORDER = """
window.fedSamples = new Float32Array(0);
const feed = RyxSound.Decoder.prototype.feed;
RyxSound.Decoder.prototype.feed = function (samples) {
    const all = new Float32Array(fedSamples.length + samples.length);
    all.set(fedSamples);
    all.set(samples, fedSamples.length);
    [window.fedSamples, window.fedRate] = [all, this.sampleRate];
    return feed.call(this, samples);
};
"""


def shown_levels(item_text: str) -> tuple[float, float]:
    """The tone-to-band and level figures (dB) a message's line on the page shows."""
    found = re.search(r"tones (-?[0-9.]+) dB over the band, (-?[0-9.]+) dBFS", item_text)
    assert found, item_text
    return float(found[1]), float(found[2])


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
        driver.execute_script(FEED_RECORDER)
        start_listening(driver)
        # The page finds the message and reads its text in one step: reading each item's text
        # through the driver while the page still writes it can fail in WebKit's driver.
        find = ("return [...document.querySelectorAll('#messages > *')]"
                ".map((item) => item.innerText).find((t) => t.includes(arguments[0])) || null;")
        shown = WebDriverWait(driver, 40).until(
            lambda d: d.execute_script(find, text),
            message=f"no '{text}' in #messages; status: "
                    f"{driver.find_element('id', 'status').text}")
        status = driver.find_element("id", "status").text
        print(f"{plan}: '{text}' from a {rate} Hz file; {status}")
        fed, fed_rate = driver.execute_script("return [Array.from(fedSamples), fedRate]")
        options = dict(preset=plan[7:]) if plan.startswith("preset:") else dict(mode=plan)
        native = [m for m in ryxsound.decode(np.asarray(fed, dtype=np.float32), fed_rate,
                                             resample=False, **options) if m.text == text]
        assert native, f"the native decoder finds no '{text}' in what the page decoded"
        tone_to_band_db, level_dbfs = shown_levels(shown)
        assert tone_to_band_db == pytest.approx(native[0].tone_to_band_db, abs=0.051)
        assert level_dbfs == pytest.approx(native[0].level_dbfs, abs=0.051)
        if plan == "audible":  # with the message scrolled in a little
            time.sleep(1.5)
            SCREENSHOT.parent.mkdir(parents=True, exist_ok=True)
            driver.execute_script("window.scrollTo(0, 0)")
            driver.get_screenshot_as_file(str(SCREENSHOT))


def test_listen_in_webkit_lists_the_text_from_the_microphone(tmp_path, page_url):
    from selenium.webdriver.support.ui import WebDriverWait

    wav = microphone_file(tmp_path / "webkit.wav", "k3v90qa7c", 44100, mode="nonaudible")

    def listen(driver):
        from selenium.webdriver.support.select import Select

        open_page(driver, page_url)
        Select(driver.find_element("id", "plan")).select_by_value("all")
        start_listening(driver)
        # Read by the page in one step, as WebKit's driver may fail to read text being written.
        shown = WebDriverWait(driver, 40).until(
            lambda d: d.execute_script(
                "const t = document.getElementById('messages').innerText;"
                "return t.includes(arguments[0]) ? t : null;", "k3v90qa7c"),
            message=f"no text in #messages; status: {driver.find_element('id', 'status').text}")
        assert "nonaudible" in shown

    try:
        run_in_browser(webkit, wav, listen)
    except BrowserUnavailable as exc:
        pytest.skip(str(exc))


# Every buffer the page plays, decoded: window.played holds [text, plan, at the context's rate].
PLAY_RECORDER = """
window.played = [];
const start = AudioBufferSourceNode.prototype.start;
AudioBufferSourceNode.prototype.start = function (...args) {
    const b = this.buffer;
    played.push(RyxSound.decode(b.getChannelData(0), { mode: 'all', sampleRate: b.sampleRate })
        .map((m) => [m.text, m.mode, b.sampleRate === this.context.sampleRate]));
    return start.apply(this, args);
};
"""

# What is visible of the page's placeholders: the spectrogram's, and the one after each list.
PLACEHOLDERS = """
const shown = (e) => e.offsetParent !== null;
return [document.getElementById('scope-empty'),
        document.querySelector('#messages + .empty'),
        document.querySelector('#payloads + .empty')].map((e) => shown(e) ? e.innerText : null);
"""


def test_a_fresh_page_plays_audibly_says_what_will_appear_and_loads_every_file(tmp_path):
    """As a newcomer meets it: Play sends the audible plan (the non-audible one sounds silent on
    laptop speakers), the empty spectrogram and lists say what will fill them until it does, and
    every request the page makes is answered, its icon included, for exactly the files the size
    budget counts."""
    from selenium.webdriver.support.ui import WebDriverWait

    log = tmp_path / "requests.log"
    wav = microphone_file(tmp_path / "mic.wav", "a1b2c3d4e", 48000, mode="audible")
    with served(log=log) as url, browser(wav) as driver:
        open_page(driver, url)
        assert driver.find_element("id", "plan").get_attribute("value") == "audible"
        empty = driver.execute_script(PLACEHOLDERS)
        assert None not in empty, empty
        assert "spectrogram" in empty[0] and "Texts" in empty[1] and "Payloads" in empty[2]
        driver.execute_script(PLAY_RECORDER)
        driver.find_element("id", "play").click()
        WebDriverWait(driver, 10).until(lambda d: d.execute_script("return played.length"))
        assert driver.execute_script("return played") == [[["hello0123", "audible", True]]]
        start_listening(driver)
        WebDriverWait(driver, 40).until(
            lambda d: "a1b2c3d4e" in d.find_element("id", "messages").text,
            message=f"no text heard; status: {driver.find_element('id', 'status').text}")
        assert driver.execute_script(PLACEHOLDERS)[:2] == [None, None]
        assert driver.execute_script(PLACEHOLDERS)[2] is not None
        errors = [entry["message"] for entry in driver.get_log("browser")
                  if entry["level"] == "SEVERE"]
    requests = re.findall(r'"GET (\S+) HTTP/[0-9.]+" (\d+)', log.read_text())
    failed = [(path, status) for path, status in requests if status not in ("200", "304")]
    assert not failed and not errors, (failed, errors)
    fetched = {"index.html" if path == "/" else path.lstrip("/") for path, _ in requests}
    assert fetched == set(PAGE_FILES)


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
    ("hello0123", dict(mode="nonaudible", sampleRate=22050),
     "audio at 22050 Hz holds up to 9922.5 Hz, the nonaudible plan reaches"),
    ("hello0123", dict(sampleRate=96000), "the plans are made at 48000 Hz; resample to 48000 Hz"),
    ("hello0123", dict(sampleRate=1e12), "outside 1000..1000000 Hz"),
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

    plain_browser.execute_script(PLAY_RECORDER)
    box = plain_browser.find_element("id", "text")
    box.clear()
    box.send_keys("K3V90QA7C")
    Select(plain_browser.find_element("id", "plan")).select_by_value("compression")
    plain_browser.find_element("id", "play").click()
    WebDriverWait(plain_browser, 10).until(lambda d: d.execute_script("return played.length"))
    assert plain_browser.execute_script("return played") == [[["k3v90qa7c", "compression", True]]]


# Mode, rate, the decoder's options (the native decode's keyword arguments), noise seed.
LEVEL_CASES = [
    ("audible", 44100, dict(mode="audible"), 1),
    ("nonaudible", 48000, dict(mode="all"), 2),
    ("compression", 44100, dict(mode="compression"), 3),
    ("custom", 48000, dict(preset="phone"), 4),
]


def noisy_transmission(text, mode, rate, seed, **band):
    """A quarter second of noise, the transmission at half scale in the same noise, half a second
    more: float32, the same samples for both decoders."""
    audio = ryxsound.encode(text, mode=mode, sample_rate=rate, **band)
    padded = np.concatenate([np.zeros(rate // 4), 0.5 * audio, np.zeros(rate // 2)])
    noise = np.random.default_rng(seed).normal(0.0, 0.03, padded.size)
    return (padded + noise).astype(np.float32)


def page_decode(driver, samples, options):
    """ryxsound.js's decode in the page: [text, ok, toneToBandDb, levelDbfs] per message."""
    return driver.execute_script(
        "return RyxSound.decode(Float32Array.from(arguments[0]), JSON.parse(arguments[1]))"
        "  .map((m) => [m.text, m.ok, m.toneToBandDb, m.levelDbfs]);",
        samples.tolist(), json.dumps(options))


@pytest.mark.parametrize("receiver", ["robust", "standard"])
@pytest.mark.parametrize("mode,rate,decoder,seed", LEVEL_CASES, ids=[c[0] for c in LEVEL_CASES])
def test_level_figures_in_the_browser_equal_the_native_ones(plain_browser, mode, rate, decoder,
                                                            seed, receiver):
    band = dict(custom_base_hz=600, custom_step=1) if "preset" in decoder else {}
    samples = noisy_transmission("k3v90qa7c", mode, rate, seed, **band)
    native = ryxsound.decode(samples, rate, receiver=receiver, resample=False, **decoder)
    got = page_decode(plain_browser, samples, dict(decoder, sampleRate=rate, receiver=receiver))
    assert [m[:2] for m in got] == [[m.text, m.ok] for m in native] == [["k3v90qa7c", True]]
    for (_, _, tone_to_band_db, level_dbfs), m in zip(got, native):
        assert tone_to_band_db == pytest.approx(m.tone_to_band_db, abs=1e-3)
        assert level_dbfs == pytest.approx(m.level_dbfs, abs=1e-3)


# The device's rate and the rate the page's AudioContext must run at: the plan rate, or 44100 Hz
# where audio at the device's rate cannot hold every plan.
CONTEXT_RATES = [(48000, 48000), (96000, 48000), (88200, 48000), (22050, 44100), (16000, 44100)]


@pytest.mark.parametrize("device,expected", CONTEXT_RATES)
def test_the_page_plays_at_the_plan_rate_of_the_device_rate(plain_browser, page_url, device,
                                                            expected):
    from selenium.webdriver.support.ui import WebDriverWait

    open_page(plain_browser, page_url)
    plain_browser.execute_script(  # contexts open at the device's rate unless told otherwise
        "const [rate, Device] = [arguments[0], window.AudioContext]; window.contexts = [];"
        "window.AudioContext = class extends Device {"
        "  constructor(options) { super(options ?? { sampleRate: rate });"
        "    contexts.push(this); } };", device)
    plain_browser.find_element("id", "play").click()
    WebDriverWait(plain_browser, 10).until(
        lambda d: d.execute_script("return contexts.at(-1)?.state === 'running'"))
    rates = plain_browser.execute_script("return contexts.map((c) => [c.sampleRate, c.state])")
    assert rates[-1] == [expected, "running"] and rates[0][0] == device
    check = plain_browser.find_element("id", "text-check").text
    assert check.startswith("Ready") and f"at {expected} Hz" in check
