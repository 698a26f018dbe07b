#!/usr/bin/env bash
# libFuzzer campaigns for the picture readers (PNG, BMP, ICO, PCX), the
# document reader (doc), the file panel's whole thumbnail path (panel:
# document bytes to fitted rows) and the renderer (render: document bytes
# through libcdr, compiled here from the set-up's patched source, and the
# painter onto a small surface), built with clang, ASan and UBSan, natively,
# apart from the CMake builds.
#   tools/fuzz.sh smoke [SECONDS]    each target for SECONDS (default 25), one job
#   tools/fuzz.sh long [SECONDS]     each target for SECONDS (default 1800), -fork=2
#   tools/fuzz.sh build              only build the targets
# Env FUZZ_TARGETS="doc" (for example) limits a campaign to some targets;
# FUZZ_FORK sets the jobs of a long campaign (0: one plain process).
# FUZZ_ARCH=i386 builds the targets for 32-bit x86 (clang -m32), where size_t
# has 32 bits as in the 32-bit plugin: a size product that is not formed in
# 64 bits wraps there. Its default targets are the panel and the picture
# readers; objects and corpora go to out/fuzz-i386.
# Crashing inputs are copied to tests/imaging/regress/ (the document reader's
# to tests/docreader/regress/, the panel's to tests/plugin/regress/), where a
# test runs them.
# Env: FUZZ_OUT (default out/fuzz, or out/fuzz-i386), CDRTHUMB_CACHE.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
ARCH=${FUZZ_ARCH:-x86_64}
CACHE=${CDRTHUMB_CACHE:-$HOME/.cache/cdrthumb}
FLAGS=(-std=c++17 -O1 -g -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer -I"$ROOT")
LIBS=(-lzip -lz)
case $ARCH in
  x86_64) OUT=${FUZZ_OUT:-$ROOT/out/fuzz}; DEFAULT_TARGETS="png bmp ico pcx doc panel render" ;;
  i386)
    OUT=${FUZZ_OUT:-$ROOT/out/fuzz-i386}; DEFAULT_TARGETS="panel png bmp ico pcx"
    # The set-up's static libzip for i386 (its zipconf.h first) and zlib's i386 library.
    # shellcheck disable=SC1091
    [ -f "$CACHE/paths.env" ] && source "$CACHE/paths.env"
    [ -f "${LIBZIP_I386_PREFIX:-}/lib/libzip.a" ] || { echo "fuzz.sh: no i386 libzip (run tools/setup.sh)" >&2; exit 1; }
    FLAGS+=(-m32 -isystem "$LIBZIP_I386_PREFIX/include")
    LIBS=("$LIBZIP_I386_PREFIX/lib/libzip.a" "$ZLIB_I386") ;;
  *) echo "fuzz.sh: FUZZ_ARCH is x86_64 or i386, not $ARCH" >&2; exit 2 ;;
esac
read -r -a TARGETS <<<"${FUZZ_TARGETS:-$DEFAULT_TARGETS}"
MODE=${1:-smoke}

