#!/bin/sh
# The benchmark: chunksig, its reference build, cat (the I/O floor) and, if
# installed, rdiff on one generated stream held in the page cache; sigdiff on
# the signatures of two versions of it, against sigdump and an awk recipe;
# then idxdump against a printf-per-field baseline. Every timing is the best of REPEAT runs,
# each right after the input is read once more, so that it is cached; the
# stream's commands run in rounds, each once a round.
# Where Wine is installed and WIN32_BUILD and WIN64_BUILD name built Windows
# folders, the 32- and 64-bit chunksig.exe are timed under Wine as well. Where
# BASELINE_BUILD names another build folder, its chunksig runs in every round
# too, for a before-and-after ratio from one run.
# Usage: bench/run.sh [MIB [BUILD_DIR [REPEAT]]]
set -eu
mib=${1:-1024}
build=${2:-build}
repeat=${3:-3}
bytes=$((mib * 1048576))
entries=$((mib * 2048))
work=$(mktemp -d "${TMPDIR:-/var/tmp}/chunktools-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT

# Deterministic inputs: the same random stream cut into one segment and into
# 4 KiB segments, and an index.
"$build/samplegen" stream "$work/one" "$bytes" > /dev/null
"$build/samplegen" stream "$work/4k" "$bytes" 4096 > /dev/null
cmp -s "$work/one/data" "$work/4k/data" && rm "$work/4k/data"
data=$work/one/data
"$build/samplegen" index "$work/index" "$entries" > /dev/null

# best INPUT OUTPUT COMMAND...: sets $seconds and $rss_kib to the best of the
# runs. A failing command ends the benchmark.
best() {
  input=$1 output=$2
  shift 2
  seconds= rss_kib=
  run=0
  while [ "$run" -lt "$repeat" ]; do
    time_once "$input" "$output" "$@"
    if [ -z "$seconds" ] || awk "BEGIN { exit !($s < $seconds) }"; then seconds=$s; fi
    if [ -z "$rss_kib" ] || [ "$m" -gt "$rss_kib" ]; then rss_kib=$m; fi
    run=$((run + 1))
  done
}

# time_once INPUT OUTPUT COMMAND...: one run right after reading INPUT; sets
# $s (seconds) and $m (peak RSS, KiB).
time_once() {
  input=$1 output=$2
  shift 2
  cat "$input" > /dev/null
  [ "$output" = /dev/null ] || rm -f "$output"
  result=$("$build/bench/timed_run" "$output" "$@") || { echo "FAILED: $*" >&2; exit 1; }
  s=${result% *} m=${result#* }
}

# keep NAME: folds the run just timed into the best time and the largest RSS
# of NAME (best_NAME, rss_NAME).
keep() {
  eval "b=\${best_$1:-} r=\${rss_$1:-}"
  if [ -z "$b" ] || awk "BEGIN { exit !($s < $b) }"; then eval "best_$1=$s"; fi
  if [ -z "$r" ] || [ "$m" -gt "$r" ]; then eval "rss_$1=$m"; fi
}

row() {  # label seconds floor_seconds rss_kib
  awk -v label="$1" -v s="$2" -v floor="$3" -v kib="$4" -v bytes="$bytes" 'BEGIN {
    printf "%-50s %8.3f %8.2f %8.2f %8.1f\n", label, s, bytes / s / 1e9, s / floor, kib / 1024 }'
}

tiers=$("$build/cpu_tiers" supported | tac)  # highest first
win32=${WIN32_BUILD:-}/chunksig.exe win64=${WIN64_BUILD:-}/chunksig.exe
# Each .exe through the Wine loader its build found (CHUNKTOOLS_WINE: wine64
# for x86-64, wine for i686), as the Windows tests run them; the i686 one not
# where configuring its build found that the 32-bit loader cannot start.
wine_loader() { sed -n 's/^CHUNKTOOLS_WINE:[A-Z]*=//p' "$1/CMakeCache.txt" 2> /dev/null; }
wine=no wine32_skipped=
if [ -x "$win32" ] && [ -x "$win64" ]; then
  wine=yes
  wine64=$(wine_loader "$WIN64_BUILD") wine32=$(wine_loader "$WIN32_BUILD")
  [ ! -f "$WIN32_BUILD/wine_skipped.txt" ] || wine32_skipped=$(cat "$WIN32_BUILD/wine_skipped.txt")
  # One Wine server for all the runs, so that none pays for starting it.
  wineserver -p 2> /dev/null || true
fi
# Wine started with the address layout fixed, as the Windows tests start it
# (cmake/mingw-common.cmake says why).
no_aslr=
command -v setarch > /dev/null 2>&1 && no_aslr="setarch -R"
have_rdiff=no
command -v rdiff > /dev/null 2>&1 && have_rdiff=yes

# Rounds: every command once per round, so that all of them meet this
# machine's slow and fast moments alike and their ratios hold.
round=0
while [ "$round" -lt "$repeat" ]; do
  time_once "$data" /dev/null cat "$data"; keep cat
  time_once "$data" "$work/fast.sig.console" "$build/chunksig" "$work/one/base" "$data" "$work/one/segments" \
    "$work/fast.sig"; keep one
  time_once "$data" "$work/fast4k.sig.console" "$build/chunksig" "$work/one/base" "$data" "$work/4k/segments" \
    "$work/fast4k.sig"; keep four_k
  # chunksig -j 2: a file, in one segment and in 4 KiB segments; and through
  # a pipe, with one thread and with two.
  time_once "$data" "$work/jobs.sig.console" "$build/chunksig" -j 2 "$work/one/base" "$data" "$work/one/segments" \
    "$work/jobs.sig"; keep jobs_one
  cmp -s "$work/fast.sig" "$work/jobs.sig" || { echo "FAILED: chunksig -j 2 output differs"; exit 1; }
  time_once "$data" "$work/jobs4k.sig.console" "$build/chunksig" -j 2 "$work/one/base" "$data" "$work/4k/segments" \
    "$work/jobs4k.sig"; keep jobs_four_k
  cmp -s "$work/fast4k.sig" "$work/jobs4k.sig" || { echo "FAILED: chunksig -j 2 output differs (4 KiB)"; exit 1; }
  # The floor of a pipe: one process writing it, one reading.
  time_once "$data" /dev/null sh -c 'cat "$1" | cat' sh "$data"; keep cat_pipe
  for jobs in 1 2; do
    time_once "$data" "$work/pipe.sig.console" sh -c 'cat "$2" | "$1" -j "$3" "$4" /dev/stdin "$5" "$6"' sh \
      "$build/chunksig" "$data" "$jobs" "$work/one/base" "$work/one/segments" "$work/pipe.sig"; keep "pipe_$jobs"
    cmp -s "$work/fast.sig" "$work/pipe.sig" || { echo "FAILED: chunksig -j $jobs through a pipe differs"; exit 1; }
  done
  if [ -n "${BASELINE_BUILD:-}" ]; then
    time_once "$data" "$work/baseline.sig.console" "$BASELINE_BUILD/chunksig" "$work/one/base" "$data" \
      "$work/one/segments" "$work/baseline.sig"; keep baseline
    cmp -s "$work/fast.sig" "$work/baseline.sig" || { echo "FAILED: $BASELINE_BUILD/chunksig output differs"; exit 1; }
  fi
  for tier in $tiers; do
    time_once "$data" "$work/$tier.sig.console" env CHUNKTOOLS_CPU_TIER="$tier" "$build/chunksig" \
      "$work/one/base" "$data" "$work/one/segments" "$work/$tier.sig"; keep "tier_$tier"
    cmp -s "$work/fast.sig" "$work/$tier.sig" || { echo "FAILED: $tier output differs"; exit 1; }
  done
  if [ "$have_rdiff" = yes ]; then
    # -f: each round overwrites the signature of the round before.
    time_once "$data" /dev/null rdiff -f signature "$data" "$work/rdiff.sig"; keep rdiff
  fi
  if [ "$wine" = yes ]; then
    for exe in "$win64" "$win32"; do
      loader=$wine64
      if [ "$exe" = "$win32" ]; then
        [ -z "$wine32_skipped" ] || continue
        loader=$wine32
      fi
      time_once "$data" "$work/wine.sig.console" env WINEDEBUG=-all $no_aslr "$loader" "$exe" "$work/one/base" "$data" \
        "$work/one/segments" "$work/wine.sig"
      cmp -s "$work/fast.sig" "$work/wine.sig" || { echo "FAILED: $exe output differs"; exit 1; }
      case $exe in "$win64") keep wine64 ;; *) keep wine32 ;; esac
    done
  fi
  round=$((round + 1))
