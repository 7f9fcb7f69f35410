#!/usr/bin/env bash
# Writes a minimal Janus configuration for a media sandbox: WebSocket API
# only (on 127.0.0.1:PORT), the VideoRoom, TextRoom and EchoTest plugins only, ICE
# on tvmedia0 (127.0.0.2) with no STUN or TURN, a bounded RTP port range, the
# packets kept for retransmission as long as the service's Janus keeps them, and
# one private room with a pin and audio-level events, with its chat room
# (same id and pin, the last 50 messages kept).
#
#   janus-config.sh DIR WS_PORT ROOM PIN [SECRET]
set -euo pipefail
dir=$1 port=$2 room=$3 pin=$4
secret=${5:-$(head -c 16 /dev/urandom | od -An -tx1 | tr -d ' \n')}
mkdir -p "$dir"
lib=/usr/lib/x86_64-linux-gnu/janus
[ -d "$lib" ] || lib=$(dirname "$(dpkg -L janus | grep -m1 '/plugins/libjanus_videoroom.so$')")/..

others() { # the shared objects of folder $1 but those named after it, comma-separated
    local folder=$1
    shift
    find "$lib/$folder" -maxdepth 1 -name '*.so' -printf '%f\n' | grep -vxF "${@/#/-e}" | paste -sd, -
}

cat >"$dir/janus.jcfg" <<CFG
general: {
    configs_folder = "$dir"
    plugins_folder = "$lib/plugins"
    transports_folder = "$lib/transports"
    events_folder = "$lib/events"
    loggers_folder = "$lib/loggers"
    debug_level = 4
    session_timeout = 60
    reclaim_session_timeout = 20
}
media: {
    rtp_port_range = "40000-40999"
    min_nack_queue = 600
}
nat: {
    ice_enforce_list = "tvmedia0"
    nice_debug = false
}
plugins: {
    disable = "$(others plugins libjanus_videoroom.so libjanus_textroom.so libjanus_echotest.so)"
}
transports: {
    disable = "$(others transports libjanus_websockets.so)"
}
events: {
    broadcast = false
}
loggers: {
    disable = "$(others loggers none)"
}
CFG

cat >"$dir/janus.transport.websockets.jcfg" <<CFG
general: {
    json = "compact"
    ws = true
    ws_port = $port
    ws_interface = "lo"
    ws_acl = "127."
    wss = false
}
admin: {
    admin_ws = false
    admin_wss = false
}
CFG

cat >"$dir/janus.plugin.videoroom.jcfg" <<CFG
general: {
}
room-$room: {
    description = "media test"
    is_private = true
    secret = "$secret"
    pin = "$pin"
    publishers = 16
    audiocodec = "opus"
    videocodec = "vp8"
    opus_fec = true
    audiolevel_ext = true
    audiolevel_event = true
    audio_active_packets = 25
    audio_level_average = 40
    notify_joining = true
}
CFG

cat >"$dir/janus.plugin.textroom.jcfg" <<CFG
general: {
    json = "compact"
}
room-$room: {
    description = "media test chat"
    is_private = true
    secret = "$secret"
    pin = "$pin"
    history = 50
}
CFG
