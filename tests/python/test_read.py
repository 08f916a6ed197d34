"""aztec_reader.read and friends: the frame forms it takes, the samples as the CLI reads them,
threads, and the errors bad input gives."""

import ast
import inspect
import io
import subprocess
import sys
import tracemalloc
from concurrent.futures import ThreadPoolExecutor
from pathlib import Path

import numpy as np
import pytest
from PIL import Image

import aztec_reader
import aztec_reader.batch
from conftest import SAMPLES

TICKET = "compact-ticket.png"
MIRRORED = "rotated-mirrored.png"


def texts(symbols):
    return [s.bytes.decode("latin-1") for s in symbols]


def test_samples_give_the_cli_bytes_and_metadata(frames, expected):
    for name, text in expected.items():
        symbols = aztec_reader.read_file(SAMPLES / name)
        assert texts(symbols) == [text], name
        assert aztec_reader.read(frames[name]) == symbols
        exact = aztec_reader.decode_exact(frames[name])
        assert (exact.status, exact.text, exact.bytes) == (aztec_reader.DecodeStatus.DATA_READ, text, symbols[0].bytes)
    s = aztec_reader.read(frames[MIRRORED])[0]
    assert (s.format, s.layers, s.rotation, s.mirrored, s.inverted, s.gs1) == ("compact", 3, 3, True, False, False)
    assert s.text == "Mirror image, turned 90°: Ærøskøbing 5970" and s.corners.shape == (4, 2)
    assert repr(s).startswith("Symbol(text='Mirror image, turned 90°: Ærøskøbing 5970', format='compact', layers=3")
    with pytest.raises(AttributeError):
        s.text = "changed"
    with pytest.raises(ValueError):
        s.corners[0, 0] = 1.0


def test_python_m_prints_the_cli_json_lines(aztec_read, tmp_path):
    blank = tmp_path / "blank.png"
    Image.new("L", (64, 48), 200).save(blank)
    junk = tmp_path / "junk.png"
    junk.write_bytes(b"not an image")
    files = [str(p) for p in sorted(SAMPLES.glob("*.png"))] + [str(blank), str(junk), str(tmp_path / "missing.png")]
    cli = subprocess.run([aztec_read, "--json", *files], capture_output=True, text=True)
    py = subprocess.run([sys.executable, "-m", "aztec_reader", *files], capture_output=True, text=True)
    assert py.stdout == cli.stdout and py.stdout.count("\n") == 5
    assert py.returncode == cli.returncode == 2
    assert py.stderr.replace("aztec_reader:", "aztec-read:") == cli.stderr


def test_strided_sliced_and_transposed_arrays_read_like_their_contiguous_copy(frames):
    gray = frames[TICKET]
    want = aztec_reader.read(gray)
    assert len(want) == 1
    h, w = gray.shape
    canvas = np.random.default_rng(7).integers(0, 256, (h + 40, w + 60), dtype=np.uint8)
    wide, tall = np.zeros((h, w * 3), np.uint8), np.zeros((h * 2, w), np.uint8)
    canvas[17 : 17 + h, 23 : 23 + w] = wide[:, 1::3] = tall[::2] = gray
    for view in (canvas[17 : 17 + h, 23 : 23 + w], wide[:, 1::3], tall[::2]):
        assert aztec_reader.read(view) == want
    for view in (gray.T, gray[::-1], gray[:, ::-1], np.asfortranarray(gray)):
        assert not view.flags.c_contiguous or view.base is not None
        assert aztec_reader.read(view) == aztec_reader.read(np.ascontiguousarray(view))
    assert aztec_reader.read(np.ascontiguousarray(gray[::-1])) != want  # the views above differ
    assert texts(aztec_reader.read(gray.T)) == texts(want)  # a transpose is a mirror image


def test_a_slice_with_contiguous_rows_is_not_copied():
    frame = np.full((2000, 2400), 230, np.uint8)
    tracemalloc.start()
    try:
        for view, copied in ((frame[100:1900, 50:2350], False), (frame.T, True)):
            tracemalloc.reset_peak()
            base = tracemalloc.get_traced_memory()[0]
            aztec_reader.read(view)
            grew = tracemalloc.get_traced_memory()[1] - base
            assert (grew > view.size) == copied, (view.shape, grew)
    finally:
        tracemalloc.stop()


def test_colour_arrays_pillow_images_and_buffers_use_the_cli_weights(frames):
    gray = frames[TICKET].astype(np.int32)
    rng = np.random.default_rng(3)
    rgb = np.clip(gray[..., None] + rng.integers(-60, 61, gray.shape + (3,)), 0, 255).astype(np.uint8)
    r, g, b = (rgb[..., i].astype(np.int32) for i in range(3))
    luma = ((77 * r + 150 * g + 29 * b) >> 8).astype(np.uint8)
    want = aztec_reader.read(luma)
    assert texts(want) == ["TKT 4471-0923 ZONE B SEAT 14C"]
    rgba = np.dstack([rgb, rng.integers(0, 256, gray.shape, dtype=np.uint8)])
    bgr = np.ascontiguousarray(rgb[..., ::-1])

    class Frame(bytearray):  # a camera buffer with its size
        def __init__(self, data, width, height):
            super().__init__(data)
            self.width, self.height = width, height

    h, w = luma.shape
    for image, order in ((rgb, None), (rgba, None), (rgba, "RGBA"), (rgba[..., [3, 2, 1, 0]], "ABGR"), (bgr, "BGR"),
                         (rgb[..., ::-1], "BGR"), (Image.fromarray(rgb), None), (Image.fromarray(rgba), None),
                         (Image.fromarray(luma), None), (Frame(luma.tobytes(), w, h), None), (Frame(bgr.tobytes(), w, h), "BGR")):
        assert aztec_reader.read(image, **({"channel_order": order} if order else {})) == want, (type(image), order)
    assert aztec_reader.read(rgb, channel_order="BGR") != want  # the order matters
    with pytest.raises(ValueError, match="does not fit"):
        aztec_reader.read(Frame(luma.tobytes()[:-1], w, h))


