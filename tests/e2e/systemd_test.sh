#!/bin/bash
# The Debian package's whole life on a booted systemd. The package is clean (lintian, hardening, the
# desktop entry); in a container over a throwaway copy of this system it installs offline, and an
# ordinary user's korvel starts the hardened service through its socket, which brings a real tunnel
# up and down; a copy of the application gets no answer; polkit lets that user switch the tunnel and
# turns another away; the tunnel survives a restart of the service and an upgrade; removal takes it
# down and restores the resolver; a purge and the uninstaller each leave nothing behind but the
# person's preferences, and the uninstaller does nothing for someone without administrator rights.
# Usage: systemd_test.sh SOURCE_DIR BUILD_DIR
set -u
source_dir=$1 build=$2

# shellcheck source=../../scripts/container.sh
. "$source_dir/scripts/container.sh"
sandbox_enter "$0" "$@"

failures=0
fail() {
    echo "FAIL $1"
    failures=$((failures + 1))
}
for tool in cpack:cmake lintian:lintian desktop-file-validate:desktop-file-utils dpkg-shlibdeps:dpkg-dev; do
    command -v "${tool%%:*}" >/dev/null || { echo "SKIP: ${tool%%:*} is missing (package ${tool#*:})" && exit 77; }
done

work=$(mktemp -d /tmp/korvel-systemd-XXXXXX)
trap 'container_down; rm -rf --one-file-system "$work"' EXIT
trap 'exit 130' INT TERM

desktop-file-validate "$build/dist/korvel.desktop" || fail "desktop-file-validate rejects the desktop entry"
cpack --config "$build/CPackConfig.cmake" -G DEB -B "$work/out" >"$work/cpack.log" 2>&1 ||
    { cat "$work/cpack.log" && exit 1; }
deb=$(find "$work/out" -maxdepth 1 -name 'korvel_*.deb')
[ -f "$deb" ] || { echo "FAIL cpack made no package" && cat "$work/cpack.log" && exit 1; }
lintian --fail-on error --display-info "$deb" >"$work/lintian.log" 2>&1 || fail "lintian finds errors"
grep -q hardening "$work/lintian.log" && fail "lintian finds programs built without hardening"
[ "$failures" = 0 ] || { cat "$work/lintian.log" && exit 1; }

missing=$(container_missing_prerequisite)
if [ -n "$missing" ]; then
    echo "SKIP: $missing"
    exit 77
fi

stop() {
    echo "FAIL $1"
    for log in container devapi; do
        [ ! -s "$work/$log.log" ] || { echo "-- $log:" && tail -n 20 "$work/$log.log"; }
    done
    container_exec journalctl --no-pager -u korvel-tunneld.service 2>/dev/null | tail -n 30
    exit 1
}
# The same package, rebuilt with a later version: an upgrade replaces every file.
dpkg-deb -R "$deb" "$work/rebuilt" && sed -i 's/^Version: .*/&+rebuilt1/' "$work/rebuilt/DEBIAN/control" &&
    dpkg-deb -b "$work/rebuilt" "$work/korvel_rebuilt.deb" >/dev/null || stop "the package could not be rebuilt"

started=$(date +%s)
container_up "$work" "$build"
case $? in
    0) ;;
    77) exit 77 ;;
    *) stop "the container did not come up" ;;
esac
echo "booted in $(($(date +%s) - started)) s"
root=$sandbox_root
mkdir -p "$root/var/cache/e2e"
cp "$deb" "$root/var/cache/e2e/korvel.deb" && cp "$work/korvel_rebuilt.deb" "$root/var/cache/e2e/" || stop "copy"
# A local rule lets alice switch the tunnel; bob gets the action's defaults, which need an administrator.
cat >"$root/etc/polkit-1/rules.d/50-e2e.rules" <<'EOF'
polkit.addRule(function(action, subject) {
    if (action.id == "org.korvel.tunnel.control" && subject.user == "alice") {
        return polkit.Result.YES;
    }
});
EOF
container_add_user alice && container_add_user bob || stop "the users could not be set up"

