#!/usr/bin/env bash
# The formatter and the linter.
#   tools/lint.sh BUILD_DIR        format check of every C/C++ file, then
#                                  clang-tidy on the portable product code
#                                  compiled in BUILD_DIR (the native build)
#   tools/lint.sh --fix            format every C/C++ file in place
# Files named in tools/format-pending.txt are left out of the format check
# until they are reformatted; --fix formats them and empties the list.
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
cd "$ROOT"
JOBS=${JOBS:-$(nproc)}
PENDING=tools/format-pending.txt
# Rooms whose portable files clang-tidy reads; *_win files are not in the
# native build and the tests are not product code.
TIDY_ROOMS='framework|imaging|docreader|painter|plugin|scheme|docrender'

sources() {
  find . \( -path ./out -o -path ./.git -o -path ./tests/imaging/regress \) -prune -o \
    -type f \( -name '*.c' -o -name '*.cpp' -o -name '*.h' \) -print | sed 's#^\./##' | sort
}

if [ "${1:-}" = --fix ]; then
  sources | xargs -P "$JOBS" -n 16 clang-format -i --style=file
  if [ -f "$PENDING" ]; then sed -i '/^[^#]/d' "$PENDING"; fi
  echo "lint: every C/C++ file formatted"
  exit 0
fi

BUILD=${1:?usage: tools/lint.sh BUILD_DIR | --fix}
failed=0

# ---- format ----------------------------------------------------------------
pending=$(grep -v '^#' "$PENDING" 2>/dev/null || true)
checked=() skipped=0
while IFS= read -r f; do
  if grep -qxF "$f" <<<"$pending"; then skipped=$((skipped + 1)); else checked+=("$f"); fi
done < <(sources)
if ! printf '%s\0' "${checked[@]}" | xargs -0 -P "$JOBS" -n 16 clang-format --dry-run --Werror --style=file; then
  echo "lint: the files above differ from .clang-format (./run lint --fix formats them)" >&2
  failed=1
fi
echo "lint: format checked in ${#checked[@]} files ($skipped waiting in $PENDING)"

# ---- clang-tidy -------------------------------------------------------------
db=$BUILD/compile_commands.json
[ -f "$db" ] || { echo "lint: no $db (configure the native build first)" >&2; exit 1; }
mapfile -t tidy < <(grep -o '"file": "[^"]*"' "$db" | sed 's/"file": "//; s/"$//' |
  grep -E "^$ROOT/($TIDY_ROOMS)/[^/]*\.(c|cpp)$" | sort -u)
if ! printf '%s\0' "${tidy[@]}" | xargs -0 -P "$JOBS" -n 4 clang-tidy -p "$BUILD" --quiet 2>/dev/null; then
  echo "lint: clang-tidy found the faults above (.clang-tidy)" >&2
  failed=1
fi
echo "lint: clang-tidy read ${#tidy[@]} portable files"
exit $failed
