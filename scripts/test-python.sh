#!/usr/bin/env bash
# The Python package: builds it offline (pip, no build isolation) into a throwaway virtual
# environment that sees Debian's numpy, Pillow, pybind11, pytest and Dask, builds a wheel and
# checks what it holds, then runs tests/python against the installed package and aztec-read.
# usage: test-python.sh [AZTEC_READ]   (default: build/ci/tools/aztec-read, built when missing)
set -euo pipefail
cd "$(dirname "$0")/.."

python=/usr/bin/python3  # Debian's, whose packages setup.sh installs
[ -x "$python" ] || python=$(command -v python3)
aztec_read=${1:-build/ci/tools/aztec-read}
if [ ! -x "$aztec_read" ]; then
  cmake --preset ci >/dev/null
  cmake --build --preset ci --target aztec-read
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$python" -m venv --system-site-packages "$work/venv"
py="$work/venv/bin/python"
export CMAKE_BUILD_PARALLEL_LEVEL=${CMAKE_BUILD_PARALLEL_LEVEL:-$(nproc)}

echo "== python: wheel (python3 -m build --no-isolation --wheel)"
"$py" -m build --no-isolation --wheel --outdir "$work/dist" python >"$work/build.log" 2>&1 \
  || { cat "$work/build.log"; exit 1; }
wheel=$(ls "$work"/dist/aztec_reader-*.whl)
listing=$("$py" -m zipfile -l "$wheel")
for member in aztec_reader/_core aztec_reader/__init__.pyi aztec_reader/batch.pyi aztec_reader/py.typed; do
  grep -q "$member" <<<"$listing" || { echo "test-python: $member missing from $wheel"; exit 1; }
done

echo "== python: install (pip install --no-build-isolation ./python)"
"$py" -m pip install -q --no-build-isolation ./python

echo "== python: pytest tests/python"
# Exit status 5 (no test collected) fails here like any other failure.
AZTEC_READ=$(realpath "$aztec_read") PYTHONDONTWRITEBYTECODE=1 \
  "$py" -m pytest -q -rs -p no:cacheprovider -W ignore::DeprecationWarning tests/python
