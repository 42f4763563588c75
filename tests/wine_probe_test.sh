#!/bin/sh
# wine_probe.sh against stand-in loaders, so that the path of a host whose
# kernel runs no 32-bit program is tested on every host: a loader that the
# kernel refuses (exit 126) and one that is missing (127) give the skip
# reason and 77; one that starts gives nothing and 0.
# Usage: wine_probe_test.sh TESTS_SOURCE_DIR
set -u
probe=$1/wine_probe.sh
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
printf '#!/bin/sh\nexit 126\n' > "$dir/refused"
printf '#!/bin/sh\necho wine-8.0\n' > "$dir/starts"
chmod +x "$dir/refused" "$dir/starts"
failed=0
expect() {  # loader expected_status expected_output
  status=0
  output=$(sh "$probe" "$1") || status=$?
  if [ "$status" != "$2" ] || [ "$output" != "$3" ]; then
    echo "FAIL: $1 gave exit $status and: $output"
    echo "  expected exit $2 and: $3"
    failed=1
  fi
}
reason() {  # loader status
  echo "skipped: the Wine loader '$1' cannot start on this host (exit $2; a kernel without 32-bit support gives 126); make foreign-test runs the 32-bit x86 code under qemu-i386 instead"
}
expect "$dir/refused" 77 "$(reason "$dir/refused" 126)"
expect "$dir/missing" 77 "$(reason "$dir/missing" 127)"
expect "$dir/starts" 0 ""
exit $failed
