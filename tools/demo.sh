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
# One archiver and one renderer serve both: the 32-bit 7za.exe and
# docrender.exe run on 32- and 64-bit Windows, each in a process of its own,
# so their bitness need not match the file manager's.
cp "$OUT/win32/7za.exe" "$OUT/win32/docrender.exe" "$DIST/"
# The builds keep their debugging sections; the package does without them.
i686-w64-mingw32-strip --strip-debug "$DIST/cdrthumb.wlx" "$DIST/docrender.exe"
x86_64-w64-mingw32-strip --strip-debug "$DIST/cdrthumb.wlx64"
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

# The README's pictures: the thumbnail fitted, centred and centred in dark mode, and
# both placeholders, each in a 480 x 320 Lister of the host simulator.
PICS=$ROOT/docs/pictures
mkdir -p "$PICS"
work=$OUT/demo-work
rm -rf "$work" && mkdir -p "$work/bare" "$work/empty"
cp "$DIST/cdrthumb.wlx" "$work/bare/"
echo '<doc/>' >"$work/empty/content.xml"
(cd "$work/empty" && wine "$OUT/win32/7za.exe" a -tzip "Z:$work/no-thumbnail.cdr" content.xml >/dev/null)
picture() {  # NAME PLUGIN DOCUMENT FLAGS
  wine "$OUT/win32/listerhost.exe" "$2" resize:480:320 "open:$3:$4" wait:2500 "shot:$work/$1.bmp" close >/dev/null
  # No time stamps: a picture that did not change stays the same file.
  convert "$work/$1.bmp" -define png:exclude-chunks=date,time "$PICS/$1.png"
}
picture fitted "$DIST/cdrthumb.wlx" "$DOC" 2
picture centred "$DIST/cdrthumb.wlx" "$DOC" 0
picture dark "$DIST/cdrthumb.wlx" "$DOC" 128
picture no-thumb "$DIST/cdrthumb.wlx" "$work/no-thumbnail.cdr" 0
picture no-7za "$work/bare/cdrthumb.wlx" "$DOC" 0
# The drawing itself against the preview the document stores: the text-heavy
# sample rendered by docrender at 1600 x 1200, and its stored preview (what
# the plugin's panel call reads) blown up to the same size.
doc=$ROOT/samples/datasheet-text.cdr
wine "$OUT/win32/docrender.exe" "$doc" "$work/rendered.bmp" --size 1600x1200 --area page </dev/null
wine "$OUT/win32/listerhost.exe" "$DIST/cdrthumb.wlx" "preview:$doc:1600:1200:$work/stored.bmp" >/dev/null
convert "$work/rendered.bmp" -define png:exclude-chunks=date,time "$PICS/rendered.png"
convert "$work/stored.bmp" -filter Triangle -resize "$(identify -format %wx%h "$work/rendered.bmp")!" \
  -define png:exclude-chunks=date,time "$PICS/stored-preview.png"

# The viewer with the renderer, in a 1200 x 900 Lister: the stored preview
# (rendering off in the host's INI file) beside the rendering, a zoomed view
# and page 2 of a multi-page sample.
printf '[cdrthumb]\r\nRender=0\r\n' >"$work/no-render.ini"
viewer() {  # NAME DOCUMENT [--ini=PATH] STEP...: the Lister after the steps
  local name=$1 doc=$2 options=()
  shift 2
  case "${1:-}" in --ini=*) options=("$1"); shift ;; esac
  wine "$OUT/win32/listerhost.exe" "${options[@]}" "$DIST/cdrthumb.wlx" resize:1200:900 "open:$doc:2" wait:3000 \
    "$@" "shot:$work/$name.bmp" close </dev/null >/dev/null
}
captioned() {  # BMP CAPTION OUT.png
  convert "$1" -background white +size -font DejaVu-Sans -pointsize 18 -fill '#202020' label:"$2" \
    -gravity center -append "$3"
}
viewer preview-only "$doc" "--ini=$work/no-render.ini"
viewer rendering "$doc"
captioned "$work/preview-only.bmp" "the stored preview (Render=0)" "$work/preview-only.png"
captioned "$work/rendering.bmp" "the rendering" "$work/rendering-caption.png"
convert "$work/preview-only.png" "$work/rendering-caption.png" -bordercolor white -border 6 +append +repage \
  -depth 8 -define png:exclude-chunks=date,time "$PICS/render-side-by-side.png"
# Numpad + twice, then the re-rendering after the pause.
viewer zoomed "$doc" key:107 key:107 wait:3000
convert "$work/zoomed.bmp" -define png:exclude-chunks=date,time "$PICS/zoomed.png"
# Page Down.
viewer page2 "$ROOT/samples/brochure-3pages.cdr" key:34 wait:3000
convert "$work/page2.bmp" -define png:exclude-chunks=date,time "$PICS/page2.png"
rm -rf "$work"
echo "README pictures: $PICS"

# The file panel's thumbnail view of the bundled samples: each document's
# bitmap as ListGetPreviewBitmapW returns it for a 128x128 box, centred in
# its cell with the file name below, as the panel lays them out.
panel=$OUT/demo-panel
rm -rf "$panel" && mkdir -p "$panel"
steps=()
docs=()
for doc in "$ROOT"/samples/*; do
  docs+=("$doc")
  steps+=("preview:$doc:128:128:$panel/$(basename "$doc").bmp")
done
wine "$OUT/win32/listerhost.exe" "$DIST/cdrthumb.wlx" "${steps[@]}" >/dev/null
cells=()
for doc in "${docs[@]}"; do
  name=$(basename "$doc")
  if [ -f "$panel/$name.bmp" ]; then
    convert -size 136x136 xc:'#f3f3f3' "$panel/$name.bmp" -gravity center -composite \
      -background white -gravity center -extent 148x148 \
      +size -font DejaVu-Sans -pointsize 11 -fill '#202020' label:"$name" -append "$panel/$name.png"
    cells+=("$panel/$name.png")
  fi
done
convert "${cells[@]}" +append -bordercolor white -border 8 -define png:exclude-chunks=date,time "$OUT/demo-panel.png"
rm -rf "$panel"
cp "$OUT/demo-panel.png" "$PICS/panel.png"
echo "panel sheet: $OUT/demo-panel.png (and $PICS/panel.png)"
