#!/usr/bin/env bash
# The rooms form a stack; a room may use only itself and the rooms below it.
# Fails, naming each offending line, when
#  - a source file includes a header of a room above its own or beside it,
#    or anything from tools/, tests/, bench/ or fuzz/;
#  - a portable file (no "_win" in its name, outside the toolkit and the
#    plugin library) includes a Windows header;
#  - a room's CMakeLists.txt names the library of a room above or beside it.
# Usage: tools/check_rooms.sh [SOURCE_ROOT]
set -uo pipefail

ROOT=${1:-$(cd "$(dirname "$0")/.." && pwd)}
cd "$ROOT" || exit 2

# Bottom first; rooms on one line share a level and must not use each other.
LEVELS=(
  "framework"
  "toolkit"
  "imaging docreader painter"
  "plugin"
  "scheme"
  "dll docrender"
)
# Rooms that exist only in the Windows builds.
PLATFORM_ROOMS=" toolkit dll "
NOT_PRODUCT=" tools tests bench fuzz "
WINDOWS_HEADERS='windows|winbase|wingdi|winuser|shellapi|shlobj|commctrl|psapi|tlhelp32|objbase|ole2|winternl'

declare -A level
for i in "${!LEVELS[@]}"; do
  for room in ${LEVELS[$i]}; do level[$room]=$i; done
done

errors=0
fail() {
  printf '%s\n' "$*" >&2
  errors=$((errors + 1))
}

for room in "${!level[@]}"; do
  [ -d "$room" ] || continue
  mine=${level[$room]}
  while IFS= read -r -d '' file; do
    portable=1
    [[ $PLATFORM_ROOMS == *" $room "* || $(basename "$file") == *_win[._]* ]] && portable=0
    while IFS=: read -r line text; do
      if [[ $text =~ ^[[:space:]]*#[[:space:]]*include[[:space:]]*\"([^/\"]+)/ ]]; then
        to=${BASH_REMATCH[1]}
        if [[ $NOT_PRODUCT == *" $to "* ]]; then
          fail "$file:$line: product code includes $to/: $text"
        elif [ -n "${level[$to]+set}" ] && [ "$to" != "$room" ]; then
          if [ "${level[$to]}" -ge "$mine" ]; then
            fail "$file:$line: room $room (level $mine) includes $to (level ${level[$to]}), not below it: $text"
          fi
        fi
      elif [ $portable = 1 ] &&
        [[ $text =~ ^[[:space:]]*#[[:space:]]*include[[:space:]]*\<($WINDOWS_HEADERS)\.h\> ]]; then
        fail "$file:$line: portable file includes a Windows header (name it *_win.*): $text"
      fi
    done < <(grep -n '^[[:space:]]*#[[:space:]]*include' "$file")
  done < <(find "$room" -type f \( -name '*.h' -o -name '*.cpp' -o -name '*.c' -o -name '*.rc' \) -print0)

  if [ -f "$room/CMakeLists.txt" ]; then
    while IFS=: read -r line lib; do
      to=${lib#hi_}
      [ -z "$to" ] || [ "$to" = "$room" ] && continue
      if [ -n "${level[$to]+set}" ] && [ "${level[$to]}" -ge "$mine" ]; then
        fail "$room/CMakeLists.txt:$line: room $room links $lib, which is not below it"
      fi
    done < <(grep -no 'hi_[a-z0-9_]*' "$room/CMakeLists.txt")
  fi
done

if [ $errors -gt 0 ]; then
  echo "room order: $errors violation(s); the order, bottom first: ${LEVELS[*]}" >&2
  exit 1
fi
echo "room order: every include and link points down the stack"
