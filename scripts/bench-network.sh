#!/usr/bin/env bash
# Per-record time of an upload through a serial server's raw TCP port, against the least any uploader
# can do on the same path (a bare write-and-poll loop in C): `vantor plc-sim` on a pseudo-terminal,
# ser2net in front of it (chardelay off), both measured ROUNDS times in turn; prints the medians and
# the median of the rounds' ratios (each round's two runs share the machine's mood of the moment).
#   scripts/bench-network.sh [RECORDS] [ROUNDS]     (defaults 20000 and 9; needs a build in build/)
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/ser2net-lib.sh
records=${1:-20000}
rounds=${2:-9}
vantor=build/src/cli/vantor
bench=build/bench/vantor-bench
[ -x "$vantor" ] && [ -x "$bench" ] || { echo "build first: cmake -S . -B build -G Ninja && cmake --build build" >&2; exit 1; }
command -v ser2net >/dev/null || [ -x /usr/sbin/ser2net ] || { echo "ser2net is missing: apt-get install ser2net" >&2; exit 1; }

work=$(mktemp -d)
pids=()
trap 'for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done; rm -rf "$work"' EXIT
"$vantor" plc-sim >"$work/sim" 2>/dev/null &
pids+=($!)
for _ in $(seq 50); do [ -s "$work/sim" ] && break; sleep 0.1; done
start_ser2net "$work" "$(head -n 1 "$work/sim")"
pids+=("$ser2net_pid")
port=$ser2net_raw

floor=()
upload=()
ratios=()
for _ in $(seq "$rounds"); do
    f=$("$bench" floor "$records" "127.0.0.1:$port" | grep -oE '[0-9.]+ ms per record' | grep -oE '^[0-9.]+')
    u=$("$bench" upload "$records" "socket://127.0.0.1:$port" | grep -oE '[0-9.]+ ms per record' | grep -oE '^[0-9.]+')
    floor+=("$f")
    upload+=("$u")
    ratios+=("$(awk -v u="$u" -v f="$f" 'BEGIN { printf "%.3f", u / f }')")
done
median() { printf '%s\n' "$@" | sort -g | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
f=$(median "${floor[@]}")
u=$(median "${upload[@]}")
echo "through ser2net raw TCP, $records records, median of $rounds:"
echo "  minimal C uploader: $f ms per record (${floor[*]})"
echo "  vantor upload:      $u ms per record (${upload[*]})"
echo "  ratio: $(median "${ratios[@]}") (median of the rounds' ratios: ${ratios[*]})"
