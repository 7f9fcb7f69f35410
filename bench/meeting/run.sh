#!/usr/bin/env bash
# Runs the meeting benchmark in a media sandbox with an optimised build:
#   bench/meeting/run.sh [BUILD_DIR] [--runs N]
# BUILD_DIR defaults to build/rel (configure it RelWithDebInfo, build the
# meeting-participant target). Where BUILD_DIR also holds the client and
# devservice (scripts/run.sh's build/release does), the client's own figures
# follow, from a meeting it starts under its own X server.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "${1:-$root/build/rel}" && pwd)
shift || true
participant="$build/devservice/participant/meeting-participant"
"$root/scripts/media-sandbox.sh" python3 "$root/bench/meeting/meeting_bench.py" \
    "$participant" "$root/tests/media/janus-config.sh" "$@"

client="$build/src/Talvora/Talvora"
if [ ! -x "$client" ] || [ ! -x "$build/devservice/devservice" ]; then
    echo "No client or devservice in $build: the client's own figures are left out."
    exit 0
fi
cache() { sed -n "s/^$1:[A-Z]*=//p" "$build/CMakeCache.txt"; }
# From inside the build tree, so that the client keeps its log beside it.
cd "$build"
exec python3 "$root/bench/meeting/client_bench.py" "$client" "$build/devservice/devservice" "$participant" \
    "$(cache TALVORA_DEV_CERT_DIR)" "$(cache TALVORA_DEV_PORT)"
