#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test in the normal and the sanitizer build.
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/setup.sh

jobs=$(nproc)
for preset in default asan; do
  echo "== $preset: configure and build"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
  echo "== $preset: test"
  ctest --preset "$preset" -j "$jobs"
done

echo "== install the core and build the example project against it"
./scripts/check-install.sh
