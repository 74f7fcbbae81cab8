"""The browser build stays small: what a page downloads before it can send or listen."""
from __future__ import annotations

import pytest

from browser import WEB_BUILD

# Files (glob in build/web) and the most bytes they may take together, uncompressed.
# With payloads: 180,058 bytes of wasm and 44,148 of JavaScript (151,317 and 30,709 before them).
LIMITS = [
    ("ryxsound.wasm", 178 * 1024),
    ("*.js", 45 * 1024),
]


@pytest.mark.parametrize("pattern,limit", LIMITS)
def test_the_web_build_fits_its_size_budget(pattern, limit):
    files = sorted(WEB_BUILD.glob(pattern))
    assert files, f"nothing matches {pattern} in {WEB_BUILD}: run `make web`"
    total = sum(f.stat().st_size for f in files)
    print(f"{pattern}: {total} bytes ({', '.join(f.name for f in files)})")
    assert total <= limit
