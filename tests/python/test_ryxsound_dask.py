"""examples/dask_decode.py on a local cluster of two worker processes."""

from __future__ import annotations

import importlib.util
import os

import numpy as np
import pytest

import ryxsound

distributed = pytest.importorskip("distributed")
sf = pytest.importorskip("soundfile")

EXAMPLE = os.path.join(os.path.dirname(__file__), "..", "..", "examples", "dask_decode.py")


def _example():
    loader_spec = importlib.util.spec_from_file_location("dask_decode", EXAMPLE)
    assert loader_spec is not None and loader_spec.loader is not None
    module = importlib.util.module_from_spec(loader_spec)
    loader_spec.loader.exec_module(module)
    return module


def test_folder_decoded_on_two_worker_processes(tmp_path):
    texts = [f"folder{k:03d}" for k in range(5)]
    for k, text in enumerate(texts):
        audio = np.concatenate([np.zeros(4410, np.float32), ryxsound.encode(text),
                                np.zeros(4410 * k, np.float32)])
        sf.write(str(tmp_path / f"{k}.wav"), audio, 44100, subtype="PCM_16")
    (tmp_path / "notes.txt").write_text("not a recording")
    example = _example()
    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                                  dashboard_address=None) as cluster, \
            distributed.Client(cluster) as client:
        results = example.decode_folder(client, str(tmp_path), mode="audible", batch=2)
        workers = len(client.scheduler_info()["workers"])
    assert workers == 2
    assert list(results) == [str(tmp_path / f"{k}.wav") for k in range(5)]
    assert [[m["text"] for m in found] for found in results.values()] == [[t] for t in texts]
    assert all(m["ok"] for found in results.values() for m in found)
