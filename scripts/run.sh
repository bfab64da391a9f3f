#!/usr/bin/env bash
# Installs the dependencies, builds Quillon and starts it beside the virtual printer
# quillon-printer, which it lists as a COM port; closing Quillon ends the printer.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build

work=$(mktemp -d)
map="$work/ports"
build/printer/app/quillon-printer --port-map "$map" &
printer=$!
trap 'exit 129' HUP INT TERM
trap 'kill "$printer" 2>/dev/null || true; wait "$printer" 2>/dev/null || true; rm -rf "$work"' EXIT

# The printer writes its COM<n> line once its pseudo-terminal is ready.
for _ in $(seq 100); do
    grep -q '^COM' "$map" 2>/dev/null && break
    kill -0 "$printer" 2>/dev/null || { echo "run.sh: the virtual printer did not start" >&2; exit 1; }
    sleep 0.1
done
# Quillon starts with the virtual printer chosen in its port list.
port=$(grep -m1 '^COM' "$map" | cut -d= -f1)
QUILLON_PORT_MAP="$map" build/app/quillon --port "$port" "$@"
