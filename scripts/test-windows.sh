#!/usr/bin/env bash
# The component as a Windows DLL on a real Windows Runtime implementation (Wine's): builds
# AztecReaderComponent.dll and its client with mingw-w64, checks the DLL's exports, and runs
# the client under Wine in a new, throwaway prefix against the Linux component's answers for
# the sample frames.
set -euo pipefail
cd "$(dirname "$0")/.."

jobs=$(nproc)
build=build/windows
wine=$(command -v wine64 || echo /usr/lib/wine/wine64)
wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver)

echo "== windows: build the DLL and its client (mingw-w64), and the frame exporter (Linux)"
cmake --preset windows >/dev/null
cmake --build --preset windows -j "$jobs"
cmake --preset ci >/dev/null
cmake --build --preset ci -j "$jobs" --target export-windows-frames

echo "== windows: the DLL exports DllGetActivationFactory and DllCanUnloadNow, nothing else"
dump=$(x86_64-w64-mingw32-objdump -p "$build/bin/AztecReaderComponent.dll")
names=$(sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/p' <<<"$dump" | sed -n 's/^\s*\[ *[0-9]*\] //p' | sort | tr '\n' ' ')
addresses=$(grep -c 'Export RVA' <<<"$dump" || true)
if [ "$names" != "DllCanUnloadNow DllGetActivationFactory " ] || [ "$addresses" != 2 ]; then
  echo "FAIL: exported names: '$names', export table entries: $addresses" >&2
  exit 1
fi

echo "== windows: sample frames and the Linux component's answers"
rm -rf "$build/frames" && mkdir -p "$build/frames"
build/ci/tests/windows/export-windows-frames "$build/frames" samples/*.png >/dev/null

echo "== windows: a new Wine prefix"
export WINEPREFIX=$PWD/$build/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
rm -rf "$WINEPREFIX"
trap '"$wineserver" -k 2>/dev/null || true' EXIT
timeout 300 "$wine" wineboot --init >/dev/null 2>&1
timeout 120 "$wineserver" -w

echo "== windows: the client under Wine"
frames="Z:$(tr / '\\' <<<"$PWD/$build/frames")"
status=0
timeout 300 "$wine" "$build/bin/aztec-component-client.exe" "$frames" >"$build/client.out" 2>"$build/client.err" ||
  status=$?
cat "$build/client.err"
[ "$status" -eq 0 ] || { echo "FAIL: the client exited with $status" >&2; exit 1; }
# Every call with an out pointer writes the trace once, to the process's own standard output.
calls=$(sed -n 's/.* \([0-9]*\) traced calls.*/\1/p' "$build/client.err")
traces=$(grep -o readAztecCamera "$build/client.out" | wc -l)
if [ -z "$calls" ] || [ "$traces" -ne "$calls" ]; then
  echo "FAIL: $traces traces for ${calls:-?} calls" >&2
  exit 1
fi
echo "windows: passed in ${SECONDS}s"
