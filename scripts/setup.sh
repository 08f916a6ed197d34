#!/usr/bin/env bash
# Installs the Debian packages the build, tests and tools need, only those that are missing.
# Safe to run any number of times.
set -euo pipefail

packages=(
  cmake ninja-build g++ clang libclang-rt-14-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  libzint-dev libstb-dev
  pkg-config clang-format
  # Python package and its tests
  python3-dev python3-pip python3-venv python3-setuptools python3-wheel python3-build pybind11-dev python3-pybind11
  python3-numpy python3-pil python3-pytest python3-dask python3-distributed
  # WebAssembly build and the browser test
  emscripten chromium
  # Windows build of the component, run under Wine
  g++-mingw-w64-x86-64-posix wine64 wine64-tools
  # camera streams in the command-line tests, and their peak-memory check
  ffmpeg time
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if ((${#missing[@]})); then
  echo "setup: installing ${missing[*]}"
  SUDO=""
  if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
else
  echo "setup: all packages present"
fi
