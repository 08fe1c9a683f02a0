#!/usr/bin/env bash
# Proves the desktop program and the setup program on Windows, under wine on a virtual X display.
# vantor-uploader.exe is started as a technician would start it, on COM5 (which wine maps to the
# pseudo-terminal of the Linux `vantor plc-sim`) with the example program, and driven with the
# keyboard through xdotool: Enter on UPLOAD NOW! and on Yes, then Serial Setup and a typed command. The
# frames the PLC received must be those it receives from the Linux desktop program driven the same
# way. Then the setup program (NSIS) is built and installed, upgraded, refused while the program
# runs, installed per user, and uninstalled, silently, with what it leaves behind checked each time.
# Exits 0 only when every check passes.
#   scripts/windows-desktop-check.sh [SCREENSHOT_DIR]
# With SCREENSHOT_DIR, also writes pictures of both windows as drawn under wine there.
set -euo pipefail
cd "$(dirname "$0")/.."
shots=${1:-}
./scripts/windows-build.sh
build=build/windows
vantor=build/windows-host/src/cli/vantor
linux_uploader=build/windows-host/src/app/vantor-uploader
exe=$build/src/app/vantor-uploader.exe
command -v xdotool >/dev/null && command -v Xvfb >/dev/null && command -v makensis >/dev/null ||
    { echo "xdotool, Xvfb or makensis is missing: run scripts/install-deps.sh --checks" >&2; exit 1; }
work=$(mktemp -d)
. scripts/wine-lib.sh

# A display of our own, so that keys go to nobody else's windows.
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
xvfb=$!
for _ in $(seq 50); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=":$(cat "$work/display")"
trap 'stop_everything; kill $xvfb 2>/dev/null; rm -rf "$work"' EXIT
start_wine
# A fresh prefix has no Arial or Arial Black, which the panel asks for: a font of the same metrics
# stands in, as Windows would show it.
for font in "Arial" "Arial Black"; do
    "$wine" reg add 'HKCU\Software\Wine\Fonts\Replacements' /v "$font" /d "Liberation Sans" /f >/dev/null 2>&1
done

