"""``python3 -m aztec_reader FILE...``: the JSON lines of ``aztec-read --json`` for each file.

Exit status as ``aztec-read``'s: 0 every file gave a symbol, 1 some file gave none, 2 a usage
error or a file that could not be read as an image (named on stderr; the rest still run).
"""

from __future__ import annotations

import sys
from typing import Optional, Sequence

from . import _core, read
from ._json import file_lines

USAGE = """usage: python3 -m aztec_reader [--json] FILE...
Reads every Aztec Code symbol in each image (PNG, JPEG, BMP, PGM) and prints one JSON object per
symbol, as aztec-read --json does ({"file":..., "symbols":0} for a file without one).
"""


def main(argv: Optional[Sequence[str]] = None) -> int:
    """Runs the command on `argv` (default: the process arguments); returns the exit status."""
    args = list(sys.argv[1:] if argv is None else argv)
    files: list[str] = []
    only_files = False
    for a in args:
        if only_files or not a.startswith("-") or a == "-":
            files.append(a)
        elif a == "--":
            only_files = True
        elif a in ("-h", "--help"):
            sys.stdout.write(USAGE)
            return 0
        elif a != "--json":
            sys.stderr.write(f"aztec_reader: unknown option '{a}' (try --help)\n")
            return 2
    if not files:
        sys.stderr.write("aztec_reader: no input file (try --help)\n")
        return 2

    file_error = not_read = False
    for file in files:
        try:
            with open(file, "rb") as f:
                frame = _core.decode_image(f.read())
        except (OSError, ValueError) as e:
            reason = f"cannot open: {e.strerror}" if isinstance(e, OSError) else str(e)
            sys.stderr.write(f"aztec_reader: {file}: {reason}\n")
            file_error = True
            continue
        symbols = read(frame)
        not_read = not_read or not symbols
        sys.stdout.write("".join(line + "\n" for line in file_lines(file, symbols)))
        sys.stdout.flush()
    return 2 if file_error else 1 if not_read else 0


if __name__ == "__main__":
    sys.exit(main())
