#!/usr/bin/env bash
# Cross-builds everything for 64-bit Windows with mingw-w64 into build/windows: vantor.exe, the tests
# of every layer that runs there and, unless --no-desktop is given, vantor-uploader.exe and its widget
# tests against the static Qt of scripts/build-qt-windows.sh (built on first use, then taken from its
# cache). GoogleTest comes from Debian's source package; nlohmann-json's and toml++'s headers from
# copies, since the host's /usr/include must not enter a Windows build. Also builds the Linux programs
# the Windows ones are compared with (and whose plc-sim serves them), into build/windows-host.
#   scripts/windows-build.sh [--no-desktop]
set -euo pipefail
cd "$(dirname "$0")/.."
build=build/windows

command -v x86_64-w64-mingw32-g++-posix >/dev/null || { echo "mingw-w64 is missing: run scripts/install-deps.sh --checks" >&2; exit 1; }
[ -f /usr/src/googletest/CMakeLists.txt ] || { echo "googletest sources are missing: run scripts/install-deps.sh --checks" >&2; exit 1; }
[ -f /usr/include/nlohmann/json.hpp ] || { echo "nlohmann-json is missing: run scripts/install-deps.sh" >&2; exit 1; }
[ -f /usr/include/toml++/toml.h ] || { echo "toml++ is missing: run scripts/install-deps.sh" >&2; exit 1; }

desktop=(-DVANTOR_BUILD_GUI=OFF)
if [ "${1:-}" != "--no-desktop" ]; then
    qt=$(./scripts/build-qt-windows.sh | tail -n 1)
    desktop=(-DVANTOR_BUILD_GUI=ON -DCMAKE_PREFIX_PATH="$qt" -DQT_HOST_PATH=/usr
             -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake)
fi
mkdir -p "$build/json" "$build/toml"
cp -r /usr/include/nlohmann "$build/json/"
cp -r /usr/include/toml++ "$build/toml/"
cmake -S . -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DCMAKE_BUILD_TYPE=Release \
    -DVANTOR_WERROR=ON -DVANTOR_GTEST_SOURCE=/usr/src/googletest "${desktop[@]}" \
    -DVANTOR_JSON_INCLUDE_DIR="$PWD/$build/json" \
    -DVANTOR_TOML_INCLUDE_DIR="$PWD/$build/toml" >/dev/null
cmake --build "$build"

linux=build/windows-host
cmake -S . -B "$linux" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVANTOR_BUILD_TESTS=OFF >/dev/null
cmake --build "$linux" --target vantor vantor-uploader
