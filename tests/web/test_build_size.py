"""The browser build stays small: what a page downloads before it can send or listen."""
from __future__ import annotations

import pytest

from browser import WEB_BUILD

# Files in build/web and the most bytes they may take together, uncompressed. Measured: 100,500
# bytes of wasm (181,435 before it was built for size, without exceptions, printf and the
# standard library's sorts); the page's whole download about 134,300 (the scripts, page and
# style stripped of comments and indentation). The module's budget was 96 KiB until the robust
# receiver's pair check learned to tell a room's ringing from another plan's leakage (0.15 KB),
# 97 KiB until the word search learned random erasures for weak transmissions (0.9 KB), 98 KiB
# until the pair check learned to move a weak candidate by its data symbols (0.3 KB).
LIMITS = [
    (["ryxsound.wasm"], 99 * 1024),
    (["ryxsound.wasm", "ryxsound.js", "app.js", "capture-worklet.js", "index.html", "style.css"],
     144 * 1024),
]


@pytest.mark.parametrize("names,limit", LIMITS, ids=["module", "page"])
def test_the_web_build_fits_its_size_budget(names, limit):
    missing = [name for name in names if not (WEB_BUILD / name).exists()]
    assert not missing, f"{missing} not in {WEB_BUILD}: run `make web`"
    total = sum((WEB_BUILD / name).stat().st_size for name in names)
    print(f"{' + '.join(names)}: {total} bytes")
    assert total <= limit
