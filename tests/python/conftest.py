"""Shared data of the Python package tests: the bundled samples and what each one holds."""

import os
from pathlib import Path

import pytest

REPO = Path(__file__).resolve().parents[2]
SAMPLES = REPO / "samples"


def expected_texts():
    """{file name: message} from samples/expected-output.txt (bytes shown as Latin-1 characters)."""
    lines = (SAMPLES / "expected-output.txt").read_text(encoding="utf-8").splitlines()
    return {Path(name).name: text for name, text in (line.split(": ", 1) for line in lines)}


@pytest.fixture(scope="session")
def expected():
    return expected_texts()


@pytest.fixture(scope="session")
def frames():
    """{file name: 2-D uint8 luminance array} of every sample."""
    import aztec_reader

    return {name: aztec_reader.load_image(SAMPLES / name) for name in expected_texts()}


@pytest.fixture(scope="session")
def aztec_read():
    """The command-line tool to compare with (AZTEC_READ, set by scripts/test-python.sh)."""
    path = os.environ.get("AZTEC_READ")
    if not path:
        pytest.skip("AZTEC_READ is not set: no aztec-read binary to compare with")
    assert os.access(path, os.X_OK), f"AZTEC_READ={path} is not an executable"
    return path
