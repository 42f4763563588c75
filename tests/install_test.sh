#!/bin/sh
# Installs the build into a scratch prefix and packs it as a .deb extracted
# into a scratch root and a .tar.gz; the installed tools must run the sample
# and print exactly what they should, the manual pages must render, the
# documentation and licence must be there, and lintian (where installed) must
# find no error in the .deb. With CHUNKTOOLS_HARDENED set (a build with
# CHUNKTOOLS_HARDENING), the tools must carry stack protection, full RELRO and
# immediate binding, and lintian must name no hardening tag but the one for
# fortified calls (no call in the tools has a destination whose size the
# compiler knows, so there is nothing to fortify). A cross build's programs run under
# CHUNKTOOLS_TOOL_WRAPPER (an emulator's command), and its .deb must be for
# DEB_ARCH. Given the source folder, `make install` and `make uninstall` with a
# DESTDIR must put in and take out exactly what cmake --install does.
# The tools are those CHUNKTOOLS_TOOL_LIST names (the build's list): exactly
# they are installed, each with its manual page.
# Usage: install_test.sh BUILD_DIR VERSION [DEB_ARCH [SOURCE_DIR]]
set -eu
tools=${CHUNKTOOLS_TOOL_LIST:?the list of the tools built}
# 77: skipped, where a program the packaging needs is not installed.
for program in cpack dpkg-deb dpkg-shlibdeps file groff gzip readelf; do
  command -v "$program" >/dev/null 2>&1 || { echo "$program not installed: skipped"; exit 77; }
done
build=$(cd "$1" && pwd)
version=$2
deb_arch=${3:-$(dpkg --print-architecture)}
source=${4:-}
run=${CHUNKTOOLS_TOOL_WRAPPER:-}
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

$run "$build/samplegen" example "$scratch/sample"
expected_console='fptr=0
00000258 00000258 00000258 00000000 00000258 !!!'
expected_signatures=' cc 4a 65 d2 44 6e 75 a1 b4 00
 a1 3a a8 61 27 c4 c7 26 9b 00
 c1 30 86 c7 b0 f7 04 b6 65 00
 a1 3a a8 61 27 c4 c7 26 9b 00
 8b f2 bc fa 71 9f a5 3e 09 00'
expected_sigdump='0 180 D2654ACC A1756E44
180 155 61A83AA1 26C7C427
335 101 C78630C1 B604F7B0
436 155 61A83AA1 26C7C427
591 9 FABCF28B 3EA59F71'

fail() { echo "FAIL: $*"; exit 1; }

