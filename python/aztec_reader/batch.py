"""Reading every image under a directory on a Dask cluster.

``python3 -m aztec_reader.batch DIR --out results.jsonl [--scheduler tcp://HOST:8786]`` reads
every PNG, JPEG, BMP and PGM/PPM file under DIR (sub-folders included), one Dask task per chunk of
files, and writes one JSON line per file in sorted path order::

    {"file":"tickets/0001.png","symbols":[{"text":...,"bytesHex":...,...}],"error":null}

Each symbol has the keys of ``aztec-read --json``. A file that cannot be read as an image gives
``"symbols":[]`` and the reason in ``"error"``; the rest go on. Without ``--scheduler`` a local
cluster of one worker process per core is started; with one, every worker needs aztec_reader
installed and DIR at the same path. Tasks lost with a worker are run again by Dask, so each file
still gives exactly one line. On a terminal, Dask's progress bar is shown.
"""

from __future__ import annotations

import argparse
import math
import os
import sys
import threading
import time
from functools import partial
from typing import Any, Iterator, NamedTuple, Optional, Sequence, TextIO, Union

from . import load_image, read
from ._json import batch_line

IMAGE_SUFFIXES = (".png", ".jpg", ".jpeg", ".bmp", ".pgm", ".ppm")
"""File name endings (any case) that ``find_images`` picks."""


class BatchSummary(NamedTuple):
    """What a batch run did."""

    files: int
    """Files read (one output line each)."""
    errors: int
    """Files that could not be read as images."""
    seconds: float
    """Wall time of the reading, cluster start-up excluded."""


def find_images(directory: Union[str, os.PathLike]) -> list[str]:
    """The image files under `directory`, sub-folders included: paths relative to it, with ``/``
    separators, sorted. Raises NotADirectoryError (an OSError) when it is not a directory."""
    root = os.fspath(directory)
    if not os.path.isdir(root):
        raise NotADirectoryError(f"not a directory: {root}")
    found = []
    for folder, _, names in os.walk(root):
        rel = os.path.relpath(folder, root)
        for name in names:
            if name.lower().endswith(IMAGE_SUFFIXES):
                found.append(name if rel == "." else os.path.join(rel, name).replace(os.sep, "/"))
    return sorted(found)


def read_chunk(root: str, files: Sequence[str], options: Optional[dict] = None) -> list[str]:
    """The output lines of `files` (paths relative to `root`), read one after the other: the task
    each worker runs. `options` are keyword arguments of ``aztec_reader.read``."""
    lines = []
    for file in files:
        try:
            symbols = read(load_image(os.path.join(root, file)), **(options or {}))
            lines.append(batch_line(file, symbols, None))
        except Exception as e:  # one unreadable file must not lose the chunk's other results
            lines.append(batch_line(file, [], f"{type(e).__name__}: {e}"))
    return lines


def _chunks(files: Sequence[str], size: int) -> list[list[str]]:
    return [list(files[i : i + size]) for i in range(0, len(files), size)]


def _lines(client: Any, root: str, files: Sequence[str], chunk_size: Optional[int], options: dict, bar: bool) -> Iterator[str]:
    workers = max(1, len(client.scheduler_info().get("workers", {})))
    size = chunk_size or max(1, min(64, math.ceil(len(files) / (4 * workers))))
    futures = client.map(partial(read_chunk, root, options=options), _chunks(files, size))
    shown = None
    if bar:
        from distributed import progress

        # The bar blocks until everything is done, so it runs beside the writing; it holds its
        # own references, since a result released before the bar has seen it would stall it.
        shown = threading.Thread(target=progress, args=(list(futures),), daemon=True)
        shown.start()
    for i, future in enumerate(futures):
        yield from future.result()
        futures[i] = None  # written: the cluster may drop it
        del future
    if shown is not None:
        shown.join()


