#!/usr/bin/env bash
# aztec-read on frame streams made here from rendered frames: raw and Y4M through standard input
# and from files, --dedupe, --first, --threads, a directory tree, and a Y4M written by ffmpeg.
# Usage: aztec_read_stream_test.sh AZTEC_READ MAKE_STREAM SAMPLES_DIR
set -u
bin=$1
make=$2
samples=$3
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
failures=0
fail() { echo "FAIL: $1"; failures=$((failures + 1)); }

# check NAME EXPECTED_STDOUT COMMAND...: stdout must be exactly EXPECTED (lines joined by '|'),
# stderr empty and the exit status 0.
check() {
  local name=$1 want=$2
  shift 2
  local got status
  got=$("$@" 2>"$tmp/err" | paste -sd '|')
  status=${PIPESTATUS[0]}
  [ "$got" = "$want" ] || fail "$name: got '$got', expected '$want'"
  [ "$status" -eq 0 ] && [ ! -s "$tmp/err" ] || { fail "$name: exit $status, stderr:"; cat "$tmp/err"; }
}

ab='frame 0: ALPHA|frame 2: BRAVO'
"$make" raw 160x120 ALPHA . BRAVO >"$tmp/ab.raw"
check "raw file" "$ab" "$bin" --size 160x120 "$tmp/ab.raw"
check "raw stdin" "$ab" sh -c "'$bin' --size 160x120 - <'$tmp/ab.raw'"
# Odd sizes round the colour planes up; the frames after the first show a wrong plane size.
for fmt in y4m420 y4m422 y4m444 y4mmono; do
  "$make" $fmt 161x121 ALPHA . BRAVO >"$tmp/ab.$fmt"
  check "$fmt file" "$ab" "$bin" "$tmp/ab.$fmt"
  check "$fmt stdin" "$ab" sh -c "'$bin' - <'$tmp/ab.$fmt'"
done
# An image on standard input has no frame index.
check "png stdin" "$(sed -n 's|^[^:]*compact-ticket.png: ||p' "$samples/expected-output.txt")" \
  sh -c "'$bin' - <'$samples/compact-ticket.png'"

# JSON lines carry the frame index and, with a frame rate, the frame's time.
"$make" y4mmono 120x90 --fps 25 . . CHARLIE >"$tmp/rate.y4m"
"$bin" --json "$tmp/rate.y4m" | grep -q '^{"file":"[^"]*rate.y4m","frame":2,"timeSeconds":0.080,"text":"CHARLIE",' \
  || fail "JSON frame and timeSeconds"
"$make" raw 120x90 CHARLIE | "$bin" --json --size 120x90 - | grep -q '^{"file":"-","frame":0,"text":"CHARLIE",' \
  || fail "JSON frame without a frame rate"

# The same symbol in every frame; two symbols in turn; a symbol back after a gap.
"$make" raw 120x90 SAME SAME SAME SAME SAME >"$tmp/same.raw"
"$make" raw 120x90 ONE TWO ONE TWO ONE >"$tmp/turns.raw"
"$make" raw 120x90 GAP GAP . . . GAP GAP >"$tmp/gap.raw"
check "no dedupe" 'frame 0: SAME|frame 1: SAME|frame 2: SAME|frame 3: SAME|frame 4: SAME' \
  "$bin" --size 120x90 "$tmp/same.raw"
check "dedupe" 'frame 0: SAME' "$bin" --dedupe --size 120x90 "$tmp/same.raw"
check "turns" 'frame 0: ONE|frame 1: TWO|frame 2: ONE|frame 3: TWO|frame 4: ONE' "$bin" --size 120x90 "$tmp/turns.raw"
check "turns dedupe" 'frame 0: ONE|frame 1: TWO' "$bin" --dedupe --size 120x90 "$tmp/turns.raw"
# GAP last seen at frame 1: frame 5 prints it again with a 3-frame window, not with 4.
check "dedupe window" 'frame 0: GAP|frame 5: GAP' "$bin" --dedupe=3 --size 120x90 "$tmp/gap.raw"
check "dedupe wide window" 'frame 0: GAP' "$bin" --dedupe=4 --size 120x90 "$tmp/gap.raw"

# --first stops at the first frame with a symbol, whatever the threads.
"$make" raw 120x90 . . FIRST SECOND . >"$tmp/first.raw"
for t in 1 4; do check "first, $t threads" 'frame 2: FIRST' "$bin" --first --threads $t --size 120x90 "$tmp/first.raw"; done

# Output in frame order whatever the number of threads: slow camera-like frames among quick
# plain ones, which finish first when read side by side.
frames=()
for i in $(seq 1 12); do
  case $((i % 4)) in 0) frames+=(.) ;; 1) frames+=("camera:SLOW FRAME $i WITH A LONGER MESSAGE") ;; *) frames+=("Q$i") ;; esac
done
"$make" y4m420 640x480 "${frames[@]}" >"$tmp/mixed.y4m"
one=$("$bin" --json --threads 1 "$tmp/mixed.y4m")
four=$("$bin" --json --threads 4 "$tmp/mixed.y4m")
[ "$(grep -c '"frame"' <<<"$one")" -eq 9 ] || fail "mixed stream: expected 9 symbol lines, got: $one"
[ "$one" = "$four" ] || fail "1 and 4 threads differ"

# A directory tree: images by content whatever their names, other files skipped silently.
mkdir -p "$tmp/tree/b/c" "$tmp/tree/a"
cp "$samples/compact-ticket.png" "$tmp/tree/b/c/photo.dat"
cp "$samples/upside-down-order.png" "$tmp/tree/a/order.png"
"$make" pgm 120x90 PGM-FRAME >"$tmp/tree/b/frame"
cp "$tmp/rate.y4m" "$tmp/tree/b/z.y4m"
echo "not an image" >"$tmp/tree/a/notes.png"
head -c 5000 /dev/urandom >"$tmp/tree/b/c/noise.bin"
check "directory" "$(printf '%s\n' \
  "$tmp/tree/a/order.png: $(sed -n 's|^[^:]*upside-down-order.png: ||p' "$samples/expected-output.txt")" \
  "$tmp/tree/b/c/photo.dat: $(sed -n 's|^[^:]*compact-ticket.png: ||p' "$samples/expected-output.txt")" \
  "$tmp/tree/b/frame: PGM-FRAME" \
  "$tmp/tree/b/z.y4m: frame 2: CHARLIE" | paste -sd '|')" "$bin" "$tmp/tree"

# ffmpeg's own Y4M (4:2:0 with its header extensions) from the rendered raw frames.
if command -v ffmpeg >/dev/null; then
  ffmpeg -loglevel error -f rawvideo -pix_fmt gray -s 160x120 -r 10 -i "$tmp/ab.raw" -f yuv4mpegpipe \
    -pix_fmt yuv420p - >"$tmp/ffmpeg.y4m" || fail "ffmpeg failed"
  "$bin" --json - <"$tmp/ffmpeg.y4m" | grep -q '"frame":2,"timeSeconds":0.200,"text":"BRAVO"' || fail "ffmpeg Y4M"
else
  echo "ffmpeg not installed: its Y4M is not tested"
fi

if [ "$failures" -ne 0 ]; then echo "$failures check(s) failed"; exit 1; fi
echo "all checks passed"
