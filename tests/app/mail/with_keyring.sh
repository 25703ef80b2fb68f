#!/bin/sh
# Runs a command on a private session bus with a private, unlocked keyring in a temporary home,
# so tests of the secret service never touch the user's own. Exits 77 (test skipped) when the
# bus or the keyring daemon is not installed or the keyring does not come up.
if ! command -v dbus-run-session >/dev/null || ! command -v gnome-keyring-daemon >/dev/null ||
    ! command -v dbus-send >/dev/null; then
    echo "skipped: dbus-run-session, dbus-send or gnome-keyring-daemon is not installed"
    exit 77
fi
if [ -z "$MIRELDO_KEYRING_INNER" ]; then
    home=$(mktemp -d) || exit 1
    mkdir -p "$home/run" && chmod 700 "$home/run"
    HOME=$home XDG_DATA_HOME=$home/data XDG_RUNTIME_DIR=$home/run MIRELDO_KEYRING_INNER=1 \
        dbus-run-session -- "$0" "$@"
    rc=$?
    rm -rf "$home"
    exit $rc
fi
printf 'keyring password' |
    gnome-keyring-daemon --foreground --unlock --components=secrets >/dev/null 2>&1 &
daemon=$!
tries=0
until dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
    org.freedesktop.DBus.NameHasOwner string:org.freedesktop.secrets 2>/dev/null |
    grep -q 'boolean true'; do
    tries=$((tries + 1))
    if [ $tries -ge 100 ]; then
        kill "$daemon" 2>/dev/null
        echo "skipped: the keyring daemon did not appear on the session bus within 10 s"
        exit 77
    fi
    sleep 0.1
done
"$@"
rc=$?
kill "$daemon" 2>/dev/null
wait "$daemon" 2>/dev/null
exit $rc
