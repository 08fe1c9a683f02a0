#!/usr/bin/env bash
# Builds the libFuzzer targets in fuzz/ with clang (AddressSanitizer and UndefinedBehaviorSanitizer)
# and runs each for SECONDS, starting from the seed corpus in fuzz/corpus. libFuzzer's own output goes
# to build/fuzz/logs/TARGET.log; a finding is kept under build/fuzz/findings and fails the run.
#   scripts/fuzz.sh [SECONDS]      (default 60)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
build=build/fuzz
command -v clang++ >/dev/null || { echo "clang++ is missing: run scripts/install-deps.sh --checks" >&2; exit 1; }

CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVANTOR_FUZZ=ON \
    -DVANTOR_BUILD_GUI=OFF -DVANTOR_BUILD_TESTS=OFF >/dev/null
targets=(compiled_code_fuzzer response_collector_fuzzer text_fields_fuzzer parity_filter_fuzzer
         port_names_fuzzer cli_options_fuzzer telnet_fuzzer profile_fuzzer)
cmake --build "$build" --target "${targets[@]}"

mkdir -p "$build/findings" "$build/logs"
failed=0
# The reader and the response collector have 64 KiB bounds; their inputs may go well past them. The
# profiles file's deep seeds (keys of 30,000 parts, 60 KB, which overflowed the parser's stack) must
# reach it whole: libFuzzer cuts a seed to the length limit.
max_len() {
    case "$1" in
        compiled_code_fuzzer | response_collector_fuzzer | profile_fuzzer) echo 200000 ;;
        *) echo 4096 ;;
    esac
}
for t in "${targets[@]}"; do
    mkdir -p "$build/corpus/$t"
    if "$build/fuzz/$t" -max_total_time="$seconds" -max_len="$(max_len "$t")" -print_final_stats=1 \
        -artifact_prefix="$build/findings/$t-" \
        "$build/corpus/$t" "fuzz/corpus/$t" >"$build/logs/$t.log" 2>&1; then
        runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$build/logs/$t.log" | grep -o '[0-9]*$' || echo '?')
        echo "$t: clean, $runs executions in ${seconds} s"
    else
        echo "$t: FINDING (see $build/logs/$t.log and $build/findings)"
        tail -n 30 "$build/logs/$t.log"
        failed=1
    fi
done
exit $failed
