#!/bin/sh
# The rooms of the source tree keep to their arrows: no tool's folder includes
# a file of another tool's folder, and the shared rooms (common/, records/,
# chunking/) include no tool's folder at all. Also, no source outside the
# top-level CMakeLists.txt lists all the tools by hand: the build's list is
# the one place, and everything else derives from it.
# Usage: rooms_test.sh SOURCE_DIR TOOL...
set -u
source=$1
shift
status=0
for tool in "$@"; do
  for folder in "$@" common records chunking; do
    [ "$folder" = "$tool" ] && continue
    [ -d "$source/$folder" ] || continue
    found=$(grep -rln "#include \"$tool/" "$source/$folder")
    if [ -n "$found" ]; then
      echo "$found: includes a file of $tool/"
      status=1
    fi
  done
done
# A line naming every tool, outside the list and the documents for people.
for file in $(cd "$source" && find . -path ./build\* -prune -o -path ./.git -prune -o -type f \
    \( -name '*.cpp' -o -name '*.h' -o -name '*.cmake' -o -name 'CMakeLists.txt' -o -name '*.sh' \
       -o -name Makefile \) -print); do
  [ "$file" = ./CMakeLists.txt ] && continue
  lines=$(grep -n . "$source/$file" | while IFS= read -r line; do
    all=yes
    for tool in "$@"; do
      case "$line" in *"$tool"*) ;; *) all=no ;; esac
    done
    [ $all = yes ] && echo "$line"
  done)
  if [ -n "$lines" ]; then
    echo "$file lists the tools by hand: $lines"
    status=1
  fi
done
exit $status
