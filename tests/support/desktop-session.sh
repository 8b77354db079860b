#!/bin/sh
# Runs a command inside a private test desktop and exits with the command's
# status: an Xvfb server on a display no other server holds, a window manager
# that manages the screen before the command starts, and a D-Bus session bus
# around the command. Every process the session started is stopped on every
# way out, and a watchdog stops them when this script itself is killed (CTest
# kills only its direct child on a time-out).
#
# A missing tool or a desktop that does not come up fails the command: a test
# that needs the desktop must never pass without one.
#
# Usage: desktop-session.sh command [argument...]
set -u

me=desktop-session
setup_failed=70

fail() {
    echo "$me: $*" >&2
    exit "$setup_failed"
}

[ $# -gt 0 ] || fail "usage: $0 command [argument...]"
for tool in Xvfb matchbox-window-manager dbus-run-session xprop setsid; do
    command -v "$tool" >/dev/null 2>&1 || fail "$tool is missing; scripts/install-deps.sh installs it"
done

workdir=
xvfb_pid=
wm_pid=
command_pid=
watchdog_pid=

stop() {
    # $1: pid of a child of ours, or empty.
    [ -n "$1" ] || return 0
    kill -TERM "$1" 2>/dev/null
    wait "$1" 2>/dev/null
}

teardown() {
    trap '' INT TERM HUP
    # Whatever the command left behind in its process group goes with it.
    [ -n "$command_pid" ] && kill -KILL "-$command_pid" 2>/dev/null
    stop "$wm_pid"
    stop "$xvfb_pid"
    stop "$watchdog_pid"
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
display=
read -r display <"$workdir/display"
if [ -z "$display" ]; then
    show_log Xvfb "$workdir/xvfb.log"
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
# traps: the pids it names in $workdir/pids (the window manager, the
# command's process group as a negative number), then the server.
parent=$$
(
    trap '' INT HUP
    while kill -0 "$parent" 2>/dev/null; do sleep 1; done
    while read -r pid; do kill -KILL "$pid"; done <"$workdir/pids"
    kill -KILL "$xvfb_pid"
    rm -rf "$workdir"
) </dev/null >/dev/null 2>&1 &
watchdog_pid=$!

matchbox-window-manager -use_titlebar no </dev/null >"$workdir/wm.log" 2>&1 &
wm_pid=$!
echo "$wm_pid" >>"$workdir/pids"
# The window manager manages the screen once it has published its check window.
waited=0
until xprop -root -notype _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; do
    if ! kill -0 "$wm_pid" 2>/dev/null; then
        show_log matchbox-window-manager "$workdir/wm.log"
        show_log Xvfb "$workdir/xvfb.log"
        fail "the window manager exited on display $DISPLAY"
    fi
    waited=$((waited + 1))
    if [ "$waited" -gt 1000 ]; then
        show_log matchbox-window-manager "$workdir/wm.log"
        fail "the window manager did not manage the screen within 10 s"
    fi
    sleep 0.01
done

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
