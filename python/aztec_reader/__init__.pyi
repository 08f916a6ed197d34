import enum
from typing import Any, Literal, Optional, Sequence, Tuple

import numpy as np
import numpy.typing as npt

__version__: str
__all__: list[str]

ChannelOrder = Literal["RGB", "BGR", "RGBA", "BGRA", "ARGB", "ABGR"]

class StructuredAppend:
    index: int
    count: int
    id: str
    def __init__(self, index: int, count: int, id: str) -> None: ...

class Symbol:
    bytes: bytes
    text: str
    gs1: bool
    structured_append: Optional[StructuredAppend]
    reader_initialisation: bool
    format: Literal["compact", "full-range", "rune"]
    layers: int
    data_codewords: int
    check_codewords: int
    corrected_codewords: int
    rotation: int
    mirrored: bool
    inverted: bool
    corners: npt.NDArray[np.float64]
    def __init__(
        self,
        bytes: bytes,
        text: str,
        gs1: bool,
        structured_append: Optional[StructuredAppend],
        reader_initialisation: bool,
        format: Literal["compact", "full-range", "rune"],
        layers: int,
        data_codewords: int,
        check_codewords: int,
        corrected_codewords: int,
        rotation: int,
        mirrored: bool,
        inverted: bool,
        corners: npt.NDArray[np.float64],
    ) -> None: ...
    def __eq__(self, other: object) -> bool: ...
    def __hash__(self) -> int: ...

class DecodeStatus(enum.IntEnum):
    NOT_READ = 0
    DETECTED = 1
    DATA_READ = 2

class ExactResult:
    status: DecodeStatus
    status_text: str
    text: str
    bytes: bytes
    def __init__(self, status: DecodeStatus, status_text: str, text: str, bytes: bytes) -> None: ...

class Reader:
    def __init__(
        self,
        *,
        region: Optional[Sequence[int]] = None,
        try_inverted: bool = True,
        runes: bool = True,
        max_symbols: int = 16,
    ) -> None: ...
    @property
    def region(self) -> Optional[Tuple[int, int, int, int]]: ...
    @property
    def try_inverted(self) -> bool: ...
    @property
    def runes(self) -> bool: ...
    @property
    def max_symbols(self) -> int: ...
    def read(self, image: Any, *, channel_order: ChannelOrder = "RGB") -> list[Symbol]: ...

def read(
    image: Any,
    *,
    region: Optional[Sequence[int]] = None,
    try_inverted: bool = True,
    runes: bool = True,
    max_symbols: int = 16,
    channel_order: ChannelOrder = "RGB",
) -> list[Symbol]: ...
def load_image(file: Any) -> npt.NDArray[np.uint8]: ...
def read_file(
    file: Any,
    *,
    region: Optional[Sequence[int]] = None,
    try_inverted: bool = True,
    runes: bool = True,
    max_symbols: int = 16,
) -> list[Symbol]: ...
def decode_exact(image: Any, *, channel_order: ChannelOrder = "RGB") -> ExactResult: ...
