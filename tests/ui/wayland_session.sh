#!/bin/sh
# wayland_session.sh DIR PROGRAM [ARGS...]
# Runs PROGRAM inside a headless sway session of its own with the desktop portal (front end, the
# wlroots back end, pipewire) on a private session bus. DIR holds sway.conf, portals/ and
# fake_access.py and receives the logs; its run/ folder is the session's XDG_RUNTIME_DIR.
# Exit code: PROGRAM's, or 77 when the session cannot be had here (the reason on stdout).
set -u
if [ "${1:-}" != --inside ]; then
    dir=$1
    export XDG_RUNTIME_DIR="$dir/run" XDG_CURRENT_DESKTOP=sway XDG_SESSION_TYPE=wayland
    export WLR_BACKENDS=headless WLR_RENDERER=pixman WLR_LIBINPUT_NO_DEVICES=1
    mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR" || exit 77
    exec dbus-run-session -- sh "$0" --inside "$@"
fi
shift
dir=$1
shift
pids=""
trap 'kill $pids 2>/dev/null' EXIT
trap 'exit 1' INT TERM
unavailable() {
    echo "wayland session unavailable: $1"
    tail -n 20 "$dir"/*.log 2>/dev/null
    exit 77
}
# Up to $1 tenths of a second for a command to succeed.
within() {
    n=$1
    shift
    i=0
    while [ $i -lt "$n" ]; do
        "$@" >/dev/null 2>&1 && return 0
        sleep 0.1
        i=$((i + 1))
    done
    return 1
}
socket() {
    for s in "$XDG_RUNTIME_DIR"/wayland-*; do
        case $s in *.lock) ;; *) [ -S "$s" ] && basename "$s" && return 0 ;; esac
    done
    return 1
}

sway -c "$dir/sway.conf" >"$dir/sway.log" 2>&1 &
pids="$pids $!"
within 100 socket || unavailable "sway did not start"
WAYLAND_DISPLAY=$(socket)
export WAYLAND_DISPLAY

pipewire >"$dir/pipewire.log" 2>&1 &
pids="$pids $!"
within 100 test -S "$XDG_RUNTIME_DIR/pipewire-0" || unavailable "pipewire did not start"
# Portals started by the bus on demand see the session too, and the test's portal folder.
export XDG_DESKTOP_PORTAL_DIR="$dir/portals"
dbus-update-activation-environment WAYLAND_DISPLAY XDG_CURRENT_DESKTOP XDG_SESSION_TYPE \
    XDG_RUNTIME_DIR XDG_DESKTOP_PORTAL_DIR ||
    unavailable "the activation environment could not be updated"

/usr/libexec/xdg-desktop-portal-wlr >"$dir/portal-wlr.log" 2>&1 &
pids="$pids $!"
# The front end offers screenshots only with an Access back end; this one always allows.
/usr/bin/python3 "$dir/fake_access.py" >"$dir/access.log" 2>&1 &
pids="$pids $!"
within 100 grep -q ready "$dir/access.log" || unavailable "the access stand-in did not start"
/usr/libexec/xdg-desktop-portal -v >"$dir/portal.log" 2>&1 &
pids="$pids $!"
within 300 gdbus call --session --dest org.freedesktop.portal.Desktop \
    --object-path /org/freedesktop/portal/desktop \
    --method org.freedesktop.DBus.Properties.Get org.freedesktop.portal.Screenshot version ||
    unavailable "no Screenshot portal"
# The background is drawn once a pixel of it is no longer black.
painted() {
    [ "$(grim -g "1,1 1x1" -t ppm - | tail -c 3 | od -An -tx1 | tr -d ' \n')" != 000000 ]
}
within 100 painted || unavailable "sway's background was never drawn"

timeout -k 5 60 "$@"
