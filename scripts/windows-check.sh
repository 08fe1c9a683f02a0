#!/usr/bin/env bash
# Proves the command line on Windows. Cross-builds everything but the desktop program with mingw-w64
# into build/windows (GoogleTest from Debian's source package, CLI11 from a copy of its headers), runs
# the plain C++ layers' tests under wine, then drives vantor.exe, one static PE32+ file, under wine
# against the Linux `vantor plc-sim` through a COM port that wine maps to the simulator's
# pseudo-terminal: a whole upload compared frame by frame with the Linux tool's, a silent PLC, a
# hang-up, an absent port, send and ports. Exits 0 only when every check passes.
#   scripts/windows-check.sh
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/ser2net-lib.sh
build=build/windows

command -v x86_64-w64-mingw32-g++-posix >/dev/null || { echo "mingw-w64 is missing: run scripts/install-deps.sh --checks" >&2; exit 1; }
wine=$(dpkg -L wine64 2>/dev/null | grep -E '/wine64$' | head -n 1 || true)
wineserver=$(dpkg -L wine64 2>/dev/null | grep -E '/wineserver(64)?$' | head -n 1 || true)
[ -x "$wine" ] && [ -x "$wineserver" ] || { echo "wine64 is missing: run scripts/install-deps.sh --checks" >&2; exit 1; }
[ -f /usr/src/googletest/CMakeLists.txt ] || { echo "googletest sources are missing: run scripts/install-deps.sh --checks" >&2; exit 1; }
[ -f /usr/include/CLI/CLI.hpp ] || { echo "CLI11 is missing: run scripts/install-deps.sh" >&2; exit 1; }
[ -f /usr/include/nlohmann/json.hpp ] || { echo "nlohmann-json is missing: run scripts/install-deps.sh" >&2; exit 1; }

# The host's /usr/include must not enter a Windows build: CLI11's and nlohmann-json's headers go in
# from copies.
mkdir -p "$build/cli11" "$build/json"
cp -r /usr/include/CLI "$build/cli11/"
cp -r /usr/include/nlohmann "$build/json/"
cmake -S . -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DCMAKE_BUILD_TYPE=Release \
    -DVANTOR_BUILD_GUI=OFF -DVANTOR_WERROR=ON -DVANTOR_GTEST_SOURCE=/usr/src/googletest \
    -DVANTOR_CLI11_INCLUDE_DIR="$PWD/$build/cli11" -DVANTOR_JSON_INCLUDE_DIR="$PWD/$build/json" >/dev/null
cmake --build "$build"
# The Linux tool serves the simulated PLC.
linux=build/windows-host
cmake -S . -B "$linux" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVANTOR_BUILD_GUI=OFF -DVANTOR_BUILD_TESTS=OFF >/dev/null
cmake --build "$linux" --target vantor
vantor="$linux/src/cli/vantor"
exe="$build/src/cli/vantor.exe"

# wine makes its prefix on first start (a few seconds) and says a lot about it; none of that matters.
# One server for the whole run, started here with its output (object dumps included) discarded.
export WINEPREFIX="$PWD/$build/wineprefix" WINEDEBUG=-all
# Output is captured in files, never through $(...): wine's service processes may keep a pipe open
# long after the program that started them has ended.
start_wine() {
    "$wineserver" -k >/dev/null 2>&1 || true
    mkdir -p "$WINEPREFIX" # the server lives beside the prefix, which the first program then fills
    "$wineserver" -p >/dev/null 2>&1
    "$wine" cmd /c exit >/dev/null 2>&1 || true
}
start_wine
work=$(mktemp -d)
sims=()
cleanup() {
    for pid in "${sims[@]}"; do kill "$pid" 2>/dev/null || true; done
    "$wineserver" -k >/dev/null 2>&1 || true
    rm -rf "$work"
}
trap cleanup EXIT

passed=0
failed=0
for t in hostlink_tests plcsim_tests upload_tests console_tests; do
    set +e
    "$wine" "$build/tests/$t.exe" --gtest_color=no >"$work/out" 2>&1
    status=$?
    set -e
    out=$(tr -d "\r" <"$work/out")
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

