#!/usr/bin/env bash
# Cross-builds everything for 64-bit Windows with mingw-w64 into build/windows: vantor.exe, the tests
# of every layer that runs there and, unless --no-desktop is given, vantor-uploader.exe and its widget
# tests against the static Qt of scripts/build-qt-windows.sh (built on first use, then taken from its
# cache), and the setup program (build/windows/vantor-setup-VERSION-x64.exe) with the manual as HTML,
# the third-party notices and both programs' SBOMs (build/windows/setup-docs).
# GoogleTest comes from Debian's source package; nlohmann-json's and toml++'s headers from copies,
# since the host's /usr/include must not enter a Windows build. Also builds the Linux programs the
# Windows ones are compared with (and whose plc-sim serves them), into build/windows-host.
#   scripts/windows-build.sh [--no-desktop] [--release]
# --release builds only what ships (no tests, no Linux programs), as scripts/release.sh wants it.
# Every time stamp is the commit's (SOURCE_DATE_EPOCH), so that two builds of one commit are equal.
#   VANTOR_QT_PREFIX=PREFIX scripts/windows-build.sh [--release]
# links the desktop program against a static Qt of your own instead (e.g. a modified one: the LGPL
# lets you relink these programs with it). Build it with the configure flags of
# scripts/build-qt-windows.sh; `VANTOR_QT_SOURCE=DIR scripts/build-qt-windows.sh` does that from your
# qtbase source folder DIR and prints PREFIX. The notices then name what PREFIX.legal holds, where
# there is one.
set -euo pipefail
cd "$(dirname "$0")/.."
build=build/windows
with_desktop=1
with_tests=1
for option in "$@"; do
    case $option in
    --no-desktop) with_desktop=0 ;;
    --release) with_tests=0 ;;
    *) echo "usage: scripts/windows-build.sh [--no-desktop] [--release]" >&2; exit 2 ;;
    esac
done

command -v x86_64-w64-mingw32-g++-posix >/dev/null || { echo "mingw-w64 is missing: run scripts/install-deps.sh --checks" >&2; exit 1; }
[ -f /usr/src/googletest/CMakeLists.txt ] || [ $with_tests = 0 ] || { echo "googletest sources are missing: run scripts/install-deps.sh --checks" >&2; exit 1; }
[ -f /usr/include/nlohmann/json.hpp ] || { echo "nlohmann-json is missing: run scripts/install-deps.sh" >&2; exit 1; }
[ -f /usr/include/toml++/toml.h ] || { echo "toml++ is missing: run scripts/install-deps.sh" >&2; exit 1; }
if [ $with_desktop = 1 ]; then
    command -v makensis >/dev/null && command -v mandoc >/dev/null ||
        { echo "makensis or mandoc is missing: run scripts/install-deps.sh --checks" >&2; exit 1; }
fi
SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct)}
export SOURCE_DATE_EPOCH

desktop=(-DVANTOR_BUILD_GUI=OFF)
if [ $with_desktop = 1 ]; then
    if [ -n "${VANTOR_QT_PREFIX:-}" ]; then
        qt=$(realpath "$VANTOR_QT_PREFIX")
        [ -f "$qt/lib/cmake/Qt6/Qt6Config.cmake" ] ||
            { echo "VANTOR_QT_PREFIX=$VANTOR_QT_PREFIX holds no Qt 6 (no lib/cmake/Qt6/Qt6Config.cmake)" >&2; exit 1; }
        if [ -f "$qt.legal/source.txt" ]; then
            export VANTOR_QT_LEGAL="$qt.legal"
        fi
    else
        qt=$(./scripts/build-qt-windows.sh | tail -n 1)
    fi
    desktop=(-DVANTOR_BUILD_GUI=ON -DCMAKE_PREFIX_PATH="$qt" -DQT_HOST_PATH=/usr
             -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake)
fi
# Qt's packages, once found, stay in the cache whatever CMAKE_PREFIX_PATH says later: another Qt
# than the one the build folder was configured with needs a fresh configuration.
fresh=()
if [ $with_desktop = 1 ] && [ -f "$build/CMakeCache.txt" ] &&
    [ "$(sed -n 's/^CMAKE_PREFIX_PATH:[A-Z]*=//p' "$build/CMakeCache.txt")" != "$qt" ]; then
    fresh=(--fresh)
fi
launcher=()
if command -v ccache >/dev/null; then launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache); fi
mkdir -p "$build/json" "$build/toml"
cp -r /usr/include/nlohmann "$build/json/"
cp -r /usr/include/toml++ "$build/toml/"
cmake "${fresh[@]}" -S . -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DCMAKE_BUILD_TYPE=Release \
    -DVANTOR_WERROR=ON -DVANTOR_BUILD_TESTS=$([ $with_tests = 1 ] && echo ON || echo OFF) \
    -DVANTOR_GTEST_SOURCE=/usr/src/googletest "${desktop[@]}" "${launcher[@]}" \
    -DVANTOR_JSON_INCLUDE_DIR="$PWD/$build/json" \
    -DVANTOR_TOML_INCLUDE_DIR="$PWD/$build/toml" >/dev/null
if [ $with_tests = 1 ]; then
    cmake --build "$build"
else
    cmake --build "$build" --target vantor $([ $with_desktop = 1 ] && echo vantor-uploader)
fi

if [ $with_desktop = 1 ]; then
    # What the setup program installs beside the programs and the repository's files: the manual,
    # the notices of everything the programs hold of others' work, and each program's SBOM.
    version=$(sed -n 's/^project(VantorUploader VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
    docs=$build/setup-docs
    thirdparty=packaging/third-party/thirdparty.py
    rm -rf "$docs"
    mkdir -p "$docs/manual" "$docs/sbom"
    for page in vantor vantor-uploader; do
        mandoc -T html "docs/man/$page.1" >"$docs/manual/$page.html"
    done
    python3 "$thirdparty" notices --artifact setup --out "$docs/THIRD-PARTY-NOTICES.txt"
    python3 "$thirdparty" sbom --artifact vantor.exe --file "$build/src/cli/vantor.exe" --out "$docs/sbom/vantor.exe.cdx.json"
    python3 "$thirdparty" sbom --artifact vantor-uploader.exe --file "$build/src/app/vantor-uploader.exe" \
        --out "$docs/sbom/vantor-uploader.exe.cdx.json"
    makensis -V2 -DVERSION="$version" -DBIN="$PWD/$build/src" -DTOP="$PWD" -DDOCS="$PWD/$docs" \
        -DOUTFILE="$PWD/$build/vantor-setup-$version-x64.exe" packaging/windows/vantor.nsi
fi

if [ $with_tests = 1 ]; then
    linux=build/windows-host
    cmake -S . -B "$linux" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVANTOR_BUILD_TESTS=OFF "${launcher[@]}" >/dev/null
    cmake --build "$linux" --target vantor vantor-uploader
fi
