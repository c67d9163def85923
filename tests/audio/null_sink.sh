#!/bin/sh
# A private sound server with one null sink, for the real-output tests.
#   null_sink.sh start RUNTIME_DIR SINK_NAME [pulseaudio|pipewire]
#       (exit 0 once the server answers with the sink as its default)
#   null_sink.sh stop RUNTIME_DIR     (SIGKILL, as a crash would)
# PulseAudio: -n and explicit modules: the default set adds suspend-on-idle
# and volume restore, which make level checks flaky; high priority and
# realtime threads, as a desktop's server has them, or a loaded machine starves
# the server itself and every client underruns. PipeWire: its session
# manager needs a session bus, so one is started beside it. Servers left behind
# by a crashed test: PulseAudio exits after half a minute without a client.
set -eu
command=$1
dir=$2
export XDG_RUNTIME_DIR="$dir" HOME="$dir" PULSE_RUNTIME_PATH="$dir/pulse" \
    XDG_CONFIG_HOME="$dir/config" XDG_STATE_HOME="$dir/state" PULSE_SERVER="unix:$dir/pulse/native"
case "$command" in
start)
    sink=$3
    server=${4:-pulseaudio}
    mkdir -p "$dir/pulse"
    chmod 700 "$dir" "$dir/pulse"
    : >"$dir/pids"
    if [ "$server" = pipewire ]; then
        bus=$(timeout 10 dbus-daemon --session --fork --print-address=1 --print-pid=1)
        echo "$bus" | sed -n 2p >>"$dir/pids"
        export DBUS_SESSION_BUS_ADDRESS="$(echo "$bus" | sed -n 1p)"
        # The session manager gives up at once if PipeWire is not there yet,
        # and without it the null sink never becomes the default; a killed
        # server's socket is left behind, so it is no sign of the new one.
        rm -f "$dir/pipewire-0"
        for program in pipewire wireplumber pipewire-pulse; do
            "$program" >"$dir/$program.log" 2>&1 &
            echo $! >>"$dir/pids"
            [ "$program" != wireplumber ] || manager=$!
            for _ in $(seq 200); do
                [ "$program" != pipewire ] || [ -S "$dir/pipewire-0" ] && break
                sleep 0.05
            done
        done
    else
        pulseaudio --system=false --daemonize=yes --exit-idle-time=30 -n --realtime=yes --high-priority=yes \
            --use-pid-file=yes --log-target="file:$dir/pulse.log" \
            --load="module-null-sink sink_name=$sink rate=48000 channels=2" \
            --load="module-native-protocol-unix" >"$dir/start.log" 2>&1 || {
            cat "$dir/start.log" "$dir/pulse.log" 2>/dev/null
            exit 1
        }
    fi
    # A server still starting may take a client and never answer it: each
    # question is given 2 s and asked again, for 20 s in all. A session
    # manager that exited anyway is started again. What went wrong goes to
    # stdout, which the tests show.
    end=$(($(date +%s) + 20))
    while [ "$(date +%s)" -lt "$end" ]; do
        if [ "$server" = pipewire ] && ! ps -o stat= -p "$manager" | grep -qv Z; then
            echo "wireplumber had exited; started again" >>"$dir/wireplumber.log"
            wireplumber >>"$dir/wireplumber.log" 2>&1 &
            manager=$!
            echo $manager >>"$dir/pids"
        fi
        if [ -S "$dir/pulse/native" ] && timeout 2 pactl info >/dev/null 2>&1; then
            if [ "$server" = pipewire ] && ! timeout 2 pactl list short sinks | grep -q "$sink"; then
                timeout 2 pactl load-module module-null-sink sink_name="$sink" rate=48000 \
                    channels=2 >/dev/null 2>&1 || true
            fi
            timeout 2 pactl set-default-sink "$sink" >/dev/null 2>&1 || true
            timeout 2 pactl info 2>/dev/null | grep -q "Default Sink: $sink\$" && exit 0
        fi
        sleep 0.05
    done
    echo "no $server server with sink $sink in $dir after 20 s"
    timeout 2 pactl info 2>&1 || true
    ps -o pid,stat,etime,args -p "$(paste -sd, "$dir/pids")" 2>&1 || true
    for log in "$dir"/*.log; do
        echo "--- $log"
        cat "$log"
    done
    exit 1
    ;;
stop)
    [ -f "$dir/pulse/pid" ] && kill -9 "$(cat "$dir/pulse/pid")" 2>/dev/null || true
    if [ -f "$dir/pids" ]; then
        for pid in $(cat "$dir/pids"); do kill -9 "$pid" 2>/dev/null || true; done
        rm -f "$dir/pids"
    fi
    rm -rf "$dir/pulse"
    ;;
esac
