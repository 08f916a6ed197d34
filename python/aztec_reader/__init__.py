"""Read Aztec Code symbols from camera frames, scans and image files.

``read`` finds every symbol in a frame (anywhere, at any angle, light-on-dark too, runes
included) and returns one ``Symbol`` per symbol with its exact bytes, its text and its
metadata. ``read_file`` does the same for a PNG, JPEG, BMP or PGM file, and ``decode_exact``
runs the exact decoder, which reads the one symbol near the middle of a frame.

A frame is a 2-D ``uint8`` numpy array of any strides, a 3-D colour array (``channel_order``
says where red, green and blue are), a Pillow image, or an object with the buffer protocol and
``width``/``height`` attributes. Colour is reduced to luminance with the weights
(77 R + 150 G + 29 B) >> 8, as ``aztec-read`` does. The GIL is released while a frame is
read, and nothing is shared between calls: any number of threads may read at once.
"""

from __future__ import annotations

import enum
import io
import os
from dataclasses import dataclass
from typing import Any, Literal, Optional, Sequence, Tuple

import numpy as np

from . import _core

__version__ = "0.1.0"

__all__ = [
    "read",
    "read_file",
    "load_image",
    "decode_exact",
    "Reader",
    "Symbol",
    "StructuredAppend",
    "ExactResult",
    "DecodeStatus",
    "__version__",
]

_EXPECTED = "a 2-D uint8 numpy array, a 3-D RGB/RGBA/BGR array, a Pillow image or a buffer with width/height"
_ORDERS = ("RGB", "BGR", "RGBA", "BGRA", "ARGB", "ABGR")

ChannelOrder = Literal["RGB", "BGR", "RGBA", "BGRA", "ARGB", "ABGR"]
"""Where red, green and blue are in a colour array's last axis (alpha, when present, is ignored)."""


@dataclass(frozen=True)
class StructuredAppend:
    """This symbol's place in a structured-append sequence."""

    index: int
    """1-based position of the symbol in the sequence."""
    count: int
    """Number of symbols in the sequence."""
    id: str
    """Message ID shared by the sequence; empty when absent."""


@dataclass(frozen=True, eq=False)
class Symbol:
    """One symbol read from a frame. Frozen; ``corners`` is a read-only array."""

    bytes: bytes
    """The message bytes exactly (ECI designators and FNC1 removed)."""
    text: str
    """The message decoded per ECI (ISO-8859-1 when the symbol gives none)."""
    gs1: bool
    """True when the symbol starts with FNC1: GS1 data."""
    structured_append: Optional[StructuredAppend]
    """Place in a structured-append sequence, or None."""
    reader_initialisation: bool
    """True for a reader initialisation symbol."""
    format: Literal["compact", "full-range", "rune"]
    """``"compact"``, ``"full-range"`` or ``"rune"``."""
    layers: int
    """Number of data layers (0 for a rune)."""
    data_codewords: int
    """Number of data codewords."""
    check_codewords: int
    """Number of check codewords."""
    corrected_codewords: int
    """Codewords that error correction changed."""
    rotation: int
    """Clockwise quarter turns (0-3) of the symbol in the frame."""
    mirrored: bool
    """True for a mirror image."""
    inverted: bool
    """True for a light-on-dark symbol."""
    corners: np.ndarray
    """4 x 2 float array of (x, y) pixel positions: top-left, top-right, bottom-right and
    bottom-left of the upright symbol."""

    def __eq__(self, other: object) -> bool:
        if not isinstance(other, Symbol):
            return NotImplemented
        return self._key() == other._key()

    def __hash__(self) -> int:
        return hash(self._key())

    def _key(self) -> tuple:
        return tuple(getattr(self, f) for f in _FIELDS[:-1]) + (self.corners.tobytes(),)

    def __repr__(self) -> str:
        text = self.text if len(self.text) <= 60 else self.text[:57] + "..."
        corners = ", ".join(f"({x:.1f}, {y:.1f})" for x, y in self.corners)
        flags = "".join(
            f", {name}=True"
            for name in ("gs1", "reader_initialisation", "mirrored", "inverted")
            if getattr(self, name)
        )
        sa = f", structured_append={self.structured_append}" if self.structured_append else ""
        return (
            f"Symbol(text={text!r}, format={self.format!r}, layers={self.layers}, "
            f"rotation={self.rotation}{flags}{sa}, corners=[{corners}])"
        )


_FIELDS = tuple(Symbol.__dataclass_fields__)


class DecodeStatus(enum.IntEnum):
    """Outcome of the exact decoder."""

    NOT_READ = 0
    """No symbol found at any search point."""
    DETECTED = 1
    """A symbol was found and its mode message read, but not its data."""
    DATA_READ = 2
    """The data was read."""


