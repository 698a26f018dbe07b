#!/bin/sh
# Runs a Windows test program under Wine for ctest. Wine's helper processes
# that a test brings up (the desktop process above all) inherit its output
# and can outlive it, and ctest waits for as long as anything holds its
# pipe. So the program writes to a file, printed once it has ended.
out=$(mktemp "${TMPDIR:-/tmp}/wine-test.XXXXXX") || exit 1
wine "$@" >"$out" 2>&1 </dev/null &
pid=$!
# On ctest's timeout: stop the program and still show what it printed.
trap 'kill $pid 2>/dev/null; cat "$out"; rm -f "$out"; exit 143' TERM INT
wait $pid
rc=$?
cat "$out"
# Wine without its 32-bit loader prints this and exits 0 without running the
# program: that must not count as a passed test.
if grep -q 'wine32 is missing' "$out"; then
  rm -f "$out"
  echo "wine-test.sh: Wine could not start $1 (wine32 missing)" >&2
  exit 1
fi
rm -f "$out"
exit $rc
