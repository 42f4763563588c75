#!/bin/sh
# wine_server.sh start|stop: one persistent Wine server for a test run, started
# before the tests and stopped after. Started this way, with every output on
# /dev/null, Wine's background processes never hold the test runner's output
# pipes open. The prefix is $WINEPREFIX (made on first use).
set -u
export WINEDEBUG=-all
case ${1:-} in
start)
  # Wine makes the prefix itself, but not the folders above it.
  mkdir -p "$(dirname "${WINEPREFIX:-$HOME/.wine}")"
  log=$(mktemp)
  wineserver -p < /dev/null > /dev/null 2>&1
  if ! wineboot --init < /dev/null > "$log" 2>&1; then
    echo "wineboot failed:"
    cat "$log"
    rm -f "$log"
    exit 1
  fi
  rm -f "$log"
  # Without wine32, Wine runs a 32-bit program as exit 0 with no output, so
  # check what it prints.
  out=$(mktemp)
  wine 'C:\windows\syswow64\cmd.exe' /c echo 32-bit programs run < /dev/null > "$out" 2> /dev/null
  if ! grep -q "32-bit programs run" "$out"; then
    rm -f "$out"
    echo "Wine cannot run 32-bit programs here (Debian: dpkg --add-architecture i386; apt-get install wine32:i386)"
    exit 1
  fi
  rm -f "$out"
  ;;
stop)
  wineserver -k < /dev/null > /dev/null 2>&1
  exit 0
  ;;
*)
  echo "usage: wine_server.sh start|stop"
  exit 2
  ;;
esac
