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
rm -f "$out"
exit $rc
