#!/usr/bin/env bash
# Runs the loss and bandwidth benchmark in a media sandbox:
#   bench/meeting/loss.sh [BUILD_DIR] [--window S]
# BUILD_DIR defaults to build/rel (RelWithDebInfo, target meeting-participant).
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-$root/build/rel}
shift || true
exec "$root/scripts/media-sandbox.sh" python3 "$root/bench/meeting/meeting_loss.py" \
    "$build/devservice/participant/meeting-participant" "$root/tests/media/janus-config.sh" "$@"
