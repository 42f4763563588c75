#!/bin/sh
# Runs a command as the unprivileged user nobody. Exit code 77 (skipped) when
# not root, without setpriv, or where nobody cannot reach the command.
set -u
[ "$(id -u)" = 0 ] || exit 77
command -v setpriv >/dev/null 2>&1 || exit 77
as_nobody() { setpriv --reuid=65534 --regid=65534 --clear-groups "$@"; }
as_nobody test -x "$1" || { echo "nobody cannot run $1: skipped"; exit 77; }
as_nobody "$@"
