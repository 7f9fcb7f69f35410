#!/usr/bin/env bash
# Builds the Debian package build/package/talvora_<version>_amd64.deb and
# checks it with lintian. Run it as yourself: it asks sudo only to install
# missing Debian packages. Arguments go to cmake.
#
# The package is made for the local development service that
# "scripts/run.sh --service" starts: it trusts that service's development CA
# (build/release/devcerts, made here when missing) through a copy installed
# with the program. For a real deployment, name its hosts and its CA, or an
# empty CA file for the system's store:
#     scripts/package.sh -DTALVORA_INSTALL_DEV_CA=OFF -DTALVORA_CA_BUNDLE= \
#         -DTALVORA_API_HOST=meet.example.com ...
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh lintian
. scripts/leave-sudo.sh

# Debian's hardening flags, as its own packages are built with.
flags() { DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --get "$1"; }
cmake -S . -B build/package -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
    -DCMAKE_C_FLAGS="$(flags CPPFLAGS) $(flags CFLAGS)" -DCMAKE_CXX_FLAGS="$(flags CPPFLAGS) $(flags CXXFLAGS)" \
    -DCMAKE_EXE_LINKER_FLAGS="$(flags LDFLAGS)" -DTALVORA_BUILD_TESTS=OFF -DTALVORA_BUILD_BENCHMARKS=OFF \
    -DTALVORA_INSTALL_DEV_CA=ON -DTALVORA_DEV_CERT_DIR="$PWD/build/release/devcerts" "$@" >/dev/null
cmake --build build/package
rm -f build/package/talvora_*.deb
(cd build/package && cpack -G DEB >/dev/null)

deb=$(ls build/package/talvora_*.deb)
echo "Package: $deb"
dpkg-deb --field "$deb" Package Version Section Depends
echo "lintian:"
lintian --fail-on error "$deb"
if [ "$(id -u)" -eq 0 ]; then
    echo "Install it with:  apt install ./$deb"
else
    echo "Install it with:  sudo apt install ./$deb"
fi
