#!/usr/bin/env bash
# Proves the command line on Windows. Cross-builds (scripts/windows-build.sh), runs the tests of every
# layer that runs there under wine (the widgets' too, headless), then drives vantor.exe, one static
# PE32+ file, under wine against the Linux `vantor plc-sim` through a COM port that wine maps to the
# simulator's pseudo-terminal: a whole upload compared frame by frame with the Linux tool's, a silent
# PLC, a hang-up, an absent port, send and ports; then vantor.exe's own simulator over TCP, scanned,
# uploaded to with a record kept, and a profile. Exits 0 only when every check passes.
# scripts/windows-desktop-check.sh does the same for the desktop program and the setup program.
#   scripts/windows-check.sh [--no-desktop]     (--no-desktop: without Qt, so no widget tests)
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/windows-build.sh "$@"
build=build/windows
vantor=build/windows-host/src/cli/vantor
exe="$build/src/cli/vantor.exe"
work=$(mktemp -d)
. scripts/ser2net-lib.sh
. scripts/wine-lib.sh
trap 'stop_everything; rm -rf "$work"' EXIT
start_wine

for t in serial_tests hostlink_tests plcsim_tests upload_tests app_tests; do
    if [ -f "$build/tests/$t.exe" ]; then run_gtest "$build/tests/$t.exe"; fi
done

# A whole upload, with reset: the PLC must receive exactly what it receives from the Linux tool.
start_sim "$work/linux.log"
"$vantor" upload --port "$(head -n 1 "$work/linux.log")" --reset examples/conveyor.VQC >/dev/null 2>&1
stop_sims
start_sim "$work/windows.log"
check "vantor.exe upload" 0 " 13 Lines Uploaded!" "$wine" "$exe" upload --port COM5 --reset examples/conveyor.VQC
stop_sims
if diff <(tail -n +2 "$work/linux.log") <(tail -n +2 "$work/windows.log") >/dev/null &&
    [ "$(grep -c '^received' "$work/windows.log")" -ge 18 ]; then
    pass "vantor.exe upload: the PLC received the same $(grep -c '^received' "$work/windows.log") frames as from the Linux tool"
else
    diff <(tail -n +2 "$work/linux.log") <(tail -n +2 "$work/windows.log") >"$work/diff" || true
    fail "vantor.exe upload: the PLC's traffic differs from the Linux tool's:" "$work/diff"
fi

# The same upload through a serial server's raw TCP port (Winsock), and a command through its RFC 2217
# port with a baud rate set from here.
[ -x /usr/sbin/ser2net ] || { echo "ser2net is missing: run scripts/install-deps.sh --checks" >&2; exit 1; }
start_sim "$work/network.log"
start_ser2net "$work" "$(head -n 1 "$work/network.log")"
sims+=("$ser2net_pid")
raw=$ser2net_raw
telnet=$ser2net_telnet
check "vantor.exe upload over socket://" 0 " 13 Lines Uploaded!" "$wine" "$exe" upload --port "socket://127.0.0.1:$raw" --reset examples/conveyor.VQC
if diff <(tail -n +2 "$work/linux.log") <(tail -n +2 "$work/network.log") >/dev/null; then
    pass "vantor.exe upload over socket://: the PLC received the same frames as from the Linux tool"
else
    fail "vantor.exe upload over socket://: the PLC's traffic differs from the Linux tool's"
fi
check "vantor.exe send over rfc2217://" 0 "^rfc2217://127.0.0.1:$telnet: Open at 9600,N,8,1$" "$wine" "$exe" send --port "rfc2217://127.0.0.1:$telnet" --baud 9600 '@01C230*'
stop_sims

# Two lines side by side in one run (a thread each), the second without PLC 02.
start_sim "$work/fleet2.log" --id 01,02
ln -sfn "$(head -n 1 "$work/fleet2.log")" "$WINEPREFIX/dosdevices/com6"
start_sim "$work/fleet1.log"
check "vantor.exe two lines, --json" 12 '^\{"schema":1,"event":"summary","saved":3,"failed":1,"version":"[^"]+"\}$' \
    "$wine" "$exe" upload --json --timeout 200 --port COM6 --port COM5 --id 01,02 examples/conveyor.VQC
rm -f "$WINEPREFIX/dosdevices/com6"
stop_sims