build() {
  mkdir -p "$OUT/obj"
  local srcs=("$ROOT"/framework/*.cpp
              "$ROOT"/imaging/{stream,bitmap,bitmap_nodevice,adler32,png_decoder,pcx_picture,icon,icon_nodevice,picture_stream_files_nodevice,expand,picture_result,area_scale}.cpp
              "$ROOT"/docreader/{doc_reader,doc_signature,doc_source,riff_preview,doc_file_nodevice}.cpp
              "$ROOT"/plugin/panel_preview.cpp)
  local objs=() s o
  for s in "${srcs[@]}"; do
    o="$OUT/obj/$(basename "$(dirname "$s")")_$(basename "${s%.cpp}").o"
    # A change of this script may change the flags an object needs.
    if [ ! -f "$o" ] || [ "$s" -nt "$o" ] || [ "$ROOT/tools/fuzz.sh" -nt "$o" ]; then
      # The pixel walk that checks each picture needs no coverage feedback.
      if [ "$(basename "$s")" = expand.cpp ]; then
        clang++ "${FLAGS[@]/-fsanitize=fuzzer,/-fsanitize=}" -c "$s" -o "$o"
      else
        clang++ "${FLAGS[@]/-fsanitize=fuzzer,/-fsanitize=fuzzer-no-link,}" -c "$s" -o "$o"
      fi
    fi
    objs+=("$o")
  done
  for t in "${TARGETS[@]}"; do
    if [ "$t" = render ]; then build_render; continue; fi
    if [ ! -x "$OUT/${t}_fuzz" ] || [ "$ROOT/fuzz/${t}_fuzz.cpp" -nt "$OUT/${t}_fuzz" ] || [ "$ROOT/fuzz/fuzz_common.h" -nt "$OUT/${t}_fuzz" ] ||
       [ -n "$(find "${objs[@]}" -newer "$OUT/${t}_fuzz" 2>/dev/null)" ]; then
      clang++ "${FLAGS[@]}" "$ROOT/fuzz/${t}_fuzz.cpp" "${objs[@]}" "${LIBS[@]}" -o "$OUT/${t}_fuzz"
    fi
  done
}

# The renderer's target: libcdr's sources (patched by the set-up) and the
# painter instrumented like the readers; librevenge, cairo, lcms2 and ICU as
# the native build links them.
build_render() {
  # shellcheck disable=SC1091
  [ -f "$CACHE/paths.env" ] && source "$CACHE/paths.env"
  [ -d "${LIBCDR_SRC:-}/src/lib" ] && [ -d "${RENDER_NATIVE_PREFIX:-}" ] ||
    { echo "fuzz.sh: no libcdr source or render prefix (run tools/setup.sh)" >&2; exit 1; }
  local pcdir="$RENDER_NATIVE_PREFIX/lib/pkgconfig" cflags libs objs=() s o
  cflags=$(PKG_CONFIG_PATH=$pcdir pkg-config --cflags librevenge-stream-0.0 cairo lcms2 icu-uc zlib)
  libs=$(PKG_CONFIG_PATH=$pcdir pkg-config --libs librevenge-stream-0.0 librevenge-0.0 cairo lcms2 icu-i18n icu-uc zlib)
  mkdir -p "$OUT/obj-render"
  for s in "$LIBCDR_SRC"/src/lib/*.cpp "$ROOT"/painter/*.cpp "$ROOT"/docreader/doc_signature.cpp; do
    o="$OUT/obj-render/$(basename "$(dirname "$s")")_$(basename "${s%.cpp}").o"
    if [ ! -f "$o" ] || [ "$s" -nt "$o" ] || [ "$ROOT/tools/fuzz.sh" -nt "$o" ]; then
      # shellcheck disable=SC2086
      clang++ "${FLAGS[@]/-fsanitize=fuzzer,/-fsanitize=fuzzer-no-link,}" -w -I"$LIBCDR_SRC/inc" $cflags \
        -DLIBCDR_BUILD=1 -DBOOST_ERROR_CODE_HEADER_ONLY -DBOOST_SYSTEM_NO_DEPRECATED -c "$s" -o "$o"
    fi
    objs+=("$o")
  done
  if [ ! -x "$OUT/render_fuzz" ] || [ "$ROOT/fuzz/render_fuzz.cpp" -nt "$OUT/render_fuzz" ] ||
     [ -n "$(find "${objs[@]}" -newer "$OUT/render_fuzz" 2>/dev/null)" ]; then
    # shellcheck disable=SC2086
    clang++ "${FLAGS[@]}" -I"$LIBCDR_SRC/inc" $cflags "$ROOT/fuzz/render_fuzz.cpp" "${objs[@]}" $libs -o "$OUT/render_fuzz"
  fi
}

# Seeds: the third-party corpora the tests use, and the kept regressions.
seed() {
  local t=$1 dir="$OUT/corpus/$1"
  mkdir -p "$dir"
  # shellcheck disable=SC1091
  [ -f "$CACHE/paths.env" ] && source "$CACHE/paths.env"
  local pil="${PILLOW_SRC:-}/Tests/images"
  case $t in
    png) cp -n "${LIBPNG_SRC:-/nonexistent}"/contrib/pngsuite/*.png "${LIBPNG_SRC:-/nonexistent}"/contrib/testpngs/*.png \
            "${LIBPNG_SRC:-/nonexistent}"/contrib/testpngs/crashers/*.png "$dir/" 2>/dev/null || true ;;
    bmp) cp -n "$pil"/bmp/*/*.bmp "$pil"/*.bmp "$pil"/*.dib "$dir/" 2>/dev/null || true ;;
    ico) cp -n "$pil"/*.ico "$dir/" 2>/dev/null || true ;;
    pcx) cp -n "$pil"/*.pcx "$dir/" 2>/dev/null || true ;;
    doc) cp -n "$ROOT"/tests/docreader/seeds/* "$dir/" 2>/dev/null || true ;;
    # Real previews of each era, and previews that declare sizes past any
    # thumbnail (tools/make_panel_seeds.py writes them).
    panel) cp -n "$ROOT"/tests/docreader/seeds/* "$ROOT"/tests/plugin/seeds/* "$dir/" 2>/dev/null || true ;;
    # Our own sample drawings of both eras: a finding kept from them holds
    # nothing of a third-party document.
    render) cp -n "$ROOT"/samples/* "$dir/" 2>/dev/null || true ;;
  esac
  cp -n "$(regress_dir "$t")"/* "$dir/" 2>/dev/null || true
  [ -n "$(ls -A "$dir")" ] || { echo "fuzz.sh: no seeds for $t (run tools/setup.sh)" >&2; exit 1; }
}

regress_dir() {
  case $1 in
    doc) echo "$ROOT/tests/docreader/regress" ;;
    panel) echo "$ROOT/tests/plugin/regress" ;;
    render) echo "$ROOT/tests/painter/regress" ;;
    *) echo "$ROOT/tests/imaging/regress" ;;
  esac
}

keep_findings() {
  local t=$1 f found=0 keep
  keep=$(regress_dir "$t")
  mkdir -p "$keep"
  for f in "$OUT/artifacts/$t"/crash-* "$OUT/artifacts/$t"/leak-* "$OUT/artifacts/$t"/timeout-* "$OUT/artifacts/$t"/oom-*; do
    [ -f "$f" ] || continue
    cp "$f" "$keep/${t}-${ARCH}-$(basename "$f")"
    echo "fuzz.sh: $t ($ARCH) finding kept as ${keep#"$ROOT"/}/${t}-${ARCH}-$(basename "$f")"
    found=1
  done
  return $found
}

run() {
  local secs=$1 fork=$2 failed=0 t
  build
  for t in "${TARGETS[@]}"; do
    seed "$t"
    rm -rf "$OUT/artifacts/$t"
    mkdir -p "$OUT/artifacts/$t"
    # Documents: every structure fits small inputs, and libzip scans up to
    # the last 64 KiB for the end record, so long inputs only cost time.
    local maxlen=65536
    case $t in doc | panel) maxlen=16384 ;; render) maxlen=131072 ;; esac
    local args=(-max_total_time="$secs" -rss_limit_mb=2048 -timeout=10 -max_len="$maxlen"
                -artifact_prefix="$OUT/artifacts/$t/" -print_final_stats=1)
    [ "$fork" -gt 0 ] && args+=(-fork="$fork" -ignore_crashes=1)
    # cairo and fontconfig keep every font face a document names in caches
    # that live as long as the process: not leaks of one input.
    local asan=${ASAN_OPTIONS:-}
    [ "$t" = render ] && { args+=(-detect_leaks=0); asan=detect_leaks=0${asan:+:$asan}; }
    echo "== fuzz $t ($ARCH) for ${secs}s"
    ASAN_OPTIONS=$asan "$OUT/${t}_fuzz" "${args[@]}" "$OUT/corpus/$t" >"$OUT/$t.log" 2>&1 || true
    grep -E "stat::number_of_executed_units|stat::average_exec_per_sec|#[0-9]+.*(DONE|pulse)" "$OUT/$t.log" | tail -3 || true
    keep_findings "$t" || failed=1
  done
  if [ $failed -ne 0 ]; then echo "fuzz.sh: findings (see above)"; return 1; fi
  echo "fuzz.sh: no findings"
}

case $MODE in
  build) build ;;
  smoke) run "${2:-25}" 0 ;;
  long) run "${2:-1800}" "${FUZZ_FORK:-2}" ;;
  *) sed -n '2,9p' "$0"; exit 2 ;;
esac