# Runs the tools found in $1/bin and checks their output and manual pages.
check_installed() {
  root=$1
  cd "$scratch/sample"
  [ "$($run "$root/bin/chunksig" base data segments signatures)" = "$expected_console" ] ||
    fail "$root/bin/chunksig output"
  [ "$(od -An -tx1 -w10 signatures)" = "$expected_signatures" ] || fail "$root signature file"
  [ "$($run "$root/bin/idxdump" index | wc -l)" -eq 3 ] || fail "$root/bin/idxdump output"
  [ "$($run "$root/bin/sigdump" signatures)" = "$expected_sigdump" ] || fail "$root/bin/sigdump output"
  $run "$root/bin/seglist" cover data covered.segs 256 || fail "$root/bin/seglist cover"
  [ "$($run "$root/bin/seglist" show covered.segs)" = "0 256 256
256 256 512
512 256 768
768 256 1024" ] || fail "$root/bin/seglist output"
  [ "$($run "$root/bin/sigdiff" --summary signatures signatures)" = \
    "5 chunks, 0 new (0.00%); 600 bytes, 0 new (0.00%)" ] || fail "$root/bin/sigdiff output"
  for doc in README.md LICENSE copyright changelog.gz docs/reference.md docs/performance.md docs/reliability.md \
    docs/windows.md docs/internals.md; do
    [ -s "$root/share/doc/chunktools/$doc" ] || fail "$root/share/doc/chunktools/$doc missing"
  done
  # Every document the installed README links to is installed beside it.
  for link in $(grep -o '](docs/[a-z]*\.md' "$root/share/doc/chunktools/README.md" | sed 's/^](//' | sort -u); do
    [ -s "$root/share/doc/chunktools/$link" ] || fail "the installed README links to $link, which is not installed"
  done
  [ "$(ls "$root/bin" | sort)" = "$(printf '%s\n' $tools | sort)" ] ||
    fail "$root/bin holds $(ls "$root/bin" | tr '\n' ' '), not the build's tools: $tools"
  for page in $tools; do
    file="$root/share/man/man1/$page.1.gz"
    gzip -dc "$file" | groff -t -man -Tutf8 -ww 2>&1 >/dev/null | grep . && fail "$file renders with warnings"
    gzip -dc "$file" | groff -t -man -Tutf8 2>/dev/null | grep -q "^ *$page - " || fail "$file has no NAME line"
    gzip -dc "$file" | grep -q "^\.TH .*\"chunktools $version\"" || fail "$file does not name version $version"
  done
  return 0
}

if [ -n "${CHUNKTOOLS_HARDENED:-}" ]; then
  for tool in $tools; do
    readelf -d "$build/$tool" | grep -q 'FLAGS.*BIND_NOW\|FLAGS_1.*NOW' || fail "$tool: no immediate binding"
    readelf -lW "$build/$tool" | grep -q GNU_RELRO || fail "$tool: no RELRO"
    readelf --dyn-syms -W "$build/$tool" | grep -q '__stack_chk_fail\|__stack_chk_guard' || fail "$tool: no stack protector"
  done
fi

cmake --install "$build" --prefix "$scratch/prefix" >/dev/null
check_installed "$scratch/prefix"

if [ -n "$source" ]; then
  make -s -C "$source" install BUILD="$build" PREFIX=/usr DESTDIR="$scratch/stage" >/dev/null
  check_installed "$scratch/stage/usr"
  [ "$(cd "$scratch/stage/usr" && find . | sort)" = "$(cd "$scratch/prefix" && find . | sort)" ] ||
    fail "make install installs other files than cmake --install"
  make -s -C "$source" uninstall BUILD="$build" PREFIX=/usr DESTDIR="$scratch/stage" >/dev/null
  left=$(find "$scratch/stage" ! -type d -o -type d -path '*/doc/chunktools*')
  [ -z "$left" ] || fail "make uninstall left $left"
fi

(cd "$build" && cpack -G DEB -B "$scratch/packages" >/dev/null)
deb=$(ls "$scratch"/packages/*.deb)
[ "$(dpkg-deb -f "$deb" Package)" = chunktools ] || fail "package name"
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "package version"
[ "$(dpkg-deb -f "$deb" Architecture)" = "$deb_arch" ] || fail "package architecture"
# The tools need the C library (and in sanitizer builds, the sanitizers').
dpkg-deb -f "$deb" Depends | tr ',' '\n' | grep -qx ' *libc6 (>= [0-9.]*)' || fail "package dependencies"
dpkg -x "$deb" "$scratch/root"
check_installed "$scratch/root/usr"
# lintian's checks are the same for every processor: the native build runs them.
if [ -z "$run" ] && command -v lintian >/dev/null 2>&1; then
  lintian --allow-root "$deb" > "$scratch/lintian" 2>&1 || true
  grep '^E:' "$scratch/lintian" && fail "lintian reports errors"
  if [ -n "${CHUNKTOOLS_HARDENED:-}" ]; then
    lintian --allow-root -I "$deb" 2>&1 | grep 'hardening-' | grep -v 'hardening-no-fortify-functions' &&
      fail "lintian finds the tools unhardened"
  fi
fi

(cd "$build" && cpack -G TGZ -B "$scratch/packages" >/dev/null)
mkdir "$scratch/tarball"
tar -xzf "$scratch"/packages/*.tar.gz -C "$scratch/tarball"
check_installed "$(ls -d "$scratch"/tarball/chunktools-*)"
echo "install and package OK: $(basename "$deb")"