def test_options_region_inverted_and_max_symbols(frames):
    gray = frames[TICKET]
    two = np.hstack([gray, frames[MIRRORED]])
    assert sorted(texts(aztec_reader.read(two))) == sorted(texts(aztec_reader.read(gray)) + texts(aztec_reader.read(frames[MIRRORED])))
    assert len(aztec_reader.read(two, max_symbols=1)) == 1
    right = aztec_reader.read(two, region=(gray.shape[1], 0, gray.shape[1], gray.shape[0]))
    assert texts(right) == texts(aztec_reader.read(frames[MIRRORED]))
    assert right[0].corners[0, 0] > gray.shape[1]  # corners stay in frame coordinates
    negative = 255 - gray
    assert aztec_reader.read(negative, try_inverted=False) == []
    assert [s.inverted for s in aztec_reader.read(negative)] == [True]
    reader = aztec_reader.Reader(try_inverted=False)
    assert reader.read(gray) == aztec_reader.read(gray) and reader.try_inverted is False


def test_threads_give_the_single_thread_results(frames):
    jobs = [f for f in frames.values()] + [f.T for f in frames.values()] + [255 - f for f in frames.values()]
    serial = [aztec_reader.read(f) for f in jobs]
    with ThreadPoolExecutor(4) as pool:
        for _ in range(3):
            assert list(pool.map(aztec_reader.read, jobs)) == serial


class Closed(io.BytesIO):
    name = "frame.png"


def closed_file():
    f = Closed(b"")
    f.close()
    return f


@pytest.mark.parametrize(
    "call, error, message",
    [
        (lambda: aztec_reader.read(np.zeros((9, 9), np.float32)), TypeError, "float pixels"),
        (lambda: aztec_reader.read(np.zeros((9, 9), np.uint16)), TypeError, "16-bit pixels"),
        (lambda: aztec_reader.read(Image.new("I;16", (9, 9))), TypeError, "mode 'I;16'"),
        (lambda: aztec_reader.read(np.zeros(9, np.uint8)), ValueError, "1-D array"),
        (lambda: aztec_reader.read(np.zeros((2, 9, 9, 3), np.uint8)), ValueError, "4-D array"),
        (lambda: aztec_reader.read(np.zeros((0, 9), np.uint8)), ValueError, "empty image"),
        (lambda: aztec_reader.read(np.zeros((9, 9, 2), np.uint8)), ValueError, "2 channels"),
        (lambda: aztec_reader.read(np.zeros((9, 9, 3), np.uint8), channel_order="RGBA"), ValueError, "needs 4 channels"),
        (lambda: aztec_reader.read(np.zeros((9, 9), np.uint8), channel_order="YUV"), ValueError, "channel_order"),
        (lambda: aztec_reader.read(None), TypeError, "image is None"),
        (lambda: aztec_reader.read(b"\0" * 81), TypeError, "uint8 pixels expected|cannot read"),
        (lambda: aztec_reader.read(np.zeros((9, 9), np.uint8), region=(0, 0, 5)), ValueError, "region"),
        (lambda: aztec_reader.read(np.zeros((9, 9), np.uint8), max_symbols=0), ValueError, "max_symbols"),
        (lambda: aztec_reader.read(closed_file()), TypeError, "read_file"),
        (lambda: aztec_reader.read_file(closed_file()), ValueError, "frame.png: the file is closed"),
        (lambda: aztec_reader.read_file(io.StringIO("text")), TypeError, "binary mode"),
        (lambda: aztec_reader.read_file("/nonexistent/frame.png"), FileNotFoundError, "frame.png"),
        (lambda: aztec_reader.read_file(__file__), ValueError, "test_read.py: not a readable image"),
        (lambda: aztec_reader.read_file(io.BytesIO((SAMPLES / TICKET).read_bytes()[:300])), ValueError, "cannot decode image"),
        (lambda: aztec_reader.decode_exact(np.zeros((9, 9), np.int64)), TypeError, "int64"),
    ],
)
def test_bad_input_raises_an_error_naming_the_problem(call, error, message):
    with pytest.raises(error, match=message):
        call()


def test_every_public_name_has_a_docstring_and_a_stub():
    package = Path(aztec_reader.__file__).parent
    for module, stub in ((aztec_reader, "__init__.pyi"), (aztec_reader.batch, "batch.pyi")):
        tree = ast.parse((package / stub).read_text())
        stubbed = {n.name for n in tree.body if isinstance(n, (ast.FunctionDef, ast.ClassDef))}
        stubbed |= {t.id for n in tree.body if isinstance(n, (ast.Assign, ast.AnnAssign)) for t in (n.targets if isinstance(n, ast.Assign) else [n.target])}
        public = set(getattr(module, "__all__", None) or [n for n, v in vars(module).items() if not n.startswith("_") and getattr(v, "__module__", module.__name__) == module.__name__ and not inspect.ismodule(v)])
        assert public - stubbed == set(), stub
        for name in public - {"__version__", "IMAGE_SUFFIXES"}:
            obj = getattr(module, name)
            assert inspect.getdoc(obj), name
            for member, value in vars(obj).items() if inspect.isclass(obj) else ():
                if not member.startswith("_") and callable(value) or isinstance(value, property):
                    assert inspect.getdoc(value), f"{name}.{member}"