# Starts `vantor plc-sim ARGS` with its monitor in $1 and maps COM5 to its pseudo-terminal.
start_sim() {
    local log=$1
    shift
    "$vantor" plc-sim --verbose "$@" >"$log" 2>/dev/null &
    sims+=($!)
    for _ in $(seq 50); do
        [ -s "$log" ] && break
        sleep 0.1
    done
    ln -sfn "$(head -n 1 "$log")" "$WINEPREFIX/dosdevices/com5"
}
stop_sims() {
    for pid in "${sims[@]}"; do kill "$pid" 2>/dev/null || true; done
    sims=()
    sleep 0.2
}
# check NAME EXPECTED-STATUS PATTERN COMMAND...: runs COMMAND, wants the status and a line of its
# output that matches the extended regular expression.
check() {
    local name=$1 want=$2 text=$3
    shift 3
    set +e
    "$@" >"$work/out" 2>&1
    status=$?
    set -e
    out=$(tr -d "\r" <"$work/out")
    if [ "$status" -eq "$want" ] && grep -qE -- "$text" <<<"$out"; then
        passed=$((passed + 1))
        echo "vantor.exe $name: exit $status, as expected"
    else
        failed=$((failed + 1))
        echo "vantor.exe $name: exit $status (wanted $want and \"$text\"):"
        sed 's/^/    /' <<<"$out" | head -n 20
    fi
}
# A whole upload, with reset: the PLC must receive exactly what it receives from the Linux tool.
start_sim "$work/linux.log"
"$vantor" upload --port "$(head -n 1 "$work/linux.log")" --reset examples/conveyor.VQC >/dev/null 2>&1
stop_sims
start_sim "$work/windows.log"
check "upload" 0 " 13 Lines Uploaded!" "$wine" "$exe" upload --port COM5 --reset examples/conveyor.VQC
stop_sims
if diff <(tail -n +2 "$work/linux.log") <(tail -n +2 "$work/windows.log") >/dev/null &&
    [ "$(grep -c '^received' "$work/windows.log")" -ge 18 ]; then
    passed=$((passed + 1))
    echo "vantor.exe upload: the PLC received the same $(grep -c '^received' "$work/windows.log") frames as from the Linux tool"
else
    failed=$((failed + 1))
    echo "vantor.exe upload: the PLC's traffic differs from the Linux tool's:"
    diff <(tail -n +2 "$work/linux.log") <(tail -n +2 "$work/windows.log") | head -n 20 || true
fi

# The same upload through a serial server's raw TCP port (Winsock), and a command through its RFC 2217
# port with a baud rate set from here.
[ -x /usr/sbin/ser2net ] || { echo "ser2net is missing: run scripts/install-deps.sh --checks" >&2; exit 1; }
start_sim "$work/network.log"
start_ser2net "$work" "$(head -n 1 "$work/network.log")"
sims+=("$ser2net_pid")
raw=$ser2net_raw
telnet=$ser2net_telnet
check "upload over socket://" 0 " 13 Lines Uploaded!" "$wine" "$exe" upload --port "socket://127.0.0.1:$raw" --reset examples/conveyor.VQC
if diff <(tail -n +2 "$work/linux.log") <(tail -n +2 "$work/network.log") >/dev/null; then
    passed=$((passed + 1))
    echo "vantor.exe upload over socket://: the PLC received the same frames as from the Linux tool"
else
    failed=$((failed + 1))
    echo "vantor.exe upload over socket://: the PLC's traffic differs from the Linux tool's"
fi
check "send over rfc2217://" 0 "^rfc2217://127.0.0.1:$telnet: Open at 9600,N,8,1$" "$wine" "$exe" send --port "rfc2217://127.0.0.1:$telnet" --baud 9600 '@01C230*'
stop_sims

# Two lines side by side in one run (a thread each), the second without PLC 02.
start_sim "$work/fleet2.log" --id 01,02
ln -sfn "$(head -n 1 "$work/fleet2.log")" "$WINEPREFIX/dosdevices/com6"
start_sim "$work/fleet1.log"
check "two lines, --json" 12 '^\{"schema":1,"event":"summary","saved":3,"failed":1\}$' \
    "$wine" "$exe" upload --json --timeout 200 --port COM6 --port COM5 --id 01,02 examples/conveyor.VQC
rm -f "$WINEPREFIX/dosdevices/com6"
stop_sims

start_sim "$work/send.log"
check "send" 0 "^@01C20030\\*$" "$wine" "$exe" send --port COM5 '@01C230*'
stop_sims
start_sim "$work/silent.log" --silent
check "silent PLC" 7 "No response from PLC" "$wine" "$exe" upload --port COM5 examples/conveyor.VQC
stop_sims
start_sim "$work/hangup.log" --hang-up-after 5
check "hang-up" 10 "Lost the connection to COM 5" "$wine" "$exe" upload --port COM5 examples/conveyor.VQC
stop_sims
check "absent port" 6 "Cannot open COM 9 \\(COM9\\): no such device" "$wine" "$exe" upload --port COM9 examples/conveyor.VQC

# Listing: wine registers the ports of HKLM\Software\Wine\Ports in SERIALCOMM when it starts.
start_sim "$work/ports.log"
"$wine" reg add 'HKLM\Software\Wine\Ports' /v COM7 /d "$(head -n 1 "$work/ports.log")" /f >/dev/null 2>&1
start_wine
check "ports" 0 "^COM7$" "$wine" "$exe" ports
check "ports, COM names" 0 "^  COM7  COM7$" "$wine" "$exe" ports
check "ports --json" 0 '^\{"schema":1,"event":"port","name":"COM7","device":"COM7","com_name":"COM7",' "$wine" "$exe" ports --json
"$wine" reg delete 'HKLM\Software\Wine\Ports' /v COM7 /f >/dev/null 2>&1 || true
stop_sims

echo "vantor.exe: $(stat -c %s "$exe") bytes, needs $(x86_64-w64-mingw32-objdump -p "$exe" | grep 'DLL Name' | awk '{print $3}' | sort | tr '\n' ' ')"
echo "windows: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
