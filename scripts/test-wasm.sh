#!/usr/bin/env bash
# WebAssembly build of the whole-frame reader (emscripten): the module and the scanning page in
# build/wasm/web, the Node test against the native aztec-read, then the page in headless
# Chromium with a fake camera.
# usage: test-wasm.sh [NATIVE_AZTEC_READ]
set -euo pipefail
cd "$(dirname "$0")/.."

# Debian ships emscripten's system libraries prebuilt in /usr/share/emscripten/cache and freezes
# that cache. Where it is not writable or lacks them, a cache in the build tree takes over and
# emscripten builds what it needs there, once.
if [ -z "${EM_CACHE:-}" ] && ! { [ -w /usr/share/emscripten/cache ] &&
  [ -e /usr/share/emscripten/cache/sysroot/lib/wasm32-emscripten/libc.a ]; }; then
  export EM_CACHE=$PWD/build/emscripten-cache EM_FROZEN_CACHE=
  mkdir -p "$EM_CACHE"
fi
# Debian's emscripten runs its JavaScript optimiser with Node, which must find node-acorn.
export NODE_PATH=/usr/share/nodejs${NODE_PATH:+:$NODE_PATH}

echo "== wasm: configure and build"
cmake --preset wasm >/dev/null
cmake --build --preset wasm -j "$(nproc)"
web=$PWD/build/wasm/web
echo "wasm: aztec-reader.wasm $(stat -c %s "$web/aztec-reader.wasm") bytes, $(gzip -9c "$web/aztec-reader.wasm" | wc -c) gzipped"

# The Node test compares with the native reader: the one given, else the ci build's.
native=$(realpath "${1:-build/ci/tools/aztec-read}")
if [ -z "${1:-}" ] && ! [ -x "$native" ]; then
  cmake --preset ci >/dev/null
  cmake --build --preset ci -j "$(nproc)" --target aztec-read
fi
echo "== wasm: Node test"
AZTEC_WEB_DIR=$web AZTEC_READ=$native node --test wasm/test/

# The page in headless Chromium; puppeteer-core from the committed lock, never a browser download.
echo "== wasm: scanning page in headless Chromium"
e2e=$PWD/build/wasm/e2e
mkdir -p "$e2e"
cp wasm/e2e/package.json wasm/e2e/package-lock.json "$e2e/"
(cd "$e2e" && PUPPETEER_SKIP_DOWNLOAD=1 npm ci --no-audit --no-fund --ignore-scripts --loglevel=error)
AZTEC_WEB_DIR=$web AZTEC_E2E_MODULES=$e2e node --test wasm/e2e/
