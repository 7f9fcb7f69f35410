#!/usr/bin/env bash
# Installs the Debian packages that building, running, testing and packaging
# Talvora need, and any package named on the command line; packages already
# present are left alone. As root it calls apt-get itself; as another user it
# calls "sudo apt-get", and only when something is missing.
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config git
    qtbase5-dev qtbase5-dev-tools qttranslations5-l10n
    libcjson-dev libcurl4-openssl-dev libcpp-httplib-dev libsqlite3-dev libssl-dev openssl curl
    fonts-noto-cjk fontconfig
    libgtest-dev libbenchmark-dev clang libclang-rt-14-dev
    xvfb xdotool xcompmgr x11-apps x11-xserver-utils libx11-dev libxcb1-dev imagemagick iproute2 procps python3
    dpkg-dev file desktop-file-utils appstream
    dbus python3-dbus python3-gi python3-icalendar
    python3-pyatspi at-spi2-core dbus-daemon
    python3-websocket
    libgstreamer1.0-dev libgstreamer-plugins-base1.0-dev libgstreamer-plugins-bad1.0-dev
    gstreamer1.0-plugins-base gstreamer1.0-plugins-good gstreamer1.0-plugins-bad gstreamer1.0-nice
    gstreamer1.0-pulseaudio pulseaudio pulseaudio-utils libnice-dev libqt5websockets5-dev janus coturn
    "$@"
)

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$package")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Missing Debian packages: ${missing[*]}"
as_root=()
if [ "$(id -u)" -ne 0 ]; then
    if ! command -v sudo >/dev/null 2>&1; then
        echo "sudo is not installed; install them as root with:" >&2
        echo "    apt-get install ${missing[*]}" >&2
        exit 1
    fi
    echo "Installing them with sudo apt-get (sudo may ask for your password)."
    as_root=(sudo)
fi
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
