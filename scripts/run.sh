#!/usr/bin/env bash
# Installs what is missing, builds Talvora and the local development service,
# and runs the service, its Janus and the client together in a media sandbox
# (scripts/media-sandbox.sh: a private network namespace in which meetings
# stay on 127.0.0.0/8). The sandbox, and everything in it, ends when the
# client exits. Run it as yourself: it asks sudo only to install missing
# Debian packages.
#     scripts/run.sh                                    the service and the client
#     scripts/run.sh --service                          only the service, until Ctrl-C
#     scripts/run.sh --participant NUMBER [OPTION]...   a second person in meeting NUMBER
#     scripts/run.sh --in-sandbox COMMAND [ARG]...      any program beside the running service
#     scripts/run.sh --port N ...                       on 127.0.0.1:N instead of 8443 (build/release
#                                                       keeps N until told another; an installed
#                                                       Talvora wants 8443)
set -euo pipefail
cd "$(dirname "$0")/.."

usage() {
    echo "usage: scripts/run.sh [--port N] [--service | --participant NUMBER [OPTION]... | --in-sandbox COMMAND [ARG]...]" >&2
    exit 2
}

data_dir="$HOME/.local/share/talvora-dev"
pid_file="$data_dir/sandbox.pid"

# Inside the sandbox (started below): the service with its Janus, then the
# client, or the service alone.
if [ "${TALVORA_MEDIA_SANDBOX:-}" = inside ] && [ "${TALVORA_RUN_STAGE:-}" = sandbox ]; then
    port=$1 certs=$2 mode=$3
    echo $$ >"$pid_file"
    service=(build/release/devservice/devservice --port "$port" --data "$data_dir/devservice.db" --certs "$certs"
             --media-interface tvmedia0)
    if [ "$mode" = service ]; then
        echo "Development service on https://127.0.0.1:${port} in the media sandbox; stop it with Ctrl-C."
        echo "Bring someone in with: scripts/run.sh --participant NUMBER"
        exec "${service[@]}"
    fi
    "${service[@]}" >"$data_dir/devservice.log" 2>&1 &
    service_pid=$!
    trap 'kill "$service_pid" 2>/dev/null; wait "$service_pid" 2>/dev/null || true; rm -f "$pid_file"' EXIT
    for _ in $(seq 1 200); do
        curl -sf --cacert "$certs/ca.pem" "https://127.0.0.1:${port}/health" >/dev/null 2>&1 && break
        kill -0 "$service_pid" 2>/dev/null || { cat "$data_dir/devservice.log" >&2; exit 1; }
        sleep 0.1
    done
    echo "Development service on https://127.0.0.1:${port} (log: $data_dir/devservice.log)"
    echo "Demo accounts: see README.md. Bring someone into your meeting with: scripts/run.sh --participant NUMBER"
    status=0
    build/release/src/Talvora/Talvora || status=$?
    exit "$status"
fi

port_options=()
port_args=()
if [ "${1:-}" = --port ]; then
    port="${2:-}"
    if ! [[ "$port" =~ ^[0-9]+$ ]] || [ "$port" -lt 1 ] || [ "$port" -gt 65535 ]; then
        echo "scripts/run.sh: --port needs a number from 1 to 65535" >&2
        exit 2
    fi
    # The client is built for its service: every host names the port.
    origin="127.0.0.1:$port"
    port_options=(-DTALVORA_DEV_PORT="$port" -DTALVORA_API_HOST="$origin"
        -DTALVORA_CLOUD_AUTH_URL="https://$origin" -DTALVORA_CLOUD_API_URL="https://$origin"
        -DTALVORA_SDK_WEB_DOMAIN="$origin" -DTALVORA_SUPPORT_URL="https://$origin/support")
    port_args=("$1" "$2")
    shift 2
fi

mode=client
case "${1:-}" in
    --service) [ $# -eq 1 ] || usage; mode=service ;;
    --participant) [ $# -ge 2 ] && [[ $2 =~ ^[0-9]+$ ]] || usage; mode=participant ;;
    --in-sandbox) [ $# -ge 2 ] || usage; mode=in-sandbox ;;
    "") ;;
    *) usage ;;
esac

# The sandbox's first process, while it runs: its pid in the file, in a
# namespace of its own, and started by this script (a pid left by a sandbox
# that ended may name another program since).
sandbox_pid() {
    local pid
    pid=$(cat "$pid_file" 2>/dev/null || true)
    [ -n "$pid" ] && [ -e "/proc/$pid/ns/net" ] &&
        [ "$(readlink "/proc/$pid/ns/net")" != "$(readlink /proc/self/ns/net)" ] &&
        tr '\0' '\n' <"/proc/$pid/environ" 2>/dev/null | grep -qx TALVORA_RUN_STAGE=sandbox && echo "$pid"
}

# A program in the namespace of the sandbox that another run.sh started.
enter_sandbox() {
    local pid
    pid=$(sandbox_pid || true)
    if [ -z "$pid" ]; then
        echo "No media sandbox is running: start one with scripts/run.sh or scripts/run.sh --service." >&2
        exit 1
    fi
    local flags=(--target "$pid" --net)
    [ "$(id -u)" -ne 0 ] && flags+=(--user --preserve-credentials)
    exec nsenter "${flags[@]}" -- "$@"
}

if [ "$mode" = in-sandbox ]; then
    shift
    enter_sandbox "$@"
fi

scripts/install-deps.sh
set -- "${port_args[@]}" "$@"
. scripts/leave-sudo.sh
[ ${#port_args[@]} -eq 0 ] || shift 2
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DTALVORA_BUILD_TESTS=OFF -DTALVORA_BUILD_BENCHMARKS=OFF "${port_options[@]}" >/dev/null
cmake --build build/release

port=$(sed -n 's/^TALVORA_DEV_PORT:STRING=//p' build/release/CMakeCache.txt)
certs=$(sed -n 's/^TALVORA_DEV_CERT_DIR:PATH=//p' build/release/CMakeCache.txt)
mkdir -p "$data_dir"

if [ "$mode" = participant ]; then
    number=$2
    shift 2
    participant=$(find build/release -name meeting-participant -type f -perm -u+x -print -quit)
    if [ -z "$participant" ]; then
        echo "meeting-participant is not built in build/release." >&2
        exit 1
    fi
    # demo2 (李四) by default; options after the number go to meeting-participant.
    enter_sandbox "$participant" --service "https://127.0.0.1:${port}" --ca "$certs/ca.pem" \
        --account "lisi$(sed -n 's/^TALVORA_EMAIL_SUFFIX:STRING=//p' build/release/CMakeCache.txt)" \
        --password LiSi-Password-16 --number "$number" "$@"
fi

if [ "$mode" = client ] && [ -z "${DISPLAY:-}" ]; then
    echo "Talvora is a desktop application and needs an X display (DISPLAY is not set)." >&2
    exit 1
fi
# A service already running in a sandbox (scripts/run.sh --service) gets the
# client beside it.
if [ "$mode" = client ] && [ -n "$(sandbox_pid || true)" ]; then
    echo "Using the development service already running in the media sandbox."
    enter_sandbox build/release/src/Talvora/Talvora
fi
exec env TALVORA_RUN_STAGE=sandbox scripts/media-sandbox.sh "$PWD/scripts/run.sh" "$port" "$certs" "$mode"
