#!/usr/bin/env bash
# Prepares a Debian 12 (bookworm) machine for building and testing the plugin:
#   1. installs the Debian packages the build and the tests need,
#   2. makes Debian source packages reachable (deb-src),
#   3. fetches libjpeg-turbo, 7zip, libpng1.6, pillow and libzip sources into a
#      cache (libpng's, libjpeg's and Pillow's sample images feed the tests),
#   4. cross-builds static libjpeg and libzip (zlib only) for win32/win64,
#      and libzip for the 32-bit x86 fuzz build (tools/fuzz.sh, FUZZ_ARCH=i386),
#   5. cross-builds 7-Zip's console 7za.exe for win32/win64,
#   6. writes $CACHE/paths.env for the build and tests to source.
# Every step is skipped when its result is already there, so running it again
# is quick.
#
# Usage: tools/setup.sh [--verify]
#   --verify   also run the built 7za.exe and a libjpeg test program under
#              Wine for both architectures (a few seconds once set up)
# Env:    CDRTHUMB_CACHE  cache directory (default: $HOME/.cache/cdrthumb)
set -euo pipefail

VERIFY=0
for arg in "$@"; do
    case "$arg" in
        --verify) VERIFY=1 ;;
        -h|--help) sed -n '2,/^set /{/^#/s/^# \{0,1\}//p}' "$0"; exit 0 ;;
        *) echo "setup.sh: unknown argument: $arg" >&2; exit 2 ;;
    esac
done

CACHE="${CDRTHUMB_CACHE:-$HOME/.cache/cdrthumb}"
TOOLS_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
JOBS=2
export DEBIAN_FRONTEND=noninteractive

log()  { printf '\n==> %s\n' "$*"; }
info() { printf '    %s\n' "$*"; }
die()  { printf 'setup.sh: error: %s\n' "$*" >&2; exit 1; }

# Package installs need root; everything else works as any user.
SUDO=()
if [ "$(id -u)" -ne 0 ]; then SUDO=(sudo); fi

START=$(date +%s)
mkdir -p "$CACHE/src" "$CACHE/build"
CACHE=$(cd "$CACHE" && pwd -P)   # absolute: it goes into paths.env
# Work from inside the cache so nothing can land in the caller's directory.
cd "$CACHE"

# ---------------------------------------------------------------------------
# apt helpers
# ---------------------------------------------------------------------------
# shellcheck source=tools/setup_apt.sh
. "$TOOLS_DIR/setup_apt.sh"

# Another apt/dpkg run (e.g. started by someone else on this machine) holds the
# lock: wait for it instead of failing or breaking it.
wait_for_dpkg_lock() {
    local waited=0
    command -v fuser >/dev/null || return 0   # apt's own Lock::Timeout still applies
    while fuser /var/lib/dpkg/lock-frontend /var/lib/dpkg/lock \
                /var/lib/apt/lists/lock >/dev/null 2>&1; do
        [ "$waited" -eq 0 ] && info "waiting for another apt/dpkg run to finish..."
        sleep 5; waited=$((waited + 5))
        [ "$waited" -lt 1800 ] || die "dpkg lock still held after 30 minutes"
    done
}

is_installed() {
    [ "$(dpkg-query -W -f='${db:Status-Status}' "$1" 2>/dev/null)" = installed ]
}

# ---------------------------------------------------------------------------
# 1. Debian packages
# ---------------------------------------------------------------------------
log "Debian packages"
# wine32 only exists for i386; naming the architecture makes dpkg-query and
# apt-get unambiguous.
PACKAGES=(
    cmake g++ googletest make dpkg-dev file
    mingw-w64
    gcc-mingw-w64-i686-posix gcc-mingw-w64-x86-64-posix
    g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix
    libz-mingw-w64-dev zlib1g-dev libjpeg62-turbo-dev libpng-dev
    nasm clang libclang-rt-14-dev
    wine wine64 wine32:i386
    xvfb xauth imagemagick netpbm
    ccache libzip-dev 7zip
    clang-format clang-tidy
    libboost-dev liblcms2-dev libicu-dev icu-devtools libcairo2-dev libpixman-1-dev
    libfreetype-dev libfontconfig-dev pkg-config m4 fonts-liberation libcdr-tools librsvg2-bin
    # The 32-bit x86 fuzz build: clang -m32 with glibc's and libstdc++'s
    # 32-bit development files (gcc-multilib also gives the kernel headers'
    # asm/ folder to -m32 builds), and zlib's i386 library.
    gcc-multilib lib32stdc++-12-dev zlib1g:i386
)
missing=()
for p in "${PACKAGES[@]}"; do
    is_installed "$p" || missing+=("$p")
