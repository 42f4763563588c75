#!/bin/sh
# Installs the build into a scratch prefix and packs it as a .deb extracted
# into a scratch root; the installed chunksig and idxdump must run the sample
# and print exactly what they should, and the manual pages must render.
# Usage: install_test.sh BUILD_DIR VERSION
set -eu
# 77: skipped, where a program the packaging needs is not installed.
for program in cpack dpkg-deb dpkg-shlibdeps file groff gzip; do
  command -v "$program" >/dev/null 2>&1 || { echo "$program not installed: skipped"; exit 77; }
done
build=$(cd "$1" && pwd)
version=$2
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

"$build/samplegen" example "$scratch/sample"
expected_console='fptr=0
00000258 00000258 00000258 00000000 00000258 !!!'
expected_signatures=' cc 4a 65 d2 44 6e 75 a1 b4 00
 a1 3a a8 61 27 c4 c7 26 9b 00
 c1 30 86 c7 b0 f7 04 b6 65 00
 a1 3a a8 61 27 c4 c7 26 9b 00
 8b f2 bc fa 71 9f a5 3e 09 00'

fail() { echo "FAIL: $*"; exit 1; }

# Runs the tools found in $1/bin and checks their output and manual pages.
check_installed() {
  root=$1
  cd "$scratch/sample"
  [ "$("$root/bin/chunksig" base data segments signatures)" = "$expected_console" ] ||
    fail "$root/bin/chunksig output"
  [ "$(od -An -tx1 -w10 signatures)" = "$expected_signatures" ] || fail "$root signature file"
  [ "$("$root/bin/idxdump" index | wc -l)" -eq 3 ] || fail "$root/bin/idxdump output"
  for page in chunksig idxdump; do
    file="$root/share/man/man1/$page.1.gz"
    gzip -dc "$file" | groff -t -man -Tutf8 -ww 2>&1 >/dev/null | grep . && fail "$file renders with warnings"
    gzip -dc "$file" | groff -t -man -Tutf8 2>/dev/null | grep -q "^ *$page - " || fail "$file has no NAME line"
    gzip -dc "$file" | grep -q "^\.TH .*\"chunktools $version\"" || fail "$file does not name version $version"
  done
  return 0
}

cmake --install "$build" --prefix "$scratch/prefix" >/dev/null
check_installed "$scratch/prefix"

(cd "$build" && cpack -G DEB -B "$scratch/packages" >/dev/null)
deb=$(ls "$scratch"/packages/*.deb)
[ "$(dpkg-deb -f "$deb" Package)" = chunktools ] || fail "package name"
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "package version"
dpkg-deb -f "$deb" Depends | grep -q libc6 || fail "package dependencies"
dpkg -x "$deb" "$scratch/root"
check_installed "$scratch/root/usr"
echo "install and package OK: $(basename "$deb")"