echo "vantor-uploader.exe: $(stat -c %s "$exe") bytes, needs $(x86_64-w64-mingw32-objdump -p "$exe" | grep 'DLL Name' | awk '{print $3}' | sort | tr '\n' ' ')"
version=$(sed -n 's/^project(VantorUploader VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
check "vantor-uploader.exe --version" 0 "^vantor-uploader $version$" "$wine" "$exe" --version
check "vantor-uploader.exe --help" 0 "^  --port <DEVICE>" "$wine" "$exe" --help

window() { xdotool search --name "$1" 2>/dev/null | head -n 1; }
# keys WINDOW KEY...: activates WINDOW with a click on its margin, where no control is (as a user
# would click it; without a window manager, a click is what activates a window under wine), and
# presses the keys. Failures are for the checks that follow to find.
keys() {
    local id=$1
    shift
    xdotool mousemove --window "$id" 3 3 click 1 sleep 0.3 key --clearmodifiers --delay 100 "$@" || true
}

# drive NAME LOG PROGRAM...: starts PROGRAM with the example program on the simulator of LOG, uploads
# with UPLOAD NOW! and Yes, waits for the PLC's last frame, then opens Serial Setup and sends
# @01C230* from its command box. Says how long the panel took to appear.
drive() {
    local name=$1 log=$2 panel console confirm start
    shift 2
    start=$(date +%s%N)
    "$@" >"$work/$name.out" 2>&1 &
    local pid=$!
    if ! waits_for 30 window "^Vantor Program Uploader Ver 1.0$" >/dev/null; then
        fail "$name: the panel did not appear within 30 s" "$work/$name.out"
        kill "$pid" 2>/dev/null || true
        return
    fi
    panel=$(window "^Vantor Program Uploader Ver 1.0$")
    pass "$name: the panel appeared after $((($(date +%s%N) - start) / 1000000)) ms"
    sleep 1
    keys "$panel" Tab Tab Return # from Serial Setup, which has the focus at start, to UPLOAD NOW!; Enter presses it
    waits_for 10 window "^Confirmation$" >/dev/null || true
    confirm=$(window "^Confirmation$")
    keys "$confirm" Return # Yes has the focus: a fresh Enter answers it
    if waits_for 20 grep -q '^sent @01C10033\*' "$log"; then
        pass "$name: UPLOAD NOW! and Yes uploaded the example program"
    else
        fail "$name: the upload did not end with C1 within 20 s" "$log"
    fi
    sleep 3 # the confirmation goes away
    keys "$panel" shift+Tab shift+Tab space # back from UPLOAD NOW! to Serial Setup
    waits_for 10 window "^PC Serial Port Setup$" >/dev/null || true
    console=$(window "^PC Serial Port Setup$")
    keys "$console" at 0 1 C 2 3 0 asterisk Return # the command box has the focus
    if waits_for 5 grep -q '^sent @01C20030\*' "$log"; then
        pass "$name: a command typed in Serial Setup reached the PLC, which answered"
    else
        fail "$name: the typed command did not reach the PLC" "$log"
    fi
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
}

start_sim "$work/linux.log"
QT_QPA_PLATFORM=xcb drive "vantor-uploader (Linux)" "$work/linux.log" \
    "$linux_uploader" --port "$(head -n 1 "$work/linux.log")" examples/conveyor.VQC
stop_sims
start_sim "$work/windows.log"
drive "vantor-uploader.exe" "$work/windows.log" "$wine" "$exe" --port COM5 --record 'C:\vantor-desktop.jsonl' \
    examples/conveyor.VQC
stop_sims
received=$(grep -c '^received' "$work/windows.log" || true)
if diff <(tail -n +2 "$work/linux.log") <(tail -n +2 "$work/windows.log") >"$work/diff" && [ "$received" -ge 18 ]; then
    pass "vantor-uploader.exe: the PLC received the same $received frames as from the Linux program"
else
    fail "vantor-uploader.exe: the PLC's traffic differs from the Linux program's:" "$work/diff"
fi
record="$WINEPREFIX/drive_c/vantor-desktop.jsonl"
if [ "$(wc -l <"$record" 2>/dev/null)" = 1 ] && grep -q '"port":"COM5","id":"01","status":0,"outcome":"saved","records":13' "$record"; then
    pass "vantor-uploader.exe --record: the upload's line, as vantor.exe writes it"
else
    fail "vantor-uploader.exe --record: no such line" "$record"
fi
rm -f "$record"

if [ -n "$shots" ]; then
    mkdir -p "$work/shots" "$shots"
    "$wine" "$build/src/app/vantor-screenshots.exe" 'Z:'"$work/shots" examples/conveyor.VQC >/dev/null 2>&1
    for picture in panel-uploaded panel-warning panel-port-error panel-uploading console-port-switch console; do
        cp "$work/shots/$picture.png" "$shots/windows-$picture.png" && echo "wrote $shots/windows-$picture.png"
    done
fi

# The setup program as scripts/windows-build.sh built it, and an older version to upgrade from.
setup=$build/vantor-setup-$version-x64.exe
makensis -V2 -DVERSION=0.9.0 -DBIN="$PWD/$build/src" -DTOP="$PWD" -DDOCS="$PWD/$build/setup-docs" \
    -DOUTFILE="$work/vantor-setup-0.9.0-x64.exe" packaging/windows/vantor.nsi
echo "$(basename "$setup"): $(stat -c %s "$setup") bytes"

unix_path() { "$wine" winepath -u "$1" 2>/dev/null | tr -d '\r'; }
machine_win='C:\Program Files\Vantor Program Uploader'
machine_dir=$(unix_path "$machine_win")
machine_menu=$(unix_path 'C:\ProgramData\Microsoft\Windows\Start Menu\Programs')
tools_dir=$(unix_path 'C:\Tools\Vantor')
user_dir=$(unix_path "$("$wine" cmd /c echo %LOCALAPPDATA% 2>/dev/null | tr -d '\r')\\Programs\\Vantor Program Uploader")
user_menu=$(unix_path "$("$wine" cmd /c echo %APPDATA% 2>/dev/null | tr -d '\r')\\Microsoft\\Windows\\Start Menu\\Programs")
uninstall_key='Software\Microsoft\Windows\CurrentVersion\Uninstall\VantorProgramUploader'
# registry ROOT KEY VALUE: the value's data, empty when the key or the value is missing.
registry() {
    "$wine" reg query "$1\\$2" $([ "$3" = "" ] && echo /ve || echo /v "$3") 2>/dev/null | tr -d '\r' |
        sed -n 's/^ *[^ ].*REG_[A-Z_]* *//p' | head -n 1
}
# installed DIR MENU ROOT: the files, the shortcuts and the keys of an installation are all there.
installed() {
    local dir=$1 menu=$2 root=$3 f
    for f in vantor-uploader.exe vantor.exe README.md LICENSE.txt THIRD-PARTY-NOTICES.txt uninstall.exe \
        manual/vantor.html manual/vantor-uploader.html sbom/vantor.exe.cdx.json sbom/vantor-uploader.exe.cdx.json; do
        [ -f "$dir/$f" ] || return 1
    done
    for f in "vantor command line manual" "vantor-uploader manual" "Third-party notices"; do
        [ -f "$menu/Vantor Program Uploader documentation/$f.lnk" ] || return 1
    done
    cmp -s "$dir/THIRD-PARTY-NOTICES.txt" "$build/setup-docs/THIRD-PARTY-NOTICES.txt" &&
        grep -q 'GNU LESSER GENERAL PUBLIC LICENSE' "$dir/THIRD-PARTY-NOTICES.txt" &&
        [ -f "$menu/Vantor Program Uploader.lnk" ] &&
        [ "$(registry "$root" 'Software\Classes\.VQC' '')" = "Vantor.CompiledCode" ] &&
        [ "$(registry "$root" 'Software\Classes\Vantor.CompiledCode' '')" = "Vantor Compiled Code" ] &&
        registry "$root" 'Software\Classes\Vantor.CompiledCode\shell\open\command' '' | grep -qF 'vantor-uploader.exe" "%1"' &&
        registry "$root" 'Software\Classes\Vantor.CompiledCode\DefaultIcon' '' | grep -qF 'vantor-uploader.exe",1' &&
        [ -n "$(registry "$root" "$uninstall_key" QuietUninstallString)" ]
}
# removed DIR MENU ROOT: nothing of an installation is left.
removed() {
    local dir=$1 menu=$2 root=$3
    [ ! -e "$dir" ] && [ ! -e "$menu/Vantor Program Uploader.lnk" ] &&
        [ ! -e "$menu/Vantor Program Uploader documentation" ] &&
        [ -z "$(registry "$root" 'Software\Classes\.VQC' '')" ] &&
        [ -z "$(registry "$root" 'Software\Classes\Vantor.CompiledCode' '')" ] &&
        [ -z "$(registry "$root" "$uninstall_key" DisplayName)" ]
}
# uninstall ROOT: runs the registered quiet uninstaller, which finishes from a copy of itself.
uninstall() {
    local command
    command=$(registry "$1" "$uninstall_key" QuietUninstallString)
    eval "set -- $command"
    "$wine" "$@" >/dev/null 2>&1
}

# PATH as each kind of installation edits it: the machine's, or the user's.
environment_key() {
    if [ "$1" = HKLM ]; then echo 'SYSTEM\CurrentControlSet\Control\Session Manager\Environment'; else echo Environment; fi
}
# path_set ROOT VALUE [TYPE], and path_is ROOT STEP VALUE [TYPE]: a check that PATH there is VALUE
# and still of TYPE (REG_EXPAND_SZ unless given), which prints what the registry holds at that step.
path_set() { "$wine" reg add "$1\\$(environment_key "$1")" /v Path /t "${3:-REG_EXPAND_SZ}" /d "$2" /f >/dev/null 2>&1; }
path_is() {
    local got type=${4:-REG_EXPAND_SZ}
    got=$("$wine" reg query "$1\\$(environment_key "$1")" /v Path 2>/dev/null | tr -d '\r' |
        sed -n 's/^ *Path  *\(REG_[A-Z_]*\) *\(.*\)$/\1 \2/Ip')
    echo "    $1 PATH $2: $got"
    if [ "$got" = "$type $3" ]; then
        pass "setup: PATH $2 is as it should be"
    else
        fail "setup: PATH $2 is not $type $3"
    fi
}
# Entries around ours, one unexpanded, and one that only starts like ours.
machine_path="C:\windows\system32;C:\windows;%SystemRoot%\system32\wbem;$machine_win"'2;C:\Tools'
user_win=$("$wine" winepath -w "$user_dir" 2>/dev/null | tr -d '\r')
user_path="%USERPROFILE%\bin;$user_win"'2'

# The prefix outlives a run: what an interrupted run installed goes first.
rm -rf "$machine_dir" "$tools_dir" "$user_dir" "$machine_menu/Vantor Program Uploader.lnk" "$user_menu/Vantor Program Uploader.lnk"
for root in HKLM HKCU; do
    for key in "$uninstall_key" 'Software\Classes\Vantor.CompiledCode' 'Software\Classes\.VQC'; do
        "$wine" reg delete "$root\\$key" /f >/dev/null 2>&1 || true
    done
done
path_set HKLM "$machine_path"
path_set HKCU "$user_path"
path_is HKLM "before installing" "$machine_path"

# An older version, installed where a technician chose, is upgraded in place.
check "setup 0.9.0 /S /D=C:\\Tools\\Vantor" 0 "" "$wine" "$work/vantor-setup-0.9.0-x64.exe" /S '/D=C:\Tools\Vantor'
check "setup $version /S over 0.9.0" 0 "" "$wine" "$setup" /S
if installed "$tools_dir" "$machine_menu" HKLM && [ "$(registry HKLM "$uninstall_key" DisplayVersion)" = "$version" ] &&
    [ ! -e "$machine_dir" ]; then
    pass "setup: $version replaced 0.9.0 in its own folder, C:\\Tools\\Vantor"
else
    fail "setup: the upgrade did not replace 0.9.0 in place"
fi
uninstall HKLM
if waits_for 30 removed "$tools_dir" "$machine_menu" HKLM; then
    pass "setup: the quiet uninstaller removed files, shortcut, file type and Apps & features entry"
else
    fail "setup: the uninstaller left something behind"
fi
path_is HKLM "after the upgrade's uninstallation" "$machine_path"

# Per machine by default, as an administrator; the installed programs run.
check "setup /S" 0 "" "$wine" "$setup" /S
installed "$machine_dir" "$machine_menu" HKLM && pass "setup: installed per machine in C:\\Program Files" ||
    fail "setup: the per-machine installation is incomplete"
check "installed vantor.exe --version" 0 "^vantor $version$" "$wine" 'C:\Program Files\Vantor Program Uploader\vantor.exe' --version
path_is HKLM "after installing per machine" "$machine_path;$machine_win"
check "setup /S again" 0 "" "$wine" "$setup" /S
path_is HKLM "after installing again" "$machine_path;$machine_win"
# An entry the user adds after ours stays when ours goes.
path_set HKLM "$machine_path;$machine_win;C:\After"

# One setup at a time: a second one, while the first waits on its first page, changes nothing.
"$wine" "$setup" >/dev/null 2>&1 &
first=$!
waits_for 30 window "Setup" >/dev/null || true
check "a second setup while one runs" 2 "" "$wine" "$setup" /S
kill "$first" 2>/dev/null || true
wait "$first" 2>/dev/null || true

# While the program runs, the setup changes nothing and says so (silently: exit status 2).
before=$(sha256sum "$machine_dir/vantor-uploader.exe")
"$wine" 'C:\Program Files\Vantor Program Uploader\vantor-uploader.exe' --port SIM >/dev/null 2>&1 &
running=$!
waits_for 30 window "^Vantor Program Uploader Ver 1.0$" >/dev/null || true
check "setup /S while the program runs" 2 "" "$wine" "$setup" /S
# In place (_?=), so that its exit status is the uninstaller's own; _?= must stand unquoted, last.
printf '@"%s\\uninstall.exe" /S _?=%s\r\n' "$machine_win" "$machine_win" >"$work/uninstall.bat"
check "uninstall /S while the program runs" 2 "" "$wine" cmd /c "$("$wine" winepath -w "$work/uninstall.bat" 2>/dev/null | tr -d '\r')"
if [ "$(sha256sum "$machine_dir/vantor-uploader.exe")" = "$before" ] && installed "$machine_dir" "$machine_menu" HKLM; then
    pass "setup: nothing was changed while the program ran"
else
    fail "setup: files changed while the program ran"
fi
kill "$running" 2>/dev/null || true
wait "$running" 2>/dev/null || true
waits_for 10 sh -c '! xdotool search --name "^Vantor Program Uploader Ver 1.0$" >/dev/null' || true
uninstall HKLM
waits_for 30 removed "$machine_dir" "$machine_menu" HKLM && pass "setup: uninstalled per machine" ||
    fail "setup: the per-machine uninstallation left something behind"
path_is HKLM "after uninstalling per machine" "$machine_path;C:\After"
path_set HKLM "$machine_path"

# Per user when asked (as it is when not elevated): the user's own folders and keys.
path_is HKCU "before installing per user" "$user_path"
check "setup /S /CurrentUser" 0 "" "$wine" "$setup" /S /CurrentUser
path_is HKCU "after installing per user" "$user_path;$user_win"
installed "$user_dir" "$user_menu" HKCU && [ -z "$(registry HKLM "$uninstall_key" DisplayName)" ] &&
    pass "setup: installed per user in %LOCALAPPDATA%\\Programs, keys under HKCU only" ||
    fail "setup: the per-user installation is incomplete or touched the machine's keys"
uninstall HKCU
waits_for 30 removed "$user_dir" "$user_menu" HKCU && pass "setup: uninstalled per user" ||
    fail "setup: the per-user uninstallation left something behind"
path_is HKCU "after uninstalling per user" "$user_path"
path_is HKLM "after installing and uninstalling per user" "$machine_path"

# /NOPATH: a silent installation that leaves PATH alone, and an uninstallation that does too.
check "setup /S /CurrentUser /NOPATH" 0 "" "$wine" "$setup" /S /CurrentUser /NOPATH
path_is HKCU "after installing per user with /NOPATH" "$user_path"
uninstall HKCU
waits_for 30 removed "$user_dir" "$user_menu" HKCU || fail "setup: the per-user uninstallation left something behind"
path_is HKCU "after uninstalling that" "$user_path"

# A PATH this setup cannot read as a string (RegGetValueW refuses the type) is left exactly as it
# was, not replaced by our folder alone, and a silent setup says so in %TEMP%\vantor-setup.log.
setup_log=$(unix_path "$("$wine" cmd /c echo %TEMP% 2>/dev/null | tr -d '\r')\\vantor-setup.log")
for row in "REG_DWORD 0x5" "REG_BINARY 0102"; do
    type=${row% *} value=${row#* }
    rm -f "$setup_log"
    path_set HKCU "$value" "$type"
    path_is HKCU "of $type before installing per user" "$value" "$type"
    check "setup /S /CurrentUser over a $type PATH" 0 "" "$wine" "$setup" /S /CurrentUser
    path_is HKCU "of $type after installing per user" "$value" "$type"
    if grep -q "PATH could not be read (error 1630), so it was left as it was: add .* yourself" "$setup_log" 2>/dev/null; then
        pass "setup: a silent setup over a $type PATH said it left PATH alone"
    else
        fail "setup: a silent setup over a $type PATH left no word of it in %TEMP%\\vantor-setup.log" "$setup_log"
    fi
    uninstall HKCU
    waits_for 30 removed "$user_dir" "$user_menu" HKCU || fail "setup: the per-user uninstallation left something behind"
    path_is HKCU "of $type after uninstalling per user" "$value" "$type"
done

# A PATH ending in ";" keeps it through installing and uninstalling.
path_set HKCU "$user_path;"
path_is HKCU "ending in ; before installing per user" "$user_path;"
check "setup /S /CurrentUser over a PATH ending in ;" 0 "" "$wine" "$setup" /S /CurrentUser
path_is HKCU "ending in ; after installing per user" "$user_path;$user_win;"
uninstall HKCU
waits_for 30 removed "$user_dir" "$user_menu" HKCU || fail "setup: the per-user uninstallation left something behind"
path_is HKCU "ending in ; after uninstalling per user" "$user_path;"

# The uninstaller takes out the entry it added, the last one equal to the folder; one the user put
# in since, earlier, stays.
path_set HKCU "$user_path"
check "setup /S /CurrentUser before the user's own copy of its entry" 0 "" "$wine" "$setup" /S /CurrentUser
path_set HKCU "$user_win;$user_path;$user_win"
path_is HKCU "with the user's copy of our entry" "$user_win;$user_path;$user_win"
uninstall HKCU
waits_for 30 removed "$user_dir" "$user_menu" HKCU || fail "setup: the per-user uninstallation left something behind"
path_is HKCU "after uninstalling beside the user's copy" "$user_win;$user_path"
path_set HKCU "$user_path"

echo "windows desktop: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
