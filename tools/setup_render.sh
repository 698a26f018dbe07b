# shellcheck shell=bash
# The document renderer's libraries, static, for three builds: native (Linux
# x86_64), win32 (i686-w64-mingw32) and win64 (x86_64-w64-mingw32).
#
#   windows: pixman, cairo (image surfaces, win32 fonts), lcms2, ICU (the
#            converters and the charset detector libcdr uses, with a data
#            library cut to them), librevenge + librevenge-stream, libcdr
#   native:  librevenge + librevenge-stream and libcdr; ICU, cairo, pixman,
#            lcms2 and zlib are Debian's -dev packages
#
# libcdr is Debian's 0.1.6 with the backports in tools/patches/libcdr.
# Boost is header-only here: Debian's libboost-dev serves all three builds.
#
# Sourced by tools/setup.sh after its own steps. Uses its CACHE, JOBS,
# TOOLS_DIR, TRIPLET, VERIFY and PATHS_ENV, log/info/die and fetch_src;
# adds RENDER_{NATIVE,WIN32,WIN64}_PREFIX to paths.env. Each prefix has
# lib/pkgconfig/*.pc for
#   PKG_CONFIG_LIBDIR=$PREFIX/lib/pkgconfig pkg-config --static \
#       --cflags --libs libcdr-0.1 librevenge-stream-0.0 cairo
# Every library is skipped when its stamp in $PREFIX/.stamps names the same
# version and recipe; logs and build times are kept in $RENDER_DIR.

RENDER_DIR=$CACHE/build/render
# Raised whenever a recipe below changes, so that every library is rebuilt.
RENDER_RECIPE=1
RENDER_PATCHES=$TOOLS_DIR/patches/libcdr
RENDER_BUILDS=(native win32 win64)

log "document renderer libraries in $RENDER_DIR"
mkdir -p "$RENDER_DIR/logs" "$RENDER_DIR/src"
# Two set-ups started at once must not build into the same prefixes.
exec 9>"$RENDER_DIR/.lock"
flock 9

# run_logged LOG WHAT CMD...: runs CMD with its output appended to LOG;
# dies with the end of the log when it fails.
run_logged() {
    local logf=$1 what=$2
    shift 2
    if ! "$@" >>"$logf" 2>&1; then
        tail -n 40 "$logf" >&2
        die "$what failed (full log: $logf)"
    fi
}

