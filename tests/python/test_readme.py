"""The Python snippets of the README's "Python" section run as they are written (in a folder that
has the samples), and print what they should. The OpenCV one reads a video file made here in
place of the camera."""

import importlib.util
import os
import re
import subprocess
import sys

import pytest

from conftest import REPO, SAMPLES


def snippets():
    readme = (REPO / "README.md").read_text(encoding="utf-8")
    section = readme.split("\n## Python\n", 1)[1].split("\n## ", 1)[0]
    return re.findall(r"```python\n(.*?)```", section, re.S)


# What each snippet, in README order, must print.
EXPECTED = [
    ["TKT 4471-0923 ZONE B SEAT 14C compact 2 [[", "b'TKT 4471-0923 ZONE B SEAT 14C'",
     "[Symbol(text='Mirror image, turned 90°: Ærøskøbing 5970'", "Read data (C 0' L: 2"],
    ["TKT 4471-0923 ZONE B SEAT 14C\n" * 3],
    ["4 files, 0 unreadable,"],
]


def test_the_section_has_the_three_snippets():
    assert len(snippets()) == len(EXPECTED)


@pytest.mark.parametrize("index", range(len(EXPECTED)))
def test_snippet_runs_and_prints_what_it_should(index, tmp_path, frames):
    code = snippets()[index]
    os.symlink(SAMPLES, tmp_path / "samples")
    if "cv2.VideoCapture(0)" in code:
        if importlib.util.find_spec("cv2") is None:
            pytest.skip("python3-opencv is not installed: the VideoCapture snippet cannot run")
        import cv2

        frame = cv2.cvtColor(frames["compact-ticket.png"], cv2.COLOR_GRAY2BGR)
        video = cv2.VideoWriter(str(tmp_path / "ticket.avi"), cv2.VideoWriter_fourcc(*"MJPG"), 5, frame.shape[1::-1])
        for _ in range(3):
            video.write(frame)
        video.release()
        code = code.replace("cv2.VideoCapture(0)", 'cv2.VideoCapture("ticket.avi")')
    run = subprocess.run([sys.executable, "-c", code], cwd=tmp_path, capture_output=True, text=True, timeout=300)
    assert run.returncode == 0, run.stderr
    for text in EXPECTED[index]:
        assert text in run.stdout, run.stdout
