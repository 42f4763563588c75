#!/bin/sh
# The kernel files compiled with a tier's instruction-set flags define no code
# that other files may share: no weak (ELF) or COMDAT (PE) function, as an
# inline function or template instantiated there would be. Where several files
# define one, the linker keeps any one copy for all of its callers, so
#  - a copy built for a higher tier could run on a CPU without it, and
#  - on Windows, GCC compiles each caller to keep values in the registers its
#    own file's copy leaves alone, which another file's copy may not (this is
#    how a test program mixing -O1 and -O3 files once spun for ever under Wine).
# Usage: tier_objects_test.sh NM OBJDUMP OBJECT...
set -u
nm_tool=$1
objdump_tool=$2
shift 2
status=0
for object in "$@"; do
  # ELF: weak definitions; i686's program-counter thunks are the same
  # few bytes in every file.
  weak=$("$nm_tool" --defined-only "$object" | awk '$2 ~ /^[WVu]$/ {print $3}' | grep -v '^__x86\.get_pc_thunk\.')
  # PE: code sections the linker keeps one copy of.
  comdat=$("$objdump_tool" -h "$object" | grep -B1 'CODE.*LINK_ONCE' | awk '$2 ~ /^\.text/ {print $2}')
  if [ -n "$weak$comdat" ]; then
    echo "$object defines code other files may share:" $weak $comdat
    status=1
  fi
done
[ $# -gt 0 ] || { echo "no object files given"; status=1; }
exit $status
