#!/usr/bin/env bash
# Installs what is missing, builds everything with AddressSanitizer and
# UndefinedBehaviorSanitizer, builds the fuzz targets with clang, and runs the
# whole test suite. Ends with the tests that passed only when run again and
# ctest's summary; fails when any test fails twice.
# Run it as yourself: it asks sudo only to install missing Debian packages.
#     scripts/test.sh              the tests' services listen on 127.0.0.1:18443-18447
#     scripts/test.sh --port N     on N to N+4 instead (build/test keeps N until told another)
set -euo pipefail
cd "$(dirname "$0")/.."

port_option=()
case "${1:-}" in
    --port)
        if ! [[ "${2:-}" =~ ^[0-9]+$ ]] || [ "$2" -lt 1024 ] || [ "$2" -gt 65531 ]; then
            echo "scripts/test.sh: --port needs a number from 1024 to 65531" >&2
            exit 2
        fi
        port_option=(-DTALVORA_TEST_PORT="$2")
        ;;
    "") ;;
    *)
        echo "usage: scripts/test.sh [--port N]" >&2
        exit 2
        ;;
esac

scripts/install-deps.sh
. scripts/leave-sudo.sh

CC=clang CXX=clang++ cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DTALVORA_BUILD_FUZZERS=ON >/dev/null
cmake --build build/fuzz

cmake -S . -B build/test -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTALVORA_SANITIZE=ON \
    -DTALVORA_FUZZ_BUILD_DIR="$PWD/build/fuzz" "${port_option[@]}" >/dev/null
cmake --build build/test

export XDG_RUNTIME_DIR="${XDG_RUNTIME_DIR:-$PWD/build/test/tests/runtime}"
# The process-level tests drive real windows under Xvfb; a test that fails is
# run once more so that a lost X event on a loaded machine does not fail the
# suite, while a real fault still fails it twice.
scripts/ctest-retry.sh build/test --output-on-failure -j2 --timeout 600
