#!/usr/bin/env bash
# Takes the README's pictures of the windows under a virtual X display: the main panel, the serial
# console after an exchange with the simulated PLC and after a port switch, the confirmation, and the
# panel after uploads into the simulated PLC that were saved, saved with a warning, failed, or were
# stopped half-way (and pictured before that).
#   scripts/screenshots.sh [BUILD_DIR] [OUT_DIR]      (defaults: build, docs/images)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
out=${2:-docs/images}
command -v xvfb-run >/dev/null || { echo "xvfb-run is missing: run scripts/install-deps.sh" >&2; exit 1; }
QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1024x768x24" \
    "$build/src/app/vantor-screenshots" "$out" examples/conveyor.VQC