done
[ "$wine" = no ] || wineserver -k 2> /dev/null || true

echo "Stream: $mib MiB of random bytes, in the page cache. Best of $repeat rounds, every command once a round."
printf "%-50s %8s %8s %8s %8s\n" "command" "seconds" "GB/s" "x cat" "RSS MiB"
floor=$best_cat
row "cat data" "$best_cat" "$floor" "$rss_cat"
row "chunksig, one segment" "$best_one" "$floor" "$rss_one"
row "chunksig, 4 KiB segments" "$best_four_k" "$floor" "$rss_four_k"
row "chunksig -j 2, one segment" "$best_jobs_one" "$floor" "$rss_jobs_one"
row "chunksig -j 2, 4 KiB segments" "$best_jobs_four_k" "$floor" "$rss_jobs_four_k"
row "cat DATA | cat (a pipe)" "$best_cat_pipe" "$floor" "$rss_cat_pipe"
row "cat DATA | chunksig -j 1 (a pipe), one segment" "$best_pipe_1" "$floor" "$rss_pipe_1"
row "cat DATA | chunksig -j 2 (a pipe), one segment" "$best_pipe_2" "$floor" "$rss_pipe_2"
echo "(targets, x cat: -j 1 3.0; -j 2 2.5 from a file, 3.2 through a pipe; $(nproc) CPUs online)"
if [ -n "${BASELINE_BUILD:-}" ]; then
  row "chunksig of $BASELINE_BUILD, one segment" "$best_baseline" "$floor" "$rss_baseline"
  awk -v a="$best_one" -v b="$best_baseline" 'BEGIN {
    printf "this build takes %.3f times as long as the baseline build\n", a / b }'
