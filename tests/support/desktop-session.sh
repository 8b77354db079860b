#!/bin/sh
# Runs a command inside a private test desktop and exits with the command's
# status: an Xvfb server on a display no other server holds, a window manager
# that manages the screen before the command starts, a private sound server
# (see the PulseAudio block below) and a D-Bus session bus around the command. Every process the session started is stopped on every
# way out, and a watchdog stops them when this script itself is killed (CTest
# kills only its direct child on a time-out).
#
# A missing tool or a desktop that does not come up fails the command: a test
# that needs the desktop must never pass without one. Nothing but the command
# itself is waited for without a deadline: the servers and the window manager
# each have 10 s to come up, and a process that does not end on TERM is killed.
#
# Usage: desktop-session.sh command [argument...]
set -u

me=desktop-session
setup_failed=70
start_deadline=10

fail() {
    echo "$me: $*" >&2
    exit "$setup_failed"
}

[ $# -gt 0 ] || fail "usage: $0 command [argument...]"
for tool in Xvfb matchbox-window-manager dbus-run-session xprop setsid timeout pulseaudio parec; do
    command -v "$tool" >/dev/null 2>&1 || fail "$tool is missing; scripts/install-deps.sh installs it"
done

workdir=
xvfb_pid=
wm_pid=
pulse_pid=
pulse_keepalive_pid=
command_pid=
watchdog_pid=

read_stat() {
    # $1: a process's stat file under /proc. Sets proc_state and proc_parent;
    # false once the process is gone.
    line=
    read -r line 2>/dev/null <"$1" || return 1
    line=${line##*) }
    proc_state=${line%% *}
    line=${line#* }
    proc_parent=${line%% *}
}

running() {
    # $1: pid of a child of ours. True until it ends. The shell reaps a
    # background child whenever it waits for any command, and pids come round
    # again within a minute on a busy machine, so a pid counts only while it
    # is still our child.
    read_stat "/proc/$1/stat" && [ "$proc_parent" = "$$" ] && [ "$proc_state" != Z ] && [ "$proc_state" != X ]
}

stop() {
    # $1: pid of a child of ours, or empty; $2: what it is. Sends TERM, again
    # every half second: Xvfb misses a TERM that lands just before it goes to
    # sleep, and then sleeps on with no client left to wake it. Kills it after
    # about 5 s and gives up on it after about 10 s rather than block.
    [ -n "$1" ] || return 0
    ticks=0
    while running "$1"; do
        if [ "$ticks" -ge 200 ]; then
            echo "$me: $2 (pid $1) did not end on KILL; leaving it" >&2
            return 0
        elif [ "$ticks" -eq 100 ]; then
            echo "$me: $2 did not end on TERM within 5 s; killing it" >&2
            kill -KILL "$1" 2>/dev/null
        elif [ "$ticks" -lt 100 ] && [ $((ticks % 10)) -eq 0 ]; then
            kill -TERM "$1" 2>/dev/null
        fi
        ticks=$((ticks + 1))
        sleep 0.05
    done
    wait "$1" 2>/dev/null
}

teardown() {
    trap '' INT TERM HUP
    # Whatever the command left behind in its process group goes with it.
    [ -n "$command_pid" ] && kill -KILL "-$command_pid" 2>/dev/null
    stop "$pulse_keepalive_pid" "the sound server's keep-alive recorder"
    stop "$pulse_pid" pulseaudio
    stop "$wm_pid" matchbox-window-manager
    stop "$xvfb_pid" Xvfb
    stop "$watchdog_pid" "the watchdog"
    [ -n "$workdir" ] && rm -rf "$workdir"
}

on_signal() {
    # $1: the signal's name, $2: its number.
    [ -n "$command_pid" ] && kill -"$1" "-$command_pid" 2>/dev/null
    exit $((128 + $2))
}

trap teardown EXIT
trap 'on_signal INT 2' INT
trap 'on_signal TERM 15' TERM
trap 'on_signal HUP 1' HUP

show_log() {
    # $1: what, $2: its log file.
    if [ -s "$2" ]; then
        echo "$me: $1 said:" >&2
        sed 's/^/  /' "$2" >&2
    fi
}

workdir=$(mktemp -d "${TMPDIR:-/tmp}/murmo-desktop.XXXXXX") || fail "no temporary folder"
mkfifo "$workdir/display" || fail "no fifo in $workdir"
: >"$workdir/pids"

# Xvfb picks the first free display itself and writes its number once it
# accepts connections, or closes the pipe when it fails to start. -noreset:
# a server resets when its last client leaves (the window manager probe below
# is one) and drops whoever connects meanwhile.
Xvfb -displayfd 3 -nolisten tcp -noreset -screen 0 1280x800x24 3>"$workdir/display" </dev/null >"$workdir/xvfb.log" 2>&1 &
xvfb_pid=$!
display=$(timeout "$start_deadline" head -n 1 "$workdir/display")
if [ -z "$display" ]; then
    show_log Xvfb "$workdir/xvfb.log"
    running "$xvfb_pid" && fail "Xvfb did not announce a display within $start_deadline s"
    fail "Xvfb did not start"
fi

DISPLAY=":$display"
export DISPLAY
# The tests' desktop is this server alone, never the developer's Wayland session.
unset WAYLAND_DISPLAY
# GTK's GL renderers do not work under Xvfb.
GSK_RENDERER=cairo
export GSK_RENDERER

# Stops what the session started when this script dies without running its
# traps (its own parent then changes): the pids it names in $workdir/pids (the
# sound server and its keep-alive recorder, the window manager, the command's
# process group as a negative number), then the X server.
parent=$$
(
    trap '' INT HUP
    while read_stat /proc/self/stat && [ "$proc_parent" = "$parent" ]; do sleep 1; done
    while read -r pid; do kill -KILL "$pid"; done <"$workdir/pids"
    kill -KILL "$xvfb_pid"
    rm -rf "$workdir"
) </dev/null >/dev/null 2>&1 &
watchdog_pid=$!

# --- PulseAudio -------------------------------------------------------------
# A sound server private to the session, its socket named by PULSE_SERVER:
#   speakers    a null sink, the default sink;
#   mic_mix     a null sink tests play a voice into (paplay -d mic_mix ...);
#   microphone  the default source, a real source (not a monitor) remapped from
#               mic_mix's monitor, so it hears what tests play into mic_mix and,
#               through a loopback of the speakers' monitor, whatever is played
#               on the speakers: a cue echoes into the microphone as in a room.
# The server starts here and comes up while the window manager does; the
# command starts only once its socket exists. An idle null sink renders in
# 2 s blocks, so a recorder stays on mic_mix's monitor for the whole session
# to keep the microphone's chain running in short blocks.
pulse_dir="$workdir/pulse"
pulse_socket="$pulse_dir/native"
start_pulse() {
    mkdir -p "$pulse_dir/home" "$pulse_dir/runtime" || fail "no folder for the sound server in $workdir"
    cat >"$pulse_dir/server.pa" <<PA || fail "cannot write the sound server's configuration"
.fail
load-module module-native-protocol-unix socket=$pulse_socket auth-anonymous=1
load-module module-null-sink sink_name=speakers rate=48000 channels=2 sink_properties=device.description=Speakers
load-module module-null-sink sink_name=mic_mix rate=48000 channels=1 format=float32le sink_properties=device.description=Microphone-mix
load-module module-remap-source source_name=microphone master=mic_mix.monitor rate=48000 channels=1 format=float32le source_properties=device.description=Microphone
load-module module-loopback source=speakers.monitor sink=mic_mix latency_msec=20 source_dont_move=true sink_dont_move=true
set-default-sink speakers
set-default-source microphone
PA
    HOME="$pulse_dir/home" XDG_RUNTIME_DIR="$pulse_dir/runtime" setsid pulseaudio -n -F "$pulse_dir/server.pa" \
        --daemonize=no --exit-idle-time=-1 --system=false --use-pid-file=no --disallow-exit \
        --realtime=no --high-priority=no --log-target=stderr </dev/null >"$pulse_dir/log" 2>&1 &
    pulse_pid=$!
    echo "$pulse_pid" >>"$workdir/pids"
    PULSE_SERVER="unix:$pulse_socket"
    # For benchmarks that weigh what the server spends.
    MURMO_TEST_PULSE_PID=$pulse_pid
    export PULSE_SERVER MURMO_TEST_PULSE_PID
}

wait_for_pulse() {
    # The server listens once its socket exists and answers clients once its
    # configuration is loaded; a failing module ends it (.fail above).
    deadline=$(($(date +%s) + start_deadline))
    until [ -S "$pulse_socket" ]; do
        if ! running "$pulse_pid"; then
            show_log pulseaudio "$pulse_dir/log"
            fail "pulseaudio exited"
        fi
        if [ "$(date +%s)" -ge "$deadline" ]; then
            show_log pulseaudio "$pulse_dir/log"
            fail "pulseaudio did not open its socket within $start_deadline s"
        fi
        sleep 0.01
    done
    setsid parec -d mic_mix.monitor --latency-msec=20 </dev/null >/dev/null 2>"$pulse_dir/keepalive.log" &
    pulse_keepalive_pid=$!
    echo "$pulse_keepalive_pid" >>"$workdir/pids"
}
# --- end of the PulseAudio block ---------------------------------------------

start_pulse

matchbox-window-manager -use_titlebar no </dev/null >"$workdir/wm.log" 2>&1 &
wm_pid=$!
echo "$wm_pid" >>"$workdir/pids"
# The window manager manages the screen once it has published its check
# window. A probe gets 2 s: a server that stops answering must not hold it.
deadline=$(($(date +%s) + start_deadline))
until timeout 2 xprop -root -notype _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; do
    if ! running "$wm_pid"; then
        show_log matchbox-window-manager "$workdir/wm.log"
        show_log Xvfb "$workdir/xvfb.log"
        fail "the window manager exited on display $DISPLAY"
    fi
    if [ "$(date +%s)" -ge "$deadline" ]; then
        show_log matchbox-window-manager "$workdir/wm.log"
        show_log Xvfb "$workdir/xvfb.log"
        fail "the window manager did not manage the screen on display $DISPLAY within $start_deadline s"
    fi
    sleep 0.01
done

wait_for_pulse

# The command leads a process group of its own, so a signal and the teardown
# reach everything it started. Its standard input is this script's.
exec 4<&0
setsid dbus-run-session -- "$@" <&4 4<&- &
command_pid=$!
echo "-$command_pid" >>"$workdir/pids"
exec 4<&-
wait "$command_pid"
status=$?
exit "$status"
