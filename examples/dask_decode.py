"""Decode a folder of recordings on a Dask cluster, one batch of files per task.

Every worker decodes its batch with ryxsound.decode_files (threads, the GIL released), so a
worker process with several threads keeps as many cores busy. The same code runs on a local
cluster (the default) and on a real one: pass the scheduler's address.

    pip install 'ryxsound[dask]'
    python examples/dask_decode.py recordings/                       # a local cluster
    python examples/dask_decode.py recordings/ --scheduler tcp://host:8786 --mode audible
"""

from __future__ import annotations

import argparse
import glob
import os
import sys
from typing import Any, Optional

import ryxsound


def decode_batch(paths: list[str], mode: Optional[str], threads: int) -> list[list[dict[str, Any]]]:
    """Runs on a worker: the messages of each file, as plain dictionaries."""
    found = ryxsound.decode_files(paths, mode=mode, workers=threads, progress=False)
    return [[{"text": m.text, "ok": m.ok, "mode": m.mode, "start": m.start,
              "confidence": m.confidence} for m in messages] for messages in found]


def decode_folder(client: Any, folder: str, *, mode: Optional[str] = None,
                  pattern: str = "*.wav", batch: int = 8,
                  threads: int = 1) -> dict[str, list[dict[str, Any]]]:
    """The messages of every file in ``folder`` matching ``pattern``, by path, in sorted order.

    ``client`` is a dask.distributed Client; files go to the workers ``batch`` at a time, each
    decoded with ``threads`` threads on its worker.
    """
    paths = sorted(glob.glob(os.path.join(folder, pattern)))
    batches = [paths[i:i + batch] for i in range(0, len(paths), batch)]
    futures = client.map(decode_batch, batches, mode=mode, threads=threads, pure=False)
    results: dict[str, list[dict[str, Any]]] = {}
    for names, found in zip(batches, client.gather(futures)):
        results.update(zip(names, found))
    return results


def main(argv: Optional[list[str]] = None) -> int:
    from dask.distributed import Client, LocalCluster

    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("folder")
    parser.add_argument("--scheduler", help="address of a running scheduler (default: start a "
                                            "local cluster with one worker per core)")
    parser.add_argument("--mode", default=None, help="mode to listen for (default: all)")
    parser.add_argument("--pattern", default="*.wav")
    parser.add_argument("--batch", type=int, default=8, help="files per task (default 8)")
    args = parser.parse_args(argv)

    if args.scheduler:
        client = Client(args.scheduler)
    else:
        client = Client(LocalCluster(n_workers=os.cpu_count() or 1, threads_per_worker=1))
    with client:
        results = decode_folder(client, args.folder, mode=args.mode, pattern=args.pattern,
                                batch=args.batch)
    for path, messages in results.items():
        for m in messages:
            print(f"{path}: {m['text']} {'ok' if m['ok'] else 'BAD'} {m['mode']} "
                  f"confidence {m['confidence']:.2f}")
    return 0 if any(m["ok"] for found in results.values() for m in found) else 1


if __name__ == "__main__":
    sys.exit(main())
