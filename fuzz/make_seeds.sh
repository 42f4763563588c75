#!/bin/sh
# Writes seed inputs for the fuzz targets into DIR/<target>/; CPU_TIERS is the
# build's cpu_tiers program, which lists the kernel tiers (run under
# CHUNKTOOLS_TOOL_WRAPPER, an emulator's command, when that is set); the
# TARGETs are the build's fuzz targets, each of which gets a folder.
# Usage: make_seeds.sh DIR CPU_TIERS TARGET...
set -eu
out=$1
cpu_tiers=$2
shift 2
for target in "$@"; do mkdir -p "$out/$target"; done

# le N WIDTH: N as WIDTH little-endian bytes.
le() { n=$1; k=0; while [ "$k" -lt "$2" ]; do
  printf "\\$(printf %o $((n % 256)))"; n=$((n / 256)); k=$((k + 1)); done; }
# bytes N: N pseudo-random bytes. Each call continues from a fixed seed, so the
# same seeds are made every time and an input that found something can be
# made again.
seed=20261209
bytes() {
  seed=$((seed + 1))
  LC_ALL=C awk -v n="$1" -v seed="$seed" 'BEGIN { srand(seed); for (i = 0; i < n; i++) printf "%c", int(rand() * 256) }'
}

# Hasher: no extra ends, and an end every 150 bytes; random, zero and text data.
{ le 0 2; bytes 3000; } > "$out/chunk_hasher_fuzz/random"
{ le 150 2; head -c 3000 /dev/zero; } > "$out/chunk_hasher_fuzz/zeros"
{ le 77 2; i=0; while [ $i -lt 60 ]; do printf 'the chunk of data and a stream\n'; i=$((i + 1)); done; } \
  > "$out/chunk_hasher_fuzz/text"

# Fast chunker: each tier; whole segments and odd spans; one segment, 700-byte
# segments.
tiers=$(${CHUNKTOOLS_TOOL_WRAPPER:-} "$cpu_tiers" | wc -l)
tier=0
while [ "$tier" -lt "$tiers" ]; do
  { le $tier 1; le 0 2; le 0 2; bytes 5000; } > "$out/fast_chunker_fuzz/tier$tier"
  { le $tier 1; le 700 2; le 61 2; bytes 5000; } > "$out/fast_chunker_fuzz/split$tier"
  tier=$((tier + 1))
done
{ le 3 1; le 0 2; le 13 2; head -c 4000 /dev/zero; } > "$out/fast_chunker_fuzz/zeros"

# chunksig: narrowed fields (flags 0) and raw fields (flags 1 and 0x41).
{ le 0 1; le 0 2; le 1024 2; bytes 1024; le 600 4; le 0 6; } > "$out/chunksig_fuzz/one_segment"
{ le 0 1; le 100 2; le 1024 2; bytes 1024; le 50 4; le 0 6; le 300 4; le 50 6; le 20 4; le 400 6; } \
  > "$out/chunksig_fuzz/worked_example"
{ le 0 1; le 0 2; le 0 2; le 300 4; le 2000 6; le 100 4; le 0 6; printf 'abc'; } > "$out/chunksig_fuzz/gap_stale_partial"
{ le 1 1; le 16 2; le 200 2; bytes 200; le 4294967295 4; le 1 6; le 70000 4; le 0 6; } > "$out/chunksig_fuzz/raw_huge"
{ le 65 1; le 1 2; le 100 2; bytes 100; le 300 4; le 4294967296 6; } > "$out/chunksig_fuzz/raw_beyond_4gib"

# idxdump: whole entries, extremes, and a partial tail.
{ head -c 40 /dev/zero; bytes 80; printf 'partial'; } > "$out/idxdump_fuzz/mixed"
{ i=0; while [ $i -lt 40 ]; do printf '\377'; i=$((i + 1)); done; } > "$out/idxdump_fuzz/all_ones"

# sigdump: the worked example's records, the longest chunks, and a partial tail.
{ le 3529853644 4; le 2708827716 4; le 180 2; le 1638415009 4; le 650626087 4; le 155 2; printf 'part'; } \
  > "$out/sigdump_fuzz/example"
{ i=0; while [ $i -lt 30 ]; do printf '\377'; i=$((i + 1)); done; } > "$out/sigdump_fuzz/all_ones"

# seglist: good lines of every shape, then a bad one; numbers at the limits.
printf '# regions\n0 600\n\t4096  7 4103\r\n\n  # more\n12 5\nbad\n1 1\n' > "$out/seglist_fuzz/lines"
printf '281474976710655 4294967295\n281474976710656 1\n' > "$out/seglist_fuzz/offset_limit"
printf '0 4294967295\n0 4294967296\n0 0\n' > "$out/seglist_fuzz/length_limit"
printf '1 2 3 4\n' > "$out/seglist_fuzz/four_fields"

# sigdiff: OLD's record count and loose bytes, how OLD is cut in files, then
# OLD and NEW; shared, new, repeated and all-ones records.
rec() { le "$1" 4; le "$2" 4; le "$3" 2; }
{ le 2 1; le 0 1; le 0 1; rec 1 2 100; rec 3 4 200; rec 3 4 200; rec 5 6 300; rec 5 6 300; rec 1 2 100; } \
  > "$out/sigdiff_fuzz/shared_and_new"
{ le 1 1; le 3 1; le 4 1; rec 4294967295 4294967295 65535; printf 'abc'; rec 4294967295 4294967295 65535; rec 7 7 7; } \
  > "$out/sigdiff_fuzz/all_ones_and_partial"
{ le 0 1; le 0 1; le 0 1; rec 9 9 9; rec 9 9 9; printf 'tail'; } > "$out/sigdiff_fuzz/old_empty"
{ le 4 1; le 0 1; le 5 1; rec 1 1 1; rec 2 2 2; rec 3 3 3; rec 4 4 4; rec 4 4 4; rec 5 5 5; rec 2 2 2; } \
  > "$out/sigdiff_fuzz/old_in_three_files"

# chunkcat: the data's length in 4-byte units, the data, then the chunk
# lines; every chunk of "the quick brown fox..." as sigdump lists it, one
# beyond the end (0xFF bytes), one whose CRCs do not match, and a bad line.
{ le 11 1; printf 'the quick brown fox jumps over th'; printf 'e lazy dog ';
  printf '0 9 96F5AE3E 7A6D36DB\n9 10 7C3D7BBD 47F7D7F4\n40 5 C25E0E83 C6F2F1D1\n'; } \
  > "$out/chunkcat_fuzz/lines"
{ le 2 1; printf 'abcdefgh'; printf '0 8 00000000 00000000\n'; } > "$out/chunkcat_fuzz/mismatch"
{ le 1 1; printf 'abcd'; printf '0 0 00000000 00000000\n1 2 3\n'; } > "$out/chunkcat_fuzz/bad_lines"