def read_directory(
    directory: Union[str, os.PathLike],
    out: Union[str, os.PathLike, TextIO],
    *,
    scheduler: Optional[str] = None,
    client: Any = None,
    workers: Optional[int] = None,
    chunk_size: Optional[int] = None,
    progress: Optional[bool] = None,
    **options: Any,
) -> BatchSummary:
    """Reads every image under `directory` on a Dask cluster and writes one JSON line per file to
    `out` (a path or a text file), in ``find_images`` order.

    The cluster is `client` (a ``distributed.Client``), else the scheduler at `scheduler`
    (``"tcp://HOST:8786"``), else a local cluster of `workers` processes (default: one per
    core) started for this run. `chunk_size` files make one task (default: about four tasks per
    worker, at most 64 files a task). `progress` shows Dask's progress bar (default: when
    standard output is a terminal). `options` go to ``aztec_reader.read``.
    """
    root = os.path.abspath(os.fspath(directory))
    files = find_images(root)
    if progress is None:
        progress = sys.stdout.isatty()
    own_file = not hasattr(out, "write")
    sink: TextIO = open(out, "w", encoding="utf-8") if own_file else out  # type: ignore[arg-type]
    errors = 0
    start = time.monotonic()
    try:
        if files:
            with _cluster(client, scheduler, workers) as c:
                start = time.monotonic()
                for line in _lines(c, root, files, chunk_size, options, progress):
                    errors += not line.endswith('"error":null}')
                    sink.write(line + "\n")
    finally:
        if own_file:
            sink.close()
    return BatchSummary(len(files), errors, time.monotonic() - start)


class _cluster:
    """The client to use: the caller's (left open), or one to a scheduler or a new local cluster
    (closed at the end)."""

    def __init__(self, client: Any, scheduler: Optional[str], workers: Optional[int]) -> None:
        self.client, self.scheduler, self.workers = client, scheduler, workers
        self.owned: list = []

    def __enter__(self) -> Any:
        if self.client is not None:
            return self.client
        from distributed import Client, LocalCluster

        if self.scheduler:
            client = Client(self.scheduler)
        else:
            cluster = LocalCluster(
                n_workers=self.workers or os.cpu_count() or 1,
                threads_per_worker=1,
                processes=True,
                dashboard_address=None,
            )
            self.owned.append(cluster)
            client = Client(cluster)
        self.owned.insert(0, client)
        return client

    def __exit__(self, *exc: Any) -> None:
        for thing in self.owned:
            thing.close()


def main(argv: Optional[Sequence[str]] = None) -> int:
    """The ``python3 -m aztec_reader.batch`` command; returns its exit status: 0 every file was
    read as an image, 1 some could not be (see their lines), 2 a usage or cluster error."""
    parser = argparse.ArgumentParser(
        prog="python3 -m aztec_reader.batch",
        description="Reads every image under DIR on a Dask cluster; one JSON line per file.",
    )
    parser.add_argument("directory", metavar="DIR")
    parser.add_argument("--out", required=True, help="output file (JSON lines)")
    parser.add_argument("--scheduler", help="address of a running Dask scheduler, e.g. tcp://HOST:8786")
    parser.add_argument("--workers", type=int, help="local worker processes (default: one per core)")
    parser.add_argument("--chunk-size", type=int, help="files per task")
    parser.add_argument("--no-progress", action="store_true", help="no progress bar")
    args = parser.parse_args(argv)
    try:
        summary = read_directory(
            args.directory,
            args.out,
            scheduler=args.scheduler,
            workers=args.workers,
            chunk_size=args.chunk_size,
            progress=False if args.no_progress else None,
        )
    except OSError as e:
        print(f"aztec_reader.batch: {e}", file=sys.stderr)
        return 2
    rate = summary.files / summary.seconds if summary.seconds > 0 else 0.0
    print(
        f"aztec_reader.batch: {summary.files} files, {summary.errors} unreadable, "
        f"{summary.seconds:.1f} s ({rate:.1f} files/s) -> {args.out}",
        file=sys.stderr,
    )
    return 1 if summary.errors else 0


if __name__ == "__main__":
    sys.exit(main())
