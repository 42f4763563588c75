#!/bin/sh
# sigdiff on signature files of RECORDS records in every shape of
# bench/sig_shapes (identical, an insertion near the start, scattered edits
# with deletions of hundreds of records, all new, reversed, one chunk over and
# over), then the scattered shape with OLD or NEW through a pipe, with OLD in
# four files, and within a 64 MiB memory budget; each against `sigdump NEW >
# /dev/null`, best of REPEAT rounds, the summary checked against the shape's.
# Prints, per row, the seconds and the ratios to sigdump of --summary and of
# the lines (to /dev/null), and the target for the lines: 1.25 + the share of
# NEW's records printed.
# Usage: bench/sigdiff_shapes.sh BUILD_DIR WORK_DIR RECORDS REPEAT
set -eu
build=$1 work=$2 records=$3 repeat=$4

# time_once OUTPUT COMMAND...: one run, NEW read first; $s seconds, $m KiB.
time_once() {
  output=$1
  shift
  cat "$work/new.sig" "$work/old.sig" > /dev/null
  result=$("$build/bench/timed_run" "$output" "$@") ||
    { echo "FAILED: $*" >&2; exit 1; }
  s=${result% *} m=${result#* }
}

# keep_best NAME: keeps $s as NAME_s when it is the best so far, and $m as
# NAME_m when it is the largest.
keep_best() {
  eval "best=\${$1_s:-}"
  if [ -z "$best" ] || awk "BEGIN { exit !($s < $best) }"; then eval "$1_s=$s"; fi
  eval "most=\${$1_m:-0}"
  [ "$m" -gt "$most" ] && eval "$1_m=$m"
  return 0
}

printf "%-34s %8s %8s %6s %8s %6s %6s %8s\n" "shape ($records records a file)" "sigdump" "summary" "x" \
  "lines" "x" "target" "RSS MiB"
# time_summary, time_lines: one run of the row's $script, with --summary (its
# line checked) and with its lines to /dev/null.
time_summary() {
  time_once "$work/summary" env flag=--summary sigdiff="$build/sigdiff" old="$work/old.sig" new="$work/new.sig" \
    work="$work" sh -c "$script; [ \$? -le 1 ]"
  keep_best summary
  cmp -s "$work/summary" "$work/expected" ||
    { echo "FAILED: $label: sigdiff --summary gave $(cat "$work/summary"), not $(cat "$work/expected")"; exit 1; }
}
time_lines() {
  time_once /dev/null env flag= sigdiff="$build/sigdiff" old="$work/old.sig" new="$work/new.sig" work="$work" \
    sh -c "$script; [ \$? -le 1 ]"
  keep_best lines
}
# row LABEL SCRIPT: times, once a round, sigdump NEW, then the shell SCRIPT
# (which reads $sigdiff, $old, $new and $flag) with flag=--summary and with
# no flag, its lines to /dev/null, and prints the row: the three side by side
# in every round, as this machine's speed drifts from one minute to the next.
row() {
  label=$1 script=$2
  sigdump_s= summary_s= summary_m=0 lines_s= lines_m=0
  round=0
  while [ "$round" -lt "$repeat" ]; do
    time_once /dev/null "$build/sigdump" "$work/new.sig"
    keep_best sigdump
    # The two sigdiff runs change places every round: here a run that
    # follows another's freeing of as much memory gets its memory sooner.
    if [ $((round % 2)) -eq 0 ]; then
      time_summary
      time_lines
    else
      time_lines
      time_summary
    fi
    round=$((round + 1))
  done
  [ "$lines_m" -gt "$summary_m" ] && summary_m=$lines_m
  awk -v label="$label" -v d="$sigdump_s" -v s="$summary_s" -v l="$lines_s" -v m="$summary_m" \
    -v summary="$(cat "$work/expected")" 'BEGIN {
      split(summary, word, " "); f = word[3] / word[1]
      printf "%-34s %8.3f %8.3f %6.2f %8.3f %6.2f %6.2f %8.1f\n", label, d, s, s / d, l, l / d, 1.25 + f, m / 1024 }'
}

for shape in identical insertion scattered all-new reversed one-chunk; do
  "$build/bench/sig_shapes" "$work/old.sig" "$work/new.sig" "$shape" "$records" > "$work/expected"
  row "$shape" '"$sigdiff" $flag "$old" "$new"'
done
"$build/bench/sig_shapes" "$work/old.sig" "$work/new.sig" scattered "$records" > "$work/expected"
row "scattered, NEW through a pipe" 'cat "$new" | "$sigdiff" $flag "$old" /dev/stdin'
row "scattered, OLD through a pipe" 'cat "$old" | "$sigdiff" $flag /dev/stdin "$new"'
quarter=$(( $(wc -c < "$work/old.sig") / 40 * 10 ))
split -b "$quarter" -a 1 "$work/old.sig" "$work/old.part."
row "scattered, OLD in four files" '"$sigdiff" $flag "$work"/old.part.* "$new"'
rm -f "$work"/old.part.*
row "scattered, CHUNKTOOLS_MEMORY=64M" 'CHUNKTOOLS_MEMORY=64M TMPDIR="$work" "$sigdiff" $flag "$old" "$new"'
rm -f "$work/old.sig" "$work/new.sig" "$work/summary" "$work/expected"
