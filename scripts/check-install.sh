#!/usr/bin/env bash
# Installs the core into a temporary prefix, builds examples/consumer against it with
# find_package(AztecReader) and decodes a sample frame with it.
set -euo pipefail
cd "$(dirname "$0")/.."

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
jobs=$(nproc)

echo "== build and install the core into $work/prefix"
cmake -S . -B "$work/build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DAZTEC_BUILD_TESTS=OFF -DAZTEC_BUILD_TOOLS=OFF -DAZTEC_BUILD_COMPONENT=OFF >/dev/null
cmake --build "$work/build" --target aztec_core -j "$jobs" >/dev/null
cmake --install "$work/build" --prefix "$work/prefix" >/dev/null
find "$work/prefix" -name libaztec.a | grep -q . || { echo "libaztec.a not installed"; exit 1; }
test -f "$work/prefix/include/aztec/decoder/decoder.h" || { echo "headers not installed"; exit 1; }

echo "== build examples/consumer against it"
cmake -S examples/consumer -B "$work/consumer" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_PREFIX_PATH="$work/prefix" >/dev/null
cmake --build "$work/consumer" -j "$jobs" >/dev/null

echo "== decode samples/compact-ticket.png"
got=$("$work/consumer/consumer" samples/compact-ticket.png)
echo "$got"
expected=$(sed -n 's|^samples/compact-ticket.png: ||p' samples/expected-output.txt)
if [ "$got" != "$expected" ]; then
  echo "check-install: expected '$expected'"
  exit 1
fi
echo "check-install: ok"
