#!/usr/bin/env bash
# The peer figure for receive_bench: how fast the serial terminal CuteCom drains and shows the
# same kind of 16 MiB pty flood. Runs CuteCom under Xvfb with openbox in a private mount
# namespace where the machine's own serial devices are masked by /dev/null, points its session
# at a pty that cutecom_flood.py floods once CuteCom has opened it, and prints the rate.
# Needs root (for the namespace) and: apt-get install cutecom xdotool xvfb xauth openbox.
set -euo pipefail
if [ "${1:-}" != "--inside" ]; then
    exec unshare -m --propagation private "$0" --inside
fi
for device in /dev/ttyS* /dev/ttyUSB* /dev/ttyACM*; do
    [ -e "$device" ] && mount --bind /dev/null "$device"
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export HOME=$work XDG_CONFIG_HOME=$work/config
mkdir -p "$XDG_CONFIG_HOME/CuteCom"
cat > "$XDG_CONFIG_HOME/CuteCom/CuteCom5.conf" <<CONF
[sessions]
1\\BaudRate=115200
1\\DataBits=8
1\\Device=$work/tty
1\\FlowControl=0
1\\OpenMode=3
1\\Parity=0
1\\StopBits=1
1\\autoReconnect=false
1\\name=Default
size=1
CONF
python3 "$(dirname "$0")/cutecom_flood.py" "$work/tty" "$work/go" > "$work/flood.log" 2>&1 &
flood=$!
for _ in $(seq 50); do [ -e "$work/tty" ] && break; sleep 0.1; done
xvfb-run -a -s "-screen 0 1280x900x24" bash -c "
    openbox & sleep 1
    cutecom & cutecom=\$!; sleep 3
    # Alt+O is CuteCom's Open button.
    xdotool windowactivate --sync \$(xdotool search --name CuteCom | tail -1) key alt+o
    sleep 1; touch '$work/go'
    for _ in \$(seq 600); do [ -e '$work/go.done' ] && break; sleep 0.1; done
    kill \$cutecom" > /dev/null 2>&1 || true
wait "$flood" || true
sed -n 's/^drained/CuteCom drained/p' "$work/flood.log"
