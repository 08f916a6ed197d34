#!/usr/bin/env bash
# Runs aztec-read on bad and unreadable inputs (exit codes and one-line messages naming the file)
# and with --json on the bundled samples.
# Usage: aztec_read_test.sh AZTEC_READ SAMPLES_DIR MAKE_STREAM
set -u
bin=$1
samples=$2
make=$3
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
failures=0
fail() { echo "FAIL: $1"; failures=$((failures + 1)); }

# expect CODE STDERR_PATTERN ARGS... : exit code, a stderr line matching the pattern, one line only;
# standard input from $stdin (default none).
expect() {
  local code=$1 pattern=$2
  shift 2
  "$bin" "$@" <"${stdin:-/dev/null}" >"$tmp/out" 2>"$tmp/err"
  local got=$?
  [ "$got" -eq "$code" ] || { fail "aztec-read $*: exit $got, expected $code"; cat "$tmp/err"; return; }
  if [ -n "$pattern" ] && { ! grep -q -- "$pattern" "$tmp/err" || [ "$(wc -l <"$tmp/err")" -ne 1 ]; }; then
    fail "aztec-read $*: stderr should be one line matching '$pattern', got:"; cat "$tmp/err"
  fi
}

printf 'hello, not an image\n' >"$tmp/text.png"
: >"$tmp/empty.png"
: >"$tmp/empty.raw"
head -c 100 /dev/zero >"$tmp/short.raw"
printf 'P5\n16 16\n255\n' >"$tmp/blank.pgm"
head -c 256 /dev/zero | tr '\0' '\310' >>"$tmp/blank.pgm"
head -c 256 /dev/zero | tr '\0' '\310' >"$tmp/blank.raw"
printf 'P5\n# cut short\n16 16\n255\n' >"$tmp/short.pgm"
head -c 100 /dev/zero >>"$tmp/short.pgm"
# A PNG signature and header followed by garbage, and a real sample cut short.
printf '\x89PNG\r\n\x1a\n\0\0\0\x0dIHDR\0\0\x02\x80\0\0\x01\xe0\x08\0\0\0\0garbage' >"$tmp/garbage.png"
sample=$(ls "$samples"/*.png 2>/dev/null | head -n 1)
if [ -n "$sample" ]; then head -c 300 "$sample" >"$tmp/truncated.png"; else cp "$tmp/garbage.png" "$tmp/truncated.png"; fi
mkdir "$tmp/dir.png"

# Usage errors.
expect 2 "no input file"
expect 2 "unknown option '--frobnicate'" --frobnicate "$tmp/blank.pgm"
expect 2 "bad --size '0x16'" --size 0x16 "$tmp/blank.raw"
expect 2 "bad --size '16'" --size 16 "$tmp/blank.raw"
expect 2 "bad --size '99999x99999'" --size 99999x99999 "$tmp/blank.raw"
expect 2 "needs a value" "$tmp/blank.raw" --size
expect 2 "exclude each other" --hex --json "$tmp/blank.pgm"
expect 0 "" --help
grep -q "^Usage: aztec-read" "$tmp/out" || fail "--help prints no usage"

# File errors name the file.
expect 2 "$tmp/missing.png: cannot open" "$tmp/missing.png"
expect 2 "$tmp/text.png: not a readable image" "$tmp/text.png"
expect 2 "$tmp/empty.png: empty file" "$tmp/empty.png"
expect 2 "$tmp/garbage.png: " "$tmp/garbage.png"
expect 2 "$tmp/truncated.png: " "$tmp/truncated.png"
expect 2 "$tmp/dir.png: no image or Y4M file under it" "$tmp/dir.png"
expect 2 "$tmp/short.pgm: truncated PGM/PPM: 100 pixel bytes, 256 needed" "$tmp/short.pgm"
expect 2 "$tmp/empty.raw frame 0: empty input" --size 16x16 "$tmp/empty.raw"
expect 2 "$tmp/short.raw frame 0: partial frame of 100 bytes, 16x16 needs 256" --size=16x16 "$tmp/short.raw"

# Readable frames without a symbol: not read, exit 1, never a crash.
expect 1 "$tmp/blank.pgm: " "$tmp/blank.pgm"
expect 1 "$tmp/blank.raw: no symbol read in 1 frame$" --size 16x16 "$tmp/blank.raw"
expect 1 "$tmp/blank.pgm: " --exact "$tmp/blank.pgm"
expect 1 "" --json "$tmp/blank.pgm"
[ "$(cat "$tmp/out")" = "{\"file\":\"$tmp/blank.pgm\",\"symbols\":0}" ] || { fail "default --json line for a blank frame:"; cat "$tmp/out"; }
expect 1 "$tmp/blank.pgm: read in [0-9]*\.[0-9]\{3\} ms$" --time --json "$tmp/blank.pgm"
expect 1 "" --exact --json "$tmp/blank.pgm"
if ! grep -Eq '^\{"file":"[^"]*blank\.pgm","status":(0|1|null),"statusText":".*","text":"","bytesHex":"","error":(null|".*")\}$' "$tmp/out" \
   || [ "$(wc -l <"$tmp/out")" -ne 1 ]; then fail "--json line for a blank frame:"; cat "$tmp/out"; fi

# --json on the bundled samples: with --exact one line per file, status 2 and the expected text; by
# default one line per symbol (one per sample) with the whole-frame keys and the expected text.
exact=$("$bin" --exact --json "$samples"/*.png) || fail "--exact --json on the samples: exit $?"
json=$("$bin" --json "$samples"/*.png) || fail "--json on the samples: exit $?"
files=$(ls "$samples"/*.png | wc -l)
[ "$(grep -c '"status":2,' <<<"$exact")" -eq "$files" ] || fail "not every sample has status 2: $exact"
keys='^\{"file":"[^"]*","text":".*","bytesHex":"([0-9a-f]{2})+","gs1":(true|false),"structuredAppend":(null|\{"index":[0-9]+,"count":[0-9]+,"id":".*"\}),"readerInitialisation":(true|false),"format":"(compact|full-range|rune)","layers":[0-9]+,"dataCodewords":[0-9]+,"checkCodewords":[0-9]+,"correctedCodewords":[0-9]+,"rotation":[0-3],"mirrored":(true|false),"inverted":(true|false),"corners":\[(\[-?[0-9.]+,-?[0-9.]+\],?){4}\]\}$'
[ "$(grep -cE "$keys" <<<"$json")" -eq "$files" ] && [ "$(wc -l <<<"$json")" -eq "$files" ] \
  || fail "--json should give one line with the whole-frame keys per sample: $json"
while IFS= read -r line; do
  text=${line#*: } name=${line%%: *}
  grep -qF "\"text\":\"$text\"" <<<"$exact" || fail "--exact --json: no line with text: $text"
  grep -F "\"file\":\"$samples/${name##*/}\"" <<<"$json" | grep -qF "\"text\":\"$text\"" \
    || fail "--json: no line for ${name##*/} with text: $text"
