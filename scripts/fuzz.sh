#!/usr/bin/env bash
# Builds the fuzz targets with clang into build-fuzz/ and runs each for a fixed time.
#   scripts/fuzz.sh [seconds per target] [target ...]
# Defaults: 600 seconds, every target in fuzz/. Each target's corpus grows in
# build-fuzz/corpus/<target> (seeded from fuzz/seeds/<target>, with the dictionary
# fuzz/<target>.dict where there is one); a finding is saved in
# build-fuzz/findings/<target>/ and makes the script fail. The HTTP probe target binds
# port 80 on a loopback address, so run as root.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-600}
shift || true
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
    for source in fuzz/*_fuzz.cpp; do
        targets+=("$(basename "$source" .cpp)")
    done
fi

dir=build-fuzz
CC=clang CXX=clang++ cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DQUILLON_GUI=OFF -DQUILLON_FUZZ=ON >/dev/null
cmake --build "$dir" -j "$(nproc)" --target "${targets[@]}"

summary=()
for target in "${targets[@]}"; do
    corpus=$dir/corpus/$target
    findings=$dir/findings/$target
    mkdir -p "$corpus" "$findings"
    seeds=()
    [ -d "fuzz/seeds/$target" ] && seeds=("fuzz/seeds/$target")
    dict=()
    [ -f "fuzz/$target.dict" ] && dict=("-dict=fuzz/$target.dict")
    echo "== $target: $seconds s"
    log=$dir/$target.log
    status=0
    "$dir/fuzz/$target" -max_total_time="$seconds" -timeout=20 -print_final_stats=1 \
        -artifact_prefix="$findings/" "${dict[@]}" "$corpus" "${seeds[@]}" >"$log" 2>&1 || status=$?
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
    if [ "$status" -ne 0 ]; then
        tail -n 40 "$log"
        summary+=("$target: FINDING after ${runs:-?} runs (see $log and $findings)")
    else
        summary+=("$target: ${runs:-?} runs in $seconds s without a finding")
    fi
done
printf '%s\n' "${summary[@]}"
! printf '%s\n' "${summary[@]}" | grep -q FINDING
