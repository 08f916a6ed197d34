#!/usr/bin/env bash
# aztec-read --json on the bundled samples: one line per file, status 2, the expected text.
# usage: aztec_read_json_test.sh AZTEC_READ SAMPLES_DIR
set -uo pipefail
reader=$1
dir=$2
out=$("$reader" --json "$dir"/*.png) || { echo "FAIL: exit status $?"; exit 1; }
files=$(ls "$dir"/*.png | wc -l)
[ "$(grep -c '"status":2,' <<<"$out")" -eq "$files" ] || { echo "FAIL: not every sample has status 2"; echo "$out"; exit 1; }
while IFS= read -r line; do
  text=${line#*: }
  grep -qF "\"text\":\"$text\"" <<<"$out" || { echo "FAIL: no JSON line with text: $text"; exit 1; }
done <"$dir/expected-output.txt"
echo "ok: $files samples"
