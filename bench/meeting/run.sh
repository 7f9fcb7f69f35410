#!/usr/bin/env bash
# Runs the meeting benchmark in a media sandbox with an optimised build:
#   bench/meeting/run.sh [BUILD_DIR] [--runs N]
# BUILD_DIR defaults to build/rel (configure it RelWithDebInfo, build the
# meeting-participant target).
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-$root/build/rel}
shift || true
exec "$root/scripts/media-sandbox.sh" python3 "$root/bench/meeting/meeting_bench.py" \
    "$build/devservice/participant/meeting-participant" "$root/tests/media/janus-config.sh" "$@"
