#!/usr/bin/env bash
# Installs what is missing, builds the reader and decodes the bundled sample frames.
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/setup.sh >/dev/null
cmake --preset default >/dev/null
cmake --build --preset default --target aztec-read -j "$(nproc)" >/dev/null
./build/default/tools/aztec-read samples/*.png
