#!/usr/bin/env bash
# aztec-read --json on the bundled samples: with --exact one line per file, status 2, the
# expected text; by default one line per symbol (one per sample) with the whole-frame keys.
# usage: aztec_read_json_test.sh AZTEC_READ SAMPLES_DIR
set -uo pipefail
reader=$1
dir=$2
out=$("$reader" --exact --json "$dir"/*.png) || { echo "FAIL: --exact exit status $?"; exit 1; }
def=$("$reader" --json "$dir"/*.png) || { echo "FAIL: default exit status $?"; exit 1; }
files=$(ls "$dir"/*.png | wc -l)
[ "$(grep -c '"status":2,' <<<"$out")" -eq "$files" ] || { echo "FAIL: not every sample has status 2"; echo "$out"; exit 1; }
keys='^\{"file":"[^"]*","text":".*","bytesHex":"([0-9a-f]{2})+","gs1":(true|false),"structuredAppend":(null|\{"index":[0-9]+,"count":[0-9]+,"id":".*"\}),"readerInitialisation":(true|false),"format":"(compact|full-range|rune)","layers":[0-9]+,"dataCodewords":[0-9]+,"checkCodewords":[0-9]+,"correctedCodewords":[0-9]+,"rotation":[0-3],"mirrored":(true|false),"inverted":(true|false),"corners":\[(\[-?[0-9.]+,-?[0-9.]+\],?){4}\]\}$'
[ "$(grep -cE "$keys" <<<"$def")" -eq "$files" ] && [ "$(wc -l <<<"$def")" -eq "$files" ] \
  || { echo "FAIL: default --json should give one line with the whole-frame keys per sample"; echo "$def"; exit 1; }
while IFS= read -r line; do
  text=${line#*: }
  grep -qF "\"text\":\"$text\"" <<<"$out" || { echo "FAIL: --exact: no JSON line with text: $text"; exit 1; }
  name=${line%%: *}
  grep -F "\"file\":\"$dir/${name##*/}\"" <<<"$def" | grep -qF "\"text\":\"$text\"" \
    || { echo "FAIL: default: no JSON line for ${name##*/} with text: $text"; exit 1; }
done <"$dir/expected-output.txt"
# What each sample shows: its format and orientation.
grep -F 'rotated-mirrored.png"' <<<"$def" | grep -q '"format":"compact".*"rotation":3,"mirrored":true,"inverted":false' \
  || { echo "FAIL: rotated-mirrored.png: format/orientation"; exit 1; }
grep -F 'full-range-boarding.png"' <<<"$def" | grep -q '"format":"full-range","layers":6,' \
  || { echo "FAIL: full-range-boarding.png: format/layers"; exit 1; }
echo "ok: $files samples"
