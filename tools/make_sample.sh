#!/usr/bin/env bash
# Makes samples/sample.cdr: a ZIP-based drawing document whose only content
# the viewer needs is its thumbnail at metadata/thumbnails/thumbnail.png.
# Needs ImageMagick and the 7za.exe of the build (run under Wine).
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
SEVENZA=${1:-$ROOT/out/win32/7za.exe}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/doc/metadata/thumbnails"
convert -size 256x160 gradient:'#1565c0-#80deea' \
  -fill '#ffca28' -stroke '#5d4037' -strokewidth 4 -draw 'circle 128,80 128,30' \
  -fill none -stroke white -strokewidth 6 -draw 'line 20,140 236,140' \
  "$work/doc/metadata/thumbnails/thumbnail.png"
printf '<document/>\n' >"$work/doc/content.xml"
(cd "$work/doc" && wine "$SEVENZA" a -tzip ../sample.cdr content.xml metadata >/dev/null)
cp "$work/sample.cdr" "$ROOT/samples/sample.cdr"
echo "$ROOT/samples/sample.cdr"