# ---------------------------------------------------------------------------
# Sources
# ---------------------------------------------------------------------------
# Like fetch_src, but a source package whose Debian diff the mirror lacks
# (seen with pixman) is unpacked from its original tarball alone, which
# apt-get has still fetched and checked against the .dsc.
fetch_src_or_orig() {
    local pkg=$1 var=$2 fullver ver dir orig
    fullver=$(src_versions "$pkg" | newest_first | head -n 1)
    [ -n "$fullver" ] || die "apt knows no source package $pkg.$(apt_advice)"
    ver=${fullver#*:}
    dir=$CACHE/src/$pkg-$ver
    if [ ! -f "$dir/.unpacked" ]; then
        mkdir -p "$dir"
        info "$pkg $ver: apt-get source --download-only into $dir"
        if (cd "$dir" && apt-get source -q --download-only \
                -o APT::Sandbox::User="$(id -un)" "$pkg=$fullver") >"$dir/fetch.log" 2>&1; then
            (cd "$dir" && rm -rf source && dpkg-source -q -x "${pkg}_${ver}.dsc" source) \
                >>"$dir/fetch.log" 2>&1 || { cat "$dir/fetch.log" >&2; die "dpkg-source -x failed for $pkg $ver"; }
        else
            orig=$(find "$dir" -maxdepth 1 -name "${pkg}_*.orig.tar.*" ! -name '*.asc' | head -n 1)
            [ -n "$orig" ] || { cat "$dir/fetch.log" >&2; die "could not fetch source package $pkg $ver"; }
            info "$pkg $ver: the Debian diff is missing on the mirror; unpacking $(basename "$orig") alone"
            rm -rf "$dir/source" "$dir/unpack"
            mkdir "$dir/unpack"
            tar -xf "$orig" -C "$dir/unpack" || die "cannot unpack $orig"
            mv "$dir/unpack"/* "$dir/source" && rmdir "$dir/unpack"
            echo "original tarball only: the Debian diff was missing on the mirror" >"$dir/ORIGINAL-ONLY"
        fi
        touch "$dir/.unpacked"
    fi
    info "$pkg $ver: unpacked in $dir/source"
    printf -v "$var" '%s' "$dir/source"
    printf -v "${var}_VER" '%s' "$ver"
}

fetch_src librevenge REVENGE_SRC
fetch_src libcdr CDR_DEBIAN_SRC
fetch_src lcms2 LCMS_SRC
fetch_src icu ICU_SRC
fetch_src cairo CAIRO_SRC
fetch_src_or_orig pixman PIXMAN_SRC

# Debian's patches change configure.ac and Makefile.am files (cairo, lcms2)
# without regenerating what autoconf and automake made from them; make would
# then try to run the exact automake version the tarball was made with. The
# generated files get one common time stamp, later than every patched input.
settle_autotools() {
    local src=$1
    [ -f "$src/.render-settled" ] && return
    local stamp
    stamp=$(date +%Y%m%d%H%M.%S)
    find "$src" \( -name aclocal.m4 -o -name configure -o -name Makefile.in \
        -o -name config.h.in -o -name '*.h.in' -o -name '*.pc.in' \) -type f \
        -exec touch -t "$stamp" {} +
    touch "$src/.render-settled"
}
for src in "$REVENGE_SRC" "$CDR_DEBIAN_SRC" "$LCMS_SRC" "$CAIRO_SRC" "$PIXMAN_SRC"; do
    settle_autotools "$src"
done

# libcdr with the backports applied, in order, to a copy of Debian's tree
# (whose own patch is already applied by dpkg-source).
patch_id=$(cat "$RENDER_PATCHES"/0*.patch | sha256sum | cut -c1-12)
CDR_SRC=$RENDER_DIR/src/libcdr-$CDR_DEBIAN_SRC_VER-$patch_id
CDR_SRC_VER=$CDR_DEBIAN_SRC_VER+$patch_id
if [ ! -f "$CDR_SRC/.patched" ]; then
    info "libcdr: applying tools/patches/libcdr to a copy in $CDR_SRC"
    rm -rf "$CDR_SRC"
    cp -a "$CDR_DEBIAN_SRC" "$CDR_SRC"
    for p in "$RENDER_PATCHES"/0*.patch; do
        run_logged "$RENDER_DIR/logs/libcdr-patch.log" "patch $(basename "$p")" \
            patch -d "$CDR_SRC" -p1 --no-backup-if-mismatch -F0 -i "$p"
    done
    touch "$CDR_SRC/.patched"
fi

# Boost headers for the cross compilers without the rest of /usr/include.
BOOST_INC=$RENDER_DIR/boost-include
[ -d /usr/include/boost ] || die "no /usr/include/boost (package libboost-dev)"
mkdir -p "$BOOST_INC"
ln -sfn /usr/include/boost "$BOOST_INC/boost"

# ---------------------------------------------------------------------------
# One library of one build
# ---------------------------------------------------------------------------
# Build times of this run, for the summary at the end.
RENDER_TIMES=()

# stamp_ok PREFIX NAME VERSION: the library is installed from this recipe.
stamp_ok() {
    [ "$(cat "$1/.stamps/$2" 2>/dev/null)" = "$RENDER_RECIPE $3" ]
}
stamp_set() {
    mkdir -p "$1/.stamps"
    echo "$RENDER_RECIPE $3" >"$1/.stamps/$2"
}

# The compilers and search paths of a build, exported in the subshell that
# builds a library.
build_env() {
    local build=$1 prefix=$2
    export CFLAGS="-O2" CXXFLAGS="-O2"
    if [ "$build" = native ]; then
        export PKG_CONFIG_PATH=$prefix/lib/pkgconfig
        unset PKG_CONFIG_LIBDIR
        export CPPFLAGS="-I$prefix/include"
        export LDFLAGS="-L$prefix/lib"
    else
        local t=${TRIPLET[$build]}
        export CC=$t-gcc-posix CXX=$t-g++-posix AR=$t-ar RANLIB=$t-ranlib \
            NM=$t-nm STRIP=$t-strip WINDRES=$t-windres RC=$t-windres
        # Nothing of the build machine may leak in.
        export PKG_CONFIG_LIBDIR=$prefix/lib/pkgconfig PKG_CONFIG_PATH=
        export CPPFLAGS="-I$prefix/include -I$BOOST_INC"
        export LDFLAGS="-L$prefix/lib -static-libgcc -static-libstdc++"
    fi
}

# configure_args BUILD PREFIX: the arguments every autoconf project gets.
# On Windows, --without-pic: libtool would otherwise compile the static
# objects with -DDLL_EXPORT, which turns the APIs into dllexport/dllimport.
configure_args() {
    CONFIGURE_ARGS=(--prefix="$2" --disable-shared --enable-static --disable-dependency-tracking)
    if [ "$1" != native ]; then
        CONFIGURE_ARGS+=(--host="${TRIPLET[$1]}" --build="$(gcc -dumpmachine)" --without-pic)
    fi
}

# build_lib BUILD PREFIX NAME VERSION FUNCTION: runs FUNCTION (which builds
# and installs NAME into PREFIX from inside a fresh object directory) unless
# the stamp says it is there; times it.
build_lib() {
    local build=$1 prefix=$2 name=$3 ver=$4 fn=$5
    if stamp_ok "$prefix" "$name" "$ver"; then
        info "$build: $name $ver already installed"
        return
    fi
    local obj=$RENDER_DIR/obj/$build/$name logf=$RENDER_DIR/logs/$build-$name.log
    local started=$SECONDS
    info "$build: building $name $ver (log: $logf)"
    rm -rf "$obj"
    mkdir -p "$obj" "$prefix/lib/pkgconfig"
    : >"$logf"
    (
        set -euo pipefail
        cd "$obj"
        build_env "$build" "$prefix"
        configure_args "$build" "$prefix"
        "$fn" "$build" "$prefix" "$logf"
        # The processor time of the compilers, which other work on the
        # machine does not stretch as it does the wall-clock time.
        times >"$obj/.cpu"
    ) || die "$build: $name did not build (log: $logf)"
    local took=$((SECONDS - started)) cpu
    # times: the shell's own times, then its children's.
    cpu=$(awk 'NR == 2 { for (i = 1; i <= 2; i++) { split($i, a, /[ms]/); t += a[1] * 60 + a[2] } }
               END { printf "%.0f", t }' "$obj/.cpu")
    rm -rf "$obj"
    stamp_set "$prefix" "$name" "$ver"
    RENDER_TIMES+=("$build $name ${took}s (processor ${cpu}s)")
    echo "$(date -u +%FT%TZ) $build $name $ver ${took}s processor ${cpu}s" >>"$RENDER_DIR/times.log"
    info "$build: $name done in ${took}s (processor ${cpu}s)"
}

# ---------------------------------------------------------------------------
# The recipes (run inside the object directory, see build_lib)
# ---------------------------------------------------------------------------
recipe_pixman() {
    local logf=$3
    run_logged "$logf" "pixman configure" "$PIXMAN_SRC/configure" "${CONFIGURE_ARGS[@]}" \
        --disable-gtk --disable-libpng --disable-openmp --disable-loongson-mmi \
        --disable-arm-simd --disable-arm-neon --disable-arm-iwmmxt --disable-arm-a64-neon \
        --disable-mips-dspr2 --disable-vmx
    # The library and its .pc only: no tests or demos.
    run_logged "$logf" "pixman make" make -C pixman -j"$JOBS"
    run_logged "$logf" "pixman install" make -C pixman install
    run_logged "$logf" "pixman install .pc" make install-pkgconfigDATA
}

recipe_cairo() {
    local build=$1 prefix=$2 logf=$3
    # Image surfaces and the Windows back-ends only.
    local off=(xlib xlib-xrender xcb xlib-xcb xcb-shm qt quartz quartz-font quartz-image
        os2 beos drm gallium png gl glesv2 glesv3 cogl directfb vg egl glx wgl script
        ft fc ps pdf svg test-surfaces tee xml gobject trace interpreter symbol-lookup)
    local args=() f
    for f in "${off[@]}"; do args+=("--enable-$f=no"); done
    run_logged "$logf" "cairo configure" "$CAIRO_SRC/configure" "${CONFIGURE_ARGS[@]}" \
        "${args[@]}" --enable-win32=yes --enable-win32-font=yes --disable-valgrind \
        --disable-gtk-doc --without-x
    run_logged "$logf" "cairo make" make -C src -j"$JOBS"
    run_logged "$logf" "cairo install" make -C src install
    # cairo.pc misses what a static Windows program needs: the static-build
    # define for its headers, the system libraries of the win32 back-end,
    # and libssp for the _FORTIFY_SOURCE cairo's configure adds to its flags.
    local pc=$prefix/lib/pkgconfig/cairo.pc
    sed -i -e 's/^Cflags: \(.*\)/Cflags: \1 -DCAIRO_WIN32_STATIC_BUILD/' \
        -e 's/^Libs.private: \(.*\)/Libs.private: \1 -lgdi32 -lmsimg32 -lssp/' "$pc"
    if ! grep -q 'CAIRO_WIN32_STATIC_BUILD' "$pc" || ! grep -q -- '-lmsimg32' "$pc"; then
        echo "cairo.pc lacks the lines to amend" >>"$logf"
        return 1
    fi
}

recipe_lcms2() {
    local logf=$3
    run_logged "$logf" "lcms2 configure" "$LCMS_SRC/configure" "${CONFIGURE_ARGS[@]}" \
        --without-jpeg --without-tiff --without-zlib
    run_logged "$logf" "lcms2 make" make -C src -j"$JOBS"
    run_logged "$logf" "lcms2 install" make -C src install
    run_logged "$logf" "lcms2 install headers" make -C include install
    run_logged "$logf" "lcms2 install .pc" make install-pkgconfigDATA
}

# ICU: only the C/C++ libraries; the data is cut separately (icu_data). What
# libcdr does not use (collation, formatting, break iteration, ...) is
# compiled out; the same switches go into icu-uc.pc so that every user of
# the headers sees the library as it was built.
ICU_TRIM="-DUCONFIG_NO_BREAK_ITERATION=1 -DUCONFIG_NO_IDNA=1 -DUCONFIG_NO_COLLATION=1 -DUCONFIG_NO_FORMATTING=1 -DUCONFIG_NO_TRANSLITERATION=1 -DUCONFIG_NO_REGULAR_EXPRESSIONS=1 -DUCONFIG_NO_SERVICE=1 -DUCONFIG_NO_FILTERED_BREAK_ITERATION=1"
ICU_VER_MAJOR=${ICU_SRC_VER%%.*}
ICU_CONFIGURE_ARGS=(--disable-extras --disable-tests --disable-samples --disable-tools
    --disable-icuio --disable-layoutex --with-data-packaging=static)

# A configured ICU tree for the build machine: the cross build reads its
# config/icucross.mk. Nothing in it is compiled: the data is cut with
# Debian's icu-devtools of the same version, so no ICU tool is run from it.
ICU_HOST=$RENDER_DIR/icu-host-$ICU_SRC_VER
icu_host() {
    [ -f "$ICU_HOST/config/icucross.mk" ] && return
    local logf=$RENDER_DIR/logs/icu-host.log
    info "ICU: configuring the build-machine tree in $ICU_HOST"
    rm -rf "$ICU_HOST"
    mkdir -p "$ICU_HOST"
    : >"$logf"
    (cd "$ICU_HOST" && env -u CC -u CXX -u CPPFLAGS -u LDFLAGS \
        "$ICU_SRC/source/configure" "${ICU_CONFIGURE_ARGS[@]}" --disable-shared --enable-static) \
        >>"$logf" 2>&1 || { tail -n 40 "$logf" >&2; die "ICU host configure failed (log: $logf)"; }
    run_logged "$logf" "ICU host icucross.mk" make -C "$ICU_HOST" icudefs.mk config/icucross.mk config/icucross.inc
}

recipe_icu() {
    local build=$1 prefix=$2 logf=$3
    export CPPFLAGS="$CPPFLAGS -DU_STATIC_IMPLEMENTATION $ICU_TRIM"
    run_logged "$logf" "ICU configure" "$ICU_SRC/source/configure" "${CONFIGURE_ARGS[@]}" \
        "${ICU_CONFIGURE_ARGS[@]}" --with-cross-build="$ICU_HOST"
    # The top-level make would make these and build the data too.
    mkdir -p lib bin
    run_logged "$logf" "ICU common" make -C common -j"$JOBS"
    run_logged "$logf" "ICU i18n" make -C i18n -j"$JOBS"
    run_logged "$logf" "ICU install common" make -C common install
    run_logged "$logf" "ICU install i18n" make -C i18n install
    icu_data "$build" "$prefix" "$logf"
    icu_pc "$prefix"
}

# The converter tables libcdr opens (windows-874, 932, 936, 949, 950,
# 1250-1258; UTF-16LE needs none) with the alias table. windows-936, 949
# and 950 are extensions of the IBM tables listed after them.
ICU_DATA_ITEMS="cnvalias.icu
windows-874-2000.cnv
ibm-943_P15A-2003.cnv
windows-936-2000.cnv
ibm-1386_P100-2001.cnv
windows-949-2000.cnv
ibm-1363_P11B-1998.cnv
windows-950-2000.cnv
ibm-1373_P100-2002.cnv
ibm-5346_P100-1998.cnv
ibm-5347_P100-1998.cnv
ibm-5348_P100-1997.cnv
ibm-5349_P100-1998.cnv
ibm-5350_P100-1998.cnv
ibm-9447_P100-2002.cnv
ibm-9448_X100-2005.cnv
ibm-9449_P100-2002.cnv
ibm-5354_P100-1998.cnv"

# The data library: the items above packed into icudt<N>l.dat, turned into
# an object file by genccode (its assembler dialect differs only in the
# leading underscore of 32-bit Windows symbols) and archived as
# libsicudt.a.
icu_data() {
    local build=$1 prefix=$2 logf=$3 t=${TRIPLET[$1]} dialect
    local name=icudt${ICU_VER_MAJOR}l
    if [ "$build" = win32 ]; then dialect=gcc-cygwin; else dialect=gcc-mingw64; fi
    mkdir -p data/items data/out
    printf '%s\n' "$ICU_DATA_ITEMS" >data/items.txt
    run_logged "$logf" "icupkg -x" icupkg -d data/items -x data/items.txt "$ICU_SRC/source/data/in/$name.dat"
    run_logged "$logf" "icupkg -a" icupkg -tl -s data/items -a data/items.txt new "data/$name.dat"
    run_logged "$logf" "genccode" genccode -a "$dialect" -e "icudt${ICU_VER_MAJOR}" -d data/out "data/$name.dat"
    local asm
    asm=$(find data/out -name '*.S' -o -name '*.s' | head -n 1)
    [ -n "$asm" ] || { echo "genccode wrote no assembler file" >>"$logf"; return 1; }
    run_logged "$logf" "assemble ICU data" "$t-gcc-posix" -c "$asm" -o data/icudata.o
    rm -f "$prefix/lib/libsicudt.a"
    run_logged "$logf" "archive ICU data" "$t-ar" rcs "$prefix/lib/libsicudt.a" data/icudata.o
}

icu_pc() {
    local prefix=$1 ver=$ICU_SRC_VER
    cat >"$prefix/lib/pkgconfig/icu-uc.pc" <<PC
prefix=$prefix
libdir=\${prefix}/lib
includedir=\${prefix}/include

Name: icu-uc
Description: ICU common library, static, with a data library cut to the converters libcdr uses
Version: ${ver%%-*}
Cflags: -I\${includedir} -DU_STATIC_IMPLEMENTATION $ICU_TRIM
Libs: -L\${libdir} -lsicuuc -lsicudt
Libs.private: -ladvapi32
PC
    cat >"$prefix/lib/pkgconfig/icu-i18n.pc" <<PC
prefix=$prefix
libdir=\${prefix}/lib

Name: icu-i18n
Description: ICU internationalization library, static (charset detection)
Version: ${ver%%-*}
Requires: icu-uc
Libs: -L\${libdir} -lsicuin
PC
}

recipe_librevenge() {
    local logf=$3
    run_logged "$logf" "librevenge configure" "$REVENGE_SRC/configure" "${CONFIGURE_ARGS[@]}" \
        --without-docs --disable-tests --disable-generators --disable-werror \
        --disable-fuzzers
    run_logged "$logf" "librevenge make" make -C src/lib -j"$JOBS"
    run_logged "$logf" "librevenge install" make -C src/lib install
    run_logged "$logf" "librevenge install headers" make -C inc install
    run_logged "$logf" "librevenge install .pc" make install-pkgconfDATA
}

recipe_libcdr() {
    local logf=$3
    run_logged "$logf" "libcdr configure" "$CDR_SRC/configure" "${CONFIGURE_ARGS[@]}" \
        --without-docs --disable-tests --disable-tools --disable-werror --disable-weffc \
        --disable-fuzzers
    run_logged "$logf" "libcdr make" make -C src/lib -j"$JOBS"
    run_logged "$logf" "libcdr install" make -C src/lib install
    run_logged "$logf" "libcdr install headers" make -C inc install
    run_logged "$logf" "libcdr install .pc" make install-pkgconfDATA
}

# librevenge-stream reads ZIP containers with zlib, but its .pc does not say
# so: a static link then misses inflate.
amend_revenge_stream_pc() {
    local pc=$1/lib/pkgconfig/librevenge-stream-0.0.pc
    grep -q '^Requires.private:.*zlib' "$pc" || echo 'Requires.private: zlib' >>"$pc"
}

# The native prefix has its own librevenge and libcdr; every other package
# is Debian's, so its .pc files (with everything they require) are linked
# in beside them. PKG_CONFIG_LIBDIR set to the prefix then finds them all.
native_system_pc() {
    local prefix=$1 dir pc
    mkdir -p "$prefix/lib/pkgconfig"
    for dir in /usr/lib/x86_64-linux-gnu/pkgconfig /usr/share/pkgconfig /usr/lib/pkgconfig; do
        [ -d "$dir" ] || continue
        for pc in "$dir"/*.pc; do
            [ -e "$pc" ] || continue
            # A file there is an own build's and stays.
            [ -f "$prefix/lib/pkgconfig/${pc##*/}" ] && [ ! -L "$prefix/lib/pkgconfig/${pc##*/}" ] && continue
            ln -sfn "$pc" "$prefix/lib/pkgconfig/${pc##*/}"
        done
    done
    # Links to .pc files of packages removed since.
    find "$prefix/lib/pkgconfig" -xtype l -delete
}

# ---------------------------------------------------------------------------
# The three builds
# ---------------------------------------------------------------------------
RENDER_STARTED=$SECONDS
declare -A RENDER_PREFIX
for build in "${RENDER_BUILDS[@]}"; do
    prefix=$RENDER_DIR/$build
    RENDER_PREFIX[$build]=$prefix
    mkdir -p "$prefix/lib/pkgconfig"
    if [ "$build" = native ]; then
        for pc in lcms2 icu-i18n cairo zlib; do
            pkg-config --exists "$pc" || die "native: no $pc.pc (Debian -dev packages missing?)"
        done
        build_lib native "$prefix" librevenge "$REVENGE_SRC_VER" recipe_librevenge
        amend_revenge_stream_pc "$prefix"
        build_lib native "$prefix" libcdr "$CDR_SRC_VER" recipe_libcdr
        native_system_pc "$prefix"
        continue
    fi
    t=${TRIPLET[$build]}
    [ -f "/usr/$t/lib/pkgconfig/zlib.pc" ] || die "$build: no /usr/$t/lib/pkgconfig/zlib.pc (libz-mingw-w64-dev)"
    cp "/usr/$t/lib/pkgconfig/zlib.pc" "$prefix/lib/pkgconfig/zlib.pc"
    icu_host
    build_lib "$build" "$prefix" pixman "$PIXMAN_SRC_VER" recipe_pixman
    build_lib "$build" "$prefix" cairo "$CAIRO_SRC_VER" recipe_cairo
    build_lib "$build" "$prefix" lcms2 "$LCMS_SRC_VER" recipe_lcms2
    build_lib "$build" "$prefix" icu "$ICU_SRC_VER" recipe_icu
    build_lib "$build" "$prefix" librevenge "$REVENGE_SRC_VER" recipe_librevenge
    amend_revenge_stream_pc "$prefix"
    build_lib "$build" "$prefix" libcdr "$CDR_SRC_VER" recipe_libcdr
done
rm -rf "$RENDER_DIR/obj"

# Every prefix must hand a static program everything it links.
for build in "${RENDER_BUILDS[@]}"; do
    PKG_CONFIG_LIBDIR=${RENDER_PREFIX[$build]}/lib/pkgconfig PKG_CONFIG_PATH='' \
        pkg-config --static --cflags --libs libcdr-0.1 librevenge-stream-0.0 cairo >/dev/null ||
        die "$build: pkg-config cannot resolve libcdr-0.1 librevenge-stream-0.0 cairo in ${RENDER_PREFIX[$build]}"
done

if [ "${#RENDER_TIMES[@]}" -gt 0 ]; then
    info "built in this run ($((SECONDS - RENDER_STARTED))s in all):"
    printf '      %s\n' "${RENDER_TIMES[@]}"
fi

{
    grep -v '^export \(RENDER_\|LIBCDR_SRC=\)' "$PATHS_ENV" || true
    printf 'export RENDER_NATIVE_PREFIX=%q\n' "${RENDER_PREFIX[native]}"
    printf 'export RENDER_WIN32_PREFIX=%q\n' "${RENDER_PREFIX[win32]}"
    printf 'export RENDER_WIN64_PREFIX=%q\n' "${RENDER_PREFIX[win64]}"
    # The patched source, for the renderer's fuzz target (tools/fuzz.sh).
    printf 'export LIBCDR_SRC=%q\n' "$CDR_SRC"
} >"$PATHS_ENV.tmp"
mv "$PATHS_ENV.tmp" "$PATHS_ENV"
info "RENDER_*_PREFIX added to $PATHS_ENV"

if [ "$VERIFY" -eq 1 ]; then
    # shellcheck source=tools/setup_render_verify.sh
    . "$TOOLS_DIR/setup_render_verify.sh"
fi
exec 9>&-
