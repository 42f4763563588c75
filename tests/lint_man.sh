#!/bin/sh
# Lints manual pages with groff and, where installed, mandoc: any warning fails.
set -u
# 77: skipped, where groff is not installed.
command -v groff >/dev/null 2>&1 || { echo "groff not installed: skipped"; exit 77; }
status=0
for page in "$@"; do
  warnings=$(groff -t -man -ww -z "$page" 2>&1)
  if command -v mandoc >/dev/null 2>&1; then
    warnings="$warnings$(mandoc -T lint -W warning "$page" 2>&1)"
  fi
  if [ -n "$warnings" ]; then
    printf '%s\n' "$warnings"
    status=1
  fi
done
exit $status
