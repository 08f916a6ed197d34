#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test in the normal and the sanitizer build,
# then the concurrency tests under ThreadSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/setup.sh

echo "== formatting"
./scripts/check-format.sh

jobs=$(nproc)
# ci = the default build with -Werror -Wshadow.
for preset in ci asan; do
  echo "== $preset: configure and build"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
  echo "== $preset: test"
  ctest --preset "$preset" -j "$jobs"
done

echo "== python: the aztec_reader package, its wheel and tests/python"
./scripts/test-python.sh build/ci/tools/aztec-read

echo "== install the core and build the example project against it"
./scripts/check-install.sh

# The component built for Windows (mingw-w64) and activated through Wine's runtime.
echo "== windows: the component DLL under Wine"
./scripts/test-windows.sh

# Data races between concurrent decodes: only the concurrency tests, under ThreadSanitizer
# (halt_on_error=1 through the tsan test preset). The 10,000-decode leak test is left to the
# asan stage above.
echo "== tsan: configure, build the concurrency tests and run them"
cmake --preset tsan >/dev/null
cmake --build --preset tsan -j "$jobs" --target test_concurrency aztec_component
ctest --preset tsan -L concurrency -E '^RepeatedDecodes\.' -j "$jobs"

# A bounded libFuzzer run of every fuzz target over its seeds and kept regression inputs.
echo "== fuzz: bounded runs"
./scripts/fuzz.sh

# The WebAssembly module, its Node test and the scanning page in headless Chromium.
echo "== wasm"
./scripts/test-wasm.sh build/ci/tools/aztec-read