done <"$samples/expected-output.txt"
grep -F 'rotated-mirrored.png"' <<<"$json" | grep -q '"format":"compact".*"rotation":3,"mirrored":true,"inverted":false' \
  || fail "rotated-mirrored.png: format/orientation"
grep -F 'full-range-boarding.png"' <<<"$json" | grep -q '"format":"full-range","layers":6,' \
  || fail "full-range-boarding.png: format/layers"

# --debug: a picture per frame, in colour and of the frame's size; an unwritable directory is one
# line and exit 2 before anything is read or written.
"$make" raw 120x90 ONE >"$tmp/one.raw"
expect 0 "" --debug "$tmp/debug" --size 120x90 "$tmp/one.raw"
# The PNG header: width, height, bit depth 8, colour type 2 (RGB).
[ "$(od -An -tu1 -j16 -N10 "$tmp/debug/one.raw-frame0.png" 2>/dev/null | xargs)" = "0 0 0 120 0 0 0 90 8 2" ] \
  || { fail "--debug wrote no 120x90 RGB picture"; ls -la "$tmp/debug"; }
expect 2 "cannot create debug directory '$tmp/one.raw/d'" --debug "$tmp/one.raw/d" --json "$tmp/blank.pgm"
[ -s "$tmp/out" ] && fail "output written despite an unwritable --debug directory"

