#!/usr/bin/env bash
# Start-up time and memory of the release build, on a private Xvfb, in the
# environment a user's session gives it (no QT_* variables).
#
#     scripts/bench-startup.sh            starts the client (to its sign-in
#         dialog) and a bare Qt 5 dialog of two fields (bench/startup/),
#         alternately, RUNS times each (default 10); for each, the time from
#         exec to the mapped window and the resident size 2 s later; prints
#         the medians and the ratios.
#     scripts/bench-startup.sh --session  signs in as demo against a local
#         service holding 50 meetings of ZC10001 and prints the resident size
#         with the main window shown, the idle CPU over IDLE_SECONDS (default
#         60) and the resident size after REFRESHES (default 1000) clicks on
#         "我的会议" that reached the service.
set -euo pipefail
cd "$(dirname "$0")/.."

mode="${1:-startup}"
case "$mode" in
startup | --session) ;;
*)
    echo "usage: $0 [--session]" >&2
    exit 2
    ;;
esac
runs="${RUNS:-10}"
idle_seconds="${IDLE_SECONDS:-60}"
refreshes="${REFRESHES:-1000}"

scripts/install-deps.sh
build=build/release
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DTALVORA_BUILD_TESTS=OFF -DTALVORA_BUILD_BENCHMARKS=OFF >/dev/null
cmake --build "$build" --target Talvora devservice >/dev/null

tools="$build/bench-startup"
mkdir -p "$tools"
if [ ! -x "$tools/BareDialog" ] || [ bench/startup/BareDialog.cpp -nt "$tools/BareDialog" ]; then
    # shellcheck disable=SC2046
    g++ -std=c++17 -O2 -g -fPIC -o "$tools/BareDialog" bench/startup/BareDialog.cpp \
        $(pkg-config --cflags --libs Qt5Widgets)
fi
if [ ! -x "$tools/startup-probe" ] || [ bench/startup/StartupProbe.c -nt "$tools/startup-probe" ]; then
    gcc -O2 -o "$tools/startup-probe" bench/startup/StartupProbe.c -lX11
fi

scratch="$(mktemp -d /tmp/bench-startup-XXXXXX)"
xvfb_pid=""
service_pid=""
client_pid=""
cleanup() {
    set +e
    for pid in "$client_pid" "$service_pid" "$xvfb_pid"; do
        [ -n "$pid" ] && kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
    done
    rm -rf "$scratch"
}
trap cleanup EXIT

# A display of its own: Xvfb picks a free number and reports it once it
# accepts connections.
Xvfb -displayfd 3 -screen 0 1440x960x24 -dpi 96 -nolisten tcp -noreset 3>"$scratch/display" >/dev/null 2>&1 &
xvfb_pid=$!
for _ in $(seq 1 200); do
    [ -s "$scratch/display" ] && break
    sleep 0.05
done
if [ ! -s "$scratch/display" ]; then
    echo "bench-startup: Xvfb did not start" >&2
    exit 1
fi
export DISPLAY=":$(head -n1 "$scratch/display")"
mkdir -m 700 "$scratch/runtime"
export XDG_RUNTIME_DIR="$scratch/runtime"
unset QT_QPA_PLATFORM QT_XCB_GL_INTEGRATION QT_DEBUG_PLUGINS

# The client in a folder of its own: its Logs directory appears beside it.
mkdir "$scratch/client"
ln "$build/src/Talvora/Talvora" "$scratch/client/Talvora" 2>/dev/null ||
    cp "$build/src/Talvora/Talvora" "$scratch/client/Talvora"
client="$scratch/client/Talvora"

median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
rss_kb() { awk '/^Rss:/ { print $2 }' "/proc/$1/smaps_rollup"; }
cpu_ticks() { awk '{ sub(/^.*\) /, ""); print $12 + $13 }' "/proc/$1/stat"; }

startup() {
    local probe="$tools/startup-probe"
    # One start of each first, so that both find the libraries in the page cache.
    "$probe" "BareDialog" 0 "$tools/BareDialog" >/dev/null
    "$probe" "Talvora 登录" 0 "$client" >/dev/null
    : >"$scratch/bare"
    : >"$scratch/client.txt"
    for i in $(seq 1 "$runs"); do
        "$probe" "BareDialog" 2000 "$tools/BareDialog" >>"$scratch/bare"
        "$probe" "Talvora 登录" 2000 "$client" >>"$scratch/client.txt"
        printf '\rrun %d of %d' "$i" "$runs" >&2
    done
    echo >&2
    local client_ms bare_ms client_kb bare_kb
    client_ms=$(cut -d' ' -f1 "$scratch/client.txt" | median)
    bare_ms=$(cut -d' ' -f1 "$scratch/bare" | median)
    client_kb=$(cut -d' ' -f2 "$scratch/client.txt" | median)
    bare_kb=$(cut -d' ' -f2 "$scratch/bare" | median)
    echo "Talvora ms:  $(cut -d' ' -f1 "$scratch/client.txt" | tr '\n' ' ')"
    echo "bare ms:     $(cut -d' ' -f1 "$scratch/bare" | tr '\n' ' ')"
    awk -v c="$client_ms" -v b="$bare_ms" -v ck="$client_kb" -v bk="$bare_kb" -v n="$runs" 'BEGIN {
        printf "start to the visible window (median of %d): Talvora %.1f ms, bare Qt dialog %.1f ms, ratio %.2f (target: at most 0.80)\n", n, c, b, c / b
        printf "resident size 2 s later (median): Talvora %.1f MB, bare Qt dialog %.1f MB, ratio %.2f\n", ck / 1024, bk / 1024, ck / bk
    }'
}

