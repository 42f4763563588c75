#!/bin/sh
# wine_server.sh start LOADER [32] | stop: one persistent Wine server for a test
# run, started before the tests and stopped after. Started this way, with
# every output on /dev/null, Wine's background processes never hold the test
# runner's output pipes open. LOADER is the Wine loader of the build under
# test (wine64 for x86-64 programs, wine for i686 ones, which also checks that
# 32-bit programs run: give 32). The prefix is
# $WINEPREFIX (made on first use).
set -u
export WINEDEBUG=-all
case ${1:-} in
start)
  loader=${2:?usage: wine_server.sh start LOADER}
  # Wine makes the prefix itself, but not the folders above it.
  mkdir -p "$(dirname "${WINEPREFIX:-$HOME/.wine}")"
  # On a new prefix, wineboot makes it with a server of its own that ends
  # soon after: let that one end, then start the persistent one. A server
  # that a test's run starts for itself would inherit the test's limits (a
  # file-size limit crashes it).
  if [ ! -d "${WINEPREFIX:-$HOME/.wine}" ]; then
    "$loader" wineboot --init < /dev/null > /dev/null 2>&1
    wineserver -w < /dev/null > /dev/null 2>&1
  fi
  wineserver -p < /dev/null > /dev/null 2>&1
  log=$(mktemp)
  if ! "$loader" wineboot --init < /dev/null > "$log" 2>&1; then
    echo "wineboot failed:"
    cat "$log"
    rm -f "$log"
    exit 1
  fi
  rm -f "$log"
  # Without wine32, Wine runs a 32-bit program as exit 0 with no output, so
  # check what one prints.
  if [ "${3:-}" = 32 ] &&
     [ "$("$loader" 'C:\windows\syswow64\cmd.exe' /c echo 32-bit < /dev/null 2> /dev/null | tr -d '\r')" != 32-bit ]; then
    echo "Wine cannot run 32-bit programs here (Debian: dpkg --add-architecture i386; apt-get install wine32:i386)"
    exit 1
  fi
  ;;
stop)
  wineserver -k < /dev/null > /dev/null 2>&1
  exit 0
  ;;
*)
  echo "usage: wine_server.sh start LOADER [32] | stop"
  exit 2
  ;;
esac
