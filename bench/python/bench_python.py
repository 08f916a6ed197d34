"""Python package figures (run with the interpreter that has aztec_reader installed):

1. what the binding adds to the C++ read of a 640 x 480 frame: aztec_reader.read(frame) against
   the same reads timed inside the extension (thread CPU time, least of interleaved rounds), and
   the binding's fixed cost per call and per symbol as a share of the C++ read;
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


def per_call(fn, n=20000):
    start = time.thread_time()
    for _ in range(n):
        fn()
    return (time.thread_time() - start) / n


def fixed_cost():
    """What a call costs beyond the C++ read: a frame too small to hold a symbol (the C++ read
    returns at once) and one symbol's result object, least of 5 rounds."""
    tiny = np.zeros((8, 8), np.uint8)
    call = min(per_call(lambda: aztec_reader.read(tiny)) - _core.time_reads(tiny, 20000) / 20000 for _ in range(5))
    result = _core.read(vga("full-range-boarding.png"), (0, 1, 2), None, True, True, 16)[0]
    symbol = min(per_call(lambda: aztec_reader._symbol(result)) for _ in range(5))
    print(f"binding cost: {call * 1e6:.1f} us a call + {symbol * 1e6:.1f} us a symbol")
    return call, symbol


def overhead(label, frame, expect, cost, rounds=15):
    """aztec_reader.read against the C++ read of one frame, least of interleaved rounds (the
    machine is shared): C++ reads back to back in one call, and one C++ read per call from
    Python (what the binding wraps: same caches, same call pattern); then the binding's fixed
    cost as a share of the C++ read."""
    assert len(aztec_reader.read(frame)) == expect, label
    n = max(10, int(0.1 / (_core.time_reads(frame, 10) / 10)))
    loop, single, py = [], [], []
    for _ in range(rounds):
        loop.append(_core.time_reads(frame, n) / n)
        single.append(per_call(lambda: _core.time_reads(frame, 1), n))
        py.append(per_call(lambda: aztec_reader.read(frame), n))
    c, one, p = min(loop), min(single), min(py)
    share = cost[0] + expect * cost[1]
    print(
        f"{label:30s} C++ {c * 1e6:7.1f} us back to back, {one * 1e6:7.1f} us one a call;"
        f" Python {p * 1e6:7.1f} us ({100 * (p - c) / c:+5.1f}%, {100 * (p - one) / one:+5.1f}%);"
        f" fixed cost {100 * share / c:4.1f}%"
    )


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
    cost = fixed_cost()
    overhead("640x480, compact 2 layers", ticket, 1, cost)
    overhead("640x480, full-range 6 layers", vga("full-range-boarding.png"), 1, cost)
    overhead("640x480, no symbol (uniform)", np.full((480, 640), 128, np.uint8), 0, cost)
    overhead("640x480, no symbol (noise)", np.random.default_rng(1).integers(0, 256, (480, 640), dtype=np.uint8), 0, cost)
    threads(ticket)
    if not args.skip_dask:
        dask_throughput(args.files)


if __name__ == "__main__":
    main()
