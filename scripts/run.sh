#!/usr/bin/env bash
# Installs what is missing, builds Talvora and the local development service,
# starts the service on loopback and runs the client against it. The service
# stops when the client exits. Run it as yourself: it asks sudo only to
# install missing Debian packages.
#     scripts/run.sh             the service and the client
#     scripts/run.sh --service   only the service, until Ctrl-C (for an installed Talvora)
#     scripts/run.sh --port N    on 127.0.0.1:N instead of 8443 (build/release keeps N
#                                until told another; an installed Talvora wants 8443)
set -euo pipefail
cd "$(dirname "$0")/.."

service_only=false
port_options=()
# The arguments stay in "$@": leave-sudo.sh starts this script again with them.
args=("$@")
for ((i = 0; i < ${#args[@]}; ++i)); do
    case "${args[i]}" in
        --service) service_only=true ;;
        --port)
            port="${args[i + 1]:-}"
            if ! [[ "$port" =~ ^[0-9]+$ ]] || [ "$port" -lt 1 ] || [ "$port" -gt 65535 ]; then
                echo "scripts/run.sh: --port needs a number from 1 to 65535" >&2
                exit 2
            fi
            # The client is built for its service: every host names the port.
            origin="127.0.0.1:$port"
            port_options=(-DTALVORA_DEV_PORT="$port" -DTALVORA_API_HOST="$origin"
                -DTALVORA_CLOUD_AUTH_URL="https://$origin" -DTALVORA_CLOUD_API_URL="https://$origin"
                -DTALVORA_SDK_WEB_DOMAIN="$origin" -DTALVORA_SUPPORT_URL="https://$origin/support")
            i=$((i + 1))
            ;;
        *)
            echo "usage: scripts/run.sh [--service] [--port N]" >&2
            exit 2
            ;;
    esac
done

scripts/install-deps.sh
. scripts/leave-sudo.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DTALVORA_BUILD_TESTS=OFF -DTALVORA_BUILD_BENCHMARKS=OFF "${port_options[@]}" >/dev/null
cmake --build build/release

port=$(sed -n 's/^TALVORA_DEV_PORT:STRING=//p' build/release/CMakeCache.txt)
certs=$(sed -n 's/^TALVORA_DEV_CERT_DIR:PATH=//p' build/release/CMakeCache.txt)
data_dir="$HOME/.local/share/talvora-dev"
mkdir -p "$data_dir"
service=(build/release/devservice/devservice --port "$port" --data "$data_dir/devservice.db" --certs "$certs")

if $service_only; then
    echo "Development service on https://127.0.0.1:${port}; stop it with Ctrl-C."
    exec "${service[@]}"
fi

if [ -z "${DISPLAY:-}" ]; then
    echo "Talvora is a desktop application and needs an X display (DISPLAY is not set)." >&2
    exit 1
fi

healthy() {
    curl -sf --cacert "$certs/ca.pem" "https://127.0.0.1:${port}/health" >/dev/null 2>&1
}
service_pid=""
if ! healthy; then
    "${service[@]}" >"$data_dir/devservice.log" 2>&1 &
    service_pid=$!
    trap '[ -n "$service_pid" ] && kill "$service_pid" 2>/dev/null || true' EXIT
    for _ in $(seq 1 50); do
        healthy && break
        sleep 0.1
    done
fi

echo "Development service on https://127.0.0.1:${port} (log: $data_dir/devservice.log)"
echo "Demo accounts: see README.md"
status=0
build/release/src/Talvora/Talvora || status=$?
exit "$status"
