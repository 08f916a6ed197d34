import os
from typing import Any, NamedTuple, Optional, Sequence, TextIO, Tuple, Union

IMAGE_SUFFIXES: Tuple[str, ...]

class BatchSummary(NamedTuple):
    files: int
    errors: int
    seconds: float

def find_images(directory: Union[str, os.PathLike[str]]) -> list[str]: ...
def read_chunk(root: str, files: Sequence[str], options: Optional[dict[str, Any]] = None) -> list[str]: ...
def read_directory(
    directory: Union[str, os.PathLike[str]],
    out: Union[str, os.PathLike[str], TextIO],
    *,
    scheduler: Optional[str] = None,
    client: Any = None,
    workers: Optional[int] = None,
    chunk_size: Optional[int] = None,
    progress: Optional[bool] = None,
    region: Optional[Sequence[int]] = None,
    try_inverted: bool = True,
    runes: bool = True,
    max_symbols: int = 16,
) -> BatchSummary: ...
def main(argv: Optional[Sequence[str]] = None) -> int: ...
