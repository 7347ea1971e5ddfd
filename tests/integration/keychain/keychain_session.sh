#!/usr/bin/env bash
# Runs a command against one kind of secret store, in a throwaway home and a private session bus:
#   keyring    a real gnome-keyring-daemon with an unlocked login keyring
#   no-daemon  a session bus on which nothing provides the secret service
#   hung       a session bus on which the secret service name belongs to a peer that never answers
# Usage: keychain_session.sh MODE COMMAND [ARGUMENT...]
# The command sees KORVEL_KEYCHAIN_SCENARIO (the mode) and, for keyring and hung,
# KORVEL_KEYCHAIN_HELPER_PID (the secret service's process).
set -euo pipefail

mode=$1
shift
case $mode in
keyring | no-daemon | hung) ;;
*) echo "unknown mode: $mode" >&2 && exit 2 ;;
esac

root=$(mktemp -d /tmp/korvel-keychain-XXXXXX)
trap 'rm -rf "$root"' EXIT

# Nothing from the caller's desktop may leak in: QtKeychain picks its backend from these.
unset DISPLAY WAYLAND_DISPLAY XDG_CURRENT_DESKTOP DESKTOP_SESSION GNOME_DESKTOP_SESSION_ID \
    KDE_FULL_SESSION KDE_SESSION_VERSION DBUS_SESSION_BUS_ADDRESS GNOME_KEYRING_CONTROL
export HOME=$root/home XDG_RUNTIME_DIR=$root/run KORVEL_KEYCHAIN_SCENARIO=$mode
export XDG_DATA_HOME=$HOME/.local/share XDG_CONFIG_HOME=$HOME/.config XDG_CACHE_HOME=$HOME/.cache
mkdir -p "$HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"

# A bus without service directories, so nothing is started on demand behind the test's back.
echo '<busconfig><type>session</type><listen>unix:tmpdir=/tmp</listen><auth>EXTERNAL</auth>
<policy context="default"><allow send_destination="*" eavesdrop="true"/><allow eavesdrop="true"/>
<allow own="*"/></policy></busconfig>' >"$root/bus.conf"

# Inside the session: start the secret service, wait until it owns its name, run the command.
inner() {
    local mode=$1
    shift
    case $mode in
    no-daemon) exec "$@" ;;
    # A password, so the keyring file is encrypted (an empty one stores it in the clear).
    keyring) printf korvel-test-password | gnome-keyring-daemon --foreground --unlock --components=secrets \
        >/dev/null & ;;
    hung) dbus-test-tool black-hole --session --name=org.freedesktop.secrets --no-read & ;;
    esac
    export KORVEL_KEYCHAIN_HELPER_PID=$!
    trap 'kill $KORVEL_KEYCHAIN_HELPER_PID 2>/dev/null; wait $KORVEL_KEYCHAIN_HELPER_PID 2>/dev/null' EXIT
    for _ in $(seq 100); do
        if dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
            org.freedesktop.DBus.NameHasOwner string:org.freedesktop.secrets 2>/dev/null | grep -q true; then
            "$@"
            return
        fi
        sleep 0.1
    done
    echo "the secret service did not appear on the session bus" >&2
    return 1
}
export -f inner
dbus-run-session --config-file="$root/bus.conf" -- bash -c 'inner "$@"' inner "$mode" "$@"
