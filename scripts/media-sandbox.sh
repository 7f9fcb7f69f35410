#!/usr/bin/env bash
# Runs a command in a private network namespace made for meetings on one
# machine: loopback up, and a veth pair whose first end, tvmedia0, carries
# 127.0.0.2/32. Janus skips loopback-flagged interfaces when it gathers ICE
# candidates; tvmedia0 is not flagged, so Janus (ice_enforce_list tvmedia0)
# and the clients' ICE agents gather 127.0.0.2, and media never leaves
# 127.0.0.0/8 nor reaches the machine's own addresses. Everything started in
# the namespace (service, Janus, clients) ends with it.
#
#   scripts/media-sandbox.sh COMMAND [ARG]...
#
# As root it makes the namespace itself; as another user it makes a user
# namespace too, in which the user may set up its own network.
set -euo pipefail

if [ "${TALVORA_MEDIA_SANDBOX:-}" != inside ]; then
    flags=(--net --kill-child)
    [ "$(id -u)" -ne 0 ] && flags+=(--user --map-root-user)
    exec env TALVORA_MEDIA_SANDBOX=inside unshare "${flags[@]}" "$0" "$@"
fi

ip link set lo up
ip link add tvmedia0 type veth peer name tvmedia1
for dev in all default tvmedia0 tvmedia1; do
    echo 1 >"/proc/sys/net/ipv6/conf/$dev/disable_ipv6" 2>/dev/null || true
done
ip addr add 127.0.0.2/32 dev tvmedia0
ip link set tvmedia1 up
ip link set tvmedia0 up
exec "$@"