fi
for tier in $tiers; do
  eval "row \"chunksig, one segment, tier capped at $tier\" \"\$best_tier_$tier\" \"$floor\" \"\$rss_tier_$tier\""
done

saved_repeat=$repeat
repeat=1
best "$data" "$work/reference.console" "$build/chunksig_reference" "$work/one/base" "$data" \
  "$work/one/segments" "$work/reference.sig"
row "chunksig_reference (per-byte), one run" "$seconds" "$floor" "$rss_kib"
repeat=$saved_repeat
cmp -s "$work/fast.sig" "$work/reference.sig" && cmp -s "$work/fast.sig.console" "$work/reference.console" ||
  { echo "FAILED: chunksig and chunksig_reference differ"; exit 1; }

if [ "$have_rdiff" = yes ]; then
  row "rdiff signature" "$best_rdiff" "$floor" "$rss_rdiff"
  awk -v r="$best_rdiff" -v c="$best_one" 'BEGIN { printf "chunksig is %.2f times as fast as rdiff signature\n", r / c }'
else
  echo "rdiff signature: not installed, not measured"
fi
awk -v a="$best_four_k" -v b="$best_one" 'BEGIN { printf "4 KiB segments take %.2f times as long as one segment\n", a / b }'

if [ "$wine" = yes ]; then
  row "chunksig.exe (x86-64) under Wine, one segment" "$best_wine64" "$floor" "$rss_wine64"
  if [ -n "$wine32_skipped" ]; then
    echo "chunksig.exe (i686) under Wine $wine32_skipped"
  else
    row "chunksig.exe (i686) under Wine, one segment" "$best_wine32" "$floor" "$rss_wine32"
    awk -v a="$best_wine32" -v b="$best_wine64" 'BEGIN {
      printf "the i686 .exe takes %.2f times as long as the x86-64 .exe under Wine\n", a / b }'
  fi
else
  echo "chunksig.exe under Wine: Wine or the Windows builds missing, not measured"
fi
echo "outputs identical across tiers, the reference build and the Windows builds"

