#!/usr/bin/env bash
# Meetings under load, measured in a media sandbox with an optimised build:
#   bench/meeting_load/run.sh [BUILD_DIR] [--participants N] [--meetings M] [--instances K]
#                             [--size WxH] [--fps F] [--audio-only] [--duration S] [--json FILE]
# BUILD_DIR defaults to build/release (configure it with
# -DCMAKE_BUILD_TYPE=Release -DTALVORA_SANITIZE=OFF and build the devservice
# and meeting-participant targets). Without options: 12 participants in 4
# meetings on 2 Janus instances, 640x360 at 30 fps, a 20 s window.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "${1:-$root/build/release}" && pwd)
shift || true
if grep -q '^TALVORA_SANITIZE:BOOL=ON' "$build/CMakeCache.txt"; then
    echo "$build is a sanitizer build: its figures would be the sanitizers'." >&2
    exit 2
fi
certs=$(sed -n 's/^TALVORA_DEV_CERT_DIR:[A-Z]*=//p' "$build/CMakeCache.txt")
exec /usr/bin/python3 "$root/bench/meeting_load/meeting_load.py" "$build/devservice/devservice" \
    "$build/devservice/participant/meeting-participant" "$certs" "$@"
