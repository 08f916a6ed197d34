"""Batch reading on Dask: a local cluster of 2 worker processes gives the serial results, in
input order, also when a worker process is killed in the middle of the run."""

import collections
import io
import json
import os
import shutil
import signal
import subprocess
import sys

import pytest
from distributed import Client, LocalCluster

from aztec_reader.batch import find_images, read_chunk, read_directory
from conftest import SAMPLES


@pytest.fixture(scope="module")
def tree(tmp_path_factory):
    """24 sample copies in three folders, a file that is not an image, and one that is ignored."""
    root = tmp_path_factory.mktemp("frames")
    samples = sorted(SAMPLES.glob("*.png"))
    for folder in ("a", "b/c", "d"):
        (root / folder).mkdir(parents=True)
        for i, sample in enumerate(samples * 2):
            shutil.copy(sample, root / folder / f"{i:02d}-{sample.name}")
    (root / "b" / "broken.PNG").write_bytes(b"\x89PNG\r\n\x1a\nnot really")
    (root / "notes.txt").write_text("not a frame")
    return root


def test_find_images_and_the_serial_lines(tree):
    files = find_images(tree)
    assert len(files) == 25 and files == sorted(files) and "b/broken.PNG" in files
    lines = [json.loads(line) for line in read_chunk(str(tree), files)]
    assert [line["file"] for line in lines] == files
    broken = lines[files.index("b/broken.PNG")]
    assert broken["symbols"] == [] and "not a readable image" in broken["error"]
    assert all(len(line["symbols"]) == 1 and line["error"] is None for line in lines if line is not broken)


def test_two_worker_processes_give_the_serial_results_even_when_one_is_killed(tree, capsys):
    serial = read_chunk(str(tree), find_images(tree))
    with LocalCluster(n_workers=2, threads_per_worker=1, processes=True, dashboard_address=None) as cluster, Client(cluster) as client:
        out = io.StringIO()
        summary = read_directory(tree, out, client=client, chunk_size=3, progress=True)
        assert out.getvalue().splitlines() == serial
        assert (summary.files, summary.errors) == (25, 1)
        assert "100% Completed" in capsys.readouterr().out  # Dask's progress bar

        killed = []

        class KillAtFirstLine(io.StringIO):
            # Once the first result is in, the worker holding the most unwritten results and
            # running tasks is killed: all of them must be computed again on the other one.
            def write(self, text):
                if not self.tell():
                    held = [w for ws in client.who_has().values() for w in ws]
                    held += [w for w, keys in client.processing().items() for _ in keys]
                    worker, count = collections.Counter(held).most_common(1)[0]
                    assert count >= 2  # the first result and more
                    killed.append(client.run(os.getpid, workers=[worker])[worker])
                    os.kill(killed[0], signal.SIGKILL)
                return super().write(text)

        out = KillAtFirstLine()
        read_directory(tree, out, client=client, chunk_size=1)
        assert out.getvalue().splitlines() == serial and len(killed) == 1
        client.wait_for_workers(2, timeout=60)
        assert killed[0] not in client.run(os.getpid).values()


def test_batch_command_writes_the_lines_and_reports_the_unreadable_file(tree, tmp_path):
    out = tmp_path / "results.jsonl"
    run = subprocess.run(
        [sys.executable, "-m", "aztec_reader.batch", str(tree), "--out", str(out), "--workers", "2"],
        capture_output=True, text=True, timeout=300,
    )
    assert run.returncode == 1, run.stderr  # one file could not be read
    assert "25 files, 1 unreadable" in run.stderr
    assert out.read_text().splitlines() == read_chunk(str(tree), find_images(tree))
    missing = subprocess.run([sys.executable, "-m", "aztec_reader.batch", str(tmp_path / "nope"), "--out", str(out)], capture_output=True, text=True)
    assert missing.returncode == 2 and "not a directory" in missing.stderr
