#!/bin/sh
# Runs the README's worked example and common jobs as a reader would, in one
# shell, in a scratch folder, with the built tools on the PATH. A code block
# followed by a text block must print exactly that text (standard output and
# standard error together); every block must run without a shell error.
# Usage: readme_test.sh README BUILD_DIR
set -u
readme=$1
build=$(cd "$2" && pwd)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir "$scratch/clone" "$scratch/example"
ln -s "$build" "$scratch/clone/build"

# Split the part of the README from the worked example to the install section
# into numbered blocks: N.sh for shell code, N.txt for the text that follows it.
awk -v dir="$scratch" '
  /^## A worked example/ { on = 1 }
  /^## Install and packages/ { on = 0 }
  !on { next }
  /^```sh$/ { n++; file = dir "/" n ".sh"; next }
  /^```text$/ { if (n) file = dir "/" n ".txt"; next }
  /^```$/ { file = ""; next }
  file != "" { print > file }
' "$readme"

script="$scratch/all.sh"
echo 'cd "$1"' > "$script"
# In the README's order: block 10 after block 9.
for n in $(cd "$scratch" && ls | sed -n 's/^\([0-9]*\)\.sh$/\1/p' | sort -n); do
  block="$scratch/$n.sh"
  # The example's scratch folder becomes this test's own.
  sed "s|/tmp/chunk-example|$scratch/example|g" "$block" > "$block.run"
  printf '{ . "%s"; } > "%s" 2>&1\n' "$block.run" "$scratch/$n.out" >> "$script"
done
(cd "$scratch/clone" && sh "$script" "$scratch/clone")

status=0
for out in "$scratch"/*.out; do
  n=$(basename "$out" .out)
  if grep -q -e 'not found' -e 'syntax error' -e 'unexpected' "$out"; then
    echo "block $n: shell error:"; cat "$out"; status=1
  fi
  if [ -f "$scratch/$n.txt" ] && ! cmp -s "$out" "$scratch/$n.txt"; then
    echo "block $n printed other text than the README shows:"
    diff "$scratch/$n.txt" "$out"; status=1
  fi
done
[ -s "$scratch/1.out" ] || { echo "no block ran"; status=1; }
exit $status
