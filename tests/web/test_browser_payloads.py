"""The page's Payload tab and its payload listening in a real headless Chromium, and the listening
in WebKitGTK (Safari's engine) too.

The microphone plays a WAV file of a payload written by the WebAssembly encoder under Node:
Chromium's fake capture device, or for WebKit a private PulseAudio server. The page must count the
payload's frames as they arrive and then show its text. The Payload tab's Play must send the typed
text or the chosen file, and refuse a file too large with the core's message. Skipped only when a
browser cannot start.
"""
from __future__ import annotations

import pytest

from browser import (BrowserUnavailable, chromium, open_page, payload_microphone, run_in_browser,
                     served, start_listening, webkit)

TEXT = "Frames over the air: 83 bytes, with a ü and line\nbreaks, sent in the fast profile."


@pytest.fixture(scope="module")
def page_url():
    with served() as url:
        yield url


# Watches #arriving and keeps every progress line it shows (window.arrivingSeen).
ARRIVING_RECORDER = """
window.arrivingSeen = [];
new MutationObserver(() => {
    const text = document.getElementById('arriving').textContent;
    if (text) arrivingSeen.push(text);
}).observe(document.getElementById('arriving'), { childList: true, subtree: true });
"""


def wait_for_payload(driver, text, seconds):
    """The item of #payloads that shows `text`, found by the page in one step: reading each item's
    text through the driver while the page still writes it can fail in WebKit's driver ("Could
    not parse element text")."""
    from selenium.webdriver.support.ui import WebDriverWait

    find = ("return [...document.querySelectorAll('#payloads > li')]"
            ".find((li) => li.innerText.includes(arguments[0])) || null;")
    return WebDriverWait(driver, seconds).until(
        lambda d: d.execute_script(find, text),
        message=f"no payload in #payloads; status: {driver.find_element('id', 'status').text}")


@pytest.mark.parametrize("browser", [chromium, webkit], ids=["chromium", "webkit"])
def test_listen_shows_the_frames_arriving_then_the_payload(browser, tmp_path, page_url):
    """The page listening to a microphone that plays TEXT, sent fast in the audible plan at
    48000 Hz."""
    from selenium.webdriver.support.select import Select

    wav = payload_microphone(tmp_path / "payload.wav", TEXT,
                             dict(profile="fast", mode="audible", sampleRate=48000))

    def listen(driver):
        open_page(driver, page_url)
        Select(driver.find_element("id", "plan")).select_by_value("audible")
        driver.execute_script(ARRIVING_RECORDER)
        start_listening(driver)
        item = wait_for_payload(driver, TEXT.splitlines()[0], 40)
        assert item.find_element("css selector", "pre").text == TEXT
        assert item.get_attribute("class") == "ok"
        size = len(TEXT.encode())
        seen = driver.execute_script("return arrivingSeen")
        assert f"Receiving {size} bytes (fast, audible): 1 of 2 frames needed, 3 sent" in seen, seen
        saved = driver.execute_async_script(
            "const a = document.querySelector('#payloads a');"
            "const done = arguments[arguments.length - 1];"
            "fetch(a.href).then((r) => r.text()).then((t) => done([a.download, t]));")
        assert saved == ["payload.txt", TEXT]

    try:
        run_in_browser(browser, wav, listen)
    except BrowserUnavailable as exc:
        pytest.skip(str(exc))


@pytest.fixture(scope="module")
def plain_browser(page_url):
    try:
        with chromium() as driver:
            open_page(driver, page_url)
            yield driver
    except BrowserUnavailable as exc:
        pytest.skip(str(exc))


# Decodes every buffer the page plays: window.played holds [ok, data bytes, text, profile, mode].
PLAY_RECORDER = """
window.played = [];
const start = AudioBufferSourceNode.prototype.start;
AudioBufferSourceNode.prototype.start = function (...args) {
    const b = this.buffer;
    played.push(...RyxSound.decodePayloads(b.getChannelData(0),
        { mode: 'all', sampleRate: b.sampleRate })
        .map((p) => [p.ok, Array.from(p.data), p.text, p.profile, p.mode]));
    return start.apply(this, args);
};
"""


def test_the_payload_tab_plays_the_text_and_the_chosen_file(plain_browser, tmp_path):
    from selenium.webdriver.support.select import Select
    from selenium.webdriver.support.ui import WebDriverWait

    driver = plain_browser
    driver.execute_script(PLAY_RECORDER)
    driver.find_element("id", "tab-payload").click()
    assert driver.find_element("id", "payload-panel").is_displayed()
    assert not driver.find_element("id", "text-panel").is_displayed()
    Select(driver.find_element("id", "profile")).select_by_value("fast")
    Select(driver.find_element("id", "plan")).select_by_value("compression")
    box = driver.find_element("id", "payload-text")
    box.clear()
    box.send_keys("short note")
    check = driver.find_element("id", "payload-check")
    assert check.text.startswith("Ready: 10 bytes in 2 frames (any 1 will do)"), check.text
    driver.find_element("id", "payload-play").click()
    WebDriverWait(driver, 20).until(lambda d: d.execute_script("return played.length"))
    assert driver.execute_script("return played") == [
        [True, list(b"short note"), "short note", "fast", "compression"]]

    binary = bytes(range(256)) * 2
    (tmp_path / "table.bin").write_bytes(binary)
    driver.find_element("id", "payload-file").send_keys(str(tmp_path / "table.bin"))
    WebDriverWait(driver, 10).until(lambda d: "table.bin, 512 bytes" in check.text)
    driver.find_element("id", "payload-play").click()
    WebDriverWait(driver, 30).until(lambda d: d.execute_script("return played.length") == 2)
    assert driver.execute_script("return played[1]") == [
        True, list(binary), None, "fast", "compression"]


def test_a_file_too_large_is_refused_with_the_cores_message(plain_browser, tmp_path):
    from selenium.webdriver.support.ui import WebDriverWait

    driver = plain_browser
    driver.find_element("id", "tab-payload").click()
    big = tmp_path / "big.bin"
    big.write_bytes(b"x" * 5000)
    box = driver.find_element("id", "payload-text")
    box.clear()
    box.send_keys("kept")
    driver.find_element("id", "payload-file").send_keys(str(big))
    check = driver.find_element("id", "payload-check")
    WebDriverWait(driver, 10).until(lambda d: "big.bin" in check.text)
    assert check.text == "big.bin: payload of 5000 bytes: a payload holds 1 to 4096 bytes"
    assert not driver.find_element("id", "payload-play").is_enabled()
    assert box.get_attribute("value") == "kept"