@dataclass(frozen=True)
class ExactResult:
    """What the exact decoder made of a frame."""

    status: DecodeStatus
    """How far decoding got."""
    status_text: str
    """The decoder's one-line description of the outcome (with its ``#err=`` count)."""
    text: str
    """The decoded bytes as characters of the same value (Latin-1); empty unless DATA_READ."""
    bytes: bytes
    """The decoded bytes; empty unless DATA_READ."""


def _is_pillow(image: Any) -> bool:
    return any(c.__module__.startswith("PIL.") and c.__name__ == "Image" for c in type(image).__mro__)


def _pillow_array(image: Any) -> np.ndarray:
    mode = image.mode
    if mode.startswith("I") or mode == "F":
        raise TypeError(
            f"Pillow image of mode {mode!r} has 16/32-bit or float pixels: convert it to 'L' or 'RGB' first"
        )
    if mode not in ("L", "RGB", "RGBA", "RGBX"):
        image = image.convert("L" if mode in ("1", "LA", "La") else "RGB")
    return np.asarray(image)


def _buffer_array(image: Any) -> np.ndarray:
    width, height = int(image.width), int(image.height)
    try:
        flat = np.frombuffer(image, dtype=np.uint8)
    except (TypeError, ValueError) as e:
        raise TypeError(f"{type(image).__name__} has width/height but no readable byte buffer: {e}") from None
    pixels = width * height
    if width <= 0 or height <= 0:
        raise ValueError(f"empty image ({width}x{height})")
    for channels in (1, 3, 4):
        if flat.size == pixels * channels:
            return flat.reshape((height, width) if channels == 1 else (height, width, channels))
    raise ValueError(
        f"buffer of {flat.size} bytes does not fit {width}x{height} (1, 3 or 4 bytes per pixel expected)"
    )


def _pixels(image: Any, channel_order: str) -> Tuple[np.ndarray, Tuple[int, int, int]]:
    """The uint8 array behind `image` and the channel indices of red, green and blue."""
    if channel_order not in _ORDERS:
        raise ValueError(f"channel_order must be one of {', '.join(_ORDERS)}, got {channel_order!r}")
    if type(image) is np.ndarray and image.dtype.char == "B" and image.ndim == 2 and image.size:
        return image, (0, 1, 2)  # the common case, checked cheaply
    if image is None:
        raise TypeError(f"image is None: expected {_EXPECTED}")
    if isinstance(image, (io.IOBase, str, os.PathLike)):
        raise TypeError(f"image is a {type(image).__name__}: read_file() reads image files, read() takes pixels")
    if _is_pillow(image):
        array, channel_order = _pillow_array(image), "RGB"
    elif isinstance(image, np.ndarray) or hasattr(image, "__array_interface__") or hasattr(image, "__array__"):
        array = np.asarray(image)
    elif hasattr(image, "width") and hasattr(image, "height"):
        array = _buffer_array(image)
    else:
        raise TypeError(f"cannot read a {type(image).__name__}: expected {_EXPECTED}")

    dtype = array.dtype
    if dtype != np.uint8:
        if dtype.kind == "f":
            problem = f"float pixels ({dtype}): scale them to 0-255 and convert with .astype(numpy.uint8)"
        elif dtype.kind in "iu" and dtype.itemsize == 2:
            problem = f"16-bit pixels ({dtype}): reduce them to 8 bits, e.g. (a >> 8).astype(numpy.uint8)"
        else:
            problem = f"pixels of type {dtype}"
        raise TypeError(f"{problem}; uint8 pixels expected")
    if array.ndim == 3 and array.shape[2] == 1:
        array = array[:, :, 0]
    if array.ndim not in (2, 3):
        raise ValueError(
            f"{array.ndim}-D array: expected 2-D (height, width) luminance or 3-D (height, width, 3 or 4) colour"
        )
    if array.size == 0:
        raise ValueError(f"empty image (shape {array.shape})")
    if array.ndim == 3:
        channels = array.shape[2]
        if channels not in (3, 4):
            raise ValueError(f"3-D array with {channels} channels: 3 (RGB/BGR) or 4 (with alpha) expected")
        if len(channel_order) > channels:
            raise ValueError(f"channel_order {channel_order!r} needs 4 channels, the array has 3")
    return array, (channel_order.index("R"), channel_order.index("G"), channel_order.index("B"))


