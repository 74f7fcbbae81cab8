"""The browser build stays small: what a page downloads before it can send or listen, counted as a
server that compresses sends it (gzip, file by file)."""
from __future__ import annotations

import pytest

from browser import PAGE_FILES, WEB_BUILD, gzipped_size

# Files in build/web and the most gzipped bytes they may take together (today's figures are in
# docs/benchmarks.md: about 51 KiB and 63 KiB).
LIMITS = [
    (["ryxsound.wasm"], 64 * 1024),
    (PAGE_FILES, 96 * 1024),
]


@pytest.mark.parametrize("names,limit", LIMITS, ids=["module", "page"])
def test_the_web_build_fits_its_size_budget(names, limit):
    missing = [name for name in names if not (WEB_BUILD / name).exists()]
    assert not missing, f"{missing} not in {WEB_BUILD}: run `make web`"
    raw = sum((WEB_BUILD / name).stat().st_size for name in names)
    gzipped = sum(gzipped_size(WEB_BUILD / name) for name in names)
    print(f"{' + '.join(names)}: {raw} bytes, {gzipped} gzipped")
    assert gzipped <= limit