# A file error among readable files: the others are still reported, exit 2 wins.
expect 2 "$tmp/missing.png: cannot open" --json "$tmp/blank.pgm" "$tmp/missing.png"
grep -q '"file":"[^"]*blank.pgm"' "$tmp/out" || fail "blank.pgm not reported next to a missing file"

# Broken streams: one line naming the problem and the frame; exit 2 when no frame could be read.
printf 'YUV4MPEG2 W16 Hx\n' >"$tmp/bad-height.y4m"
printf 'YUV4MPEG2 H16 F25:1\nFRAME\n' >"$tmp/no-width.y4m"
printf 'YUV4MPEG2 W16 H16 C420p10\nFRAME\n' >"$tmp/deep.y4m"
printf 'YUV4MPEG2 W16 H16 Cmono\nFRAMX\n' >"$tmp/frame-header.y4m"
"$make" y4mmono 120x90 ONE >"$tmp/one.y4m"
head -c 5000 "$tmp/one.y4m" >"$tmp/cut.y4m"
{ cat "$tmp/one.y4m"; printf 'FRA'; } >"$tmp/cut-header.y4m"
{ "$make" raw 120x90 ONE; head -c 100 /dev/zero; } >"$tmp/trailing.raw"
{ printf 'YUV4MPEG2 '; head -c 20000000 /dev/zero; } >"$tmp/endless-header.y4m"
head -c 3000000 /dev/urandom >"$tmp/garbage"
stdin="$tmp/bad-height.y4m" expect 2 "^aztec-read: - frame 0: broken Y4M header: bad height 'Hx'$" -
expect 2 "no-width.y4m frame 0: broken Y4M header: no width or height$" "$tmp/no-width.y4m"
expect 2 "deep.y4m frame 0: unsupported Y4M colour space 'C420p10'$" "$tmp/deep.y4m"
expect 2 "frame-header.y4m frame 0: bad frame header (FRAME expected)$" "$tmp/frame-header.y4m"
expect 2 "cut.y4m frame 0: cut frame: 4961 bytes, 120x90 needs 10800$" "$tmp/cut.y4m"
expect 0 "cut-header.y4m frame 1: frame header cut short$" "$tmp/cut-header.y4m"
stdin="$tmp/trailing.raw" expect 0 "^aztec-read: - frame 1: partial frame of 100 bytes, 120x90 needs 10800$" --size 120x90 -
stdin="$tmp/endless-header.y4m" expect 2 "frame 0: Y4M header longer than 4096 bytes$" -
stdin="$tmp/garbage" expect 2 "^aztec-read: -: not an image or a Y4M stream (a raw stream needs --size WxH)$" -
# Memory stays bounded on a long stream: 30 camera-like VGA frames, each slower to read than to
# load, take no more memory than 4 (they would take 8 MB more if all were held). A sanitizer
# build would otherwise keep freed memory in quarantine.
"$make" raw 640x480 "camera:HELD FRAMES" >"$tmp/camera.raw"
for i in $(seq 30); do cat "$tmp/camera.raw"; done >"$tmp/camera30.raw"
head -c $((4 * 640 * 480)) "$tmp/camera30.raw" >"$tmp/camera4.raw"
peak() {
  ASAN_OPTIONS="${ASAN_OPTIONS:-}:quarantine_size_mb=0:thread_local_quarantine_size_kb=0" \
    /usr/bin/time -f %M "$bin" --threads 4 --size 640x480 "$1" 2>&1 >/dev/null | tail -n 1
}
growth=$(($(peak "$tmp/camera30.raw") - $(peak "$tmp/camera4.raw")))
[ "$growth" -lt 5000 ] || fail "26 more frames took $growth kB more memory"

if [ "$failures" -ne 0 ]; then echo "$failures check(s) failed"; exit 1; fi
echo "all checks passed"
