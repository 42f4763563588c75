#!/bin/sh
# Soak run: chunksig over a generated stream of GIB GiB (default 8) in thousands
# of segments, compared byte for byte with an independent model and with the
# reference build (chunksig_reference), in every CPU tier. Takes minutes.
# Usage: bench/soak.sh [GIB [BUILD_DIR]]
set -eu
gib=${1:-8}
build=${2:-build}
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT

echo "generating a ${gib} GiB stream and its expected output..."
start=$(date +%s)
"$build/bench/soak_model" "$dir" "$gib"
echo "model: $(( $(date +%s) - start )) s, $(( $(wc -c < "$dir/segments") / 10 )) segments"

check() {  # label command...: the run must match the model exactly
  label=$1
  shift
  start=$(date +%s)
  status=0
  "$@" "$dir/base" "$dir/data" "$dir/segments" "$dir/signatures" > "$dir/console" || status=$?
  echo "$label: $(( $(date +%s) - start )) s, exit code $status"
  [ "$status" -eq 0 ] || { echo "FAIL: exit code $status"; exit 1; }
  cmp "$dir/console" "$dir/expected.console" || { echo "FAIL: console output differs"; exit 1; }
  cmp "$dir/signatures" "$dir/expected.signatures" || { echo "FAIL: signature file differs"; exit 1; }
}

check "chunksig" "$build/chunksig"
for tier in $("$build/cpu_tiers" supported); do
  check "chunksig, tier capped at $tier" env CHUNKTOOLS_CPU_TIER=$tier "$build/chunksig"
done
check "chunksig_reference" "$build/chunksig_reference"
echo "soak OK: $(wc -l < "$dir/console") lines, $(( $(wc -c < "$dir/signatures") / 10 )) signature records, identical"
