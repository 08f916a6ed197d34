"""The JSON objects of ``aztec-read --json``, written exactly as the command-line tool writes them
(its own string escaping, two decimals for the corners)."""

from __future__ import annotations

import math
from typing import Iterable, Optional

from . import Symbol, _core


def string(text: str) -> str:
    """A JSON string literal as ``aztec-read`` writes it; undecodable file-name bytes (kept by
    Python as surrogate escapes) are written as the Latin-1 characters the tool makes of them."""
    return _core.json_string(text.encode("utf-8", "surrogateescape"))


def _number(value: float) -> str:
    return f"{value:.2f}" if math.isfinite(value) else "null"


def _bool(value: bool) -> str:
    return "true" if value else "false"


def symbol_fields(s: Symbol) -> str:
    """The keys of one symbol after ``"file"``, without braces."""
    sa = "null"
    if s.structured_append is not None:
        a = s.structured_append
        sa = f'{{"index":{a.index},"count":{a.count},"id":{string(a.id)}}}'
    corners = ",".join(f"[{_number(x)},{_number(y)}]" for x, y in s.corners)
    return (
        f'"text":{string(s.text)},"bytesHex":"{s.bytes.hex()}","gs1":{_bool(s.gs1)},'
        f'"structuredAppend":{sa},"readerInitialisation":{_bool(s.reader_initialisation)},'
        f'"format":"{s.format}","layers":{s.layers},"dataCodewords":{s.data_codewords},'
        f'"checkCodewords":{s.check_codewords},"correctedCodewords":{s.corrected_codewords},'
        f'"rotation":{s.rotation},"mirrored":{_bool(s.mirrored)},"inverted":{_bool(s.inverted)},'
        f'"corners":[{corners}]'
    )


def file_lines(file: str, symbols: Iterable[Symbol]) -> list[str]:
    """``aztec-read --json`` lines of one file: one per symbol, or ``{"file":...,"symbols":0}``."""
    name = string(file)
    lines = [f'{{"file":{name},{symbol_fields(s)}}}' for s in symbols]
    return lines or [f'{{"file":{name},"symbols":0}}']


def batch_line(file: str, symbols: Iterable[Symbol], error: Optional[str]) -> str:
    """One batch output line: the file, its symbols (the tool's keys) and the error or null."""
    body = ",".join("{" + symbol_fields(s) + "}" for s in symbols)
    return f'{{"file":{string(file)},"symbols":[{body}],"error":{"null" if error is None else string(error)}}}'
