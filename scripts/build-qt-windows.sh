#!/usr/bin/env bash
# Builds the Qt the Windows desktop program links: Debian's own qtbase source (the same version as the
# host's Qt, whose moc, uic and rcc the cross build runs), configured static and release for
# x86_64-w64-mingw32 with only what a widgets program needs, and installs it into a cache outside the
# clone. The cache's folder is named after everything that decides its content (the Qt package
# version, the compiler's version, a digest of this script's flags and the toolchain file), so a
# change to any of them builds anew and an unchanged one is reused at once.
#   scripts/build-qt-windows.sh            prints the installed prefix on its last line
# Cold: about 30 minutes on 2 cores (3,600 CPU-seconds) and 2 GB of build folder (removed after
# installing); the prefix is about 100 MB. VANTOR_CACHE_DIR chooses the cache (default ~/.cache/vantor).
# Beside the prefix, PREFIX.legal keeps what the notices of the programs built with it are made from:
# Qt's licence texts and the qt_attribution.json of every bundled third party, from the same source.
#   VANTOR_QT_SOURCE=DIR scripts/build-qt-windows.sh
# builds a Qt you changed instead: the qtbase source folder DIR (e.g. `apt-get source
# qt6-base=VERSION`, then your edits), with the same flags, into a prefix of its own beside the cache's
# (qt-source-NAME-DIGEST-..., never the cached one), built anew on every run, and its licences from
# DIR. Then `VANTOR_QT_PREFIX=PREFIX scripts/windows-build.sh` links the programs against it.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

toolchain=$root/cmake/mingw-w64.cmake
cache=${VANTOR_CACHE_DIR:-${XDG_CACHE_HOME:-$HOME/.cache}/vantor}
host_cmake_dir=/usr/lib/x86_64-linux-gnu/cmake

command -v x86_64-w64-mingw32-g++-posix >/dev/null ||
    { echo "mingw-w64 is missing: run scripts/install-deps.sh --checks" >&2; exit 1; }
qt_version=$(dpkg-query -W -f='${Version}' qt6-base-dev 2>/dev/null || true)
[ -n "$qt_version" ] || { echo "qt6-base-dev is missing: run scripts/install-deps.sh" >&2; exit 1; }