resolver() { container_exec sed -n 's/^nameserver //p' /etc/resolv.conf | tr '\n' ' '; }
interface_exists() { ip -n "$client_ns" link show korvel >/dev/null 2>&1; }
unit_state() { container_exec systemctl is-active "$1"; }
# korvel USER EXPECTED_STATUS ARGUMENTS...: the installed command, found on PATH; outputs in $out, $err.
korvel() {
    local user=$1 expected=$2 status
    shift 2
    out=$(container_as "$user" timeout 60 korvel "$@" 2>"$work/err")
    status=$?
    err=$(cat "$work/err")
    [ "$status" = "$expected" ] || fail "korvel $* as $user exited $status, not $expected; stderr: $err"
}
install_package() {
    container_exec apt-get install -y --no-install-recommends "/var/cache/e2e/$1" >"$work/apt.log" 2>&1 ||
        stop "apt install $1: $(cat "$work/apt.log")"
}
# Nothing of Korvel anywhere in the container's files, its runtime folders and systemd's records.
nothing_left() {
    local left
    # What the container wrote lies in the overlay's upper layer (a deleted file leaves a character
    # device there), the rest in its /run; the test's own files are set aside.
    left=$({
        find "$sandbox_work/layers/upper" -name '*korvel*' ! -type c -printf '/%P\n'
        container_exec find /run -name '*korvel*'
    } | grep -v -e '^/var/cache/e2e/' -e 'korvel-sandbox')
    [ -z "$left" ] || fail "$1 left: $(tr '\n' ' ' <<<"$left")"
    interface_exists && fail "$1: the interface is still there"
    [ "$(resolver)" = "10.99.0.1 " ] || fail "$1: the resolver names $(resolver)"
}
tunnel_is_up() { # WHEN
    interface_exists || fail "$1: no interface korvel"
    tunnel_ping 10.64.0.1 || fail "$1: no ping through the tunnel"
}

install_package korvel.deb
[ "$(unit_state korvel-tunneld.socket)" = active ] || fail "install: the socket is not listening"
[ "$(unit_state korvel-tunneld.service)" = inactive ] || fail "install: the service runs before anyone asked"
# An administrator's API address, which the upgrade below must keep.
echo "KorvelApiBase=$sandbox_api" >>"$root/etc/korvel/korvel.conf"

printf 'korvel-demo\n' | korvel alice 0 login "$sandbox_email"
# The service answers the installed application only: a copy elsewhere gets no reply.
container_exec cp /opt/korvel/bin/korvel /usr/local/bin/copy
err=$(container_as alice timeout 60 /usr/local/bin/copy connect 2>&1 >/dev/null)
[ "$err" = "The VPN tunnel service is unavailable: the connection closed before the service replied." ] ||
    fail "a copy of the application was told: '$err'"
interface_exists && fail "a copy of the application brought the tunnel up"
container_exec rm /usr/local/bin/copy

korvel alice 0 connect
[ "$(head -n 1 <<<"$out")" = "Tunnel: Protected" ] || fail "connect printed: $out"
echo "connected $(($(date +%s) - started)) s after the container started to boot"
[ "$(unit_state korvel-tunneld.service)" = active ] || fail "connect: the socket did not start the service"
tunnel_is_up connect
[ "$(container_as alice cat /run/wireguard/korvel.name)" = korvel ] || fail "connect: alice cannot read the marker"
[ "$(resolver)" = "10.64.0.1 " ] || fail "connect: the resolver names $(resolver), not the tunnel's"
[ "$(container_exec stat -c '%u %a' /run/korvel/korvel.conf)" = "0 600" ] ||
    fail "connect: the stored configuration is not root's alone"

korvel bob 1 disconnect
[ "$err" = "You are not allowed to turn the VPN on or off on this computer." ] || fail "bob was told: $err"
interface_exists || fail "bob took the tunnel down"

