#!/bin/sh
# A private sound server with one null sink, for the real-output test.
#   null_sink.sh start RUNTIME_DIR SINK_NAME   (exit 0 once the server answers)
#   null_sink.sh stop RUNTIME_DIR
# -n and explicit modules: the default set adds suspend-on-idle and volume
# restore, which make level checks flaky. A server left behind by a crashed
# test exits once it has had no client for half a minute.
set -eu
command=$1
dir=$2
export XDG_RUNTIME_DIR="$dir" HOME="$dir" PULSE_RUNTIME_PATH="$dir/pulse"
case "$command" in
start)
    sink=$3
    mkdir -p "$dir/pulse"
    chmod 700 "$dir" "$dir/pulse"
    pulseaudio --system=false --daemonize=yes --exit-idle-time=30 -n \
        --use-pid-file=yes --log-target="file:$dir/pulse.log" \
        --load="module-null-sink sink_name=$sink rate=48000 channels=2" \
        --load="module-native-protocol-unix" >"$dir/start.log" 2>&1 || {
        cat "$dir/start.log" "$dir/pulse.log" 2>/dev/null >&2
        exit 1
    }
    for _ in $(seq 100); do
        [ -S "$dir/pulse/native" ] && exit 0
        sleep 0.05
    done
    echo "no server socket in $dir/pulse" >&2
    exit 1
    ;;
stop)
    [ -f "$dir/pulse/pid" ] && kill "$(cat "$dir/pulse/pid")" 2>/dev/null || true
    ;;
esac
