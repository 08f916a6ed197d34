from typing import Optional, Sequence

USAGE: str

def main(argv: Optional[Sequence[str]] = None) -> int: ...
