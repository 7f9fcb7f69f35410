#!/usr/bin/env bash
# Starts the development service for the tests: a fresh database without the
# demo meetings, HTTPS on 127.0.0.1:PORT with the build's development CA.
# Returns once /health answers.
#   start-devservice.sh DEVSERVICE PORT STATE_DIR CERT_DIR
set -euo pipefail
binary=$1 port=$2 state=$3 certs=$4
pidfile="$state/devservice.pid"
mkdir -p "$state"

health() {
    curl -sf --max-time 2 --cacert "$certs/ca.pem" "https://127.0.0.1:${port}/health" >/dev/null 2>&1
}

stop_pid() {
    local pid=$1
    kill -TERM "$pid" 2>/dev/null || return 0
    for _ in $(seq 1 50); do
        kill -0 "$pid" 2>/dev/null || return 0
        sleep 0.1
    done
    kill -KILL "$pid" 2>/dev/null || true
}

# An instance left over by an earlier, interrupted run of this build.
if [ -f "$pidfile" ]; then
    old=$(cat "$pidfile")
    if [ -n "$old" ] && [ "$(readlink -f "/proc/$old/exe" 2>/dev/null)" = "$(readlink -f "$binary")" ]; then
        echo "stopping a stale devservice (pid $old)"
        stop_pid "$old"
    fi
    rm -f "$pidfile"
fi
# Another process on the port: stop it only when it is this build's service.
for pid in $(ss -Hltnp "sport = :${port}" 2>/dev/null | grep -o 'pid=[0-9]*' | cut -d= -f2 | sort -u); do
    if [ "$(readlink -f "/proc/$pid/exe" 2>/dev/null)" = "$(readlink -f "$binary")" ]; then
        echo "stopping a stale devservice on port $port (pid $pid)"
        stop_pid "$pid"
    fi
done
if ss -Hltn "sport = :${port}" 2>/dev/null | grep -q .; then
    echo "port $port is taken by another program; configure with -DTALVORA_TEST_PORT=<free port>" >&2
    exit 1
fi

rm -f "$state/devservice.db" "$state/devservice.db-journal" "$state/devservice.db-wal" "$state/devservice.db-shm"
# Detached, with every stream redirected, so ctest does not wait for it.
ASAN_OPTIONS=detect_leaks=0 setsid "$binary" --port "$port" --data "$state/devservice.db" --certs "$certs" --no-demo-data \
    --media-interface lo \
    </dev/null >"$state/devservice.log" 2>&1 &
pid=$!
echo "$pid" >"$pidfile"

for _ in $(seq 1 200); do
    if health; then
        echo "devservice (pid $pid) serves https://127.0.0.1:${port}"
        exit 0
    fi
    if ! kill -0 "$pid" 2>/dev/null; then
        echo "devservice exited during start-up:" >&2
        cat "$state/devservice.log" >&2
        rm -f "$pidfile"
        exit 1
    fi
    sleep 0.1
done
echo "devservice did not answer /health within 20 s:" >&2
cat "$state/devservice.log" >&2
stop_pid "$pid"
rm -f "$pidfile"
exit 1
