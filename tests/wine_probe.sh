#!/bin/sh
# wine_probe.sh LOADER: whether the Wine loader LOADER can start on this host.
# Silent with exit 0 when it can. When it cannot (a kernel built without
# 32-bit support refuses the 32-bit loader with "Exec format error", exit
# 126), prints the one-line reason the skipped tests give and exits 77.
set -u
loader=${1:?usage: wine_probe.sh LOADER}
status=0
WINEDEBUG=-all "$loader" --version < /dev/null > /dev/null 2>&1 || status=$?
[ "$status" = 0 ] && exit 0
echo "skipped: the Wine loader '$loader' cannot start on this host (exit $status; a kernel without 32-bit support gives 126); make foreign-test runs the 32-bit x86 code under qemu-i386 instead"
exit 77
