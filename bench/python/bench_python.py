"""Python package figures (run with the interpreter that has aztec_reader installed):

1. what the binding adds to the C++ read of a 640 x 480 frame: aztec_reader.read(frame) against
   the same reads timed inside the extension (medians of interleaved rounds);
2. reads per second of 1 and 4 threads sharing one frame (the GIL is released while reading);
3. Dask throughput: files per second of read_directory on a local cluster of 2 worker processes
   against the serial loop over the same files.

usage: python3 bench/python/bench_python.py [--files N] [--skip-dask]
"""

import argparse
import os
import shutil
import statistics
import tempfile
import time
from concurrent.futures import ThreadPoolExecutor
from pathlib import Path

import numpy as np

import aztec_reader
from aztec_reader import _core
from aztec_reader.batch import find_images, read_chunk, read_directory

SAMPLES = Path(__file__).resolve().parents[2] / "samples"


def vga(name):
    """A sample (480 x 360) in the middle of a 640 x 480 frame, its edges continued."""
    gray = aztec_reader.load_image(SAMPLES / name)
    dy, dx = 480 - gray.shape[0], 640 - gray.shape[1]
    return np.pad(gray, ((dy // 2, dy - dy // 2), (dx // 2, dx - dx // 2)), mode="edge")


def overhead(label, frame, expect, rounds=7):
    assert len(aztec_reader.read(frame)) == expect, label
    per_call = _core.time_reads(frame, 20) / 20
    n = max(20, int(0.3 / per_call))
    cpp, py = [], []
    for _ in range(rounds):
        cpp.append(_core.time_reads(frame, n) / n)
        start = time.perf_counter()
        for _ in range(n):
            aztec_reader.read(frame)
        py.append((time.perf_counter() - start) / n)
    c, p = statistics.median(cpp), statistics.median(py)
    print(f"{label:38s} C++ {c * 1e6:8.1f} us  Python {p * 1e6:8.1f} us  binding {(p - c) * 1e6:6.1f} us = {100 * (p - c) / c:5.1f}%")


def threads(frame, seconds=2.0):
    for count in (1, 4):
        done = [0] * count

        def work(i, stop):
            while time.perf_counter() < stop:
                aztec_reader.read(frame)
                done[i] += 1

        stop = time.perf_counter() + seconds
        with ThreadPoolExecutor(count) as pool:
            list(pool.map(work, range(count), [stop] * count))
        print(f"{count} thread(s): {sum(done) / seconds:8.0f} reads/s")


def dask_throughput(files):
    work = Path(tempfile.mkdtemp())
    try:
        samples = sorted(SAMPLES.glob("*.png"))
        for i in range(files):
            shutil.copy(samples[i % len(samples)], work / f"{i:05d}.png")
        names = find_images(work)
        start = time.perf_counter()
        serial = read_chunk(str(work), names)
        serial_s = time.perf_counter() - start
        out = work / "results.jsonl"
        start = time.perf_counter()
        summary = read_directory(work, out, workers=2, progress=False)
        total_s = time.perf_counter() - start
        assert out.read_text().splitlines() == serial
        print(f"serial loop:               {files / serial_s:7.1f} files/s ({files} files, {serial_s:.2f} s)")
        print(f"Dask, 2 local workers:     {files / summary.seconds:7.1f} files/s reading "
              f"({summary.seconds:.2f} s), {files / total_s:.1f} files/s with cluster start-up ({total_s:.2f} s)")
    finally:
        shutil.rmtree(work)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--files", type=int, default=400)
    parser.add_argument("--skip-dask", action="store_true")
    args = parser.parse_args()
    print(f"cores: {os.cpu_count()}")
    ticket = vga("compact-ticket.png")
    overhead("640x480, compact 2 layers", ticket, 1)
    overhead("640x480, full-range 6 layers", vga("full-range-boarding.png"), 1)
    overhead("640x480, no symbol (uniform)", np.full((480, 640), 128, np.uint8), 0)
    overhead("640x480, no symbol (noise)", np.random.default_rng(1).integers(0, 256, (480, 640), dtype=np.uint8), 0)
    threads(ticket)
    if not args.skip_dask:
        dask_throughput(args.files)


if __name__ == "__main__":
    main()