start_service() {
    local port certs
    port=$(sed -n 's/^TALVORA_DEV_PORT:STRING=//p' "$build/CMakeCache.txt")
    certs="$build/devcerts"
    api="https://127.0.0.1:$port"
    if curl -sf --cacert "$certs/ca.pem" "$api/health" >/dev/null 2>&1; then
        echo "bench-startup: a service already runs on port $port; stop it first" >&2
        exit 1
    fi
    "$build/devservice/devservice" --port "$port" --data "$scratch/service.db" --certs "$certs" \
        >"$scratch/service.log" 2>&1 &
    service_pid=$!
    for _ in $(seq 1 100); do
        curl -sf --cacert "$certs/ca.pem" "$api/health" >/dev/null 2>&1 && break
        sleep 0.1
    done
    curl_api=(curl -sf --cacert "$certs/ca.pem" -X POST -H "Content-Length: 0")
    local query="api_key=5D2E8A41C07B93F6E1A04C8B7D3F2619&api_secret=9B47E0C3A5D1286F4E0B7A93C6D85F12"
    for i in $(seq 1 50); do
        local day=$(((i - 1) % 28 + 1)) hour=$((8 + i % 10))
        "${curl_api[@]}" "$api/v3/meeting/create?$query&zcode=ZC10001&topic=bench%20$i&type=2&start_time=2030-06-$(printf %02d $day)%20$hour:30:00&duration=45&option_no_video_host=false&option_no_video_participants=false" >/dev/null
    done
}

list_requests() { grep -c ' /v3/meeting/list?' "$scratch/service.log" || true; }

wait_for() { # seconds, command...
    local deadline=$((SECONDS + $1))
    shift
    until "$@"; do
        if [ "$SECONDS" -ge "$deadline" ] || ! kill -0 "$client_pid" 2>/dev/null; then
            return 1
        fi
        sleep 0.2
    done
}

visible_window() { xdotool search --onlyvisible --pid "$client_pid" --name "^$1\$" 2>/dev/null | head -n1; }
has_window() { [ -n "$(visible_window "$1")" ]; }
signed_in() { grep -qs 'get username:' "$scratch"/client/Logs/*.txt; }

session() {
    start_service
    "$client" >"$scratch/client.out" 2>&1 &
    client_pid=$!
    wait_for 30 has_window "Talvora 登录" || { echo "bench-startup: no sign-in dialog" >&2; exit 1; }
    xdotool windowfocus --sync "$(visible_window "Talvora 登录")"
    xdotool type --delay 20 demo
    xdotool key Tab
    xdotool type --delay 20 talvora123
    xdotool key Return
    wait_for 60 signed_in || { echo "bench-startup: the sign-in did not finish" >&2; exit 1; }
    wait_for 30 has_window "Talvora" || { echo "bench-startup: no main window" >&2; exit 1; }
    local window
    window=$(visible_window "Talvora")
    sleep 2
    local shown_kb
    shown_kb=$(rss_kb "$client_pid")
    echo "resident size, main window with 50 meetings: $(awk -v k="$shown_kb" 'BEGIN { printf "%.1f", k / 1024 }') MB (target: at most 60 MB)"

    local ticks_before ticks_after hz
    hz=$(getconf CLK_TCK)
    ticks_before=$(cpu_ticks "$client_pid")
    sleep "$idle_seconds"
    ticks_after=$(cpu_ticks "$client_pid")
    awk -v t=$((ticks_after - ticks_before)) -v hz="$hz" -v s="$idle_seconds" 'BEGIN {
        printf "idle CPU over %d s: %.3f %% (%d ticks of 1/%d s; target: at most 0.1 %%)\n", s, 100 * t / hz / s, t, hz
    }'

    # "我的会议" in the left menu, in window coordinates; a click that lands
    # while a refresh is still running is dropped by the client, so refreshes
    # are counted where they arrive: at the service.
    local before_kb after_kb lists_before done_count
    before_kb=$(rss_kb "$client_pid")
    lists_before=$(list_requests)
    local started=$SECONDS
    xdotool mousemove --window "$window" 85 125
    while :; do
        done_count=$(($(list_requests) - lists_before))
        [ "$done_count" -ge "$refreshes" ] && break
        if [ $((SECONDS - started)) -gt $((refreshes * 2 + 60)) ] || ! kill -0 "$client_pid" 2>/dev/null; then
            echo "bench-startup: only $done_count refreshes reached the service" >&2
            exit 1
        fi
        xdotool click --repeat $(((refreshes - done_count + 1) / 2 + 1)) --delay 30 1
    done
    sleep 2
    after_kb=$(rss_kb "$client_pid")
    awk -v b="$before_kb" -v a="$after_kb" -v n="$done_count" -v s=$((SECONDS - started)) 'BEGIN {
        printf "resident size over %d refreshes (%d s): %.1f MB -> %.1f MB, growth %+.0f kB (target: under 1 MB)\n", n, s, b / 1024, a / 1024, a - b
    }'
}

if [ "$mode" = startup ]; then
    startup
else
    session
fi
