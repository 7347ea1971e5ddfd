#!/usr/bin/env bash
# Runs a test binary against one kind of secret store, in a throwaway home and a private session bus:
#   keyring    a real gnome-keyring-daemon with an unlocked login keyring
#   no-bus     no session bus at all
#   no-daemon  a session bus on which nothing provides the secret service
#   hung       a session bus on which the secret service name belongs to a peer that never answers
# Usage: keychain_session.sh MODE COMMAND [ARGUMENT...]
set -euo pipefail

mode=$1
shift

root=$(mktemp -d /tmp/korvel-keychain-XXXXXX)
trap 'rm -rf "$root"' EXIT

# Nothing from the caller's desktop may leak in: QtKeychain picks its backend from these.
unset DISPLAY WAYLAND_DISPLAY XDG_CURRENT_DESKTOP DESKTOP_SESSION GNOME_DESKTOP_SESSION_ID \
    KDE_FULL_SESSION KDE_SESSION_VERSION DBUS_SESSION_BUS_ADDRESS GNOME_KEYRING_CONTROL
export HOME=$root/home
export XDG_DATA_HOME=$HOME/.local/share XDG_CONFIG_HOME=$HOME/.config XDG_CACHE_HOME=$HOME/.cache
export XDG_RUNTIME_DIR=$root/run
mkdir -p "$HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
export KORVEL_KEYCHAIN_SCENARIO=$mode KORVEL_KEYCHAIN_ROOT=$root

# No service directories, so nothing is started on demand behind the test's back.
cat >"$root/bus.conf" <<'CONF'
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:tmpdir=/tmp</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
CONF

if [ "$mode" = no-bus ]; then
    "$@"
    exit
fi

case $mode in
keyring | no-daemon | hung) ;;
*)
    echo "unknown mode: $mode" >&2
    exit 2
    ;;
esac

# Inside the session: start the secret service for the mode, wait until it owns its name, run the test.
inner() {
    local mode=$1 helper
    shift
    case $mode in
    keyring)
        # A password, so the keyring file is encrypted (an empty one stores it in the clear).
        printf '%s' korvel-test-password |
            gnome-keyring-daemon --foreground --unlock --components=secrets >/dev/null &
        helper=$!
        ;;
    hung)
        dbus-test-tool black-hole --session --name=org.freedesktop.secrets --no-read &
        helper=$!
        ;;
    no-daemon)
        "$@"
        return
        ;;
    esac
    local owned=false
    for _ in $(seq 100); do
        if dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
            org.freedesktop.DBus.NameHasOwner string:org.freedesktop.secrets 2>/dev/null | grep -q true; then
            owned=true
            break
        fi
        sleep 0.1
    done
    if [ $owned = false ]; then
        echo "the secret service did not appear on the session bus" >&2
        kill "$helper" 2>/dev/null || true
        return 1
    fi
    export KORVEL_KEYCHAIN_HELPER_PID=$helper
    local status=0
    "$@" || status=$?
    kill "$helper" 2>/dev/null || true
    wait "$helper" 2>/dev/null || true
    return $status
}
export -f inner
dbus-run-session --config-file="$root/bus.conf" -- bash -c 'inner "$@"' inner "$mode" "$@"
