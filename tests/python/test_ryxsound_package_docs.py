"""What a new user reads before the code: the README's examples, the licence and the package
metadata."""

import os
import re
import sys

import pytest

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")


def read(name: str) -> str:
    with open(os.path.join(ROOT, name), encoding="utf-8") as fh:
        return fh.read()


def test_readme_python_examples_keep_what_flush_returns():
    blocks = re.findall(r"```python\n(.*?)```", read("README.md"), re.S)
    assert blocks
    for block in blocks:
        for line in block.splitlines():
            assert not re.fullmatch(r"\s*\w+\.flush\(\)\s*(#.*)?", line), line


def test_readme_quotes_every_extra_for_the_shell():
    installs = re.findall(r"pip install (\S+)", read("README.md"))
    extras = [arg for arg in installs if "[" in arg]
    assert extras and all(arg.startswith("'") and arg.endswith("'") for arg in extras)


def test_licence_and_metadata():
    assert read("LICENSE").startswith("MIT License\n\nCopyright (c) 2026 The RyxSound developers")
    if sys.version_info < (3, 11):
        pytest.skip("tomllib needs Python 3.11")
    import tomllib

    project = tomllib.loads(read("pyproject.toml"))["project"]
    assert project["license"] == {"text": "MIT"} and project["description"]
    assert "License :: OSI Approved :: MIT License" in project["classifiers"]
    assert "urls" not in project  # there are none to give
    assert any(dep.startswith("av") for dep in project["optional-dependencies"]["media"])
    assert any(dep.startswith("soxr") for dep in project["dependencies"])