# The whole rehearsal on Windows alone: vantor.exe serves two simulated PLCs over TCP, and another
# vantor.exe finds them, uploads to both with a record kept, and sends a frame through a profile.
"$wine" "$exe" plc-sim --listen 127.0.0.1:0 --id 01,02 --verbose >"$work/listen.log" 2>&1 &
sims+=($!)
waits_for 30 grep -q '^socket://' "$work/listen.log" || true
listen=$(grep -m 1 '^socket://' "$work/listen.log" | tr -d '\r')
check "vantor.exe plc-sim --listen, vantor.exe scan" 0 "^$listen +38400 +02 +PLC 02 " \
    "$wine" "$exe" scan --port "$listen" --id 00-03
check "vantor.exe upload to two PLCs over plc-sim --listen, --record" 0 "^$listen +02 +saved " \
    "$wine" "$exe" upload --port "$listen" --id 01,02 --record 'C:\vantor-record.jsonl' examples/conveyor.VQC
record="$WINEPREFIX/drive_c/vantor-record.jsonl"
if [ "$(grep -c '"outcome":"saved"' "$record" 2>/dev/null)" = 2 ] && [ "$(wc -l <"$record")" = 2 ]; then
    pass "vantor.exe --record: one whole line for each PLC"
else
    fail "vantor.exe --record: the record is not one line per PLC" "$record"
fi
rm -f "$record"
appdata=$(find "$WINEPREFIX/drive_c/users" -maxdepth 3 -type d -path '*/AppData/Roaming' | head -n 1)
mkdir -p "$appdata/vantor"
printf '[profiles.rehearsal]\nport = "%s"\nid = "02"\n' "$listen" >"$appdata/vantor/vantor.toml"
check "vantor.exe send --frame through a profile in %APPDATA%" 0 '^@02C20033\*$' \
    "$wine" "$exe" send --profile rehearsal --frame C2
rm -rf "$appdata/vantor"
stop_sims

start_sim "$work/send.log"
check "vantor.exe send" 0 "^@01C20030\\*$" "$wine" "$exe" send --port COM5 '@01C230*'
stop_sims
start_sim "$work/silent.log" --silent
check "vantor.exe silent PLC" 7 "No response from PLC" "$wine" "$exe" upload --port COM5 examples/conveyor.VQC
stop_sims
start_sim "$work/hangup.log" --hang-up-after 5
check "vantor.exe hang-up" 10 "Lost the connection to COM 5" "$wine" "$exe" upload --port COM5 examples/conveyor.VQC
stop_sims
# A COM port that another of our programs has open is refused, saying so, and that program goes on.
# (wine, unlike Windows, lets a second program open a COM port: the programs' own claim refuses it.)
start_sim "$work/busy.log" --delay 50
"$wine" "$exe" upload --port COM5 examples/conveyor.VQC >"$work/holder.out" 2>&1 &
holder=$!
waits_for 20 grep -q '^received' "$work/busy.log" || true
check "vantor.exe port in use" 6 "Cannot open COM 5 \\(COM5\\): the port is in use by another Vantor Program Uploader" \
    "$wine" "$exe" send --port COM5 '@01C230*'
if wait "$holder" && grep -q " 13 Lines Uploaded!" "$work/holder.out"; then
    pass "vantor.exe port in use: the program that has it finished its upload"
else
    fail "vantor.exe port in use: the program that has it did not finish its upload" "$work/holder.out"
fi
stop_sims
check "vantor.exe absent port" 6 "Cannot open COM 9 \\(COM9\\): no such device" "$wine" "$exe" upload --port COM9 examples/conveyor.VQC

# Listing: wine registers the ports of HKLM\Software\Wine\Ports in SERIALCOMM when it starts.
start_sim "$work/ports.log"
"$wine" reg add 'HKLM\Software\Wine\Ports' /v COM7 /d "$(head -n 1 "$work/ports.log")" /f >/dev/null 2>&1
start_wine
check "vantor.exe ports" 0 "^COM7$" "$wine" "$exe" ports
check "vantor.exe ports, COM names" 0 "^  COM7  COM7$" "$wine" "$exe" ports
check "vantor.exe ports --json" 0 '^\{"schema":1,"event":"port","name":"COM7","device":"COM7","com_name":"COM7",' "$wine" "$exe" ports --json
"$wine" reg delete 'HKLM\Software\Wine\Ports' /v COM7 /f >/dev/null 2>&1 || true
stop_sims

echo "vantor.exe: $(stat -c %s "$exe") bytes, needs $(x86_64-w64-mingw32-objdump -p "$exe" | grep 'DLL Name' | awk '{print $3}' | sort | tr '\n' ' ')"
echo "windows: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
