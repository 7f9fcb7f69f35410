#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing Talvora
# need; packages already present are left alone. Run as root (or with sudo).
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config git
    qtbase5-dev qtbase5-dev-tools qttranslations5-l10n
    libcjson-dev libcurl4-openssl-dev libcpp-httplib-dev libsqlite3-dev libssl-dev openssl curl
    fonts-noto-cjk fontconfig
    libgtest-dev libbenchmark-dev clang libclang-rt-14-dev
    xvfb xdotool xcompmgr x11-apps libx11-dev imagemagick iproute2 procps python3
)

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$package")
    fi
done

if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
