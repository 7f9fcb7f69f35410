#!/usr/bin/env bash
# Stops the instance that start-devservice.sh started (SIGTERM, then SIGKILL
# after 5 s) and shows the end of its log.
#   stop-devservice.sh DEVSERVICE STATE_DIR
set -uo pipefail
binary=$1 state=$2
pidfile="$state/devservice.pid"
[ -f "$pidfile" ] || exit 0
pid=$(cat "$pidfile")
rm -f "$pidfile"
if [ -n "$pid" ] && [ "$(readlink -f "/proc/$pid/exe" 2>/dev/null)" = "$(readlink -f "$binary")" ]; then
    kill -TERM "$pid" 2>/dev/null
    for _ in $(seq 1 50); do
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    if kill -0 "$pid" 2>/dev/null; then
        echo "devservice (pid $pid) ignored SIGTERM; killing it" >&2
        kill -KILL "$pid" 2>/dev/null
        exit 1
    fi
fi
tail -n 3 "$state/devservice.log" 2>/dev/null
exit 0