# sigdiff on the signatures of the stream and of a copy with a few bytes
# inserted in its middle, against printing NEW with sigdump and against the
# awk recipe that compared two signature files before sigdiff (sigdump both,
# then a hash of OLD's lines in awk). Exit code 1 (something new) is success
# here, so every command runs under the same small shell wrapper.
half=$((bytes / 2))
{ head -c "$half" "$data"; printf 'a few new bytes'; tail -c +$((half + 1)) "$data"; } > "$work/edited"
"$build/seglist" cover "$work/edited" "$work/edited.segs"
"$build/chunksig" /dev/null "$work/edited" "$work/edited.segs" "$work/edited.sig" > /dev/null
rm "$work/edited"
old_sig=$work/fast.sig new_sig=$work/edited.sig
round=0
while [ "$round" -lt "$repeat" ]; do
  time_once "$new_sig" /dev/null sh -c '"$@"; [ $? -le 1 ]' sh "$build/sigdump" "$new_sig"; keep sigdump
  time_once "$new_sig" "$work/sigdiff.out" sh -c '"$@"; [ $? -le 1 ]' sh "$build/sigdiff" "$old_sig" "$new_sig"
  keep sigdiff
  time_once "$new_sig" /dev/null sh -c '"$@"; [ $? -le 1 ]' sh "$build/sigdiff" --summary "$old_sig" "$new_sig"
  keep sigdiff_summary
  # NEW through a pipe: copied to a temporary file first.
  time_once "$new_sig" "$work/sigdiff_pipe.out" sh -c 'cat "$3" | "$1" "$2" /dev/stdin; [ $? -le 1 ]' sh \
    "$build/sigdiff" "$old_sig" "$new_sig"
  keep sigdiff_pipe
  cmp -s "$work/sigdiff.out" "$work/sigdiff_pipe.out" || { echo "FAILED: sigdiff differs with a pipe"; exit 1; }
  round=$((round + 1))
done
awk_recipe='"$1/sigdump" "$2" > "$4/old.txt" && "$1/sigdump" "$3" > "$4/new.txt" &&
  awk '"'"'NR == FNR { seen[$2 " " $3 " " $4]; next } !(($2 " " $3 " " $4) in seen)'"'"' "$4/old.txt" "$4/new.txt"'
time_once "$new_sig" "$work/awk.out" sh -c "$awk_recipe" sh "$build" "$old_sig" "$new_sig" "$work"
keep awk_recipe
rm -f "$work/old.txt" "$work/new.txt"
cmp -s "$work/sigdiff.out" "$work/awk.out" || { echo "FAILED: sigdiff and the awk recipe differ"; exit 1; }
echo
echo "Signatures of the stream and of a copy with 15 bytes inserted in its middle," \
  "$(($(wc -c < "$new_sig") / 10)) records; best of $repeat rounds (the awk recipe: one run)."
printf "%-50s %8s %8s %8s\n" "command" "seconds" "x sigdump" "RSS MiB"
sig_row() {  # label seconds rss_kib
  awk -v label="$1" -v s="$2" -v base="$best_sigdump" -v kib="$3" 'BEGIN {
    printf "%-50s %8.3f %8.2f %8.1f\n", label, s, s / base, kib / 1024 }'
}
sig_row "sigdump NEW > /dev/null" "$best_sigdump" "$rss_sigdump"
sig_row "sigdiff OLD NEW" "$best_sigdiff" "$rss_sigdiff"
sig_row "sigdiff --summary OLD NEW" "$best_sigdiff_summary" "$rss_sigdiff_summary"
sig_row "cat NEW | sigdiff OLD /dev/stdin" "$best_sigdiff_pipe" "$rss_sigdiff_pipe"
sig_row "awk recipe (sigdump both, awk $(awk -W version 2>&1 | head -n 1 | cut -d ' ' -f 1))" "$best_awk_recipe" \
  "$rss_awk_recipe"
awk -v d="$best_sigdiff" -v s="$best_sigdump" -v a="$best_awk_recipe" 'BEGIN {
  printf "sigdiff takes %.2f times as long as sigdump NEW; the awk recipe takes %.0f times as long as sigdiff\n",
    d / s, a / d }'
echo "(sigdiff prints exactly the lines of the awk recipe here: no chunk of NEW is repeated)"

echo
echo "sigdiff in every shape, best of $repeat rounds; times in seconds, x = times sigdump NEW > /dev/null;"
echo "lines go to /dev/null; target = 1.25 + the share of NEW's records printed."
sh "$(dirname "$0")/sigdiff_shapes.sh" "$build" "$work" "${SIGDIFF_RECORDS:-20000000}" "$repeat"

