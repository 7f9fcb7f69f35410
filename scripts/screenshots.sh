#!/usr/bin/env bash
# Renders every page and dialog of the client to PNG files without a display
# (offscreen platform, the shipped style sheet and fonts). No service needed.
#     scripts/screenshots.sh [OUTPUT_DIRECTORY]   (default: build/screenshots)
set -euo pipefail
cd "$(dirname "$0")/.."

out="${1:-build/screenshots}"
cmake -S . -B build/screenshots-build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DTALVORA_BUILD_BENCHMARKS=OFF >/dev/null
cmake --build build/screenshots-build --target talvora_screenshots
runtime_dir="$(mktemp -d)"
trap 'rm -rf "$runtime_dir"' EXIT
XDG_RUNTIME_DIR="$runtime_dir" QT_QPA_PLATFORM=offscreen \
    build/screenshots-build/tests/widgets/talvora_screenshots "$out"
