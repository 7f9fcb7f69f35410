#!/usr/bin/env bash
# Installs what is missing, builds Talvora and the local development service,
# starts the service on loopback and runs the client against it. The service
# stops when the client exits.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DTALVORA_BUILD_TESTS=OFF -DTALVORA_BUILD_BENCHMARKS=OFF >/dev/null
cmake --build build/release

if [ -z "${DISPLAY:-}" ]; then
    echo "Talvora is a desktop application and needs an X display (DISPLAY is not set)." >&2
    exit 1
fi
# Under sudo the X server still wants the invoking user's credentials.
if [ -z "${XAUTHORITY:-}" ] && [ -n "${SUDO_USER:-}" ]; then
    user_home=$(getent passwd "$SUDO_USER" | cut -d: -f6)
    [ -f "$user_home/.Xauthority" ] && export XAUTHORITY="$user_home/.Xauthority"
fi

port=$(sed -n 's/^TALVORA_DEV_PORT:STRING=//p' build/release/CMakeCache.txt)
data_dir="$HOME/.local/share/talvora-dev"
mkdir -p "$data_dir"
service_pid=""
if ! curl -sf --cacert build/release/devcerts/ca.pem "https://127.0.0.1:${port}/health" >/dev/null 2>&1; then
    build/release/devservice/devservice --port "$port" --data "$data_dir/devservice.db" \
        --certs build/release/devcerts >"$data_dir/devservice.log" 2>&1 &
    service_pid=$!
    trap '[ -n "$service_pid" ] && kill "$service_pid" 2>/dev/null || true' EXIT
    for _ in $(seq 1 50); do
        curl -sf --cacert build/release/devcerts/ca.pem "https://127.0.0.1:${port}/health" >/dev/null 2>&1 && break
        sleep 0.1
    done
fi

echo "Development service on https://127.0.0.1:${port} (log: $data_dir/devservice.log)"
echo "Demo accounts: see README.md"
status=0
build/release/src/Talvora/Talvora || status=$?
exit "$status"
