#!/usr/bin/env bash
# The main job: assemble the installable package, then open a drawing in the
# host simulator as the file manager would and save what the Lister shows.
# Called by ./run demo with Wine and its display already running.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
OUT=$ROOT/out
DOC=${1:-$ROOT/samples/sample.cdr}
DIST=$ROOT/dist

rm -rf "$DIST" && mkdir -p "$DIST"
cp "$OUT/win32/cdrthumb.wlx" "$OUT/win64/cdrthumb.wlx64" "$DIST/"
# One archiver serves both: the 32-bit 7za.exe runs on 32- and 64-bit Windows.
cp "$OUT/win32/7za.exe" "$DIST/"
cp "${SEVENZIP_LICENSE:?}" "$DIST/7za-License.txt"
cat >"$DIST/pluginst.inf" <<'INF'
[plugininstall]
description=Thumbnail viewer for ZIP-based drawing documents (CDR, CDT, PAT, DES)
type=wlx
file=cdrthumb.wlx
defaultdir=cdrthumb
INF
rm -f "$OUT/cdrthumb.zip"
(cd "$DIST" && wine "$OUT/win32/7za.exe" a -tzip "Z:$OUT/cdrthumb.zip" . >/dev/null)
echo "package: $OUT/cdrthumb.zip"

shot=$OUT/demo-shot
case "$DOC" in /*) ;; *) DOC=$PWD/$DOC ;; esac
wine "$OUT/win32/listerhost.exe" "$DIST/cdrthumb.wlx" "detect:$DOC" "open:$DOC:2" wait:2500 "shot:$shot.bmp" close
convert "$shot.bmp" "$shot.png"
rm -f "$shot.bmp"
echo "screenshot: $shot.png"
