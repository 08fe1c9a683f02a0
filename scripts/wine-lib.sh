# Sourced by the scripts that run the Windows programs under wine: one wine server and prefix for the
# run, simulated PLCs behind COM ports, and a tally of checks. The caller sets $build (the cross build),
# $vantor (the Linux tool that serves the simulator) and $work (a scratch folder) first.

wine=$(dpkg -L wine64 2>/dev/null | grep -E '/wine64$' | head -n 1 || true)
wineserver=$(dpkg -L wine64 2>/dev/null | grep -E '/wineserver(64)?$' | head -n 1 || true)
[ -x "$wine" ] && [ -x "$wineserver" ] || { echo "wine64 is missing: run scripts/install-deps.sh --checks" >&2; exit 1; }

# wine makes its prefix on first start (a few seconds) and says a lot about it; none of that matters.
# Menus and file types it would copy to the Linux desktop are not made (winemenubuilder off).
export WINEPREFIX="$PWD/$build/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="winemenubuilder.exe=d"
# Output is captured in files, never through $(...): wine's service processes may keep a pipe open
# long after the program that started them has ended.
start_wine() {
    "$wineserver" -k >/dev/null 2>&1 || true
    mkdir -p "$WINEPREFIX" # the server lives beside the prefix, which the first program then fills
    "$wineserver" -p >/dev/null 2>&1
    "$wine" cmd /c exit >/dev/null 2>&1 || true
    # COM links an earlier run left behind (a listed port stays mapped after its registry value is
    # gone) would make the tests' missing ports present; each run maps its own.
    find "$WINEPREFIX/dosdevices" -maxdepth 1 -name 'com*' ! -name com1 -type l -delete 2>/dev/null || true
    # A program that crashes ends with a backtrace on standard error; wine's crash dialog would wait
    # for a click that never comes.
    "$wine" reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
}

passed=0
failed=0
sims=()
stop_everything() {
    for pid in "${sims[@]}"; do kill "$pid" 2>/dev/null || true; done
    "$wineserver" -k >/dev/null 2>&1 || true
}

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

# waits_for SECONDS COMMAND...: true as soon as COMMAND succeeds, false after SECONDS.
waits_for() {
    local tenths=$(($1 * 10))
    shift
    for _ in $(seq "$tenths"); do
        "$@" && return 0
        sleep 0.1
    done
    return 1
}

# pass MESSAGE / fail MESSAGE [DETAILS-FILE]: one check's outcome.
pass() {
    passed=$((passed + 1))
    echo "$1"
}
fail() {
    failed=$((failed + 1))
    echo "$1"
    if [ -n "${2:-}" ]; then sed 's/^/    /' "$2" | head -n 20; fi
}

# check NAME EXPECTED-STATUS PATTERN COMMAND...: runs COMMAND, wants the status and a line of its
# output that matches the extended regular expression (any output, or none, for an empty PATTERN).
check() {
    local name=$1 want=$2 text=$3
    shift 3
    set +e
    timeout 120 "$@" >"$work/out" 2>&1
    status=$?
    set -e
    tr -d "\r" <"$work/out" >"$work/out.txt"
    if [ "$status" -eq "$want" ] && { [ -z "$text" ] || grep -qE -- "$text" "$work/out.txt"; }; then
        pass "$name: exit $status, as expected"
    else
        fail "$name: exit $status (wanted $want and \"$text\"):" "$work/out.txt"
    fi
}

# run_gtest EXE: runs a GoogleTest program under wine and adds its counts to the tally.
run_gtest() {
    local exe=$1 status n f
    set +e
    timeout 600 "$wine" "$exe" --gtest_color=no >"$work/out" 2>&1
    status=$?
    set -e
    tr -d "\r" <"$work/out" >"$work/out.txt"
    n=$(grep -oE '^\[  PASSED  \] [0-9]+' "$work/out.txt" | grep -oE '[0-9]+$' || echo 0)
    f=$(grep -oE '^\[  FAILED  \] [0-9]+ tests?, listed below' "$work/out.txt" | grep -oE '[0-9]+' | head -n 1 || echo 0)
    if [ "$status" -ne 0 ] && [ "$f" -eq 0 ]; then
        f=1
    fi
    passed=$((passed + n))
    failed=$((failed + f))
    echo "$(basename "$exe"): $n passed, $f failed (exit $status)"
    if [ "$f" -ne 0 ]; then
        grep -E -A6 'Failure|FAILED|error' "$work/out.txt" | head -n 60
    fi
}