class Reader:
    """Reader options, fixed when made; ``read`` may be called from any number of threads.

    ``region`` is ``(x, y, width, height)`` in pixels (clipped to the frame; None for the whole
    frame), ``try_inverted`` also looks for light-on-dark symbols, ``runes`` also reports Aztec
    runes, and reading stops after ``max_symbols`` symbols.
    """

    __slots__ = ("_options",)

    def __init__(
        self,
        *,
        region: Optional[Sequence[int]] = None,
        try_inverted: bool = True,
        runes: bool = True,
        max_symbols: int = 16,
    ) -> None:
        if region is not None:
            region = tuple(region)
            if len(region) != 4 or not all(isinstance(v, (int, np.integer)) for v in region):
                raise ValueError(f"region must be (x, y, width, height) integers, got {region!r}")
            if region[2] < 0 or region[3] < 0:
                raise ValueError(f"region width and height must not be negative, got {region!r}")
            region = tuple(int(v) for v in region)
        if not isinstance(max_symbols, (int, np.integer)) or max_symbols < 1:
            raise ValueError(f"max_symbols must be a positive integer, got {max_symbols!r}")
        self._options = (region, bool(try_inverted), bool(runes), int(max_symbols))

    @property
    def region(self) -> Optional[Tuple[int, int, int, int]]:
        """The region of interest ``(x, y, width, height)``, or None for the whole frame."""
        return self._options[0]

    @property
    def try_inverted(self) -> bool:
        """Whether light-on-dark symbols are looked for too."""
        return self._options[1]

    @property
    def runes(self) -> bool:
        """Whether Aztec runes are reported."""
        return self._options[2]

    @property
    def max_symbols(self) -> int:
        """Reading stops after this many symbols."""
        return self._options[3]

    def read(self, image: Any, *, channel_order: str = "RGB") -> list[Symbol]:
        """Every symbol in `image`, nearest to the frame centre first (see ``aztec_reader.read``)."""
        array, rgb = _pixels(image, channel_order)
        return [_symbol(t) for t in _core.read(array, rgb, *self._options)]

    def __repr__(self) -> str:
        region, inverted, runes, most = self._options
        return f"Reader(region={region!r}, try_inverted={inverted}, runes={runes}, max_symbols={most})"


def _symbol(t: tuple) -> Symbol:
    # Filled in directly: the frozen dataclass's own __init__ costs more than the read of a
    # small frame's result should.
    s = object.__new__(Symbol)
    fields = dict(zip(_FIELDS, t))
    if t[3] is not None:
        fields["structured_append"] = StructuredAppend(*t[3])
    t[-1].flags.writeable = False
    s.__dict__.update(fields)
    return s


def read(
    image: Any,
    *,
    region: Optional[Sequence[int]] = None,
    try_inverted: bool = True,
    runes: bool = True,
    max_symbols: int = 16,
    channel_order: str = "RGB",
) -> list[Symbol]:
    """Every Aztec symbol in `image`, nearest to the frame centre first; [] when none is read.

    `image` is a 2-D uint8 array (any strides: a slice of a larger frame whose rows are
    contiguous is read in place, without a copy), a 3-D uint8 colour array whose channels are in
    `channel_order` (``"RGB"``, ``"BGR"`` as OpenCV gives, ``"RGBA"``, ``"BGRA"``, ``"ARGB"`` or
    ``"ABGR"``; alpha is ignored, and a 4-channel array with a 3-letter order has alpha last), a
    Pillow image, or an object with the buffer protocol and ``width``/``height`` (1, 3 or 4 bytes
    per pixel). `region` is ``(x, y, width, height)``; the other options are those of
    ``Reader``. Raises TypeError or ValueError for pixels it cannot take.
    """
    return Reader(region=region, try_inverted=try_inverted, runes=runes, max_symbols=max_symbols).read(
        image, channel_order=channel_order
    )


def load_image(file: Any) -> np.ndarray:
    """The luminance of a PNG, JPEG, BMP or binary PGM/PPM file as a 2-D uint8 array.

    `file` is a path or a binary file object. The loader is ``aztec-read``'s: colour becomes
    (77 R + 150 G + 29 B) >> 8. Raises OSError when the file cannot be read, ValueError when it
    is not such an image (or is truncated), TypeError for a text-mode file.
    """
    if hasattr(file, "read"):
        name = getattr(file, "name", type(file).__name__)
        if getattr(file, "closed", False):
            raise ValueError(f"{name}: the file is closed")
        data = file.read()
        if not isinstance(data, (bytes, bytearray)):
            raise TypeError(f"{name}: file gives {type(data).__name__}, not bytes: open it in binary mode ('rb')")
    elif isinstance(file, (str, bytes, os.PathLike)):
        name = os.fsdecode(file)
        with open(file, "rb") as f:
            data = f.read()
    else:
        raise TypeError(f"expected a path or a binary file object, got {type(file).__name__}")
    try:
        return _core.decode_image(bytes(data))
    except ValueError as e:
        raise ValueError(f"{name}: {e}") from None


def read_file(file: Any, **options: Any) -> list[Symbol]:
    """Every symbol in an image file (see ``load_image``); `options` are those of ``read``."""
    return read(load_image(file), **options)


def decode_exact(image: Any, *, channel_order: str = "RGB") -> ExactResult:
    """The exact decoder on `image` (any frame ``read`` takes): the one symbol near the middle.

    Raises RuntimeError when a decoding stage fails on the frame.
    """
    array, rgb = _pixels(image, channel_order)
    status, status_text, data = _core.decode_exact(array, rgb)
    return ExactResult(DecodeStatus(status), status_text, data.decode("latin-1"), data)
