# shellcheck shell=bash
# setup.sh --verify for the document renderer's libraries: one static test
# program per build, linked only from what pkg-config hands out for its
# prefix, opens real documents with libcdr (version-14 ZIP documents, which
# need the gradient backport, one of them with text, and a RIFF one), draws
# text with cairo and opens every ICU converter libcdr uses. The Windows
# programs run under Wine and may import system DLLs only; the document
# figures must be the same in all builds.
#
# Sourced by tools/setup_render.sh; uses its RENDER_DIR, RENDER_PREFIX and
# RENDER_BUILDS.

RENDER_DOCS=(
    /work/shared/realdocs-zip/zip-v14-wordmark.cdr
    /work/shared/realdocs-zip/zip-v14-carton-3pages.cdr
    /work/shared/realdocs/riff-v13-96px.cdr
)

write_render_check() {
    cat >"$1" <<'CPP'
// Opens a document with libcdr into a drawing interface that counts what it
// receives, draws text with cairo, and opens ICU's converters.
#include <cairo.h>
#include <libcdr/libcdr.h>
#include <librevenge-stream/librevenge-stream.h>
#include <librevenge/librevenge.h>
#include <unicode/ucnv.h>
#include <unicode/ucsdet.h>

#include <cstdio>
#include <cstring>

namespace {

using librevenge::RVNGPropertyList;

class Counter : public librevenge::RVNGDrawingInterface {
public:
  unsigned pages = 0, shapes = 0, filled = 0, textRuns = 0, textBytes = 0;

  void startDocument(const RVNGPropertyList &) override {}
  void endDocument() override {}
  void setDocumentMetaData(const RVNGPropertyList &) override {}
  void defineEmbeddedFont(const RVNGPropertyList &) override {}
  void startPage(const RVNGPropertyList &) override { ++pages; }
  void endPage() override {}
  void startMasterPage(const RVNGPropertyList &) override {}
  void endMasterPage() override {}
  void setStyle(const RVNGPropertyList &p) override {
    if (p["draw:fill"] && p["draw:fill"]->getStr() != "none") ++filled;
  }
  void startLayer(const RVNGPropertyList &) override {}
  void endLayer() override {}
  void startEmbeddedGraphics(const RVNGPropertyList &) override {}
  void endEmbeddedGraphics() override {}
  void openGroup(const RVNGPropertyList &) override {}
  void closeGroup() override {}
  void drawRectangle(const RVNGPropertyList &) override { ++shapes; }
  void drawEllipse(const RVNGPropertyList &) override { ++shapes; }
  void drawPolygon(const RVNGPropertyList &) override { ++shapes; }
  void drawPolyline(const RVNGPropertyList &) override { ++shapes; }
  void drawPath(const RVNGPropertyList &) override { ++shapes; }
  void drawGraphicObject(const RVNGPropertyList &) override { ++shapes; }
  void drawConnector(const RVNGPropertyList &) override { ++shapes; }
  void startTextObject(const RVNGPropertyList &) override { ++textRuns; }
  void endTextObject() override {}
  void startTableObject(const RVNGPropertyList &) override {}
  void openTableRow(const RVNGPropertyList &) override {}
  void closeTableRow() override {}
  void openTableCell(const RVNGPropertyList &) override {}
  void closeTableCell() override {}
  void insertCoveredTableCell(const RVNGPropertyList &) override {}
  void endTableObject() override {}
  void insertTab() override {}
  void insertSpace() override {}
  void insertText(const librevenge::RVNGString &t) override { textBytes += t.size(); }
  void insertLineBreak() override {}
  void insertField(const RVNGPropertyList &) override {}
  void openOrderedListLevel(const RVNGPropertyList &) override {}
  void openUnorderedListLevel(const RVNGPropertyList &) override {}
  void closeOrderedListLevel() override {}
  void closeUnorderedListLevel() override {}
  void openListElement(const RVNGPropertyList &) override {}
  void closeListElement() override {}
  void defineParagraphStyle(const RVNGPropertyList &) override {}
  void openParagraph(const RVNGPropertyList &) override {}
  void closeParagraph() override {}
  void defineCharacterStyle(const RVNGPropertyList &) override {}
  void openSpan(const RVNGPropertyList &) override {}
  void closeSpan() override {}
  void openLink(const RVNGPropertyList &) override {}
  void closeLink() override {}
};

// Dark pixels of a line of text drawn black on white: none means no font.
int textPixels(const char *family) {
  cairo_surface_t *s = cairo_image_surface_create(CAIRO_FORMAT_RGB24, 240, 60);
  cairo_t *cr = cairo_create(s);
  cairo_set_source_rgb(cr, 1, 1, 1);
  cairo_paint(cr);
  cairo_set_source_rgb(cr, 0, 0, 0);
  cairo_select_font_face(cr, family, CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
  cairo_set_font_size(cr, 32);
  cairo_move_to(cr, 8, 44);
  cairo_show_text(cr, "Wordmark");
  cairo_surface_flush(s);
  int dark = -1;
  if (cairo_status(cr) == CAIRO_STATUS_SUCCESS) {
    dark = 0;
    const unsigned char *data = cairo_image_surface_get_data(s);
    const int stride = cairo_image_surface_get_stride(s);
    for (int y = 0; y < 60; ++y)
      for (int x = 0; x < 240; ++x)
        if (data[y * stride + x * 4 + 1] < 128) ++dark;
  }
  cairo_destroy(cr);
  cairo_surface_destroy(s);
  return dark;
}

// The converters libcdr opens; the alias lookup may warn, only a failure counts.
int converters() {
  static const char *const names[] = {
      "windows-874",  "windows-932",  "windows-936",  "windows-949",  "windows-950",
      "windows-1250", "windows-1251", "windows-1252", "windows-1253", "windows-1254",
      "windows-1255", "windows-1256", "windows-1257", "windows-1258", "UTF-16LE"};
  int ok = 0;
  for (const char *name : names) {
    UErrorCode status = U_ZERO_ERROR;
    UConverter *c = ucnv_open(name, &status);
    if (U_FAILURE(status) || !c) {
      std::printf("converter %s: %s\n", name, u_errorName(status));
      continue;
    }
    ucnv_close(c);
    ++ok;
  }
  // A single-byte table and a double-byte one that extends a base table.
  struct Sample {
    const char *name, *bytes;
    UChar expected;
  };
  static const Sample samples[] = {{"windows-1251", "\xe4", 0x0434}, {"windows-936", "\xc4\xe3", 0x4f60}};
  for (const Sample &sample : samples) {
    UChar out[4] = {};
    UErrorCode status = U_ZERO_ERROR;
    UConverter *c = ucnv_open(sample.name, &status);
    if (U_FAILURE(status) ||
        ucnv_toUChars(c, out, 4, sample.bytes, static_cast<int32_t>(std::strlen(sample.bytes)), &status) != 1 ||
        U_FAILURE(status) || out[0] != sample.expected) {
      std::printf("%s does not map its sample to U+%04X\n", sample.name, sample.expected);
      --ok;
    }
    ucnv_close(c);
  }
  return ok;
}

const char *detect() {
  static char name[32] = "none";
  UErrorCode status = U_ZERO_ERROR;
  UCharsetDetector *d = ucsdet_open(&status);
  const char text[] = "\xd0\x9f\xd1\x80\xd0\xb8\xd0\xb2\xd0\xb5\xd1\x82 \xd0\xbc\xd0\xb8\xd1\x80, "
                      "\xd0\xbf\xd1\x80\xd0\xb8\xd0\xb2\xd0\xb5\xd1\x82 \xd0\xbc\xd0\xb8\xd1\x80";
  ucsdet_setText(d, text, sizeof text - 1, &status);
  const UCharsetMatch *m = ucsdet_detect(d, &status);
  if (m && U_SUCCESS(status)) std::snprintf(name, sizeof name, "%s", ucsdet_getName(m, &status));
  ucsdet_close(d);
  return name;
}

} // namespace

int main(int argc, char **argv) {
  if (argc < 3) {
    std::printf("usage: rendercheck FONT-FAMILY DOCUMENT...\n");
    return 2;
  }
  int failed = 0;
  const int dark = textPixels(argv[1]);
  const int conv = converters();
  std::printf("cairo %s: %d dark pixels of text; ICU: %d of 15 converters, detected %s\n",
              cairo_version_string(), dark, conv, detect());
  if (dark < 100 || conv != 15) failed = 1;
  for (int i = 2; i < argc; ++i) {
    librevenge::RVNGFileStream input(argv[i]);
    Counter counter;
    const bool supported = libcdr::CDRDocument::isSupported(&input);
    const bool parsed = supported && libcdr::CDRDocument::parse(&input, &counter);
    const char *base = std::strrchr(argv[i], '/');
    std::printf("%s: %s, pages %u shapes %u filled %u text objects %u bytes %u\n",
                base ? base + 1 : argv[i], parsed ? "parsed" : supported ? "NOT PARSED" : "NOT SUPPORTED",
                counter.pages, counter.shapes, counter.filled, counter.textRuns,
                counter.textBytes);
    if (!parsed || counter.pages == 0 || counter.shapes == 0) failed = 1;
  }
  return failed;
}
CPP
}

log "verifying the document renderer libraries"
RVTMP=$(mktemp -d "$CACHE/render-verify.XXXXXX")
for doc in "${RENDER_DOCS[@]}"; do
    [ -f "$doc" ] || die "no test document $doc"
    cp "$doc" "$RVTMP/"
done
write_render_check "$RVTMP/rendercheck.cpp"
export WINEPREFIX="$CACHE/wine-verify" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
declare -A RENDER_FIGURES
for build in "${RENDER_BUILDS[@]}"; do
    prefix=${RENDER_PREFIX[$build]}
    flags=$(PKG_CONFIG_LIBDIR=$prefix/lib/pkgconfig PKG_CONFIG_PATH='' \
        pkg-config --static --cflags --libs libcdr-0.1 librevenge-stream-0.0 cairo)
    docs=()
    for doc in "${RENDER_DOCS[@]}"; do docs+=("${doc##*/}"); done
    cd "$RVTMP" || die "cannot enter $RVTMP"
    if [ "$build" = native ]; then
        # shellcheck disable=SC2086
        g++ -std=c++17 -O2 rendercheck.cpp $flags -o rendercheck-native ||
            die "native: cannot link the check program"
        out=$(./rendercheck-native "DejaVu Sans" "${docs[@]}" 2>&1) ||
            { echo "$out" >&2; die "native: check failed"; }
    else
        t=${TRIPLET[$build]}
        exe=rendercheck-$build.exe
        # shellcheck disable=SC2086
        "$t-g++-posix" -std=c++17 -O2 -static rendercheck.cpp $flags -o "$exe" ||
            die "$build: cannot link the check program"
        dlls=$("$t-objdump" -p "$exe" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr '\n' ' ')
        info "$build: $exe ($(stat -c %s "$exe") bytes) imports: $dlls"
        if grep -qiE 'libstdc|libgcc|winpthread|libicu|libcairo|libcdr|librevenge|liblcms|zlib|libz|pixman|libssp' <<<"$dlls"; then
            die "$build: $exe needs non-system DLLs"
        fi
        if [ ! -f "$WINEPREFIX/system.reg" ]; then
            info "creating Wine prefix $WINEPREFIX (first time only)"
            wineboot -i >/dev/null 2>&1 || die "wineboot -i failed"
            wineserver -w
        fi
        out=$(wine "./$exe" Arial "${docs[@]}" 2>&1 | tr -d '\r') ||
            { echo "$out" >&2; die "$build: check failed under Wine"; }
    fi
    printf '%s\n' "$out" | sed "s/^/    $build: /"
    RENDER_FIGURES[$build]=$(grep -v '^cairo' <<<"$out")
done
cd "$CACHE" || die "cannot enter $CACHE"
wineserver -k >/dev/null 2>&1 || true
for build in win32 win64; do
    [ "${RENDER_FIGURES[$build]}" = "${RENDER_FIGURES[native]}" ] ||
        die "$build reads the documents differently from the native build"
done
rm -rf "$RVTMP"
info "the renderer libraries work in all three builds and read the documents alike"