# chunkcat: every chunk of the stream (which gives the stream back), against
# cat of the stream plus sigdump of its signatures; and 1000 chunks picked
# all over it.
"$build/sigdump" "$old_sig" > "$work/all.txt"
awk 'NR % 4191 == 7' "$work/all.txt" | head -n 1000 > "$work/some.txt"
round=0
while [ "$round" -lt "$repeat" ]; do
  time_once "$data" /dev/null cat "$data"; keep cat_again
  time_once "$old_sig" /dev/null "$build/sigdump" "$old_sig"; keep sigdump_all
  time_once "$data" "$work/chunks" sh -c '"$1" "$2" | "$3" "$4"' sh "$build/sigdump" "$old_sig" "$build/chunkcat" \
    "$data"
  keep chunkcat_pipe
  time_once "$data" /dev/null sh -c '"$1" "$2" | "$3" "$4"' sh "$build/sigdump" "$old_sig" "$build/chunkcat" "$data"
  keep chunkcat_pipe_null
  time_once "$data" /dev/null "$build/chunkcat" "$data" "$work/all.txt"; keep chunkcat_all
  time_once "$data" /dev/null "$build/chunkcat" "$data" "$work/some.txt"; keep chunkcat_some
  round=$((round + 1))
done
cmp -s "$work/chunks" "$data" || { echo "FAILED: chunkcat of every chunk is not the stream"; exit 1; }
rm -f "$work/chunks"
echo
echo "chunkcat on the stream, $(wc -l < "$work/all.txt") chunks; best of $repeat rounds."
printf "%-50s %8s %8s\n" "command" "seconds" "x (cat + sigdump)"
floor_chunks=$(awk -v c="$best_cat_again" -v d="$best_sigdump_all" 'BEGIN { print c + d }')
chunk_row() { awk -v label="$1" -v s="$2" -v f="$floor_chunks" 'BEGIN { printf "%-50s %8.3f %8.2f\n", label, s, s / f }'; }
chunk_row "cat DATA > /dev/null" "$best_cat_again"
chunk_row "sigdump SIG > /dev/null" "$best_sigdump_all"
chunk_row "sigdump SIG | chunkcat DATA > /dev/null" "$best_chunkcat_pipe_null"
chunk_row "sigdump SIG | chunkcat DATA > file" "$best_chunkcat_pipe"
chunk_row "chunkcat DATA LIST > /dev/null (every chunk)" "$best_chunkcat_all"
chunk_row "chunkcat DATA LIST > /dev/null (1000 scattered)" "$best_chunkcat_some"
echo "(target: every chunk at most 1.5 x (cat + sigdump); 1000 scattered chunks under 0.02 s)"

echo
echo "Index: $entries entries of 40 bytes, in the page cache. Best of $repeat runs."
printf "%-50s %8s %12s %8s\n" "command, output to" "seconds" "entries/s" "ratio"
best "$work/index" "$work/idxdump.out" "$build/idxdump" "$work/index"
fast_file=$seconds
best "$work/index" "$work/idxdump_printf.out" "$build/bench/idxdump_printf" "$work/index"
baseline_file=$seconds
cmp -s "$work/idxdump.out" "$work/idxdump_printf.out" || { echo "FAILED: idxdump outputs differ"; exit 1; }
best "$work/index" /dev/null "$build/idxdump" "$work/index"
fast_null=$seconds
best "$work/index" /dev/null "$build/bench/idxdump_printf" "$work/index"
baseline_null=$seconds
entry_row() {  # label seconds baseline_seconds
  awk -v label="$1" -v s="$2" -v b="$3" -v n="$entries" 'BEGIN {
    printf "%-50s %8.3f %12.0f %8.2f\n", label, s, n / s, b / s }'
}
entry_row "idxdump_printf (baseline), /dev/null" "$baseline_null" "$baseline_null"
entry_row "idxdump, /dev/null" "$fast_null" "$baseline_null"
entry_row "idxdump_printf (baseline), a new file" "$baseline_file" "$baseline_file"
entry_row "idxdump, a new file" "$fast_file" "$baseline_file"
echo "(idxdump_printf: one read per entry, one printf per field)"
