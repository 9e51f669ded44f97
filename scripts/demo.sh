#!/usr/bin/env bash
# Runs the panel against two simulated controllers: a KELDA-01 on 127.0.0.1:7777 (network link)
# and a VASKO-01 on a pseudo-terminal reached through demo/ttyVASKO (USB link). The recent-list
# files in demo/ already name both, so the connection dialog offers them. The simulators stop
# when the panel exits.
#
# Usage: scripts/demo.sh BUILD_DIR
set -euo pipefail

if [ $# -ne 1 ]; then
    echo "Usage: $0 BUILD_DIR   (the CMake build directory holding sim/ and src/app/)" >&2
    exit 2
fi
repo="$(cd "$(dirname "$0")/.." && pwd)"
build="$(cd "$1" 2>/dev/null && pwd)" || { echo "demo: no build directory at $1" >&2; exit 2; }
sim="$build/sim/controller-sim"
panel="$build/src/app/motor-panel"
demo="$repo/demo"
host=127.0.0.1
port=7777

for program in "$sim" "$panel"; do
    if [ ! -x "$program" ]; then
        echo "demo: $program is missing; build the project first (make build)." >&2
        exit 1
    fi
done
# A listener already on the port would answer instead of our KELDA-01.
if (exec 3<>"/dev/tcp/$host/$port") 2>/dev/null; then
    echo "demo: port $port on $host is already taken (an earlier demo or simulator still running?)." >&2
    echo "demo: stop whatever listens there, then run the demo again." >&2
    exit 1
fi

mkdir -p "$demo"
pids=()
stop_simulators() {
    for pid in "${pids[@]}"; do
        kill "$pid" 2>/dev/null || true
    done
    for pid in "${pids[@]}"; do
        wait "$pid" 2>/dev/null || true
    done
}
trap stop_simulators EXIT
trap 'exit 130' INT TERM

"$sim" --model KELDA-01 --listen "$host:$port" >"$demo/sim-KELDA.log" 2>&1 &
pids+=($!)
"$sim" --model VASKO-01 --pty --link "$demo/ttyVASKO" >"$demo/sim-VASKO.log" 2>&1 &
pids+=($!)

# Both print their banner once they are reachable; a simulator that exits early says why.
for _ in $(seq 50); do
    ready=0
    for log in "$demo/sim-KELDA.log" "$demo/sim-VASKO.log"; do
        grep -q '^controller-sim: .* on ' "$log" 2>/dev/null && ready=$((ready + 1))
    done
    [ "$ready" -eq 2 ] && break
    for pid in "${pids[@]}"; do
        if ! kill -0 "$pid" 2>/dev/null; then
            echo "demo: a simulator did not start:" >&2
            cat "$demo/sim-KELDA.log" "$demo/sim-VASKO.log" >&2
            exit 1
        fi
    done
    sleep 0.1
done
cat "$demo/sim-KELDA.log" "$demo/sim-VASKO.log"

# The recent-list files: six comma-terminated fields, CR LF at the end.
printf '%s,,,,,,\r\n' "$host" >"$demo/KELDA_L.Log"
printf '%s,,,,,,\r\n' "$demo/ttyVASKO" >"$demo/KELDA_U.Log"

status=0
(cd "$demo" && "$panel") || status=$?
exit "$status"
