#!/bin/bash
# The real tunnel: the daemon runs the system's wg-quick through our wrapper inside a network
# namespace and brings up a WireGuard tunnel to a wireguard-go peer in a second one; a ping crosses
# it, and disconnecting takes tunnel, marker and configuration file away again.
set -u
tunneld=$1 client=$2 wrapper=$3

# shellcheck source=tunnel_namespaces.sh
. "$(dirname "$0")/tunnel_namespaces.sh"

missing=$(tunnel_missing_prerequisite)
if [ -n "$missing" ]; then
    echo "SKIP: $missing"
    exit 77
fi

work=$(mktemp -d)
trap 'tunnel_namespaces_down; rm -rf "$work"' EXIT

failures=0
fail() {
    echo "FAIL $1"
    failures=$((failures + 1))
}
stop() {
    echo "FAIL $1"
    [ ! -s "$work/daemon.log" ] || { echo "daemon:" && cat "$work/daemon.log"; }
    exit 1
}

tunnel_namespaces_up "$work"
case $? in
    0) ;;
    77) exit 77 ;;
    *) stop "cannot set up the namespaces" ;;
esac
tunnel_tools "$work/tools" "$wrapper"
tunnel_start_daemon "$tunneld" "$client" || stop "the daemon did not start"
# wg-quick searches /usr/bin before the tools folder: a resolvconf there would be the real one.
dns_line="DNS = 10.66.0.1"
[ ! -e /usr/bin/resolvconf ] || dns_line=

configuration() { # ENDPOINT
    printf '[Interface]\nPrivateKey = %s\nAddress = 10.66.0.2/32\n%s\n\n[Peer]\nPublicKey = %s\nAllowedIPs = 10.66.0.0/24\nEndpoint = %s\n' \
        "$client_private" "$dns_line" "$server_public" "$1"
}
request() { # ARGUMENTS... ; sets reply and status
    reply=$(timeout 60 "$client" --socket "$work/tunneld.sock" "$@" 2>&1)
    status=$?
}
marker_exists() {
    nsenter -t "$daemon_pid" -m test -e /run/wireguard/korvel.name
}
interface_exists() {
    ip -n "$client_ns" link show korvel >/dev/null 2>&1
}
stored=$work/state/korvel.conf

# An up that fails for a real reason: the server's name cannot be looked up. The wrapper's
# sentence comes back, and neither a file nor a tunnel stays.
configuration vpn.korvel.invalid:51820 >"$work/unresolvable.conf"
request connect "$work/unresolvable.conf"
want="The VPN server's name could not be looked up; check your internet connection and try again."
[ "$status" = 1 ] && [ "$reply" = "$want" ] || fail "unresolvable server: status $status, reply '$reply'"
[ ! -e "$stored" ] || fail "unresolvable server: the configuration file is left behind"
interface_exists && fail "unresolvable server: the interface is left behind"
marker_exists && fail "unresolvable server: the marker is left behind"

configuration 10.99.0.1:51820 >"$work/client.conf"
request connect "$work/client.conf"
[ "$status" = 0 ] && [ "$reply" = ok ] || stop "connect: status $status, reply '$reply'"
interface_exists || fail "connect: no interface korvel"
marker_exists || fail "connect: no marker"
[ "$(nsenter -t "$daemon_pid" -m cat /run/wireguard/korvel.name 2>/dev/null)" = korvel ] ||
    fail "connect: the marker does not name the interface"
[ "$(stat -c '%u %g %a' "$stored" 2>/dev/null)" = "0 0 600" ] || fail "connect: the configuration file is not root's 0600"
# The file holds the lines the safety check judged, each ended by a line feed: the text sent, which is
# in that form already, less its blank line.
grep -v '^$' "$work/client.conf" | cmp -s "$stored" - || fail "connect: the configuration file is not the judged text"
tunnel_ping 10.66.0.1 || fail "connect: no ping through the tunnel"
if [ -n "$dns_line" ]; then
    grep -qx "resolvconf -a korvel -m 0 -x" "$work/resolvconf.log" && grep -qx "nameserver 10.66.0.1" "$work/resolvconf.log" ||
        fail "connect: the DNS server did not reach resolvconf"
fi

# Connecting again replaces the tunnel: down with the old file, up with the new one.
request connect "$work/client.conf"
[ "$status" = 0 ] && [ "$reply" = ok ] || fail "second connect: status $status, reply '$reply'"
marker_exists || fail "second connect: no marker"
tunnel_ping 10.66.0.1 || fail "second connect: no ping through the tunnel"

request disconnect
[ "$status" = 0 ] && [ "$reply" = ok ] || fail "disconnect: status $status, reply '$reply'"
interface_exists && fail "disconnect: the interface is still there"
marker_exists && fail "disconnect: the marker is still there"
[ ! -e "$stored" ] || fail "disconnect: the configuration file is still there"
if [ -n "$dns_line" ]; then
    grep -qx "resolvconf -d korvel -f" "$work/resolvconf.log" || fail "disconnect: the DNS server was not withdrawn"
fi
ip netns exec "$client_ns" ping -c 1 -W 1 10.66.0.1 >/dev/null 2>&1 && fail "disconnect: the peer is still reachable"

kill -0 "$daemon_pid" 2>/dev/null || fail "the daemon is gone"
if [ "$failures" != 0 ]; then
    [ ! -s "$work/daemon.log" ] || { echo "daemon:" && cat "$work/daemon.log"; }
    exit 1
fi
echo "the tunnel came up, carried a ping and went down"
