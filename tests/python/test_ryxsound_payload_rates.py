"""Payloads at every rate of the rate table: what send writes at a rate, receive reads back at that
rate, in the library and in both tools. The rule asks the payloads' own band, not the text plan's:
audible payloads sound at 1.2..5.9 kHz, so 16000 Hz audio holds them though not the text plan."""

from __future__ import annotations

import re

import numpy as np
import pytest

import ryxsound
from test_ryxsound_cli_both_tools import TOOLS, run
from test_ryxsound_rates import PLANS, RATES

sf = pytest.importorskip("soundfile")

#: Plan -> the lowest of RATES whose audio holds its payloads below 0.45 of the rate (audible to
#: 5.9 kHz, phone to 2.2 kHz, custom to 13.6 kHz; compression and non-audible at 44100 Hz and up).
PAYLOAD_LOWEST = {"audible": 16000, "nonaudible": 44100, "compression": 44100, "custom": 32000,
                  "phone": 8000}
#: The plan a payload's refusal names.
PLAN_NAMED = {"phone": "custom"}
DATA = bytes(range(7, 47))  # one data frame and one parity frame


def _refusal(plan: str, rate: int, profile: str = "") -> str:
    """What a refusal at ``rate`` says (a regular expression)."""
    named, who = PLAN_NAMED.get(plan, plan), profile or ".*"
    return f"audio at {rate} Hz holds up to .*, {who} payloads in the {named} plan reach"


@pytest.mark.parametrize("rate", RATES)
@pytest.mark.parametrize("plan", PLANS)
def test_payloads_in_both_profiles_round_trip_at_every_rate_that_holds_them(plan, rate):
    kwargs, _ = PLANS[plan]
    if rate < PAYLOAD_LOWEST[plan]:
        for profile in ryxsound.PROFILES:
            with pytest.raises(ValueError, match=_refusal(plan, rate)):
                ryxsound.encode_payload(DATA, profile=profile, sample_rate=rate, **kwargs)
        with pytest.raises(ValueError, match=_refusal(plan, rate)):
            ryxsound.PayloadDecoder(rate, **kwargs)
        return
    gap = np.zeros(rate // 4, dtype=np.float32)
    audio = np.concatenate([gap] + [
        part for profile in ryxsound.PROFILES
        for part in (ryxsound.encode_payload(DATA, profile=profile, sample_rate=rate, **kwargs),
                     gap)])
    found = ryxsound.decode_payloads(audio, rate, **kwargs)
    assert [(p.profile, p.data, p.ok) for p in found] == [
        (profile, DATA, True) for profile in ryxsound.PROFILES]


@pytest.mark.parametrize("tool", TOOLS)
@pytest.mark.parametrize("rate", RATES)
@pytest.mark.parametrize("plan", ["audible", "phone"])
def test_both_tools_send_and_receive_payloads_at_every_rate(tmp_path, tool, plan, rate):
    kwargs, _ = PLANS[plan]
    option = ["--preset", "phone"] if "preset" in kwargs else ["--mode", kwargs["mode"]]
    (tmp_path / "f.bin").write_bytes(DATA)
    for profile in ryxsound.PROFILES:
        sent = run(tool, "send", "f.bin", "-o", f"{profile}.wav", "--rate", str(rate),
                   "--profile", profile, *option, cwd=tmp_path)
        if rate < PAYLOAD_LOWEST[plan]:
            assert sent.returncode == 2 and re.search(_refusal(plan, rate, profile), sent.stderr)
            continue
        assert sent.returncode == 0, sent.stderr
        assert sf.info(str(tmp_path / f"{profile}.wav")).samplerate == rate
        got = run(tool, "receive", f"{profile}.wav", "-o", "out", *option, cwd=tmp_path)
        assert got.returncode == 0, got.stderr
        assert f" {profile} " in got.stdout and " ok " in got.stdout
        assert (tmp_path / "out" / f"{profile}-1.bin").read_bytes() == DATA