container_exec systemctl restart korvel-tunneld.service
tunnel_is_up "service restarted"
korvel alice 0 status
[ "$(head -n 1 <<<"$out")" = "Tunnel: Protected" ] || fail "status after the restart: $out"

korvel alice 0 disconnect
[ "$(head -n 1 <<<"$out")" = "Tunnel: Not protected" ] || fail "disconnect printed: $out"
interface_exists && fail "disconnect: the interface is still there"
for file in /run/wireguard/korvel.name /run/korvel/korvel.conf; do
    container_exec test -e "$file" && fail "disconnect: $file is still there"
done
[ "$(resolver)" = "10.99.0.1 " ] || fail "disconnect: the resolver names $(resolver)"
korvel alice 0 connect

# An upgrade while alice's korvel runs: it started before the files changed, and is held there (its API
# server paused, then the process itself) until the upgrade is done.
kill -STOP "$sandbox_devapi_pid"
container_as alice timeout 120 korvel disconnect >"$work/old.out" 2>"$work/old.err" &
old=$!
for _ in $(seq 600); do
    [ -n "$(ip netns exec "$client_ns" ss -Htn state established dst 10.99.0.1)" ] && break
    sleep 0.1
done
old_pid=$(pgrep -u "$(container_exec id -u alice)" -x korvel) || stop "alice's korvel did not start"
kill -STOP "$old_pid"
kill -CONT "$sandbox_devapi_pid"
install_package korvel_rebuilt.deb
tunnel_is_up upgrade
grep -qx "KorvelApiBase=$sandbox_api" "$root/etc/korvel/korvel.conf" || fail "upgrade: the API address is gone"
kill -CONT "$old_pid"
wait "$old"
grep -qx "Korvel has been updated. Quit Korvel and open it again." "$work/old.err" ||
    fail "the korvel started before the upgrade said: $(cat "$work/old.err")"
interface_exists || fail "the korvel started before the upgrade took the tunnel down"

container_exec apt-get remove -y korvel >"$work/apt.log" 2>&1 || fail "apt remove: $(cat "$work/apt.log")"
interface_exists && fail "remove: the interface is still there"
[ "$(resolver)" = "10.99.0.1 " ] || fail "remove: the resolver names $(resolver)"
[ -e "$root/etc/korvel/korvel.conf" ] || fail "remove: the administrator's settings are gone"
container_exec apt-get purge -y korvel >"$work/apt.log" 2>&1 || fail "apt purge: $(cat "$work/apt.log")"
nothing_left purge

install_package korvel.deb
echo "KorvelApiBase=$sandbox_api" >>"$root/etc/korvel/korvel.conf"
korvel alice 0 connect
tunnel_is_up "second installation"
korvel alice 0 settings --auto-connect on
preferences=/home/alice/.config/korvel/korvel.conf
container_exec test -s "$preferences" || fail "alice has no preferences to keep"
uninstaller="/opt/korvel/Resources/Uninstall Korvel/Uninstall Korvel.tool"
said=$(container_as bob "$uninstaller" 2>&1) && fail "the uninstaller did what bob asked: $said"
container_exec test -x /opt/korvel/bin/korvel && interface_exists || fail "bob's uninstaller removed something"
said=$(container_exec "$uninstaller" 2>&1) || fail "the uninstaller failed: $said"
grep -qx "Took the VPN tunnel down." <<<"$said" || fail "the uninstaller did not take the tunnel down: $said"
grep -qx "Removed the package korvel." <<<"$said" || fail "the uninstaller did not remove the package: $said"
nothing_left uninstaller
container_exec test -s "$preferences" || fail "the uninstaller took alice's preferences"

[ "$failures" = 0 ] || stop "$failures failures"
echo "installed, socket-activated, connected, disconnected, refused, restarted, upgraded, removed, purged and uninstalled"