# A static widgets Qt: no OpenGL, D-Bus, ICU, SQL, network, printing or XML; bundled zlib, libpng,
# PCRE and HarfBuzz so nothing of the host enters it. FreeType (bundled) is kept for the offscreen
# platform, which the widget tests run on. Debian's tarball lacks src/3rdparty/wintab, hence no
# tablet events; Direct2D stays on, since 6.4.2's windows platform plugin does not link without it.
configure_flags=(
    -xplatform win32-g++ -static -release -qt-host-path /usr
    -nomake tests -nomake examples
    -no-opengl -no-dbus -no-icu
    -qt-zlib -qt-libpng -qt-pcre -qt-harfbuzz -qt-freetype
    -no-fontconfig -no-libjpeg -no-gif
    -no-feature-sql -no-feature-network -no-feature-printsupport -no-feature-concurrent
    -no-feature-xml -no-feature-vulkan -no-feature-tabletevent -no-feature-sessionmanager
)
compiler=$(x86_64-w64-mingw32-g++-posix -dumpfullversion)
digest=$( (printf '%s\n' "${configure_flags[@]}"; cat "$toolchain") | sha256sum | cut -c1-12)
prefix=$cache/qt-${qt_version//[^A-Za-z0-9.]/_}-mingw-w64-gcc$compiler-$digest
legal=$prefix.legal
source_dir=${VANTOR_QT_SOURCE:-}
if [ -n "$source_dir" ]; then
    [ -x "$source_dir/configure" ] && [ -d "$source_dir/src/3rdparty" ] && [ -d "$source_dir/LICENSES" ] ||
        { echo "VANTOR_QT_SOURCE=$source_dir is not a qtbase source folder (no configure, src/3rdparty or LICENSES)" >&2; exit 1; }
    source_dir=$(realpath "$source_dir")
    # Named after the folder, never like the cache, and always built again: its content is the user's.
    if [ -f "$source_dir/debian/changelog" ]; then
        qt_version=$(dpkg-parsechangelog -l "$source_dir/debian/changelog" -S Version)
    fi
    tag=$(printf '%s' "$source_dir" | sha256sum | cut -c1-8)
    prefix=$cache/qt-source-$(basename "$source_dir" | tr -c 'A-Za-z0-9.\n' _)-$tag-mingw-w64-gcc$compiler-$digest
    legal=$prefix.legal
    rm -f "$prefix/.complete" "$legal/.complete"
fi

if [ -f "$prefix/.complete" ] && [ -f "$legal/.complete" ]; then
    echo "$prefix"
    exit 0
fi

# Debian's source package comes through deb-src entries for the archives and suites the binary
# packages come from (not needed for a source folder of the user's).
if [ -z "$source_dir" ] && ! apt-get source --print-uris --only-source "qt6-base=$qt_version" >/dev/null 2>&1; then
    echo "Enabling Debian's source packages (deb-src) to fetch qt6-base $qt_version" >&2
    if [ -f /etc/apt/sources.list.d/debian.sources ]; then
        sed 's/^Types:.*/Types: deb-src/' /etc/apt/sources.list.d/debian.sources \
            >/etc/apt/sources.list.d/vantor-deb-src.sources
    else
        sed -n 's/^deb /deb-src /p' /etc/apt/sources.list >/etc/apt/sources.list.d/vantor-deb-src.list
    fi
    apt-get update -qq
fi

work=$cache/qt-build.$$
trap 'rm -rf "$work"' EXIT
rm -rf "$cache"/qt-build.*
mkdir -p "$work"
start=$(date +%s)
if [ -n "$source_dir" ]; then
    src=$source_dir
else
    (cd "$work" && apt-get source -qq --only-source "qt6-base=$qt_version" >/dev/null 2>&1)
    src=$(find "$work" -maxdepth 1 -type d -name 'qt6-base-*' | head -n 1)
    [ -n "$src" ] || { echo "apt-get source qt6-base=$qt_version gave no source folder" >&2; exit 1; }
fi

# The licences and attributions travel with the build they describe (a cache built before they were
# kept gets them from the same source, without building Qt again).
rm -rf "$legal"
mkdir -p "$legal"
(cd "$src" && { find LICENSES -type f -print0; find src \( -name qt_attribution.json -o -iname '*licen[cs]e*' -o -iname 'copying*' \) \
    -type f -print0; } | tar -cf - --null -T -) | tar -C "$legal" -xf -
printf 'qt6-base %s\n' "$qt_version" >"$legal/source.txt"
touch "$legal/.complete"
if [ -f "$prefix/.complete" ]; then
    echo "$prefix"
    exit 0
fi

echo "Building Qt $qt_version for Windows into $prefix (about 30 minutes)" >&2
mkdir -p "$work/build"
(cd "$work/build" &&
    "$src/configure" -prefix "$prefix" "${configure_flags[@]}" -- -G Ninja \
        -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DQT_HOST_PATH_CMAKE_DIR="$host_cmake_dir" \
        >"$work/configure.log" 2>&1) ||
    { tail -n 40 "$work/configure.log" >&2; exit 1; }
cmake --build "$work/build" --parallel "$(nproc)" >"$work/build.log" 2>&1 ||
    { grep -E 'error|Error' "$work/build.log" | head -n 40 >&2; exit 1; }
rm -rf "$prefix"
cmake --install "$work/build" >/dev/null
touch "$prefix/.complete"
echo "Qt for Windows built in $(($(date +%s) - start)) s, $(du -sh "$prefix" | cut -f1) installed" >&2
echo "$prefix"