done
if [ "${#missing[@]}" -eq 0 ]; then
    info "all ${#PACKAGES[@]} packages already installed"
else
    info "missing: ${missing[*]}"
    wait_for_dpkg_lock
    # wine32 is an i386 package: the architecture must be known to dpkg first.
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
        info "dpkg --add-architecture i386"
        "${SUDO[@]}" dpkg --add-architecture i386
    fi
    apt_update
    wait_for_dpkg_lock
    # Recommends are left out to keep the install small; the wine packages
    # are all named explicitly so both 32- and 64-bit loaders come in anyway.
    apt_install "${missing[@]}"
    for p in "${missing[@]}"; do
        is_installed "$p" || die "package $p did not install.$(apt_advice)"
    done
fi

# ---------------------------------------------------------------------------
# 2. deb-src entries (apt-get source needs them)
# ---------------------------------------------------------------------------
log "deb-src entries"
# APT_DIR can point elsewhere only to try these functions on sample files.
APT_DIR=${CDRTHUMB_APT_DIR:-/etc/apt}
SRC_LIST=$APT_DIR/sources.list.d/cdrthumb-deb-src.sources
shopt -s nullglob
ONELINE_FILES=("$APT_DIR"/sources.list "$APT_DIR"/sources.list.d/*.list)
DEB822_FILES=("$APT_DIR"/sources.list.d/*.sources)
shopt -u nullglob

have_deb_src() {
    [ -f "$SRC_LIST" ] && return 0
    grep -hsqE '^[[:space:]]*deb-src[[:space:]].*bookworm' \
        /dev/null "${ONELINE_FILES[@]}" && return 0
    # deb822: a stanza whose Types name deb-src and whose Suites name bookworm
    awk 'function end_stanza() { if (t && s && !off) found = 1; t = s = off = 0 }
         FNR == 1 { end_stanza() }
         /^[[:space:]]*$/ { end_stanza(); next }
         { l = tolower($0) }
         l ~ /^types:.*deb-src/ { t = 1 }
         l ~ /^suites:.*bookworm/ { s = 1 }
         l ~ /^enabled:[[:space:]]*no/ { off = 1 }
         END { end_stanza(); exit !found }' /dev/null "${DEB822_FILES[@]}"
}

# Turns the enabled binary bookworm entries into deb-src entries (deb822).
make_deb_src() {
    local f
    for f in "${DEB822_FILES[@]}"; do
        awk '
            function flush(  i) {
                if (n && isdeb && isbw && !off) {
                    print "Types: deb-src"
                    for (i = 1; i <= n; i++)
                        if (tolower(lines[i]) !~ /^types:/) print lines[i]
                    print ""
                }
                n = 0; isdeb = 0; isbw = 0; off = 0
            }
            /^#/ { next }
            /^[[:space:]]*$/ { flush(); next }
            {
                lines[++n] = $0
                l = tolower($0)
                if (l ~ /^types:/ && l ~ /[[:space:]]deb([[:space:]]|$)/) isdeb = 1
                if (l ~ /^suites:/ && l ~ /bookworm/) isbw = 1
                if (l ~ /^enabled:[[:space:]]*no/) off = 1
            }
            END { flush() }' "$f"
    done
    # one-line format: "deb [opts] URI bookworm[-x] components..."
    local l
    grep -hsE '^[[:space:]]*deb[[:space:]].*[[:space:]]bookworm(-[a-z]+)?[[:space:]]' \
        /dev/null "${ONELINE_FILES[@]}" |
    while read -r l; do
        set -f   # "[arch=...]" must not be taken as a file name pattern
        # shellcheck disable=SC2086
        set -- ${l#*deb}
        local opts=""
        if [ "${1:0:1}" = "[" ]; then
            while [ "${1: -1}" != "]" ]; do opts+="$1 "; shift; done
            opts+="$1"; shift
        fi
        local uri=$1 suite=$2; shift 2
        printf 'Types: deb-src\nURIs: %s\nSuites: %s\nComponents: %s\n' \
            "$uri" "$suite" "$*"
        if [[ "$opts" =~ signed-by=([^] ]+) ]]; then
            printf 'Signed-By: %s\n' "${BASH_REMATCH[1]}"
        fi
        printf '\n'
    done || true   # grep finding no one-line entry is fine
}

if have_deb_src; then
    info "a bookworm deb-src entry already exists"
else
    entries=$(make_deb_src)
    [ -n "$entries" ] || die "found no bookworm 'deb' entry to derive deb-src from"
    info "writing $SRC_LIST:"
    printf '%s\n' "$entries" | sed 's/^/      /'
    printf '# Added by tools/setup.sh: source packages for apt-get source.\n%s\n' \
        "$entries" | "${SUDO[@]}" tee "$SRC_LIST" >/dev/null
    wait_for_dpkg_lock
    apt_update
fi
# A deb-src entry without a downloaded Sources index (e.g. added by hand).
if ! apt-cache showsrc libjpeg-turbo >/dev/null 2>&1 ||
   [ -z "$(apt-cache showsrc libjpeg-turbo 2>/dev/null)" ]; then
    [ "$APT_UPDATED" -eq 1 ] && die "apt-cache showsrc finds no libjpeg-turbo source"
    wait_for_dpkg_lock
    apt_update
fi

# ---------------------------------------------------------------------------
# 3. Source packages
# ---------------------------------------------------------------------------
log "Source packages in $CACHE/src"
# Versions of a source package known to apt, newest first (may carry an
# epoch "N:").
src_versions() {
    apt-cache showsrc --only-source "$1" 2>/dev/null | sed -n 's/^Version: //p' |
        sort -u | sort -r -V
}

# dpkg's version order is the one that counts; sort -V is only a first guess.
newest_first() {
    local v out=() i j
    while read -r v; do out+=("$v"); done
    for ((i = 0; i < ${#out[@]}; i++)); do
        for ((j = i + 1; j < ${#out[@]}; j++)); do
            if dpkg --compare-versions "${out[j]}" gt "${out[i]}"; then
                v=${out[i]}; out[i]=${out[j]}; out[j]=$v
            fi
        done
    done
    printf '%s\n' "${out[@]}"
}

# fetch_src PKG VARNAME: unpacks PKG into $CACHE/src/PKG-VER/source and sets
# VARNAME to that directory and VARNAME_VER to VER.  The newest version is
# taken; if the mirror lacks its files (seen with security updates), the next
# older one is tried.
fetch_src() {
    local pkg=$1 var=$2 fullver ver dir versions
    versions=$(src_versions "$pkg" | newest_first)
    [ -n "$versions" ] || die "apt knows no source package $pkg.$(apt_advice)"
    # Reuse an already unpacked version (the newest one present).
    for fullver in $versions; do
        ver=${fullver#*:}   # file and directory names carry no epoch
        dir="$CACHE/src/$pkg-$ver"
        if [ -f "$dir/.unpacked" ]; then
            info "$pkg $ver: already unpacked in $dir/source"
            printf -v "$var" '%s' "$dir/source"
            printf -v "${var}_VER" '%s' "$ver"
            return
        fi
    done
    for fullver in $versions; do
        ver=${fullver#*:}
        dir="$CACHE/src/$pkg-$ver"
        info "$pkg $ver: apt-get source --download-only into $dir"
        mkdir -p "$dir"
        # Download as the current user: the _apt user may not reach the cache.
        if ! (cd "$dir" && apt-get source -q --download-only                 -o APT::Sandbox::User="$(id -un)" "$pkg=$fullver")                 >"$dir/fetch.log" 2>&1; then
            info "$pkg $ver: download failed (see below), trying an older version"
            grep -E '^(E|W):' "$dir/fetch.log" | sed 's/^/      /' || true
            rm -rf "$dir"
            continue
        fi
        rm -rf "$dir/source"
        info "$pkg $ver: dpkg-source -x"
        (cd "$dir" && dpkg-source -q -x "${pkg}_${ver}.dsc" source) >>"$dir/fetch.log" 2>&1 ||
            { cat "$dir/fetch.log" >&2; die "dpkg-source -x failed for $pkg $ver"; }
        touch "$dir/.unpacked"
        printf -v "$var" '%s' "$dir/source"
        printf -v "${var}_VER" '%s' "$ver"
        return
    done
    die "could not fetch any version of source package $pkg"
}

fetch_src libjpeg-turbo LIBJPEG_SRC
fetch_src 7zip SEVENZIP_SRC
fetch_src libpng1.6 LIBPNG_SRC
# Pillow's Tests/images: third-party BMP, ICO and PCX samples for the imaging
# corpus tests.
fetch_src pillow PILLOW_SRC
# The document reader's ZIP container code.
fetch_src libzip LIBZIP_SRC

# Mingw triplet and CMake processor name for each Windows architecture.
declare -A TRIPLET=([win32]=i686-w64-mingw32 [win64]=x86_64-w64-mingw32)
declare -A CMAKE_CPU=([win32]=x86 [win64]=AMD64)

# ---------------------------------------------------------------------------
# 4. libjpeg-turbo, static, for win32 and win64
# ---------------------------------------------------------------------------
JPEG_BUILD="$CACHE/build/libjpeg-turbo-$LIBJPEG_SRC_VER"
log "libjpeg-turbo $LIBJPEG_SRC_VER in $JPEG_BUILD"
for arch in win32 win64; do
    prefix="$JPEG_BUILD/$arch"
    if [ -f "$prefix/lib/libjpeg.a" ] && [ -f "$prefix/include/jpeglib.h" ] &&
       [ -f "$prefix/include/jconfig.h" ]; then
        info "$arch: already installed in $prefix"
        continue
    fi
    t=${TRIPLET[$arch]}
    toolchain="$JPEG_BUILD/toolchain-$arch.cmake"
    obj="$JPEG_BUILD/obj-$arch"
    mkdir -p "$JPEG_BUILD"
    cat >"$toolchain" <<TOOLCHAIN
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${CMAKE_CPU[$arch]})
set(CMAKE_C_COMPILER $t-gcc-posix)
set(CMAKE_CXX_COMPILER $t-g++-posix)
set(CMAKE_RC_COMPILER $t-windres)
set(CMAKE_ASM_NASM_COMPILER nasm)
set(CMAKE_FIND_ROOT_PATH /usr/$t)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
TOOLCHAIN
    info "$arch: configuring (toolchain $toolchain)"
    rm -rf "$obj" "$prefix"
    # Install dirs are absolute: libjpeg-turbo's own GNUInstallDirs resolves
    # relative ones against the working directory, not the prefix.
    # REQUIRE_SIMD: fail rather than silently build without the nasm code.
    cmake -S "$LIBJPEG_SRC" -B "$obj" -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
        -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" \
        -DCMAKE_INSTALL_LIBDIR="$prefix/lib" \
        -DCMAKE_INSTALL_INCLUDEDIR="$prefix/include" \
        -DENABLE_SHARED=0 -DENABLE_STATIC=1 -DWITH_TURBOJPEG=0 \
        -DWITH_SIMD=1 -DREQUIRE_SIMD=1 >"$JPEG_BUILD/build-$arch.log" 2>&1 ||
        { tail -n 40 "$JPEG_BUILD/build-$arch.log" >&2; die "libjpeg-turbo $arch: cmake failed"; }
    info "$arch: building and installing"
    { cmake --build "$obj" -j "$JOBS" && cmake --install "$obj"; } \
        >>"$JPEG_BUILD/build-$arch.log" 2>&1 ||
        { tail -n 40 "$JPEG_BUILD/build-$arch.log" >&2; die "libjpeg-turbo $arch: build failed"; }
    [ -f "$prefix/lib/libjpeg.a" ] || die "libjpeg-turbo $arch: no $prefix/lib/libjpeg.a"
    rm -rf "$obj"   # objects are not needed once installed
done

# ---------------------------------------------------------------------------
# 4b. libzip, static, for win32 and win64, with zlib only
# ---------------------------------------------------------------------------
LIBZIP_BUILD="$CACHE/build/libzip-$LIBZIP_SRC_VER"
log "libzip $LIBZIP_SRC_VER in $LIBZIP_BUILD"
for arch in win32 win64; do
    prefix="$LIBZIP_BUILD/$arch"
    if [ -f "$prefix/lib/libzip.a" ] && [ -f "$prefix/include/zip.h" ] && [ -f "$prefix/include/zipconf.h" ]; then
        info "$arch: already installed in $prefix"
        continue
    fi
    t=${TRIPLET[$arch]}
    toolchain="$LIBZIP_BUILD/toolchain-$arch.cmake"
    obj="$LIBZIP_BUILD/obj-$arch"
    mkdir -p "$LIBZIP_BUILD"
    cat >"$toolchain" <<TOOLCHAIN
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ${CMAKE_CPU[$arch]})
set(CMAKE_C_COMPILER $t-gcc-posix)
set(CMAKE_RC_COMPILER $t-windres)
set(CMAKE_FIND_ROOT_PATH /usr/$t)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
TOOLCHAIN
    info "$arch: configuring (zlib only: no bzip2, lzma or crypto back-ends)"
    rm -rf "$obj" "$prefix"
    # The static zlib the plugin links is the one libzip is built against.
    cmake -S "$LIBZIP_SRC" -B "$obj" -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
        -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" \
        -DCMAKE_INSTALL_LIBDIR=lib -DCMAKE_INSTALL_INCLUDEDIR=include \
        -DBUILD_SHARED_LIBS=OFF -DZLIB_LIBRARY="/usr/$t/lib/libz.a" \
        -DENABLE_BZIP2=OFF -DENABLE_LZMA=OFF -DENABLE_ZSTD=OFF \
        -DENABLE_COMMONCRYPTO=OFF -DENABLE_GNUTLS=OFF -DENABLE_MBEDTLS=OFF \
        -DENABLE_OPENSSL=OFF -DENABLE_WINDOWS_CRYPTO=OFF \
        -DBUILD_TOOLS=OFF -DBUILD_REGRESS=OFF -DBUILD_EXAMPLES=OFF -DBUILD_DOC=OFF \
        >"$LIBZIP_BUILD/build-$arch.log" 2>&1 ||
        { tail -n 40 "$LIBZIP_BUILD/build-$arch.log" >&2; die "libzip $arch: cmake failed"; }
    info "$arch: building and installing"
    { cmake --build "$obj" -j "$JOBS" && cmake --install "$obj"; } \
        >>"$LIBZIP_BUILD/build-$arch.log" 2>&1 ||
        { tail -n 40 "$LIBZIP_BUILD/build-$arch.log" >&2; die "libzip $arch: build failed"; }
    [ -f "$prefix/lib/libzip.a" ] || die "libzip $arch: no $prefix/lib/libzip.a"
    rm -rf "$obj"
done

# ---------------------------------------------------------------------------
# 4c. libzip, static, for the 32-bit x86 fuzz build, with zlib only
# ---------------------------------------------------------------------------
# Built like the Windows ones, by clang -m32 against zlib's i386 library and
# the (architecture-independent) zlib headers; the fuzz targets link it.
prefix="$LIBZIP_BUILD/i386"
ZLIB_I386=/usr/lib/i386-linux-gnu/libz.so.1
if [ -f "$prefix/lib/libzip.a" ] && [ -f "$prefix/include/zipconf.h" ]; then
    info "i386: already installed in $prefix"
else
    obj="$LIBZIP_BUILD/obj-i386"
    rm -rf "$obj" "$prefix"
    info "i386: configuring and building (clang -m32)"
    { cmake -S "$LIBZIP_SRC" -B "$obj" -DCMAKE_C_COMPILER=clang -DCMAKE_C_FLAGS=-m32 \
        -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" \
        -DCMAKE_INSTALL_LIBDIR=lib -DCMAKE_INSTALL_INCLUDEDIR=include \
        -DBUILD_SHARED_LIBS=OFF -DZLIB_LIBRARY="$ZLIB_I386" -DZLIB_INCLUDE_DIR=/usr/include \
        -DENABLE_BZIP2=OFF -DENABLE_LZMA=OFF -DENABLE_ZSTD=OFF \
        -DENABLE_COMMONCRYPTO=OFF -DENABLE_GNUTLS=OFF -DENABLE_MBEDTLS=OFF \
        -DENABLE_OPENSSL=OFF -DENABLE_WINDOWS_CRYPTO=OFF \
        -DBUILD_TOOLS=OFF -DBUILD_REGRESS=OFF -DBUILD_EXAMPLES=OFF -DBUILD_DOC=OFF &&
      cmake --build "$obj" -j "$JOBS" && cmake --install "$obj"; } >"$LIBZIP_BUILD/build-i386.log" 2>&1 ||
        { tail -n 40 "$LIBZIP_BUILD/build-i386.log" >&2; die "libzip i386: build failed"; }
    [ -f "$prefix/lib/libzip.a" ] || die "libzip i386: no $prefix/lib/libzip.a"
    rm -rf "$obj"
fi

# ---------------------------------------------------------------------------
# 5. 7-Zip console 7za.exe for win32 and win64
# ---------------------------------------------------------------------------
SEVENZIP_BUILD="$CACHE/build/7zip-$SEVENZIP_SRC_VER"
log "7-Zip $SEVENZIP_SRC_VER (7za.exe) in $SEVENZIP_BUILD"
for arch in win32 win64; do
    out="$SEVENZIP_BUILD/$arch"
    if [ -f "$out/7za.exe" ] && [ -f "$out/License.txt" ]; then
        info "$arch: already built: $out/7za.exe"
        continue
    fi
    t=${TRIPLET[$arch]}
    obj="$SEVENZIP_BUILD/obj-$arch"
    mkdir -p "$out"
    rm -rf "$obj"
    # makefile.gcc switches to its Windows rules with IS_MINGW (normally
    # detected from %SystemDrive%) and to Unix shell commands with MSYSTEM.
    # USE_ASM stays empty: its x86 assembler sources need asmc/jwasm, which
    # Debian lacks, so the C fallbacks are built.  IS_X86/IS_X64 only pick
    # assembler files.  MY_ARCH must be empty: the cross compilers already
    # target the right CPU.  -static (from IS_MINGW) means no mingw DLLs.
    if [ "$arch" = win64 ]; then archvars=(IS_X64=1); else archvars=(IS_X86=1); fi
    info "$arch: make -j$JOBS -f makefile.gcc (about a minute and a half)"
    make -C "$SEVENZIP_SRC/CPP/7zip/Bundles/Alone" -f makefile.gcc -j"$JOBS" \
        IS_MINGW=1 MSYSTEM=1 "${archvars[@]}" USE_ASM= MY_ARCH= \
        CC="$t-gcc-posix" CXX="$t-g++-posix" RC="$t-windres" \
        LFLAGS_STRIP=-s O="$obj" >"$SEVENZIP_BUILD/build-$arch.log" 2>&1 ||
        { tail -n 40 "$SEVENZIP_BUILD/build-$arch.log" >&2; die "7-Zip $arch: build failed"; }
    cp "$SEVENZIP_SRC/DOC/License.txt" "$SEVENZIP_SRC/DOC/copying.txt" "$out/"
    cp "$obj/7za.exe" "$out/7za.exe.tmp" && mv "$out/7za.exe.tmp" "$out/7za.exe"
    rm -rf "$obj"
done
cp "$SEVENZIP_SRC/DOC/License.txt" "$SEVENZIP_BUILD/License.txt"

# ---------------------------------------------------------------------------
# 6. paths.env
# ---------------------------------------------------------------------------
PATHS_ENV="$CACHE/paths.env"
log "writing $PATHS_ENV"
{
    echo "# Written by tools/setup.sh; source it from the build and the tests."
    for v in CDRTHUMB_CACHE JPEG_WIN32_PREFIX JPEG_WIN64_PREFIX SEVENZA_WIN32 \
             SEVENZA_WIN64 SEVENZIP_LICENSE LIBPNG_SRC LIBJPEG_SRC PILLOW_SRC \
             LIBZIP_WIN32_PREFIX LIBZIP_WIN64_PREFIX LIBZIP_I386_PREFIX ZLIB_I386; do
        case $v in
            CDRTHUMB_CACHE)    val=$CACHE ;;
            JPEG_WIN32_PREFIX) val=$JPEG_BUILD/win32 ;;
            JPEG_WIN64_PREFIX) val=$JPEG_BUILD/win64 ;;
            SEVENZA_WIN32)     val=$SEVENZIP_BUILD/win32/7za.exe ;;
            SEVENZA_WIN64)     val=$SEVENZIP_BUILD/win64/7za.exe ;;
            SEVENZIP_LICENSE)  val=$SEVENZIP_BUILD/License.txt ;;
            LIBPNG_SRC)        val=$LIBPNG_SRC ;;
            LIBJPEG_SRC)       val=$LIBJPEG_SRC ;;
            PILLOW_SRC)        val=$PILLOW_SRC ;;
            LIBZIP_WIN32_PREFIX) val=$LIBZIP_BUILD/win32 ;;
            LIBZIP_WIN64_PREFIX) val=$LIBZIP_BUILD/win64 ;;
            LIBZIP_I386_PREFIX) val=$LIBZIP_BUILD/i386 ;;
            ZLIB_I386)         val=$ZLIB_I386 ;;
        esac
        printf 'export %s=%q\n' "$v" "$val"
    done
} >"$PATHS_ENV.tmp"
mv "$PATHS_ENV.tmp" "$PATHS_ENV"
sed 's/^/    /' "$PATHS_ENV"

# ---------------------------------------------------------------------------
# 7. Optional check that the results really work (--verify)
# ---------------------------------------------------------------------------
# A small libjpeg program: compress a gradient to memory, decompress it, and
# compare.  Run under Wine it proves the static library (with its nasm SIMD
# code) links and works for that architecture.
write_jpeg_check() {
    cat >"$1" <<'CSRC'
#include <stdio.h>
#include <stdlib.h>
#include <jpeglib.h>
int main(void) {
    enum { W = 64, H = 48 };
    static unsigned char rgb[W * H * 3], back[W * H * 3];
    struct jpeg_compress_struct c;
    struct jpeg_decompress_struct d;
    struct jpeg_error_mgr e1, e2;
    unsigned char *jpg = NULL;
    unsigned long size = 0;
    int x, y, maxerr = 0;
    for (y = 0; y < H; y++)
        for (x = 0; x < W; x++) {
            unsigned char *p = rgb + (y * W + x) * 3;
            p[0] = (unsigned char)(x * 4); p[1] = (unsigned char)(y * 5); p[2] = 128;
        }
    c.err = jpeg_std_error(&e1);
    jpeg_create_compress(&c);
    jpeg_mem_dest(&c, &jpg, &size);
    c.image_width = W; c.image_height = H; c.input_components = 3;
    c.in_color_space = JCS_RGB;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, 95, TRUE);
    jpeg_start_compress(&c, TRUE);
    while (c.next_scanline < H) {
        JSAMPROW row = rgb + c.next_scanline * W * 3;
        jpeg_write_scanlines(&c, &row, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    d.err = jpeg_std_error(&e2);
    jpeg_create_decompress(&d);
    jpeg_mem_src(&d, jpg, size);
    jpeg_read_header(&d, TRUE);
    jpeg_start_decompress(&d);
    if (d.output_width != W || d.output_height != H || d.output_components != 3) {
        printf("bad size %ux%u\n", d.output_width, d.output_height);
        return 1;
    }
    while (d.output_scanline < H) {
        JSAMPROW row = back + d.output_scanline * W * 3;
        jpeg_read_scanlines(&d, &row, 1);
    }
    jpeg_finish_decompress(&d);
    jpeg_destroy_decompress(&d);
    for (x = 0; x < W * H * 3; x++) {
        int diff = abs(rgb[x] - back[x]);
        if (diff > maxerr) maxerr = diff;
    }
    free(jpg);
    printf("libjpeg round trip: %lu bytes, max error %d\n", size, maxerr);
    return maxerr <= 16 ? 0 : 1;
}
CSRC
}

if [ "$VERIFY" -eq 1 ]; then
    log "verifying"
    declare -A PE_KIND=([win32]='PE32 executable' [win64]='PE32+ executable')
    declare -A SEVENZA=([win32]="$SEVENZIP_BUILD/win32/7za.exe" [win64]="$SEVENZIP_BUILD/win64/7za.exe")
    for arch in win32 win64; do
        exe=${SEVENZA[$arch]}
        kind=$(file -b "$exe")
        info "$arch: 7za.exe: $kind"
        [[ "$kind" == "${PE_KIND[$arch]}"* ]] || die "$exe is not ${PE_KIND[$arch]}"
        # Only system DLLs may be imported (no libstdc++/libgcc/winpthread).
        dlls=$("${TRIPLET[$arch]}-objdump" -p "$exe" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr '\n' ' ')
        info "$arch: 7za.exe imports: $dlls"
        if grep -qiE 'libstdc|libgcc|winpthread' <<<"$dlls"; then
            die "$exe needs mingw runtime DLLs"
        fi
    done

    # Own Wine prefix in the cache: the user's ~/.wine stays untouched.
    export WINEPREFIX="$CACHE/wine-verify" WINEDEBUG=-all
    # No Mono/Gecko install prompts: console programs need neither.
    export WINEDLLOVERRIDES="mscoree,mshtml="
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        info "creating Wine prefix $WINEPREFIX (wineboot -i, first time only)"
        wineboot -i >/dev/null 2>&1 || die "wineboot -i failed"
        wineserver -w
    fi
    VTMP=$(mktemp -d "$CACHE/verify.XXXXXX")
    trap 'wineserver -k >/dev/null 2>&1 || true; rm -rf "$VTMP"' EXIT

    for arch in win32 win64; do
        exe=${SEVENZA[$arch]}
        mkdir -p "$VTMP/$arch/in/sub"
        cd "$VTMP/$arch"
        head -c 200000 /dev/urandom >in/random.bin
        seq 1 20000 >in/sub/numbers.txt
        info "$arch: $(wine "$exe" i 2>/dev/null | tr -d '\r' | grep -m1 '7-Zip')"
        # Relative paths: Wine maps the working directory to a drive.
        wine "$exe" a -bd -y -tzip test.zip in >add.log 2>&1 ||
            { cat add.log >&2; die "$arch: 7za a failed"; }
        wine "$exe" x -bd -y -oout test.zip >extract.log 2>&1 ||
            { cat extract.log >&2; die "$arch: 7za x failed"; }
        diff -r in out/in >/dev/null || die "$arch: extracted files differ from the originals"
        info "$arch: 7za zip round trip OK ($(stat -c %s test.zip) bytes)"

        t=${TRIPLET[$arch]}
        prefix="$JPEG_BUILD/$arch"
        fmt=$("$t-objdump" -f "$prefix/lib/libjpeg.a" | sed -n 's/.*file format //p' | sort -u | tr '\n' ' ')
        info "$arch: libjpeg.a object format: $fmt"
        write_jpeg_check jpegcheck.c
        "$t-gcc-posix" -O2 -static -I"$prefix/include" jpegcheck.c \
            "$prefix/lib/libjpeg.a" -o jpegcheck.exe || die "$arch: cannot link against libjpeg.a"
        out=$(wine ./jpegcheck.exe 2>&1 | tr -d '\r') || { echo "$out" >&2; die "$arch: libjpeg check failed"; }
        info "$arch: $out"
        cd "$CACHE"
    done
    info "all checks passed"
fi

. "$TOOLS_DIR/setup_render.sh"   # the document renderer's libraries
log "done in $(( $(date +%s) - START ))s; paths are in:"
echo "$PATHS_ENV"

