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
quillon=
# On the way out Quillon closes first, as by its close box (it keeps its settings), then the
# printer.
end_both() {
    for program in $quillon $printer; do
        kill "$program" 2> /dev/null || true
        wait "$program" 2> /dev/null || true
    done
    rm -rf "$work"
}
trap 'exit 129' HUP INT TERM
trap end_both EXIT

# The printer writes its COM<n> line once its pseudo-terminal is ready.
for _ in $(seq 100); do
    grep -q '^COM' "$map" 2>/dev/null && break
    kill -0 "$printer" 2>/dev/null || { echo "run.sh: the virtual printer did not start" >&2; exit 1; }
    sleep 0.1
done
# Quillon starts with the virtual printer chosen in its port list.
port=$(grep -m1 '^COM' "$map" | cut -d= -f1)
QUILLON_PORT_MAP="$map" build/app/quillon --port "$port" "$@" &
quillon=$!

# Quillon's window goes to the screen's left edge and the printer's to its right, so that the
# paper roll shows. This needs X11 and xdotool; elsewhere the window manager places both.
if [ -n "${DISPLAY:-}" ] && command -v xdotool > /dev/null; then
    find_window() { timeout 20 xdotool search --sync --onlyvisible --pid "$1" 2> /dev/null | head -1; }
    quillon_window=$(find_window "$quillon") || true
    printer_window=$(find_window "$printer") || true
    if [ -n "$quillon_window" ] && [ -n "$printer_window" ]; then
        # The height the window manager chose is kept, so that the title bar stays in sight.
        eval "$(xdotool getwindowgeometry --shell "$quillon_window")"
        xdotool windowmove "$quillon_window" 0 "$Y" || true
        xdotool windowmove "$printer_window" $((WIDTH + 12)) "$Y" || true
    fi
fi
wait "$quillon"
