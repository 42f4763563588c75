#!/bin/sh
# chunksig against chunksig_reference (the same driver over the byte-at-a-time
# ChunkHasher) on generated streams: exit code, console and signature file
# must be identical. The CPU tier comes from CHUNKTOOLS_CPU_TIER, if set.
# With REFERENCE_BUILD_DIR, a native build, its chunksig_reference and
# samplegen are used, and BUILD_DIR's chunksig runs under
# CHUNKTOOLS_TOOL_WRAPPER (an emulator's command).
# Usage: compare_reference.sh BUILD_DIR [REFERENCE_BUILD_DIR]
set -eu
build=$1
reference_build=${2:-$1}
wrapper=
[ $# -lt 2 ] || wrapper=${CHUNKTOOLS_TOOL_WRAPPER:-}
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
le() {  # the `width` bytes of `value`, least significant first
  value=$1 width=$2 i=0
  while [ "$i" -lt "$width" ]; do
    printf "\\$(printf %03o $(( (value >> (8 * i)) & 255 )))"
    i=$((i + 1))
  done
}

compare() {  # name: runs both builds on $dir/base, data, segments
  fast=0 reference=0
  $wrapper "$build/chunksig" "$dir/base" "$dir/data" "$dir/segments" "$dir/fast.sig" > "$dir/fast.out" || fast=$?
  "$reference_build/chunksig_reference" "$dir/base" "$dir/data" "$dir/segments" "$dir/reference.sig" \
    > "$dir/reference.out" || reference=$?
  if [ "$fast" != "$reference" ] || ! cmp -s "$dir/fast.out" "$dir/reference.out" ||
     ! cmp -s "$dir/fast.sig" "$dir/reference.sig"; then
    echo "FAIL: $1 (exit codes $fast and $reference)"
    exit 1
  fi
  echo "same: $1 ($(wc -l < "$dir/fast.out") lines, $(( $(wc -c < "$dir/fast.sig") / 10 )) records)"
}

# stream kind, size, segment length, seed
for stream in "random 25165824 0 1" "random 8388608 4096 2" "random 4194304 1 3" \
            "text 16777216 1000 4" "zeros 8388608 65536 5" "random 3000000 262145 6"; do
  set -- $stream
  rm -f "$dir/base" "$dir/data" "$dir/segments"
  if [ "$3" = 0 ]; then
    "$reference_build/samplegen" stream "$dir" "$2" > /dev/null
    [ "$1" = random ] || exit 2
  else
    "$reference_build/samplegen" stream "$dir" "$2" "$3" "$1" "$4" > /dev/null
  fi
  compare "$1 stream of $2 bytes, segments of $3"
done

# Segments reaching past the data (0xFF from there on), out of order, and a
# base file that starts the stream part way in.
head -c 5000 "$dir/data" > "$dir/base"
{ le 70000 4; le 0 6; le 100 4; le 90000 6; le 0 4; le 300000 6; le 65535 4; le 3000000 6;
  le 1 4; le 1 6; } > "$dir/segments"
compare "segments past the data's end, out of order, base of 5000 bytes"
