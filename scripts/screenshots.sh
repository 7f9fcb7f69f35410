#!/usr/bin/env bash
# Renders every page and dialog of the client to PNG files without a display
# (offscreen platform, the shipped style sheet and fonts), once at a
# device-pixel ratio of 1 and once at 2, as on a screen at 200 %. No service
# needed.
#     scripts/screenshots.sh [OUTPUT_DIRECTORY]   (default: build/screenshots)
# writes OUTPUT_DIRECTORY/1x/*.png and OUTPUT_DIRECTORY/2x/*.png.
set -euo pipefail
cd "$(dirname "$0")/.."

out="${1:-build/screenshots}"
cmake -S . -B build/screenshots-build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DTALVORA_BUILD_BENCHMARKS=OFF >/dev/null
cmake --build build/screenshots-build --target talvora_screenshots
runtime_dir="$(mktemp -d)"
trap 'rm -rf "$runtime_dir"' EXIT
for ratio in 1 2; do
    XDG_RUNTIME_DIR="$runtime_dir" QT_QPA_PLATFORM=offscreen QT_SCALE_FACTOR=$ratio \
        build/screenshots-build/tests/widgets/talvora_screenshots "$out/${ratio}x"
done
