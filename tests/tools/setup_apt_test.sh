#!/usr/bin/env bash
# The set-up's apt helpers against a stand-in apt-get and apt-cache on the
# PATH: an index that fails once, one that keeps failing, a package without
# a candidate, and an install that only works with the main suite preferred.
set -u
HERE=$(cd "$(dirname "$0")" && pwd)
SETUP_APT=$HERE/../../tools/setup_apt.sh
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
mkdir -p "$WORK/bin"
passed=0 failed=0

# The stand-ins read their behaviour from files in $WORK and log each call.
cat >"$WORK/bin/apt-get" <<'EOF'
#!/usr/bin/env bash
echo "apt-get $*" >>"$WORK/calls"
case " $* " in
  *" update "*)
    n=$(cat "$WORK/update-failures" 2>/dev/null || echo 0)
    if [ "$n" -gt 0 ]; then
      echo $((n - 1)) >"$WORK/update-failures"
      echo "E: Failed to fetch http://mirror/debian-security/dists/bookworm-security/main/binary-i386/Packages.xz  File has unexpected size (1 != 2). Mirror sync in progress? [IP: 1]"
      echo "E: Some index files failed to download. They have been ignored, or old ones used instead."
      exit 100
    fi ;;
  *" install "*)
    case " $* " in *" -t "*) [ -f "$WORK/install-t-fails" ] && exit 100 ;;
                   *) [ -f "$WORK/install-fails" ] && { echo "E: Unable to correct problems, you have held broken packages."; exit 100; } ;;
    esac ;;
esac
exit 0
EOF
cat >"$WORK/bin/apt-cache" <<'EOF'
#!/usr/bin/env bash
pkg=${*: -1}
if grep -qx "$pkg" "$WORK/no-candidate" 2>/dev/null; then
  printf '%s:\n  Installed: (none)\n  Candidate: (none)\n' "$pkg"
else
  printf '%s:\n  Installed: (none)\n  Candidate: 1.0-1\n' "$pkg"
fi
EOF
chmod +x "$WORK/bin/"*

# run_case NAME EXPECTED_STATUS SCRIPT: runs SCRIPT in a fresh shell with the
# helpers sourced; its output is in $WORK/out.
run_case() {
  local name=$1 want=$2 script=$3 got
  rm -f "$WORK"/calls "$WORK"/update-failures "$WORK"/install-fails "$WORK"/install-t-fails "$WORK"/no-candidate
  WORK=$WORK PATH="$WORK/bin:$PATH" CDRTHUMB_APT_RETRY_DELAY=0 CDRTHUMB_APT_TRIES=3 \
    CDRTHUMB_APT_SUITE=bookworm bash -c '
      set -euo pipefail
      SUDO=()
      info() { printf "    %s\n" "$*"; }
      die() { printf "setup.sh: error: %s\n" "$*" >&2; exit 1; }
      . "$1"
      eval "$2"' _ "$SETUP_APT" "$script" >"$WORK/out" 2>&1
  got=$?
  if [ "$got" -ne "$want" ]; then
    echo "FAIL $name: exit $got, expected $want"; sed 's/^/  | /' "$WORK/out"; failed=$((failed + 1)); return 1
  fi
  return 0
}
check() {   # check NAME CONDITION...
  local name=$1; shift
  if "$@"; then passed=$((passed + 1)); else
    echo "FAIL $name: $*"; sed 's/^/  | /' "$WORK/out"; failed=$((failed + 1)); fi
}
calls() { grep -c "$1" "$WORK/calls" 2>/dev/null || true; }

# An index that fails once: tried again, and nothing is left failed.
run_case retry 0 'echo 1 >"$WORK/update-failures"; apt_update; echo "failed=[$APT_FAILED_INDEXES]"' &&
  check retry [ "$(calls update)" = 2 ] &&
  check retry-clears grep -q 'failed=\[\]' "$WORK/out"

# An index that keeps failing: every try is made, the set-up goes on and
# installs, since every package still has a candidate.
run_case lasting 0 'echo 9 >"$WORK/update-failures"; apt_update; apt_install wine32:i386 xvfb' &&
  check lasting-tries [ "$(calls update)" = 3 ] &&
  check lasting-installs [ "$(calls install)" = 1 ]

# A package without a candidate after a failed index: stops before
# installing, naming the package, the index and what to try.
run_case no-candidate 1 'echo 9 >"$WORK/update-failures"; echo wine32:i386 >"$WORK/no-candidate"; apt_update; apt_install xvfb wine32:i386' &&
  check no-candidate-names grep -q 'no installable version of: wine32:i386\..*binary-i386/Packages.xz.*Try again' "$WORK/out" &&
  check no-candidate-no-install [ "$(calls install)" = 0 ]

# Suites out of step: the plain install fails, the one with the main suite
# preferred is made and succeeds.
run_case suites 0 'touch "$WORK/install-fails"; apt_install wine32:i386' &&
  check suites-retry grep -q 'install .* -t bookworm wine32:i386' "$WORK/calls"

# Both installs fail: stops with the packages named.
run_case install-fails 1 'touch "$WORK/install-fails" "$WORK/install-t-fails"; apt_install wine32:i386' &&
  check install-fails-names grep -q 'apt-get install failed for: wine32:i386, also with the bookworm suite preferred' "$WORK/out"

echo "setup_apt: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
