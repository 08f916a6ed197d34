#!/usr/bin/env bash
# Installs the core into a temporary prefix (static, then shared), checks that only the public
# headers are installed, builds examples/consumer against it with find_package(AztecReader) and
# with pkg-config, and reads a sample frame with each.
set -euo pipefail
cd "$(dirname "$0")/.."

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
jobs=$(nproc)
expected=$(sed -n 's|^samples/compact-ticket.png: ||p' samples/expected-output.txt)

check() {  # check LABEL COMMAND...: runs the consumer and compares its output with the sample's
  local label=$1; shift
  local got
  got=$("$@" samples/compact-ticket.png)
  if [ "$got" != "$expected" ]; then
    echo "check-install ($label): expected '$expected', got '$got'"
    exit 1
  fi
  echo "check-install ($label): ok"
}

for kind in static shared; do
  shared=OFF; [ "$kind" = shared ] && shared=ON
  prefix="$work/prefix-$kind"
  echo "== build and install the $kind core into $prefix"
  cmake -S . -B "$work/build-$kind" -G Ninja -DCMAKE_BUILD_TYPE=Release -DAZTEC_BUILD_SHARED=$shared \
    -DAZTEC_BUILD_TESTS=OFF -DAZTEC_BUILD_TOOLS=OFF -DAZTEC_BUILD_COMPONENT=OFF >/dev/null
  cmake --build "$work/build-$kind" --target aztec_core -j "$jobs" >/dev/null
  cmake --install "$work/build-$kind" --prefix "$prefix" >/dev/null
  headers=$(find "$prefix/include" -name '*.h' | wc -l)
  if [ "$headers" -gt 4 ] || [ ! -f "$prefix/include/aztec/reader.h" ]; then
    echo "check-install: expected at most 4 public headers with aztec/reader.h, found:"
    find "$prefix/include" -name '*.h'
    exit 1
  fi
  lib=$(find "$prefix" -name 'libaztec.a' -o -name 'libaztec.so')
  [ -n "$lib" ] || { echo "check-install: libaztec not installed"; exit 1; }

  echo "== build examples/consumer against it with find_package"
  cmake -S examples/consumer -B "$work/consumer-$kind" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
  cmake --build "$work/consumer-$kind" -j "$jobs" >/dev/null
  LD_LIBRARY_PATH="$prefix/lib" check "$kind, CMake package" "$work/consumer-$kind/consumer"

  echo "== build examples/consumer with pkg-config"
  flags=$(PKG_CONFIG_PATH="$prefix/lib/pkgconfig" pkg-config --cflags --libs aztec)
  # shellcheck disable=SC2086
  g++ -std=c++20 -O1 examples/consumer/main.cpp -o "$work/consumer-pc-$kind" $flags -pthread
  LD_LIBRARY_PATH="$prefix/lib" check "$kind, pkg-config" "$work/consumer-pc-$kind"
done
