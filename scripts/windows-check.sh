#!/usr/bin/env bash
# Proves the Qt-free layers on Windows: cross-builds the host link, the simulated PLC logic with its
# in-process link, and the compiled-code reader and upload procedure, with their GoogleTest tests
# (GoogleTest from Debian's source package), using mingw-w64 into build/windows, then runs the tests
# under wine. Exits 0 only when every test passes.
#   scripts/windows-check.sh
set -euo pipefail
cd "$(dirname "$0")/.."
build=build/windows

command -v x86_64-w64-mingw32-g++-posix >/dev/null || { echo "mingw-w64 is missing: run scripts/install-deps.sh --checks" >&2; exit 1; }
wine=$(dpkg -L wine64 2>/dev/null | grep -E '/wine64$' | head -n 1 || true)
[ -x "$wine" ] || { echo "wine64 is missing: run scripts/install-deps.sh --checks" >&2; exit 1; }
[ -f /usr/src/googletest/CMakeLists.txt ] || { echo "googletest sources are missing: run scripts/install-deps.sh --checks" >&2; exit 1; }

cmake -S . -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DCMAKE_BUILD_TYPE=Release \
    -DVANTOR_CORE_ONLY=ON -DVANTOR_WERROR=ON -DVANTOR_GTEST_SOURCE=/usr/src/googletest >/dev/null
cmake --build "$build"

# wine makes its prefix on first start (a few seconds) and says a lot about it; none of that matters.
export WINEPREFIX="$PWD/$build/wineprefix" WINEDEBUG=-all
passed=0
failed=0
for t in hostlink_tests plcsim_tests upload_tests; do
    exe="$build/tests/$t.exe"
    set +e
    out=$("$wine" "$exe" --gtest_color=no 2>&1)
    status=$?
    set -e
    n=$(grep -oE '^\[  PASSED  \] [0-9]+' <<<"$out" | grep -oE '[0-9]+$' || echo 0)
    f=$(grep -oE '^\[  FAILED  \] [0-9]+ tests?, listed below' <<<"$out" | grep -oE '[0-9]+' | head -n 1 || echo 0)
    if [ "$status" -ne 0 ] && [ "$f" -eq 0 ]; then
        f=1
    fi
    passed=$((passed + n))
    failed=$((failed + f))
    echo "$t.exe: $n passed, $f failed (exit $status)"
    if [ "$f" -ne 0 ]; then
        grep -E 'Failure|FAILED|error' <<<"$out" | head -n 40
    fi
done
echo "windows: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
