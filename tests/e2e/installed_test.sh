#!/bin/bash
# The installation as a whole: Korvel installed in its real layout (in a throwaway copy of this
# system) brings a real tunnel up and down for its own command line and window, refuses a copy of
# the application, and its uninstaller takes everything away again.
# Usage: installed_test.sh SOURCE_DIR BUILD_DIR
set -u
source_dir=$1 build=$2

# shellcheck source=../../scripts/sandbox.sh
. "$source_dir/scripts/sandbox.sh"
sandbox_enter "$0" "$@"

missing=$(sandbox_missing_prerequisite)
if [ -n "$missing" ]; then
    echo "SKIP: $missing"
    exit 77
fi

work=$(mktemp -d /tmp/korvel-installed-XXXXXX)
trap 'sandbox_down; rm -rf --one-file-system "$work"' EXIT

failures=0
fail() {
    echo "FAIL $1"
    failures=$((failures + 1))
}
stop() {
    echo "FAIL $1"
    for log in daemon devapi window; do
        [ ! -s "$work/$log.log" ] || { echo "-- $log:" && cat "$work/$log.log"; }
    done
    exit 1
}

sandbox_up "$work" "$build"
case $? in
    0) ;;
    77) exit 77 ;;
    *) stop "the sandbox could not be set up" ;;
esac
sandbox_start_display || stop "the virtual display did not start"

root=$sandbox_root
marker=$root/run/wireguard/korvel.name
stored=$root/run/korvel/korvel.conf
interface_exists() {
    ip -n "$client_ns" link show korvel >/dev/null 2>&1
}
# korvel EXPECTED_STATUS ARGUMENTS...: the installed command line; its outputs land in $out and $err.
korvel() {
    local expected=$1 status
    shift
    out=$(sandbox_korvel "$@" 2>"$work/err")
    status=$?
    err=$(cat "$work/err")
    [ "$status" = "$expected" ] || fail "korvel $* exited $status, not $expected; stderr: $err"
}
# Two photographs of the window a moment apart: "same" or "different".
window_changes() {
    sandbox_window_start || { echo "no window" && return; }
    sleep 1
    sandbox_photograph "$work/first.png"
    sleep 1.5
    sandbox_photograph "$work/second.png"
    sandbox_window_stop
    if [ ! -s "$work/first.png" ]; then
        echo "no photograph"
    elif cmp -s "$work/first.png" "$work/second.png"; then
        echo same
    else
        echo different
    fi
}

printf '%s\n' "$sandbox_password" | korvel 0 login "$sandbox_email"
[ "$(window_changes)" = same ] || fail "the signed-in window changes while disconnected and idle"

# The daemon answers the installed application only: a copy elsewhere gets no reply.
cp "$root/opt/korvel/bin/korvel" "$root/usr/local/bin/korvel-copy"
err=$(sandbox_exec timeout 60 /usr/local/bin/korvel-copy connect 2>&1 >/dev/null)
[ "$err" = "The VPN tunnel service is unavailable: the connection closed before the service replied." ] ||
    fail "a copy of the application: '$err'"
{ interface_exists || [ -e "$marker" ]; } && fail "a copy of the application brought the tunnel up"

korvel 0 connect
[ "$(head -n 1 <<<"$out")" = "Tunnel: Protected" ] || fail "connect printed: $out"
interface_exists || fail "connect: no interface korvel"
[ "$(cat "$marker" 2>/dev/null)" = korvel ] || fail "connect: no marker naming the interface"
[ "$(stat -c '%u %a' "$stored" 2>/dev/null)" = "0 600" ] || fail "connect: the configuration is not root's 0600"
tunnel_ping 10.64.0.1 || fail "connect: no ping through the tunnel"
[ "$(window_changes)" = different ] || fail "connected: the window's session time does not count"

korvel 0 disconnect
[ "$(head -n 1 <<<"$out")" = "Tunnel: Not protected" ] || fail "disconnect printed: $out"
interface_exists && fail "disconnect: the interface is still there"
[ -e "$marker" ] && fail "disconnect: the marker is still there"
[ -e "$stored" ] && fail "disconnect: the configuration file is still there"

# The uninstaller, run as root with the tunnel up: it takes the tunnel down itself, since stopping
# the service leaves it up; the person's preferences stay.
korvel 0 connect
korvel 0 settings --auto-connect on
preferences=$root/root/.config/korvel/korvel.conf
[ -s "$preferences" ] || fail "no preferences to keep"
tool="/opt/korvel/Resources/Uninstall Korvel/Uninstall Korvel.tool"
# Without administrator rights (no pkexec here, or no one to grant them) nothing is removed.
said=$(sandbox_exec setpriv --reuid=65534 --regid=65534 --clear-groups "$tool" 2>&1) &&
    fail "the uninstaller succeeded without rights: $said"
[ -x "$root/opt/korvel/bin/korvel" ] && interface_exists || fail "the uninstaller removed something without rights"
said=$(sandbox_exec "$tool" 2>&1)
status=$?
[ "$status" = 0 ] || fail "the uninstaller exited $status: $said"
grep -qx "Took the VPN tunnel down." <<<"$said" || fail "the uninstaller did not say it took the tunnel down: $said"
grep -qx "Korvel is uninstalled." <<<"$said" || fail "the uninstaller did not say it finished: $said"
interface_exists && fail "uninstall: the interface is still there"
[ -e "$marker" ] && fail "uninstall: the marker is still there"
for item in /opt/korvel /usr/bin/korvel /etc/korvel /run/korvel /usr/lib/systemd/system/korvel-tunneld.socket \
    /usr/lib/systemd/system/korvel-tunneld.service /usr/share/applications/korvel.desktop \
    /usr/share/icons/hicolor/scalable/apps/korvel.svg /usr/share/doc/korvel \
    /usr/share/polkit-1/actions/org.korvel.tunnel.control.policy; do
    [ -e "$root$item" ] && fail "uninstall: $item is still there"
done
[ -s "$preferences" ] || fail "uninstall: the preferences are gone"

[ "$failures" = 0 ] || exit 1
echo "installed, connected, pinged, disconnected and uninstalled"
